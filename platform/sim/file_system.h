// The simulated file system: drives and network shares, folders and files with raw bytes,
// attributes, times, 8.3 aliases and locks, read the way Windows reads paths (drive, UNC,
// "\\?\" and "\\?\UNC\" forms, "/" as separator outside the verbatim form, "." and "..",
// relative paths against the current directory). System32 is seen as SysWOW64 by a 32-bit
// process on 64-bit Windows while redirection is on, and Sysnative as the real System32.
//
// The setup helpers (AddDrive, AddFolder, AddFile, ReadFile, Lock...) take paths as written,
// never redirected, never counted as calls and never touching the last error: they are for
// tests and for the simulated tools, not for the program.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace kes::sim {

class Machine;
struct SimSecurity;  // access_control.h

// GetDriveTypeW answers of a volume.
enum class DriveType : platform::UINT {
  kRemovable = 2,
  kFixed = 3,
  kRemote = 4,
  kCdRom = 5,
  kRamDisk = 6,
};

// A folder or a file.
struct FsNode {
  std::u16string name;        // as created; letter case kept
  std::u16string short_name;  // 8.3 alias, empty when the name already is a valid 8.3 name
  bool is_dir = false;
  platform::DWORD attributes = 0;  // stored without DIRECTORY and NORMAL
  std::vector<std::uint8_t> data;
  std::int64_t created = 0;  // FILETIME ticks, UTC
  std::int64_t accessed = 0;
  std::int64_t written = 0;
  std::map<std::u16string, std::shared_ptr<FsNode>> children;  // by upper-cased name
  // Held open exclusively by another process: opening, deleting or overwriting gives 32.
  bool locked = false;
  // Like pagefile.sys: even the attributes cannot be read (32).
  bool paging_file = false;
  struct OpenRecord {
    std::uint64_t id = 0;
    platform::DWORD access = 0;  // data access only: FILE_READ_DATA, FILE_WRITE_DATA, DELETE
    platform::DWORD share = 0;
  };
  std::vector<OpenRecord> opens;  // the program's own open handles
  // Owner and DACL set on this object or inherited when it was made in a folder that had them;
  // null: the default security of its place (access_control.h).
  std::shared_ptr<SimSecurity> security;

  // What GetFileAttributesW reports: DIRECTORY added for folders, NORMAL for a bare file.
  platform::DWORD ReportedAttributes() const;
};

struct Volume {
  std::u16string root;     // "C:" or "\\server\share", as added
  std::u16string fs_name;  // NTFS, FAT32, CDFS...
  DriveType type = DriveType::kFixed;
  bool read_only = false;  // write-protected or read-only medium
  std::shared_ptr<FsNode> root_dir;
  // What a write on this volume answers: 19 on write-protected removable media, else 5.
  platform::DWORD WriteError() const;
};

// A path taken apart the way Windows reads it.
struct ParsedPath {
  platform::DWORD error = 0;  // 0, or the error Windows gives for a malformed path (123, 3...)
  std::u16string root;        // "C:" or "\\server\share", as written
  bool unc = false;
  bool verbatim = false;  // came in the "\\?\" form: no separator or dot rewriting
  std::vector<std::u16string> parts;
  bool trailing_separator = false;
  // The full path: root, parts joined with "\" and the trailing separator when there was one.
  std::u16string Text() const;
};

// Where a path leads.
struct Located {
  // 0 when `node` exists; otherwise what a lookup answers: 2 (not in an existing folder),
  // 3 (a folder on the way is missing or is a file), 123 (malformed), 53/67 (unknown share).
  platform::DWORD error = 0;
  Volume* volume = nullptr;
  std::shared_ptr<FsNode> parent;  // the folder that holds (or would hold) the object
  std::shared_ptr<FsNode> node;    // the object, when it exists
  ParsedPath path;                 // after redirection
  // The object's name as the path wrote it ("" for a root).
  const std::u16string& Leaf() const;
};

// Letter-case folding used for every name comparison (NTFS's upper-case table for the
// characters a Windows program meets: ASCII, Latin-1, Latin Extended-A, Greek, Cyrillic).
std::u16string FoldName(std::u16string_view name);
// True when `name` already is a valid 8.3 name (letter case ignored).
bool IsShortName(std::u16string_view name);
// FindFirstFileW's reading of a pattern: "*.*" is "*", and the DOS wildcards of
// FsRtlIsNameInExpression ("<" ">" "\"") stand for the DOS meanings of "*", "?" and ".".
std::u16string ToDosPattern(std::u16string_view pattern, bool had_trailing_dot);
bool DosPatternMatch(std::u16string_view dos_pattern, std::u16string_view name);
// PathMatchSpecW: ";"-separated patterns, leading blanks skipped, "*" and "?", no DOS rules.
bool PathSpecMatch(std::u16string_view name, std::u16string_view masks);

class FileSystem {
 public:
  // The default machine's disk: C: (NTFS) with Windows, System32, SysWOW64, Program Files,
  // ProgramData, the user profile with its shell folders, Public, Default and
  // C:\Tools\Kestrune.exe.
  explicit FileSystem(Machine& m);
  ~FileSystem();
  FileSystem(const FileSystem&) = delete;
  FileSystem& operator=(const FileSystem&) = delete;

  // ---- setup and inspection (paths as written, never redirected) ---------------------------
  // Adds a drive ("D:") or a share ("\\server\share") with an empty root; false when it exists.
  bool AddDrive(std::u16string_view root, std::u16string_view fs_name = u"NTFS",
                DriveType type = DriveType::kFixed, bool read_only = false);
  // The drive or share of that root ("C:", "c:\", "\\srv\share"); a mapped network drive
  // letter leads to its share. nullptr when there is none.
  Volume* FindVolume(std::u16string_view root);
  // Creates the folder and every missing one above it; false when a file is in the way.
  bool AddFolder(std::u16string_view path, platform::DWORD attributes = 0);
  // Creates or replaces a file (and its folders); false when a folder is in the way.
  bool AddFile(std::u16string_view path, std::vector<std::uint8_t> bytes,
               platform::DWORD attributes = 0);
  // The bytes of `text` as they are (UTF-8 or any single-byte text).
  bool AddFile(std::u16string_view path, std::string_view text, platform::DWORD attributes = 0);
  // UTF-16LE, with the FF FE mark when `bom`.
  bool AddFileUtf16(std::u16string_view path, std::u16string_view text, bool bom = true,
                    platform::DWORD attributes = 0);
  // The file's bytes; nullopt for a folder or a missing path.
  std::optional<std::vector<std::uint8_t>> ReadFile(std::u16string_view path) const;
  // The same bytes in a std::string (handy for ASCII and UTF-8 content).
  std::optional<std::string> ReadText(std::u16string_view path) const;
  bool Exists(std::u16string_view path) const;
  bool IsFolder(std::u16string_view path) const;
  // As GetFileAttributesW reports them; INVALID_FILE_ATTRIBUTES when missing.
  platform::DWORD Attributes(std::u16string_view path) const;
  bool SetAttributes(std::u16string_view path, platform::DWORD attributes);
  // Marks a file as held open exclusively by another process (or releases it).
  bool Lock(std::u16string_view path, bool locked);
  // Marks a file like pagefile.sys: locked, and even its attributes answer 32.
  bool LockAsPagingFile(std::u16string_view path);
  // Removes a file or a whole folder tree, whatever its attributes and locks.
  bool Remove(std::u16string_view path);
  // Names in a folder in the order FindFirstFileW lists them (without "." and "..").
  std::vector<std::u16string> List(std::u16string_view folder) const;
  // The object at the path; nullptr when missing.
  std::shared_ptr<FsNode> Find(std::u16string_view path) const;
  // Gives the object this owner and DACL (what is below it keeps its own); false when missing.
  // Files and folders made in a folder later inherit from it.
  bool SetSecurity(std::u16string_view path, const SimSecurity& security);
  // The owner and DACL that hold for the object; nullopt when it is missing.
  std::optional<SimSecurity> GetSecurity(std::u16string_view path) const;
  // Creates the user's shell folders for the machine's current Windows version and user
  // (the constructor does it for the default machine; an XP test calls it after changing facts).
  void AddShellFolders();

  // ---- state read and changed by the file calls --------------------------------------------
  // Wow64DisableWow64FsRedirection's state for the program's (only) thread.
  bool redirection_disabled = false;
  // Elevated programs start in System32, as Windows starts them.
  std::u16string current_directory = u"C:\\Windows\\System32";
  // MoveFileExW with MOVEFILE_DELAY_UNTIL_REBOOT: source and target (empty: delete).
  std::vector<std::pair<std::u16string, std::u16string>> pending_renames;

  // ---- services for the file calls -----------------------------------------------------------
  // True while a 32-bit process on 64-bit Windows sees System32 as SysWOW64.
  bool RedirectionActive() const;
  // True for a 32-bit process on 64-bit Windows (the only case where redirection exists).
  bool UnderWow64() const;
  // Takes a path apart against the current directory; `error` tells why it is malformed.
  ParsedPath Parse(std::u16string_view path, bool wildcards_in_leaf = false) const;
  // Parses, redirects when `redirect` and redirection is active, and walks the tree.
  Located Locate(std::u16string_view path, bool redirect = true,
                 bool wildcards_in_leaf = false) const;
  // The child of `folder` whose long or short name is `name`.
  static std::shared_ptr<FsNode> Child(const FsNode& folder, std::u16string_view name);
  // Creates `name` in `folder` with a fresh 8.3 alias and the current time.
  std::shared_ptr<FsNode> NewNode(FsNode& folder, std::u16string_view name, bool is_dir);
  // Puts an existing node (moved or renamed) into `folder` under `name`.
  void Attach(FsNode& folder, std::shared_ptr<FsNode> node, std::u16string_view name);
  // Takes `child` out of `folder`; open handles keep the node itself alive.
  static void Detach(FsNode& folder, const FsNode& child);
  // Now, as a UTC FILETIME tick count of the machine clock.
  std::int64_t NowTicks() const;
  // True when `folder` is the current directory or holds it.
  bool HoldsCurrentDirectory(const FsNode& folder) const;
  // The owner and DACL that hold for the object `at` leads to (its own, else the default of its
  // place); for a missing object those of the folder that would hold it.
  SimSecurity Security(const Located& at) const;
  // 0 when the program's token may do `desired` to the object `at` leads to, else 5.
  platform::DWORD AccessError(const Located& at, platform::DWORD desired) const;
  // 0 when it may make a file (or, with `folder`, a folder) where `at` leads, else 5.
  platform::DWORD CreateError(const Located& at, bool folder) const;
  // 0 when it may delete the object: DELETE on it, or FILE_DELETE_CHILD on its folder; else 5.
  platform::DWORD DeleteError(const Located& at) const;
  // A fresh number for an open handle's share record.
  std::uint64_t NextOpenId() { return ++open_ids_; }

 private:
  void Redirect(ParsedPath& p) const;
  std::shared_ptr<FsNode> MakePath(std::u16string_view path, bool last_is_file);
  std::u16string MakeShortName(const FsNode& folder, std::u16string_view name) const;

  Machine& m_;
  std::vector<std::unique_ptr<Volume>> volumes_;
  std::uint64_t open_ids_ = 0;
};

}  // namespace kes::sim
