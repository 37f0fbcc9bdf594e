// Copying of single files and of file sets.
#include <cstdint>
#include <string>
#include <string_view>

#include "framework/debug/proc.h"
#include "framework/env/context.h"
#include "framework/fs/dir_listing.h"
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

bool FileCopy(std::u16string_view Source_Path_File, std::u16string_view Dest_Path,
              bool Overwrite_Existing_File, bool Dest_Path_Contains_New_Filename,
              bool Skip_All_Path_Checks) {
  Proc p(kModule, u"FileCopy", Kind::Function);
  p.Args({u"Source_Path_File", Source_Path_File, u"Dest_Path", Dest_Path,
          u"Overwrite_Existing_File", Overwrite_Existing_File, u"Dest_Path_Contains_New_Filename",
          Dest_Path_Contains_New_Filename, u"Skip_All_Path_Checks", Skip_All_Path_Checks});
  bool result = false;
  p.Step([&] {
    if (Source_Path_File.empty()) {
      p.Log(u"Passed empty string!", debug::Event_Normal,
            VarsToText({u"Source_Path_File", Source_Path_File}));
      return;
    }
    // A wildcard makes the source a set of files in one folder.
    if (Source_Path_File.find_first_of(u"*?") != std::u16string_view::npos) {
      std::u16string sFolder, sMask;
      SplitString(Source_Path_File, u"\\", sFolder, sMask);
      result = CopyFiles(sFolder, Dest_Path, sMask, kAnyFile, Overwrite_Existing_File, 0, true);
      return;
    }
    const platform::BOOL lFailIfExist = Overwrite_Existing_File ? 0 : 1;

    if (!Skip_All_Path_Checks) {
      if (Source_Path_File.find(u'\\') == std::u16string_view::npos) {
        p.Log(u"FileCopy was passed a source file without a path!", debug::Event_Normal,
              VarsToText({u"Source_Path_File", Source_Path_File}));
        return;
      }
      if (!FileExist(Source_Path_File)) {
        p.Log(u"Source file doesn't exist!", debug::Event_Normal,
              VarsToText({u"Source_Path_File", Source_Path_File}));
        return;
      }
      if (Dest_Path.empty()) {
        p.Log(u"Aborting; Destination path not specified!", debug::Event_Normal);
        return;
      }
      std::u16string sDestFolder(Dest_Path);
      if (Dest_Path_Contains_New_Filename) {
        const std::size_t cut = sDestFolder.rfind(u'\\');
        sDestFolder.resize(cut == std::u16string::npos ? 0 : cut);
      }
      if (!EnsureDirExists(sDestFolder)) {
        p.Log(u"Aborting; Destination path could not be created!", debug::Event_Normal,
              VarsToText({u"sDestFolder", sDestFolder}));
        return;
      }
    }

    std::u16string sDestPathAndName;
    if (Dest_Path_Contains_New_Filename) {
      sDestPathAndName = Dest_Path;
    } else {
      const std::size_t cut = Source_Path_File.rfind(u'\\');
      sDestPathAndName =
          WithBackslash(Dest_Path) + std::u16string(cut == std::u16string_view::npos
                                                        ? Source_Path_File
                                                        : Source_Path_File.substr(cut + 1));
      p.Log(u"Added filename to destination path", debug::Event_Verbose,
            VarsToText({u"Dest_Path", Dest_Path, u"sDestPathAndName", sDestPathAndName}));
    }
    const std::u16string sSourceW = Prepared(Source_Path_File);
    const std::u16string sDestW = Prepared(sDestPathAndName);
    p.Created({u"lFailIfExist", static_cast<std::int32_t>(lFailIfExist), u"sDestPathAndName",
               sDestPathAndName});

    // A read-only or hidden target refuses to be replaced; it is made normal for the copy and
    // given its attributes back afterwards.
    std::int32_t lOrigAttributes = 0;
    bool bRestoreAttributes = false;
    if (Overwrite_Existing_File && FileExistByStringPointer(sDestW)) {
      lOrigAttributes = GetAttrib(sDestPathAndName);
      if (lOrigAttributes & kReadOnlyOrHidden) {
        bool cleared = SetAttrib(sDestPathAndName, platform::kFILE_ATTRIBUTE_NORMAL);
        if (!cleared) {
          std::u16string sOwner, sPerm;
          TakeControl(sDestPathAndName, false, 0, sOwner, sPerm);
          cleared = SetAttrib(sDestPathAndName, platform::kFILE_ATTRIBUTE_NORMAL);
        }
        bRestoreAttributes = cleared;
      }
    }

    platform::BOOL ok = 0;
    {
      FsRedirectionOff redirection_off;
      ok = OS().fs.CopyFileW(sSourceW.c_str(), sDestW.c_str(), lFailIfExist);
    }
    if (!ok) {
      p.LogAPI(u"CopyFileW", VarsToText({u"Source_Path_File", Source_Path_File, u"sDestPathAndName",
                                         sDestPathAndName}));
    }
    result = ok != 0;

    // Also after a failed copy: the old file is still there and keeps what it had.
    if (bRestoreAttributes && !SetAttrib(sDestPathAndName, lOrigAttributes)) {
      p.Log(
          u"Failed to restore originally existing destination file's attributes!",
          debug::Event_Normal,
          VarsToText({u"sDestPathAndName", sDestPathAndName, u"lOrigAttributes", lOrigAttributes}));
    }
  });
  p.Result(result);
  return result;
}

bool CopyFiles(std::u16string_view Source_Path, std::u16string_view Dest_Path,
               std::u16string_view sFileMask, std::int32_t lAttributeFilter,
               bool Overwrite_Existing_Files, std::int32_t RecursionLevel,
               bool Preserve_Recursive_SubDirs_In_Dest_Path, std::int32_t& lFilesToCopy,
               std::int32_t& lCopyFailures) {
  Proc p(kModule, u"CopyFiles", Kind::Function);
  p.Args({u"Source_Path", Source_Path, u"Dest_Path", Dest_Path, u"sFileMask", sFileMask,
          u"lAttributeFilter", lAttributeFilter, u"Overwrite_Existing_Files",
          Overwrite_Existing_Files, u"RecursionLevel", RecursionLevel,
          u"Preserve_Recursive_SubDirs_In_Dest_Path", Preserve_Recursive_SubDirs_In_Dest_Path});
  bool result = false;
  lFilesToCopy = 0;
  lCopyFailures = 0;
  p.Step([&] {
    DirListing list;
    if (!DirExist(Source_Path)) {
      p.Log(u"Source path doesn't exist!", debug::Event_Normal,
            VarsToText({u"Source_Path", Source_Path}));
      return;
    }
    list.AddSearchPath(Source_Path);
    list.AddFileMask(sFileMask);
    list.RecursionLevel = RecursionLevel;
    list.FileAttribs = lAttributeFilter;
    list.StartSearch();
    lFilesToCopy = list.MatchingFileCount();
    if (lFilesToCopy == 0) {
      p.Log(u"Aborting; No files found to copy!", debug::Event_Normal,
            VarsToText({u"Source_Path", Source_Path, u"sFileMask", sFileMask}));
      return;
    }
    p.Log(u"Found " + Dec(lFilesToCopy) + u" files to copy...", debug::Event_Normal);

    // Copies from sub-folders that all go to one folder check that folder once, here; their
    // relative paths stay in the names (no sub-folders are made for them).
    const bool bSameDest = RecursionLevel != 0 && !Preserve_Recursive_SubDirs_In_Dest_Path;
    p.Created({u"bSameDest", bSameDest});
    if (Dest_Path.empty()) {
      p.Log(u"Aborting; Destination path not specified!", debug::Event_Normal);
      return;
    }
    if (bSameDest && !EnsureDirExists(Dest_Path)) {
      p.Log(u"Aborting; Destination path could not be created!", debug::Event_Normal,
            VarsToText({u"Dest_Path", Dest_Path}));
      return;
    }

    const std::u16string sSourceBS = WithBackslash(Source_Path);
    const std::u16string sDestBS = WithBackslash(Dest_Path);
    for (const std::u16string& sPathAndFile : list.MatchingFilesFullPath()) {
      const std::u16string sDestPathAndName = sDestBS + sPathAndFile.substr(sSourceBS.size());
      if (!FileCopy(sPathAndFile, sDestPathAndName, Overwrite_Existing_Files, true, bSameDest)) {
        ++lCopyFailures;
        p.Log(u"File Copy Failure!", debug::Event_Normal,
              VarsToText({u"sPathAndFile", sPathAndFile, u"sDestPathAndName", sDestPathAndName}));
      }
    }
    result = lCopyFailures == 0;
  });
  p.ReturnedByRef({u"lFilesToCopy", lFilesToCopy, u"lCopyFailures", lCopyFailures});
  p.Result(result);
  return result;
}

bool CopyFiles(std::u16string_view Source_Path, std::u16string_view Dest_Path,
               std::u16string_view sFileMask, std::int32_t lAttributeFilter,
               bool Overwrite_Existing_Files, std::int32_t RecursionLevel,
               bool Preserve_Recursive_SubDirs_In_Dest_Path) {
  std::int32_t lFilesToCopy = 0;
  std::int32_t lCopyFailures = 0;
  return CopyFiles(Source_Path, Dest_Path, sFileMask, lAttributeFilter, Overwrite_Existing_Files,
                   RecursionLevel, Preserve_Recursive_SubDirs_In_Dest_Path, lFilesToCopy,
                   lCopyFailures);
}

}  // namespace kes
