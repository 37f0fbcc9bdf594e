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

static_assert(sizeof(pf::SECURITY_DESCRIPTOR) == sizeof(::SECURITY_DESCRIPTOR));
static_assert(offsetof(pf::SECURITY_DESCRIPTOR, Dacl) == offsetof(::SECURITY_DESCRIPTOR, Dacl));
static_assert(sizeof(pf::ACL_SIZE_INFORMATION) == sizeof(::ACL_SIZE_INFORMATION));
static_assert(sizeof(pf::ACE_HEADER) == sizeof(::ACE_HEADER));

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

  pf::BOOL LookupAccountNameW(const char16_t* system_name, const char16_t* account_name,
                              pf::PSID sid, pf::DWORD* sid_size, char16_t* domain,
                              pf::DWORD* domain_size, pf::SID_NAME_USE* use) override {
    ::DWORD sid_bytes = sid_size ? *sid_size : 0;
    ::DWORD domain_chars = domain_size ? *domain_size : 0;
    ::SID_NAME_USE kind = SidTypeUnknown;
    const ::BOOL ok = ::LookupAccountNameW(W(system_name), W(account_name), sid, &sid_bytes,
                                           W(domain), &domain_chars, &kind);
    if (sid_size) *sid_size = sid_bytes;
    if (domain_size) *domain_size = domain_chars;
    if (use) *use = kind;
    return ok;
  }

  pf::DWORD GetLengthSid(pf::PSID sid) override { return ::GetLengthSid(sid); }
  pf::BOOL EqualSid(pf::PSID sid1, pf::PSID sid2) override { return ::EqualSid(sid1, sid2); }

  pf::BOOL InitializeSecurityDescriptor(pf::PSECURITY_DESCRIPTOR descriptor,
                                        pf::DWORD revision) override {
    return ::InitializeSecurityDescriptor(descriptor, revision);
  }

  pf::BOOL GetSecurityDescriptorDacl(pf::PSECURITY_DESCRIPTOR descriptor, pf::BOOL* present,
                                     pf::PACL* dacl, pf::BOOL* defaulted) override {
    ::BOOL has = FALSE;
    ::BOOL by_default = FALSE;
    ::PACL acl = nullptr;
    const ::BOOL ok = ::GetSecurityDescriptorDacl(descriptor, &has, &acl, &by_default);
    if (present) *present = has;
    if (defaulted) *defaulted = by_default;
    if (dacl) *dacl = acl;
    return ok;
  }

  pf::BOOL SetSecurityDescriptorDacl(pf::PSECURITY_DESCRIPTOR descriptor, pf::BOOL present,
                                     pf::PACL dacl, pf::BOOL defaulted) override {
    return ::SetSecurityDescriptorDacl(descriptor, present, static_cast<::PACL>(dacl), defaulted);
  }

  pf::BOOL GetSecurityDescriptorControl(pf::PSECURITY_DESCRIPTOR descriptor, pf::WORD* control,
                                        pf::DWORD* revision) override {
    ::SECURITY_DESCRIPTOR_CONTROL bits = 0;
    ::DWORD rev = 0;
    const ::BOOL ok = ::GetSecurityDescriptorControl(descriptor, &bits, &rev);
    if (control) *control = bits;
    if (revision) *revision = rev;
    return ok;
  }

  pf::BOOL SetSecurityDescriptorControl(pf::PSECURITY_DESCRIPTOR descriptor, pf::WORD mask,
                                        pf::WORD bits) override {
    return ::SetSecurityDescriptorControl(descriptor, mask, bits);
  }

  pf::BOOL GetAclInformation(pf::PACL acl, void* info, pf::DWORD info_length,
                             pf::DWORD info_class) override {
    return ::GetAclInformation(static_cast<::PACL>(acl), info, info_length,
                               static_cast<::ACL_INFORMATION_CLASS>(info_class));
  }

  pf::BOOL InitializeAcl(pf::PACL acl, pf::DWORD length, pf::DWORD revision) override {
    return ::InitializeAcl(static_cast<::PACL>(acl), length, revision);
  }

  pf::BOOL AddAce(pf::PACL acl, pf::DWORD revision, pf::DWORD start_index, const void* ace_list,
                  pf::DWORD length) override {
    return ::AddAce(static_cast<::PACL>(acl), revision, start_index, const_cast<void*>(ace_list),
                    length);
  }

  pf::BOOL GetAce(pf::PACL acl, pf::DWORD index, void** ace) override {
    return ::GetAce(static_cast<::PACL>(acl), index, ace);
  }

  pf::BOOL AddAccessAllowedAceEx(pf::PACL acl, pf::DWORD revision, pf::DWORD ace_flags,
                                 pf::DWORD mask, pf::PSID sid) override {
    return ::AddAccessAllowedAceEx(static_cast<::PACL>(acl), revision, ace_flags, mask, sid);
  }

  pf::BOOL GetSecurityDescriptorOwner(pf::PSECURITY_DESCRIPTOR descriptor, pf::PSID* owner,
                                      pf::BOOL* defaulted) override {
    ::PSID sid = nullptr;
    ::BOOL by_default = FALSE;
    const ::BOOL ok = ::GetSecurityDescriptorOwner(descriptor, &sid, &by_default);
    if (owner) *owner = sid;
    if (defaulted) *defaulted = by_default;
    return ok;
  }

  pf::BOOL SetSecurityDescriptorOwner(pf::PSECURITY_DESCRIPTOR descriptor, pf::PSID owner,
                                      pf::BOOL defaulted) override {
    return ::SetSecurityDescriptorOwner(descriptor, owner, defaulted);
  }
};

}  // namespace

std::unique_ptr<platform::SecurityApi> MakeWin32Security() {
  return std::make_unique<Win32SecurityApi>();
}

}  // namespace kes::win32
