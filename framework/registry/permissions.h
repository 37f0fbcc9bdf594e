// Taking ownership of registry keys and files and granting full control on them, so that a
// refused delete or overwrite can be tried once more. Module App_Common.
//
// Two routes: the Resource Kit's subinacl.exe (EXE_SubInACL; without it the external route does
// nothing), run through RunX for keys (TakeControlReg) and for files and folders (TakeControl);
// and a native one that merges explicit entries into a key's DACL (GetRegKeyPermissions ->
// RegSetKeyPermission -> UpdatePermissionsOfRegistryKey). Vocabulary: access_control terms of
// the platform (owner, DACL, ACE, SID, inherited entry).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace kes {

// Fills empty account names for the file route: both the current user when not running as
// SYSTEM ("System" and "Everyone" when it does); an empty permission account alone becomes
// "Everyone" for an owner "administrators" or "system", else the owner (Everyone under SYSTEM).
void EnsurePermissionUsersForFileFunctions(std::u16string& take_owner_name,
                                           std::u16string& take_perm_name);
// The same for keys: an empty owner is "administrators" except under HKEY_CURRENT_USER, which
// follows the file rule.
void EnsurePermissionUsersForRegFunctions(platform::HKEY root, std::u16string& take_owner_name,
                                          std::u16string& take_perm_name);

// Makes the owner account owner of the key and its sub-keys and gives the permission account
// full control, through four subinacl runs; empty names are filled and returned. Never reports
// failure (the caller's retry shows whether it helped).
void TakeControlReg(platform::HKEY root, std::u16string_view reg_sub_key,
                    std::u16string& take_owner_name, std::u16string& take_perm_name);

// The same for a file (and its parent folder) or, with `include_sub_dirs`, a folder tree;
// `show_type` is the window show mode of the tool.
void TakeControl(std::u16string_view file_or_dir, bool include_sub_dirs, std::int32_t show_type,
                 std::u16string& take_owner_name, std::u16string& take_perm_name);

// Grants full control on the key to the current user, System, Administrators, Power Users and
// users. True when at least one grant failed; false when all five were granted.
bool GetRegKeyPermissions(platform::HKEY root, std::u16string_view sub_key);

// Allows (or, without `allow_access`, denies) `access_rights` on the key to the account (empty:
// the current user, returned so). True when the key's DACL was rewritten.
bool RegSetKeyPermission(platform::HKEY root, std::u16string_view sub_key,
                         std::u16string& account_name, bool& allow_access,
                         platform::DWORD access_rights);

// One entry to merge into a DACL.
struct PermissionRecord {
  std::u16string account_name;
  platform::DWORD access_mask = 0;
  std::uint8_t inheritance = 0;   // CONTAINER_INHERIT_ACE...
  std::uint8_t kind = 0;          // 0 allow, 1 deny
  std::vector<std::uint8_t> sid;  // filled by the ACL builder
};

// Rewrites the DACL of the open key (READ_CONTROL and WRITE_DAC): deny records first, the old
// explicit entries of other SIDs, allow records, then the inherited entries unchanged. True when
// the new DACL was written.
bool UpdatePermissionsOfRegistryKey(platform::HKEY key, std::vector<PermissionRecord>& records);

// True when `sid` is the SID of one of the records.
bool IsEqual(const std::vector<PermissionRecord>& records, const void* sid);
// Appends one ACE (type, flags, mask, a copy of the SID) to `acl`; false, logged, when AddAce
// refuses it.
bool ConstructAndAddAce(void* acl, std::uint8_t ace_type, std::uint8_t ace_flags,
                        platform::DWORD access_mask, const void* sid);

}  // namespace kes
