#include "app/repair.h"

#include <string>

#include "framework/debug/proc.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/env/resources.h"
#include "framework/fs/files.h"
#include "framework/registry/access.h"

namespace kes {

void RepairSafeBootLocal() {
  debug::Proc p(u"KestruneMain", u"RepairSafeBootLocal", debug::Kind::Sub);
  p.Step([&] {
    if (!Ctx().env) return;
    const AppEnv& env = *Ctx().env;
    // First match wins: the newer facts are also true on later versions.
    std::u16string name;
    if (env.Win10_OrNewer) {
      name = u"sb_10";
    } else if (env.Win8_OrNewer) {
      name = u"sb_8";
    } else if (env.Win7) {
      name = u"sb_7";
    } else if (env.WinVista) {
      name = u"sb_v";
    } else if (env.WinXP) {
      name = u"sb_xp";
    } else {
      return;
    }
    const std::u16string file = env.UserDirBS_CurrentUser_Temp + name + u".reg";
    p.Created({u"sFile", file});
    if (ExtractCustomResource(name, file, true)) {
      const bool imported = RegImport(file, true);
      FileDelete(file);
      if (imported) {
        p.Log(u"已导入用于修复安全模式的注册表文件.", debug::Event_Normal);
      } else {
        // The configuration goes on: the branch as it is may still be enough for Safe Mode.
        p.Log(u"The registry file could not be imported; the SafeBoot branch stays as it is.",
              debug::Event_Normal, u"sFile=" + file);
      }
    } else {
      p.Log(u"Failed to extract registry file!", debug::Event_Normal);
    }
  });
}

}  // namespace kes
