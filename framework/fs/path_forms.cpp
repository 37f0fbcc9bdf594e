#include "framework/fs/path_forms.h"

#include <algorithm>
#include <vector>

#include "framework/debug/proc.h"
#include "framework/debug/tracing.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/fs/dir_listing.h"
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

void PrepPathForUnicodeAPI(std::u16string& sPath, bool bEnsureTrailingBS) {
  TrimNull(sPath, true);
  StripWrappingChr(sPath, u"\"", false, true);
  if (!sPath.empty() && sPath.find(u'\\') != std::u16string::npos) {
    if (bEnsureTrailingBS && sPath.back() != u'\\') sPath += u'\\';
    if (StartsWith(sPath, kWideUNC)) {
      // Already in the wide UNC form.
    } else if (StartsWithNoCase(sPath, kWideUNC)) {
      sPath.replace(0, kWideUNC.size(), kWideUNC);
    } else if (StartsWith(sPath, kWide)) {
      // Already in the wide form.
    } else if (StartsWith(sPath, u"\\??\\") || StartsWith(sPath, u"\\\\.\\")) {
      sPath.replace(0, 4, kWide);
    } else if (StartsWith(sPath, u"\\\\")) {
      const auto first = sPath.find_first_not_of(u'\\');
      sPath = std::u16string(kWideUNC) +
              (first == std::u16string::npos ? std::u16string() : sPath.substr(first));
    } else {
      sPath.insert(0, kWide);
    }
  }
  // An explicit terminator: the wide call must not read past the text whatever the caller does.
  sPath += u'\0';
}

bool IsWideAPIPathFormat(std::u16string_view sPath) {
  const auto first = sPath.find_first_not_of(u' ');
  if (first == std::u16string_view::npos) return false;
  sPath.remove_prefix(first);
  if (sPath.size() >= 3 && sPath[0] == u'\\' && (sPath[2] == u'?' || sPath[2] == u'.')) return true;
  return StartsWithNoCase(sPath, u"UNC\\");
}

void RemoveWideAPIFormatFromPath(std::u16string& sPath) {
  if (!IsWideAPIPathFormat(sPath)) return;
  sPath = LTrim(sPath);
  if (sPath.size() >= 3 && sPath[0] == u'\\' && (sPath[2] == u'?' || sPath[2] == u'.')) {
    sPath.erase(0, std::min<std::size_t>(4, sPath.size()));
    const auto first = sPath.find_first_not_of(u'\\');
    sPath.erase(0, first == std::u16string::npos ? sPath.size() : first);
  }
  if (StartsWithNoCase(sPath, u"UNC\\")) sPath.replace(0, 4, u"\\\\");
}

void MakeLongPath(std::u16string& sPath) {
  std::u16string sTempString = Trim(CutAtNul(sPath));
  if (sTempString.find(u'~') == std::u16string::npos) return;
  if (!IsWideAPIPathFormat(sTempString)) PrepPathForUnicodeAPI(sTempString);
  std::vector<char16_t> buf(kBufferChars, u'\0');
  platform::DWORD n = 0;
  DisableFSRedir();
  n = OS().fs.GetLongPathNameW(sTempString.c_str(), buf.data(), kBufferChars);
  // The error must survive the switch back for the log entry below.
  const platform::DWORD error = OS().sys.GetLastError();
  RevertFSRedir();
  std::u16string sBuffer = CutAtNul(std::u16string_view(buf.data(), buf.size()));
  if (n == 0 || n >= kBufferChars) {
    OS().sys.SetLastError(n == 0 ? error : platform::kERROR_INSUFFICIENT_BUFFER);
    debug::dLogAPI(-1, u"GetLongPathNameW failure!",
                   u"sTempString=" + CutAtNul(sTempString) + u"; sBuffer=" + sBuffer);
    return;
  }
  RemoveWideAPIFormatFromPath(sBuffer);
  sPath = Trim(sBuffer);
}

void FixPathFromAPI(std::u16string& sPath) {
  if (sPath.empty()) return;
  TrimNull(sPath, true);
  if (sPath.find(u'~') != std::u16string::npos) {
    MakeLongPath(sPath);
  } else {
    RemoveWideAPIFormatFromPath(sPath);
  }
  if (!StartsWith(sPath, u"\\\\") && !(sPath.size() >= 2 && sPath[1] == u':')) {
    const auto first = sPath.find_first_not_of(u'\\');
    sPath.erase(0, first == std::u16string::npos ? sPath.size() : first);
    if (StartsWithNoCase(sPath, u"systemroot")) sPath.replace(0, 10, WindowsFolder());
  }
  sPath = Trim(sPath);
}

std::u16string DirNoBS(std::u16string_view sDir, bool bTrimNull) {
  std::u16string s(sDir);
  if (bTrimNull) TrimNull(s, true);
  if (!s.empty() && s.back() == u'\\') s.pop_back();
  return s;
}

bool PathToDriveLetter(std::u16string& sPath, std::u16string_view sReturnThisDriveOnFailure,
                       bool bAppendColonToDriveLetter) {
  Proc p(kModule, u"PathToDriveLetter", Kind::Function);
  p.Args({u"sPath", sPath, u"sReturnThisDriveOnFailure", std::u16string(sReturnThisDriveOnFailure),
          u"bAppendColonToDriveLetter", bAppendColonToDriveLetter});
  bool result = false;
  p.Step([&] {
    const std::u16string colon = bAppendColonToDriveLetter ? u":" : u"";
    std::u16string issue;
    std::u16string letter;
    if (sPath.empty()) {
      issue = u"Passed empty string!";
    } else {
      std::u16string s = sPath;
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
      sPath = letter + colon;
      result = true;
      return;
    }
    if (sReturnThisDriveOnFailure.empty()) {
      p.Log(u"Aborting; Note issues:  " + issue, debug::Event_Normal);
      return;
    }
    const std::u16string fallback = Trim(sReturnThisDriveOnFailure);
    if (fallback.empty()) {
      p.Log(u"FATAL; passed fail safe string not suitable for return value; Note issues:  " + issue,
            debug::Event_Normal);
      return;
    }
    sPath = fallback.substr(0, 1) + colon;
    result = true;
    p.Log(u"Using passed fail safe string for successful return; Note issues:  " + issue,
          debug::Event_Normal);
  });
  p.ReturnedByRef({u"sPath", sPath});
  p.Result(result);
  return result;
}

void DeleteFilesInPath(std::u16string_view sPath, std::u16string_view sFileMask,
                       std::int32_t lRecursionLevel, std::u16string_view sExclusionInStr) {
  Proc p(kModule, u"DeleteFilesInPath", Kind::Sub);
  p.Args({u"sPath", std::u16string(sPath), u"sFileMask", std::u16string(sFileMask),
          u"lRecursionLevel", lRecursionLevel, u"sExclusionInStr",
          std::u16string(sExclusionInStr)});
  if (sPath.empty()) {
    p.Log(u"Passed empty string!", debug::Event_Normal);
    return;
  }
  if (sFileMask.empty()) return;
  std::u16string sSucceeded;
  std::u16string sFailed;
  p.Step([&] {
    DirListing search;
    search.AddSearchPath(sPath);
    search.AddFileMask(sFileMask);
    search.RecursionLevel = lRecursionLevel;
    search.AddFileInStrExclusion(sExclusionInStr);
    search.StartSearch();
    if (search.MatchingFileCount() == 0) {
      p.Log(u"File not found!", debug::Event_Normal, u"sFileMask=" + std::u16string(sFileMask));
      return;
    }
    for (const std::u16string& file : search.MatchingFilesFullPath()) {
      std::u16string& list = FileDelete(file) ? sSucceeded : sFailed;
      if (!list.empty()) list += u"\r\n";
      list += file;
    }
  });
  if (!sSucceeded.empty())
    p.Log(u"Delete Success!", debug::Event_Normal, u"sSucceeded=" + sSucceeded);
  if (!sFailed.empty()) p.Log(u"Delete Failure!", debug::Event_Normal, u"sFailed=" + sFailed);
}

}  // namespace kes
