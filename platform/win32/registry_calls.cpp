// Registry calls forwarded to advapi32, with the status returned unchanged.
#include "platform/win32/machine.h"
#include "platform/win32/windows_support.h"

namespace kes::win32 {
namespace {

// The interface carries the predefined roots as their 32-bit numbers (0x80000002); Windows
// declares them sign-extended, which differs in a 64-bit process. Opened keys pass unchanged.
::HKEY ToWin(platform::HKEY key) {
  if (key >= platform::kHKEY_CLASSES_ROOT && key <= platform::kHKEY_CURRENT_USER_LOCAL_SETTINGS) {
    return reinterpret_cast<::HKEY>(
        static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<LONG>(key))));
  }
  return reinterpret_cast<::HKEY>(key);
}

platform::HKEY FromWin(::HKEY key) {
  return reinterpret_cast<platform::HKEY>(key);
}

platform::LONG Status(LSTATUS s) {
  return static_cast<platform::LONG>(s);
}

// 32-bit Windows XP has no RegDeleteKeyExW (and no second view); it is looked up, not imported,
// so that the program still loads there.
using RegDeleteKeyExWFn = LSTATUS(WINAPI*)(::HKEY, LPCWSTR, REGSAM, DWORD);
RegDeleteKeyExWFn DeleteKeyEx() {
  HMODULE advapi = GetModuleHandleW(L"advapi32.dll");
  if (!advapi) return nullptr;
  return reinterpret_cast<RegDeleteKeyExWFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(advapi, "RegDeleteKeyExW")));
}

class Win32RegistryApi final : public platform::RegistryApi {
 public:
  platform::LONG RegOpenKeyExW(platform::HKEY key, const char16_t* sub_key, platform::DWORD options,
                               platform::DWORD sam, platform::HKEY* result) override {
    ::HKEY opened = nullptr;
    const LSTATUS s = ::RegOpenKeyExW(ToWin(key), W(sub_key), options, sam, &opened);
    if (result) *result = s == ERROR_SUCCESS ? FromWin(opened) : 0;
    return Status(s);
  }

  platform::LONG RegCreateKeyExW(platform::HKEY key, const char16_t* sub_key,
                                 const char16_t* class_name, platform::DWORD options,
                                 platform::DWORD sam, platform::HKEY* result,
                                 platform::DWORD* disposition) override {
    ::HKEY opened = nullptr;
    DWORD how = 0;
    // No security attributes: the new keys get the default security of their parent.
    const LSTATUS s =
        ::RegCreateKeyExW(ToWin(key), W(sub_key), 0, const_cast<LPWSTR>(W(class_name)), options,
                          sam, nullptr, &opened, &how);
    if (result) *result = s == ERROR_SUCCESS ? FromWin(opened) : 0;
    if (disposition && s == ERROR_SUCCESS) *disposition = how;
    return Status(s);
  }

  platform::LONG RegQueryValueExW(platform::HKEY key, const char16_t* name, platform::DWORD* type,
                                  void* data, platform::DWORD* size) override {
    DWORD t = 0;
    DWORD n = size ? *size : 0;
    const LSTATUS s = ::RegQueryValueExW(ToWin(key), W(name), nullptr, &t,
                                         static_cast<LPBYTE>(data), size ? &n : nullptr);
    if (type) *type = t;
    if (size) *size = n;
    return Status(s);
  }

  platform::LONG RegSetValueExW(platform::HKEY key, const char16_t* name, platform::DWORD type,
                                const void* data, platform::DWORD size) override {
    return Status(
        ::RegSetValueExW(ToWin(key), W(name), 0, type, static_cast<const BYTE*>(data), size));
  }

  platform::LONG RegDeleteValueW(platform::HKEY key, const char16_t* name) override {
    return Status(::RegDeleteValueW(ToWin(key), W(name)));
  }

  platform::LONG RegDeleteKeyExW(platform::HKEY key, const char16_t* sub_key,
                                 platform::DWORD sam) override {
    static const RegDeleteKeyExWFn delete_key_ex = DeleteKeyEx();
    if (delete_key_ex) return Status(delete_key_ex(ToWin(key), W(sub_key), sam, 0));
    return Status(::RegDeleteKeyW(ToWin(key), W(sub_key)));
  }

  platform::LONG RegEnumKeyExW(platform::HKEY key, platform::DWORD index, char16_t* name,
                               platform::DWORD* name_len) override {
    DWORD len = name_len ? *name_len : 0;
    const LSTATUS s = ::RegEnumKeyExW(ToWin(key), index, W(name), name_len ? &len : nullptr,
                                      nullptr, nullptr, nullptr, nullptr);
    if (name_len) *name_len = len;
    return Status(s);
  }

  platform::LONG RegEnumValueW(platform::HKEY key, platform::DWORD index, char16_t* name,
                               platform::DWORD* name_len, platform::DWORD* type, void* data,
                               platform::DWORD* size) override {
    DWORD len = name_len ? *name_len : 0;
    DWORD t = 0;
    DWORD n = size ? *size : 0;
    const LSTATUS s = ::RegEnumValueW(ToWin(key), index, W(name), name_len ? &len : nullptr,
                                      nullptr, &t, static_cast<LPBYTE>(data), size ? &n : nullptr);
    if (name_len) *name_len = len;
    if (type) *type = t;
    if (size) *size = n;
    return Status(s);
  }

  platform::LONG RegGetKeySecurity(platform::HKEY key, platform::DWORD info, void* descriptor,
                                   platform::DWORD* size) override {
    DWORD n = size ? *size : 0;
    const LSTATUS s = ::RegGetKeySecurity(ToWin(key), info, descriptor, &n);
    if (size) *size = n;
    return Status(s);
  }

  platform::LONG RegSetKeySecurity(platform::HKEY key, platform::DWORD info,
                                   const void* descriptor) override {
    return Status(::RegSetKeySecurity(ToWin(key), info, const_cast<void*>(descriptor)));
  }

  platform::LONG RegCloseKey(platform::HKEY key) override {
    return Status(::RegCloseKey(ToWin(key)));
  }
};

}  // namespace

std::unique_ptr<platform::RegistryApi> MakeWin32Registry() {
  return std::make_unique<Win32RegistryApi>();
}

}  // namespace kes::win32
