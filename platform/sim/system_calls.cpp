// System calls of the simulated machine: names, environment, modules, time, messages, code
// pages and version resources, answered from the Machine's state with Windows' return values
// and last errors. The time zone is the machine's (time_zone.h): the default machine is in
// UTC+8, which has no daylight saving time, so GetTimeZoneInformation answers
// TIME_ZONE_ID_UNKNOWN there and every conversion applies the same bias whatever the date.
#include <algorithm>
#include <cstring>

#include "platform/base/u16.h"
#include "platform/sim/calendar.h"
#include "platform/sim/codepage.h"
#include "platform/sim/embedded_resources.h"
#include "platform/sim/fault_posix.h"
#include "platform/sim/file_system.h"
#include "platform/sim/machine.h"
#include "platform/sim/messages.h"
#include "platform/sim/time_zone.h"
#include "platform/sim/version_block.h"

namespace kes::sim {
namespace {

using namespace platform;  // NOLINT: Win32 names read best unqualified here

constexpr HMODULE kExeModule = 0x400000;  // image base of a 32-bit exe
constexpr HMODULE kFirstLibraryModule = 0x76000000;
constexpr HWND kDesktopWindow = 0x10010;
constexpr std::int64_t kTicksPerMinute = 60LL * 1000 * kTicksPerMs;
constexpr std::uint64_t kMaxFileTime = 0x7FFFFFFFFFFFFFFFull;

enum : DWORD {
  kMB_ERR_INVALID_CHARS = 0x8,
  kWC_ERR_INVALID_CHARS = 0x80,
  kERROR_INVALID_FLAGS = 1004,
  kERROR_RESOURCE_LANG_NOT_FOUND = 1815,
  kErrorResourceTypeNotFound = 1813,
  kErrorResourceNameNotFound = 1814,
};

// Resource handles are the table index above a base no other handle kind uses.
constexpr HANDLE kResourceBase = 0x7E000000;

const EmbeddedResource* ResourceOf(HANDLE h) {
  const auto& all = EmbeddedResources();
  if (h < kResourceBase || h - kResourceBase >= all.size()) return nullptr;
  return &all[h - kResourceBase];
}

std::size_t Length(const char16_t* s) {
  return s ? std::char_traits<char16_t>::length(s) : 0;
}

std::uint64_t Ticks(const FILETIME& ft) {
  return static_cast<std::uint64_t>(ft.dwHighDateTime) << 32 | ft.dwLowDateTime;
}

FILETIME FromTicks(std::uint64_t t) {
  return {static_cast<DWORD>(t & 0xFFFFFFFFu), static_cast<DWORD>(t >> 32)};
}

// The last path element, with ".dll" added when the name has no extension (LoadLibrary's rule).
std::u16string LibraryKey(std::u16string_view file) {
  const auto slash = file.find_last_of(u"\\/");
  std::u16string name = LowerCase(slash == file.npos ? file : file.substr(slash + 1));
  if (name.find(u'.') == name.npos) name += u".dll";
  return name;
}

// Version resources are keyed by the plain lower-case path; callers may hand the wide-API form.
std::u16string VersionKey(std::u16string_view path) {
  std::u16string p(path);
  std::replace(p.begin(), p.end(), u'/', u'\\');
  if (p.rfind(u"\\\\?\\UNC\\", 0) == 0)
    p = u"\\\\" + p.substr(8);
  else if (p.rfind(u"\\\\?\\", 0) == 0)
    p = p.substr(4);
  return LowerCase(p);
}

class SimSystemApi final : public SystemApi {
 public:
  explicit SimSystemApi(Machine& m) : m_(m) {}

  // The last error itself is never gated: reading or setting it cannot fail on Windows.
  DWORD GetLastError() override { return m_.last_error; }
  void SetLastError(DWORD code) override { m_.last_error = code; }

  std::u16string GetCommandLineW() override {
    if (Fail("GetCommandLineW")) return {};
    return m_.CurrentProcess().command_line;
  }

  // shlwapi's rule: the text after the first blank outside quotes. Windows skips exactly one
  // blank there; further blanks stay in the result and the callers trim them.
  std::u16string PathGetArgsW(const char16_t* cmdline) override {
    if (Fail("PathGetArgsW") || !cmdline) return {};
    bool quoted = false;
    for (const char16_t* p = cmdline; *p; ++p) {
      if (*p == u' ' && !quoted) return std::u16string(p + 1);
      if (*p == u'"') quoted = !quoted;
    }
    return {};
  }

  DWORD GetModuleFileNameW(HMODULE module, char16_t* buf, DWORD size) override {
    if (Fail("GetModuleFileNameW")) return 0;
    std::u16string path;
    if (module == 0 || module == kExeModule) {
      path = m_.CurrentProcess().image;
    } else if (auto name = LibraryOf(module)) {
      path = m_.facts.windows_dir +
             (m_.facts.is_64bit && m_.facts.process_is_32bit ? u"\\SysWOW64\\" : u"\\System32\\") +
             *name;
    } else {
      return Error(kERROR_MOD_NOT_FOUND, 0);
    }
    if (size == 0 || !buf) return Error(kERROR_INSUFFICIENT_BUFFER, 0);
    if (path.size() < size) {
      std::copy(path.begin(), path.end(), buf);
      buf[path.size()] = u'\0';
      return static_cast<DWORD>(path.size());
    }
    // Truncated: the buffer is filled and terminated, the result is its size.
    std::copy_n(path.begin(), size - 1, buf);
    buf[size - 1] = u'\0';
    return Error(kERROR_INSUFFICIENT_BUFFER, size);
  }

  HMODULE GetModuleHandleW(const char16_t* name) override {
    if (Fail("GetModuleHandleW")) return 0;
    if (!name) return kExeModule;
    const std::u16string key = LibraryKey(name);
    if (EqualsNoCase(key, LibraryKey(m_.CurrentProcess().image))) return kExeModule;
    // kernel32 and ntdll are in every process; other libraries only once loaded.
    const bool always = key == u"kernel32.dll" || key == u"ntdll.dll";
    const auto lib = FindLibrary(key);
    if (!lib || (!always && load_counts_[*lib] == 0))
      return Error(kERROR_MOD_NOT_FOUND, HMODULE{0});
    return HandleOf(*lib);
  }

  DWORD GetCurrentProcessId() override {
    if (Fail("GetCurrentProcessId")) return 0;
    return m_.current_pid;
  }

  BOOL IsWow64Process(HANDLE process, BOOL* wow64) override {
    if (Fail("IsWow64Process")) return 0;
    if (!Exports(u"kernel32.dll", "IsWow64Process")) return Error(kERROR_PROC_NOT_FOUND, BOOL{0});
    if (process != platform::kCurrentProcess && !m_.Lookup<KernelObject>(process))
      return Error(kERROR_INVALID_HANDLE, BOOL{0});
    if (wow64) *wow64 = (m_.facts.is_64bit && m_.facts.process_is_32bit) ? 1 : 0;
    return 1;
  }

  void GetSystemInfo(platform::SYSTEM_INFO* info) override {
    if (Fail("GetSystemInfo") || !info) return;
    info->wProcessorArchitecture = (m_.facts.is_64bit && !m_.facts.process_is_32bit) ? 9 : 0;
  }

  BOOL CloseHandle(HANDLE h) override {
    if (Fail("CloseHandle")) return 0;
    if (!m_.RemoveHandle(h)) return Error(kERROR_INVALID_HANDLE, 0);
    return 1;
  }

  [[noreturn]] void ExitProcess(UINT code) override {
    m_.Gate("ExitProcess");  // counted; ending a process cannot fail
    m_.CurrentProcess().exit_code = code;
    throw ProcessExit{code};
  }

  BOOL RtlGenRandom(void* buffer, DWORD length) override {
    if (m_.Gate("RtlGenRandom")) return 0;
    auto* out = static_cast<std::uint8_t*>(buffer);
    for (DWORD i = 0; i < length; ++i) out[i] = static_cast<std::uint8_t>(m_.random_source() >> 24);
    return 1;
  }

  // ---- time --------------------------------------------------------------------------------
  void GetLocalTime(SYSTEMTIME* st) override {
    m_.Gate("GetLocalTime");
    if (st) *st = MsToSystemTime(m_.local_ms);
  }

  void GetSystemTime(SYSTEMTIME* st) override {
    m_.Gate("GetSystemTime");
    if (st) *st = MsToSystemTime(m_.local_ms + CurrentBiasMinutes(m_) * 60000);
  }

  DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION* tz) override {
    if (Fail("GetTimeZoneInformation")) return 0xFFFFFFFFu;
    if (!tz) return Error(kERROR_INVALID_PARAMETER, 0xFFFFFFFFu);
    *tz = ZoneForYear(m_, MsToSystemTime(m_.local_ms).wYear);
    // TIME_ZONE_ID_UNKNOWN for a zone without daylight saving time, else STANDARD or DAYLIGHT.
    if (tz->DaylightDate.wMonth == 0) return 0;
    return DaylightTimeNow(m_) ? 2 : 1;
  }

  BOOL GetTimeZoneInformationForYear(WORD year, TIME_ZONE_INFORMATION* tz) override {
    if (Fail("GetTimeZoneInformationForYear")) return 0;
    if (!tz) return Error(kERROR_INVALID_PARAMETER, 0);
    *tz = ZoneForYear(m_, year);
    return 1;
  }

  BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION* tz, const SYSTEMTIME* utc,
                                       SYSTEMTIME* local) override {
    if (Fail("SystemTimeToTzSpecificLocalTime")) return 0;
    return ConvertInZone(tz, utc, local, &UtcToLocalMs);
  }

  BOOL TzSpecificLocalTimeToSystemTime(const TIME_ZONE_INFORMATION* tz, const SYSTEMTIME* local,
                                       SYSTEMTIME* utc) override {
    if (Fail("TzSpecificLocalTimeToSystemTime")) return 0;
    return ConvertInZone(tz, local, utc, &LocalToUtcMs);
  }

  BOOL SystemTimeToFileTime(const SYSTEMTIME* st, FILETIME* ft) override {
    if (Fail("SystemTimeToFileTime")) return 0;
    if (!st || !ft) return Error(kERROR_INVALID_PARAMETER, 0);
    const auto ms = SystemTimeToMs(*st);
    if (!ms) return Error(kERROR_INVALID_PARAMETER, 0);
    *ft = FromTicks(static_cast<std::uint64_t>(*ms) * kTicksPerMs);
    return 1;
  }

  BOOL FileTimeToSystemTime(const FILETIME* ft, SYSTEMTIME* st) override {
    if (Fail("FileTimeToSystemTime")) return 0;
    if (!ft || !st || Ticks(*ft) > kMaxFileTime) return Error(kERROR_INVALID_PARAMETER, 0);
    *st = MsToSystemTime(static_cast<std::int64_t>(Ticks(*ft) / kTicksPerMs));
    return 1;
  }

  BOOL LocalFileTimeToFileTime(const FILETIME* local, FILETIME* utc) override {
    if (Fail("LocalFileTimeToFileTime")) return 0;
    if (!local || !utc) return Error(kERROR_INVALID_PARAMETER, 0);
    return Shift(*local, CurrentBiasMinutes(m_) * kTicksPerMinute, utc);
  }

  BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local) override {
    if (Fail("FileTimeToLocalFileTime")) return 0;
    if (!utc || !local) return Error(kERROR_INVALID_PARAMETER, 0);
    return Shift(*utc, -CurrentBiasMinutes(m_) * kTicksPerMinute, local);
  }

  DWORD timeGetTime() override {
    m_.Gate("timeGetTime");
    return m_.tick_ms;
  }

  void Sleep(DWORD ms) override {
    m_.Gate("Sleep");
    m_.Advance(ms);
  }

  // ---- messages and debugger output --------------------------------------------------------
  DWORD FormatMessageW(DWORD flags, DWORD message_id, DWORD language_id, char16_t* buf,
                       DWORD size) override {
    if (Fail("FormatMessageW")) return 0;
    if (!(flags & kFORMAT_MESSAGE_FROM_SYSTEM) || !buf) return Error(kERROR_INVALID_PARAMETER, 0);
    if (language_id != 0 && language_id != 0x409 && language_id != 0x400)
      return Error(kERROR_RESOURCE_LANG_NOT_FOUND, 0);
    const auto stored = SystemMessageText(message_id);
    if (!stored) return Error(kERROR_MR_MID_NOT_FOUND, 0);
    std::u16string text;
    for (std::size_t i = 0; i < stored->size(); ++i) {
      const char16_t c = (*stored)[i];
      if (c == u'%' && i + 1 < stored->size() && (*stored)[i + 1] >= u'1' &&
          (*stored)[i + 1] <= u'9' && !(flags & kFORMAT_MESSAGE_IGNORE_INSERTS))
        return Error(kERROR_INVALID_PARAMETER, 0);  // inserts wanted but no arguments given
      if (c == u'\r' && (flags & kFORMAT_MESSAGE_MAX_WIDTH_MASK)) {
        // A width limit drops the table's own line breaks; each becomes one blank. Wrapping
        // at widths below 255 is not simulated (the system only asks for 255).
        if (i + 1 < stored->size() && (*stored)[i + 1] == u'\n') ++i;
        text += u' ';
        continue;
      }
      text += c;
    }
    if (size < text.size() + 1) return Error(kERROR_INSUFFICIENT_BUFFER, 0);
    std::copy(text.begin(), text.end(), buf);
    buf[text.size()] = u'\0';
    return static_cast<DWORD>(text.size());
  }

  void OutputDebugStringW(const char16_t* text) override {
    m_.Gate("OutputDebugStringW");
    m_.debug_output.emplace_back(text ? text : u"");
  }

  // ---- code pages --------------------------------------------------------------------------
  UINT GetACP() override {
    m_.Gate("GetACP");
    return m_.ansi_code_page;
  }
  UINT GetOEMCP() override {
    m_.Gate("GetOEMCP");
    return m_.oem_code_page;
  }

  int MultiByteToWideChar(UINT code_page, DWORD flags, const char* src, int src_len, char16_t* dst,
                          int dst_len) override {
    if (Fail("MultiByteToWideChar")) return 0;
    code_page = ResolveCodePage(code_page);
    if (!IsInstalledCodePage(code_page) || !src || src_len == 0 || src_len < -1 || dst_len < 0 ||
        (!dst && dst_len != 0))
      return Error(kERROR_INVALID_PARAMETER, 0);
    const DWORD allowed = code_page == kCP_UTF8 ? DWORD{kMB_ERR_INVALID_CHARS} : DWORD{0xF};
    if (flags & ~allowed) return Error(kERROR_INVALID_FLAGS, 0);
    const std::size_t n = src_len == -1 ? std::strlen(src) + 1 : static_cast<std::size_t>(src_len);
    const auto text =
        DecodeCodePage(code_page, std::string_view(src, n), (flags & kMB_ERR_INVALID_CHARS) != 0);
    if (!text) return Error(kERROR_NO_UNICODE_TRANSLATION, 0);
    return CopyOut(*text, dst, dst_len);
  }

  int WideCharToMultiByte(UINT code_page, DWORD flags, const char16_t* src, int src_len, char* dst,
                          int dst_len, const char* default_char, BOOL* used_default_char) override {
    if (Fail("WideCharToMultiByte")) return 0;
    code_page = ResolveCodePage(code_page);
    if (!IsInstalledCodePage(code_page) || !src || src_len == 0 || src_len < -1 || dst_len < 0 ||
        (!dst && dst_len != 0))
      return Error(kERROR_INVALID_PARAMETER, 0);
    // UTF-8 has no default character: asking for one is a parameter error on Windows.
    if (code_page == kCP_UTF8 && (default_char || used_default_char))
      return Error(kERROR_INVALID_PARAMETER, 0);
    const DWORD allowed = code_page == kCP_UTF8 ? DWORD{kWC_ERR_INVALID_CHARS} : DWORD{0x670};
    if (flags & ~allowed) return Error(kERROR_INVALID_FLAGS, 0);
    const std::size_t n = src_len == -1 ? Length(src) + 1 : static_cast<std::size_t>(src_len);
    std::string fallback = default_char ? std::string(default_char).substr(0, 2) : "?";
    bool used = false;
    const auto bytes = EncodeCodePage(code_page, std::u16string_view(src, n), fallback,
                                      (flags & kWC_ERR_INVALID_CHARS) != 0, &used);
    if (!bytes) return Error(kERROR_NO_UNICODE_TRANSLATION, 0);
    if (used_default_char) *used_default_char = used ? 1 : 0;
    return CopyOut(*bytes, dst, dst_len);
  }

  // ---- modules -----------------------------------------------------------------------------
  HMODULE LoadLibraryW(const char16_t* file) override {
    if (Fail("LoadLibraryW")) return 0;
    if (!file || !*file) return Error(kERROR_INVALID_PARAMETER, HMODULE{0});
    const auto lib = FindLibrary(LibraryKey(file));
    if (!lib) return Error(kERROR_MOD_NOT_FOUND, HMODULE{0});
    ++load_counts_[*lib];
    return HandleOf(*lib);
  }

  std::uintptr_t GetProcAddress(HMODULE module, const char* name) override {
    if (Fail("GetProcAddress")) return 0;
    const auto lib = LibraryOf(module);
    if (!lib) return Error(kERROR_MOD_NOT_FOUND, std::uintptr_t{0});
    if (!name) return Error(kERROR_PROC_NOT_FOUND, std::uintptr_t{0});
    const auto& exports = m_.libraries[*lib];
    const auto it = std::find(exports.begin(), exports.end(), std::string(name));
    if (it == exports.end()) return Error(kERROR_PROC_NOT_FOUND, std::uintptr_t{0});
    return module + 0x1000 + 0x10 * static_cast<std::uintptr_t>(it - exports.begin());
  }

  BOOL FreeLibrary(HMODULE module) override {
    if (Fail("FreeLibrary")) return 0;
    const auto lib = LibraryOf(module);
    if (!lib) return Error(kERROR_MOD_NOT_FOUND, 0);
    auto& count = load_counts_[*lib];
    if (count > 0) --count;
    return 1;
  }

  // ---- the program's own resources (the table compiled from the build's generated files) ----
  HANDLE FindResourceW(HMODULE module, const char16_t* name, const char16_t* type) override {
    if (Fail("FindResourceW")) return 0;
    if (module != 0 && module != kExeModule) return Error(kERROR_MOD_NOT_FOUND, HANDLE{0});
    if (!name || !type) return Error(kERROR_INVALID_PARAMETER, HANDLE{0});
    const auto& all = EmbeddedResources();
    bool type_found = false;
    for (std::size_t i = 0; i < all.size(); ++i) {
      if (!EqualsNoCase(all[i].type, type)) continue;
      type_found = true;
      if (EqualsNoCase(all[i].name, name)) return kResourceBase + i;
    }
    return Error(type_found ? kErrorResourceNameNotFound : kErrorResourceTypeNotFound, HANDLE{0});
  }

  HANDLE LoadResource(HMODULE module, HANDLE res_info) override {
    if (Fail("LoadResource")) return 0;
    (void)module;
    if (!ResourceOf(res_info)) return Error(kERROR_INVALID_HANDLE, HANDLE{0});
    return res_info;
  }

  DWORD SizeofResource(HMODULE module, HANDLE res_info) override {
    if (Fail("SizeofResource")) return 0;
    (void)module;
    const EmbeddedResource* r = ResourceOf(res_info);
    if (!r) return Error(kERROR_INVALID_HANDLE, DWORD{0});
    return static_cast<DWORD>(r->size);
  }

  const void* LockResource(HANDLE res_data) override {
    if (Fail("LockResource")) return nullptr;
    const EmbeddedResource* r = ResourceOf(res_data);
    return r ? r->data : nullptr;
  }

  // ---- names and environment ---------------------------------------------------------------
  BOOL GetComputerNameExW(int format, char16_t* buf, DWORD* size) override {
    if (Fail("GetComputerNameExW")) return 0;
    if (!size || format < ComputerNameNetBIOS || format > ComputerNamePhysicalDnsFullyQualified)
      return Error(kERROR_INVALID_PARAMETER, 0);
    std::u16string name;
    switch (format % 4) {
      case 0:  // NetBIOS: upper case, at most 15 characters
        name = UpperCase(m_.computer_name).substr(0, 15);
        break;
      case 1:
        name = m_.computer_name;
        break;
      case 2:
        name = m_.dns_domain;
        break;
      default:
        name = m_.dns_domain.empty() ? m_.computer_name : m_.computer_name + u"." + m_.dns_domain;
        break;
    }
    if (!buf || *size < name.size() + 1) {
      *size = static_cast<DWORD>(name.size() + 1);
      return Error(kERROR_MORE_DATA, 0);
    }
    std::copy(name.begin(), name.end(), buf);
    buf[name.size()] = u'\0';
    *size = static_cast<DWORD>(name.size());
    return 1;
  }

  BOOL GetUserNameW(char16_t* buf, DWORD* size) override {
    if (Fail("GetUserNameW")) return 0;
    if (!size) return Error(kERROR_INVALID_PARAMETER, 0);
    const std::u16string& name = m_.user_name;
    if (!buf || *size < name.size() + 1) {
      *size = static_cast<DWORD>(name.size() + 1);
      return Error(kERROR_INSUFFICIENT_BUFFER, 0);
    }
    std::copy(name.begin(), name.end(), buf);
    buf[name.size()] = u'\0';
    *size = static_cast<DWORD>(name.size() + 1);
    return 1;
  }

  DWORD GetEnvironmentVariableW(const char16_t* name, char16_t* buf, DWORD size) override {
    if (Fail("GetEnvironmentVariableW")) return 0;
    if (!name) return Error(kERROR_INVALID_PARAMETER, 0);
    const auto value = m_.GetEnv(name);
    if (!value) return Error(kERROR_ENVVAR_NOT_FOUND, 0);
    if (!buf || size < value->size() + 1) return static_cast<DWORD>(value->size() + 1);
    std::copy(value->begin(), value->end(), buf);
    buf[value->size()] = u'\0';
    // An empty value returns 0 like a failure; the cleared last error tells them apart.
    if (value->empty()) m_.last_error = kERROR_SUCCESS;
    return static_cast<DWORD>(value->size());
  }

  BOOL SetEnvironmentVariableW(const char16_t* name, const char16_t* value) override {
    if (Fail("SetEnvironmentVariableW")) return 0;
    const std::u16string n = name ? name : u"";
    if (n.empty() || n.find(u'=', 1) != n.npos) return Error(kERROR_INVALID_PARAMETER, 0);
    if (value) {
      m_.SetEnv(n, value);
      return 1;
    }
    for (auto it = m_.environment.begin(); it != m_.environment.end(); ++it) {
      if (EqualsNoCase(it->first, n)) {
        m_.environment.erase(it);
        return 1;
      }
    }
    return Error(kERROR_ENVVAR_NOT_FOUND, 0);
  }

  DWORD WNetGetConnectionW(const char16_t* local, char16_t* remote, DWORD* length) override {
    if (auto e = m_.Gate("WNetGetConnectionW")) return Error(*e, *e);
    const std::u16string drive = local ? local : u"";
    const bool letter =
        drive.size() == 2 && drive[1] == u':' &&
        ((drive[0] >= u'A' && drive[0] <= u'Z') || (drive[0] >= u'a' && drive[0] <= u'z'));
    if (!letter) return Error(kERROR_BAD_DEVICE, kERROR_BAD_DEVICE);
    if (!length) return Error(kERROR_INVALID_PARAMETER, kERROR_INVALID_PARAMETER);
    for (const auto& [name, share] : m_.network_drives) {
      if (!EqualsNoCase(name, drive)) continue;
      if (!remote || *length < share.size() + 1) {
        *length = static_cast<DWORD>(share.size() + 1);
        return Error(kERROR_MORE_DATA, kERROR_MORE_DATA);
      }
      std::copy(share.begin(), share.end(), remote);
      remote[share.size()] = u'\0';
      return kERROR_SUCCESS;
    }
    return Error(kERROR_NOT_CONNECTED, kERROR_NOT_CONNECTED);
  }

  int GetSystemMetrics(int index) override {
    if (Fail("GetSystemMetrics")) return 0;
    if (index == kSM_CLEANBOOT) return m_.facts.clean_boot;
    const auto it = m_.facts.system_metrics.find(index);
    return it == m_.facts.system_metrics.end() ? 0 : it->second;
  }

  HWND GetDesktopWindow() override {
    if (Fail("GetDesktopWindow")) return 0;
    return kDesktopWindow;
  }

  // ---- version resources -------------------------------------------------------------------
  DWORD GetFileVersionInfoSizeW(const char16_t* file, DWORD* handle) override {
    if (handle) *handle = 0;
    if (Fail("GetFileVersionInfoSizeW")) return 0;
    const auto* strings = VersionStrings(file);
    if (!strings) return Error(NoVersionError(file), 0);
    return static_cast<DWORD>(BuildVersionBlock(*strings).size());
  }

  BOOL GetFileVersionInfoW(const char16_t* file, DWORD, DWORD len, void* data) override {
    if (Fail("GetFileVersionInfoW")) return 0;
    const auto* strings = VersionStrings(file);
    if (!strings) return Error(NoVersionError(file), 0);
    if (!data) return Error(kERROR_INVALID_PARAMETER, 0);
    const auto block = BuildVersionBlock(*strings);
    // Windows cuts the block to the buffer; a buffer too small for even the header is refused
    // here so that a later query cannot mistake foreign bytes for a block.
    if (len < 8) return Error(kERROR_INSUFFICIENT_BUFFER, 0);
    const auto n = std::min<std::size_t>(len, block.size());
    std::memcpy(data, block.data(), n);
    SetVersionBlockLength(data, static_cast<std::uint32_t>(n));
    return 1;
  }

  BOOL VerQueryValueW(const void* block, const char16_t* sub_block, const void** buffer,
                      UINT* len) override {
    if (Fail("VerQueryValueW")) return 0;
    if (!block || !sub_block || !buffer || !len) return Error(kERROR_INVALID_PARAMETER, 0);
    if (!QueryVersionBlock(block, sub_block, buffer, len))
      return Error(kERROR_RESOURCE_TYPE_NOT_FOUND, 0);
    return 1;
  }

  // ---- Windows version ----------------------------------------------------------------------
  // The entry points exist where the machine's libraries export them: version profiles of
  // Windows 9x and NT 4 take RtlGetVersion away, those before Vista GetProductInfo.
  LONG RtlGetVersion(OSVERSIONINFOEXW* info) override {
    constexpr auto kSTATUS_UNSUCCESSFUL = static_cast<LONG>(0xC0000001u);
    constexpr auto kSTATUS_PROCEDURE_NOT_FOUND = static_cast<LONG>(0xC000007Au);
    if (Fail("RtlGetVersion")) return kSTATUS_UNSUCCESSFUL;
    if (!Exports(u"ntdll.dll", "RtlGetVersion"))
      return Error(kERROR_PROC_NOT_FOUND, kSTATUS_PROCEDURE_NOT_FOUND);
    if (!info) return Error(kERROR_INVALID_PARAMETER, kSTATUS_UNSUCCESSFUL);
    *info = m_.facts.version;
    // Windows hands over the whole buffer: the text, then NULs up to its 128 characters.
    if (info->szCSDVersion.size() < 128) info->szCSDVersion.resize(128, u'\0');
    return 0;
  }

  BOOL GetVersionExA(OSVERSIONINFOEXA* info) override {
    if (Fail("GetVersionExA")) return 0;
    if (!info || (info->dwOSVersionInfoSize != 156 && info->dwOSVersionInfoSize != 148))
      return Error(kERROR_INSUFFICIENT_BUFFER, 0);
    const OSVERSIONINFOEXW& v = m_.facts.version;
    info->dwMajorVersion = v.dwMajorVersion;
    info->dwMinorVersion = v.dwMinorVersion;
    info->dwBuildNumber = v.dwBuildNumber;
    info->dwPlatformId = v.dwPlatformId;
    // Service-pack texts are plain ASCII; anything else would come out as "?" in an ANSI page.
    info->szCSDVersion.assign(128, '\0');
    for (std::size_t i = 0; i < v.szCSDVersion.size() && i < 127; ++i) {
      const char16_t c = v.szCSDVersion[i];
      info->szCSDVersion[i] = c < 0x80 ? static_cast<char>(c) : '?';
    }
    if (info->dwOSVersionInfoSize == 156) {
      info->wServicePackMajor = v.wServicePackMajor;
      info->wServicePackMinor = v.wServicePackMinor;
      info->wSuiteMask = v.wSuiteMask;
      info->wProductType = v.wProductType;
      info->wReserved = v.wReserved;
    }
    return 1;
  }

  BOOL GetProductInfo(DWORD, DWORD, DWORD, DWORD, DWORD* product_type) override {
    if (Fail("GetProductInfo")) return 0;
    if (!Exports(u"kernel32.dll", "GetProductInfo")) return Error(kERROR_PROC_NOT_FOUND, 0);
    if (!product_type) return Error(kERROR_INVALID_PARAMETER, 0);
    *product_type = m_.facts.product_info;
    return 1;
  }

  LONG WmiQueryOperatingSystemSKU(DWORD* sku) override {
    if (auto e = m_.Gate("WmiQueryOperatingSystemSKU")) return WmiError(*e);
    constexpr auto kE_POINTER = static_cast<LONG>(0x80004003u);
    if (!sku) return Error(static_cast<DWORD>(kE_POINTER), kE_POINTER);
    *sku = m_.facts.wmi_os_sku;
    return 0;
  }

  LONG WmiQueryUserAccounts(std::vector<WmiUserAccount>* accounts) override {
    if (accounts) accounts->clear();
    if (auto e = m_.Gate("WmiQueryUserAccounts")) return WmiError(*e);
    constexpr auto kE_POINTER = static_cast<LONG>(0x80004003u);
    if (!accounts) return Error(static_cast<DWORD>(kE_POINTER), kE_POINTER);
    for (const auto& [key, a] : m_.accounts)
      accounts->push_back(
          {a.name, a.wmi_sid_type, a.wmi_account_type, a.disabled ? 1 : 0, a.wmi_status});
    return 0;
  }

  // Faults are real processor faults of the host process, so the host's signals carry them.
  bool InstallProcessorFaultTranslator() override {
    if (Fail("InstallProcessorFaultTranslator")) return false;
    return InstallPosixFaultTranslator();
  }

  void RemoveProcessorFaultTranslator() override {
    m_.Gate("RemoveProcessorFaultTranslator");
    RemovePosixFaultTranslator();
  }

 private:
  // Counts the call; true (with the last error set) when a failure was injected into it.
  bool Fail(const char* api) {
    if (auto e = m_.Gate(api)) {
      m_.last_error = *e;
      return true;
    }
    return false;
  }

  template <class T>
  T Error(DWORD code, T result) {
    m_.last_error = code;
    return result;
  }

  // An injected failure of a WMI query is handed back as an HRESULT: a Windows error code
  // becomes HRESULT_FROM_WIN32, a value that already is one (high bit set) stays as it is.
  LONG WmiError(DWORD e) {
    const DWORD hr = (e & 0x80000000u) ? e : (0x80070000u | (e & 0xFFFFu));
    return Error(hr, static_cast<LONG>(hr));
  }

  UINT ResolveCodePage(UINT code_page) const {
    switch (code_page) {
      case 0:  // CP_ACP
      case 3:  // CP_THREAD_ACP
        return m_.ansi_code_page;
      case 1:  // CP_OEMCP
        return m_.oem_code_page;
      default:
        return code_page;
    }
  }

  template <class S, class C>
  int CopyOut(const S& text, C* dst, int dst_len) {
    if (dst_len == 0) return static_cast<int>(text.size());
    if (text.size() > static_cast<std::size_t>(dst_len))
      return Error(kERROR_INSUFFICIENT_BUFFER, 0);
    std::copy(text.begin(), text.end(), dst);
    return static_cast<int>(text.size());
  }

  BOOL Shift(const FILETIME& in, std::int64_t delta, FILETIME* out) {
    const auto t = static_cast<std::int64_t>(Ticks(in)) + delta;
    if (Ticks(in) > kMaxFileTime || t < 0) return Error(kERROR_INVALID_PARAMETER, 0);
    *out = FromTicks(static_cast<std::uint64_t>(t));
    return 1;
  }

  // A conversion between UTC and local time in `tz` (null: the machine's zone for the year of
  // `in`), with Windows' answer to a time out of range.
  using ZoneConversion = std::optional<std::int64_t> (*)(const TIME_ZONE_INFORMATION&,
                                                         std::int64_t);
  BOOL ConvertInZone(const TIME_ZONE_INFORMATION* tz, const SYSTEMTIME* in, SYSTEMTIME* out,
                     ZoneConversion convert) {
    if (!in || !out) return Error(kERROR_INVALID_PARAMETER, 0);
    const auto ms = SystemTimeToMs(*in);
    if (!ms) return Error(kERROR_INVALID_PARAMETER, 0);
    const auto result = convert(tz ? *tz : ZoneForYear(m_, in->wYear), *ms);
    if (!result) return Error(kERROR_INVALID_PARAMETER, 0);
    *out = MsToSystemTime(*result);
    return 1;
  }

  // The library's name as the machine lists it; tests may spell it in any case.
  std::optional<std::u16string> FindLibrary(const std::u16string& key) const {
    for (const auto& [name, exports] : m_.libraries)
      if (EqualsNoCase(name, key)) return name;
    return std::nullopt;
  }

  // True when the machine's library exports the entry point.
  bool Exports(std::u16string_view library, const char* name) const {
    const auto lib = FindLibrary(std::u16string(library));
    if (!lib) return false;
    const auto& exports = m_.libraries.at(*lib);
    return std::find(exports.begin(), exports.end(), std::string(name)) != exports.end();
  }

  HMODULE HandleOf(const std::u16string& key) {
    auto it = module_handles_.find(key);
    if (it != module_handles_.end()) return it->second;
    const HMODULE h = kFirstLibraryModule + 0x100000 * module_handles_.size();
    module_handles_.emplace(key, h);
    return h;
  }

  std::optional<std::u16string> LibraryOf(HMODULE module) const {
    for (const auto& [key, h] : module_handles_)
      if (h == module && m_.libraries.count(key)) return key;
    return std::nullopt;
  }

  const std::map<std::u16string, std::u16string>* VersionStrings(const char16_t* file) const {
    if (!file) return nullptr;
    const std::u16string key = VersionKey(file);
    for (const auto& [path, strings] : m_.version_resources)
      if (EqualsNoCase(path, key)) return &strings;
    return nullptr;
  }

  // Why a file has no version block: it is missing, or it has no version resource. A block
  // registered for a file the test never created still answers, as a setup convenience.
  DWORD NoVersionError(const char16_t* file) const {
    if (!file || !m_.fs().Exists(file)) return kERROR_FILE_NOT_FOUND;
    return kERROR_RESOURCE_TYPE_NOT_FOUND;
  }

  Machine& m_;
  std::map<std::u16string, HMODULE> module_handles_;
  std::map<std::u16string, int> load_counts_;
};

}  // namespace

std::unique_ptr<SystemApi> MakeSimSystem(Machine& m) {
  return std::make_unique<SimSystemApi>(m);
}

}  // namespace kes::sim
