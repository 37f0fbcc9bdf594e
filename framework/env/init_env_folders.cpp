#include "framework/env/init_env_folders.h"

#include <string>
#include <string_view>

#include "framework/env/environment.h"
#include "framework/fs/folders.h"

namespace kes {
namespace {

std::u16string WithBS(const std::u16string& dir) {
  if (dir.empty() || dir.back() == u'\\') return dir;
  return dir + u"\\";
}

// The last element of a folder path ("Desktop" of C:\Users\Admin\Desktop); "" for "".
std::u16string LastElement(std::u16string_view path) {
  while (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
  const auto slash = path.find_last_of(u'\\');
  return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

// The folder that holds a path (C:\Users\Public of C:\Users\Public\Desktop); "" when none.
std::u16string ParentOf(std::u16string_view path) {
  while (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
  const auto slash = path.find_last_of(u'\\');
  return slash == std::u16string_view::npos ? std::u16string()
                                            : std::u16string(path.substr(0, slash));
}

void SetDir(std::u16string& dir, std::u16string& dir_bs, std::u16string value) {
  dir = std::move(value);
  dir_bs = WithBS(dir);
}

// Appends a part to a folder only when the folder is known, so that an unknown base never
// produces a relative path that looks like a folder.
std::u16string Under(const std::u16string& base, std::u16string_view part) {
  return base.empty() ? std::u16string() : base + u"\\" + std::u16string(part);
}

}  // namespace

void InitEnv_SetProgramFilesDirs(AppEnv& env) {
  SetDir(env.Dir_ProgramFiles, env.DirBS_ProgramFiles, GetSpecialfolder(kCSIDL_PROGRAM_FILES));
  SetDir(env.Dir_CommonProgramFiles, env.DirBS_CommonProgramFiles,
         Under(env.Dir_ProgramFiles, u"Common Files"));
  std::u16string pf32 = env.Dir_ProgramFiles;
  if (env.Win64bit && !pf32.empty()) pf32 += u" (x86)";
  SetDir(env.Dir_ProgramFiles32, env.DirBS_ProgramFiles32, pf32);
  SetDir(env.Dir_CommonProgramFiles32, env.DirBS_CommonProgramFiles32,
         Under(env.Dir_ProgramFiles32, u"Common Files"));
}

void InitEnv_SetExecutableFacts(AppEnv& env) {
  const std::u16string exe = GetMyExe();
  if (!exe.empty()) {
    env.AppEXE = exe;
    env.AppEXE_NoPath = LastElement(exe);
    const auto dot = env.AppEXE_NoPath.find_last_of(u'.');
    env.AppEXE_NoPath_NoExt = env.AppEXE_NoPath.substr(0, dot);
    env.AppEXE_ExtOnly = dot == std::u16string::npos ? u"" : env.AppEXE_NoPath.substr(dot + 1);
  }
  const std::u16string path = GetMyPath();
  if (!path.empty()) SetDir(env.AppPath, env.AppPathBS, path);
}

void InitEnv_SetUserDirs(AppEnv& env) {
  SetDir(env.Dir_UserProfilesParent, env.DirBS_UserProfilesParent, GetUserProfilesParentDir());
  SetDir(env.UserDir_CurrentUser_Temp, env.UserDirBS_CurrentUser_Temp, GetTempDir());
  SetDir(env.UserDir_CurrentUser_AppData_Roaming, env.UserDirBS_CurrentUser_AppData_Roaming,
         GetSpecialfolder(kCSIDL_APPDATA));
  SetDir(env.UserDir_CurrentUser_AppData_Local, env.UserDirBS_CurrentUser_AppData_Local,
         GetSpecialfolder(kCSIDL_LOCAL_APPDATA));
  // Where Windows puts what a program without rights writes under Program Files.
  const std::u16string store = Under(env.UserDir_CurrentUser_AppData_Local, u"VirtualStore");
  const std::u16string pf = LastElement(env.Dir_ProgramFiles);
  const std::u16string pf32 = LastElement(env.Dir_ProgramFiles32);
  SetDir(env.UserDir_CurrentUser_ProgramFilesVS, env.UserDirBS_CurrentUser_ProgramFilesVS,
         pf.empty() ? std::u16string() : Under(store, pf));
  SetDir(env.UserDir_CurrentUser_ProgramFiles32VS, env.UserDirBS_CurrentUser_ProgramFiles32VS,
         pf32.empty() ? std::u16string() : Under(store, pf32));

  SetDir(env.UserDir_CurrentUser_Desktop, env.UserDirBS_CurrentUser_Desktop,
         GetSpecialfolder(kCSIDL_DESKTOPDIRECTORY));
  SetDir(env.UserDir_CurrentUser_Profile, env.UserDirBS_CurrentUser_Profile,
         GetSpecialfolder(kCSIDL_PROFILE));
  env.NameDir_CurrentUser = LastElement(env.UserDir_CurrentUser_Profile);

  struct ShellFolder {
    std::int32_t csidl;
    std::u16string* dir;
    std::u16string* dir_bs;
    std::u16string* name;
  };
  const ShellFolder folders[] = {
      {kCSIDL_SENDTO, &env.UserDir_CurrentUser_SendToMenu, &env.UserDirBS_CurrentUser_SendToMenu,
       &env.NameDir_SendToMenu},
      {kCSIDL_TEMPLATES, &env.UserDir_CurrentUser_DocTemplates,
       &env.UserDirBS_CurrentUser_DocTemplates, &env.NameDir_DocTemplates},
      {kCSIDL_RECENT, &env.UserDir_CurrentUser_RecentDocs, &env.UserDirBS_CurrentUser_RecentDocs,
       &env.NameDir_RecentDocs},
      {kCSIDL_PRINTHOOD, &env.UserDir_CurrentUser_Printers, &env.UserDirBS_CurrentUser_Printers,
       &env.NameDir_Printers},
      {kCSIDL_STARTMENU, &env.UserDir_CurrentUser_StartMenu, &env.UserDirBS_CurrentUser_StartMenu,
       &env.NameDir_StartMenu},
      {kCSIDL_PROGRAMS, &env.UserDir_CurrentUser_StartMenuPrograms,
       &env.UserDirBS_CurrentUser_StartMenuPrograms, &env.NameDir_StartMenuPrograms},
      {kCSIDL_STARTUP, &env.UserDir_CurrentUser_StartupFolder,
       &env.UserDirBS_CurrentUser_StartupFolder, &env.NameDir_StartupFolder},
  };
  for (const ShellFolder& f : folders) {
    SetDir(*f.dir, *f.dir_bs, GetSpecialfolder(f.csidl));
    *f.name = LastElement(*f.dir);
  }

  SetDir(env.UserDir_AllUsers_Desktop, env.UserDirBS_AllUsers_Desktop,
         GetSpecialfolder(kCSIDL_COMMON_DESKTOPDIRECTORY));
  SetDir(env.UserDir_AllUsers_Profile, env.UserDirBS_AllUsers_Profile,
         ParentOf(env.UserDir_AllUsers_Desktop));
  // The desktop folder's name is the same for every profile of this Windows language.
  env.NameDir_Desktop = LastElement(env.UserDir_CurrentUser_Desktop);
  if (env.NameDir_Desktop.empty()) env.NameDir_Desktop = LastElement(env.UserDir_AllUsers_Desktop);

  SetDir(env.UserDir_DefaultUser_Profile, env.UserDirBS_DefaultUser_Profile,
         GetDefaultUserProfileDir());
  SetDir(env.UserDir_DefaultUser_Desktop, env.UserDirBS_DefaultUser_Desktop,
         env.UserDir_DefaultUser_Profile.empty() || env.NameDir_Desktop.empty()
             ? std::u16string()
             : env.UserDirBS_DefaultUser_Profile + env.NameDir_Desktop);
}

void InitEnv_SetDocumentsName(AppEnv& env) {
  env.NameDir_Documents = LastElement(GetSpecialfolder(kCSIDL_PERSONAL));
}

void InitEnv_SetMediaNames(AppEnv& env) {
  env.NameDir_Pictures = LastElement(GetSpecialfolder(kCSIDL_MYPICTURES));
  env.NameDir_Music = LastElement(GetSpecialfolder(kCSIDL_MYMUSIC));
  env.NameDir_Videos = LastElement(GetSpecialfolder(kCSIDL_MYVIDEO));
}

}  // namespace kes
