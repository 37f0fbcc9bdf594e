// Processes of the simulated machine and its process interface. A started program's behaviour
// runs at creation (so its effects and exit code exist at once) but the process keeps running
// for its program's run_ms of simulated time; waits move the clock forward to its end.
#include "platform/sim/processes.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "platform/base/u16.h"
#include "platform/sim/process_view.h"
#include "platform/sim/tools.h"

namespace kes::sim {
namespace {

using platform::BOOL;
using platform::HANDLE;
using platform::LONG;

constexpr LONG kSTATUS_INVALID_HANDLE = static_cast<LONG>(0xC0000008u);
constexpr DWORD kERROR_BAD_EXE_FORMAT = 193;
constexpr DWORD kERROR_DIRECTORY = 267;
constexpr DWORD kERROR_NOT_GUI_PROCESS = 1471;
constexpr DWORD kERROR_NO_ASSOCIATION = 1155;
constexpr std::intptr_t kShellSuccess = 42;  // what ShellExecute hands back on success
constexpr std::intptr_t kSE_ERR_NOASSOC = 31;
constexpr DWORD kMaxMsgWaitHandles = 63;  // MAXIMUM_WAIT_OBJECTS less the message queue

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

bool HasPathPart(std::u16string_view name) {
  return name.find_first_of(u"\\/:") != std::u16string_view::npos;
}

bool HasExtension(std::u16string_view name) {
  const std::size_t slash = name.find_last_of(u"\\/");
  const std::size_t dot = name.rfind(u'.');
  return dot != std::u16string_view::npos && (slash == std::u16string_view::npos || dot > slash);
}

std::u16string Join(std::u16string_view folder, std::u16string_view name) {
  std::u16string out(folder);
  if (!out.empty() && out.back() != u'\\') out += u'\\';
  return out + std::u16string(name);
}

// The candidate program names of a command line without an application name. A quoted first
// token is the only one; an unquoted one with blanks is tried ever longer, as Windows does for
// "C:\Program Files\x y.exe": "C:\Program", "C:\Program Files\x", then the whole text.
std::vector<std::u16string> CandidateNames(std::u16string_view cmd) {
  std::size_t i = 0;
  while (i < cmd.size() && IsBlank(cmd[i])) ++i;
  cmd = cmd.substr(i);
  std::vector<std::u16string> out;
  if (cmd.empty()) return out;
  if (cmd[0] == u'"') {
    const std::size_t close = cmd.find(u'"', 1);
    out.emplace_back(cmd.substr(1, close == std::u16string_view::npos ? cmd.npos : close - 1));
    return out;
  }
  for (std::size_t p = 0; p <= cmd.size(); ++p) {
    if (p == cmd.size() || IsBlank(cmd[p])) {
      if (p > 0 && !IsBlank(cmd[p - 1])) out.emplace_back(cmd.substr(0, p));
    }
  }
  return out;
}

bool IsProgramFile(std::u16string_view path) {
  const std::size_t dot = path.rfind(u'.');
  if (dot == std::u16string_view::npos) return false;
  const std::u16string ext = LowerCase(path.substr(dot));
  return ext == u".exe" || ext == u".com" || ext == u".bat" || ext == u".cmd" || ext == u".scr";
}

// The folders searched for a bare program name, first to last.
std::vector<std::u16string> SearchFolders(Machine& m, const LaunchRequest& req) {
  std::vector<std::u16string> folders;
  if (!req.search_first.empty()) folders.push_back(req.search_first);
  const SimProcess& self = m.CurrentProcess();
  const std::size_t slash = self.image.rfind(u'\\');
  if (slash != std::u16string::npos) folders.push_back(self.image.substr(0, slash));
  folders.push_back(FsCurrentDirectory(m));
  folders.push_back(m.facts.windows_dir + u"\\System32");
  folders.push_back(m.facts.windows_dir + u"\\System");
  folders.push_back(m.facts.windows_dir);
  const std::u16string path = m.GetEnv(u"Path").value_or(u"");
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find(u';', start), path.size());
    std::u16string entry = Trim(std::u16string_view(path).substr(start, end - start));
    if (entry.size() >= 2 && entry.front() == u'"' && entry.back() == u'"')
      entry = entry.substr(1, entry.size() - 2);
    if (!entry.empty()) folders.push_back(entry);
    start = end + 1;
  }
  return folders;
}

// One name: a path is taken as it is (relative to the current folder), a bare name searched.
std::optional<std::u16string> FindName(Machine& m, const LaunchRequest& req, std::u16string name,
                                       bool add_exe, DWORD* error) {
  if (add_exe && !HasExtension(name) && (name.empty() || name.back() != u'.')) name += u".exe";
  if (HasPathPart(name)) {
    const std::u16string full = FsFullPath(m, name);
    if (FsIsFile(m, full)) return FsRealPath(m, full);
    *error = FsFolderExists(m, full.substr(0, full.rfind(u'\\'))) ? platform::kERROR_FILE_NOT_FOUND
                                                                  : platform::kERROR_PATH_NOT_FOUND;
    return std::nullopt;
  }
  for (const std::u16string& folder : SearchFolders(m, req)) {
    const std::u16string full = FsFullPath(m, Join(folder, name));
    if (FsIsFile(m, full)) return FsRealPath(m, full);
  }
  *error = platform::kERROR_FILE_NOT_FOUND;
  return std::nullopt;
}

bool Is32BitImage(Machine& m, std::u16string_view real_path) {
  if (!m.facts.is_64bit) return true;
  const std::u16string system32 = LowerCase(m.facts.windows_dir + u"\\System32\\");
  return !LowerCase(real_path).starts_with(system32);
}

DWORD NextProcessId(const Machine& m) {
  DWORD top = 6000;
  for (const SimProcess& p : m.processes) top = std::max(top, p.pid);
  return (top + 8) & ~DWORD{3};
}

// Makes the machine run as another process while that process's program runs: its ID, its
// bitness, and a fresh redirection state of its own.
class RunningAs {
 public:
  RunningAs(Machine& m, const SimProcess& p)
      : m_(m),
        pid_(m.current_pid),
        is_32bit_(m.facts.process_is_32bit),
        fs_(FsEnterProcess(m, p.current_directory)) {
    m.current_pid = p.pid;
    m.facts.process_is_32bit = p.is_32bit;
  }
  ~RunningAs() {
    m_.current_pid = pid_;
    m_.facts.process_is_32bit = is_32bit_;
    FsLeaveProcess(m_, fs_);
  }
  RunningAs(const RunningAs&) = delete;
  RunningAs& operator=(const RunningAs&) = delete;

 private:
  Machine& m_;
  DWORD pid_;
  bool is_32bit_;
  FsProcessState fs_;
};

bool Signalled(const Machine& m, const SimProcess* p) {
  return !p || !p->Running(m.local_ms);
}

}  // namespace

void Machine::AddProgram(std::u16string_view image_path, SimProgramFn run, std::uint32_t run_ms) {
  programs[LowerCase(image_path)] = SimProgram{std::move(run), run_ms};
}

SimProcess* FindProcess(Machine& m, DWORD pid) {
  for (SimProcess& p : m.processes)
    if (p.pid == pid) return &p;
  return nullptr;
}

std::optional<std::u16string> FindProgramFile(Machine& m, const LaunchRequest& req, DWORD* error) {
  *error = platform::kERROR_FILE_NOT_FOUND;
  if (!req.application.empty()) return FindName(m, req, req.application, false, error);
  DWORD first_error = 0;
  for (const std::u16string& name : CandidateNames(req.command_line)) {
    DWORD e = 0;
    if (auto found = FindName(m, req, name, true, &e)) return found;
    if (first_error == 0) first_error = e;
  }
  *error = first_error ? first_error : platform::kERROR_FILE_NOT_FOUND;
  return std::nullopt;
}

DWORD LaunchProcess(Machine& m, const LaunchRequest& req, DWORD* error) {
  const std::optional<std::u16string> image = FindProgramFile(m, req, error);
  if (!image) return 0;
  if (!IsProgramFile(*image)) {
    *error = kERROR_BAD_EXE_FORMAT;
    return 0;
  }
  const auto program = m.programs.find(LowerCase(*image));
  if (program != m.programs.end() && program->second.requires_elevation && !req.elevated &&
      !m.token.elevated) {
    *error = platform::kERROR_ELEVATION_REQUIRED;
    return 0;
  }
  *error = 0;
  const SimProcess& parent = m.CurrentProcess();
  SimProcess p;
  p.pid = NextProcessId(m);
  p.parent_pid = parent.pid;
  p.image = *image;
  p.command_line = req.command_line.empty() ? u"\"" + *image + u"\"" : req.command_line;
  p.is_32bit = Is32BitImage(m, *image);
  p.creation_flags = req.creation_flags;
  p.startup_flags = req.startup_flags;
  p.show_window = (req.startup_flags & platform::kSTARTF_USESHOWWINDOW)
                      ? req.show_window
                      : static_cast<platform::WORD>(platform::kSW_SHOWDEFAULT);
  p.current_directory =
      req.directory.empty() ? FsCurrentDirectory(m) : FsFullPath(m, req.directory);
  p.run_ms = program != m.programs.end() ? program->second.run_ms : 0;
  const DWORD pid = p.pid;
  const std::int64_t started = m.local_ms;
  const std::u16string command_line = p.command_line;
  m.processes.push_back(std::move(p));
  m.started_command_lines.push_back(command_line);

  DWORD code = 0;
  if (program != m.programs.end() && program->second.run) {
    const SimProgramFn run = program->second.run;  // the table may change while it runs
    RunningAs as(m, *FindProcess(m, pid));
    try {
      code = run(m, command_line);
    } catch (const platform::ProcessExit& e) {
      code = e.code;
    } catch (const platform::ProcessorFault& f) {
      code = f.code;
    }
  }
  SimProcess* rec = FindProcess(m, pid);
  if (rec->run_ms == kRunsUntilTerminated) return pid;  // exit code stays unknown
  rec->exit_code = code;
  // No program ends in no time: one that does nothing is still there when its starter looks
  // right after starting it, and gone once the clock moves.
  rec->ends_at_ms = started + std::max<std::uint32_t>(rec->run_ms, 1);
  return pid;
}

void WaitForChild(Machine& m, DWORD child_pid) {
  const SimProcess* child = FindProcess(m, child_pid);
  if (!child) return;
  SimProcess& self = m.CurrentProcess();
  if (!child->exit_code) {
    self.run_ms = kRunsUntilTerminated;
    return;
  }
  const std::int64_t left = std::max<std::int64_t>(0, child->ends_at_ms - m.local_ms);
  if (self.run_ms == kRunsUntilTerminated) return;
  const std::int64_t total = static_cast<std::int64_t>(self.run_ms) + left;
  self.run_ms = static_cast<std::uint32_t>(std::min<std::int64_t>(total, kRunsUntilTerminated - 1));
}

namespace {

class SimProcessApi final : public platform::ProcessApi {
 public:
  // The machine gets its Windows tools with its process interface: they are what it runs.
  explicit SimProcessApi(Machine& m) : m_(m) { InstallDefaultTools(m); }

  BOOL CreateProcessW(const char16_t* application_name, char16_t* command_line,
                      DWORD creation_flags, const char16_t* current_directory,
                      const platform::STARTUPINFOW* startup_info,
                      platform::PROCESS_INFORMATION* pi) override {
    if (auto e = m_.Gate("CreateProcessW")) return Fail(*e);
    if ((!application_name && !command_line) || !startup_info || !pi)
      return Fail(platform::kERROR_INVALID_PARAMETER);
    LaunchRequest req;
    if (application_name) req.application = application_name;
    if (command_line) req.command_line = command_line;
    if (current_directory) {
      req.directory = current_directory;
      if (!FsFolderExists(m_, FsFullPath(m_, req.directory))) return Fail(kERROR_DIRECTORY);
    }
    req.creation_flags = creation_flags;
    req.startup_flags = startup_info->dwFlags;
    req.show_window = startup_info->wShowWindow;
    DWORD error = 0;
    const DWORD pid = LaunchProcess(m_, req, &error);
    if (pid == 0) return Fail(error);
    pi->dwProcessId = pid;
    pi->dwThreadId = pid + 4;
    pi->hProcess =
        m_.AddHandle(std::make_shared<ProcessObject>(pid, platform::kPROCESS_ALL_ACCESS));
    pi->hThread = m_.AddHandle(std::make_shared<ThreadObject>(pid, pid + 4));
    const auto program = m_.programs.find(LowerCase(FindProcess(m_, pid)->image));
    m_.last_error = program != m_.programs.end() ? program->second.last_error_after_start : 0;
    return 1;
  }

  HANDLE OpenProcess(DWORD desired_access, BOOL, DWORD process_id) override {
    if (auto e = m_.Gate("OpenProcess")) return FailHandle(*e);
    const SimProcess* p = FindProcess(m_, process_id);
    if (process_id == 0 || !p || !p->Running(m_.local_ms))
      return FailHandle(platform::kERROR_INVALID_PARAMETER);
    // A protected process (System, csrss.exe) lets an administrator query it only through the
    // limited right; before Vista there was no such right, and SeDebugPrivilege opened it.
    if (p->protected_process && (desired_access & ~(platform::kPROCESS_QUERY_LIMITED_INFORMATION |
                                                    platform::kSYNCHRONIZE)) != 0) {
      const auto debug = m_.token.privileges.find(u"SeDebugPrivilege");
      const bool debugging = debug != m_.token.privileges.end() && debug->second;
      if (m_.facts.version.dwMajorVersion >= 6 || !debugging)
        return FailHandle(platform::kERROR_ACCESS_DENIED);
    }
    // Full query access includes the limited one, as on Windows.
    DWORD granted = desired_access;
    if (granted & platform::kPROCESS_QUERY_INFORMATION)
      granted |= platform::kPROCESS_QUERY_LIMITED_INFORMATION;
    m_.last_error = 0;
    return m_.AddHandle(std::make_shared<ProcessObject>(process_id, granted));
  }

  BOOL GetExitCodeProcess(HANDLE process, DWORD* exit_code) override {
    if (auto e = m_.Gate("GetExitCodeProcess")) return Fail(*e);
    if (process == platform::kInvalidHandle) {  // GetCurrentProcess(): this process runs
      *exit_code = platform::kSTILL_ACTIVE;
      return 1;
    }
    const ProcessObject* h = m_.Lookup<ProcessObject>(process);
    if (!h) return Fail(platform::kERROR_INVALID_HANDLE);
    if (!(h->access & platform::kPROCESS_QUERY_LIMITED_INFORMATION))
      return Fail(platform::kERROR_ACCESS_DENIED);
    const SimProcess* p = FindProcess(m_, h->pid);
    *exit_code = p && p->Running(m_.local_ms) ? platform::kSTILL_ACTIVE
                                              : (p && p->exit_code ? *p->exit_code : 0);
    m_.last_error = 0;
    return 1;
  }

  BOOL TerminateProcess(HANDLE process, platform::UINT exit_code) override {
    if (auto e = m_.Gate("TerminateProcess")) return Fail(*e);
    const ProcessObject* h = m_.Lookup<ProcessObject>(process);
    if (!h) return Fail(platform::kERROR_INVALID_HANDLE);
    SimProcess* p = FindProcess(m_, h->pid);
    if (!(h->access & platform::kPROCESS_TERMINATE) || !p || !p->Running(m_.local_ms))
      return Fail(platform::kERROR_ACCESS_DENIED);
    p->exit_code = exit_code;
    p->ends_at_ms = m_.local_ms;
    m_.last_error = 0;
    return 1;
  }

  DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) override {
    if (auto e = m_.Gate("WaitForSingleObject")) return FailWait(*e);
    return Wait(1, &handle, true, milliseconds, 0);
  }

  DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL wait_all,
                                  DWORD milliseconds, DWORD wake_mask) override {
    if (auto e = m_.Gate("MsgWaitForMultipleObjects")) return FailWait(*e);
    if (count > kMaxMsgWaitHandles || (count > 0 && !handles))
      return FailWait(platform::kERROR_INVALID_PARAMETER);
    return Wait(count, handles, wait_all != 0, milliseconds, wake_mask);
  }

  DWORD WaitForInputIdle(HANDLE process, DWORD milliseconds) override {
    if (auto e = m_.Gate("WaitForInputIdle")) return FailWait(*e);
    const ProcessObject* h = m_.Lookup<ProcessObject>(process);
    if (!h) return FailWait(platform::kERROR_INVALID_HANDLE);
    const SimProcess* p = FindProcess(m_, h->pid);
    const auto program = p ? m_.programs.find(LowerCase(p->image)) : m_.programs.end();
    const bool gui = program == m_.programs.end() || program->second.gui;
    if (!gui || !p || !p->Running(m_.local_ms)) return FailWait(kERROR_NOT_GUI_PROCESS);
    (void)milliseconds;  // a simulated program is ready for input as soon as it starts
    m_.last_error = 0;
    return 0;
  }

  LONG NtClose(HANDLE handle) override {
    if (auto e = m_.Gate("NtClose")) return static_cast<LONG>(*e);
    return m_.RemoveHandle(handle) ? 0 : kSTATUS_INVALID_HANDLE;
  }

  std::intptr_t ShellExecuteW(platform::HWND owner, const char16_t* verb, const char16_t* file,
                              const char16_t* parameters, const char16_t* directory,
                              int show) override {
    if (auto e = m_.Gate("ShellExecuteW")) {
      m_.last_error = *e;
      return ShellCode(*e);
    }
    platform::SHELLEXECUTEINFOW info;
    info.hwnd = owner;
    info.lpVerb = verb;
    info.lpFile = file;
    info.lpParameters = parameters;
    info.lpDirectory = directory;
    info.nShow = show;
    Shell(info);
    return info.hInstApp;
  }

  HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD) override {
    if (auto e = m_.Gate("CreateToolhelp32Snapshot")) {
      m_.last_error = *e;
      return platform::kInvalidHandle;
    }
    return SimCreateToolhelp32Snapshot(m_, flags);
  }
  BOOL Process32FirstW(HANDLE snapshot, platform::PROCESSENTRY32W* entry) override {
    if (auto e = m_.Gate("Process32FirstW")) return Fail(*e);
    return SimProcess32(m_, snapshot, entry, true);
  }
  BOOL Process32NextW(HANDLE snapshot, platform::PROCESSENTRY32W* entry) override {
    if (auto e = m_.Gate("Process32NextW")) return Fail(*e);
    return SimProcess32(m_, snapshot, entry, false);
  }
  BOOL QueryFullProcessImageNameW(HANDLE process, DWORD flags, char16_t* buf,
                                  DWORD* size) override {
    if (auto e = m_.Gate("QueryFullProcessImageNameW")) return Fail(*e);
    return SimQueryFullProcessImageNameW(m_, process, flags, buf, size);
  }
  DWORD GetModuleFileNameExW(HANDLE process, platform::HMODULE, char16_t* buf,
                             DWORD size) override {
    if (auto e = m_.Gate("GetModuleFileNameExW")) return static_cast<DWORD>(Fail(*e));
    return SimGetModuleFileNameEx(m_, process, buf, nullptr, size);
  }
  DWORD GetModuleFileNameExA(HANDLE process, platform::HMODULE, char* buf, DWORD size) override {
    if (auto e = m_.Gate("GetModuleFileNameExA")) return static_cast<DWORD>(Fail(*e));
    return SimGetModuleFileNameEx(m_, process, nullptr, buf, size);
  }
  BOOL EnumProcessModules(HANDLE process, platform::HMODULE* modules, DWORD bytes,
                          DWORD* needed) override {
    if (auto e = m_.Gate("EnumProcessModules")) return Fail(*e);
    return SimEnumProcessModules(m_, process, modules, bytes, needed);
  }

  BOOL ShellExecuteExW(platform::SHELLEXECUTEINFOW* info) override {
    if (auto e = m_.Gate("ShellExecuteExW")) {
      if (info) info->hInstApp = ShellCode(*e);
      return Fail(*e);
    }
    if (!info) return Fail(platform::kERROR_INVALID_PARAMETER);
    return Shell(*info) ? 1 : 0;
  }

 private:
  BOOL Fail(DWORD e) {
    m_.last_error = e;
    return 0;
  }
  HANDLE FailHandle(DWORD e) {
    m_.last_error = e;
    return 0;
  }
  DWORD FailWait(DWORD e) {
    m_.last_error = e;
    return platform::kWAIT_FAILED;
  }

  static std::intptr_t ShellCode(DWORD error) {
    switch (error) {
      case platform::kERROR_FILE_NOT_FOUND:
      case platform::kERROR_PATH_NOT_FOUND:
      case platform::kERROR_ACCESS_DENIED:
      case platform::kERROR_NOT_ENOUGH_MEMORY:
        return static_cast<std::intptr_t>(error);
      case kERROR_NO_ASSOCIATION:
        return kSE_ERR_NOASSOC;
      case kERROR_BAD_EXE_FORMAT:
        return 11;  // ERROR_BAD_FORMAT as the classic shell code
      default:
        return 0;
    }
  }

  // The shell's launch: the verb "open" (or none) and "runas" start programs (this machine's
  // program already runs elevated, so "runas" asks nothing); other files open without a new
  // process; unknown verbs have no association.
  bool Shell(platform::SHELLEXECUTEINFOW& info) {
    info.hProcess = 0;
    const std::u16string verb = info.lpVerb ? LowerCase(info.lpVerb) : u"";
    if (!info.lpFile || !*info.lpFile) {
      info.hInstApp = ShellCode(platform::kERROR_FILE_NOT_FOUND);
      return Fail(platform::kERROR_FILE_NOT_FOUND) != 0;
    }
    LaunchRequest req;
    req.application = info.lpFile;
    if (info.lpDirectory && *info.lpDirectory) {
      req.directory = info.lpDirectory;
      req.search_first = FsFullPath(m_, req.directory);
    }
    req.startup_flags = platform::kSTARTF_USESHOWWINDOW;
    req.show_window = static_cast<platform::WORD>(info.nShow);
    // The shell searches like the loader but adds ".exe" to a bare name.
    LaunchRequest search = req;
    search.application.clear();
    search.command_line = u"\"" + req.application + u"\"";
    DWORD error = 0;
    const std::optional<std::u16string> file = FindProgramFile(m_, search, &error);
    if (!file) {
      info.hInstApp = ShellCode(error);
      return Fail(error) != 0;
    }
    if (!verb.empty() && verb != u"open" && verb != u"runas") {
      info.hInstApp = kSE_ERR_NOASSOC;
      return Fail(kERROR_NO_ASSOCIATION) != 0;
    }
    if (!IsProgramFile(*file)) {  // a document: opened by its application, no process of ours
      info.hInstApp = kShellSuccess;
      m_.last_error = 0;
      return true;
    }
    // Elevation is the user's to grant: the prompt comes for "runas" and for a program whose
    // manifest asks for it, unless the caller already runs elevated.
    const auto program = m_.programs.find(LowerCase(*file));
    const bool wants =
        verb == u"runas" || (program != m_.programs.end() && program->second.requires_elevation);
    if (wants && !m_.token.elevated) {
      ++m_.elevation_prompts_shown;
      const bool yes = !m_.elevation_prompt_answers.empty() && m_.elevation_prompt_answers.front();
      if (!m_.elevation_prompt_answers.empty()) m_.elevation_prompt_answers.pop_front();
      if (!yes) {
        info.hInstApp = platform::kERROR_ACCESS_DENIED;  // SE_ERR_ACCESSDENIED
        return Fail(platform::kERROR_CANCELLED) != 0;
      }
      req.elevated = true;
    }
    req.application = *file;
    req.command_line = u"\"" + *file + u"\"";
    if (info.lpParameters && *info.lpParameters)
      req.command_line += u" " + std::u16string(info.lpParameters);
    const DWORD pid = LaunchProcess(m_, req, &error);
    if (pid == 0) {
      info.hInstApp = ShellCode(error);
      return Fail(error) != 0;
    }
    if (info.fMask & platform::kSEE_MASK_NOCLOSEPROCESS)
      info.hProcess =
          m_.AddHandle(std::make_shared<ProcessObject>(pid, platform::kPROCESS_ALL_ACCESS));
    info.hInstApp = kShellSuccess;
    m_.last_error = 0;
    return true;
  }

  // The process record behind a waitable handle, or null when the handle is not waitable
  // (`*error` says why).
  bool WaitTarget(HANDLE h, const SimProcess** target, DWORD* error) {
    if (const ProcessObject* p = m_.Lookup<ProcessObject>(h)) {
      if (!(p->access & platform::kSYNCHRONIZE)) {
        *error = platform::kERROR_ACCESS_DENIED;
        return false;
      }
      *target = FindProcess(m_, p->pid);
      return true;
    }
    if (const ThreadObject* t = m_.Lookup<ThreadObject>(h)) {
      *target = FindProcess(m_, t->pid);
      return true;
    }
    *error = platform::kERROR_INVALID_HANDLE;
    return false;
  }

  // The shared wait: objects first (the lowest signalled index), then new input; the clock
  // moves to whichever comes first of an object's end, an input arrival and the time-out.
  DWORD Wait(DWORD count, const HANDLE* handles, bool wait_all, DWORD milliseconds,
             DWORD wake_mask) {
    std::vector<const SimProcess*> targets(count, nullptr);
    for (DWORD i = 0; i < count; ++i) {
      DWORD error = 0;
      if (!WaitTarget(handles[i], &targets[i], &error)) return FailWait(error);
    }
    const bool watch_input = wake_mask != 0;
    const std::int64_t start = m_.local_ms;
    for (int round = 0; round < 2; ++round) {
      if (count > 0) {
        if (wait_all) {
          if (std::all_of(targets.begin(), targets.end(),
                          [&](const SimProcess* p) { return Signalled(m_, p); })) {
            return Done(platform::kWAIT_OBJECT_0);
          }
        } else {
          for (DWORD i = 0; i < count; ++i)
            if (Signalled(m_, targets[i])) return Done(platform::kWAIT_OBJECT_0 + i);
        }
      }
      if (watch_input && TakeArrivedInput()) return Done(platform::kWAIT_OBJECT_0 + count);
      if (round == 1) break;
      // Nothing yet: move the clock to the first thing that can happen.
      constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();
      std::int64_t next = kNever;
      std::int64_t all_end = std::numeric_limits<std::int64_t>::min();
      bool all_end_known = true;
      for (const SimProcess* p : targets) {
        const std::int64_t end = !p ? start : (p->exit_code ? p->ends_at_ms : kNever);
        next = std::min(next, end);
        all_end = std::max(all_end, end);
        if (end == kNever) all_end_known = false;
      }
      if (wait_all && count > 0) next = all_end_known ? all_end : kNever;
      if (watch_input && !m_.input_arrivals.empty()) {
        next =
            std::min(next, *std::min_element(m_.input_arrivals.begin(), m_.input_arrivals.end()));
      }
      if (milliseconds != platform::kINFINITE) next = std::min(next, start + milliseconds);
      // Nothing could ever end this wait: a real thread would hang here for good.
      if (next == kNever) return FailWait(platform::kERROR_POSSIBLE_DEADLOCK);
      while (next > m_.local_ms) {
        m_.Advance(
            static_cast<std::uint32_t>(std::min<std::int64_t>(next - m_.local_ms, 0x7FFFFFFF)));
      }
    }
    return Done(platform::kWAIT_TIMEOUT);
  }

  // New input is reported once: every arrival due by now is taken from the queue.
  bool TakeArrivedInput() {
    const auto due = [&](std::int64_t t) { return t <= m_.local_ms; };
    const bool any = std::any_of(m_.input_arrivals.begin(), m_.input_arrivals.end(), due);
    std::erase_if(m_.input_arrivals, due);
    return any;
  }

  DWORD Done(DWORD result) {
    m_.last_error = 0;
    return result;
  }

  Machine& m_;
};

}  // namespace

std::unique_ptr<platform::ProcessApi> MakeSimProcesses(Machine& m) {
  return std::make_unique<SimProcessApi>(m);
}

}  // namespace kes::sim
