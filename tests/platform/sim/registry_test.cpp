// The simulated registry where the program relies on Windows' exact answers: status codes,
// sizes, letter case, access rights and the two views of a 64-bit Windows.
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using namespace platform;  // NOLINT: Win32 names read best unqualified in these tests

class SimRegistryTest : public MachineTest {
 protected:
  sim::RegistryStore& store = m.registry();
};

TEST_F(SimRegistryTest, AnswersLikeWindows) {
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

TEST_F(SimRegistryTest, ViewsFollowTheProcessAndTheFlags) {
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
