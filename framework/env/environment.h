// App_Env: the environment object. One instance per run (Context::env), created by InitApp and
// released by TerminateApp. Every fact about the program and the machine is one public member,
// named as the rest of the system knows it; start-up fills most of them once and everything
// else reads them freely. A fact nothing assigns keeps its initial value (empty, 0, false).
// Groups and their order follow the catalogue, so a dump of the object reads group by group.
//
// Beyond the facts it keeps the user lists (profile folders on disk, accounts WMI reports), a
// test for paths on another installation's partition, a comparison with the program's own
// version and the purge of the configuration folder (environment.cpp); those operations are
// traced under "App_Env" and never throw.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/debug/class_sync.h"
#include "framework/util/keyed_texts.h"
#include "framework/util/value.h"

namespace kes {

// A fact that accepts only its first assignment; later ones are ignored.
template <class T>
class FirstAssignment {
 public:
  FirstAssignment& operator=(T value) {
    if (!assigned_) {
      value_ = value;
      assigned_ = true;
    }
    return *this;
  }
  operator T() const { return value_; }

 private:
  T value_{};
  bool assigned_ = false;
};

// A list of texts that is "the empty text" until it is first made (nullopt), then an array.
using TextArray = std::optional<std::vector<std::u16string>>;

class AppEnv : public AppClassSync {
 public:
  // ---- user lists ------------------------------------------------------------------------
  // Profile folders, read from Dir_UserProfilesParent by Refresh_UserList_by_DirName: folder
  // names, full paths and paths with a trailing "\", each also without the common folders
  // (LocalService, NetworkService, Default, Default User, Default.migrated, All Users, Public).
  const TextArray& UserListArr_by_DirName() const { return profile_arrays_[kNames]; }
  const TextArray& UserListArr_by_DirName_NoCommonDirs() const {
    return profile_arrays_[kNamesNoCommon];
  }
  const TextArray& Dir_UserProfilesArr() const { return profile_arrays_[kDirs]; }
  const TextArray& Dir_UserProfilesArr_NoCommonDirs() const {
    return profile_arrays_[kDirsNoCommon];
  }
  const TextArray& DirBS_UserProfilesArr() const { return profile_arrays_[kDirsBS]; }
  const TextArray& DirBS_UserProfilesArr_NoCommonDirs() const {
    return profile_arrays_[kDirsBSNoCommon];
  }
  void Dir_UserProfilesArr(std::vector<std::u16string> the_array) {
    profile_arrays_[kDirs] = std::move(the_array);
  }
  void Dir_UserProfilesArr_NoCommonDirs(std::vector<std::u16string> the_array) {
    profile_arrays_[kDirsNoCommon] = std::move(the_array);
  }
  void DirBS_UserProfilesArr(std::vector<std::u16string> the_array) {
    profile_arrays_[kDirsBS] = std::move(the_array);
  }
  void DirBS_UserProfilesArr_NoCommonDirs(std::vector<std::u16string> the_array) {
    profile_arrays_[kDirsBSNoCommon] = std::move(the_array);
  }
  // Rebuilds the six profile lists from the folders directly in Dir_UserProfilesParent, in the
  // order the search lists them. A failed search leaves them empty.
  void Refresh_UserList_by_DirName();

  // Local user accounts as WMI reports them (no value until Refresh_UserList_WMI ran): enabled,
  // not degraded, real users only (WMI_GetUserList). A failed query leaves the list empty.
  const TextArray& UserListArr_WMI() const { return wmi_array_; }
  bool UserListArr_WMI_Was_Triggered() const { return wmi_triggered_; }
  void Refresh_UserList_WMI();

  // ---- other operations ------------------------------------------------------------------
  // True when `path` lies on a drive other than SystemDrive (another installation's partition);
  // false on the system drive and when `path` names no drive (a UNC path, "").
  bool IsOfflinePartition(std::u16string_view path);
  // True when `test_ver` is a newer version than AppVer_Full (FileVersionStringCompare with the
  // missing fourth number inserted); false for "" and for an equal or older one.
  bool IsVersionNewerThanMe(std::u16string_view test_ver);
  // Deletes the *.cfg files of AppPath_Config, `recursion_level` folders deep, except those whose
  // names contain "_Debug"; nothing when AppPath_Config is empty.
  void Purge_ConfigPath(std::int32_t recursion_level = 0);
  // Remembers a control ID; a second one of the same text is ignored.
  void List_Encrypted_PersistFormControlData_AddItem(std::u16string_view control_id);
  const KeyedTexts& PersistFormControlIDs() const { return control_ids_; }

  // App_ClassSync: drops every list once (TerminateApp calls it before the object goes).
  void CleanUp() override;

  // Registry hives the system has loaded; set and read freely.
  std::vector<std::u16string> RegHives_LoadedArr;

  // ---- App Version -----------------------------------------------------------------------
  std::u16string AppVer_VB;            // major.minor.revision of the program itself
  std::u16string AppVer_Full;          // file version from the version resource
  std::u16string AppVer_Pretty_Short;  // display form: major.minor
  std::u16string AppVer_Pretty;        // display form: major.minor.build[.revision]
  bool AppVer_TestBuild = false;       // "Comments" of the version resource holds TestBuild
  bool AppVer_FastTrack = false;       // "Comments" of the version resource holds FastTrack

  // ---- App Identity ----------------------------------------------------------------------
  FirstAssignment<std::int32_t> App_Identity;
  std::u16string AppTitle;                    // window title without version
  std::u16string AppTitle_WithVersionFull;    // window title with "  v" & AppVer_Full
  std::u16string AppTitle_Basic;              // application title, " " replaced by "_"
  std::u16string AppTitle_EditionName;        // edition shown after the title (not set)
  std::u16string AppTitle_WithVersionPretty;  // window title with the AppVer_Pretty version
  std::u16string AppTitle_Bare;               // bare application title (names resource folder)

  // ---- App Instance ----------------------------------------------------------------------
  Date AppInst_InitDateTime;                             // start time, UTC
  std::u16string AppInst_InitDateOnly;                   // yyyy-mm-dd of the start
  std::u16string AppInst_InitTime24h;                    // hh:nn:ss of the start
  std::u16string AppInst_InitDateTime_FilenameFriendly;  // "yyyy-mm-dd hh.nn.ss"
  bool AppInst_IsAdmin = false;
  bool AppInst_IsSystem = false;
  bool AppInst_IsService = false;
  bool AppInst_IsJob = false;
  bool AppInst_IsDLL = false;
  bool AppInst_IsIDE = false;
  bool AppInst_IsWow64Process = false;  // kernel32 exports IsWow64Process
  std::int32_t AppInst_hInstance = 0;
  std::int32_t AppInst_ProcessID = 0;
  std::int32_t AppInst_ParentProcess_ProcessID = 0;
  std::u16string AppInst_ParentProcess_AppEXE;
  std::int32_t AppInst_Mutex_Type = 0;
  std::u16string AppInst_Mutex_TypeString;
  std::u16string AppInst_Mutex_NameString;
  std::u16string AppInst_CommandLineArgs_String;  // argument text after the program's path
  bool Disable_WMI_Queries = false;
  FirstAssignment<bool> AppInst_SkipAutoUpdateChecks;

  // ---- App Executable --------------------------------------------------------------------
  std::u16string AppEXE;               // C:\Tools\Kestrune.exe
  std::u16string AppEXE_NoPath;        // Kestrune.exe
  std::u16string AppEXE_NoPath_NoExt;  // Kestrune
  std::u16string AppEXE_ExtOnly;       // exe

  // ---- App Paths (each with its BS twin) -------------------------------------------------
  std::u16string AppPath;
  std::u16string AppPathBS;
  std::u16string AppPath_3pApps;
  std::u16string AppPathBS_3pApps;
  std::u16string AppPath_Reports;
  std::u16string AppPathBS_Reports;
  std::u16string AppPath_Resources;
  std::u16string AppPathBS_Resources;
  std::u16string AppPath_Config;
  std::u16string AppPathBS_Config;
  std::u16string AppPath_DebugLogs;
  std::u16string AppPathBS_DebugLogs;
  std::u16string AppPath_Defs;
  std::u16string AppPathBS_Defs;
  std::u16string AppPath_Downloads;
  std::u16string AppPathBS_Downloads;
  std::u16string AppPath_Modules;
  std::u16string AppPathBS_Modules;
  std::u16string AppPath_PreviousVersions;
  std::u16string AppPathBS_PreviousVersions;
  std::u16string AppPath_Reqs;
  std::u16string AppPathBS_Reqs;
  std::u16string AppPath_Tools;
  std::u16string AppPathBS_Tools;
  std::u16string AppPath_Temp;
  std::u16string AppPathBS_Temp;
  bool AppPath_IsWritable = false;     // the program's folder accepts new files
  bool AppPath_IsNetworkPath = false;  // the program's folder is on a network location

  // ---- Misc Info/Files -------------------------------------------------------------------
  std::u16string App_EventLog_SourceName;
  std::u16string App_EventLog_MsgDLL;
  std::u16string EXE_SevenZip;
  std::u16string EXE_SubInACL;  // full path of subinacl.exe when found

  // ---- Windows Startup/Runtime -----------------------------------------------------------
  std::int32_t hWnd_Desktop = 0;
  bool WinMode_Normal = false;
  bool WinMode_Safe = false;
  bool WinMode_SafeNet = false;

  // ---- Windows Platform ------------------------------------------------------------------
  bool Win64bit = false;
  bool g_Win64bit = false;  // module flag of the 64-bit test; Win64bit mirrors it
  // WOW64 file-system redirection is switched off (DisableFSRedir, until RevertFSRedir).
  bool FSRedirDisabled = false;
  bool WinType_PE = false;
  bool WinType_Workstation = false;
  bool WinType_Server = false;
  bool WinType_DomainController = false;
  bool WinBuild_DBCS = false;
  bool WinBuild_Debug = false;

  // ---- Windows Version Data --------------------------------------------------------------
  std::u16string WinVer_StringWithSKU;
  std::u16string WinVer_String;
  std::u16string WinVer_String_ProductSKU;
  std::int32_t WinVer_MajorVersion = 0;
  std::int32_t WinVer_MinorVersion = 0;
  std::int32_t WinVer_BuildNumber = 0;  // low 16 bits, read as signed
  std::int32_t WinVer_PlatformId = 0;
  std::u16string WinVer_CSDVersion;
  std::int32_t WinVer_ServicePackMajor = 0;
  std::int32_t WinVer_ServicePackMinor = 0;
  std::int32_t WinVer_SuiteMask = 0;
  std::int32_t WinVer_ProductType = 0;
  std::int32_t WinVer_Reserved = 0;

  // ---- Windows Version (Specific) --------------------------------------------------------
  bool Win2000 = false;
  bool WinXP = false;
  bool WinXP64 = false;
  bool WinVista = false;
  bool Win7 = false;
  bool Win8 = false;
  bool Win81 = false;
  bool Win81u1 = false;
  bool Win10 = false;
  bool WinServer2000 = false;
  bool WinServer2003 = false;
  bool WinServer2003r2 = false;
  bool WinServer2008 = false;
  bool WinServer2008r2 = false;
  bool WinServer2012 = false;
  bool WinServer2012r2 = false;
  bool WinServer2012r2u1 = false;
  bool WinServer2016 = false;

  // ---- Windows Edition -------------------------------------------------------------------
  bool WinEdition_MediaCenter = false;
  bool WinEdition_Starter = false;
  bool WinEdition_TabletPC = false;
  bool WinHomeServer = false;
  bool WinHomeServer2011 = false;
  bool WinHomeServer_Any = false;

  // ---- Windows Version (Minimum) ---------------------------------------------------------
  bool Win2000_OrNewer = false;
  bool WinXP_OrNewer = false;
  bool WinVista_OrNewer = false;
  bool Win7_OrNewer = false;
  bool Win8_OrNewer = false;
  bool Win81_OrNewer = false;
  bool Win81u1_OrNewer = false;
  bool Win10_OrNewer = false;
  bool WinServer2000_OrNewer = false;
  bool WinServer2003_OrNewer = false;
  bool WinServer2003r2_OrNewer = false;
  bool WinServer2008_OrNewer = false;
  bool WinServer2008r2_OrNewer = false;
  bool WinServer2012_OrNewer = false;
  bool WinServer2012r2_OrNewer = false;
  bool WinServer2012r2u1_OrNewer = false;
  bool WinServer2016_OrNewer = false;

  // ---- Windows API Capabilities (entry point exported by its library) --------------------
  bool API_IsWow64Process = false;
  bool API_CheckTokenMembership = false;
  bool API_IsUserAnAdmin = false;
  bool API_QueryFullProcessImageNameW = false;
  bool API_GetFileInformationByHandleEx = false;

  // ---- Windows Directories (each with its BS twin) ---------------------------------------
  std::u16string SystemDrive;
  std::u16string SystemDriveBS;
  std::u16string Dir_Windows;
  std::u16string DirBS_Windows;
  std::u16string Dir_System16;
  std::u16string DirBS_System16;
  std::u16string Dir_UserProfilesParent;
  std::u16string DirBS_UserProfilesParent;
  std::u16string Dir_ProgramData;
  std::u16string DirBS_ProgramData;
  std::u16string Dir_System32;
  std::u16string DirBS_System32;
  std::u16string Dir_ProgramFiles;
  std::u16string DirBS_ProgramFiles;
  std::u16string Dir_CommonProgramFiles;
  std::u16string DirBS_CommonProgramFiles;
  std::u16string Dir_SysWOW64;
  std::u16string DirBS_SysWOW64;
  std::u16string Dir_ProgramFiles32;
  std::u16string DirBS_ProgramFiles32;
  std::u16string Dir_CommonProgramFiles32;
  std::u16string DirBS_CommonProgramFiles32;

  // ---- User Directories (each with its UserDirBS_ twin) ----------------------------------
  std::u16string UserDir_AllUsers_Profile;
  std::u16string UserDirBS_AllUsers_Profile;
  std::u16string UserDir_AllUsers_Desktop;
  std::u16string UserDirBS_AllUsers_Desktop;
  std::u16string UserDir_DefaultUser_Profile;
  std::u16string UserDirBS_DefaultUser_Profile;
  std::u16string UserDir_DefaultUser_Desktop;
  std::u16string UserDirBS_DefaultUser_Desktop;
  std::u16string UserDir_CurrentUser_Profile;
  std::u16string UserDirBS_CurrentUser_Profile;
  std::u16string UserDir_CurrentUser_Desktop;
  std::u16string UserDirBS_CurrentUser_Desktop;
  std::u16string UserDir_CurrentUser_AppData_Local;
  std::u16string UserDirBS_CurrentUser_AppData_Local;
  std::u16string UserDir_CurrentUser_AppData_Roaming;
  std::u16string UserDirBS_CurrentUser_AppData_Roaming;
  std::u16string UserDir_CurrentUser_ProgramFilesVS;
  std::u16string UserDirBS_CurrentUser_ProgramFilesVS;
  std::u16string UserDir_CurrentUser_ProgramFiles32VS;
  std::u16string UserDirBS_CurrentUser_ProgramFiles32VS;
  std::u16string UserDir_CurrentUser_Temp;
  std::u16string UserDirBS_CurrentUser_Temp;
  std::u16string UserDir_CurrentUser_SendToMenu;
  std::u16string UserDirBS_CurrentUser_SendToMenu;
  std::u16string UserDir_CurrentUser_DocTemplates;
  std::u16string UserDirBS_CurrentUser_DocTemplates;
  std::u16string UserDir_CurrentUser_RecentDocs;
  std::u16string UserDirBS_CurrentUser_RecentDocs;
  std::u16string UserDir_CurrentUser_Printers;
  std::u16string UserDirBS_CurrentUser_Printers;
  std::u16string UserDir_CurrentUser_StartMenu;
  std::u16string UserDirBS_CurrentUser_StartMenu;
  std::u16string UserDir_CurrentUser_StartMenuPrograms;
  std::u16string UserDirBS_CurrentUser_StartMenuPrograms;
  std::u16string UserDir_CurrentUser_StartupFolder;
  std::u16string UserDirBS_CurrentUser_StartupFolder;

  // ---- Directory Names (last path element; varies with the Windows language) -------------
  std::u16string NameDir_Desktop;
  std::u16string NameDir_Documents;
  std::u16string NameDir_Pictures;
  std::u16string NameDir_Music;
  std::u16string NameDir_Videos;
  std::u16string NameDir_SendToMenu;
  std::u16string NameDir_DocTemplates;
  std::u16string NameDir_RecentDocs;
  std::u16string NameDir_Printers;
  std::u16string NameDir_StartMenu;
  std::u16string NameDir_StartMenuPrograms;
  std::u16string NameDir_StartupFolder;

  // ---- Current User / User Directory Names -----------------------------------------------
  std::u16string Name_CurrentUser;
  std::u16string NameDir_CurrentUser;

  // ---- Networking ------------------------------------------------------------------------
  std::u16string Name_ComputerName;
  std::u16string Name_DomainName;
  std::u16string Name_NetBIOS;
  std::u16string Name_DnsFullyQualified;
  std::u16string Name_ComputerNamePhysical;
  std::u16string Name_DomainNamePhysical;
  std::u16string Name_NetBIOSPhysical;
  std::u16string Name_DnsFullyQualifiedPhysical;

 private:
  enum ProfileList { kNames, kNamesNoCommon, kDirs, kDirsNoCommon, kDirsBS, kDirsBSNoCommon };
  static constexpr std::size_t kProfileLists = 6;

  bool alive_ = true;
  std::array<KeyedTexts, kProfileLists> profile_lists_;
  std::array<TextArray, kProfileLists> profile_arrays_;
  KeyedTexts wmi_users_;
  TextArray wmi_array_;
  bool wmi_triggered_ = false;
  KeyedTexts control_ids_;
};

}  // namespace kes
