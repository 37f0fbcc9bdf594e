// The simulated disk must answer like Windows wherever the file procedures depend on the exact
// answer: error codes, read-only and locked files, WOW64 redirection of a 32-bit process, the
// extended-length path forms, wildcard matching, shell deletion of a tree, temp-file names and
// the profile (INI file) calls.
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using namespace platform;  // NOLINT: Win32 names read best unqualified in these tests

class SimFsTest : public MachineTest {
 protected:
  FileApi& fs = OS().fs;
  SystemApi& sys = OS().sys;
  sim::FileSystem& disk = m.fs();

  DWORD Err() { return sys.GetLastError(); }
  // The names a search returns, in order; the error that ended it in *end.
  std::vector<std::u16string> Listing(const char16_t* pattern, DWORD* end = nullptr) {
    std::vector<std::u16string> names;
    WIN32_FIND_DATAW d;
    HANDLE h = fs.FindFirstFileW(pattern, &d);
    if (h == kInvalidHandle) {
      if (end) *end = Err();
      return names;
    }
    do names.push_back(d.cFileName);
    while (fs.FindNextFileW(h, &d));
    if (end) *end = Err();
    EXPECT_TRUE(fs.FindClose(h));
    return names;
  }
  std::string Content(const char16_t* path) {
    HANDLE h = fs.CreateFileW(path, kGENERIC_READ, kFILE_SHARE_READ | kFILE_SHARE_WRITE,
                              kOPEN_EXISTING, 0);
    if (h == kInvalidHandle) return "<error " + std::to_string(Err()) + ">";
    char buf[256];
    DWORD n = 0;
    EXPECT_TRUE(fs.ReadFile(h, buf, sizeof buf, &n));
    sys.CloseHandle(h);
    return std::string(buf, n);
  }
};

using Names = std::vector<std::u16string>;

TEST_F(SimFsTest, ErrorCodesAreWindowsOwn) {
  disk.AddFile(u"C:\\Data\\a.txt", "abc");
  EXPECT_EQ(fs.GetFileAttributesW(u"C:\\Data\\missing.txt"), kINVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Err(), kERROR_FILE_NOT_FOUND);
  EXPECT_EQ(fs.GetFileAttributesW(u"C:\\Nowhere\\a.txt"), kINVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Err(), kERROR_PATH_NOT_FOUND);
  EXPECT_EQ(fs.GetFileAttributesW(u"C:\\Data\\a.txt\\x"), kINVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Err(), kERROR_PATH_NOT_FOUND);
  EXPECT_EQ(fs.GetFileAttributesW(u"Q:\\a.txt"), kINVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Err(), kERROR_PATH_NOT_FOUND);

  EXPECT_EQ(fs.CreateFileW(u"C:\\Data\\a.txt", kGENERIC_WRITE, 0, kCREATE_NEW, 0), kInvalidHandle);
  EXPECT_EQ(Err(), kERROR_FILE_EXISTS);
  EXPECT_FALSE(fs.CreateDirectoryW(u"C:\\Data"));
  EXPECT_EQ(Err(), kERROR_ALREADY_EXISTS);
  EXPECT_FALSE(fs.CreateDirectoryW(u"C:\\Data\\x\\y"));
  EXPECT_EQ(Err(), kERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(fs.RemoveDirectoryW(u"C:\\Data"));
  EXPECT_EQ(Err(), kERROR_DIR_NOT_EMPTY);
  EXPECT_FALSE(fs.RemoveDirectoryW(u"C:\\Data\\a.txt"));
  EXPECT_EQ(Err(), kERROR_DIRECTORY);
  EXPECT_FALSE(fs.DeleteFileW(u"C:\\Data"));
  EXPECT_EQ(Err(), kERROR_ACCESS_DENIED);

  DWORD end = 0;
  EXPECT_EQ(Listing(u"C:\\Data\\a.txt\\*", &end), Names{});
  EXPECT_EQ(end, kERROR_DIRECTORY);
  EXPECT_EQ(Listing(u"C:\\Data\\*.log", &end), Names{});
  EXPECT_EQ(end, kERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Listing(u"C:\\Gone\\*", &end), Names{});
  EXPECT_EQ(end, kERROR_PATH_NOT_FOUND);
  EXPECT_EQ(Listing(u"C:\\Data\\*", &end), (Names{u".", u"..", u"a.txt"}));
  EXPECT_EQ(end, kERROR_NO_MORE_FILES);

  // The process holds its current directory open: it cannot be removed.
  ASSERT_TRUE(fs.CreateDirectoryW(u"C:\\Work"));
  ASSERT_TRUE(fs.SetCurrentDirectoryW(u"C:\\Work\\"));
  EXPECT_FALSE(fs.RemoveDirectoryW(u"C:\\Work"));
  EXPECT_EQ(Err(), kERROR_SHARING_VIOLATION);
  EXPECT_FALSE(fs.SetCurrentDirectoryW(u"C:\\Data\\a.txt"));
  EXPECT_EQ(Err(), kERROR_DIRECTORY);
}

TEST_F(SimFsTest, ReadOnlyHiddenAndLockedFilesRefuseLikeWindows) {
  disk.AddFile(u"C:\\Data\\ro.txt", "old", kFILE_ATTRIBUTE_READONLY);
  disk.AddFile(u"C:\\Data\\src.txt", "new");
  EXPECT_EQ(fs.GetFileAttributesW(u"C:\\Data\\src.txt"), kFILE_ATTRIBUTE_NORMAL);
  EXPECT_FALSE(fs.DeleteFileW(u"C:\\Data\\ro.txt"));
  EXPECT_EQ(Err(), kERROR_ACCESS_DENIED);
  EXPECT_EQ(fs.CreateFileW(u"C:\\Data\\ro.txt", kGENERIC_WRITE, 0, kOPEN_EXISTING, 0),
            kInvalidHandle);
  EXPECT_EQ(Err(), kERROR_ACCESS_DENIED);
  EXPECT_FALSE(fs.CopyFileW(u"C:\\Data\\src.txt", u"C:\\Data\\ro.txt", 1));
  EXPECT_EQ(Err(), kERROR_FILE_EXISTS);
  EXPECT_FALSE(fs.CopyFileW(u"C:\\Data\\src.txt", u"C:\\Data\\ro.txt", 0));
  EXPECT_EQ(Err(), kERROR_ACCESS_DENIED);
  EXPECT_EQ(disk.ReadText(u"C:\\Data\\ro.txt"), "old");
  // Cleared, the copy goes through and takes the source's attributes plus ARCHIVE.
  ASSERT_TRUE(fs.SetFileAttributesW(u"C:\\Data\\ro.txt", kFILE_ATTRIBUTE_NORMAL));
  ASSERT_TRUE(fs.CopyFileW(u"C:\\Data\\src.txt", u"C:\\Data\\ro.txt", 0));
  EXPECT_EQ(disk.ReadText(u"C:\\Data\\ro.txt"), "new");
  EXPECT_EQ(fs.GetFileAttributesW(u"C:\\Data\\ro.txt"), kFILE_ATTRIBUTE_ARCHIVE);
  // A hidden target refuses a copy of a file that is not hidden itself.
  disk.AddFile(u"C:\\Data\\h.txt", "x", kFILE_ATTRIBUTE_HIDDEN);
  EXPECT_FALSE(fs.CopyFileW(u"C:\\Data\\src.txt", u"C:\\Data\\h.txt", 0));
  EXPECT_EQ(Err(), kERROR_ACCESS_DENIED);

  // Held by another process: opening, deleting and overwriting give 32, attributes still read.
  disk.Lock(u"C:\\Data\\src.txt", true);
  EXPECT_EQ(fs.CreateFileW(u"C:\\Data\\src.txt", kGENERIC_READ, 7, kOPEN_EXISTING, 0),
            kInvalidHandle);
  EXPECT_EQ(Err(), kERROR_SHARING_VIOLATION);
  EXPECT_FALSE(fs.DeleteFileW(u"C:\\Data\\src.txt"));
  EXPECT_EQ(Err(), kERROR_SHARING_VIOLATION);
  EXPECT_FALSE(fs.CopyFileW(u"C:\\Data\\ro.txt", u"C:\\Data\\src.txt", 0));
  EXPECT_EQ(Err(), kERROR_SHARING_VIOLATION);
  EXPECT_NE(fs.GetFileAttributesW(u"C:\\Data\\src.txt"), kINVALID_FILE_ATTRIBUTES);
  // pagefile.sys cannot even be asked for its attributes; it still exists for a search.
  EXPECT_EQ(fs.GetFileAttributesW(u"C:\\pagefile.sys"), kINVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Err(), kERROR_SHARING_VIOLATION);
  EXPECT_EQ(Listing(u"C:\\pagefile.sys"), Names{u"pagefile.sys"});
}

TEST_F(SimFsTest, OwnHandlesHonourShareModesUntilClosed) {
  HANDLE w = fs.CreateFileW(u"C:\\Data\\log.txt", kGENERIC_WRITE, kFILE_SHARE_READ, kCREATE_NEW,
                            kFILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(w, kInvalidHandle);
  EXPECT_EQ(Err(), kERROR_PATH_NOT_FOUND);  // C:\Data does not exist yet
  ASSERT_TRUE(fs.CreateDirectoryW(u"C:\\Data\\"));
  w = fs.CreateFileW(u"C:\\Data\\log.txt", kGENERIC_WRITE, kFILE_SHARE_READ, kOPEN_ALWAYS, 0x80);
  ASSERT_NE(w, kInvalidHandle);
  EXPECT_EQ(Err(), 0u);
  DWORD n = 0;
  ASSERT_TRUE(fs.WriteFile(w, "hello world", 11, &n));
  EXPECT_EQ(n, 11u);
  // A second writer, or a delete, clashes with FILE_SHARE_READ; a reader does not.
  EXPECT_EQ(fs.CreateFileW(u"C:\\Data\\log.txt", kGENERIC_WRITE, 7, kOPEN_EXISTING, 0),
            kInvalidHandle);
  EXPECT_EQ(Err(), kERROR_SHARING_VIOLATION);
  EXPECT_FALSE(fs.DeleteFileW(u"C:\\Data\\log.txt"));
  EXPECT_EQ(Err(), kERROR_SHARING_VIOLATION);
  EXPECT_EQ(Content(u"C:\\Data\\log.txt"), "hello world");
  // Cut at the position, then reopened with OPEN_ALWAYS: 183 tells that it existed.
  std::int64_t pos = 0;
  ASSERT_TRUE(fs.SetFilePointerEx(w, 5, &pos, kFILE_BEGIN));
  ASSERT_TRUE(fs.SetEndOfFile(w));
  EXPECT_TRUE(sys.CloseHandle(w));
  EXPECT_EQ(disk.ReadText(u"C:\\Data\\log.txt"), "hello");
  w = fs.CreateFileW(u"C:\\Data\\log.txt", kGENERIC_WRITE, 0, kOPEN_ALWAYS, 0x80);
  ASSERT_NE(w, kInvalidHandle);
  EXPECT_EQ(Err(), kERROR_ALREADY_EXISTS);
  sys.CloseHandle(w);
  EXPECT_TRUE(fs.DeleteFileW(u"C:\\Data\\log.txt"));
  EXPECT_EQ(m.OpenHandleCount(), 0u);
}

TEST_F(SimFsTest, ThirtyTwoBitProcessSeesSysWow64UnlessRedirectionIsOff) {
  ASSERT_TRUE(m.facts.is_64bit && m.facts.process_is_32bit);
  EXPECT_EQ(Content(u"C:\\Windows\\System32\\cmd.exe").substr(3),
            " simulated program: SysWOW64\\cmd.exe");
  // bcdedit.exe has no 32-bit copy, whatever the path form and letter case.
  for (const char16_t* p :
       {u"C:\\Windows\\System32\\bcdedit.exe", u"\\\\?\\c:\\WINDOWS\\system32\\bcdedit.exe",
        u"c:/windows/SYSTEM32/./bcdedit.exe"}) {
    EXPECT_EQ(fs.GetFileAttributesW(p), kINVALID_FILE_ATTRIBUTES) << Utf8(p);
    EXPECT_EQ(Err(), kERROR_FILE_NOT_FOUND);
  }
  // Sysnative is the real System32; drivers\etc is shared by both views.
  EXPECT_NE(fs.GetFileAttributesW(u"C:\\Windows\\Sysnative\\bcdedit.exe"),
            kINVALID_FILE_ATTRIBUTES);
  EXPECT_NE(fs.GetFileAttributesW(u"C:\\Windows\\System32\\drivers\\etc\\hosts"),
            kINVALID_FILE_ATTRIBUTES);

  std::uintptr_t outer = 99;
  std::uintptr_t inner = 99;
  ASSERT_TRUE(fs.Wow64DisableWow64FsRedirection(&outer));
  ASSERT_TRUE(fs.Wow64DisableWow64FsRedirection(&inner));
  EXPECT_EQ(Content(u"C:\\Windows\\System32\\cmd.exe").substr(3),
            " simulated program: System32\\cmd.exe");
  EXPECT_NE(fs.GetFileAttributesW(u"\\\\?\\C:\\Windows\\System32\\bcdedit.exe"),
            kINVALID_FILE_ATTRIBUTES);
  // Without the redirector Sysnative is just a name that does not exist.
  EXPECT_EQ(fs.GetFileAttributesW(u"C:\\Windows\\Sysnative\\bcdedit.exe"),
            kINVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Err(), kERROR_PATH_NOT_FOUND);
  // The inner revert hands back "disabled"; only the outer one turns redirection on again.
  ASSERT_TRUE(fs.Wow64RevertWow64FsRedirection(inner));
  EXPECT_NE(fs.GetFileAttributesW(u"C:\\Windows\\System32\\bcdedit.exe"), kINVALID_FILE_ATTRIBUTES);
  ASSERT_TRUE(fs.Wow64RevertWow64FsRedirection(outer));
  EXPECT_EQ(fs.GetFileAttributesW(u"C:\\Windows\\System32\\bcdedit.exe"), kINVALID_FILE_ATTRIBUTES);
  // Folder queries name the real folders whatever the view.
  char16_t buf[kMAX_PATH];
  EXPECT_EQ(fs.GetSystemDirectoryW(buf, kMAX_PATH), 19u);
  EXPECT_EQ(std::u16string(buf), u"C:\\Windows\\system32");
  ASSERT_EQ(fs.SHGetFolderPathW(0x26, buf), kS_OK);
  EXPECT_EQ(std::u16string(buf), u"C:\\Program Files (x86)");
}

TEST_F(SimFsTest, SixtyFourBitProcessHasNoRedirector) {
  m.facts.process_is_32bit = false;
  std::uintptr_t old = 0;
  EXPECT_FALSE(fs.Wow64DisableWow64FsRedirection(&old));
  EXPECT_EQ(Err(), kERROR_INVALID_FUNCTION);
  EXPECT_FALSE(fs.Wow64RevertWow64FsRedirection(old));
  EXPECT_EQ(Err(), kERROR_INVALID_FUNCTION);
  EXPECT_NE(fs.GetFileAttributesW(u"C:\\Windows\\System32\\bcdedit.exe"), kINVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(fs.GetFileAttributesW(u"C:\\Windows\\Sysnative\\bcdedit.exe"),
            kINVALID_FILE_ATTRIBUTES);
  char16_t buf[kMAX_PATH];
  ASSERT_EQ(fs.SHGetFolderPathW(0x26, buf), kS_OK);
  EXPECT_EQ(std::u16string(buf), u"C:\\Program Files");
}

TEST_F(SimFsTest, ExtendedLengthAndUncFormsReachTheSameObjects) {
  disk.AddFile(u"C:\\Data\\f.txt", "x");
  disk.AddDrive(u"\\\\srv\\share");
  disk.AddFile(u"\\\\srv\\share\\dir\\f.txt", "y");
  // The wide-API form carries a NUL of its own; a trailing backslash names a folder.
  const std::u16string prepared = std::u16string(u"\\\\?\\C:\\Data\\f.txt") + u'\0';
  EXPECT_EQ(fs.GetFileAttributesW(prepared.c_str()), kFILE_ATTRIBUTE_NORMAL);
  EXPECT_TRUE(fs.CreateDirectoryW(u"\\\\?\\C:\\Data\\New\\"));
  EXPECT_TRUE(disk.IsFolder(u"C:\\Data\\New"));
  EXPECT_EQ(fs.GetFileAttributesW(u"\\\\?\\UNC\\srv\\share\\dir\\f.txt"), kFILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(fs.GetFileAttributesW(u"\\\\srv\\share\\dir\\..\\dir\\f.txt"), kFILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(fs.GetFileAttributesW(u"\\\\srv\\other\\f.txt"), kINVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Err(), kERROR_BAD_NET_NAME);
  EXPECT_EQ(fs.GetDriveTypeW(u"\\\\srv\\share\\"), kDRIVE_REMOTE);
  // The verbatim form is not rewritten: "/" and ".." are then bad names.
  EXPECT_EQ(fs.GetFileAttributesW(u"\\\\?\\C:\\Data/f.txt"), kINVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Err(), kERROR_INVALID_NAME);
  EXPECT_EQ(fs.GetFileAttributesW(u"\\\\?\\C:\\Data\\..\\Data\\f.txt"), kINVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Err(), kERROR_INVALID_NAME);
  // A file named with a trailing backslash is a malformed name.
  EXPECT_EQ(fs.GetFileAttributesW(u"C:\\Data\\f.txt\\"), kINVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Err(), kERROR_INVALID_NAME);

  char16_t buf[kMAX_PATH];
  EXPECT_EQ(fs.GetLongPathNameW(u"C:\\PROGRA~1\\COMMON~1", buf, kMAX_PATH), 29u);
  EXPECT_EQ(std::u16string(buf), u"C:\\Program Files\\Common Files");
  EXPECT_EQ(fs.GetShortPathNameW(u"C:\\ProgramData", buf, kMAX_PATH), 11u);
  EXPECT_EQ(std::u16string(buf), u"C:\\PROGRA~3");
  EXPECT_EQ(fs.GetLongPathNameW(u"C:\\PROGRA~9", buf, kMAX_PATH), 0u);
  EXPECT_EQ(Err(), kERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(fs.GetVolumeInformationW(u"C:\\", buf, kMAX_PATH));
  EXPECT_EQ(std::u16string(buf), u"NTFS");
  disk.AddDrive(u"D:", u"FAT32", sim::DriveType::kRemovable);
  EXPECT_TRUE(fs.GetVolumeInformationW(u"d:\\", buf, kMAX_PATH));
  EXPECT_EQ(std::u16string(buf), u"FAT32");
  EXPECT_FALSE(fs.GetVolumeInformationW(u"D:", buf, kMAX_PATH));
  EXPECT_EQ(Err(), kERROR_INVALID_NAME);
}

TEST_F(SimFsTest, WildcardsMatchAsFindFirstFileDoes) {
  for (const char* name : {"a.txt", "b.TXT", "a.txt.bak", "readme", "Long Name.html", "ab.txt"})
    disk.AddFile(u"C:\\W\\" + U16(name), "");
  disk.AddFolder(u"C:\\W\\Sub");
  EXPECT_EQ(Listing(u"C:\\W\\*.txt"), (Names{u"a.txt", u"ab.txt", u"b.TXT"}));
  EXPECT_EQ(Listing(u"C:\\W\\?.txt"), (Names{u"a.txt", u"b.TXT"}));
  EXPECT_EQ(Listing(u"C:\\W\\*."), (Names{u"readme", u"Sub"}));
  EXPECT_EQ(Listing(u"C:\\W\\README"), Names{u"readme"});
  // Patterns also match the 8.3 alias: *.htm finds LONGNA~1.HTM's long name.
  EXPECT_EQ(Listing(u"C:\\W\\*.htm"), Names{u"Long Name.html"});
  EXPECT_EQ(Listing(u"C:\\W\\*.*").size(), 9u);           // ".", ".." and every entry
  EXPECT_EQ(Listing(u"C:\\*").front(), u"pagefile.sys");  // the root has no "." entries
  EXPECT_TRUE(fs.PathMatchSpecW(u"report.LOG", u"*.txt; *.log"));
  EXPECT_FALSE(fs.PathMatchSpecW(u"report.log.bak", u"*.txt;*.log"));
  EXPECT_TRUE(fs.PathMatchSpecW(u"readme", u"*.*"));
}

TEST_F(SimFsTest, ShellDeleteRemovesATreeUnlessSomethingIsLocked) {
  disk.AddFile(u"C:\\Old\\a\\b\\deep.txt", "1", kFILE_ATTRIBUTE_READONLY);
  disk.AddFile(u"C:\\Old\\top.txt", "2", kFILE_ATTRIBUTE_HIDDEN);
  const std::u16string list = std::u16string(u"C:\\Old") + u'\0' + u'\0';
  BOOL aborted = 1;
  EXPECT_EQ(fs.SHFileOperationW(kFO_DELETE, list.c_str(), nullptr,
                                kFOF_SILENT | kFOF_NOCONFIRMATION | kFOF_NOERRORUI, &aborted),
            0);
  EXPECT_FALSE(aborted);
  EXPECT_FALSE(disk.Exists(u"C:\\Old"));
  EXPECT_EQ(fs.SHFileOperationW(kFO_DELETE, list.c_str(), nullptr, kFOF_NOCONFIRMATION, nullptr),
            static_cast<int>(kERROR_FILE_NOT_FOUND));

  disk.AddFile(u"C:\\Old\\keep\\busy.txt", "3");
  disk.AddFile(u"C:\\Old\\zz.txt", "4");
  disk.Lock(u"C:\\Old\\keep\\busy.txt", true);
  EXPECT_EQ(fs.SHFileOperationW(kFO_DELETE, list.c_str(), nullptr, 0x414, nullptr),
            static_cast<int>(kERROR_SHARING_VIOLATION));
  EXPECT_TRUE(disk.Exists(u"C:\\Old\\keep\\busy.txt"));

  // Copy of a tree into an existing folder lands beneath it.
  disk.AddFile(u"C:\\Src\\x\\1.txt", "one");
  const std::u16string from = std::u16string(u"C:\\Src\\x") + u'\0' + u'\0';
  const std::u16string to = std::u16string(u"C:\\Old") + u'\0' + u'\0';
  EXPECT_EQ(fs.SHFileOperationW(kFO_COPY, from.c_str(), to.c_str(), 0x414, nullptr), 0);
  EXPECT_EQ(disk.ReadText(u"C:\\Old\\x\\1.txt"), "one");
}

TEST_F(SimFsTest, TempFilesAreNamedAndCreatedLikeWindows) {
  char16_t dir[kMAX_PATH];
  ASSERT_EQ(fs.GetTempPathW(kMAX_PATH, dir), 34u);
  EXPECT_EQ(std::u16string(dir), u"C:\\Users\\Admin\\AppData\\Local\\Temp\\");
  EXPECT_EQ(fs.GetTempPathW(10, dir), 35u);  // too small: the size with the NUL

  m.tick_ms = 0x12ABCD;  // the unique number starts from the tick count's low word
  char16_t name[kMAX_PATH];
  const std::u16string temp = u"C:\\Users\\Admin\\AppData\\Local\\Temp";
  EXPECT_EQ(fs.GetTempFileNameW(temp.c_str(), u"qztXYZ", 0, name), 0xABCDu);
  EXPECT_EQ(std::u16string(name), temp + u"\\qztABCD.tmp");
  EXPECT_EQ(disk.Attributes(name), kFILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(fs.GetTempFileNameW(temp.c_str(), u"qzt", 0, name), 0xABCEu);  // next free one
  // A given number only forms the name.
  EXPECT_EQ(fs.GetTempFileNameW(u"C:\\Data\\", u"qzt", 0x1F, name), 0x1Fu);
  EXPECT_EQ(std::u16string(name), u"C:\\Data\\qzt1F.tmp");
  EXPECT_FALSE(disk.Exists(name));
  EXPECT_EQ(fs.GetTempFileNameW(u"C:\\Data", u"qzt", 0, name), 0u);
  EXPECT_EQ(Err(), kERROR_DIRECTORY);
  // A write-protected medium leaves nothing behind.
  disk.AddDrive(u"E:", u"FAT32", sim::DriveType::kRemovable, true);
  EXPECT_EQ(fs.GetTempFileNameW(u"E:\\", u"qzt", 0, name), 0u);
  EXPECT_EQ(Err(), kERROR_WRITE_PROTECT);
  EXPECT_TRUE(disk.List(u"E:\\").empty());
}

TEST_F(SimFsTest, SpecialFoldersComeFromTheProfileAndMustExist) {
  char16_t buf[kMAX_PATH];
  ASSERT_EQ(fs.SHGetFolderPathW(0x1C, buf), kS_OK);
  EXPECT_EQ(std::u16string(buf), u"C:\\Users\\Admin\\AppData\\Local");
  ASSERT_EQ(fs.SHGetFolderPathW(0x23, buf), kS_OK);
  EXPECT_EQ(std::u16string(buf), u"C:\\ProgramData");
  ASSERT_EQ(fs.SHGetFolderPathW(0x19, buf), kS_OK);
  EXPECT_EQ(std::u16string(buf), u"C:\\Users\\Public\\Desktop");
  EXPECT_EQ(fs.SHGetFolderPathW(0x7F, buf), kE_INVALIDARG);
  disk.Remove(u"C:\\Users\\Admin\\Music");
  EXPECT_EQ(fs.SHGetFolderPathW(0x0D, buf), kHRESULT_FILE_NOT_FOUND);
  EXPECT_EQ(fs.SHGetFolderPathW(0x0D | static_cast<int>(kCSIDL_FLAG_CREATE), buf), kS_OK);
  EXPECT_TRUE(disk.IsFolder(u"C:\\Users\\Admin\\Music"));
  DWORD size = 3;
  EXPECT_FALSE(fs.GetProfilesDirectoryW(buf, &size));
  EXPECT_EQ(Err(), kERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(size, 9u);
  EXPECT_TRUE(fs.GetProfilesDirectoryW(buf, &size));
  EXPECT_EQ(std::u16string(buf), u"C:\\Users");

  // Windows XP keeps profiles and shared folders elsewhere.
  m.facts.version.dwMajorVersion = 5;
  m.SetEnv(u"USERPROFILE", u"C:\\Documents and Settings\\Admin");
  disk.AddShellFolders();
  ASSERT_EQ(fs.SHGetFolderPathW(0x1A, buf), kS_OK);
  EXPECT_EQ(std::u16string(buf), u"C:\\Documents and Settings\\Admin\\Application Data");
  ASSERT_EQ(fs.SHGetFolderPathW(0x23, buf), kS_OK);
  EXPECT_EQ(std::u16string(buf), u"C:\\Documents and Settings\\All Users\\Application Data");
  size = kMAX_PATH;
  EXPECT_TRUE(fs.GetDefaultUserProfileDirectoryW(buf, &size));
  EXPECT_EQ(std::u16string(buf), u"C:\\Documents and Settings\\Default User");
}

constexpr char kBootIni[] =
    "[boot loader]\r\n"
    "timeout=30\r\n"
    "default=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n"
    "\r\n"
    "[operating systems]\r\n"
    "multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"Windows XP\" /fastdetect\r\n";

TEST_F(SimFsTest, ProfileListsAreCutWithTwoNulsAndSizeMinusTwo) {
  disk.AddFile(u"C:\\l.ini", "[alpha]\r\n[beta]\r\n[gamma]\r\n");
  std::vector<char16_t> buf(10, u'#');
  EXPECT_EQ(fs.GetPrivateProfileStringW(nullptr, nullptr, u"", buf.data(), 10, u"C:\\l.ini"), 8u);
  EXPECT_EQ(std::u16string(buf.data(), 10), std::u16string(u"alpha\0be\0\0", 10));
  std::vector<char16_t> big(64, u'#');
  EXPECT_EQ(fs.GetPrivateProfileStringW(nullptr, nullptr, u"", big.data(), 64, u"C:\\l.ini"), 17u);
  EXPECT_EQ(std::u16string(big.data(), 18), std::u16string(u"alpha\0beta\0gamma\0\0", 18));
}

TEST_F(SimFsTest, ProfileValuesAndDefaults) {
  disk.AddFile(u"C:\\boot.ini", kBootIni);
  std::vector<char16_t> buf(8, u'#');
  // Cut to size - 1.
  EXPECT_EQ(
      fs.GetPrivateProfileStringW(u"boot loader", u"default", u"", buf.data(), 8, u"C:\\boot.ini"),
      7u);
  EXPECT_EQ(std::u16string(buf.data()), u"multi(0");
  // The default loses its trailing blanks; the last error says what was missing.
  EXPECT_EQ(fs.GetPrivateProfileStringW(u"x", u"y", u"dflt  ", buf.data(), 8, u"C:\\boot.ini"), 4u);
  EXPECT_EQ(std::u16string(buf.data()), u"dflt");
  EXPECT_EQ(OS().sys.GetLastError(), kERROR_FILE_NOT_FOUND);
  // A bare file name lives in the Windows folder.
  disk.AddFile(u"C:\\Windows\\win.ini", "[windows]\r\nload=x\r\n");
  EXPECT_EQ(fs.GetPrivateProfileStringW(u"windows", u"load", u"", buf.data(), 8, u"win.ini"), 1u);
  // A UTF-16 file is read as such.
  disk.AddFileUtf16(u"C:\\u.ini", u"[s]\r\nk=中文\r\n");
  EXPECT_EQ(fs.GetPrivateProfileStringW(u"s", u"k", u"", buf.data(), 8, u"C:\\u.ini"), 2u);
  EXPECT_EQ(std::u16string(buf.data()), u"中文");
}

TEST_F(SimFsTest, ProfileWritesDeleteWithNullPointers) {
  disk.AddFile(u"C:\\boot.ini", kBootIni);
  ASSERT_TRUE(fs.WritePrivateProfileStringW(u"boot loader", u"timeout", nullptr, u"C:\\boot.ini"));
  ASSERT_TRUE(
      fs.WritePrivateProfileStringW(u"operating systems", nullptr, nullptr, u"C:\\boot.ini"));
  EXPECT_EQ(disk.ReadText(u"C:\\boot.ini"),
            "[boot loader]\r\n"
            "default=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n"
            "\r\n");
  EXPECT_FALSE(fs.WritePrivateProfileStringW(nullptr, nullptr, nullptr, u"C:\\boot.ini"));
}

// A hand-edited boot.ini: a byte the code page cannot read, LF-only and CR LF lines, a blank
// line, a key of the same name twice, and no line break after the last line. A write replaces
// the first key's value and nothing else; a key added to the end gets a line of its own.
using BootIniProfileCalls = SimFsTest;

TEST_F(BootIniProfileCalls, AWriteChangesOneValueAndKeepsEveryOtherByte) {
  const std::string head =
      "; hand-edited \xFF\n"
      "[Boot Loader]\r\n";
  const std::string between =
      "default=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\n"
      "\r\n"
      "[operating systems]\r\n";
  const std::string last = "multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"second\"";
  disk.AddFile(u"C:\\boot.ini",
               head + "Timeout = 30\r\n" + between +
                   "multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"XP\" /fastdetect\r\n" + last);
  ASSERT_TRUE(fs.WritePrivateProfileStringW(u"boot loader", u"timeout", u"3", u"C:\\boot.ini"));
  ASSERT_TRUE(fs.WritePrivateProfileStringW(u"OPERATING SYSTEMS",
                                            u"MULTI(0)disk(0)rdisk(0)partition(1)\\windows",
                                            u"\"Safe\" /safeboot:minimal", u"C:\\boot.ini"));
  const std::string edited = head + "Timeout =3\r\n" + between +
                             "multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"Safe\" "
                             "/safeboot:minimal\r\n" +
                             last;
  EXPECT_EQ(disk.ReadText(u"C:\\boot.ini"), edited);
  ASSERT_TRUE(
      fs.WritePrivateProfileStringW(u"operating systems", u"C:\\", u"\"Old\"", u"C:\\boot.ini"));
  EXPECT_EQ(disk.ReadText(u"C:\\boot.ini"), edited + "\r\nC:\\=\"Old\"\r\n");
}

}  // namespace
}  // namespace kes
