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

void TakeControlReg(platform::HKEY eHKEY, std::u16string_view sRegSubKey,
                    std::u16string& sTakeOwnerName, std::u16string& sTakePermName) {
  Proc p(kModule, u"TakeControlReg", Kind::Sub);
  p.Args({u"eHKEY", GetHKEYName(eHKEY, true), u"sRegSubKey", sRegSubKey, u"sTakeOwnerName",
          sTakeOwnerName, u"sTakePermName", sTakePermName});
  p.Log(kNotAvailable, debug::Event_Normal);
}

void TakeControl(std::u16string_view sFileOrDir, bool bIncludeSubDirs, std::int32_t ShowType,
                 std::u16string& sTakeOwnerName, std::u16string& sTakePermName) {
  Proc p(kModule, u"TakeControl", Kind::Sub);
  p.Args({u"sFileOrDir", sFileOrDir, u"bIncludeSubDirs", bIncludeSubDirs, u"ShowType", ShowType,
          u"sTakeOwnerName", sTakeOwnerName, u"sTakePermName", sTakePermName});
  p.Log(kNotAvailable, debug::Event_Normal);
}

bool GetRegKeyPermissions(platform::HKEY eHKEY, std::u16string_view sSubKey) {
  Proc p(kModule, u"GetRegKeyPermissions", Kind::Function);
  p.Args({u"eHKEY", GetHKEYName(eHKEY, true), u"sSubKey", sSubKey});
  p.Log(kNotAvailable, debug::Event_Normal);
  // Not one of the five grants was made.
  const bool failed = true;
  p.Result(failed);
  return failed;
}

}  // namespace kes
