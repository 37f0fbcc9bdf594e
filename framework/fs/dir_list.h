// FS_DirList: the framework's reusable directory search. A caller adds search paths, file masks
// and exclusion texts, sets what to include and how deep to go, starts the search, then reads
// the counts, the names and full paths found, or one best file (the first, the last, the newest
// by modification date or by file version).
//
// Each folder is read once with one find handle, in the order the file system lists it; a
// sub-folder is searched where it is met, so its contents come before the folder itself. Masks
// are matched all at once by the system's pattern matcher ("*.log;*.txt"). Each object is
// listed once: one reached twice (overlapping search paths) is neither added nor counted again.
// Traced under "FS_DirList" (the plain properties excepted); nothing here throws.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/debug/class_sync.h"
#include "framework/util/keyed_texts.h"

namespace kes {

// What GetSingleFileResult picks.
enum FileCompareEnum : std::int32_t {
  FileCompare_First = 0,
  FileCompare_Last = 1,
  FileCompare_NewestByModifiedDate = 2,
  FileCompare_NewestByVersion = 3,
};

class FsDirList : public AppClassSync {
 public:
  // An attribute filter of this value (read-only, hidden, system, archive, normal) filters
  // nothing.
  static constexpr std::int32_t kNoAttribFilter = 0xA7;

  FsDirList();
  ~FsDirList() override;
  FsDirList(const FsDirList&) = delete;
  FsDirList& operator=(const FsDirList&) = delete;

  // ---- what to list (read by StartSearch) --------------------------------------------------
  bool IncludeFiles = true;
  bool IncludeDirs = false;
  // Other than 0xA7: an entry must carry every one of these attribute bits (2: hidden ones).
  std::int32_t FileAttribs = kNoAttribFilter;
  // -1: every depth; 0: the search paths only; n: n levels of sub-folders below them.
  std::int32_t RecursionLevel = -1;

  // Each adds its text unless it is empty or already there (letter case ignored; the first
  // spelling is kept, so full paths read as the caller wrote the search path). A file exclusion
  // drops every entry whose name contains it; a sub-folder exclusion keeps the search out of
  // every sub-folder whose name contains it (letter case ignored in both).
  void AddSearchPath(std::u16string_view full_path);
  void AddFileMask(std::u16string_view file_mask);
  void AddFileInStrExclusion(std::u16string_view the_string);
  void AddRecursiveSubDirInStrExclusion(std::u16string_view the_string);

  // Searches every search path in the order added; a missing one is logged and skipped.
  // Results accumulate over repeated calls.
  void StartSearch();

  // ---- results -------------------------------------------------------------------------------
  std::int32_t MatchingDirCount() const { return dir_count_; }
  std::int32_t MatchingFileCount() const { return file_count_; }
  std::int32_t MatchingFileAndDirCount() const { return dir_count_ + file_count_; }
  // Names (without path) and full paths of the matches in the order found, both keyed by the
  // lower-case full path.
  const KeyedTexts& MatchingFileNames() const { return names_; }
  const KeyedTexts& MatchingFilesFullPath() const { return full_paths_; }

  // A full path, or "" ("No Matching Files!" logged) when nothing matched. The newest by date is
  // the latest modification time (the earlier entry on a tie; a file whose dates cannot be read
  // is logged and skipped). The newest by version is the highest file version (files without one
  // skipped); on equal versions the later modification time wins, the earlier entry on a tie.
  std::u16string GetNewestFileByVersion();
  std::u16string GetNewestFileByModifiedDate();
  // By FileCompareEnum; "" for any other value.
  std::u16string GetSingleFileResult(std::int32_t file_compare);

  // App_ClassSync: drops every collection once; the object then finds nothing.
  void CleanUp() override;

 private:
  void SearchDir(std::u16string path_bs, std::int32_t recursion_level);
  // Counts and records one entry that passed every test; false when it was already listed.
  bool AddMatch(const std::u16string& path_bs, const std::u16string& name, bool is_dir);
  void InitClassVars();
  void ShutdownClass();

  bool initialised_ = false;
  KeyedTexts names_;
  KeyedTexts full_paths_;
  std::int32_t file_count_ = 0;
  std::int32_t dir_count_ = 0;
  KeyedTexts search_paths_;
  KeyedTexts masks_;
  KeyedTexts file_exclusions_;
  KeyedTexts sub_dir_exclusions_;
  std::u16string combined_masks_;  // the masks joined with ";"
  bool attrib_filter_active_ = false;
  bool recursion_active_ = false;
};

}  // namespace kes
