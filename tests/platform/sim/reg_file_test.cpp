// Registry files as reg.exe imports them into the simulated machine: both editor formats, every
// data form the SafeBoot files and hand-made files use, and bad input reported line by line
// without losing the good entries around it.
#include "platform/sim/reg_file.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using namespace platform;  // NOLINT: Win32 names read best unqualified in these tests

constexpr std::u16string_view kSafeBoot = u"SYSTEM\\CurrentControlSet\\Control\\SafeBoot";

// A file as the registry editor saves it: UTF-16LE after the byte-order mark, CR LF lines.
std::string Regedit5(std::u16string_view body) {
  const std::vector<std::uint8_t> bytes = Utf16Bytes(body);
  return "\xFF\xFE" + std::string(bytes.begin(), bytes.end());
}

std::string Describe(const sim::RegFileResult& r) {
  std::string s = Utf8(r.error);
  for (const auto& p : r.problems) {
    s += "\nline " + std::to_string(p.line) + ": " + Utf8(p.reason) + " [" + Utf8(p.text) + "]";
  }
  return s;
}

class RegFileTest : public MachineTest {
 protected:
  sim::RegistryStore& store = m.registry();
};

TEST_F(RegFileTest, Regedit5FileCreatesItsKeysAndValues) {
  const std::u16string body =
      u"Windows Registry Editor Version 5.00\r\n"
      u"\r\n"
      u"[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\SafeBoot]\r\n"
      u"\"AlternateShell\"=\"cmd.exe\"\r\n"
      u"\r\n"
      u"[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\Minimal\\TestSvc]\r\n"
      u"@=\"Service\"\r\n"
      u"\r\n"
      u"; class keys carry a description and sometimes a flag\r\n"
      u"[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\Network\\"
      u"{4D36E96C-E325-11CE-BFC1-08002BE10318}]\r\n"
      u"@=\"Media\"\r\n"
      u"\"SafeBootDrivers\"=dword:00000001\r\n"
      u"\r\n"
      u"[HKEY_CURRENT_USER\\Software\\Quorlen\\Test]\r\n"
      u"\"Quoted\"=\"say \\\"hi\\\" in C:\\\\Temp\\\\\"\r\n"
      u"\"Bin\"=hex:01,02,ff\r\n"
      u"\"Exp\"=hex(2):25,00,54,00,25,00,00,00\r\n"
      u"\"Multi\"=hex(7):61,00,00,00,\\\r\n"
      u"  62,00,00,00,00,00\r\n"
      u"\"名称\"=\"值\"\r\n";
  const auto r = sim::ImportRegFile(store, Regedit5(body));
  ASSERT_TRUE(r.complete()) << Describe(r);
  EXPECT_EQ(r.version, 5);
  EXPECT_EQ(r.keys_written, 4);
  EXPECT_EQ(r.values_written, 9);

  EXPECT_EQ(store.GetString(kHKEY_LOCAL_MACHINE, kSafeBoot, u"AlternateShell"), u"cmd.exe");
  const std::u16string safeboot(kSafeBoot);
  auto svc = store.GetValue(kHKEY_LOCAL_MACHINE, safeboot + u"\\Minimal\\testsvc", u"");
  ASSERT_TRUE(svc);
  EXPECT_EQ(svc->type, kREG_SZ);
  EXPECT_EQ(svc->data, Utf16Bytes(std::u16string(u"Service\0", 8)));  // with its NUL
  const std::u16string media = safeboot + u"\\Network\\{4D36E96C-E325-11CE-BFC1-08002BE10318}";
  EXPECT_EQ(store.GetString(kHKEY_LOCAL_MACHINE, media, u""), u"Media");
  EXPECT_EQ(store.GetDword(kHKEY_LOCAL_MACHINE, media, u"SafeBootDrivers"), 1u);
  // The branch the machine already had is still there beside the new key.
  EXPECT_TRUE(store.KeyExists(kHKEY_LOCAL_MACHINE, safeboot + u"\\Minimal\\AppInfo"));

  const std::u16string_view test = u"Software\\Quorlen\\Test";
  EXPECT_EQ(store.GetString(kHKEY_CURRENT_USER, test, u"Quoted"), u"say \"hi\" in C:\\Temp\\");
  auto bin = store.GetValue(kHKEY_CURRENT_USER, test, u"Bin");
  ASSERT_TRUE(bin);
  EXPECT_EQ(bin->type, kREG_BINARY);
  EXPECT_EQ(bin->data, (std::vector<std::uint8_t>{1, 2, 0xFF}));
  auto exp = store.GetValue(kHKEY_CURRENT_USER, test, u"Exp");
  ASSERT_TRUE(exp);
  EXPECT_EQ(exp->type, kREG_EXPAND_SZ);
  EXPECT_EQ(exp->data, Utf16Bytes(std::u16string(u"%T%\0", 4)));
  auto multi = store.GetValue(kHKEY_CURRENT_USER, test, u"Multi");
  ASSERT_TRUE(multi);
  EXPECT_EQ(multi->type, kREG_MULTI_SZ);
  EXPECT_EQ(multi->data, Utf16Bytes(std::u16string(u"a\0b\0\0", 5)));
  EXPECT_EQ(store.GetString(kHKEY_CURRENT_USER, test, u"名称"), u"值");
}

TEST_F(RegFileTest, DeletionLinesRemoveKeysAndValues) {
  store.SetString(kHKEY_CURRENT_USER, u"Software\\Victim\\Deep\\Er", u"v", u"x");
  store.SetString(kHKEY_CURRENT_USER, u"Software\\Keep", u"Old", u"x");
  store.SetString(kHKEY_CURRENT_USER, u"Software\\Keep", u"Stay", u"x");
  const auto r = sim::ImportRegFile(store, Regedit5(u"Windows Registry Editor Version 5.00\r\n"
                                                    u"\r\n"
                                                    u"[-HKEY_CURRENT_USER\\Software\\Victim]\r\n"
                                                    u"\r\n"
                                                    u"[-HKEY_CURRENT_USER\\Software\\NeverWas]\r\n"
                                                    u"\r\n"
                                                    u"[HKEY_CURRENT_USER\\Software\\Keep]\r\n"
                                                    u"\"Old\"=-\r\n"));
  ASSERT_TRUE(r.complete()) << Describe(r);
  EXPECT_EQ(r.keys_deleted, 1);
  EXPECT_EQ(r.values_deleted, 1);
  EXPECT_FALSE(store.KeyExists(kHKEY_CURRENT_USER, u"Software\\Victim"));
  EXPECT_FALSE(store.GetValue(kHKEY_CURRENT_USER, u"Software\\Keep", u"Old"));
  EXPECT_TRUE(store.GetValue(kHKEY_CURRENT_USER, u"Software\\Keep", u"Stay"));
}

TEST_F(RegFileTest, Regedit4FileIsReadInTheAnsiCodePage) {
  const std::string file =
      "REGEDIT4\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorlen\\Legacy]\r\n"
      "\"Name\"=\"caf\xE9\"\r\n"
      "\"Count\"=dword:0000000a\r\n"
      "\"Exp\"=hex(2):25,54,45,4d,50,25,00\r\n";
  m.ansi_code_page = 1252;
  const auto r = sim::ImportRegFile(store, file);
  ASSERT_TRUE(r.complete()) << Describe(r);
  EXPECT_EQ(r.version, 4);
  const std::u16string_view key = u"SOFTWARE\\Quorlen\\Legacy";
  EXPECT_EQ(store.GetString(kHKEY_LOCAL_MACHINE, key, u"Name"), u"café");
  EXPECT_EQ(store.GetDword(kHKEY_LOCAL_MACHINE, key, u"Count"), 10u);
  auto exp = store.GetValue(kHKEY_LOCAL_MACHINE, key, u"Exp");
  ASSERT_TRUE(exp);
  EXPECT_EQ(exp->type, kREG_EXPAND_SZ);
  EXPECT_EQ(exp->data, Utf16Bytes(std::u16string(u"%TEMP%\0", 7)));  // widened to UTF-16

  // The machine's own code page decides: the same kind of file on a Chinese system.
  m.ansi_code_page = 936;
  const auto gbk = sim::ImportRegFile(
      store, "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Cp]\r\n\"v\"=\"\xD6\xD0\"\r\n");
  ASSERT_TRUE(gbk.complete()) << Describe(gbk);
  EXPECT_EQ(store.GetString(kHKEY_CURRENT_USER, u"Software\\Cp", u"v"), u"中");
}

TEST_F(RegFileTest, FileWithoutAKnownHeaderChangesNothing) {
  const std::u16string body = u"\r\n[HKEY_CURRENT_USER\\Software\\Sneaky]\r\n\"v\"=\"x\"\r\n";
  for (const std::string& file :
       {std::string(), Regedit5(body), Regedit5(u"REGEDIT5\r\n" + body),
        Regedit5(u"Windows Registry Editor Version 4.00\r\n" + body),
        std::string("\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n")}) {
    const auto r = sim::ImportRegFile(store, file);
    EXPECT_FALSE(r.accepted);
    EXPECT_FALSE(r.error.empty());
    EXPECT_FALSE(store.KeyExists(kHKEY_CURRENT_USER, u"Software\\Sneaky"));
  }
  EXPECT_NE(Utf8(sim::ImportRegFile(store, "").error).find("header"), std::string::npos);
}

TEST_F(RegFileTest, BadLinesAreReportedAndTheRestIsApplied) {
  store.DenyAccess(kHKEY_CURRENT_USER, u"Software\\Guarded");
  const auto r =
      sim::ImportRegFile(store, Regedit5(u"Windows Registry Editor Version 5.00\r\n"    // 1
                                         u"\"Orphan\"=\"x\"\r\n"                        // 2
                                         u"[HKEY_NOWHERE\\Software\\X]\r\n"             // 3
                                         u"\"Lost\"=\"x\"\r\n"                          // 4
                                         u"[HKEY_CURRENT_USER\\Software\\Good]\r\n"     // 5
                                         u"\"Num\"=dword:xyz\r\n"                       // 6
                                         u"\"Open=\"x\"\r\n"                            // 7
                                         u"\"Weird\"=qword:1\r\n"                       // 8
                                         u"garbage\r\n"                                 // 9
                                         u"\"Fine\"=\"yes\"\r\n"                        // 10
                                         u"[HKEY_CURRENT_USER\\Software\\Broken\r\n"    // 11
                                         u"[HKEY_CURRENT_USER\\Software\\Guarded]\r\n"  // 12
                                         u"\"v\"=\"x\"\r\n"));                          // 13
  ASSERT_TRUE(r.accepted);
  EXPECT_EQ(store.GetString(kHKEY_CURRENT_USER, u"Software\\Good", u"Fine"), u"yes");
  EXPECT_FALSE(store.GetValue(kHKEY_CURRENT_USER, u"Software\\Good", u"Num"));
  EXPECT_FALSE(store.GetValue(kHKEY_CURRENT_USER, u"Software\\Guarded", u"v"));
  EXPECT_FALSE(store.KeyExists(kHKEY_CURRENT_USER, u"Software\\X"));

  std::vector<int> lines;
  for (const auto& p : r.problems) lines.push_back(p.line);
  EXPECT_EQ(lines, (std::vector<int>{2, 3, 4, 6, 7, 8, 9, 11, 13})) << Describe(r);
  EXPECT_EQ(r.problems.back().status, 5);  // refused by the registry, not a syntax fault
  EXPECT_EQ(r.problems.front().status, 0);
}

TEST_F(RegFileTest, ThirtyTwoBitImportLandsInTheThirtyTwoBitView) {
  const auto r = sim::ImportRegFile(store,
                                    Regedit5(u"Windows Registry Editor Version 5.00\r\n\r\n"
                                             u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n"
                                             u"\"v\"=\"32\"\r\n"
                                             u"[HKEY_LOCAL_MACHINE\\SYSTEM\\Shared]\r\n"),
                                    {}, true);
  ASSERT_TRUE(r.complete()) << Describe(r);
  EXPECT_EQ(store.GetString(kHKEY_LOCAL_MACHINE, u"SOFTWARE\\WOW6432Node\\Vendor", u"v"), u"32");
  EXPECT_FALSE(store.KeyExists(kHKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor"));
  EXPECT_TRUE(store.KeyExists(kHKEY_LOCAL_MACHINE, u"SYSTEM\\Shared"));
}

}  // namespace
}  // namespace kes
