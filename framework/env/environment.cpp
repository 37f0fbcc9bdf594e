#include "framework/env/environment.h"

#include <algorithm>

#include "framework/debug/proc.h"
#include "framework/env/wmi.h"
#include "framework/fs/dir_list.h"
#include "framework/fs/file_version.h"
#include "framework/fs/path_forms.h"
#include "platform/base/u16.h"

namespace kes {
namespace {

using debug::Kind;
using debug::Proc;

constexpr std::u16string_view kModule = u"App_Env";

// Profile folders that belong to no person (compared whole, in lower case).
constexpr std::u16string_view kCommonProfileDirs[] = {
    u"localservice",     u"networkservice", u"default", u"default user",
    u"default.migrated", u"all users",      u"public"};

bool IsCommonProfileDir(std::u16string_view name) {
  const std::u16string lower = LowerCase(name);
  return std::find(std::begin(kCommonProfileDirs), std::end(kCommonProfileDirs), lower) !=
         std::end(kCommonProfileDirs);
}

}  // namespace

void AppEnv::Refresh_UserList_by_DirName() {
  Proc p(kModule, u"Refresh_UserList_by_DirName", Kind::Sub);
  for (std::size_t i = 0; i < kProfileLists; ++i) {
    profile_arrays_[i].reset();
    profile_lists_[i].Clear();
  }
  p.Step([&] {
    FsDirList search;
    search.IncludeDirs = true;
    search.IncludeFiles = false;
    search.RecursionLevel = 0;
    search.AddSearchPath(Dir_UserProfilesParent);
    search.StartSearch();
    for (const std::u16string& found : search.MatchingFilesFullPath().Items()) {
      const std::u16string path = DirNoBS(found);
      const std::u16string name = path.substr(path.rfind(u'\\') + 1);
      const auto add = [&](ProfileList names, ProfileList dirs, ProfileList dirs_bs) {
        profile_lists_[names].Add(name, name);
        profile_lists_[dirs].Add(path, path);
        profile_lists_[dirs_bs].Add(path + u"\\", path + u"\\");
      };
      add(kNames, kDirs, kDirsBS);
      if (!IsCommonProfileDir(name)) add(kNamesNoCommon, kDirsNoCommon, kDirsBSNoCommon);
    }
  });
  for (std::size_t i = 0; i < kProfileLists; ++i) profile_arrays_[i] = profile_lists_[i].Items();
  p.Created({u"lProfileCount", static_cast<std::int32_t>(profile_lists_[kNames].Count()),
             u"lPersonalProfileCount",
             static_cast<std::int32_t>(profile_lists_[kNamesNoCommon].Count())});
}

void AppEnv::Refresh_UserList_WMI() {
  Proc p(kModule, u"Refresh_UserList_WMI", Kind::Sub);
  wmi_triggered_ = true;
  wmi_users_.Clear();
  wmi_array_.reset();
  p.Step([&] { WMI_GetUserList(wmi_users_, true, true, true); });
  std::vector<std::u16string> names;
  for (const std::u16string& name : wmi_users_.Items())
    if (!name.empty()) names.push_back(name);
  wmi_array_ = std::move(names);
  p.Created({u"lUserCount", static_cast<std::int32_t>(wmi_array_->size())});
}

bool AppEnv::IsOfflinePartition(std::u16string_view path) {
  Proc p(kModule, u"IsOfflinePartition", Kind::Function);
  p.Args({u"sPath", path});
  bool result = false;
  p.Step([&] {
    std::u16string drive(path);
    if (!PathToDriveLetter(drive, u"", true)) return;
    // Drive letters name the same drive in either case.
    result = !EqualsNoCase(drive, SystemDrive);
  });
  p.Result(result);
  return result;
}

bool AppEnv::IsVersionNewerThanMe(std::u16string_view test_ver) {
  Proc p(kModule, u"IsVersionNewerThanMe", Kind::Function);
  p.Args({u"sTestVer", test_ver, u"AppVer_Full", AppVer_Full});
  bool result = false;
  p.Step([&] {
    if (test_ver.empty()) return;
    result = FileVersionStringCompare(AppVer_Full, test_ver, true) == VersionCompare_SecondNewer;
  });
  p.Result(result);
  return result;
}

void AppEnv::Purge_ConfigPath(std::int32_t recursion_level) {
  Proc p(kModule, u"Purge_ConfigPath", Kind::Sub);
  p.Args({u"RecursionLevel", recursion_level});
  p.Step([&] {
    if (AppPath_Config.empty()) return;
    DeleteFilesInPath(AppPath_Config, u"*.cfg", recursion_level, u"_Debug");
  });
}

void AppEnv::List_Encrypted_PersistFormControlData_AddItem(std::u16string_view control_id) {
  Proc p(kModule, u"List_Encrypted_PersistFormControlData_AddItem", Kind::Sub);
  p.Args({u"sControlID", control_id});
  control_ids_.Add(control_id, std::u16string(control_id));
}

void AppEnv::CleanUp() {
  if (!alive_) return;
  alive_ = false;
  wmi_users_.Clear();
  wmi_array_.reset();
  for (KeyedTexts& list : profile_lists_) list.Clear();
  for (TextArray& array : profile_arrays_) array.reset();
  control_ids_.Clear();
}

}  // namespace kes
