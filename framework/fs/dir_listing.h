// A small recursive file listing with masks, exclusion texts and an attribute filter, for the
// file procedures that work on sets of files (CopyFiles, DeleteFilesInPath).
//
// This is the seam that the full directory-search object FS_DirList replaces: the members
// below carry FS_DirList's names and meanings (search paths, masks joined with ";", recursion
// level -1 = any depth, 0 = this folder only, attribute filter 0xA7 = none, contents of a
// sub-folder listed where the folder is met), so that swapping it in changes only the type.
// It lists files only, is not traced and never fails: a folder that cannot be read adds
// nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace kes {

class DirListing {
 public:
  // An attribute filter of this value filters nothing.
  static constexpr std::int32_t kNoAttribFilter = 0xA7;

  // Each adds its text unless it is empty or already there (letter case ignored).
  void AddSearchPath(std::u16string_view full_path);
  void AddFileMask(std::u16string_view file_mask);
  // Files whose name contains the text (letter case ignored) are left out.
  void AddFileInStrExclusion(std::u16string_view text);

  // -1: every depth; 0: the search folders only; n: n levels of sub-folders below them.
  std::int32_t RecursionLevel = -1;
  // With a value other than 0xA7, a file must have every one of these attribute bits.
  std::int32_t FileAttribs = kNoAttribFilter;

  // Lists every search path in the order added; results accumulate over repeated calls.
  // A search path that is not a readable folder adds nothing.
  void StartSearch();

  std::int32_t MatchingFileCount() const { return static_cast<std::int32_t>(full_paths_.size()); }
  // Full paths (search path with one backslash, sub-folders, name) in the order found.
  const std::vector<std::u16string>& MatchingFilesFullPath() const { return full_paths_; }

 private:
  void SearchDir(const std::u16string& path_bs, std::int32_t recursion_level);

  std::vector<std::u16string> search_paths_;
  std::vector<std::u16string> masks_;
  std::vector<std::u16string> exclusions_;
  std::u16string mask_spec_;
  std::vector<std::u16string> full_paths_;
  std::unordered_set<std::u16string> keys_;  // lower-case full paths: each object listed once
};

}  // namespace kes
