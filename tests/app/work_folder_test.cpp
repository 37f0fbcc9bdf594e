// The elevated program writes what it hands to reg.exe, and its log, only into a folder that
// non-administrators cannot change: each way a user could have prepared that folder is refused.
#include <string>

#include "framework/debug/tracing.h"
#include "framework/fs/work_folder.h"
#include "platform/sim/access_control.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

constexpr char16_t kWork[] = u"C:\\ProgramData\\Kestrune";
constexpr char16_t kLogs[] = u"C:\\ProgramData\\Kestrune\\Logs";

bool WritableByOthers(const sim::SimSecurity& s) {
  for (const sim::SimAce& ace : s.dacl) {
    if (ace.type == platform::kACCESS_ALLOWED_ACE_TYPE && ace.sid != sim::kSidAdministrators &&
        ace.sid != sim::kSidSystem && (ace.mask & ~sim::kFileReadExecute) != 0)
      return true;
  }
  return false;
}

class WorkFolderSafeElevated : public MachineTest {
 protected:
  // What a user could have made of the folder before the program first ran: owned by the user,
  // everyone may write.
  void PrepareAsUser(const std::u16string& folder) {
    m.fs().AddFolder(folder);
    sim::SimSecurity s;
    s.owner = sim::LocalAccountSid(u"Admin");
    s.dacl = {{platform::kACCESS_ALLOWED_ACE_TYPE, 0x3, sim::kFileAllAccess, sim::kSidEveryone}};
    ASSERT_TRUE(m.fs().SetSecurity(folder, s));
  }
  // Runs the program with `args`; its debug log is kept in `log`.
  void RunLogged(std::u16string_view args) {
    RunProgram(m, ProgramCommandLine(m, args),
               [this](const Context&) { log = debug::DebugLogText(); });
  }
  bool Logged(std::u16string_view text) const { return log.find(text) != std::u16string::npos; }
  std::u16string log;
  std::u16string RegFileFolderContents() {
    std::u16string names;
    for (const std::u16string& n : m.fs().List(kWork)) names += n + u";";
    return names;
  }
};

TEST_F(WorkFolderSafeElevated, AMissingFolderIsMadeProtectedAndTheLogGoesThere) {
  m.fs().Remove(kWork);
  RunLogged(u"/safenet-noreboot");
  const auto s = m.fs().GetSecurity(kWork);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->owner, sim::kSidAdministrators);
  EXPECT_TRUE(s->dacl_protected);
  EXPECT_FALSE(WritableByOthers(*s));
  EXPECT_FALSE(m.fs().List(kLogs).empty());
  // The .reg file came from there and is gone; nothing is extracted into the user's Temp.
  EXPECT_EQ(RegFileFolderContents(), u"Logs;");
  EXPECT_TRUE(m.fs().List(u"C:\\Users\\Admin\\AppData\\Local\\Temp").empty());
}

TEST_F(WorkFolderSafeElevated, AFolderAUserPreparedIsResecured) {
  PrepareAsUser(kWork);
  RunLogged(u"/safenet-noreboot");
  const auto s = m.fs().GetSecurity(kWork);
  EXPECT_EQ(s->owner, sim::kSidAdministrators);
  EXPECT_FALSE(WritableByOthers(*s));
  EXPECT_TRUE(Logged(u"it has been re-secured"));
  EXPECT_TRUE(Logged(u"已导入用于修复安全模式的注册表文件."));
}

TEST_F(WorkFolderSafeElevated, AFolderThatCannotBeResecuredIsNotUsed) {
  PrepareAsUser(kWork);
  m.InjectFault("SetFileSecurityW", platform::kERROR_ACCESS_DENIED);
  RunLogged(u"/safenet-noreboot");
  EXPECT_TRUE(Logged(u"could not be re-secured; it is not used."));
  EXPECT_TRUE(Logged(u"The working folder is not to be used; the SafeBoot branch stays as it is."));
  EXPECT_TRUE(Logged(u"the debug log stays in memory"));
  EXPECT_TRUE(m.fs().List(kWork).empty()) << "nothing written into the user's folder";
  EXPECT_TRUE(SafeBoot(m)) << "the configuration itself goes on";
}

TEST_F(WorkFolderSafeElevated, ALinkInThePlaceOfTheFolderIsNotUsed) {
  m.fs().AddFolder(kWork, platform::kFILE_ATTRIBUTE_REPARSE_POINT);
  RunLogged(u"/safenet-noreboot");
  EXPECT_TRUE(Logged(u"The folder is a link to another place, or not a folder; it is not used."));
  EXPECT_TRUE(m.fs().List(kWork).empty());
}

TEST_F(WorkFolderSafeElevated, AFileAlreadyUnderTheExtractionNameIsNeverImported) {
  // The name the program will draw next, from the same random source.
  std::mt19937 source = m.random_source;
  std::u16string name = u"C:\\ProgramData\\Kestrune\\sb_10-";
  for (int i = 0; i < 16; ++i) {
    const auto b = static_cast<std::uint8_t>(source() >> 24);
    name += u"0123456789abcdef"[b >> 4];
    name += u"0123456789abcdef"[b & 0xF];
  }
  name += u".reg";
  m.fs().AddFolder(kWork);
  m.fs().AddFile(name, std::string_view("Windows Registry Editor Version 5.00\r\n"));
  RunLogged(u"/safenet-noreboot");
  EXPECT_TRUE(Logged(u"A file is already present under the extraction name; it is not used."));
  EXPECT_FALSE(Started(m, u"reg.exe"));
  EXPECT_TRUE(m.fs().Find(name)) << "someone else's file is left as it is";
}

TEST_F(WorkFolderSafeElevated, TheRegFileIsHeldUnwritableWhileRegExeReadsIt) {
  bool held = false;
  m.after_call = [&](const char* api) {
    if (std::string_view(api) != "CreateProcessW" || held) return;
    for (const std::u16string& n : m.fs().List(kWork)) {
      const auto node = m.fs().Find(std::u16string(kWork) + u"\\" + n);
      for (const auto& open : node->opens)
        held = held || (n.ends_with(u".reg") && open.share == platform::kFILE_SHARE_READ);
    }
  };
  RunLogged(u"/safenet-noreboot");
  m.after_call = nullptr;
  EXPECT_TRUE(held);
}

TEST_F(WorkFolderSafeElevated, AVolumeWithoutSecurityIsUsedAsBeforeAndSaysSo) {
  m.fs().FindVolume(u"C:")->fs_name = u"FAT32";
  RunLogged(u"/safenet-noreboot");
  EXPECT_TRUE(
      Logged(u"The volume keeps no owners or permissions; the folder is used unprotected."));
  EXPECT_TRUE(Logged(u"已导入用于修复安全模式的注册表文件."));
}

// Two runs at once append to the same day's file: each write lands at the end of the file as it
// is then. Another instance appending its entries between this one's opening the file and its
// write loses nothing, and neither does this one.
TEST_F(WorkFolderSafeElevated, TwoInstancesAppendingToOneLogLoseNothing) {
  Run(u"/nothing");
  const std::u16string log_file = std::u16string(kLogs) + u"\\" + m.fs().List(kLogs).at(0);
  const std::string other =
      "\r\n12:00:00:000 [NRM] Event\r\n-1 <Normal> Msg=[the other instance]\r\n";
  bool appended = false;
  m.after_call = [&](const char* api) {
    const auto node = m.fs().Find(log_file);
    // The hook runs as the call begins: the other instance writes just before this one does.
    if (appended || std::string_view(api) != "WriteFile" || !node || node->opens.empty()) return;
    appended = true;
    node->data.insert(node->data.end(), other.begin(), other.end());
  };
  RunLogged(u"/first");
  m.after_call = nullptr;
  const std::string text = m.fs().ReadText(log_file).value_or("");
  ASSERT_TRUE(appended);
  EXPECT_NE(text.find(other), std::string::npos) << "the other instance's entries, whole";
  EXPECT_NE(text.find(Utf8(log)), std::string::npos) << "this instance's entries, whole";
}

}  // namespace
}  // namespace kes
