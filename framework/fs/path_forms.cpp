#include "framework/fs/path_forms.h"

#include <algorithm>
#include <vector>

#include "framework/debug/proc.h"
#include "framework/debug/tracing.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/fs/dir_list.h"
#include "framework/fs/files.h"
#include "framework/util/strings.h"
#include "platform/base/u16.h"

namespace kes {
namespace {

using debug::Kind;
using debug::Proc;

constexpr std::u16string_view kModule = u"App_FilePath";
constexpr platform::DWORD kBufferChars = 519;

constexpr std::u16string_view kWideUNC = u"\\\\?\\UNC\\";
constexpr std::u16string_view kWide = u"\\\\?\\";

bool StartsWith(std::u16string_view s, std::u16string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}
bool StartsWithNoCase(std::u16string_view s, std::u16string_view prefix) {
  return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

std::u16string CutAtNul(std::u16string_view s) {
  auto nul = s.find(u'\0');
  return std::u16string(nul == std::u16string_view::npos ? s : s.substr(0, nul));
}

// The Windows folder for "\SystemRoot\" paths: the environment fact once start-up has set it;
// before that (or without an environment object) Windows is asked directly.
std::u16string WindowsFolder() {
  if (Ctx().env && !Ctx().env->Dir_Windows.empty()) return Ctx().env->Dir_Windows;
  std::vector<char16_t> buf(kBufferChars, u'\0');
  const platform::UINT n = OS().fs.GetWindowsDirectoryW(buf.data(), kBufferChars);
  if (n == 0 || n >= kBufferChars) return {};
  return Trim(CutAtNul(std::u16string_view(buf.data(), buf.size())));
}

}  // namespace

void PrepPathForUnicodeAPI(std::u16string& path, bool ensure_trailing_bs) {
  TrimNull(path, true);
  StripWrappingChr(path, u"\"", false, true);
  if (!path.empty() && path.find(u'\\') != std::u16string::npos) {
    if (ensure_trailing_bs && path.back() != u'\\') path += u'\\';
    if (StartsWith(path, kWideUNC)) {
      // Already in the wide UNC form.
    } else if (StartsWithNoCase(path, kWideUNC)) {
      path.replace(0, kWideUNC.size(), kWideUNC);
    } else if (StartsWith(path, kWide)) {
      // Already in the wide form.
    } else if (StartsWith(path, u"\\??\\") || StartsWith(path, u"\\\\.\\")) {
      path.replace(0, 4, kWide);
    } else if (StartsWith(path, u"\\\\")) {
      const auto first = path.find_first_not_of(u'\\');
      path = std::u16string(kWideUNC) +
             (first == std::u16string::npos ? std::u16string() : path.substr(first));
    } else {
      path.insert(0, kWide);
    }
  }
  // An explicit terminator: the wide call must not read past the text whatever the caller does.
  path += u'\0';
}

bool IsWideAPIPathFormat(std::u16string_view path) {
  const auto first = path.find_first_not_of(u' ');
  if (first == std::u16string_view::npos) return false;
  path.remove_prefix(first);
  if (path.size() >= 3 && path[0] == u'\\' && (path[2] == u'?' || path[2] == u'.')) return true;
  return StartsWithNoCase(path, u"UNC\\");
}

void RemoveWideAPIFormatFromPath(std::u16string& path) {
  if (!IsWideAPIPathFormat(path)) return;
  path = LTrim(path);
  if (path.size() >= 3 && path[0] == u'\\' && (path[2] == u'?' || path[2] == u'.')) {
    path.erase(0, std::min<std::size_t>(4, path.size()));
    const auto first = path.find_first_not_of(u'\\');
    path.erase(0, first == std::u16string::npos ? path.size() : first);
  }
  if (StartsWithNoCase(path, u"UNC\\")) path.replace(0, 4, u"\\\\");
}

void MakeLongPath(std::u16string& path) {
  std::u16string temp = Trim(CutAtNul(path));
  if (temp.find(u'~') == std::u16string::npos) return;
  if (!IsWideAPIPathFormat(temp)) PrepPathForUnicodeAPI(temp);
  std::vector<char16_t> buf(kBufferChars, u'\0');
  platform::DWORD n = 0;
  DisableFSRedir();
  n = OS().fs.GetLongPathNameW(temp.c_str(), buf.data(), kBufferChars);
  // The error must survive the switch back for the log entry below.
  const platform::DWORD error = OS().sys.GetLastError();
  RevertFSRedir();
  std::u16string buffer = CutAtNul(std::u16string_view(buf.data(), buf.size()));
  if (n == 0 || n >= kBufferChars) {
    OS().sys.SetLastError(n == 0 ? error : platform::kERROR_INSUFFICIENT_BUFFER);
    debug::dLogAPI(-1, u"GetLongPathNameW failure!",
                   u"sTempString=" + CutAtNul(temp) + u"; sBuffer=" + buffer);
    return;
  }
  RemoveWideAPIFormatFromPath(buffer);
  path = Trim(buffer);
}

std::u16string ShortPath(std::u16string_view path) {
  std::u16string temp = Trim(CutAtNul(path));
  if (!IsWideAPIPathFormat(temp)) PrepPathForUnicodeAPI(temp);
  std::vector<char16_t> buf(kBufferChars, u'\0');
  DisableFSRedir();
  const platform::DWORD n = OS().fs.GetShortPathNameW(temp.c_str(), buf.data(), kBufferChars);
  const platform::DWORD error = OS().sys.GetLastError();
  RevertFSRedir();
  if (n == 0 || n >= kBufferChars) {
    OS().sys.SetLastError(n == 0 ? error : platform::kERROR_INSUFFICIENT_BUFFER);
    debug::dLogAPI(-1, u"GetShortPathNameW failure!", u"sPath=" + CutAtNul(temp));
    return u"";
  }
  std::u16string result = CutAtNul(std::u16string_view(buf.data(), buf.size()));
  RemoveWideAPIFormatFromPath(result);
  return result;
}

void FixPathFromAPI(std::u16string& path) {
  if (path.empty()) return;
  TrimNull(path, true);
  if (path.find(u'~') != std::u16string::npos) {
    MakeLongPath(path);
  } else {
    RemoveWideAPIFormatFromPath(path);
  }
  if (!StartsWith(path, u"\\\\") && !(path.size() >= 2 && path[1] == u':')) {
    const auto first = path.find_first_not_of(u'\\');
    path.erase(0, first == std::u16string::npos ? path.size() : first);
    if (StartsWithNoCase(path, u"systemroot")) path.replace(0, 10, WindowsFolder());
  }
  path = Trim(path);
}

std::u16string DirNoBS(std::u16string_view dir, bool trim_null) {
  std::u16string s(dir);
  if (trim_null) TrimNull(s, true);
  if (!s.empty() && s.back() == u'\\') s.pop_back();
  return s;
}

bool PathToDriveLetter(std::u16string& path, std::u16string_view return_this_drive_on_failure,
                       bool append_colon_to_drive_letter) {
  Proc p(kModule, u"PathToDriveLetter", Kind::Function);
  p.Args({u"sPath", path, u"sReturnThisDriveOnFailure",
          std::u16string(return_this_drive_on_failure), u"bAppendColonToDriveLetter",
          append_colon_to_drive_letter});
  bool result = false;
  p.Step([&] {
    const std::u16string colon = append_colon_to_drive_letter ? u":" : u"";
    std::u16string issue;
    std::u16string letter;
    if (path.empty()) {
      issue = u"Passed empty string!";
    } else {
      std::u16string s = path;
      TrimNull(s, true);
      if (s.empty()) {
        issue = u"Passed non-empty string with no characters!";
      } else if (s.size() == 1) {
        letter = s;
        p.Log(u"Passed single letter; appending colon...", debug::Event_Verbose);
      } else if (s.size() == 2) {
        if (s[1] == u':') {
          letter = s.substr(0, 1);
          p.Log(u"Passed good 2 character drive string; No changes made!", debug::Event_Verbose);
        } else {
          issue = u"Passed bad 2 character drive string!";
        }
      } else {
        const auto pos = s.find(u':');
        if (pos == std::u16string::npos) {
          issue = u"No colon in string!";
        } else if (pos == 0) {
          issue = u"String starts with a colon!";
        } else if (pos == 1) {
          letter = s.substr(0, 1);
          p.Log(u"Passed good path string; stripped to the first letter!", debug::Event_Verbose);
        } else {
          letter = s.substr(pos - 1, 1);
          p.Log(
              u"WARNING:  Passed bad drive/path string; using character before the first colon "
              u"in string...",
              debug::Event_Normal, u"sPath=" + s);
        }
      }
    }
    if (issue.empty()) {
      path = letter + colon;
      result = true;
      return;
    }
    if (return_this_drive_on_failure.empty()) {
      p.Log(u"Aborting; Note issues:  " + issue, debug::Event_Normal);
      return;
    }
    const std::u16string fallback = Trim(return_this_drive_on_failure);
    if (fallback.empty()) {
      p.Log(u"FATAL; passed fail safe string not suitable for return value; Note issues:  " + issue,
            debug::Event_Normal);
      return;
    }
    path = fallback.substr(0, 1) + colon;
    result = true;
    p.Log(u"Using passed fail safe string for successful return; Note issues:  " + issue,
          debug::Event_Normal);
  });
  p.ReturnedByRef({u"sPath", path});
  p.Result(result);
  return result;
}

void DeleteFilesInPath(std::u16string_view path, std::u16string_view file_mask,
                       std::int32_t recursion_level, std::u16string_view exclusion_in_str) {
  Proc p(kModule, u"DeleteFilesInPath", Kind::Sub);
  p.Args({u"sPath", std::u16string(path), u"sFileMask", std::u16string(file_mask),
          u"lRecursionLevel", recursion_level, u"sExclusionInStr",
          std::u16string(exclusion_in_str)});
  if (path.empty()) {
    p.Log(u"Passed empty string!", debug::Event_Normal);
    return;
  }
  if (file_mask.empty()) return;
  std::u16string succeeded;
  std::u16string failed;
  p.Step([&] {
    FsDirList search;
    search.AddSearchPath(path);
    search.AddFileMask(file_mask);
    search.RecursionLevel = recursion_level;
    search.AddFileInStrExclusion(exclusion_in_str);
    search.StartSearch();
    if (search.MatchingFileCount() == 0) {
      p.Log(u"File not found!", debug::Event_Normal, u"sFileMask=" + std::u16string(file_mask));
      return;
    }
    for (const std::u16string& file : search.MatchingFilesFullPath().Items()) {
      std::u16string& list = FileDelete(file) ? succeeded : failed;
      if (!list.empty()) list += u"\r\n";
      list += file;
    }
  });
  if (!succeeded.empty())
    p.Log(u"Delete Success!", debug::Event_Normal, u"sSucceeded=" + succeeded);
  if (!failed.empty()) p.Log(u"Delete Failure!", debug::Event_Normal, u"sFailed=" + failed);
}

}  // namespace kes
