#include "framework/registry/permissions.h"

#include "framework/debug/proc.h"
#include "framework/registry/access.h"

namespace kes {
namespace {
using debug::Kind;
using debug::Proc;

constexpr std::u16string_view kModule = u"App_Common";
constexpr std::u16string_view kNotAvailable =
    u"Not available: ownership and permission changes are not implemented yet; nothing was "
    u"changed.";

}  // namespace

void TakeControlReg(platform::HKEY root, std::u16string_view reg_sub_key,
                    std::u16string& take_owner_name, std::u16string& take_perm_name) {
  Proc p(kModule, u"TakeControlReg", Kind::Sub);
  p.Args({u"eHKEY", GetHKEYName(root, true), u"sRegSubKey", reg_sub_key, u"sTakeOwnerName",
          take_owner_name, u"sTakePermName", take_perm_name});
  p.Log(kNotAvailable, debug::Event_Normal);
}

void TakeControl(std::u16string_view file_or_dir, bool include_sub_dirs, std::int32_t show_type,
                 std::u16string& take_owner_name, std::u16string& take_perm_name) {
  Proc p(kModule, u"TakeControl", Kind::Sub);
  p.Args({u"sFileOrDir", file_or_dir, u"bIncludeSubDirs", include_sub_dirs, u"ShowType", show_type,
          u"sTakeOwnerName", take_owner_name, u"sTakePermName", take_perm_name});
  p.Log(kNotAvailable, debug::Event_Normal);
}

bool GetRegKeyPermissions(platform::HKEY root, std::u16string_view sub_key) {
  Proc p(kModule, u"GetRegKeyPermissions", Kind::Function);
  p.Args({u"eHKEY", GetHKEYName(root, true), u"sSubKey", sub_key});
  p.Log(kNotAvailable, debug::Event_Normal);
  // Not one of the five grants was made.
  const bool failed = true;
  p.Result(failed);
  return failed;
}

}  // namespace kes
