#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/base/u16.h"
#include "platform/sim/shutdown.h"
#include "platform/sim/tools.h"

namespace kes::sim {
namespace {

using platform::UINT;
using Kind = ShutdownRequest::Kind;

constexpr DWORD kERROR_NO_SHUTDOWN_IN_PROGRESS = 1116;
constexpr DWORD kSHTDN_REASON_FLAG_PLANNED = 0x80000000u;
constexpr char16_t kShutdownPrivilege[] = u"SeShutdownPrivilege";

void Record(Machine& m, Kind kind, std::u16string via, UINT flags, DWORD reason, bool forced) {
  m.shutdown_requests.push_back({kind, std::move(via), flags, reason, forced, m.user_name});
}

// The restart or shutdown the flags ask for; none of these bits is a logoff.
Kind KindOfFlags(UINT flags) {
  if (flags & platform::kEWX_REBOOT) return Kind::kRestart;
  if (flags & platform::kEWX_POWEROFF) return Kind::kPowerOff;
  if (flags & platform::kEWX_SHUTDOWN) return Kind::kShutdown;
  return Kind::kLogoff;
}

// A tool's way of failing: its message with the code behind it, the code as exit code.
DWORD ToolError(Machine& m, std::u16string_view message, DWORD code) {
  m.console_output.push_back(std::u16string(message) + u"(" + Dec(code) + u")");
  return code;
}

// "[p|u:]xx:yy" as shutdown.exe reads it: planned flag, major and minor reason.
std::optional<DWORD> ParseReason(std::u16string_view s) {
  DWORD reason = 0;
  const std::size_t colon = s.find(u':');
  if (colon == std::u16string_view::npos) return std::nullopt;
  std::u16string_view numbers = s;
  const std::u16string head = LowerCase(s.substr(0, colon));
  if (head == u"p" || head == u"u" || head == u"up" || head == u"pu") {
    if (head.find(u'p') != std::u16string::npos) reason |= kSHTDN_REASON_FLAG_PLANNED;
    numbers = s.substr(colon + 1);
  }
  const std::size_t sep = numbers.find(u':');
  if (sep == std::u16string_view::npos || sep == 0 || sep + 1 >= numbers.size())
    return std::nullopt;
  DWORD parts[2] = {0, 0};
  const std::u16string_view texts[2] = {numbers.substr(0, sep), numbers.substr(sep + 1)};
  for (int i = 0; i < 2; ++i) {
    for (char16_t c : texts[i]) {
      if (c < u'0' || c > u'9' || parts[i] > 0xFFFF) return std::nullopt;
      parts[i] = parts[i] * 10 + (c - u'0');
    }
  }
  if (parts[0] > 0xFF || parts[1] > 0xFFFF) return std::nullopt;
  return reason | (parts[0] << 16) | parts[1];
}

}  // namespace

platform::BOOL SimExitWindowsEx(Machine& m, UINT flags, DWORD reason) {
  if (auto e = m.Gate("ExitWindowsEx")) {
    m.last_error = *e;
    return 0;
  }
  UINT known = platform::kEWX_SHUTDOWN | platform::kEWX_REBOOT | platform::kEWX_FORCE |
               platform::kEWX_POWEROFF | platform::kEWX_FORCEIFHUNG;
  if (m.facts.version.dwMajorVersion >= 6) known |= platform::kEWX_RESTARTAPPS;
  if (flags & ~known) {
    m.last_error = platform::kERROR_INVALID_PARAMETER;
    return 0;
  }
  const Kind kind = KindOfFlags(flags);
  if (kind != Kind::kLogoff) {
    const auto held = m.token.privileges.find(kShutdownPrivilege);
    if (held == m.token.privileges.end() || !held->second) {
      m.last_error = platform::kERROR_PRIVILEGE_NOT_HELD;
      return 0;
    }
  }
  Record(m, kind, u"ExitWindowsEx", flags, reason, (flags & platform::kEWX_FORCE) != 0);
  return 1;
}

DWORD RunShutdownTool(Machine& m, const std::u16string& command_line) {
  if (auto e = m.Gate("shutdown.exe")) return *e;
  const std::vector<std::u16string> args = SplitCommandLine(command_line);
  if (args.size() < 2) {
    m.console_output.push_back(
        u"Usage: shutdown [/i | /l | /s | /r | /g | /a | /p | /h | /e] [/f]\r\n"
        u"    [/m \\\\computer][/t xxx][/d [p|u:]xx:yy [/c \"comment\"]]");
    return 0;
  }
  constexpr char16_t kBadParameter[] = u"The parameter is incorrect.";
  std::optional<Kind> kind;
  bool restart_apps = false, forced = false, abort = false, remote = false, with_reason = false;
  DWORD reason = 0;
  std::uint32_t timeout = 30;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::u16string& a = args[i];
    if (a.size() < 2 || (a[0] != u'-' && a[0] != u'/')) return ToolError(m, kBadParameter, 87);
    const std::u16string o = LowerCase(std::u16string_view(a).substr(1));
    const bool needs_value = o == u"t" || o == u"d" || o == u"c" || o == u"m";
    if (needs_value && i + 1 >= args.size()) return ToolError(m, kBadParameter, 87);
    if (o == u"r" || o == u"g") {
      kind = Kind::kRestart;
      restart_apps = o == u"g";
    } else if (o == u"s" || o == u"p") {
      kind = o == u"p" ? Kind::kPowerOff : Kind::kShutdown;
    } else if (o == u"l") {
      kind = Kind::kLogoff;
    } else if (o == u"a") {
      abort = true;
    } else if (o == u"f") {
      forced = true;
    } else if (o == u"t") {
      std::uint64_t t = 0;
      for (char16_t c : args[++i]) {
        if (c < u'0' || c > u'9' || t > 315360000u) return ToolError(m, kBadParameter, 87);
        t = t * 10 + (c - u'0');
      }
      if (t > 315360000u) return ToolError(m, kBadParameter, 87);
      timeout = static_cast<std::uint32_t>(t);
    } else if (o == u"d") {
      const auto r = ParseReason(args[++i]);
      if (!r) return ToolError(m, kBadParameter, 87);
      reason = *r;
      with_reason = true;
    } else if (o == u"c") {
      ++i;  // the comment is only shown
    } else if (o == u"m") {
      ++i;
      remote = true;
    } else {
      return ToolError(m, kBadParameter, 87);
    }
  }
  if (abort) {
    return ToolError(m, u"Unable to abort the system shutdown because no shutdown was in progress.",
                     kERROR_NO_SHUTDOWN_IN_PROGRESS);
  }
  if (!kind || (*kind == Kind::kLogoff && (remote || with_reason)))
    return ToolError(m, kBadParameter, 87);
  if (remote) return ToolError(m, u"The network path was not found.", 53);
  if (timeout > 0) forced = true;  // a count-down closes applications without asking

  UINT flags = platform::kEWX_LOGOFF;
  switch (*kind) {
    case Kind::kRestart:
      flags = platform::kEWX_REBOOT | (restart_apps ? UINT{platform::kEWX_RESTARTAPPS} : UINT{0});
      break;
    case Kind::kShutdown:
      flags = platform::kEWX_SHUTDOWN;
      break;
    case Kind::kPowerOff:
      flags = platform::kEWX_POWEROFF;
      break;
    case Kind::kLogoff:
      break;
  }
  if (forced) flags |= platform::kEWX_FORCE;
  // The tool enables the privilege itself; only a token that does not hold it is refused.
  if (*kind != Kind::kLogoff && !m.token.privileges.contains(kShutdownPrivilege))
    return ToolError(m, u"A required privilege is not held by the client.",
                     platform::kERROR_PRIVILEGE_NOT_HELD);
  Record(m, *kind, u"shutdown.exe", flags, reason, forced);
  return 0;
}

DWORD RunWpeutilTool(Machine& m, const std::u16string& command_line) {
  if (auto e = m.Gate("wpeutil.exe")) return *e;
  const std::vector<std::u16string> args = SplitCommandLine(command_line);
  const std::u16string command = args.size() > 1 ? LowerCase(args[1]) : u"";
  if (command == u"reboot") {
    Record(m, Kind::kRestart, u"wpeutil.exe", platform::kEWX_REBOOT | platform::kEWX_FORCE, 0,
           true);
    return 0;
  }
  if (command == u"shutdown") {
    Record(m, Kind::kShutdown, u"wpeutil.exe", platform::kEWX_SHUTDOWN | platform::kEWX_FORCE, 0,
           true);
    return 0;
  }
  for (const char16_t* quiet :
       {u"initializenetwork", u"waitfornetwork", u"waitforremovablestorage", u"disablefirewall",
        u"enablefirewall", u"updatebootinfo", u"createpagefile", u"setkeyboardlayout",
        u"setmuilanguage", u"setuserlocale"}) {
    if (command == quiet) return 0;
  }
  m.console_output.push_back(
      u"Usage: wpeutil {Reboot | Shutdown | InitializeNetwork | WaitForNetwork |\r\n"
      u"    WaitForRemovableStorage | DisableFirewall | EnableFirewall | UpdateBootInfo |\r\n"
      u"    CreatePageFile | SetKeyboardLayout | SetMuiLanguage | SetUserLocale}");
  return 1;
}

DWORD RunLogoffTool(Machine& m, const std::u16string& command_line) {
  if (auto e = m.Gate("logoff.exe")) return *e;
  const std::vector<std::u16string> args = SplitCommandLine(command_line);
  if (args.size() > 1 && args[1] == u"/?") {
    m.console_output.push_back(
        u"Terminates a session.\r\n\r\nLOGOFF [sessionname | sessionid] [/SERVER:servername] [/V]");
    return 0;
  }
  Record(m, Kind::kLogoff, u"logoff.exe", platform::kEWX_LOGOFF, 0, false);
  return 0;
}

}  // namespace kes::sim
