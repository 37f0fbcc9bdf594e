#include "platform/sim/tools.h"

#include <algorithm>
#include <utility>

#include "platform/base/u16.h"
#include "platform/sim/bcd_store.h"
#include "platform/sim/shutdown.h"

namespace kes::sim {
namespace {

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

void Print(Machine& m, std::u16string text) {
  m.console_output.push_back(std::move(text));
}

// net.exe answers a refused request with the message and, for its own (NERR_) codes, the
// pointer to NET HELPMSG; for Windows error codes with "System error N has occurred."
DWORD NetRefuse(Machine& m, DWORD code, std::u16string_view message) {
  if (code >= 2100 && code < 3000) {
    Print(m, std::u16string(message) + u"\r\n\r\nMore help is available by typing NET HELPMSG " +
                 Dec(code) + u".");
  } else {
    Print(m, u"System error " + Dec(code) + u" has occurred.\r\n\r\n" + std::u16string(message));
  }
  return 2;
}

DWORD NetSyntax(Machine& m, std::u16string_view usage) {
  Print(m, u"The syntax of this command is:\r\n\r\n" + std::u16string(usage));
  return 1;
}

constexpr char16_t kDone[] = u"The command completed successfully.";
constexpr char16_t kUserNotFound[] = u"The user name could not be found.";

bool IsSwitch(std::u16string_view arg, std::u16string_view name) {
  // net accepts any unambiguous start of a switch: /ADD, /add, /DEL, /delete, /d...
  if (arg.size() < 2 || arg[0] != u'/') return false;
  const std::u16string given = LowerCase(arg.substr(1));
  return std::u16string_view(name).substr(0, given.size()) == given;
}

void RemoveMember(SimGroup& g, std::u16string_view name) {
  g.members.erase(std::remove_if(g.members.begin(), g.members.end(),
                                 [&](const std::u16string& s) { return EqualsNoCase(s, name); }),
                  g.members.end());
}

bool IsMember(const SimGroup& g, std::u16string_view name) {
  return std::any_of(g.members.begin(), g.members.end(),
                     [&](const std::u16string& s) { return EqualsNoCase(s, name); });
}

// The words after "net user" / "net localgroup", with their /ADD and /DELETE switches.
struct NetWords {
  std::vector<std::u16string> words;
  bool add = false;
  bool del = false;
};

// False for a switch the commands do not know (the tool then prints its usage).
bool ParseNetWords(const std::vector<std::u16string>& args, NetWords& out) {
  for (std::size_t i = 2; i < args.size(); ++i) {
    if (IsSwitch(args[i], u"add"))
      out.add = true;
    else if (IsSwitch(args[i], u"delete"))
      out.del = true;
    else if (args[i].starts_with(u"/"))
      return false;
    else
      out.words.push_back(args[i]);
  }
  return true;
}

DWORD NetUser(Machine& m, const std::vector<std::u16string>& args) {
  static constexpr char16_t kUsage[] =
      u"NET USER\r\n[username [password | *] [options]] [/DOMAIN]\r\n"
      u"         username {password | *} /ADD [options] [/DOMAIN]\r\n"
      u"         username [/DELETE] [/DOMAIN]";
  NetWords parsed;
  if (!ParseNetWords(args, parsed)) return NetSyntax(m, kUsage);
  auto& [words, add, del] = parsed;
  if (words.empty()) {
    if (add || del) return NetSyntax(m, kUsage);
    std::u16string list = u"User accounts for \\\\" + m.computer_name + u"\r\n\r\n";
    for (const auto& [key, account] : m.accounts) list += account.name + u"\r\n";
    Print(m, list + kDone);
    return 0;
  }
  if ((add && del) || words.size() > 2 || (del && words.size() > 1)) return NetSyntax(m, kUsage);
  const std::u16string& name = words[0];
  const std::u16string key = LowerCase(name);
  const auto it = m.accounts.find(key);
  if (add) {
    if (it != m.accounts.end()) return NetRefuse(m, 2224, u"The account already exists.");
    m.accounts[key] = SimAccount{name, words.size() > 1 ? words[1] : u"", false};
    Print(m, kDone);
    return 0;
  }
  if (it == m.accounts.end()) return NetRefuse(m, 2221, kUserNotFound);
  if (del) {
    m.accounts.erase(it);
    for (auto& [gkey, group] : m.local_groups) RemoveMember(group, name);
    Print(m, kDone);
    return 0;
  }
  if (words.size() > 1) {  // a new password
    it->second.password = words[1];
    Print(m, kDone);
    return 0;
  }
  Print(m, u"User name                    " + it->second.name +
               u"\r\nAccount active               " + (it->second.disabled ? u"No" : u"Yes") +
               u"\r\n" + kDone);
  return 0;
}

DWORD NetLocalGroup(Machine& m, const std::vector<std::u16string>& args) {
  static constexpr char16_t kUsage[] =
      u"NET LOCALGROUP\r\n[groupname [/COMMENT:\"text\"]] [/DOMAIN]\r\n"
      u"              groupname {/ADD [/COMMENT:\"text\"] | /DELETE}  [/DOMAIN]\r\n"
      u"              groupname name [...] {/ADD | /DELETE} [/DOMAIN]";
  NetWords parsed;
  if (!ParseNetWords(args, parsed)) return NetSyntax(m, kUsage);
  auto& [words, add, del] = parsed;
  if (add && del) return NetSyntax(m, kUsage);
  if (words.empty()) {
    if (add || del) return NetSyntax(m, kUsage);
    std::u16string list = u"Aliases for \\\\" + m.computer_name + u"\r\n\r\n";
    for (const auto& [key, group] : m.local_groups) list += u"*" + group.name + u"\r\n";
    Print(m, list + kDone);
    return 0;
  }
  const std::u16string gkey = LowerCase(words[0]);
  auto git = m.local_groups.find(gkey);
  if (words.size() == 1) {
    if (add) {
      if (git != m.local_groups.end())
        return NetRefuse(m, 1379, u"The specified local group already exists.");
      m.local_groups[gkey] = SimGroup{words[0], {}};
    } else if (git == m.local_groups.end()) {
      return NetRefuse(m, 1376, u"The specified local group does not exist.");
    } else if (del) {
      m.local_groups.erase(git);
    } else {
      std::u16string list = u"Alias name     " + git->second.name + u"\r\n\r\nMembers\r\n\r\n";
      for (const auto& member : git->second.members) list += member + u"\r\n";
      Print(m, list + kDone);
      return 0;
    }
    Print(m, kDone);
    return 0;
  }
  if (!add && !del) return NetSyntax(m, kUsage);
  if (git == m.local_groups.end())
    return NetRefuse(m, 1376, u"The specified local group does not exist.");
  for (std::size_t i = 1; i < words.size(); ++i) {
    const std::u16string& name = words[i];
    if (add) {
      if (!m.accounts.contains(LowerCase(name)))
        return NetRefuse(m, 1788, u"There is no such global user or group: " + name + u".");
      if (IsMember(git->second, name))
        return NetRefuse(m, 1378, u"The specified account name is already a member of the group.");
      git->second.members.push_back(m.accounts[LowerCase(name)].name);
    } else {
      if (!IsMember(git->second, name))
        return NetRefuse(m, 1377, u"The specified account name is not a member of the group.");
      RemoveMember(git->second, name);
    }
  }
  Print(m, kDone);
  return 0;
}

}  // namespace

std::vector<std::u16string> SplitCommandLine(std::u16string_view s) {
  std::vector<std::u16string> out;
  std::size_t i = 0;
  // The program token: quotes group, no escapes (the loader's rule).
  while (i < s.size() && IsBlank(s[i])) ++i;
  if (i >= s.size()) return out;
  std::u16string first;
  bool quoted = false;
  for (; i < s.size(); ++i) {
    if (s[i] == u'"')
      quoted = !quoted;
    else if (IsBlank(s[i]) && !quoted)
      break;
    else
      first += s[i];
  }
  out.push_back(first);
  for (;;) {
    while (i < s.size() && IsBlank(s[i])) ++i;
    if (i >= s.size()) break;
    std::u16string arg;
    quoted = false;
    while (i < s.size() && (quoted || !IsBlank(s[i]))) {
      if (s[i] == u'\\') {
        std::size_t n = 0;
        while (i < s.size() && s[i] == u'\\') ++n, ++i;
        if (i < s.size() && s[i] == u'"') {
          arg.append(n / 2, u'\\');
          if (n % 2 == 1) {
            arg += u'"';
            ++i;
          }
        } else {
          arg.append(n, u'\\');
        }
        continue;
      }
      if (s[i] == u'"') {
        if (quoted && i + 1 < s.size() && s[i + 1] == u'"') {  // "" inside quotes: a quote
          arg += u'"';
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
        continue;
      }
      arg += s[i++];
    }
    out.push_back(std::move(arg));
  }
  return out;
}

std::u16string_view ArgsAfterProgram(std::u16string_view s) {
  std::size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  if (i < s.size() && s[i] == u'"') {
    const std::size_t close = s.find(u'"', i + 1);
    i = close == std::u16string_view::npos ? s.size() : close + 1;
  }
  while (i < s.size() && !IsBlank(s[i])) ++i;
  while (i < s.size() && IsBlank(s[i])) ++i;
  return s.substr(i);
}

DWORD RunNet(Machine& m, const std::u16string& command_line) {
  const std::vector<std::u16string> args = SplitCommandLine(command_line);
  const std::u16string what = args.size() > 1 ? LowerCase(args[1]) : u"";
  if (what == u"user" || what == u"users") return NetUser(m, args);
  if (what == u"localgroup") return NetLocalGroup(m, args);
  return NetSyntax(
      m,
      u"NET\r\n    [ ACCOUNTS | COMPUTER | CONFIG | CONTINUE | FILE | GROUP | HELP |\r\n"
      u"      HELPMSG | LOCALGROUP | PAUSE | SESSION | SHARE | START |\r\n"
      u"      STATISTICS | STOP | TIME | USE | USER | VIEW ]");
}

DWORD RunAcceptingTool(Machine&, const std::u16string&) {
  return 0;
}

void InstallDefaultTools(Machine& m) {
  const std::pair<const char16_t*, SimProgramFn> tools[] = {
      {u"cmd.exe", RunCmd},
      {u"reg.exe", RunReg},
      {u"net.exe", RunNet},
      {u"bcdedit.exe", RunBcdedit},
      {u"shutdown.exe", RunShutdownTool},
      {u"logoff.exe", RunLogoffTool},
      {u"wpeutil.exe", RunWpeutilTool},
  };
  for (const char16_t* folder : {u"\\System32\\", u"\\SysWOW64\\"}) {
    for (const auto& [name, run] : tools) m.AddProgram(m.facts.windows_dir + folder + name, run);
  }

  if (m.accounts.empty()) {
    const std::u16string user = m.user_name;
    for (const auto& [name, disabled] : {std::pair<std::u16string, bool>{u"Administrator", true},
                                         {u"DefaultAccount", true},
                                         {u"Guest", true},
                                         {user, false}}) {
      m.accounts[LowerCase(name)] = SimAccount{name, u"", disabled};
    }
    m.local_groups[u"administrators"] = SimGroup{u"Administrators", {u"Administrator", user}};
    m.local_groups[u"users"] = SimGroup{u"Users", {user}};
    m.local_groups[u"guests"] = SimGroup{u"Guests", {u"Guest"}};
  }
}

}  // namespace kes::sim
