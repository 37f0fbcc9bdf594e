// The SafeBoot registry files the program carries, and the repair that imports them.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>
#include <vector>

#include "app/repair.h"
#include "framework/env/environment.h"
#include "framework/env/resources.h"
#include "platform/sim/version_profiles.h"
#include "safeboot_fixture.h"

namespace kes::safeboot_tests {
namespace {

constexpr char16_t kSafeBootKey[] = u"SYSTEM\\CurrentControlSet\\Control\\SafeBoot";
constexpr char16_t kRoot[] = u"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\SafeBoot";
constexpr char16_t kMedia[] = u"{4D36E96C-E325-11CE-BFC1-08002BE10318}";

struct Expected {
  const char16_t* name;
  std::size_t keys;
  std::array<int, 4> minimal;  // services, drivers, driver groups, classes
  std::array<int, 4> network;
  bool media_safeboot_drivers;
};

constexpr Expected kFiles[] = {
    {u"sb_10", 223, {33, 18, 10, 21}, {63, 30, 19, 26}, true},
    {u"sb_8", 194, {29, 9, 10, 19}, {58, 23, 19, 24}, false},
    {u"sb_7", 175, {25, 7, 10, 17}, {53, 19, 19, 22}, false},
    {u"sb_v", 166, {21, 7, 10, 17}, {49, 18, 19, 22}, false},
    {u"sb_xp", 125, {12, 6, 10, 14}, {30, 13, 19, 18}, false},
};

// The resource's bytes as the program itself loads them.
std::vector<std::uint8_t> LoadBytes(const char16_t* name) {
  auto& sys = OS().sys;
  const platform::HANDLE info = sys.FindResourceW(0, name, u"custom");
  if (!info) return {};
  const platform::HANDLE data = sys.LoadResource(0, info);
  const auto* p = static_cast<const std::uint8_t*>(sys.LockResource(data));
  return std::vector<std::uint8_t>(p, p + sys.SizeofResource(0, info));
}

// One key block: its path and its value lines.
struct Block {
  std::u16string path;
  std::vector<std::u16string> values;
};

class RegFilesTest : public SafeBootTest {
 protected:
  std::u16string Temp() const { return Ctx().env->UserDirBS_CurrentUser_Temp; }
  std::vector<std::u16string> RegFilesInTemp() {
    std::vector<std::u16string> out;
    for (const auto& f : machine_.fs().List(Temp()))
      if (f.ends_with(u".reg")) out.push_back(f);
    return out;
  }
  std::vector<std::u16string> RegRuns() const {
    std::vector<std::u16string> out;
    for (const auto& c : machine_.started_command_lines)
      if (c.find(u"reg.exe") != std::u16string::npos) out.push_back(c);
    return out;
  }
};

TEST_F(RegFilesTest, EveryFileHasTheExportFormatAndTheCountsOfItsWindowsVersion) {
  for (const Expected& e : kFiles) {
    SCOPED_TRACE(std::string(e.name, e.name + std::char_traits<char16_t>::length(e.name)));
    const std::vector<std::uint8_t> bytes = LoadBytes(e.name);
    ASSERT_GT(bytes.size(), 2u);
    ASSERT_EQ(bytes[0], 0xFF);
    ASSERT_EQ(bytes[1], 0xFE);
    ASSERT_EQ(bytes.size() % 2, 0u);
    std::u16string text;
    for (std::size_t i = 2; i < bytes.size(); i += 2)
      text += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));

    // Lines end in CR LF only, and the file ends with one.
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

    // Key blocks, each followed by exactly one blank line.
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
    EXPECT_EQ(lines.back(), u"");
    ASSERT_EQ(blocks.size(), e.keys);

    ASSERT_GE(blocks.size(), 3u);
    EXPECT_EQ(blocks[0].path, kRoot);
    EXPECT_EQ(blocks[0].values, std::vector<std::u16string>{u"\"AlternateShell\"=\"cmd.exe\""});
    std::map<std::u16string, std::array<int, 4>> counts;
    int media_flags = 0;
    for (const Block& b : blocks) {
      if (b.path == kRoot) continue;
      ASSERT_TRUE(b.path.starts_with(std::u16string(kRoot) + u"\\")) << "outside SafeBoot";
      const std::u16string rest = b.path.substr(std::char_traits<char16_t>::length(kRoot) + 1);
      const std::size_t slash = rest.find(u'\\');
      const std::u16string branch = rest.substr(0, slash);
      ASSERT_TRUE(branch == u"Minimal" || branch == u"Network");
      if (slash == std::u16string::npos) {
        EXPECT_TRUE(b.values.empty()) << "branch key with values";
        continue;
      }
      const std::u16string key = rest.substr(slash + 1);
      ASSERT_EQ(key.find(u'\\'), std::u16string::npos) << "nested key";
      ASSERT_FALSE(b.values.empty());
      ASSERT_TRUE(b.values[0].starts_with(u"@=\""));
      const std::u16string def = b.values[0].substr(3, b.values[0].size() - 4);
      const bool is_class = key.front() == u'{';
      int kind = def == u"Service" ? 0 : def == u"Driver" ? 1 : def == u"Driver Group" ? 2 : 3;
      EXPECT_EQ(kind == 3, is_class) << "kind of " << std::string(key.begin(), key.end());
      ++counts[branch][kind];
      if (key == kMedia && b.values.size() == 2) {
        EXPECT_EQ(b.values[1], u"\"SafeBootDrivers\"=dword:00000001");
        ++media_flags;
      } else {
        EXPECT_EQ(b.values.size(), 1u) << std::string(key.begin(), key.end());
      }
    }
    EXPECT_EQ(counts[u"Minimal"], e.minimal);
    EXPECT_EQ(counts[u"Network"], e.network);
    EXPECT_EQ(media_flags, e.media_safeboot_drivers ? 2 : 0);
  }
}

TEST_F(RegFilesTest, ResourceNamesAndTypesCompareWithoutCase) {
  auto& sys = OS().sys;
  EXPECT_NE(sys.FindResourceW(0, u"Sb_Xp", u"CUSTOM"), 0u);
  EXPECT_EQ(sys.FindResourceW(0, u"sb_2000", u"CUSTOM"), 0u);
  EXPECT_EQ(sys.GetLastError(), 1814u);
  EXPECT_EQ(sys.FindResourceW(0, u"sb_10", u"RCDATA"), 0u);
  EXPECT_EQ(sys.GetLastError(), 1813u);
}

TEST_F(RegFilesTest, OnWindows81TheWindows8FileIsImportedAndRemoved) {
  ASSERT_TRUE(sim::ApplyVersionProfile(machine_, "win81"));
  MakeThirtyTwoBit(machine_);
  Start();
  machine_.registry().DeleteKey(kHKLM, kSafeBootKey);
  RepairSafeBootLocal();
  const auto runs = RegRuns();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_NE(runs[0].find(u"import \"" + Temp() + u"sb_8.reg\""), std::u16string::npos);
  EXPECT_TRUE(
      machine_.registry().KeyExists(kHKLM, std::u16string(kSafeBootKey) + u"\\Minimal\\WudfSvc"));
  EXPECT_FALSE(
      machine_.registry().KeyExists(kHKLM, std::u16string(kSafeBootKey) + u"\\Minimal\\AudioSrv"));
  EXPECT_EQ(machine_.registry().GetString(kHKLM, kSafeBootKey, u"AlternateShell"), u"cmd.exe");
  EXPECT_TRUE(RegFilesInTemp().empty());
  EXPECT_TRUE(LogHas(u"已导入用于修复安全模式的注册表文件."));
}

TEST_F(RegFilesTest, OnWindows10TheWindows10FileIsImportedOverALeftoverFile) {
  ASSERT_TRUE(sim::ApplyVersionProfile(machine_, "win10"));
  MakeThirtyTwoBit(machine_);
  Start();
  machine_.registry().DeleteKey(kHKLM, kSafeBootKey);
  // A leftover from an interrupted run is replaced, not imported as it is.
  machine_.fs().AddFile(Temp() + u"sb_10.reg", std::string_view("junk"));
  RepairSafeBootLocal();
  const auto runs = RegRuns();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_NE(runs[0].find(u"sb_10.reg"), std::u16string::npos);
  const std::u16string media = std::u16string(kSafeBootKey) + u"\\Network\\" + kMedia;
  EXPECT_EQ(machine_.registry().GetDword(kHKLM, media, u"SafeBootDrivers"), 1u);
  EXPECT_TRUE(
      machine_.registry().KeyExists(kHKLM, std::u16string(kSafeBootKey) + u"\\Minimal\\AudioSrv"));
  EXPECT_TRUE(RegFilesInTemp().empty());
}

TEST_F(RegFilesTest, ExtractionWritesTheExactBytesAndKeepsAnExistingFileWithoutOverwrite) {
  Start();
  const std::u16string file = Temp() + u"sub\\sb_7.reg";
  ASSERT_TRUE(ExtractCustomResource(u"sb_7", file, true));  // the folder is created too
  EXPECT_EQ(machine_.fs().ReadFile(file), LoadBytes(u"SB_7"));

  machine_.fs().AddFile(file, std::string_view("mine"));
  EXPECT_TRUE(ExtractCustomResource(u"sb_7", file, false));
  EXPECT_EQ(machine_.fs().ReadFile(file), (std::vector<std::uint8_t>{'m', 'i', 'n', 'e'}));

  ASSERT_TRUE(ExtractCustomResource(u"sb_7", file, true));
  EXPECT_EQ(machine_.fs().ReadFile(file), LoadBytes(u"SB_7"));
}

TEST_F(RegFilesTest, AFailedExtractionIsLoggedAndNothingIsImported) {
  ASSERT_TRUE(sim::ApplyVersionProfile(machine_, "win10"));
  MakeThirtyTwoBit(machine_);
  Start();
  EXPECT_FALSE(ExtractCustomResource(u"sb_2000", Temp() + u"sb_2000.reg", true));
  EXPECT_TRUE(LogHas(u"Aborting; Unknown Error!"));

  machine_.InjectFault("FindResourceW", 1814);
  RepairSafeBootLocal();
  EXPECT_TRUE(RegRuns().empty());
  EXPECT_TRUE(LogHas(u"Failed to extract registry file!"));
  EXPECT_FALSE(LogHas(u"已导入用于修复安全模式的注册表文件."));
  EXPECT_TRUE(RegFilesInTemp().empty());
}

TEST_F(RegFilesTest, WindowsWithoutAMatchingFileIsLeftAlone) {
  ASSERT_TRUE(sim::ApplyVersionProfile(machine_, "win2000"));
  Start();
  RepairSafeBootLocal();
  EXPECT_TRUE(RegRuns().empty());
  EXPECT_FALSE(LogHas(u"Failed to extract registry file!"));
}

}  // namespace
}  // namespace kes::safeboot_tests
