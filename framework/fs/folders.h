// App_Common well-known folders: the program's own executable and folder, the Windows folder,
// the system drive, the user-profile folders, the temp folder and the shell's special folders.
// Start-up reads them once into the environment facts; other code asks again when it needs a
// fresh answer. Every getter is traced under the module "App_Common", normalises what Windows
// hands back (FixPathFromAPI) and never throws: a failed call is logged as an API error under
// its own name and gives "". (The argument text of the command line is GetMyCommandLine in
// framework/env/startup_helpers.h.)
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kes {

// Shell special folders by `csidl`, as the start-up facts use them.
enum : std::int32_t {
  kCSIDL_PROGRAMS = 0x02,
  kCSIDL_PERSONAL = 0x05,
  kCSIDL_STARTUP = 0x07,
  kCSIDL_RECENT = 0x08,
  kCSIDL_SENDTO = 0x09,
  kCSIDL_STARTMENU = 0x0B,
  kCSIDL_MYMUSIC = 0x0D,
  kCSIDL_MYVIDEO = 0x0E,
  kCSIDL_DESKTOPDIRECTORY = 0x10,
  kCSIDL_TEMPLATES = 0x15,
  kCSIDL_COMMON_DESKTOPDIRECTORY = 0x19,
  kCSIDL_APPDATA = 0x1A,
  kCSIDL_PRINTHOOD = 0x1B,
  kCSIDL_LOCAL_APPDATA = 0x1C,
  kCSIDL_COMMON_APPDATA = 0x23,
  kCSIDL_WINDOWS = 0x24,
  kCSIDL_PROGRAM_FILES = 0x26,
  kCSIDL_MYPICTURES = 0x27,
  kCSIDL_PROFILE = 0x28,
  kCSIDL_PROGRAM_FILES_COMMON = 0x2B,
};

// The folder of a shell special folder, without trailing blanks; "" when Windows has none for
// this `csidl` on this machine (logged). For kCSIDL_PROGRAM_FILES and kCSIDL_PROGRAM_FILES_COMMON
// every " (x86)" is removed, so that this 32-bit program reports the native folders on 64-bit
// Windows.
std::u16string GetSpecialfolder(std::int32_t csidl);

// The full path of the running executable. When Windows cannot name it (logged), the path is
// rebuilt from the program's folder and base name with the first of the extensions .qzr, .exe,
// .pif, .VostrelEXEC, .scr, .com that exists there (none existing: no extension).
std::u16string GetMyExe();
// The folder of the running executable without a trailing backslash; when Windows cannot name
// the executable (logged), the program's folder as the run time knows it.
std::u16string GetMyPath();

// The Windows folder (GetWindowsDirectoryW), for example C:\Windows; "" on failure (logged).
std::u16string GetWinDir();
// The system drive in upper case, for example "C:": the first two characters of
// `use_this_win_dir` when that is given, else the "systemdrive" environment variable; "" when
// neither is there (logged).
std::u16string GetSystemDrive(std::u16string_view use_this_win_dir = {});

// The folder that holds the user profiles (C:\Users) and the default user's profile
// (C:\Users\Default); "" on failure (logged).
std::u16string GetUserProfilesParentDir();
std::u16string GetDefaultUserProfileDir();

// The user's temp folder without trailing backslashes; "" on failure (logged).
std::u16string GetTempDir();

// Untraced. A copy of the NUL-terminated UTF-16 text at `pointer`; "" for a null pointer.
std::u16string GetStrFromPtrW(const char16_t* pointer);

}  // namespace kes
