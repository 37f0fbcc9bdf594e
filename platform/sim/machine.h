// The simulated Windows machine. It keeps the state a Windows machine would (facts, names,
// environment, processes, clock, message boxes, debugger output; registry, files and tools as
// later parts grow) and answers the platform interfaces with Windows' semantics: same return
// values, same last-error codes. Tests build one fresh machine each, set it up with the helpers
// below, script the answers of message boxes and inject failures into any call.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kes::sim {

using platform::DWORD;

// Anything a simulated kernel handle refers to (an open file, a process, a search...).
struct KernelObject {
  virtual ~KernelObject() = default;
};

// One message box as the program showed it.
struct ShownMessageBox {
  std::u16string text;
  std::u16string caption;
  platform::UINT style = 0;
  int answer = 0;
};

// What a user does to the program's open form (played by FormApi::RunForms, in order).
struct WindowAction {
  enum class Kind {
    kClick,  // clicks control `id`: an option is chosen, a check box toggled, a button pressed
    kMenu,   // chooses menu item `id`
    kClose,  // closes the window with its close box
  };
  Kind kind = Kind::kClick;
  int id = 0;
};

// A form's state as the user saw it at one moment.
struct FormControlState {
  std::u16string caption;
  bool visible = true;
  bool enabled = true;
  bool bold = false;
  bool checked = false;
};
struct FormSnapshot {
  std::u16string caption;
  int height_twips = 0;                      // outer height of the window
  std::vector<int> menus;                    // ids of the menus on the menu bar
  std::map<int, FormControlState> controls;  // by control id
  platform::HANDLE big_icon = 0;             // as set with WM_SETICON
  platform::HANDLE small_icon = 0;
};

// A request to end the session or the system, as the program (ExitWindowsEx) or one of the
// system's tools (shutdown.exe, wpeutil.exe, logoff.exe) made it. The machine only records it;
// what a restart then does is up to whoever drives the machine.
struct ShutdownRequest {
  enum class Kind { kLogoff, kRestart, kShutdown, kPowerOff };
  Kind kind = Kind::kRestart;
  std::u16string via;        // "ExitWindowsEx", "shutdown.exe", "wpeutil.exe", "logoff.exe"
  platform::UINT flags = 0;  // the EWX_* flags (a tool's request: the equivalent ones)
  DWORD reason = 0;          // the shutdown reason code (0 where a tool names none)
  bool forced = false;       // applications are closed without asking (EWX_FORCE, "-f")
  std::u16string user;       // who was signed in when it was asked
};

// Daylight saving time of the machine's zone in the years from `from_year` on: when it starts
// (on the standard clock) and ends (on the daylight clock), in Windows' recurring form (wMonth,
// wDayOfWeek, wDay = week of the month 1-5 with 5 = the last, wHour), and its extra bias.
struct DaylightRule {
  int from_year = 0;
  platform::SYSTEMTIME daylight_date;
  platform::SYSTEMTIME standard_date;
  std::int32_t daylight_bias = -60;
};

// A failure injected into a platform call: the nth use of `api` (1-based; 0 = every use)
// fails with `error`.
struct InjectedFault {
  std::string api;
  DWORD error = 0;
  int nth = 0;
};

// Facts of the simulated Windows installation that the version-dependent code reads.
struct MachineFacts {
  platform::OSVERSIONINFOEXW version;  // RtlGetVersion record
  bool is_64bit = true;                // 64-bit Windows
  bool process_is_32bit = true;        // the program runs as a 32-bit process (WOW64 on 64-bit)
  int clean_boot = 0;                  // SM_CLEANBOOT: 0 normal, 1 Safe Mode, 2 with networking
  std::map<int, int> system_metrics;   // further GetSystemMetrics answers
  DWORD product_info = 0x30;           // GetProductInfo (Vista and later): PRODUCT_PROFESSIONAL
  DWORD wmi_os_sku = 48;               // Win32_OperatingSystem OperatingSystemSKU (WMI)
  std::u16string windows_dir = u"C:\\Windows";
};

struct SimProcess {
  DWORD pid = 0;
  DWORD parent_pid = 0;
  std::u16string image;         // full path of the executable
  std::u16string command_line;  // whole command line
  std::optional<DWORD> exit_code;
  // How a process this machine started was launched (processes.cpp). A started program's
  // behaviour runs at creation; its exit code is known at once but it keeps running until the
  // clock reaches ends_at_ms, so that waits see it running first.
  std::int64_t ends_at_ms = 0;  // local_ms
  std::uint32_t run_ms = 0;     // how long it runs; a program may lengthen its own while it runs
  bool is_32bit = true;
  DWORD creation_flags = 0;
  DWORD startup_flags = 0;  // STARTUPINFO dwFlags
  platform::WORD show_window = 1;
  std::u16string current_directory;
  // A protected process (System, csrss.exe): it can be opened only for the limited query right
  // (on Windows before Vista: with SeDebugPrivilege enabled).
  bool protected_process = false;
  bool Running(std::int64_t now_ms) const { return !exit_code || now_ms < ends_at_ms; }
};

class Machine;

// A simulated program: what it does when started, given the whole command line; returns the
// exit code. It runs as the new process (Machine::current_pid is the new process meanwhile).
using SimProgramFn = std::function<DWORD(Machine&, const std::u16string& command_line)>;
struct SimProgram {
  SimProgramFn run;
  std::uint32_t run_ms = 0;  // simulated milliseconds it keeps running after its start
  bool gui = false;          // has a message queue (WaitForInputIdle answers for it)
  // Its manifest asks for administrator rights: CreateProcessW refuses it (740) to a token that
  // is not elevated, the shell asks the user (Machine::elevation_prompt_answers).
  bool requires_elevation = false;
  // The last error CreateProcessW leaves behind when it starts this program (Windows does not
  // clear it on success; a stub that starts its real program elevated leaves 18 or 740).
  DWORD last_error_after_start = 0;
};

// A local account and the local groups (net user, net localgroup).
struct SimAccount {
  std::u16string name;  // as created
  std::u16string password;
  bool disabled = false;
  // A Microsoft account: a local account that Windows 8 and later report as connected to an
  // Internet identity (NetUserGetInfo level 24).
  bool internet_identity = false;
  std::u16string internet_provider_name;   // "MicrosoftAccount"
  std::u16string internet_principal_name;  // the sign-in name, "someone@outlook.com"
  // What WMI's Win32_UserAccount says of it beyond name and Disabled.
  DWORD wmi_sid_type = 1;        // SidTypeUser
  DWORD wmi_account_type = 512;  // a normal account
  std::u16string wmi_status = u"OK";
};
struct SimGroup {
  std::u16string name;                  // as created
  std::vector<std::u16string> members;  // account names as added
};

// The access token of the program's process (accounts.h sets up the usual kinds).
struct SimToken {
  // The Administrators group is enabled in the token only when it is elevated (or belongs to
  // the system account); a member of Administrators running without elevation has a filtered
  // token in which the group only denies.
  bool elevated = true;
  bool local_system = false;  // the token of the local system account
  // The privileges the token holds, by Windows name, and whether each is enabled now. Filled
  // with an elevated administrator's set when the machine is made.
  std::map<std::u16string, bool> privileges;
};

class Machine;
class FileSystem;     // file_system.h: drives, folders, files, attributes, locks, redirection
class RegistryStore;  // registry_store.h: keys, typed values, 32/64-bit views
class BcdStore;       // bcd_store.h: boot loader entries and their elements

// Backend subsystems; each implements one platform interface over the machine's state.
std::unique_ptr<platform::SystemApi> MakeSimSystem(Machine& m);
std::unique_ptr<platform::UiApi> MakeSimUi(Machine& m);
std::unique_ptr<platform::FormApi> MakeSimForms(Machine& m);
std::unique_ptr<platform::RegistryApi> MakeSimRegistry(Machine& m);
std::unique_ptr<platform::FileApi> MakeSimFiles(Machine& m);
std::unique_ptr<platform::ProcessApi> MakeSimProcesses(Machine& m);
std::unique_ptr<platform::SecurityApi> MakeSimSecurity(Machine& m);

class Machine {
 public:
  // A Windows 10 x64 machine in normal mode with one signed-in local administrator "Admin",
  // computer "KES-PC", the program at C:\Tools\Kestrune.exe (a 32-bit process), a clock at
  // 2016-03-01 14:30:05.123 local time in UTC+8, and no message-box answers scripted.
  Machine();
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  platform::Platform& platform() { return *platform_; }
  FileSystem& fs() { return *fs_; }
  RegistryStore& registry() { return *registry_store_; }
  BcdStore& bcd() { return *bcd_store_; }

  // ---- last error and fault injection -------------------------------------------------------
  DWORD last_error = 0;
  void InjectFault(std::string api, DWORD error, int nth = 0);
  // Called first by every simulated call: counts the use and returns the error to fail with.
  std::optional<DWORD> Gate(const char* api);
  int CallCount(const std::string& api) const;
  // Observer called after every gated call (for example to cut the power after the nth call).
  std::function<void(const char* api)> after_call;

  // ---- kernel handles ------------------------------------------------------------------------
  platform::HANDLE AddHandle(std::shared_ptr<KernelObject> object);
  // The object behind a handle when it is of type T, else nullptr.
  template <class T>
  T* Lookup(platform::HANDLE h) {
    auto it = handles_.find(h);
    return it == handles_.end() ? nullptr : dynamic_cast<T*>(it->second.get());
  }
  // False (and nothing changes) for an unknown handle.
  bool RemoveHandle(platform::HANDLE h);
  std::size_t OpenHandleCount() const { return handles_.size(); }

  // ---- facts, names, environment -----------------------------------------------------------
  MachineFacts facts;
  std::u16string computer_name = u"KES-PC";  // NetBIOS and DNS host name
  std::u16string dns_domain;                 // empty: workgroup machine
  std::u16string user_name = u"Admin";
  std::map<std::u16string, std::u16string> environment;  // names compare case-insensitively
  platform::UINT ansi_code_page = 936;                   // GetACP: 936 (zh-CN) or 1252
  // RtlGenRandom's bytes: different on every call, the same in every run of a test.
  std::mt19937 random_source{0x4B455354};
  platform::UINT oem_code_page = 936;  // GetOEMCP: 936, or 437/850 beside 1252
  void SetEnv(std::u16string name, std::u16string value);
  std::optional<std::u16string> GetEnv(std::u16string_view name) const;
  // Mapped network drives: "Z:" -> "\\server\share".
  std::map<std::u16string, std::u16string> network_drives;
  // Libraries and their exports, for LoadLibraryW/GetProcAddress probing ("kernel32.dll").
  std::map<std::u16string, std::vector<std::string>> libraries;
  // Version resource strings of files ("Comments", "FileVersion", ...), by lower-cased path.
  std::map<std::u16string, std::map<std::u16string, std::u16string>> version_resources;

  // ---- processes ---------------------------------------------------------------------------
  std::vector<SimProcess> processes;
  DWORD current_pid = 0;  // the program's own process
  SimProcess& CurrentProcess();
  // Starts the program's own process record with this command line (replacing the current one).
  void SetProgramCommandLine(std::u16string command_line);
  // Simulated programs by lower-cased full image path. A started file without an entry exits 0.
  // The default machine has cmd.exe, reg.exe, net.exe, bcdedit.exe, shutdown.exe, logoff.exe
  // and wpeutil.exe in System32 and SysWOW64 (tools.h); the files themselves must exist too.
  std::map<std::u16string, SimProgram> programs;
  void AddProgram(std::u16string_view image_path, SimProgramFn run, std::uint32_t run_ms = 0);
  // Every command line a process was started with, in order (CreateProcessW, ShellExecute,
  // and the programs the tools start).
  std::vector<std::u16string> started_command_lines;
  // What the console tools printed, one entry per message.
  std::vector<std::u16string> console_output;
  // Window input of the program's thread: each entry is the local_ms at which one input
  // message arrives. A message-aware wait returns when one arrives and reports each once.
  std::deque<std::int64_t> input_arrivals;
  // How the user answers the elevation prompts the shell shows (true: Yes), in order; when none
  // is left the prompt is declined (1223).
  std::deque<bool> elevation_prompt_answers;
  int elevation_prompts_shown = 0;
  // Local accounts and groups by lower-cased name (filled by the default tools).
  std::map<std::u16string, SimAccount> accounts;
  std::map<std::u16string, SimGroup> local_groups;
  // The program's process token (the signed-in user_name's, elevated by default), and how many
  // SIDs and network-management buffers the security calls handed out that are not freed yet.
  SimToken token;
  int security_allocations = 0;

  // ---- clock -------------------------------------------------------------------------------
  // Local wall-clock time, milliseconds since 1601-01-01 (FILETIME / 10000).
  std::int64_t local_ms = 0;
  std::int32_t tz_bias_minutes = -480;  // UTC = local + bias (UTC+8 gives -480)
  // Daylight saving time, by year (time_zone.h): each rule holds until the next one's year, and
  // years before the first follow the first, as Windows' dynamic time zones do. None: the zone
  // has no daylight saving time (UTC+8 has none).
  std::vector<DaylightRule> tz_daylight_rules;
  std::u16string tz_standard_name;  // empty: named after the bias
  std::u16string tz_daylight_name;
  std::uint32_t tick_ms = 100000;  // timeGetTime
  void SetLocalTime(int year, int month, int day, int hour, int minute, int second, int ms = 0);
  void Advance(std::uint32_t ms);

  // ---- message boxes and debugger output ---------------------------------------------------
  // Answers handed out in order; when none is left every box answers as Escape would: IDCANCEL
  // where the box has a Cancel button, IDNO on a Yes/No box, IDOK for style 0/16.
  std::deque<int> message_box_answers;
  std::vector<ShownMessageBox> message_boxes;
  std::vector<std::u16string> debug_output;

  // ---- forms (forms.cpp) -------------------------------------------------------------------
  // Icon resources of the program by name (LoadImageA); each image loaded gets a new handle.
  std::vector<std::string> icon_resources = {"A1"};
  // What the user does to an open form, played by RunForms in order. When none is left while a
  // form is open the user closes it with its close box.
  std::deque<WindowAction> window_actions;
  // A snapshot each time a form was shown, in order.
  std::vector<FormSnapshot> shown_forms;
  // Open forms by window handle (kept by the forms backend).
  std::map<platform::HWND, platform::Form*> open_forms;
  // Dots per inch of new windows (the menu bar is SM_CYMENU pixels high there).
  int dpi = 96;

  // ---- ending the session or the system ------------------------------------------------------
  // Every accepted restart, shutdown or logoff request, in order (platform/sim/shutdown.h).
  std::vector<ShutdownRequest> shutdown_requests;

  // ---- the program itself on a simulated boot (boot_cycle.h) -------------------------------
  // Runs Kestrune as a new process with this whole command line when something on the machine
  // starts it (a RunOnce entry, the command processor hook). Unset: the program does nothing.
  std::function<void(Machine&, const std::u16string& command_line)> run_kestrune;

 private:
  std::map<platform::HANDLE, std::shared_ptr<KernelObject>> handles_;
  platform::HANDLE next_handle_ = 0x100;
  std::map<std::string, int> call_counts_;
  std::vector<InjectedFault> faults_;
  std::unique_ptr<FileSystem> fs_;
  std::unique_ptr<RegistryStore> registry_store_;
  std::unique_ptr<BcdStore> bcd_store_;
  std::unique_ptr<platform::SystemApi> system_;
  std::unique_ptr<platform::UiApi> ui_;
  std::unique_ptr<platform::FormApi> forms_;
  std::unique_ptr<platform::RegistryApi> registry_;
  std::unique_ptr<platform::FileApi> files_;
  std::unique_ptr<platform::ProcessApi> processes_api_;
  std::unique_ptr<platform::SecurityApi> security_;
  std::unique_ptr<platform::Platform> platform_;
};

}  // namespace kes::sim
