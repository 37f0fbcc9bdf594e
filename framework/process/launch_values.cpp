#include "framework/process/launch_values.h"

#include <utility>

#include "framework/debug/proc.h"
#include "framework/debug/tracing.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/fs/path_forms.h"
#include "framework/util/strings.h"

namespace kes {
namespace {

using debug::Kind;
using debug::Proc;
using debug::VarsToText;
using platform::DWORD;

const AppEnv* Env() {
  return Ctx().env.get();
}

}  // namespace

void SetProcFlags(DWORD& flags, std::int32_t run_as_type, bool no_unicode_environment, bool log) {
  static std::u16string configured_flags;
  const DWORD passed = flags;
  if (configured_flags.empty()) {
    const AppEnv* env = Env();
    const bool dll = env && env->AppInst_IsDLL;
    const bool service = env && env->AppInst_IsService;
    const bool system = env && env->AppInst_IsSystem;
    const bool admin = env && env->AppInst_IsAdmin;
    configured_flags = u"RunX." +
                       std::u16string(dll       ? u"DLL"
                                      : service ? u"ServiceEXE"
                                                : u"StandardEXE") +
                       u"." +
                       std::u16string(system  ? u"LocalSystem"
                                      : admin ? u"Admin"
                                              : u"LimitedUser") +
                       u".";
  }
  std::u16string prefix;
  DWORD table = 0x6000000;
  switch (run_as_type) {
    case 1:
      prefix = u"RunAsAdmin.";
      table = 0x30;
      break;
    case 2:
      prefix = u"RunAsLimitedUser.";
      table = 0x4000210;
      break;
    case 5:
      prefix = u"RunAsLimitedUser.";
      table = 0x30;
      break;
    case 6:
      prefix = u"RunAsLocalSystem.";
      break;
    default:
      break;
  }
  flags = table | (no_unicode_environment ? 0 : DWORD{platform::kCREATE_UNICODE_ENVIRONMENT});
  // No configuration store is attached to this program, so the key scheme below
  // (configured_flags + prefix + "ProcFlags." + option) never overrides the table.
  if (log) {
    debug::dLog(-1, u"App_ExtProcess.SetProcFlags", debug::Event_Verbose,
                VarsToText({u"configured_flags", configured_flags, u"sCFGSettingPrefix", prefix,
                            u"lFlagsPassed", static_cast<std::int32_t>(passed), u"lFlagsReturned",
                            static_cast<std::int32_t>(flags)}));
  }
}

void AddCFGFlagIfEnabled(DWORD& flags, std::u16string_view cfg_item, DWORD flag, bool log) {
  const DWORD passed = flags;
  // Without a configuration store no option is ever set.
  if (log) {
    debug::dLog(-1, u"App_ExtProcess.AddCFGFlagIfEnabled: Flag option not set!",
                debug::Event_Verbose,
                VarsToText({u"sCFGItem", cfg_item, u"lAddCFGFlag", static_cast<std::int32_t>(flag),
                            u"lFlagsPassed", static_cast<std::int32_t>(passed), u"lFlagsReturned",
                            static_cast<std::int32_t>(flags)}));
  }
}

namespace {
// The alternate values of a control-panel item or a batch file: `tool` in the system folder
// and the command line `switch_text` + the quoted path [+ " " + params].
void AlternateValues(std::u16string_view name, std::u16string_view tool,
                     std::u16string_view switch_text, std::u16string& path,
                     std::u16string& params) {
  Proc p(u"App_ExtProcess", name, Kind::Sub);
  p.ByRef({u"sPathAndFilenameAltVar", path, u"sCmdLineParamsAltVar", params});
  std::u16string quoted = path;
  EnsureWrappingChr(quoted, u"\"");
  std::u16string command = std::u16string(switch_text) + quoted;
  if (!params.empty()) command += u" " + params;
  std::u16string application =
      (Env() ? Env()->Dir_System32 : std::u16string()) + u"\\" + std::u16string(tool);
  PrepPathForUnicodeAPI(application);
  path = std::move(application);
  params = std::move(command);
  p.ReturnedByRef({u"sPathAndFilenameAltVar", path, u"sCmdLineParamsAltVar", params});
}
}  // namespace

void GetCPLValuesForRunX(std::u16string& path_and_filename, std::u16string& cmd_line_params) {
  AlternateValues(u"GetCPLValuesForRunX", u"control.exe", u" ", path_and_filename, cmd_line_params);
}

void GetBatchFileValuesForRunX(std::u16string& path_and_filename, std::u16string& cmd_line_params) {
  AlternateValues(u"GetBatchFileValuesForRunX", u"cmd.exe", u" /c ", path_and_filename,
                  cmd_line_params);
}

}  // namespace kes
