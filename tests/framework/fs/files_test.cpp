// The file primitives as the rest of the program leans on them: existence answers that do not
// lie about locked or empty files, folders created whatever the path looks like, deletes that
// never touch a folder by mistake, copies that keep a read-only target read-only, probes that
// leave nothing behind, and the WOW64 bracket that lets this 32-bit program see System32.
#include "framework/fs/files.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using namespace platform;  // NOLINT: Win32 names read best unqualified in these tests

class FsTest : public MachineTest {
 protected:
  FsTest() { StartupFacts(); }
  std::string Text(std::u16string_view path) const {
    return disk.ReadText(path).value_or("<none>");
  }

  sim::FileSystem& disk = m.fs();
};

// ---- existence ----------------------------------------------------------------------------

TEST_F(FsTest, FileExistRefusesTextsThatCannotNameAFile) {
  std::u16string msg;
  EXPECT_FALSE(FileExist(u"C:", false, msg));
  EXPECT_EQ(msg, u"Path not found!");
  EXPECT_FALSE(FileExist(u"abcd", false, msg));
  EXPECT_EQ(msg, u"Path not found!");
  EXPECT_FALSE(FileExist(u"", false, msg));
  EXPECT_EQ(msg, u"Passed empty string!");
  EXPECT_FALSE(FileExist(u"C:\\Data\\missing.txt", false, msg));
  EXPECT_EQ(msg, u"File not found!");
  EXPECT_TRUE(LogHas(u"Msg=[Path not found!]"));
  EXPECT_TRUE(LogHas(u"Msg=[File not found!]"));
  // Nothing that short or without a folder is even asked about.
  EXPECT_EQ(m.CallCount("GetFileAttributesW"), 1);
}

TEST_F(FsTest, FileExistTellsFilesFromFoldersAndEmptyFiles) {
  disk.AddFile(u"C:\\Data\\empty.txt", "");
  disk.AddFile(u"C:\\Data\\full.txt", "abc");
  std::u16string msg = u"stale";
  EXPECT_TRUE(FileExist(u"C:\\Data\\empty.txt", false, msg));
  EXPECT_EQ(msg, u"");
  EXPECT_FALSE(FileExist(u"C:\\Data\\empty.txt", true, msg));
  EXPECT_EQ(msg, u"Zero Byte File!");
  EXPECT_TRUE(LogHas(u"Msg=[Zero Byte File!]"));
  EXPECT_TRUE(FileExist(u"C:\\Data\\full.txt", true, msg));
  EXPECT_EQ(msg, u"");

  EXPECT_FALSE(FileExist(u"C:\\Data", false, msg));  // a folder is not a file
  EXPECT_TRUE(DirExist(u"C:\\Data"));
  EXPECT_TRUE(DirExist(u"C:\\Data\\"));
  EXPECT_TRUE(IsDir(u"C:\\Data"));
  EXPECT_FALSE(DirExist(u"C:\\Data\\full.txt"));
  EXPECT_FALSE(IsDir(u"C:\\Data\\full.txt"));
  EXPECT_FALSE(DirExist(u""));
  // Wrapping quotes and blanks from a command line do not hide the file.
  EXPECT_TRUE(FileExist(u"  \"C:\\Data\\full.txt\" "));
}

TEST_F(FsTest, LockedFilesCountAsExisting) {
  disk.AddFile(u"C:\\Data\\open.db", "x");
  disk.Lock(u"C:\\Data\\open.db", true);
  EXPECT_TRUE(FileExist(u"C:\\Data\\open.db"));

  // Even the attributes of a paging file are refused with a sharing violation.
  std::u16string msg;
  EXPECT_TRUE(FileExist(u"C:\\pagefile.sys", false, msg));
  bool is_dir = true;
  EXPECT_TRUE(FSObjectExistByStringPointer(u"\\\\?\\C:\\pagefile.sys", is_dir));
  EXPECT_TRUE(is_dir);  // unknown on that road: left as it was
  // Its size cannot be read either; the reason is the error number.
  EXPECT_FALSE(FileExist(u"C:\\pagefile.sys", true, msg));
  EXPECT_EQ(msg, u"API Error: 32");
  EXPECT_TRUE(LogHas(u"GetFileAttributesExW"));

  EXPECT_TRUE(FSObjectExistByStringPointer(u"\\\\?\\C:\\Windows", is_dir));
  EXPECT_TRUE(is_dir);
  EXPECT_TRUE(FSObjectExistByStringPointer(u"\\\\?\\C:\\Data\\open.db", is_dir));
  EXPECT_FALSE(is_dir);
  EXPECT_FALSE(FSObjectExistByStringPointer(u"", is_dir));
  EXPECT_FALSE(FileExistByStringPointer(u""));
}

// ---- WOW64 redirection ----------------------------------------------------------------------

TEST_F(FsTest, FileCallsSeeTheRealSystem32) {
  disk.AddFile(u"C:\\Windows\\System32\\only64.dll", "64");
  const std::u16string path = u"C:\\Windows\\System32\\only64.dll";

  // Without the bracket the 32-bit process is shown SysWOW64, where the file is not.
  EXPECT_EQ(OS().fs.GetFileAttributesW(path.c_str()), kINVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(FileExist(path));
  EXPECT_TRUE(FileCopy(path, u"C:\\Data"));
  EXPECT_EQ(Text(u"C:\\Data\\only64.dll"), "64");
  EXPECT_TRUE(FileDelete(path));
  EXPECT_FALSE(disk.Exists(path));

  // Every bracket was closed again.
  EXPECT_FALSE(disk.redirection_disabled);
  EXPECT_FALSE(ctx.fs_redir.disabled());
  EXPECT_FALSE(ctx.env->FSRedirDisabled);
  EXPECT_EQ(m.CallCount("Wow64DisableWow64FsRedirection"),
            m.CallCount("Wow64RevertWow64FsRedirection"));
}

TEST_F(FsTest, RedirectionPairsNestAndKeepTheLastError) {
  DisableFSRedir();
  EXPECT_TRUE(disk.redirection_disabled);
  EXPECT_TRUE(ctx.env->FSRedirDisabled);
  DisableFSRedir();  // already off: nothing more
  EXPECT_EQ(m.CallCount("Wow64DisableWow64FsRedirection"), 1);
  RevertFSRedir();  // the inner revert already switches it back on
  EXPECT_FALSE(disk.redirection_disabled);
  EXPECT_FALSE(ctx.env->FSRedirDisabled);
  RevertFSRedir();
  EXPECT_EQ(m.CallCount("Wow64RevertWow64FsRedirection"), 1);

  // The error of the call inside the bracket is what the caller reads after it.
  DisableFSRedir();
  OS().sys.SetLastError(kERROR_SHARING_VIOLATION);
  RevertFSRedir();
  EXPECT_EQ(OS().sys.GetLastError(), kERROR_SHARING_VIOLATION);
}

TEST_F(FsTest, NoRedirectionCallsOn32BitWindows) {
  ctx.env->g_Win64bit = ctx.env->Win64bit = false;
  m.facts.is_64bit = false;
  disk.AddFile(u"C:\\Data\\a.txt", "a");
  EXPECT_TRUE(FileExist(u"C:\\Data\\a.txt"));
  EXPECT_EQ(m.CallCount("Wow64DisableWow64FsRedirection"), 0);
  EXPECT_FALSE(ctx.env->FSRedirDisabled);
}

// ---- folders --------------------------------------------------------------------------------

TEST_F(FsTest, EnsureDirExistsCreatesNestedFoldersThroughTheAnsiCall) {
  std::int32_t reason = 0;
  EXPECT_TRUE(EnsureDirExists(u"C:\\Data\\one\\two\\three\\", reason));
  EXPECT_TRUE(disk.IsFolder(u"C:\\Data\\one\\two\\three"));
  EXPECT_EQ(m.CallCount("MakeSureDirectoryPathExists"), 1);
  EXPECT_EQ(m.CallCount("CreateDirectoryW"), 0);
  EXPECT_EQ(reason, 0);
  // Existing: nothing is created again.
  EXPECT_TRUE(EnsureDirExists(u"C:\\Data\\one\\two"));
  EXPECT_EQ(m.CallCount("MakeSureDirectoryPathExists"), 1);
}

TEST_F(FsTest, EnsureDirExistsReplacesAFileOfTheSameName) {
  disk.AddFile(u"C:\\Data\\Logs", "not a folder", kFILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(EnsureDirExists(u"C:\\Data\\Logs"));
  EXPECT_TRUE(disk.IsFolder(u"C:\\Data\\Logs"));
  EXPECT_TRUE(LogHas(u"A file existed of same name, but was deleted successfully!"));

  // A file that cannot be removed is reported, and the folder is not claimed.
  disk.AddFile(u"C:\\Data\\Busy", "x");
  disk.Lock(u"C:\\Data\\Busy", true);
  EXPECT_FALSE(EnsureDirExists(u"C:\\Data\\Busy"));
  EXPECT_TRUE(LogHas(u"Aborting; failure to remove existing file!"));
  EXPECT_EQ(Text(u"C:\\Data\\Busy"), "x");
}

TEST_F(FsTest, EnsureDirExistsRefusesTextsWithoutDriveOrShare) {
  EXPECT_FALSE(EnsureDirExists(u"dir"));
  EXPECT_TRUE(LogHas(u"Passed bad string (no colon or \\\\ in string) for sDir: [dir]"));
  EXPECT_FALSE(EnsureDirExists(u"relative\\dir"));
  EXPECT_TRUE(LogHas(u"for sDir: [relative\\dir]"));
  EXPECT_EQ(m.CallCount("MakeSureDirectoryPathExists") + m.CallCount("CreateDirectoryW"), 0);

  disk.AddDrive(u"\\\\srv\\share");
  EXPECT_TRUE(EnsureDirExists(u"\\\\srv\\share\\team\\in"));
  EXPECT_TRUE(disk.IsFolder(u"\\\\srv\\share\\team\\in"));
}

TEST_F(FsTest, PathsTheAnsiCallCannotCarryAreCreatedThroughTheWideCall) {
  disk.AddFolder(u"C:\\Data");
  // Beyond Latin-1: the wide call, folder by folder.
  const std::u16string chinese = u"C:\\Data\\\u65e5\u5fd7\\\u5b50\u76ee\u5f55";
  EXPECT_TRUE(EnsureDirExists(chinese));
  EXPECT_TRUE(disk.IsFolder(chinese));
  EXPECT_EQ(m.CallCount("MakeSureDirectoryPathExists"), 0);
  EXPECT_EQ(m.CallCount("CreateDirectoryW"), 2);

  // Latin-1 that the ANSI code page (936 here) carries goes the ANSI way and arrives intact;
  // Latin-1 it has no character for must not arrive as "?".
  const std::u16string cafe = u"C:\\Data\\caf\u00e9";
  EXPECT_TRUE(EnsureDirExists(cafe));
  EXPECT_TRUE(disk.IsFolder(cafe));
  EXPECT_EQ(m.CallCount("MakeSureDirectoryPathExists"), 1);
  const std::u16string spain = u"C:\\Data\\Espa\u00f1a";
  EXPECT_TRUE(EnsureDirExists(spain));
  EXPECT_TRUE(disk.IsFolder(spain));
  EXPECT_EQ(m.CallCount("MakeSureDirectoryPathExists"), 1);

  // Longer than the ANSI call takes.
  std::u16string deep = u"C:\\Data";
  while (deep.size() <= 300) deep += u"\\abcdefghijklmnopqrstuvwxyz";
  EXPECT_TRUE(EnsureDirExists(deep));
  EXPECT_TRUE(disk.IsFolder(deep));
  EXPECT_EQ(m.CallCount("MakeSureDirectoryPathExists"), 1);
}

TEST_F(FsTest, FolderCreationFailuresCarryTheirReason) {
  disk.AddDrive(u"R:", u"CDFS", sim::DriveType::kCdRom, true);
  std::int32_t reason = 0;
  EXPECT_FALSE(EnsureDirExists(u"R:\\new", reason));
  EXPECT_EQ(reason, 5);
  EXPECT_TRUE(LogHas(u"Completed via MakeSureDirectoryPathExists; DirExist = False!"));
  reason = 0;
  EXPECT_FALSE(CreateDirW(u"R:\\\u65e5", reason));
  EXPECT_EQ(reason, 5);
  // A denied folder does not stop the walk; the reason is that of the last failure.
  EXPECT_FALSE(CreateDirW(u"R:\\new\\\u65e5", reason));
  EXPECT_EQ(reason, 3);
  EXPECT_TRUE(disk.List(u"R:\\").empty());
}

TEST_F(FsTest, SetCurrentDirMovesTheCurrentDirectory) {
  disk.AddFolder(u"C:\\Data\\Work");
  EXPECT_TRUE(SetCurrentDir(u"C:\\Data\\Work"));
  EXPECT_EQ(disk.current_directory, u"C:\\Data\\Work");
  EXPECT_FALSE(SetCurrentDir(u"C:\\Data\\Missing"));
  EXPECT_EQ(disk.current_directory, u"C:\\Data\\Work");
}

// ---- deletion -------------------------------------------------------------------------------

TEST_F(FsTest, FileDeleteNeverTakesAFolderName) {
  disk.AddFile(u"C:\\Data\\keep\\a.txt", "a");
  EXPECT_FALSE(FileDelete(u"C:\\Data\\keep\\"));
  EXPECT_FALSE(FileDelete(u""));
  EXPECT_EQ(m.CallCount("DeleteFileW") + m.CallCount("GetFileAttributesW"), 0);
  EXPECT_TRUE(disk.Exists(u"C:\\Data\\keep\\a.txt"));
}

TEST_F(FsTest, FileDeleteSucceedsWhenTheFileIsGone) {
  disk.AddFile(u"C:\\Data\\a.txt", "a");
  EXPECT_TRUE(FileDelete(u"C:\\Data\\a.txt"));
  EXPECT_FALSE(disk.Exists(u"C:\\Data\\a.txt"));
  EXPECT_TRUE(FileDelete(u"C:\\Data\\a.txt"));  // nothing there: the wish is fulfilled

  disk.AddFile(u"C:\\Data\\ro.txt", "r", kFILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(FileDelete(u"C:\\Data\\ro.txt"));
  EXPECT_TRUE(disk.Exists(u"C:\\Data\\ro.txt"));
  EXPECT_TRUE(LogHas(u"DeleteFileW"));
}

TEST_F(FsTest, ShellDeleteRemovesAFolderTree) {
  disk.AddFile(u"C:\\Data\\Tree\\sub\\a.txt", "a");
  EXPECT_TRUE(ShellDelete(u"C:\\Data\\Tree", kQuietDelete));
  EXPECT_FALSE(disk.Exists(u"C:\\Data\\Tree"));
  EXPECT_FALSE(ShellDelete(u"C:\\Data\\Tree", kQuietDelete));
  EXPECT_FALSE(ShellOperation(ShellOp_Delete, 0x414, u"", u""));
}

// ---- attributes -------------------------------------------------------------------------------

TEST_F(FsTest, AttributesReadAndWritten) {
  disk.AddFile(u"C:\\Data\\a.txt", "a", kFILE_ATTRIBUTE_HIDDEN | kFILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(GetAttrib(u"C:\\Data\\a.txt"), 0x22);
  EXPECT_TRUE(SetAttrib(u"C:\\Data\\a.txt", kFILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(disk.Attributes(u"C:\\Data\\a.txt"), kFILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(GetAttrib(u"C:\\Data\\Windows"), 0);  // unreadable: 0, not "read-only"
  EXPECT_TRUE(LogHas(u"GetFileAttributesW Result"));
  EXPECT_FALSE(SetAttrib(u"C:\\Data\\missing.txt", kFILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetAttrib(u""), 0);
}

// ---- copying -------------------------------------------------------------------------------

TEST_F(FsTest, FileCopyOntoAReadOnlyTargetKeepsItReadOnly) {
  disk.AddFile(u"C:\\Src\\boot.ini", "new");
  disk.AddFile(u"C:\\Dst\\boot.ini", "old", kFILE_ATTRIBUTE_READONLY | kFILE_ATTRIBUTE_HIDDEN);

  // Without overwriting, the target stays as it was.
  EXPECT_FALSE(FileCopy(u"C:\\Src\\boot.ini", u"C:\\Dst"));
  EXPECT_EQ(Text(u"C:\\Dst\\boot.ini"), "old");

  EXPECT_TRUE(FileCopy(u"C:\\Src\\boot.ini", u"C:\\Dst", true));
  EXPECT_EQ(Text(u"C:\\Dst\\boot.ini"), "new");
  EXPECT_EQ(disk.Attributes(u"C:\\Dst\\boot.ini"),
            kFILE_ATTRIBUTE_READONLY | kFILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(Calls(u"TakeControl").size(), 0u);
}

TEST_F(FsTest, FileCopyTakesControlWhenTheTargetResistsAndRestoresAfterAFailure) {
  disk.AddFile(u"C:\\Src\\a.txt", "new");
  disk.AddFile(u"C:\\Dst\\a.txt", "old", kFILE_ATTRIBUTE_READONLY);
  m.InjectFault("SetFileAttributesW", kERROR_ACCESS_DENIED, 1);
  EXPECT_TRUE(FileCopy(u"C:\\Src\\a.txt", u"C:\\Dst\\a.txt", true, true));
  EXPECT_EQ(Calls(u"TakeControl").size(), 1u);
  EXPECT_EQ(Text(u"C:\\Dst\\a.txt"), "new");
  EXPECT_EQ(disk.Attributes(u"C:\\Dst\\a.txt"), kFILE_ATTRIBUTE_READONLY);

  // A copy that fails leaves the old file with its own attributes, not stripped of them.
  disk.Lock(u"C:\\Dst\\a.txt", true);
  disk.AddFile(u"C:\\Src\\a.txt", "newer");
  EXPECT_FALSE(FileCopy(u"C:\\Src\\a.txt", u"C:\\Dst", true));
  EXPECT_TRUE(LogHas(u"CopyFileW"));
  EXPECT_EQ(Text(u"C:\\Dst\\a.txt"), "new");
  EXPECT_EQ(disk.Attributes(u"C:\\Dst\\a.txt"), kFILE_ATTRIBUTE_READONLY);
}

TEST_F(FsTest, FileCopyChecksItsPaths) {
  disk.AddFile(u"C:\\Src\\a.txt", "a");
  EXPECT_FALSE(FileCopy(u"", u"C:\\Dst"));
  EXPECT_TRUE(LogHas(u"Msg=[Passed empty string!]"));
  EXPECT_FALSE(FileCopy(u"a.txt", u"C:\\Dst"));
  EXPECT_TRUE(LogHas(u"FileCopy was passed a source file without a path!"));
  EXPECT_FALSE(FileCopy(u"C:\\Src\\b.txt", u"C:\\Dst"));
  EXPECT_TRUE(LogHas(u"Source file doesn't exist!"));
  EXPECT_FALSE(FileCopy(u"C:\\Src\\a.txt", u""));
  EXPECT_TRUE(LogHas(u"Aborting; Destination path not specified!"));
  disk.AddDrive(u"R:", u"CDFS", sim::DriveType::kCdRom, true);
  EXPECT_FALSE(FileCopy(u"C:\\Src\\a.txt", u"R:\\x"));
  EXPECT_TRUE(LogHas(u"Aborting; Destination path could not be created!"));

  // A missing destination folder is made; a new name may be given.
  EXPECT_TRUE(FileCopy(u"C:\\Src\\a.txt", u"C:\\Dst\\deep\\b.txt", false, true));
  EXPECT_EQ(Text(u"C:\\Dst\\deep\\b.txt"), "a");
}

TEST_F(FsTest, FileCopyWithAPatternCopiesTheMatchingSet) {
  disk.AddFile(u"C:\\Src\\a.txt", "a");
  disk.AddFile(u"C:\\Src\\b.TXT", "b", kFILE_ATTRIBUTE_HIDDEN);
  disk.AddFile(u"C:\\Src\\c.log", "c");
  disk.AddFile(u"C:\\Src\\sub\\d.txt", "d");
  EXPECT_TRUE(FileCopy(u"C:\\Src\\*.txt", u"C:\\Dst"));
  EXPECT_EQ(disk.List(u"C:\\Dst"), (std::vector<std::u16string>{u"a.txt", u"b.TXT"}));
  EXPECT_TRUE(LogHas(u"Found 2 files to copy..."));

  EXPECT_FALSE(FileCopy(u"C:\\Src\\*.none", u"C:\\Dst"));
  EXPECT_TRUE(LogHas(u"Aborting; No files found to copy!"));
}

TEST_F(FsTest, CopyFilesKeepsSubFoldersAndCountsFailures) {
  disk.AddFile(u"C:\\Src\\a.txt", "a");
  disk.AddFile(u"C:\\Src\\sub\\b.txt", "b");
  disk.AddFile(u"C:\\Src\\sub\\deeper\\c.txt", "c");
  disk.AddFile(u"C:\\Dst\\sub\\b.txt", "old");
  std::int32_t found = 0, failed = 0;
  EXPECT_FALSE(CopyFiles(u"C:\\Src", u"C:\\Dst", u"*.txt", 0xA7, false, -1, true, found, failed));
  EXPECT_EQ(found, 3);
  EXPECT_EQ(failed, 1);  // b.txt was there and may not be overwritten
  EXPECT_TRUE(LogHas(u"File Copy Failure!"));
  EXPECT_EQ(Text(u"C:\\Dst\\a.txt"), "a");
  EXPECT_EQ(Text(u"C:\\Dst\\sub\\b.txt"), "old");
  EXPECT_EQ(Text(u"C:\\Dst\\sub\\deeper\\c.txt"), "c");

  // One level deep only, hidden files only.
  disk.AddFile(u"C:\\Src\\h.txt", "h", kFILE_ATTRIBUTE_HIDDEN);
  disk.AddFile(u"C:\\Src\\sub\\deeper\\h2.txt", "h2", kFILE_ATTRIBUTE_HIDDEN);
  EXPECT_TRUE(CopyFiles(u"C:\\Src\\", u"C:\\Out", u"", kFILE_ATTRIBUTE_HIDDEN, false, 1, true,
                        found, failed));
  EXPECT_EQ(found, 1);
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(disk.List(u"C:\\Out"), std::vector<std::u16string>{u"h.txt"});

  EXPECT_FALSE(CopyFiles(u"C:\\Nowhere", u"C:\\Out"));
  EXPECT_TRUE(LogHas(u"Source path doesn't exist!"));
}

// ---- temporary files and probes ----------------------------------------------------------------

TEST_F(FsTest, TempFilesAreNamedQztAndMayBeRemovedAtOnce) {
  const std::u16string kept = GetTempFile(u"C:\\Data\\Tmp", false, true);
  ASSERT_FALSE(kept.empty());
  EXPECT_TRUE(kept.starts_with(u"C:\\Data\\Tmp\\qzt")) << Utf8(kept);
  EXPECT_TRUE(kept.ends_with(u".tmp"));
  EXPECT_TRUE(disk.Exists(kept));

  const std::u16string gone = GetTempFile(u"", true, false);
  EXPECT_TRUE(gone.starts_with(u"C:\\Users\\Admin\\AppData\\Local\\Temp\\qzt")) << Utf8(gone);
  EXPECT_FALSE(disk.Exists(gone));

  EXPECT_EQ(GetTempFile(u"C:\\Data\\NoSuchDir", false, false), u"");
  EXPECT_TRUE(LogHas(u"GetTempFileNameW"));
}

TEST_F(FsTest, HasWriteAccessLeavesNothingBehind) {
  disk.AddFolder(u"C:\\Data");
  EXPECT_TRUE(HasWriteAccess(u"C:\\Data"));
  EXPECT_TRUE(disk.List(u"C:\\Data").empty());

  disk.AddDrive(u"R:", u"CDFS", sim::DriveType::kCdRom, true);
  EXPECT_FALSE(HasWriteAccess(u"R:\\"));
  EXPECT_TRUE(disk.List(u"R:\\").empty());

  m.InjectFault("GetTempFileNameW", kERROR_ACCESS_DENIED);
  EXPECT_FALSE(HasWriteAccess(u"C:\\Data"));
  EXPECT_TRUE(disk.List(u"C:\\Data").empty());
}

TEST_F(FsTest, FileSystemTypeByDriveLetter) {
  disk.AddDrive(u"D:", u"FAT32");
  EXPECT_EQ(GetFileSystemType_AsString(u"c"), u"NTFS");
  EXPECT_EQ(GetFileSystemType_AsString(u"d:\\anything"), u"FAT32");
  EXPECT_EQ(GetFileSystemType_AsString(u""), u"NTFS");
  EXPECT_EQ(GetFileSystemType_AsString(u"cx"), u"");
  EXPECT_TRUE(LogHas(u"Invalid value passed as drive letter!"));
  EXPECT_EQ(GetFileSystemType_AsString(u"q"), u"");  // no such drive
  EXPECT_TRUE(LogHas(u"GetVolumeInformationW"));
}

}  // namespace
}  // namespace kes

namespace kes {
namespace {

using FilesPolishTest = FsTest;

// The shell answers with codes of its own (DE_*), which are no system error codes: the log names
// them as what they are instead of looking up an unrelated system message.
TEST_F(FilesPolishTest, ShellOperationCodesAreLoggedAsTheShellsOwn) {
  disk.AddFile(u"C:\\Data\\a.txt", std::string_view("x"));
  EXPECT_FALSE(ShellOperation(ShellOp_Copy, kFOF_NOCONFIRMATION | kFOF_SILENT | kFOF_NOERRORUI,
                              u"C:\\Data\\a.txt", u"C:\\Data\\a.txt"));
  EXPECT_TRUE(LogHas(u"shell-operation code 0x71 (DE_SAMEFILE)"));
  EXPECT_EQ(LogCount(u"API=113"), 0);
}

}  // namespace
}  // namespace kes
