// Registry access as the program depends on it: the 64-bit view of a 32-bit process, text
// values read whatever their writer did with the terminating NUL, the one take-control retry of
// a refused delete, and the simulated registry answering with Windows' status codes.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "framework/debug/tracing.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/registry/access.h"
#include "platform/base/u16.h"
#include "platform/sim/machine.h"
#include "platform/sim/registry_store.h"

namespace kes {
namespace {

using namespace platform;  // NOLINT: Win32 names read best unqualified in these tests

constexpr std::u16string_view kOwnKey = u"Software\\Quorlen\\Kestrune";

std::vector<std::uint8_t> Bytes(std::u16string_view text) {
  std::vector<std::uint8_t> out;
  for (char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return out;
}

std::u16string TextOf(const Value& v) {
  const auto* s = v.get_if<std::u16string>();
  return s ? *s : u"<not a text>";
}

std::size_t Count(const std::string& hay, const std::string& needle) {
  std::size_t n = 0;
  for (auto pos = hay.find(needle); pos != std::string::npos; pos = hay.find(needle, pos + 1)) ++n;
  return n;
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    debug::InitDebugModuleVars();
    debug::SetDebugLogVerbose(true);
    // What start-up finds on this machine: 64-bit Windows, the program a 32-bit process.
    ctx.env = std::make_unique<AppEnv>();
    ctx.env->Win64bit = true;
  }
  std::string Log() const { return Utf8(debug::DebugLogText()); }

  sim::Machine m;
  Context ctx{m.platform()};
  ContextScope scope{ctx};
  sim::RegistryStore& store = m.registry();
};

TEST_F(RegistryTest, RootNamesAndStatusTextsAreTheLogsOwn) {
  EXPECT_EQ(GetHKEYName(0x80000002, true), u"hklm");
  EXPECT_EQ(GetHKEYName(0x80000002, false), u"hkey_local_machine");
  EXPECT_EQ(GetHKEYName(0x80000006, true), u"hkdd");
  EXPECT_EQ(GetHKEYName(0x80000007, true), u"");  // known to the view rule only
  EXPECT_EQ(GetHKEYName(0x1234, false), u"");
  EXPECT_EQ(GetRegAPIReturnMsg(2), u"该系统找不到指定的文件. (key)");
  EXPECT_EQ(GetRegAPIReturnMsg(5), u"访问被拒绝.");
  EXPECT_EQ(GetRegAPIReturnMsg(234), u"有更多数据可用.");
  EXPECT_EQ(GetRegAPIReturnMsg(9), u"未知的返回值.");
}

TEST_F(RegistryTest, ViewRuleAddsTheNativeViewOnlyWhereRedirectionApplies) {
  struct Case {
    HKEY root;
    std::u16string key;
    bool flag;             // KEY_WOW64_64KEY added
    std::u16string after;  // the path afterwards
    bool removed;          // "WOW6432Node\" taken out
  };
  const Case cases[] = {
      {kHKEY_LOCAL_MACHINE, u"Software\\Quorlen\\Kestrune", true, u"Software\\Quorlen\\Kestrune",
       false},
      {kHKEY_CURRENT_USER, u"Software\\Quorlen\\Kestrune", false, u"Software\\Quorlen\\Kestrune",
       false},
      {kHKEY_CURRENT_USER, u"Software\\Classes\\.kes", true, u"Software\\Classes\\.kes", false},
      {kHKEY_LOCAL_MACHINE, u"Policies\\software\\X", true, u"Policies\\software\\X", false},
      {kHKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet", false, u"SYSTEM\\CurrentControlSet",
       false},
      {kHKEY_CLASSES_ROOT, u"SOFTWARE\\Classes\\x", false, u"SOFTWARE\\Classes\\x", false},
      {kHKEY_LOCAL_MACHINE, u"SOFTWARE\\WOW6432Node\\X", false, u"SOFTWARE\\X", true},
      {kHKEY_LOCAL_MACHINE, u"SOFTWARE\\wow6432node\\A\\WOW6432Node\\B", false, u"SOFTWARE\\A\\B",
       true},
      {kHKEY_USERS, u"guest_7\\Software\\Classes\\WOW6432Node\\X", false,
       u"guest_7\\Software\\Classes\\WOW6432Node\\X", false},
      {kHKEY_LOCAL_MACHINE, u"guest_7\\SOFTWARE\\X", true, u"guest_7\\SOFTWARE\\X", false},
  };
  for (const auto& c : cases) {
    std::u16string key = c.key;
    std::int32_t sam = 2;
    bool removed = true;
    EXPECT_EQ(AddRegFlagWOW64(c.root, key, sam, removed), c.flag) << Utf8(c.key);
    EXPECT_EQ(sam, c.flag ? 0x102 : 2) << Utf8(c.key);
    EXPECT_EQ(key, c.after) << Utf8(c.key);
    EXPECT_EQ(removed, c.removed) << Utf8(c.key);
  }
  EXPECT_NE(Log().find("Removed 'WOW6432Node\\' from non-offline/guest registry key string..."),
            std::string::npos);

  std::u16string empty;
  std::int32_t sam = 6;
  bool removed = false;
  EXPECT_FALSE(AddRegFlagWOW64(kHKEY_LOCAL_MACHINE, empty, sam, removed));
  EXPECT_EQ(sam, 6);
  EXPECT_NE(Log().find("Aborting; Passed empty string!"), std::string::npos);
}

TEST_F(RegistryTest, ViewRuleChangesNothingOn32BitWindows) {
  ctx.env->Win64bit = false;
  std::u16string key = u"SOFTWARE\\WOW6432Node\\X";
  std::int32_t sam = 1;
  bool removed = false;
  EXPECT_FALSE(AddRegFlagWOW64(kHKEY_LOCAL_MACHINE, key, sam, removed));
  EXPECT_EQ(key, u"SOFTWARE\\WOW6432Node\\X");
  EXPECT_EQ(sam, 1);

  // Before start-up has made the environment object the rule acts as on 64-bit Windows.
  ctx.env.reset();
  key = u"Software\\Quorlen\\Kestrune";
  EXPECT_TRUE(AddRegFlagWOW64(kHKEY_LOCAL_MACHINE, key, sam, removed));
  EXPECT_EQ(sam, 0x101);
}

TEST_F(RegistryTest, OwnKeyOfA32BitProcessLandsInTheNativeView) {
  ASSERT_TRUE(m.facts.is_64bit && m.facts.process_is_32bit);
  const std::size_t handles = m.OpenHandleCount();

  EXPECT_TRUE(RegWriteValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"BootMode", kREG_DWORD, 2));
  EXPECT_EQ(store.GetDword(kHKEY_LOCAL_MACHINE, u"SOFTWARE\\Quorlen\\Kestrune", u"BootMode"), 2u);
  EXPECT_FALSE(store.KeyExists(kHKEY_LOCAL_MACHINE, u"SOFTWARE\\WOW6432Node\\Quorlen"));

  Value v;
  EXPECT_TRUE(RegReadValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"BootMode", kREG_DWORD, 0, v));
  ASSERT_NE(v.get_if<std::int32_t>(), nullptr);
  EXPECT_EQ(*v.get_if<std::int32_t>(), 2);

  // The same write made directly, without the view flag, is redirected like on Windows.
  HKEY h = 0;
  ASSERT_EQ(OS().reg.RegCreateKeyExW(kHKEY_LOCAL_MACHINE, u"Software\\Quorlen\\Other", nullptr, 0,
                                     kKEY_SET_VALUE, &h, nullptr),
            0);
  EXPECT_EQ(OS().reg.RegCloseKey(h), 0);
  EXPECT_TRUE(store.KeyExists(kHKEY_LOCAL_MACHINE, u"SOFTWARE\\WOW6432Node\\Quorlen\\Other"));
  EXPECT_EQ(m.OpenHandleCount(), handles);  // every operation closed its key
}

TEST_F(RegistryTest, ExplicitWow6432NodePathReachesThe32BitViewOnce) {
  EXPECT_TRUE(
      RegWriteValue(kHKEY_LOCAL_MACHINE, u"SOFTWARE\\WOW6432Node\\Vendor", u"v", kREG_SZ, u"x"));
  EXPECT_EQ(store.GetString(kHKEY_LOCAL_MACHINE, u"SOFTWARE\\WOW6432Node\\Vendor", u"v"), u"x");
  EXPECT_FALSE(store.KeyExists(kHKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor"));
  EXPECT_FALSE(store.KeyExists(kHKEY_LOCAL_MACHINE, u"SOFTWARE\\WOW6432Node\\WOW6432Node"));
}

TEST_F(RegistryTest, TextIsReadUpToItsFirstNulAndTrimmed) {
  const std::u16string key = u"SOFTWARE\\Quorlen\\Kestrune";
  store.SetValue(kHKEY_LOCAL_MACHINE, key, u"NoNul", kREG_SZ, Bytes(u"abc"));
  store.SetValue(kHKEY_LOCAL_MACHINE, key, u"Padded", kREG_SZ,
                 Bytes(std::u16string(u"  pad  \0", 8)));
  store.SetValue(kHKEY_LOCAL_MACHINE, key, u"Junk", kREG_EXPAND_SZ,
                 Bytes(std::u16string(u"%TEMP%\0junk\0", 12)));
  store.SetValue(kHKEY_LOCAL_MACHINE, key, u"Empty", kREG_SZ, {});

  Value v;
  EXPECT_TRUE(RegReadValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"NoNul", kREG_SZ, u"", v));
  EXPECT_EQ(TextOf(v), u"abc");
  EXPECT_TRUE(RegReadValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"padded", kREG_SZ, u"", v));
  EXPECT_EQ(TextOf(v), u"pad");
  EXPECT_TRUE(RegReadValue(kHKEY_LOCAL_MACHINE, u"Software\\Quorlen\\Kestrune\\", u"Junk",
                           kREG_EXPAND_SZ, u"", v));
  EXPECT_EQ(TextOf(v), u"%TEMP%");  // not expanded
  EXPECT_TRUE(RegReadValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"Empty", kREG_SZ, u"dflt", v));
  EXPECT_EQ(TextOf(v), u"");
}

TEST_F(RegistryTest, FailedReadsLeaveTheDefaultAndLogTheRealStatus) {
  Value v;
  EXPECT_FALSE(RegReadValue(kHKEY_LOCAL_MACHINE, u"Software\\Nobody", u"x", kREG_SZ, u"dflt", v));
  EXPECT_EQ(TextOf(v), u"dflt");
  // Registry calls do not set the last error; the failure must still reach the log.
  EXPECT_NE(Log().find("RegOpenKeyExW"), std::string::npos);

  EXPECT_FALSE(RegReadValue(kHKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                            u"NoSuchValue", kREG_DWORD, 7, v));
  ASSERT_NE(v.get_if<std::int32_t>(), nullptr);
  EXPECT_EQ(*v.get_if<std::int32_t>(), 7);
  EXPECT_NE(Log().find("RegQueryValueExW REG_DWORD"), std::string::npos);

  EXPECT_FALSE(RegReadValue(kHKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                            u"ProductName", kREG_BINARY, u"dflt", v));
  EXPECT_EQ(TextOf(v), u"dflt");

  EXPECT_TRUE(RegReadValue(kHKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                           u"CurrentBuild", kREG_SZ, u"", v));
  EXPECT_EQ(TextOf(v), u"19045");
}

TEST_F(RegistryTest, TextIsStoredWithItsTerminatingNul) {
  EXPECT_TRUE(
      RegWriteValue(kHKEY_LOCAL_MACHINE, u"Software\\Quorlen\\Kestrune\\", u"One", kREG_SZ, u"1"));
  auto v = store.GetValue(kHKEY_LOCAL_MACHINE, u"SOFTWARE\\Quorlen\\Kestrune", u"One");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->type, kREG_SZ);
  EXPECT_EQ(v->data, (std::vector<std::uint8_t>{'1', 0, 0, 0}));

  EXPECT_TRUE(RegWriteValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"Path", kREG_EXPAND_SZ, u"%WINDIR%"));
  v = store.GetValue(kHKEY_LOCAL_MACHINE, u"SOFTWARE\\Quorlen\\Kestrune", u"Path");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->type, kREG_EXPAND_SZ);
  EXPECT_EQ(v->data.size(), 18u);
}

TEST_F(RegistryTest, DwordDataIsConvertedAndUnconvertibleDataStoresNothing) {
  EXPECT_TRUE(RegWriteValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"FromText", kREG_DWORD, u" 12 "));
  EXPECT_EQ(store.GetDword(kHKEY_LOCAL_MACHINE, kOwnKey, u"FromText"), 12u);
  EXPECT_TRUE(RegWriteValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"Flag", kREG_DWORD, true));
  EXPECT_EQ(store.GetDword(kHKEY_LOCAL_MACHINE, kOwnKey, u"Flag"), 0xFFFFFFFFu);

  EXPECT_FALSE(RegWriteValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"Bad", kREG_DWORD, u"twelve"));
  EXPECT_FALSE(RegWriteValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"Null", kREG_SZ, Value::Null()));
  EXPECT_FALSE(store.GetValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"Bad"));
  EXPECT_FALSE(store.GetValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"Null"));
  EXPECT_NE(Log().find("Type mismatch"), std::string::npos);
  EXPECT_NE(Log().find("Invalid use of Null"), std::string::npos);
}

TEST_F(RegistryTest, BinaryWritesAreRefusedWithALogEntry) {
  EXPECT_FALSE(
      RegWriteValue(kHKEY_LOCAL_MACHINE, u"Software\\Quorlen\\Bin", u"b", kREG_BINARY, u"0102"));
  EXPECT_NE(Log().find("REG_BINARY not supported in this function."), std::string::npos);
  EXPECT_FALSE(store.KeyExists(kHKEY_LOCAL_MACHINE, u"SOFTWARE\\Quorlen\\Bin"));
  EXPECT_EQ(m.CallCount("RegSetValueExW"), 0);
}

TEST_F(RegistryTest, MultiTextWritesAppendToTheList) {
  EXPECT_TRUE(RegWriteValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"List", kREG_MULTI_SZ, u"a"));
  EXPECT_TRUE(RegWriteValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"List", kREG_MULTI_SZ, u"bc"));
  auto v = store.GetValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"List");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->type, kREG_MULTI_SZ);
  EXPECT_EQ(v->data, Bytes(std::u16string(u"a\0bc\0\0", 6)));

  Value read;
  EXPECT_TRUE(RegReadValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"List", kREG_MULTI_SZ, u"", read));
  EXPECT_EQ(TextOf(read), std::u16string(u"a\0bc", 4));

  // Empty entries of the list there are dropped; an empty list does not become a leading
  // empty entry, which would hide everything behind it.
  store.SetValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"Gaps", kREG_MULTI_SZ,
                 Bytes(std::u16string(u"x\0\0y\0\0", 6)));
  store.SetValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"Blank", kREG_MULTI_SZ,
                 Bytes(std::u16string(u"\0", 1)));
  EXPECT_TRUE(RegWriteValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"Gaps", kREG_MULTI_SZ, u"z"));
  EXPECT_TRUE(RegWriteValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"Blank", kREG_MULTI_SZ, u"z"));
  EXPECT_EQ(store.GetValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"Gaps")->data,
            Bytes(std::u16string(u"x\0y\0z\0\0", 7)));
  EXPECT_EQ(store.GetValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"Blank")->data,
            Bytes(std::u16string(u"z\0\0", 3)));
}

TEST_F(RegistryTest, DeletingTreatsAnAbsentValueAsDone) {
  const std::u16string_view run_once = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
  store.SetString(kHKEY_LOCAL_MACHINE, run_once, u"*Quorlen Kestrune Mod", u"cmd /c start");
  bool not_found = true;
  std::int32_t status = -1;
  EXPECT_TRUE(
      RegDeleteValue(kHKEY_LOCAL_MACHINE, run_once, u"*quorlen kestrune mod", not_found, status));
  EXPECT_FALSE(not_found);
  EXPECT_EQ(status, 0);
  EXPECT_FALSE(store.GetValue(kHKEY_LOCAL_MACHINE, run_once, u"*Quorlen Kestrune Mod"));
  EXPECT_NE(Log().find("Delete registry value success!"), std::string::npos);

  EXPECT_TRUE(
      RegDeleteValue(kHKEY_LOCAL_MACHINE, run_once, u"*Quorlen Kestrune Mod", not_found, status));
  EXPECT_TRUE(not_found);
  EXPECT_EQ(status, 0);
  EXPECT_NE(Log().find("Registry value not found!"), std::string::npos);

  // A key that is not there is a failed open, never retried.
  EXPECT_FALSE(RegDeleteValue(kHKEY_LOCAL_MACHINE, u"Software\\Quorlen\\Nothing", u"BootMode",
                              not_found, status));
  EXPECT_EQ(status, 2);
  EXPECT_EQ(m.CallCount("RegDeleteValueW"), 2);
}

TEST_F(RegistryTest, RefusedDeleteTakesControlAndRetriesExactlyOnce) {
  const std::u16string_view cmd = u"SOFTWARE\\Microsoft\\Command Processor";
  store.SetString(kHKEY_LOCAL_MACHINE, cmd, u"Autorun", u"\"C:\\Tools\\Kestrune.exe\" /undo");
  store.DenyAccess(kHKEY_LOCAL_MACHINE, cmd);
  const std::size_t handles = m.OpenHandleCount();

  bool not_found = true;
  std::int32_t status = 0;
  EXPECT_FALSE(RegDeleteValue(kHKEY_LOCAL_MACHINE, cmd, u"Autorun", not_found, status));
  EXPECT_EQ(status, 5);
  EXPECT_FALSE(not_found);
  EXPECT_EQ(m.CallCount("RegDeleteValueW"), 2);
  EXPECT_EQ(m.CallCount("RegOpenKeyExW"), 2);
  EXPECT_TRUE(store.GetValue(kHKEY_LOCAL_MACHINE, cmd, u"Autorun"));
  const std::string log = Log();
  EXPECT_EQ(Count(log, "Attempting to obtain ownership/permissions over the registry key..."), 1u);
  EXPECT_NE(log.find("TakeControlReg"), std::string::npos);
  EXPECT_NE(log.find("GetRegKeyPermissions"), std::string::npos);
  EXPECT_EQ(m.OpenHandleCount(), handles);

  // When the second attempt goes through, the delete counts as a success.
  store.AllowAccess(kHKEY_LOCAL_MACHINE, cmd);
  m.InjectFault("RegDeleteValueW", kERROR_ACCESS_DENIED, 3);
  EXPECT_TRUE(RegDeleteValue(kHKEY_LOCAL_MACHINE, cmd, u"Autorun", not_found, status));
  EXPECT_EQ(status, 0);
  EXPECT_EQ(m.CallCount("RegDeleteValueW"), 4);
  EXPECT_FALSE(store.GetValue(kHKEY_LOCAL_MACHINE, cmd, u"Autorun"));
  EXPECT_NE(Log().find("Delete registry value success!  (after fail/take control/retry!)"),
            std::string::npos);
}

TEST_F(RegistryTest, KeyExistenceTellsAbsentFromUnreadable) {
  EXPECT_TRUE(RegKeyExist(kHKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\SafeBoot"));
  EXPECT_TRUE(RegKeyExist(kHKEY_LOCAL_MACHINE, u"software\\microsoft\\command processor"));
  EXPECT_FALSE(RegKeyExist(kHKEY_LOCAL_MACHINE, kOwnKey));
  EXPECT_NE(Log().find("Registry key does not exist!"), std::string::npos);
  m.InjectFault("RegOpenKeyExW", kERROR_ACCESS_DENIED, m.CallCount("RegOpenKeyExW") + 1);
  EXPECT_FALSE(RegKeyExist(kHKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\SafeBoot"));
  EXPECT_NE(Log().find("WARNING:  Registry key may or may not exist!"), std::string::npos);
}

// The simulated registry itself, where App_Registry relies on Windows' exact answers.
TEST_F(RegistryTest, SimulatedRegistryAnswersLikeWindows) {
  RegistryApi& reg = OS().reg;
  HKEY h = 0;
  DWORD disposition = 0;
  ASSERT_EQ(reg.RegCreateKeyExW(kHKEY_CURRENT_USER, u"Software\\MixedCase", nullptr, 0,
                                kKEY_ALL_ACCESS, &h, &disposition),
            0);
  EXPECT_EQ(disposition, kREG_CREATED_NEW_KEY);
  const char16_t text[] = u"hello";
  ASSERT_EQ(reg.RegSetValueExW(h, u"Greeting", kREG_SZ, text, sizeof text), 0);

  // Size query, too small a buffer (234 with the size needed), then the data.
  DWORD type = 0;
  DWORD size = 0;
  EXPECT_EQ(reg.RegQueryValueExW(h, u"GREETING", &type, nullptr, &size), 0);
  EXPECT_EQ(type, kREG_SZ);
  EXPECT_EQ(size, 12u);
  char16_t buf[8] = {};
  size = 4;
  EXPECT_EQ(reg.RegQueryValueExW(h, u"greeting", nullptr, buf, &size), 234);
  EXPECT_EQ(size, 12u);
  EXPECT_EQ(reg.RegQueryValueExW(h, u"greeting", nullptr, buf, &size), 0);
  EXPECT_EQ(std::u16string(buf), u"hello");
  EXPECT_EQ(reg.RegQueryValueExW(h, u"missing", nullptr, nullptr, &size), 2);
  EXPECT_EQ(reg.RegDeleteValueW(h, u"missing"), 2);
  EXPECT_EQ(reg.RegCloseKey(h), 0);
  EXPECT_EQ(reg.RegCloseKey(h), 6);

  // Names keep their case and compare without it; enumeration ends with 259.
  ASSERT_EQ(reg.RegOpenKeyExW(kHKEY_CURRENT_USER, u"SOFTWARE", 0, kKEY_READ, &h), 0);
  std::vector<std::u16string> names;
  char16_t name[64];
  for (DWORD i = 0;; ++i) {
    DWORD len = 64;
    const LONG s = reg.RegEnumKeyExW(h, i, name, &len);
    if (s == 259) break;
    ASSERT_EQ(s, 0);
    names.emplace_back(name, len);
  }
  EXPECT_NE(std::find(names.begin(), names.end(), u"MixedCase"), names.end());
  DWORD tiny = 3;
  EXPECT_EQ(reg.RegEnumKeyExW(h, 0, name, &tiny), 234);
  // A handle opened for reading cannot write.
  EXPECT_EQ(reg.RegSetValueExW(h, u"x", kREG_SZ, text, sizeof text), 5);
  EXPECT_EQ(reg.RegCloseKey(h), 0);

  // A key with sub-keys cannot be deleted; paths must not begin with a backslash.
  EXPECT_EQ(reg.RegDeleteKeyExW(kHKEY_CURRENT_USER, u"Software", 0), 5);
  EXPECT_EQ(reg.RegDeleteKeyExW(kHKEY_CURRENT_USER, u"Software\\MixedCase", 0), 0);
  EXPECT_EQ(reg.RegDeleteKeyExW(kHKEY_CURRENT_USER, u"Software\\MixedCase", 0), 2);
  EXPECT_EQ(reg.RegOpenKeyExW(kHKEY_LOCAL_MACHINE, u"\\SOFTWARE", 0, kKEY_READ, &h), 161);
  EXPECT_EQ(reg.RegOpenKeyExW(kHKEY_LOCAL_MACHINE, u"SOFTWARE", 0,
                              kKEY_READ | kKEY_WOW64_32KEY | kKEY_WOW64_64KEY, &h),
            87);

  // A key refusing write access still opens for reading.
  store.DenyWriteOpen(kHKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\SafeBoot");
  EXPECT_EQ(reg.RegOpenKeyExW(kHKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\SafeBoot",
                              0, kKEY_SET_VALUE, &h),
            5);
  ASSERT_EQ(reg.RegOpenKeyExW(kHKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\SafeBoot",
                              0, kKEY_QUERY_VALUE, &h),
            0);
  EXPECT_EQ(reg.RegCloseKey(h), 0);
}

TEST_F(RegistryTest, SimulatedViewsFollowTheProcessAndTheFlags) {
  RegistryApi& reg = OS().reg;
  store.SetString(kHKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", u"Bits", u"64");
  store.SetString(kHKEY_LOCAL_MACHINE, u"SOFTWARE\\WOW6432Node\\Vendor", u"Bits", u"32");
  auto read = [&](DWORD sam) {
    HKEY h = 0;
    if (reg.RegOpenKeyExW(kHKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", 0, sam, &h) != 0) {
      return std::u16string(u"<none>");
    }
    char16_t buf[8] = {};
    DWORD size = sizeof buf;
    reg.RegQueryValueExW(h, u"Bits", nullptr, buf, &size);
    reg.RegCloseKey(h);
    return std::u16string(buf);
  };
  EXPECT_EQ(read(kKEY_READ), u"32");  // a 32-bit process
  EXPECT_EQ(read(kKEY_READ | kKEY_WOW64_64KEY), u"64");
  m.facts.process_is_32bit = false;
  EXPECT_EQ(read(kKEY_READ), u"64");
  EXPECT_EQ(read(kKEY_READ | kKEY_WOW64_32KEY), u"32");
  m.facts.is_64bit = false;
  m.facts.process_is_32bit = true;
  EXPECT_EQ(read(kKEY_READ | kKEY_WOW64_32KEY), u"64");  // one view only: the flags do nothing

  // A key deleted while open answers 1018.
  HKEY h = 0;
  ASSERT_EQ(reg.RegOpenKeyExW(kHKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", 0, kKEY_READ, &h), 0);
  store.DeleteKey(kHKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor");
  DWORD size = 0;
  EXPECT_EQ(reg.RegQueryValueExW(h, u"Bits", nullptr, nullptr, &size), 1018);
  EXPECT_EQ(reg.RegCloseKey(h), 0);
}

}  // namespace
}  // namespace kes
