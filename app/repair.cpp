#include "app/repair.h"

#include <optional>
#include <string>

#include "framework/debug/proc.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/env/resources.h"
#include "framework/fs/files.h"
#include "framework/fs/work_folder.h"
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
    // The file that the elevated reg.exe imports into HKLM must be the program's own: it is
    // made new, under a name no one can guess, in the folder only administrators may write, and
    // held open without write or delete sharing while reg.exe reads it.
    const std::u16string folder = WorkFolder();
    if (folder.empty()) {
      p.Log(u"The working folder is not to be used; the SafeBoot branch stays as it is.",
            debug::Event_Normal);
      return;
    }
    const std::optional<std::u16string> leaf = UnguessableName(name + u"-", u".reg");
    if (!leaf) {
      p.LogAPI(u"RtlGenRandom");
      return;
    }
    const std::u16string file = folder + u"\\" + *leaf;
    p.Created({u"sFile", file});
    if (FileExist(file)) {
      p.Log(u"A file is already present under the extraction name; it is not used.",
            debug::Event_Normal, u"sFile=" + file);
      return;
    }
    if (!ExtractCustomResource(name, file, false)) {
      p.Log(u"Failed to extract registry file!", debug::Event_Normal);
      FileDelete(file);
      return;
    }
    bool imported = false;
    {
      const platform::UniqueHandle held = HoldForReading(file);
      if (held.valid()) {
        imported = RegImport(file, true);
      } else {
        p.LogAPI(u"CreateFileW", u"sFile=" + file);
      }
    }
    FileDelete(file);
    if (imported) {
      p.Log(u"已导入用于修复安全模式的注册表文件.", debug::Event_Normal);
    } else {
      // The configuration goes on: the branch as it is may still be enough for Safe Mode.
      p.Log(u"The registry file could not be imported; the SafeBoot branch stays as it is.",
            debug::Event_Normal, u"sFile=" + file);
    }
  });
}

}  // namespace kes
