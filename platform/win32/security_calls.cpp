// Tokens, privileges and accounts on Windows: each call goes straight to advapi32, shell32 or
// netapi32. The platform's records have Windows' layout (checked below), so they are handed over
// as they are.
#include <cstddef>

#include "platform/win32/machine.h"
#include "platform/win32/windows_support.h"

// After windows_support.h, which shapes <windows.h> for them.
#include <lm.h>
#include <shlobj.h>

namespace kes::win32 {
namespace {

namespace pf = kes::platform;

static_assert(sizeof(pf::LUID) == sizeof(::LUID));
static_assert(offsetof(pf::LUID, HighPart) == offsetof(::LUID, HighPart));
static_assert(sizeof(pf::LUID_AND_ATTRIBUTES) == sizeof(::LUID_AND_ATTRIBUTES));
static_assert(offsetof(pf::LUID_AND_ATTRIBUTES, Attributes) ==
              offsetof(::LUID_AND_ATTRIBUTES, Attributes));
static_assert(offsetof(pf::TOKEN_PRIVILEGES, Privileges) ==
              offsetof(::TOKEN_PRIVILEGES, Privileges));
static_assert(sizeof(pf::SID_IDENTIFIER_AUTHORITY) == sizeof(::SID_IDENTIFIER_AUTHORITY));
static_assert(sizeof(pf::USER_INFO_1) == sizeof(::USER_INFO_1));
static_assert(offsetof(pf::USER_INFO_1, usri1_priv) == offsetof(::USER_INFO_1, usri1_priv));
static_assert(offsetof(pf::USER_INFO_1, usri1_script_path) ==
              offsetof(::USER_INFO_1, usri1_script_path));
static_assert(sizeof(pf::USER_INFO_24) == sizeof(::USER_INFO_24));
static_assert(offsetof(pf::USER_INFO_24, usri24_internet_provider_name) ==
              offsetof(::USER_INFO_24, usri24_internet_provider_name));
static_assert(offsetof(pf::USER_INFO_24, usri24_internet_principal_name) ==
              offsetof(::USER_INFO_24, usri24_internet_principal_name));

::HANDLE H(pf::HANDLE h) {
  return reinterpret_cast<::HANDLE>(h);
}

class Win32SecurityApi final : public pf::SecurityApi {
 public:
  pf::BOOL OpenProcessToken(pf::HANDLE process, pf::DWORD desired_access,
                            pf::HANDLE* token) override {
    ::HANDLE h = nullptr;
    const ::BOOL ok = ::OpenProcessToken(H(process), desired_access, &h);
    if (token) *token = reinterpret_cast<pf::HANDLE>(h);
    return ok;
  }

  pf::BOOL LookupPrivilegeValueA(const char* system_name, const char* name,
                                 pf::LUID* luid) override {
    return ::LookupPrivilegeValueA(system_name, name, reinterpret_cast<::PLUID>(luid));
  }

  pf::BOOL AdjustTokenPrivileges(pf::HANDLE token, pf::BOOL disable_all,
                                 const pf::TOKEN_PRIVILEGES* new_state, pf::DWORD buffer_length,
                                 pf::TOKEN_PRIVILEGES* previous_state,
                                 pf::DWORD* return_length) override {
    ::DWORD needed = 0;
    const ::BOOL ok = ::AdjustTokenPrivileges(
        H(token), disable_all,
        const_cast<::PTOKEN_PRIVILEGES>(reinterpret_cast<const ::TOKEN_PRIVILEGES*>(new_state)),
        buffer_length, reinterpret_cast<::PTOKEN_PRIVILEGES>(previous_state),
        previous_state ? &needed : nullptr);
    if (return_length) *return_length = needed;
    return ok;
  }

  pf::BOOL AllocateAndInitializeSid(const pf::SID_IDENTIFIER_AUTHORITY* authority,
                                    std::uint8_t count, pf::DWORD sub0, pf::DWORD sub1,
                                    pf::DWORD sub2, pf::DWORD sub3, pf::DWORD sub4, pf::DWORD sub5,
                                    pf::DWORD sub6, pf::DWORD sub7, pf::PSID* sid) override {
    ::PSID made = nullptr;
    const ::BOOL ok = ::AllocateAndInitializeSid(
        const_cast<::PSID_IDENTIFIER_AUTHORITY>(
            reinterpret_cast<const ::SID_IDENTIFIER_AUTHORITY*>(authority)),
        count, sub0, sub1, sub2, sub3, sub4, sub5, sub6, sub7, &made);
    if (sid) *sid = made;
    return ok;
  }

  pf::PSID FreeSid(pf::PSID sid) override { return ::FreeSid(sid); }

  pf::BOOL CheckTokenMembership(pf::HANDLE token, pf::PSID sid, pf::BOOL* is_member) override {
    ::BOOL member = FALSE;
    const ::BOOL ok = ::CheckTokenMembership(H(token), sid, &member);
    if (is_member) *is_member = member;
    return ok;
  }

  pf::BOOL IsUserAnAdmin() override { return ::IsUserAnAdmin(); }

  pf::DWORD NetUserGetInfo(const char16_t* server_name, const char16_t* user_name, pf::DWORD level,
                           std::uint8_t** buffer) override {
    ::LPBYTE out = nullptr;
    const ::NET_API_STATUS status = ::NetUserGetInfo(W(server_name), W(user_name), level, &out);
    if (buffer) *buffer = out;
    return status;
  }

  pf::DWORD NetApiBufferFree(void* buffer) override { return ::NetApiBufferFree(buffer); }
};

}  // namespace

std::unique_ptr<platform::SecurityApi> MakeWin32Security() {
  return std::make_unique<Win32SecurityApi>();
}

}  // namespace kes::win32
