// Scenario "registry": App_Registry against the real advapi32. The predefined roots must reach
// Windows as Windows spells them (sign-extended in a 64-bit process), texts must be stored with
// their NUL, and a value deleted twice must count as gone both times.
#include <cstdint>
#include <string>

#include "framework/env/context.h"
#include "framework/registry/access.h"
#include "platform/base/u16.h"
#include "tests/e2e/scenarios.h"

namespace kes::win32::e2e {
namespace {

using platform::DWORD;
using platform::HKEY;

constexpr std::u16string_view kKey = u"Software\\Quorlen\\Kestrune-e2e";

Outcome Fail(const std::string& what) {
  return {false, what};
}

// Raw size and type of a value, read without App_Registry.
bool RawValue(HKEY root, std::u16string_view key, const char16_t* name, DWORD& type, DWORD& size) {
  HKEY h = 0;
  const std::u16string path(key);
  if (OS().reg.RegOpenKeyExW(root, path.c_str(), 0, platform::kKEY_QUERY_VALUE, &h) != 0) {
    return false;
  }
  const bool ok = OS().reg.RegQueryValueExW(h, name, &type, nullptr, &size) == 0;
  OS().reg.RegCloseKey(h);
  return ok;
}

Outcome RunOn(HKEY root) {
  const std::string where = Utf8(GetHKEYName(root, true)) + ": ";
  if (!RegWriteValue(root, kKey, u"BootMode", platform::kREG_DWORD, 2)) {
    return Fail(where + "REG_DWORD write failed");
  }
  if (!RegWriteValue(root, kKey, u"One", platform::kREG_SZ, u"1")) {
    return Fail(where + "REG_SZ write failed");
  }
  if (!RegWriteValue(root, kKey, u"List", platform::kREG_MULTI_SZ, u"a") ||
      !RegWriteValue(root, kKey, u"List", platform::kREG_MULTI_SZ, u"b")) {
    return Fail(where + "REG_MULTI_SZ write failed");
  }
  Value v;
  if (!RegReadValue(root, kKey, u"BootMode", platform::kREG_DWORD, 0, v) ||
      !v.get_if<std::int32_t>() || *v.get_if<std::int32_t>() != 2) {
    return Fail(where + "REG_DWORD did not read back as 2");
  }
  if (!RegReadValue(root, kKey, u"One", platform::kREG_SZ, u"", v) || !v.get_if<std::u16string>() ||
      *v.get_if<std::u16string>() != u"1") {
    return Fail(where + "REG_SZ did not read back as \"1\"");
  }
  if (!RegReadValue(root, kKey, u"List", platform::kREG_MULTI_SZ, u"", v) ||
      !v.get_if<std::u16string>() || *v.get_if<std::u16string>() != std::u16string(u"a\0b", 3)) {
    return Fail(where + "REG_MULTI_SZ did not read back as a, b");
  }
  DWORD type = 0;
  DWORD size = 0;
  if (!RawValue(root, kKey, u"One", type, size) || type != platform::kREG_SZ || size != 4) {
    return Fail(where + "REG_SZ \"1\" is not stored as 4 bytes (size " + std::to_string(size) +
                ")");
  }
  if (!RegKeyExist(root, kKey) || RegKeyExist(root, u"Software\\Quorlen\\Nothing-e2e")) {
    return Fail(where + "key existence is wrong");
  }
  bool not_found = false;
  std::int32_t status = -1;
  if (!RegDeleteValue(root, kKey, u"BootMode", not_found, status) || not_found || status != 0) {
    return Fail(where + "first delete failed (status " + std::to_string(status) + ")");
  }
  if (!RegDeleteValue(root, kKey, u"BootMode", not_found, status) || !not_found || status != 0) {
    return Fail(where + "second delete was not 'not found' (status " + std::to_string(status) +
                ")");
  }
  if (RegReadValue(root, kKey, u"BootMode", platform::kREG_DWORD, 7, v) ||
      *v.get_if<std::int32_t>() != 7) {
    return Fail(where + "a deleted value still reads");
  }
  const std::u16string key(kKey);
  OS().reg.RegDeleteKeyExW(root, key.c_str(), platform::kKEY_WOW64_64KEY);
  return {true, {}};
}

}  // namespace

Outcome Registry() {
  for (HKEY root : {platform::kHKEY_CURRENT_USER, platform::kHKEY_LOCAL_MACHINE}) {
    Outcome outcome = RunOn(root);
    if (!outcome.passed) return outcome;
  }
  return {true, "HKCU and HKLM"};
}

}  // namespace kes::win32::e2e
