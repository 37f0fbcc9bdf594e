// Copying of single files and of file sets.
#include <cstdint>
#include <string>
#include <string_view>

#include "framework/debug/proc.h"
#include "framework/env/context.h"
#include "framework/fs/dir_list.h"
#include "framework/fs/files.h"
#include "framework/fs/files_internal.h"
#include "framework/registry/permissions.h"
#include "framework/util/strings.h"
#include "platform/base/u16.h"

namespace kes {

using debug::Kind;
using debug::Proc;
using debug::VarsToText;
using fs_detail::kModule;
using fs_detail::Prepared;

namespace {

constexpr std::int32_t kReadOnlyOrHidden =
    platform::kFILE_ATTRIBUTE_READONLY | platform::kFILE_ATTRIBUTE_HIDDEN;
// Read-only, hidden, system, archive and normal files: every file a pattern copy takes.
constexpr std::int32_t kAnyFile = 0xA7;

std::u16string WithBackslash(std::u16string_view s) {
  std::u16string out(s);
  if (!out.empty() && out.back() != u'\\') out += u'\\';
  return out;
}

}  // namespace

bool FileCopy(std::u16string_view source_path_file, std::u16string_view dest_path,
              bool overwrite_existing_file, bool dest_path_contains_new_filename,
              bool skip_all_path_checks) {
  Proc p(kModule, u"FileCopy", Kind::Function);
  p.Args({u"Source_Path_File", source_path_file, u"Dest_Path", dest_path,
          u"Overwrite_Existing_File", overwrite_existing_file, u"Dest_Path_Contains_New_Filename",
          dest_path_contains_new_filename, u"Skip_All_Path_Checks", skip_all_path_checks});
  bool result = false;
  p.Step([&] {
    if (source_path_file.empty()) {
      p.Log(u"Passed empty string!", debug::Event_Normal,
            VarsToText({u"Source_Path_File", source_path_file}));
      return;
    }
    // A wildcard makes the source a set of files in one folder.
    if (source_path_file.find_first_of(u"*?") != std::u16string_view::npos) {
      std::u16string folder, mask;
      SplitString(source_path_file, u"\\", folder, mask);
      result = CopyFiles(folder, dest_path, mask, kAnyFile, overwrite_existing_file, 0, true);
      return;
    }
    const platform::BOOL fail_if_exist = overwrite_existing_file ? 0 : 1;

    if (!skip_all_path_checks) {
      if (source_path_file.find(u'\\') == std::u16string_view::npos) {
        p.Log(u"FileCopy was passed a source file without a path!", debug::Event_Normal,
              VarsToText({u"Source_Path_File", source_path_file}));
        return;
      }
      if (!FileExist(source_path_file)) {
        p.Log(u"Source file doesn't exist!", debug::Event_Normal,
              VarsToText({u"Source_Path_File", source_path_file}));
        return;
      }
      if (dest_path.empty()) {
        p.Log(u"Aborting; Destination path not specified!", debug::Event_Normal);
        return;
      }
      std::u16string dest_folder(dest_path);
      if (dest_path_contains_new_filename) {
        const std::size_t cut = dest_folder.rfind(u'\\');
        dest_folder.resize(cut == std::u16string::npos ? 0 : cut);
      }
      if (!EnsureDirExists(dest_folder)) {
        p.Log(u"Aborting; Destination path could not be created!", debug::Event_Normal,
              VarsToText({u"sDestFolder", dest_folder}));
        return;
      }
    }

    std::u16string dest_path_and_name;
    if (dest_path_contains_new_filename) {
      dest_path_and_name = dest_path;
    } else {
      const std::size_t cut = source_path_file.rfind(u'\\');
      dest_path_and_name =
          WithBackslash(dest_path) + std::u16string(cut == std::u16string_view::npos
                                                        ? source_path_file
                                                        : source_path_file.substr(cut + 1));
      p.Log(u"Added filename to destination path", debug::Event_Verbose,
            VarsToText({u"Dest_Path", dest_path, u"sDestPathAndName", dest_path_and_name}));
    }
    const std::u16string source_w = Prepared(source_path_file);
    const std::u16string dest_w = Prepared(dest_path_and_name);
    p.Created({u"lFailIfExist", static_cast<std::int32_t>(fail_if_exist), u"sDestPathAndName",
               dest_path_and_name});

    // A read-only or hidden target refuses to be replaced; it is made normal for the copy and
    // given its attributes back afterwards.
    std::int32_t orig_attributes = 0;
    bool restore_attributes = false;
    if (overwrite_existing_file && FileExistByStringPointer(dest_w)) {
      orig_attributes = GetAttrib(dest_path_and_name);
      if (orig_attributes & kReadOnlyOrHidden) {
        bool cleared = SetAttrib(dest_path_and_name, platform::kFILE_ATTRIBUTE_NORMAL);
        if (!cleared) {
          std::u16string owner, permission;
          TakeControl(dest_path_and_name, false, 0, owner, permission);
          cleared = SetAttrib(dest_path_and_name, platform::kFILE_ATTRIBUTE_NORMAL);
        }
        restore_attributes = cleared;
      }
    }

    platform::BOOL ok = 0;
    {
      FsRedirectionOff redirection_off;
      ok = OS().fs.CopyFileW(source_w.c_str(), dest_w.c_str(), fail_if_exist);
    }
    if (!ok) {
      p.LogAPI(u"CopyFileW", VarsToText({u"Source_Path_File", source_path_file, u"sDestPathAndName",
                                         dest_path_and_name}));
    }
    result = ok != 0;

    // Also after a failed copy: the old file is still there and keeps what it had.
    if (restore_attributes && !SetAttrib(dest_path_and_name, orig_attributes)) {
      p.Log(u"Failed to restore originally existing destination file's attributes!",
            debug::Event_Normal,
            VarsToText(
                {u"sDestPathAndName", dest_path_and_name, u"lOrigAttributes", orig_attributes}));
    }
  });
  p.Result(result);
  return result;
}

bool CopyFiles(std::u16string_view source_path, std::u16string_view dest_path,
               std::u16string_view file_mask, std::int32_t attribute_filter,
               bool overwrite_existing_files, std::int32_t recursion_level,
               bool preserve_recursive_sub_dirs_in_dest_path, std::int32_t& files_to_copy,
               std::int32_t& copy_failures) {
  Proc p(kModule, u"CopyFiles", Kind::Function);
  p.Args({u"Source_Path", source_path, u"Dest_Path", dest_path, u"sFileMask", file_mask,
          u"lAttributeFilter", attribute_filter, u"Overwrite_Existing_Files",
          overwrite_existing_files, u"RecursionLevel", recursion_level,
          u"Preserve_Recursive_SubDirs_In_Dest_Path", preserve_recursive_sub_dirs_in_dest_path});
  bool result = false;
  files_to_copy = 0;
  copy_failures = 0;
  p.Step([&] {
    FsDirList list;
    if (!DirExist(source_path)) {
      p.Log(u"Source path doesn't exist!", debug::Event_Normal,
            VarsToText({u"Source_Path", source_path}));
      return;
    }
    list.AddSearchPath(source_path);
    list.AddFileMask(file_mask);
    list.RecursionLevel = recursion_level;
    list.FileAttribs = attribute_filter;
    list.StartSearch();
    files_to_copy = list.MatchingFileCount();
    if (files_to_copy == 0) {
      p.Log(u"Aborting; No files found to copy!", debug::Event_Normal,
            VarsToText({u"Source_Path", source_path, u"sFileMask", file_mask}));
      return;
    }
    p.Log(u"Found " + Dec(files_to_copy) + u" files to copy...", debug::Event_Normal);

    // Copies from sub-folders that all go to one folder check that folder once, here; their
    // relative paths stay in the names (no sub-folders are made for them).
    const bool same_dest = recursion_level != 0 && !preserve_recursive_sub_dirs_in_dest_path;
    p.Created({u"bSameDest", same_dest});
    if (dest_path.empty()) {
      p.Log(u"Aborting; Destination path not specified!", debug::Event_Normal);
      return;
    }
    if (same_dest && !EnsureDirExists(dest_path)) {
      p.Log(u"Aborting; Destination path could not be created!", debug::Event_Normal,
            VarsToText({u"Dest_Path", dest_path}));
      return;
    }

    const std::u16string source_bs = WithBackslash(source_path);
    const std::u16string dest_bs = WithBackslash(dest_path);
    for (const std::u16string& path_and_file : list.MatchingFilesFullPath().Items()) {
      const std::u16string dest_path_and_name = dest_bs + path_and_file.substr(source_bs.size());
      if (!FileCopy(path_and_file, dest_path_and_name, overwrite_existing_files, true, same_dest)) {
        ++copy_failures;
        p.Log(
            u"File Copy Failure!", debug::Event_Normal,
            VarsToText({u"sPathAndFile", path_and_file, u"sDestPathAndName", dest_path_and_name}));
      }
    }
    result = copy_failures == 0;
  });
  p.ReturnedByRef({u"lFilesToCopy", files_to_copy, u"lCopyFailures", copy_failures});
  p.Result(result);
  return result;
}

bool CopyFiles(std::u16string_view source_path, std::u16string_view dest_path,
               std::u16string_view file_mask, std::int32_t attribute_filter,
               bool overwrite_existing_files, std::int32_t recursion_level,
               bool preserve_recursive_sub_dirs_in_dest_path) {
  std::int32_t files_to_copy = 0;
  std::int32_t copy_failures = 0;
  return CopyFiles(source_path, dest_path, file_mask, attribute_filter, overwrite_existing_files,
                   recursion_level, preserve_recursive_sub_dirs_in_dest_path, files_to_copy,
                   copy_failures);
}

}  // namespace kes
