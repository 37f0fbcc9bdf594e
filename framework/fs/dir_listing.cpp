#include "framework/fs/dir_listing.h"

#include <algorithm>
#include <utility>

#include "framework/env/context.h"
#include "framework/fs/files_internal.h"
#include "framework/util/strings.h"
#include "platform/base/u16.h"
#include "platform/unique_handle.h"

namespace kes {

using fs_detail::Prepared;

namespace {

// Adds the text unless it is empty or already there, letter case ignored.
void AddOnce(std::vector<std::u16string>& list, std::u16string_view text) {
  if (text.empty()) return;
  const bool known = std::any_of(list.begin(), list.end(),
                                 [&](const std::u16string& s) { return EqualsNoCase(s, text); });
  if (!known) list.emplace_back(text);
}

}  // namespace

void DirListing::AddSearchPath(std::u16string_view full_path) {
  AddOnce(search_paths_, full_path);
}
void DirListing::AddFileMask(std::u16string_view file_mask) {
  AddOnce(masks_, file_mask);
}
void DirListing::AddFileInStrExclusion(std::u16string_view text) {
  AddOnce(exclusions_, text);
}

void DirListing::StartSearch() {
  mask_spec_.clear();
  for (const std::u16string& mask : masks_) {
    if (!mask_spec_.empty()) mask_spec_ += u';';
    mask_spec_ += mask;
  }
  const std::int32_t level = RecursionLevel;
  for (const std::u16string& path : search_paths_) {
    std::u16string path_bs = path;
    if (path_bs.back() != u'\\') path_bs += u'\\';
    SearchDir(path_bs, level);
  }
}

void DirListing::SearchDir(const std::u16string& path_bs, std::int32_t recursion_level) {
  const bool enter_subdirs = recursion_level != 0;
  const bool attrib_filter = FileAttribs != kNoAttribFilter;
  const std::u16string pattern = Prepared(path_bs + u"*");

  // The folder is read in one go with redirection off, then its sub-folders are entered where
  // they were met; reading first keeps the bracket around file calls only.
  std::vector<platform::WIN32_FIND_DATAW> entries;
  {
    FsRedirectionOff redirection_off;
    platform::WIN32_FIND_DATAW data;
    const platform::UniqueFindHandle search(OS(), OS().fs.FindFirstFileW(pattern.c_str(), &data));
    if (!search) return;
    do entries.push_back(data);
    while (OS().fs.FindNextFileW(search.get(), &data));
  }

  for (platform::WIN32_FIND_DATAW& entry : entries) {
    std::u16string name = entry.cFileName;
    TrimNull(name, true);
    if (name.empty() || name == u"." || name == u"..") continue;
    if (entry.dwFileAttributes & platform::kFILE_ATTRIBUTE_DIRECTORY) {
      if (enter_subdirs) SearchDir(path_bs + name + u'\\', recursion_level - 1);
      continue;
    }
    const auto attributes = static_cast<std::int32_t>(entry.dwFileAttributes);
    if (attrib_filter && (attributes & FileAttribs) != FileAttribs) continue;
    if (InStrCollection(name, exclusions_, kCompareText)) continue;
    if (!mask_spec_.empty() && !OS().fs.PathMatchSpecW(name.c_str(), mask_spec_.c_str())) continue;
    std::u16string full = path_bs + name;
    if (!keys_.insert(LowerCase(full)).second) continue;
    full_paths_.push_back(std::move(full));
  }
}

}  // namespace kes
