// Taking ownership of registry keys and files and granting full control on them, so that a
// refused delete or overwrite can be tried once more. Module App_Common.
//
// Neither route (the external tool nor the native ACL merge) is built yet: each call logs that
// it is not available and changes nothing, so the caller's one retry simply fails again.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace kes {

// Makes the owner account owner of the key and its sub-keys and gives the permission account
// full control; empty names are filled with the defaults for the root and returned. Never
// reports failure (the caller's retry shows whether it helped). Not available yet: logs so and
// leaves the key and both names unchanged.
void TakeControlReg(platform::HKEY root, std::u16string_view reg_sub_key,
                    std::u16string& take_owner_name, std::u16string& take_perm_name);

// The same for a file (and its parent folder) or, with `include_sub_dirs`, a folder tree;
// `show_type` is the window show mode of the tool. Not available yet: logs so and changes
// nothing.
void TakeControl(std::u16string_view file_or_dir, bool include_sub_dirs, std::int32_t show_type,
                 std::u16string& take_owner_name, std::u16string& take_perm_name);

// Grants full control on the key to the current user, System, Administrators, Power Users and
// users. True when at least one grant failed; false when all five were granted. Not available
// yet: logs so, grants nothing and returns true.
bool GetRegKeyPermissions(platform::HKEY root, std::u16string_view sub_key);

}  // namespace kes
