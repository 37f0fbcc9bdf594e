// cmd.exe of the simulated machine (see tools.h for what it understands).
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/base/u16.h"
#include "platform/sim/process_view.h"
#include "platform/sim/processes.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/tools.h"

namespace kes::sim {
namespace {

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

std::u16string_view SkipBlanks(std::u16string_view s) {
  std::size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  return s.substr(i);
}

// The first token of `s` (quoted or up to a blank) without its quotes; `rest` gets what follows
// it, blanks skipped.
std::u16string TakeToken(std::u16string_view s, std::u16string_view* rest) {
  s = SkipBlanks(s);
  std::u16string token;
  std::size_t i = 0;
  if (!s.empty() && s[0] == u'"') {
    const std::size_t close = s.find(u'"', 1);
    token = std::u16string(s.substr(1, close == std::u16string_view::npos ? s.npos : close - 1));
    i = close == std::u16string_view::npos ? s.size() : close + 1;
  } else {
    while (i < s.size() && !IsBlank(s[i])) token += s[i++];
  }
  *rest = SkipBlanks(s.substr(i));
  return token;
}

// The "/c" text keeps its quotes only when it is exactly one quoted program name with blanks
// inside and nothing special: otherwise the first and the last quote go, as cmd /? explains.
std::u16string StripOuterQuotes(Machine& m, std::u16string text, bool s_switch) {
  if (text.empty() || text[0] != u'"') return text;
  std::size_t quotes = 0;
  for (char16_t c : text) quotes += c == u'"';
  const std::size_t second = text.find(u'"', 1);
  bool keep = !s_switch && quotes == 2;
  if (keep) {
    const std::u16string_view inner = std::u16string_view(text).substr(1, second - 1);
    keep = inner.find_first_of(u"&<>()@^|") == std::u16string_view::npos &&
           inner.find_first_of(u" \t") != std::u16string_view::npos;
    if (keep) {
      LaunchRequest req;
      req.command_line = u"\"" + std::u16string(inner) + u"\"";
      DWORD error = 0;
      keep = FindProgramFile(m, req, &error).has_value();
    }
  }
  if (keep) return text;
  const std::size_t last = text.rfind(u'"');
  if (last != 0) text.erase(last, 1);
  text.erase(0, 1);
  return text;
}

enum class Join { kAlways, kOnSuccess, kOnFailure, kPipe };
struct Command {
  std::u16string text;
  Join join = Join::kAlways;  // how it hangs on the command before it
};

// Splits at "&", "&&", "||" and "|" (a pipe: the command reads what the one before printed)
// outside quotes.
std::vector<Command> SplitCommands(std::u16string_view text) {
  std::vector<Command> out(1);
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'"') quoted = !quoted;
    if (!quoted && (c == u'&' || c == u'|')) {
      Join join = c == u'|' ? Join::kPipe : Join::kAlways;
      if (i + 1 < text.size() && text[i + 1] == c) {
        join = c == u'&' ? Join::kOnSuccess : Join::kOnFailure;
        ++i;
      }
      out.push_back({u"", join});
      continue;
    }
    out.back().text += c;
  }
  return out;
}

struct Session {
  DWORD errorlevel = 0;
  bool exited = false;
  std::vector<std::u16string> piped;  // what the command before a pipe printed, line by line
};

// find.exe over piped lines: prints the lines that contain the quoted text (/i: in any letter
// case, /v: the lines that do not); errorlevel 0 when a line was printed, 1 when none, 2 for a
// command line without the text.
// True when the command's program is the system's find.exe, found as cmd finds a program (its
// current folder first): a "find.exe" put anywhere else is an ordinary program of its own.
bool IsSystemFind(Machine& m, std::u16string_view command) {
  std::u16string_view rest;
  const std::u16string program = LowerCase(TakeToken(command, &rest));
  const std::size_t slash = program.rfind(u'\\');
  const std::u16string name = slash == std::u16string::npos ? program : program.substr(slash + 1);
  if (name != u"find" && name != u"find.exe") return false;
  LaunchRequest req;
  req.command_line = u"\"" + program + u"\"";
  req.search_first = FsCurrentDirectory(m);
  DWORD error = 0;
  const std::optional<std::u16string> file = FindProgramFile(m, req, &error);
  if (!file) return false;
  const std::u16string win = LowerCase(m.facts.windows_dir);
  const std::u16string found = LowerCase(*file);
  return found == win + u"\\system32\\find.exe" || found == win + u"\\syswow64\\find.exe";
}

DWORD Find(Machine& m, std::u16string_view args, const std::vector<std::u16string>& lines) {
  bool ignore_case = false;
  bool invert = false;
  std::optional<std::u16string> wanted;
  std::u16string_view rest = args;
  while (!SkipBlanks(rest).empty()) {
    std::u16string_view tail;
    const std::u16string token = TakeToken(rest, &tail);
    if (EqualsNoCase(token, u"/i"))
      ignore_case = true;
    else if (EqualsNoCase(token, u"/v"))
      invert = true;
    else if (!wanted)
      wanted = token;
    rest = tail;
  }
  if (!wanted) {
    m.console_output.push_back(u"FIND: Parameter format not correct");
    return 2;
  }
  const std::u16string needle = ignore_case ? LowerCase(*wanted) : *wanted;
  bool printed = false;
  for (const std::u16string& line : lines) {
    const std::u16string hay = ignore_case ? LowerCase(line) : line;
    if ((hay.find(needle) != std::u16string::npos) != invert) {
      m.console_output.push_back(line);
      printed = true;
    }
  }
  return printed ? 0 : 1;
}

// Splits printed messages into lines.
std::vector<std::u16string> Lines(const std::vector<std::u16string>& printed) {
  std::vector<std::u16string> out;
  for (const std::u16string& text : printed) {
    std::size_t at = 0;
    while (at <= text.size()) {
      std::size_t end = text.find(u"\r\n", at);
      if (end == std::u16string::npos) end = text.size();
      out.push_back(text.substr(at, end - at));
      at = end + 2;
    }
  }
  return out;
}

// Parses the decimal number at the start of `s` the way cmd does for "exit": an optional sign
// and digits; anything else is 0.
DWORD ParseExitCode(std::u16string_view s) {
  std::size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == u'-' || s[i] == u'+')) negative = s[i++] == u'-';
  std::int64_t v = 0;
  while (i < s.size() && s[i] >= u'0' && s[i] <= u'9' && v <= 0xFFFFFFFFLL)
    v = v * 10 + (s[i++] - u'0');
  return static_cast<DWORD>(negative ? -v : v);
}

void NotRecognized(Machine& m, std::u16string_view name) {
  m.console_output.push_back(u"'" + std::u16string(name) +
                             u"' is not recognized as an internal or external command,\r\n"
                             u"operable program or batch file.");
}

DWORD RunProgram(Machine& m, std::u16string_view command) {
  LaunchRequest req;
  req.command_line = std::u16string(command);
  // cmd looks for a program in its current folder before anywhere else, its own folder included.
  req.search_first = FsCurrentDirectory(m);
  DWORD error = 0;
  const DWORD pid = LaunchProcess(m, req, &error);
  if (pid == 0) {
    std::u16string_view rest;
    NotRecognized(m, TakeToken(command, &rest));
    return 1;
  }
  WaitForChild(m, pid);
  const SimProcess* child = FindProcess(m, pid);
  return child && child->exit_code ? *child->exit_code : 0;
}

DWORD Start(Machine& m, std::u16string_view args) {
  LaunchRequest req;
  req.startup_flags = platform::kSTARTF_USESHOWWINDOW;
  req.show_window = platform::kSW_SHOWNORMAL;
  bool wait = false;
  bool have_title = false;
  std::u16string_view r = SkipBlanks(args);
  for (;;) {
    if (!have_title && !r.empty() && r[0] == u'"') {  // the first quoted text is the title
      TakeToken(r, &r);
      have_title = true;
      continue;
    }
    if (r.empty() || r[0] != u'/') break;
    std::u16string_view after;
    const std::u16string option = LowerCase(TakeToken(r, &after));
    if (option == u"/wait") {
      wait = true;
    } else if (option == u"/min") {
      req.show_window = platform::kSW_SHOWMINNOACTIVE;
    } else if (option == u"/max") {
      req.show_window = platform::kSW_SHOWMAXIMIZED;
    } else if (option == u"/d") {
      req.directory = TakeToken(after, &after);
    } else if (option.starts_with(u"/d")) {
      req.directory = option.size() > 2 ? TakeToken(r.substr(2), &after) : u"";
    } else if (option == u"/node" || option == u"/affinity") {
      TakeToken(after, &after);
    }
    r = after;
  }
  req.command_line = r.empty() ? u"cmd.exe" : std::u16string(r);
  DWORD error = 0;
  const DWORD pid = LaunchProcess(m, req, &error);
  if (pid == 0) {
    std::u16string_view rest;
    m.console_output.push_back(u"The system cannot find the file " +
                               TakeToken(req.command_line, &rest) + u".");
    return 9059;
  }
  if (!wait) return 0;
  WaitForChild(m, pid);
  const SimProcess* child = FindProcess(m, pid);
  return child && child->exit_code ? *child->exit_code : 0;
}

void RunOne(Machine& m, std::u16string_view text, Session& s) {
  text = SkipBlanks(text);
  while (!text.empty() && text[0] == u'@') text = SkipBlanks(text.substr(1));
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  if (text.empty()) return;
  std::size_t end = 0;
  while (end < text.size() && !IsBlank(text[end]) && text[end] != u'/' && text[end] != u'"') ++end;
  const std::u16string word = LowerCase(text.substr(0, end));
  const std::u16string_view rest = SkipBlanks(text.substr(end));
  if (word == u"exit") {
    std::u16string_view after = rest;
    std::u16string_view tail;
    std::u16string token = TakeToken(after, &tail);
    if (EqualsNoCase(token, u"/b")) {
      after = tail;
      token = TakeToken(after, &tail);
    }
    if (!token.empty()) s.errorlevel = ParseExitCode(token);
    s.exited = true;
  } else if (word == u"echo") {
    m.console_output.push_back(std::u16string(rest));
  } else if (word == u"rem" || word == u"cls" || word == u"title") {
    // nothing to simulate
  } else if (IsSystemFind(m, text)) {
    std::u16string_view args;
    TakeToken(text, &args);
    s.errorlevel = Find(m, args, s.piped);
  } else if (word == u"start") {
    s.errorlevel = Start(m, rest);
  } else {
    s.errorlevel = RunProgram(m, text);
  }
}

// Runs each command of a command text in turn.
void RunCommands(Machine& m, const std::u16string& text, Session& session) {
  const std::vector<Command> commands = SplitCommands(text);
  for (std::size_t i = 0; i < commands.size(); ++i) {
    const Command& c = commands[i];
    if (session.exited) break;
    if (c.join == Join::kOnSuccess && session.errorlevel != 0) continue;
    if (c.join == Join::kOnFailure && session.errorlevel == 0) continue;
    if (c.join != Join::kPipe) session.piped.clear();
    // What a command writes into a pipe is read by the next one, not shown.
    const bool into_pipe = i + 1 < commands.size() && commands[i + 1].join == Join::kPipe;
    const std::size_t shown = m.console_output.size();
    RunOne(m, c.text, session);
    if (into_pipe) {
      const std::vector<std::u16string> printed(m.console_output.begin() + shown,
                                                m.console_output.end());
      m.console_output.resize(shown);
      session.piped = Lines(printed);
    }
  }
}

// The "Autorun" start hooks cmd runs, HKLM's then HKCU's, in the registry view of this cmd (a
// 32-bit cmd on 64-bit Windows reads HKLM's through WOW6432Node).
std::vector<std::u16string> AutorunHooks(Machine& m) {
  const bool wow64 = m.facts.is_64bit && m.facts.process_is_32bit;
  const std::u16string machine_key = wow64 ? u"SOFTWARE\\WOW6432Node\\Microsoft\\Command Processor"
                                           : u"SOFTWARE\\Microsoft\\Command Processor";
  std::vector<std::u16string> hooks;
  for (const auto& [root, key] :
       {std::pair{platform::kHKEY_LOCAL_MACHINE, machine_key},
        std::pair{platform::kHKEY_CURRENT_USER,
                  std::u16string(u"Software\\Microsoft\\Command Processor")}}) {
    const std::optional<std::u16string> hook = m.registry().GetString(root, key, u"Autorun");
    if (hook && !Trim(*hook).empty()) hooks.push_back(*hook);
  }
  return hooks;
}

}  // namespace

DWORD RunCmd(Machine& m, const std::u16string& command_line) {
  std::u16string_view rest = SkipBlanks(ArgsAfterProgram(command_line));
  char16_t mode = 0;
  bool s_switch = false;
  bool skip_autorun = false;
  while (rest.size() >= 2 && rest[0] == u'/') {
    const char16_t c = LowerChar(rest[1]);
    if (c == u'c' || c == u'k') {
      mode = c;
      rest = SkipBlanks(rest.substr(2));
      break;
    }
    if (c == u's') s_switch = true;
    if (c == u'd') skip_autorun = true;
    std::size_t i = 2;
    while (i < rest.size() && !IsBlank(rest[i]) && rest[i] != u'/') ++i;
    rest = SkipBlanks(rest.substr(i));
  }
  Session session;
  // Before anything else cmd runs the start hooks, the machine's then the user's, unless /d.
  if (!skip_autorun) {
    for (const std::u16string& hook : AutorunHooks(m)) RunCommands(m, hook, session);
    session.exited = false;
  }
  // The "/c" or "/k" text loses its outer quotes as cmd's rules say; a start hook is run as it
  // stands.
  if (mode != 0) RunCommands(m, StripOuterQuotes(m, std::u16string(rest), s_switch), session);
  // Without /c, or with /k and no "exit", the prompt waits for input that never comes.
  if (mode != u'c' && !session.exited) m.CurrentProcess().run_ms = kRunsUntilTerminated;
  return session.errorlevel;
}

}  // namespace kes::sim
