// Registry access as the program depends on it: the 64-bit view of a 32-bit process, text
// values read whatever their writer did with the terminating NUL, the one take-control retry of
// a refused delete, and registry files imported with the native reg.exe.
#include "framework/registry/access.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using namespace platform;  // NOLINT: Win32 names read best unqualified in these tests

std::u16string TextOf(const Value& v) {
  const auto* s = v.get_if<std::u16string>();
  return s ? *s : u"<not a text>";
}

class RegistryTest : public MachineTest {
 protected:
  RegistryTest() { StartupFacts(); }
  sim::RegistryStore& store = m.registry();
};

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
  EXPECT_TRUE(LogHas("Removed 'WOW6432Node\\' from non-offline/guest registry key string..."));

  std::u16string empty;
  std::int32_t sam = 6;
  bool removed = false;
  EXPECT_FALSE(AddRegFlagWOW64(kHKEY_LOCAL_MACHINE, empty, sam, removed));
  EXPECT_EQ(sam, 6);
  EXPECT_TRUE(LogHas("Aborting; Passed empty string!"));
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
  store.SetValue(kHKEY_LOCAL_MACHINE, key, u"NoNul", kREG_SZ, Utf16Bytes(u"abc"));
  store.SetValue(kHKEY_LOCAL_MACHINE, key, u"Padded", kREG_SZ,
                 Utf16Bytes(std::u16string(u"  pad  \0", 8)));
  store.SetValue(kHKEY_LOCAL_MACHINE, key, u"Junk", kREG_EXPAND_SZ,
                 Utf16Bytes(std::u16string(u"%TEMP%\0junk\0", 12)));
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
  EXPECT_TRUE(LogHas("RegOpenKeyExW"));

  EXPECT_FALSE(RegReadValue(kHKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                            u"NoSuchValue", kREG_DWORD, 7, v));
  ASSERT_NE(v.get_if<std::int32_t>(), nullptr);
  EXPECT_EQ(*v.get_if<std::int32_t>(), 7);
  EXPECT_TRUE(LogHas("RegQueryValueExW REG_DWORD"));

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
  EXPECT_TRUE(LogHas("Type mismatch"));
  EXPECT_TRUE(LogHas("Invalid use of Null"));
}

TEST_F(RegistryTest, BinaryWritesAreRefusedWithALogEntry) {
  EXPECT_FALSE(
      RegWriteValue(kHKEY_LOCAL_MACHINE, u"Software\\Quorlen\\Bin", u"b", kREG_BINARY, u"0102"));
  EXPECT_TRUE(LogHas("REG_BINARY not supported in this function."));
  EXPECT_FALSE(store.KeyExists(kHKEY_LOCAL_MACHINE, u"SOFTWARE\\Quorlen\\Bin"));
  EXPECT_EQ(m.CallCount("RegSetValueExW"), 0);
}

TEST_F(RegistryTest, MultiTextWritesAppendToTheList) {
  EXPECT_TRUE(RegWriteValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"List", kREG_MULTI_SZ, u"a"));
  EXPECT_TRUE(RegWriteValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"List", kREG_MULTI_SZ, u"bc"));
  auto v = store.GetValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"List");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->type, kREG_MULTI_SZ);
  EXPECT_EQ(v->data, Utf16Bytes(std::u16string(u"a\0bc\0\0", 6)));

  Value read;
  EXPECT_TRUE(RegReadValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"List", kREG_MULTI_SZ, u"", read));
  EXPECT_EQ(TextOf(read), std::u16string(u"a\0bc", 4));

  // Empty entries of the list there are dropped; an empty list does not become a leading
  // empty entry, which would hide everything behind it.
  store.SetValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"Gaps", kREG_MULTI_SZ,
                 Utf16Bytes(std::u16string(u"x\0\0y\0\0", 6)));
  store.SetValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"Blank", kREG_MULTI_SZ,
                 Utf16Bytes(std::u16string(u"\0", 1)));
  EXPECT_TRUE(RegWriteValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"Gaps", kREG_MULTI_SZ, u"z"));
  EXPECT_TRUE(RegWriteValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"Blank", kREG_MULTI_SZ, u"z"));
  EXPECT_EQ(store.GetValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"Gaps")->data,
            Utf16Bytes(std::u16string(u"x\0y\0z\0\0", 7)));
  EXPECT_EQ(store.GetValue(kHKEY_LOCAL_MACHINE, kOwnKey, u"Blank")->data,
            Utf16Bytes(std::u16string(u"z\0\0", 3)));
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
  EXPECT_TRUE(LogHas("Delete registry value success!"));

  EXPECT_TRUE(
      RegDeleteValue(kHKEY_LOCAL_MACHINE, run_once, u"*Quorlen Kestrune Mod", not_found, status));
  EXPECT_TRUE(not_found);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(LogHas("Registry value not found!"));

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
  EXPECT_EQ(m.CallCount("RegOpenKeyExW"), 2 + 5);  // the two deletes and the five grants
  EXPECT_TRUE(store.GetValue(kHKEY_LOCAL_MACHINE, cmd, u"Autorun"));
  EXPECT_EQ(LogCount(u"Attempting to obtain ownership/permissions over the registry key..."), 1);
  EXPECT_TRUE(LogHas("TakeControlReg"));
  // The grants went through for all but the current user, whom these facts do not name.
  EXPECT_EQ(m.CallCount("RegSetKeySecurity"), 4);
  EXPECT_EQ(m.OpenHandleCount(), handles);

  // When the second attempt goes through, the delete counts as a success.
  store.AllowAccess(kHKEY_LOCAL_MACHINE, cmd);
  m.InjectFault("RegDeleteValueW", kERROR_ACCESS_DENIED, 3);
  EXPECT_TRUE(RegDeleteValue(kHKEY_LOCAL_MACHINE, cmd, u"Autorun", not_found, status));
  EXPECT_EQ(status, 0);
  EXPECT_EQ(m.CallCount("RegDeleteValueW"), 4);
  EXPECT_FALSE(store.GetValue(kHKEY_LOCAL_MACHINE, cmd, u"Autorun"));
  EXPECT_TRUE(LogHas("Delete registry value success!  (after fail/take control/retry!)"));
}

TEST_F(RegistryTest, KeyExistenceTellsAbsentFromUnreadable) {
  EXPECT_TRUE(RegKeyExist(kHKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\SafeBoot"));
  EXPECT_TRUE(RegKeyExist(kHKEY_LOCAL_MACHINE, u"software\\microsoft\\command processor"));
  EXPECT_FALSE(RegKeyExist(kHKEY_LOCAL_MACHINE, kOwnKey));
  EXPECT_TRUE(LogHas("Registry key does not exist!"));
  m.InjectFault("RegOpenKeyExW", kERROR_ACCESS_DENIED, m.CallCount("RegOpenKeyExW") + 1);
  EXPECT_FALSE(RegKeyExist(kHKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\SafeBoot"));
  EXPECT_TRUE(LogHas("WARNING:  Registry key may or may not exist!"));
}

TEST_F(RegistryTest, RegImportThroughRegExeWritesTheNativeRegistryView) {
  const std::u16string file = Env().UserDirBS_CurrentUser_Temp + u"safeboot.reg";
  m.fs().AddFileUtf16(
      file,
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\Minimal\\KesTest]\r\n"
      u"@=\"Driver\"\r\n\r\n"
      u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorlen\\ImportTest]\r\n"
      u"\"Name\"=\"Value\"\r\n");
  RegImport(file, true);
  EXPECT_EQ(store.GetString(kHKEY_LOCAL_MACHINE,
                            u"SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\Minimal\\KesTest", u""),
            u"Driver");
  // The 64-bit reg.exe ran (redirection off), so SOFTWARE landed in the native view.
  EXPECT_EQ(store.GetString(kHKEY_LOCAL_MACHINE, u"SOFTWARE\\Quorlen\\ImportTest", u"Name"),
            u"Value");
  EXPECT_FALSE(store.KeyExists(kHKEY_LOCAL_MACHINE, u"SOFTWARE\\WOW6432Node\\Quorlen\\ImportTest"));
  EXPECT_EQ(Started(m, u"reg.exe")->command_line,
            u"C:\\Windows\\System32\\reg.exe import \"" + file + u"\"");
  EXPECT_EQ(*Started(m, u"reg.exe")->exit_code, 0u);

  // A file that is not a registry script, and a missing one: reg.exe exits 1, nothing changes.
  m.fs().AddFile(Env().UserDirBS_CurrentUser_Temp + u"bad.reg",
                 std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bad]\r\n"));
  RegImport(Env().UserDirBS_CurrentUser_Temp + u"bad.reg", true);
  EXPECT_EQ(*m.processes.back().exit_code, 1u);
  EXPECT_FALSE(store.KeyExists(kHKEY_LOCAL_MACHINE, u"SOFTWARE\\Bad"));
  RegImport(Env().UserDirBS_CurrentUser_Temp + u"none.reg", true);
  EXPECT_EQ(*m.processes.back().exit_code, 1u);

  // The 32-bit reg.exe (what a launch without the bracket would run) writes the 32-bit view.
  DWORD error = 0;
  ASSERT_NE(StartProcess(m, u"reg.exe import \"" + file + u"\"", &error), 0u);
  EXPECT_TRUE(store.KeyExists(kHKEY_LOCAL_MACHINE, u"SOFTWARE\\WOW6432Node\\Quorlen\\ImportTest"));
}

}  // namespace
}  // namespace kes
