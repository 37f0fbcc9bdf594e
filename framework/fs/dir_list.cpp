#include "framework/fs/dir_list.h"

#include <optional>
#include <tuple>

#include "framework/debug/proc.h"
#include "framework/env/context.h"
#include "framework/fs/file_version.h"
#include "framework/fs/files.h"
#include "framework/fs/files_internal.h"
#include "framework/util/date.h"
#include "framework/util/file_dates.h"
#include "framework/util/strings.h"
#include "platform/base/u16.h"
#include "platform/unique_handle.h"

namespace kes {

using debug::Kind;
using debug::Proc;
using debug::VarsToText;

namespace {

constexpr std::u16string_view kModule = u"FS_DirList";
constexpr char16_t kNoMatches[] = u"No Matching Files!";

// The entries of one folder as the file system lists them, read with one find handle and
// redirection off; none when the folder cannot be read (logged unless it is merely empty).
std::vector<platform::WIN32_FIND_DATAW> ReadFolder(const Proc& p, const std::u16string& path_bs) {
  std::vector<platform::WIN32_FIND_DATAW> entries;
  const std::u16string pattern = fs_detail::Prepared(path_bs + u"*");
  FsRedirectionOff redirection_off;
  platform::WIN32_FIND_DATAW data;
  const platform::UniqueFindHandle search(OS(), OS().fs.FindFirstFileW(pattern.c_str(), &data));
  if (!search) {
    if (OS().sys.GetLastError() != platform::kERROR_FILE_NOT_FOUND)
      p.LogAPI(u"FindFirstFileW", VarsToText({u"sPattern", pattern}));
    return entries;
  }
  do entries.push_back(data);
  while (OS().fs.FindNextFileW(search.get(), &data));
  return entries;
}

// The UTC modification time of a file as a comparable calendar time; nullopt when its dates
// cannot be read.
std::optional<CalendarTime> ModifiedUtc(const std::u16string& file) {
  Date created, accessed, modified;
  if (!GetFileDates_AsDate(file, true, created, accessed, modified)) return std::nullopt;
  return SplitDate(modified);
}

bool Later(const CalendarTime& a, const CalendarTime& b) {
  return std::tie(a.year, a.month, a.day, a.hour, a.minute, a.second) >
         std::tie(b.year, b.month, b.day, b.hour, b.minute, b.second);
}

// The Add... procedures: `text` into `list` unless it is empty or already there.
void AddText(std::u16string_view procedure, std::u16string_view arg_name, KeyedTexts& list,
             std::u16string_view text) {
  Proc p(kModule, procedure, Kind::Sub);
  p.Args({arg_name, text});
  if (!text.empty()) list.Add(text, std::u16string(text));
}

}  // namespace

FsDirList::FsDirList() {
  InitClassVars();
}

FsDirList::~FsDirList() {
  ShutdownClass();
}

void FsDirList::InitClassVars() {
  initialised_ = true;
  IncludeFiles = true;
  IncludeDirs = false;
  FileAttribs = kNoAttribFilter;
  RecursionLevel = -1;
}

void FsDirList::ShutdownClass() {
  if (!initialised_) return;
  initialised_ = false;
  for (KeyedTexts* list :
       {&names_, &full_paths_, &search_paths_, &masks_, &file_exclusions_, &sub_dir_exclusions_})
    list->Clear();
}

void FsDirList::CleanUp() {
  Proc p(kModule, u"App_ClassSync_CleanUp", Kind::Sub);
  ShutdownClass();
}

void FsDirList::AddSearchPath(std::u16string_view full_path) {
  AddText(u"AddSearchPath", u"sFullPath", search_paths_, full_path);
}

void FsDirList::AddFileMask(std::u16string_view file_mask) {
  AddText(u"AddFileMask", u"sFileMask", masks_, file_mask);
}

void FsDirList::AddFileInStrExclusion(std::u16string_view the_string) {
  AddText(u"AddFileInStrExclusion", u"sTheString", file_exclusions_, the_string);
}

void FsDirList::AddRecursiveSubDirInStrExclusion(std::u16string_view the_string) {
  AddText(u"AddRecursiveSubDirInStrExclusion", u"sTheString", sub_dir_exclusions_, the_string);
}

void FsDirList::StartSearch() {
  Proc p(kModule, u"StartSearch", Kind::Sub);
  p.Step([&] {
    if (!initialised_) {
      p.Log(u"The search object was cleaned up; nothing is searched.");
      return;
    }
    recursion_active_ = RecursionLevel != 0;
    attrib_filter_active_ = FileAttribs != kNoAttribFilter;
    combined_masks_.clear();
    for (const std::u16string& mask : masks_.Items())
      combined_masks_ += (combined_masks_.empty() ? u"" : u";") + mask;
    for (const std::u16string& path : search_paths_.Items())
      SearchDir(path, recursion_active_ ? RecursionLevel : 0);
  });
  p.Created({u"bRecursionActive", recursion_active_, u"bAttribFilterActive", attrib_filter_active_,
             u"sFileMasks", combined_masks_, u"MatchingFileCount", file_count_, u"MatchingDirCount",
             dir_count_});
}

void FsDirList::SearchDir(std::u16string path_bs, std::int32_t recursion_level) {
  Proc p(kModule, u"SearchDir", Kind::Sub);
  p.Args({u"sPathBS", path_bs, u"lRecursionLevel", recursion_level});
  p.Step([&] {
    if (!DirExist(path_bs)) {
      p.Log(u"Path does not exist!", debug::Event_Normal, VarsToText({u"sPath", path_bs}));
      return;
    }
    const bool enter_sub_dirs = recursion_active_ && recursion_level != 0;
    if (path_bs.back() != u'\\') path_bs += u'\\';
    for (const platform::WIN32_FIND_DATAW& entry : ReadFolder(p, path_bs)) {
      std::u16string name = entry.cFileName;
      TrimNull(name, true);
      if (name.empty()) continue;
      const auto attributes = static_cast<std::int32_t>(entry.dwFileAttributes);
      if (attributes & platform::kFILE_ATTRIBUTE_DIRECTORY) {
        if (name == u"." || name == u"..") continue;
        if (enter_sub_dirs && !InStrCollection(name, sub_dir_exclusions_.Items(), kCompareText))
          SearchDir(path_bs + name, recursion_level - 1);
        if (!IncludeDirs) continue;
      } else if (!IncludeFiles) {
        continue;
      }
      if (attrib_filter_active_ && (attributes & FileAttribs) != FileAttribs) continue;
      if (InStrCollection(name, file_exclusions_.Items(), kCompareText)) continue;
      if (!combined_masks_.empty() &&
          !OS().fs.PathMatchSpecW(name.c_str(), combined_masks_.c_str()))
        continue;
      if (!AddMatch(path_bs, name, attributes & platform::kFILE_ATTRIBUTE_DIRECTORY))
        p.Log(u"Already listed; not counted again.", debug::Event_Verbose,
              VarsToText({u"sFullPath", path_bs + name}));
    }
  });
}

bool FsDirList::AddMatch(const std::u16string& path_bs, const std::u16string& name, bool is_dir) {
  const std::u16string full_path = path_bs + name;
  if (!full_paths_.Add(full_path, full_path)) return false;
  names_.Add(full_path, name);
  ++(is_dir ? dir_count_ : file_count_);
  return true;
}

std::u16string FsDirList::GetNewestFileByModifiedDate() {
  Proc p(kModule, u"GetNewestFileByModifiedDate", Kind::Function);
  std::u16string result;
  p.Step([&] {
    if (full_paths_.Empty()) return p.Log(kNoMatches);
    std::optional<CalendarTime> newest;
    for (const std::u16string& file : full_paths_.Items()) {
      const std::optional<CalendarTime> modified = ModifiedUtc(file);
      if (!modified) {
        p.Log(u"Cannot determine file date!", debug::Event_Normal, VarsToText({u"sFile", file}));
        continue;
      }
      if (!newest || Later(*modified, *newest)) {
        newest = modified;
        result = file;
      }
    }
  });
  p.Result(result);
  return result;
}

std::u16string FsDirList::GetNewestFileByVersion() {
  Proc p(kModule, u"GetNewestFileByVersion", Kind::Function);
  std::u16string result;
  p.Step([&] {
    if (full_paths_.Empty()) return p.Log(kNoMatches);
    std::u16string best_version;
    for (const std::u16string& file : full_paths_.Items()) {
      const std::u16string version = GetFileVersion(file);
      if (version.empty()) continue;
      bool better = result.empty();
      if (!better) {
        const VersionCompareResult order = FileVersionStringCompare(best_version, version, true);
        if (order == VersionCompare_Equal) {
          const auto mine = ModifiedUtc(file);
          const auto best = ModifiedUtc(result);
          better = mine && (!best || Later(*mine, *best));
        } else {
          better = order == VersionCompare_SecondNewer;
        }
      }
      if (better) {
        result = file;
        best_version = version;
      }
    }
    if (result.empty()) p.Log(u"No matching file has a version resource.");
  });
  p.Result(result);
  return result;
}

std::u16string FsDirList::GetSingleFileResult(std::int32_t file_compare) {
  Proc p(kModule, u"GetSingleFileResult", Kind::Function);
  p.Args({u"FileCompare", file_compare});
  std::u16string result;
  p.Step([&] {
    if (file_count_ == 0) return p.Log(kNoMatches);
    const std::vector<std::u16string>& found = full_paths_.Items();
    switch (file_compare) {
      case FileCompare_First:
        result = found.front();
        break;
      case FileCompare_Last:
        if (static_cast<std::size_t>(file_count_) <= found.size()) result = found[file_count_ - 1];
        break;
      case FileCompare_NewestByModifiedDate:
        result = GetNewestFileByModifiedDate();
        break;
      case FileCompare_NewestByVersion:
        result = GetNewestFileByVersion();
        break;
      default:
        p.Log(u"FileCompare must be 0 (first), 1 (last), 2 (newest by date) or 3 (by version).");
    }
  });
  p.Result(result);
  return result;
}

}  // namespace kes
