// Questions about running processes (kernel32's tool-help snapshot and image name, psapi's
// module calls), answered from the machine's process records as Windows answers them.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/base/u16.h"
#include "platform/sim/codepage.h"
#include "platform/sim/processes.h"

namespace kes::sim {
namespace {

using namespace platform;  // NOLINT: Win32 names read best unqualified here

constexpr DWORD kERROR_GEN_FAILURE = 31;

// The processes that ran when the snapshot was taken, in the machine's order.
struct ProcessSnapshot final : KernelObject {
  std::vector<PROCESSENTRY32W> entries;
  std::size_t next = 0;
};

template <class T>
T Fail(Machine& m, DWORD error, T result) {
  m.last_error = error;
  return result;
}

std::u16string FileName(const std::u16string& image) {
  const std::size_t slash = image.rfind(u'\\');
  return slash == std::u16string::npos ? image : image.substr(slash + 1);
}

BOOL NextEntry(Machine& m, HANDLE snapshot, PROCESSENTRY32W* entry, bool first) {
  auto* s = m.Lookup<ProcessSnapshot>(snapshot);
  if (!s) return Fail(m, kERROR_INVALID_HANDLE, BOOL{0});
  if (!entry || entry->dwSize != sizeof(PROCESSENTRY32W)) return Fail(m, kERROR_BAD_LENGTH, 0);
  if (first) s->next = 0;
  if (s->next >= s->entries.size()) return Fail(m, kERROR_NO_MORE_FILES, BOOL{0});
  *entry = s->entries[s->next++];
  m.last_error = 0;
  return 1;
}

// The process behind a handle opened with every right of `needed`, or null with the error set.
const SimProcess* ProcessOf(Machine& m, HANDLE process, DWORD needed) {
  const ProcessObject* h = m.Lookup<ProcessObject>(process);
  if (!h) return Fail<const SimProcess*>(m, kERROR_INVALID_HANDLE, nullptr);
  if ((h->access & needed) != needed)
    return Fail<const SimProcess*>(m, kERROR_ACCESS_DENIED, nullptr);
  const SimProcess* p = FindProcess(m, h->pid);
  if (!p) return Fail<const SimProcess*>(m, kERROR_INVALID_HANDLE, nullptr);
  return p;
}

// psapi reads the target's memory: a 32-bit process cannot read a 64-bit one.
const SimProcess* ModulesOf(Machine& m, HANDLE process) {
  const SimProcess* p = ProcessOf(m, process, kPROCESS_QUERY_INFORMATION | kPROCESS_VM_READ);
  if (p && m.facts.is_64bit && m.facts.process_is_32bit && !p->is_32bit)
    return Fail<const SimProcess*>(m, kERROR_PARTIAL_COPY, nullptr);
  if (p && p->image.find(u'\\') == std::u16string::npos)
    return Fail<const SimProcess*>(m, kERROR_GEN_FAILURE, nullptr);
  return p;
}

}  // namespace

HANDLE SimCreateToolhelp32Snapshot(Machine& m, DWORD flags) {
  if (!(flags & kTH32CS_SNAPPROCESS)) return Fail(m, kERROR_INVALID_PARAMETER, kInvalidHandle);
  auto s = std::make_shared<ProcessSnapshot>();
  for (const SimProcess& p : m.processes) {
    if (!p.Running(m.local_ms)) continue;
    PROCESSENTRY32W e;
    e.dwSize = sizeof(PROCESSENTRY32W);
    e.th32ProcessID = p.pid;
    e.th32ParentProcessID = p.parent_pid;
    e.cntThreads = 1;
    e.pcPriClassBase = 8;
    const std::u16string name = FileName(p.image).substr(0, 259);
    std::copy(name.begin(), name.end(), e.szExeFile);
    s->entries.push_back(e);
  }
  m.last_error = 0;
  return m.AddHandle(std::move(s));
}

BOOL SimProcess32(Machine& m, HANDLE snapshot, PROCESSENTRY32W* entry, bool first) {
  return NextEntry(m, snapshot, entry, first);
}

BOOL SimQueryFullProcessImageNameW(Machine& m, HANDLE process, DWORD flags, char16_t* buf,
                                   DWORD* size) {
  const auto& k32 = m.libraries[u"kernel32.dll"];
  if (std::find(k32.begin(), k32.end(), "QueryFullProcessImageNameW") == k32.end())
    return Fail(m, kERROR_PROC_NOT_FOUND, BOOL{0});
  if (!buf || !size) return Fail(m, kERROR_INVALID_PARAMETER, BOOL{0});
  const SimProcess* p = ProcessOf(m, process, kPROCESS_QUERY_LIMITED_INFORMATION);
  if (!p) return 0;
  if (p->image.find(u'\\') == std::u16string::npos) return Fail(m, kERROR_GEN_FAILURE, BOOL{0});
  std::u16string path = p->image;
  if (flags & 1) path = u"\\Device\\HarddiskVolume3" + path.substr(2);  // PROCESS_NAME_NATIVE
  if (path.size() + 1 > *size) return Fail(m, kERROR_INSUFFICIENT_BUFFER, BOOL{0});
  std::copy(path.begin(), path.end(), buf);
  buf[path.size()] = 0;
  *size = static_cast<DWORD>(path.size());
  m.last_error = 0;
  return 1;
}

DWORD SimGetModuleFileNameEx(Machine& m, HANDLE process, char16_t* wide, char* ansi, DWORD size) {
  const SimProcess* p = ModulesOf(m, process);
  if (!p) return 0;
  if (size == 0) return Fail(m, kERROR_INSUFFICIENT_BUFFER, DWORD{0});
  bool used_default = false;
  const std::string bytes =
      ansi ? EncodeCodePage(m.ansi_code_page, p->image, "?", false, &used_default).value_or("")
           : std::string();
  const std::size_t length = ansi ? bytes.size() : p->image.size();
  const std::size_t copied = std::min<std::size_t>(length, size - 1);
  if (ansi) {
    std::memcpy(ansi, bytes.data(), copied);
    ansi[copied] = 0;
  } else {
    std::copy(p->image.begin(), p->image.begin() + static_cast<std::ptrdiff_t>(copied), wide);
    wide[copied] = 0;
  }
  m.last_error = copied < length ? DWORD{kERROR_INSUFFICIENT_BUFFER} : 0;
  return static_cast<DWORD>(copied);
}

BOOL SimEnumProcessModules(Machine& m, HANDLE process, HMODULE* modules, DWORD bytes,
                           DWORD* needed) {
  if (!needed) return Fail(m, kERROR_INVALID_PARAMETER, BOOL{0});
  if (!ModulesOf(m, process)) return 0;
  // The executable, ntdll and kernel32, as every Windows process has them.
  const HMODULE loaded[] = {0x400000, 0x77000000, 0x76000000};
  *needed = static_cast<DWORD>(sizeof(loaded));
  const std::size_t fit = std::min<std::size_t>(bytes / sizeof(HMODULE), std::size(loaded));
  if (fit && !modules) return Fail(m, kERROR_INVALID_PARAMETER, BOOL{0});
  std::copy(loaded, loaded + fit, modules);
  m.last_error = 0;
  return 1;
}

}  // namespace kes::sim
