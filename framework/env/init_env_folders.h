// The folder facts of InitEnv: executable, program files, user and all-users folders, the
// default user, the VirtualStore folders and the language-dependent folder names. Each fills
// its facts from the traced folder getters of framework/fs/folders.h; a folder Windows does
// not report leaves its fact (and its BS twin) empty, and start-up goes on. Nothing here throws.
#pragma once

namespace kes {

class AppEnv;

// Dir_ProgramFiles (native, " (x86)" removed), Dir_CommonProgramFiles, Dir_ProgramFiles32 (the
// x86 folder on 64-bit Windows, per Win64bit) and Dir_CommonProgramFiles32, with BS twins.
void InitEnv_SetProgramFilesDirs(AppEnv& env);
// AppEXE and its name parts from GetMyExe, AppPath/AppPathBS from GetMyPath; a getter that
// answers "" leaves the facts start-up already has.
void InitEnv_SetExecutableFacts(AppEnv& env);
// Dir_UserProfilesParent, the current user's temp, AppData, VirtualStore, desktop, profile and
// shell folders with their NameDir facts, the all-users desktop and profile, NameDir_Desktop
// and the default user's profile and desktop.
void InitEnv_SetUserDirs(AppEnv& env);
// NameDir_Documents.
void InitEnv_SetDocumentsName(AppEnv& env);
// NameDir_Pictures, NameDir_Music, NameDir_Videos.
void InitEnv_SetMediaNames(AppEnv& env);

}  // namespace kes
