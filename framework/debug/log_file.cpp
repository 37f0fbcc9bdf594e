#include "framework/debug/log_file.h"

#include <algorithm>
#include <string>
#include <vector>

#include "framework/debug/tracing.h"
#include "framework/debug/tracing_state.h"
#include "framework/env/context.h"
#include "platform/base/u16.h"
#include "platform/unique_handle.h"

namespace kes::debug {
namespace {

using platform::DWORD;
using platform::HANDLE;

constexpr std::u16string_view kFilePrefix = u"Kestrune_";
constexpr std::u16string_view kFileSuffix = u".log";

std::u16string LogsFolder(const LogFileSink& f) {
  return f.folder + u"\\Kestrune\\Logs";
}

bool IsLogFileName(std::u16string_view name) {
  return name.size() > kFilePrefix.size() + kFileSuffix.size() &&
         EqualsNoCase(name.substr(0, kFilePrefix.size()), kFilePrefix) &&
         EqualsNoCase(name.substr(name.size() - kFileSuffix.size()), kFileSuffix);
}

// Chooses this run's file (the local date of the first write) and makes its folders.
void ChooseFile(LogFileSink& f) {
  platform::Platform& os = OS();
  os.fs.CreateDirectoryW((f.folder + u"\\Kestrune").c_str());
  os.fs.CreateDirectoryW(LogsFolder(f).c_str());
  platform::SYSTEMTIME t;
  os.sys.GetLocalTime(&t);
  f.path = LogsFolder(f) + u"\\" + std::u16string(kFilePrefix) + Pad(t.wYear, 4) + u"-" +
           Pad(t.wMonth, 2) + u"-" + Pad(t.wDay, 2) + std::u16string(kFileSuffix);
}

// Keeps the newest kLogFilesKept files (this run's included); the date in the name orders them.
void PruneOldFiles(const LogFileSink& f) {
  platform::Platform& os = OS();
  const std::u16string folder = LogsFolder(f);
  const std::u16string own = f.path.substr(folder.size() + 1);
  std::vector<std::u16string> names;
  platform::WIN32_FIND_DATAW data;
  const platform::UniqueFindHandle search(
      os, os.fs.FindFirstFileW((folder + u"\\" + std::u16string(kFilePrefix) + u"*.log").c_str(),
                               &data));
  if (!search) return;
  do {
    if ((data.dwFileAttributes & platform::kFILE_ATTRIBUTE_DIRECTORY) == 0 &&
        IsLogFileName(data.cFileName)) {
      names.push_back(data.cFileName);
    }
  } while (os.fs.FindNextFileW(search.get(), &data));
  const bool own_listed = std::any_of(
      names.begin(), names.end(), [&](const std::u16string& n) { return EqualsNoCase(n, own); });
  if (!own_listed) names.push_back(own);
  if (names.size() <= static_cast<std::size_t>(kLogFilesKept)) return;
  std::sort(names.begin(), names.end(), [](const std::u16string& a, const std::u16string& b) {
    return LowerCase(a) < LowerCase(b);
  });
  const std::size_t surplus = names.size() - static_cast<std::size_t>(kLogFilesKept);
  for (std::size_t i = 0; i < surplus; ++i) {
    if (EqualsNoCase(names[i], own)) continue;
    os.fs.DeleteFileW((folder + u"\\" + names[i]).c_str());
  }
}

// Appends the pending text; returns 0, or the system error that stopped it. The file is opened
// for appending only: each write lands at the end of the file as it is at that moment, so two
// instances writing to the same day's file never overwrite each other's entries. The byte-order
// mark goes only into a file this open created.
DWORD AppendPending(DebugState& st) {
  platform::Platform& os = OS();
  LogFileSink& f = st.file;
  os.sys.SetLastError(0);
  const platform::UniqueHandle file(
      os, os.fs.CreateFileW(f.path.c_str(), platform::kFILE_APPEND_DATA,
                            platform::kFILE_SHARE_READ | platform::kFILE_SHARE_WRITE,
                            platform::kOPEN_ALWAYS, platform::kFILE_ATTRIBUTE_NORMAL));
  if (!file) {
    const DWORD err = os.sys.GetLastError();
    return err != 0 ? err : platform::kERROR_INVALID_FUNCTION;
  }
  const bool created = os.sys.GetLastError() != platform::kERROR_ALREADY_EXISTS;
  std::string bytes = created ? std::string("\xEF\xBB\xBF") : std::string();
  bytes += Utf8(std::u16string_view(st.log).substr(
      static_cast<std::size_t>(f.written), static_cast<std::size_t>(st.log_used - f.written)));
  DWORD done = 0;
  if (!os.fs.WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done))
    return os.sys.GetLastError();
  // A short write leaves part of an entry; what follows starts on a line of its own, and the
  // whole pending text is written again, so nothing of it is lost.
  if (done != bytes.size()) {
    const std::string line_break = "\r\n";
    os.fs.WriteFile(file.get(), line_break.data(), static_cast<DWORD>(line_break.size()), &done);
    return platform::kERROR_NOT_ENOUGH_MEMORY;
  }
  f.written = st.log_used;
  return 0;
}

}  // namespace

void FlushLogFile(DebugState& st) {
  LogFileSink& f = st.file;
  if (f.folder.empty() || f.given_up || f.written >= st.log_used) return;
  platform::Platform& os = OS();
  const DWORD saved = os.sys.GetLastError();
  try {
    if (f.path.empty()) ChooseFile(f);
    if (!f.pruned) {
      f.pruned = true;
      PruneOldFiles(f);
    }
    const DWORD err = AppendPending(st);
    if (err == 0) {
      f.failures = 0;
    } else if (++f.failures >= kLogFileMaxFailures) {
      f.given_up = true;
      DebugLogAddEntry(u"Debug log file [" + f.path + u"] could not be written (error " + Dec(err) +
                       u": " + GetSystemMsg(static_cast<std::int32_t>(err)) +
                       u"); the debug log stays in memory only.");
    }
  } catch (...) {
  }
  os.sys.SetLastError(saved);
}

}  // namespace kes::debug
