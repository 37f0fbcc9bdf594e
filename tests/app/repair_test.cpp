// The SafeBoot registry files the program carries, and the repair that imports the one of the
// running Windows.
#include <span>

#include "app/repair.h"
#include "platform/sim/embedded_resources.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

constexpr char16_t kRoot[] = u"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\SafeBoot";
constexpr char16_t kMedia[] = u"{4D36E96C-E325-11CE-BFC1-08002BE10318}";

class RepairTest : public MachineTest {
 protected:
  RepairTest() { MakeThirtyTwoBit(m); }
  std::u16string Temp() const { return ctx.env->UserDirBS_CurrentUser_Temp; }
  std::vector<std::u16string> RegFilesInTemp() {
    std::vector<std::u16string> out;
    for (const auto& f : m.fs().List(Temp()))
      if (f.ends_with(u".reg")) out.push_back(f);
    return out;
  }
  std::vector<std::u16string> RegRuns() const {
    std::vector<std::u16string> out;
    for (const auto& c : m.started_command_lines)
      if (c.find(u"reg.exe") != std::u16string::npos) out.push_back(c);
    return out;
  }
};

// reg.exe imports what the registry editor exports; the files must keep that form exactly (CR LF
// lines, one blank line before each key) and stay within the SafeBoot branches, adding keys only.
TEST(RepairFiles, EveryCarriedFileIsARegistryExportWithinSafeBoot) {
  for (const sim::EmbeddedResource& r : sim::EmbeddedResources()) {
    SCOPED_TRACE(Utf8(r.name));
    ASSERT_GT(r.size, 2u);
    ASSERT_EQ(r.data[0], 0xFF);
    ASSERT_EQ(r.data[1], 0xFE);
    ASSERT_EQ(r.size % 2, 0u);
    std::u16string text;
    for (std::size_t i = 2; i < r.size; i += 2)
      text += static_cast<char16_t>(r.data[i] | (r.data[i + 1] << 8));

    std::vector<std::u16string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == u'\n') {
        ASSERT_TRUE(i > 0 && text[i - 1] == u'\r') << "bare LF at " << i;
        lines.push_back(text.substr(start, i - 1 - start));
        start = i + 1;
      } else if (text[i] == u'\r') {
        ASSERT_TRUE(i + 1 < text.size() && text[i + 1] == u'\n') << "bare CR at " << i;
      }
    }
    ASSERT_EQ(start, text.size());
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], u"Windows Registry Editor Version 5.00");
    EXPECT_EQ(lines[1], u"");
    EXPECT_EQ(lines.back(), u"");

    // Key blocks, each after exactly one blank line: the root with its shell setting first, then
    // the two branches and one level of service, driver, group and class keys below them.
    struct Block {
      std::u16string path;
      std::vector<std::u16string> values;
    };
    std::vector<Block> blocks;
    for (std::size_t i = 2; i < lines.size(); ++i) {
      const std::u16string& l = lines[i];
      if (l.empty()) {
        ASSERT_TRUE(!blocks.empty() && !lines[i - 1].empty()) << "stray blank line " << i;
      } else if (l.front() == u'[') {
        ASSERT_EQ(lines[i - 1], u"") << "key block not preceded by a blank line " << i;
        ASSERT_EQ(l.back(), u']');
        ASSERT_NE(l[1], u'-') << "a file that deletes";
        blocks.push_back({l.substr(1, l.size() - 2), {}});
      } else {
        ASSERT_FALSE(blocks.empty());
        blocks.back().values.push_back(l);
      }
    }
    ASSERT_GE(blocks.size(), 3u);
    EXPECT_EQ(blocks[0].path, kRoot);
    EXPECT_EQ(blocks[0].values, std::vector<std::u16string>{u"\"AlternateShell\"=\"cmd.exe\""});
    for (const Block& b : std::span(blocks).subspan(1)) {
      ASSERT_TRUE(b.path.starts_with(std::u16string(kRoot) + u"\\")) << "outside SafeBoot";
      const std::u16string rest = b.path.substr(std::char_traits<char16_t>::length(kRoot) + 1);
      const std::size_t slash = rest.find(u'\\');
      const std::u16string branch = rest.substr(0, slash);
      ASSERT_TRUE(branch == u"Minimal" || branch == u"Network") << Utf8(branch);
      if (slash == std::u16string::npos) {
        EXPECT_TRUE(b.values.empty()) << "branch key with values";
        continue;
      }
      const std::u16string key = rest.substr(slash + 1);
      ASSERT_EQ(key.find(u'\\'), std::u16string::npos) << "nested key";
      ASSERT_FALSE(b.values.empty());
      const std::u16string& kind = b.values[0];
      const bool named_kind =
          kind == u"@=\"Service\"" || kind == u"@=\"Driver\"" || kind == u"@=\"Driver Group\"";
      EXPECT_NE(named_kind, key.front() == u'{') << Utf8(key) << ": " << Utf8(kind);
      if (key == kMedia && b.values.size() == 2) {
        EXPECT_EQ(b.values[1], u"\"SafeBootDrivers\"=dword:00000001");
      } else {
        EXPECT_EQ(b.values.size(), 1u) << Utf8(key);
      }
    }
  }
}

TEST_F(RepairTest, OnWindows81TheWindows8FileIsImportedAndRemoved) {
  Use("win81");
  MakeThirtyTwoBit(m);
  Start();
  m.registry().DeleteKey(kHKLM, kSafeBootKey);
  RepairSafeBootLocal();
  const auto runs = RegRuns();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_NE(runs[0].find(u"import \"C:\\ProgramData\\Kestrune\\sb_8-"), std::u16string::npos);
  EXPECT_TRUE(m.registry().KeyExists(kHKLM, std::u16string(kSafeBootKey) + u"\\Minimal\\WudfSvc"));
  EXPECT_FALSE(
      m.registry().KeyExists(kHKLM, std::u16string(kSafeBootKey) + u"\\Minimal\\AudioSrv"));
  EXPECT_EQ(m.registry().GetString(kHKLM, kSafeBootKey, u"AlternateShell"), u"cmd.exe");
  EXPECT_TRUE(RegFilesInTemp().empty());
  EXPECT_TRUE(LogHas(u"已导入用于修复安全模式的注册表文件."));
}

TEST_F(RepairTest, OnWindows10TheWindows10FileIsImportedUnderANameOfItsOwn) {
  Use("win10");
  MakeThirtyTwoBit(m);
  Start();
  m.registry().DeleteKey(kHKLM, kSafeBootKey);
  // A file left under the old fixed name is someone's, and never what is imported.
  m.fs().AddFile(Temp() + u"sb_10.reg", std::string_view("junk"));
  RepairSafeBootLocal();
  const auto runs = RegRuns();
  ASSERT_EQ(runs.size(), 1u);
  const std::size_t at = runs[0].find(u"C:\\ProgramData\\Kestrune\\sb_10-");
  ASSERT_NE(at, std::u16string::npos);
  EXPECT_EQ(runs[0].find(u".reg\"", at), at + 30 + 32) << "32 random hexadecimal digits";
  const std::u16string media = std::u16string(kSafeBootKey) + u"\\Network\\" + kMedia;
  EXPECT_EQ(m.registry().GetDword(kHKLM, media, u"SafeBootDrivers"), 1u);
  EXPECT_TRUE(m.registry().KeyExists(kHKLM, std::u16string(kSafeBootKey) + u"\\Minimal\\AudioSrv"));
  EXPECT_EQ(RegFilesInTemp().size(), 1u) << "the file in Temp is left as it was";
  EXPECT_EQ(m.fs().List(u"C:\\ProgramData\\Kestrune"), std::vector<std::u16string>{u"Logs"});
}

TEST_F(RepairTest, AResourceThatCannotBeExtractedIsLoggedAndNothingIsImported) {
  Use("win10");
  MakeThirtyTwoBit(m);
  Start();
  m.InjectFault("FindResourceW", 1814);
  RepairSafeBootLocal();
  EXPECT_TRUE(RegRuns().empty());
  EXPECT_TRUE(LogHas(u"Failed to extract registry file!"));
  EXPECT_FALSE(LogHas(u"已导入用于修复安全模式的注册表文件."));
  EXPECT_TRUE(RegFilesInTemp().empty());
}

TEST_F(RepairTest, WindowsWithoutAMatchingFileIsLeftAlone) {
  Use("win2000");
  Start();
  RepairSafeBootLocal();
  EXPECT_TRUE(RegRuns().empty());
  EXPECT_FALSE(LogHas(u"Failed to extract registry file!"));
}

}  // namespace
}  // namespace kes
