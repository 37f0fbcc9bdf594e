#include "platform/sim/file_system.h"

#include <algorithm>
#include <utility>

#include "platform/base/u16.h"
#include "platform/base/utf16le.h"
#include "platform/sim/access_control.h"
#include "platform/sim/accounts.h"
#include "platform/sim/machine.h"
#include "platform/sim/time_zone.h"

namespace kes::sim {

using platform::DWORD;

namespace {

char16_t FoldChar(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F) {
    // Latin Extended-A pairs upper/lower on even/odd, except the two runs that start odd.
    const bool odd_upper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    if (odd_upper) return (c % 2 == 0) ? static_cast<char16_t>(c - 1) : c;
    return (c % 2 == 1) ? static_cast<char16_t>(c - 1) : c;
  }
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<char16_t>(c - 32);
  if (c == 0x3C2) return 0x3A3;
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 32);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 80);
  if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<char16_t>(c - 32);
  return c;
}

bool IsShortNameChar(char16_t c) {
  if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')) {
    return true;
  }
  return std::u16string_view(u"$%'-_@~`!(){}^#&").find(c) != std::u16string_view::npos;
}

std::vector<std::uint8_t> Bytes(std::string_view s) {
  return {s.begin(), s.end()};
}

// Placeholder executables: an MZ header and a line telling which copy this is, so that a test
// can see whether it reached System32 or SysWOW64.
std::vector<std::uint8_t> Placeholder(std::u16string_view where) {
  return Bytes("MZ\x90" + std::string(" simulated program: ") + Utf8(where));
}

}  // namespace

std::u16string FoldName(std::u16string_view name) {
  std::u16string out(name);
  for (auto& c : out) c = FoldChar(c);
  return out;
}

bool IsShortName(std::u16string_view name) {
  if (name.empty() || name == u"." || name == u"..") return false;
  const std::size_t dot = name.find(u'.');
  const std::u16string_view base = name.substr(0, dot);
  const std::u16string_view ext =
      dot == std::u16string_view::npos ? std::u16string_view() : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || ext.size() > 3) return false;
  if (dot != std::u16string_view::npos && ext.empty()) return false;
  for (char16_t c : base)
    if (!IsShortNameChar(c)) return false;
  for (char16_t c : ext)
    if (!IsShortNameChar(c)) return false;
  return true;
}

DWORD FsNode::ReportedAttributes() const {
  if (is_dir) return attributes | platform::kFILE_ATTRIBUTE_DIRECTORY;
  return attributes == 0 ? platform::kFILE_ATTRIBUTE_NORMAL : attributes;
}

DWORD Volume::WriteError() const {
  return type == DriveType::kRemovable ? platform::kERROR_WRITE_PROTECT
                                       : platform::kERROR_ACCESS_DENIED;
}

FileSystem::FileSystem(Machine& m) : m_(m) {
  using platform::kFILE_ATTRIBUTE_ARCHIVE;
  using platform::kFILE_ATTRIBUTE_HIDDEN;
  using platform::kFILE_ATTRIBUTE_SYSTEM;
  AddDrive(u"C:", u"NTFS");
  const std::u16string win = m_.facts.windows_dir;
  for (const char16_t* tool : {u"cmd.exe", u"reg.exe", u"bcdedit.exe", u"net.exe", u"net1.exe",
                               u"shutdown.exe", u"logoff.exe", u"control.exe", u"find.exe"}) {
    AddFile(win + u"\\System32\\" + tool, Placeholder(u"System32\\" + std::u16string(tool)),
            kFILE_ATTRIBUTE_ARCHIVE);
  }
  // bcdedit.exe has no 32-bit copy: a 32-bit program finds it only with redirection off.
  for (const char16_t* tool : {u"cmd.exe", u"reg.exe", u"net.exe", u"net1.exe", u"shutdown.exe",
                               u"logoff.exe", u"control.exe", u"find.exe"}) {
    AddFile(win + u"\\SysWOW64\\" + tool, Placeholder(u"SysWOW64\\" + std::u16string(tool)),
            kFILE_ATTRIBUTE_ARCHIVE);
  }
  AddFile(win + u"\\System32\\drivers\\etc\\hosts", "127.0.0.1       localhost\r\n",
          kFILE_ATTRIBUTE_ARCHIVE);
  AddFolder(win + u"\\System32\\config");
  AddFile(win + u"\\explorer.exe", Placeholder(u"explorer.exe"), kFILE_ATTRIBUTE_ARCHIVE);
  AddFile(win + u"\\regedit.exe", Placeholder(u"regedit.exe"), kFILE_ATTRIBUTE_ARCHIVE);
  AddFolder(win + u"\\Fonts", kFILE_ATTRIBUTE_SYSTEM);
  AddFolder(win + u"\\Temp");
  // Created in this order so that the 8.3 aliases come out as on a real installation:
  // PROGRA~1, PROGRA~2, PROGRA~3.
  AddFolder(u"C:\\Program Files\\Common Files");
  AddFolder(u"C:\\Program Files (x86)\\Common Files");
  AddFolder(u"C:\\ProgramData", kFILE_ATTRIBUTE_HIDDEN);
  AddFile(u"C:\\Tools\\Kestrune.exe", Placeholder(u"Kestrune.exe"), kFILE_ATTRIBUTE_ARCHIVE);
  AddFile(u"C:\\pagefile.sys", std::vector<std::uint8_t>(),
          kFILE_ATTRIBUTE_HIDDEN | kFILE_ATTRIBUTE_SYSTEM | kFILE_ATTRIBUTE_ARCHIVE);
  LockAsPagingFile(u"C:\\pagefile.sys");
  AddShellFolders();
}

FileSystem::~FileSystem() = default;

void FileSystem::AddShellFolders() {
  const bool xp = m_.facts.version.dwMajorVersion != 0 && m_.facts.version.dwMajorVersion < 6;
  const std::u16string drive = m_.facts.windows_dir.substr(0, 2);
  const std::u16string users = drive + (xp ? u"\\Documents and Settings" : u"\\Users");
  const std::u16string profile = users + u"\\" + m_.user_name;
  const DWORD hidden = platform::kFILE_ATTRIBUTE_HIDDEN;
  if (xp) {
    const std::u16string all = users + u"\\All Users";
    for (const char16_t* sub :
         {u"\\Desktop", u"\\My Documents\\My Music", u"\\My Documents\\My Pictures",
          u"\\My Documents\\My Videos", u"\\Start Menu\\Programs\\Startup", u"\\Recent",
          u"\\SendTo", u"\\Templates", u"\\PrintHood", u"\\NetHood", u"\\Favorites",
          u"\\Application Data", u"\\Local Settings\\Application Data", u"\\Local Settings\\Temp",
          u"\\Local Settings\\History"}) {
      AddFolder(profile + sub);
    }
    for (const char16_t* sub : {u"\\Desktop", u"\\Documents", u"\\Application Data",
                                u"\\Start Menu\\Programs\\Startup", u"\\Templates"}) {
      AddFolder(all + sub);
    }
    AddFolder(users + u"\\Default User\\Desktop", hidden);
    return;
  }
  const std::u16string roaming = u"\\AppData\\Roaming\\Microsoft\\Windows";
  for (const std::u16string& home : {profile, users + u"\\Default"}) {
    for (const char16_t* sub :
         {u"\\Desktop", u"\\Documents", u"\\Downloads", u"\\Favorites", u"\\Music", u"\\Pictures",
          u"\\Videos", u"\\AppData\\Local\\Temp", u"\\AppData\\Local\\Microsoft\\Windows\\History",
          u"\\AppData\\Local\\Microsoft\\Windows\\INetCache"}) {
      AddFolder(home + sub);
    }
    for (const char16_t* sub :
         {u"\\Start Menu\\Programs\\Startup", u"\\Start Menu\\Programs\\Administrative Tools",
          u"\\Recent", u"\\SendTo", u"\\Templates", u"\\Printer Shortcuts",
          u"\\Network Shortcuts"}) {
      AddFolder(home + roaming + sub);
    }
    SetAttributes(home + u"\\AppData", hidden);
  }
  SetAttributes(users + u"\\Default", hidden);
  for (const char16_t* sub :
       {u"\\Desktop", u"\\Documents", u"\\Music", u"\\Pictures", u"\\Videos"}) {
    AddFolder(users + u"\\Public" + sub);
  }
  const std::u16string common = drive + u"\\ProgramData\\Microsoft\\Windows";
  for (const char16_t* sub : {u"\\Start Menu\\Programs\\StartUp",
                              u"\\Start Menu\\Programs\\Administrative Tools", u"\\Templates"}) {
    AddFolder(common + sub);
  }
}

// ---- volumes ---------------------------------------------------------------------------------

bool FileSystem::AddDrive(std::u16string_view root, std::u16string_view fs_name, DriveType type,
                          bool read_only) {
  std::u16string r(root);
  while (r.size() > 2 && r.back() == u'\\') r.pop_back();
  if (FindVolume(r)) return false;
  auto v = std::make_unique<Volume>();
  v->root = r;
  v->fs_name = fs_name;
  // A share is a network volume whatever the caller passed.
  v->type = r.starts_with(u"\\\\") ? DriveType::kRemote : type;
  v->read_only = read_only;
  v->root_dir = std::make_shared<FsNode>();
  v->root_dir->is_dir = true;
  // Windows marks the root folder of an NTFS volume hidden and system.
  if (fs_name == u"NTFS") {
    v->root_dir->attributes = platform::kFILE_ATTRIBUTE_HIDDEN | platform::kFILE_ATTRIBUTE_SYSTEM;
  }
  v->root_dir->created = v->root_dir->accessed = v->root_dir->written = NowTicks();
  volumes_.push_back(std::move(v));
  return true;
}

Volume* FileSystem::FindVolume(std::u16string_view root) {
  std::u16string_view r = root;
  while (r.size() > 2 && r.back() == u'\\') r.remove_suffix(1);
  const std::u16string key = FoldName(r);
  for (auto& v : volumes_)
    if (FoldName(v->root) == key) return v.get();
  if (r.size() == 2 && r[1] == u':') {
    for (const auto& [drive, share] : m_.network_drives)
      if (FoldName(drive) == key) return FindVolume(share);
  }
  return nullptr;
}

// ---- nodes -----------------------------------------------------------------------------------

std::int64_t FileSystem::NowTicks() const {
  return (m_.local_ms + CurrentBiasMinutes(m_) * 60000) * 10000;
}

std::shared_ptr<FsNode> FileSystem::Child(const FsNode& folder, std::u16string_view name) {
  const std::u16string key = FoldName(name);
  auto it = folder.children.find(key);
  if (it != folder.children.end()) return it->second;
  for (const auto& [k, child] : folder.children)
    if (!child->short_name.empty() && child->short_name == key) return child;
  return nullptr;
}

std::u16string FileSystem::MakeShortName(const FsNode& folder, std::u16string_view name) const {
  if (IsShortName(name)) return u"";
  std::u16string_view n = name;
  while (!n.empty() && n.front() == u'.') n.remove_prefix(1);
  const std::size_t dot = n.rfind(u'.');
  auto clean = [](std::u16string_view s, std::size_t max) {
    std::u16string out;
    for (char16_t c : s) {
      if (out.size() == max) break;
      if (c == u' ' || c == u'.') continue;
      const char16_t u = FoldChar(c);
      out.push_back(IsShortNameChar(u) ? u : u'_');
    }
    return out;
  };
  const std::u16string base = clean(n.substr(0, dot), 8);
  const std::u16string ext = dot == std::u16string_view::npos ? u"" : clean(n.substr(dot + 1), 3);
  for (int i = 1; i < 1000000; ++i) {
    const std::u16string tail = u"~" + Dec(i);
    std::u16string candidate = base.substr(0, std::min<std::size_t>(base.size(), 8 - tail.size()));
    candidate += tail;
    if (!ext.empty()) candidate += u"." + ext;
    bool taken = folder.children.count(candidate) != 0;
    for (const auto& [k, child] : folder.children)
      if (child->short_name == candidate) taken = true;
    if (!taken) return candidate;
  }
  return u"";
}

std::shared_ptr<FsNode> FileSystem::NewNode(FsNode& folder, std::u16string_view name, bool is_dir) {
  auto node = std::make_shared<FsNode>();
  node->is_dir = is_dir;
  if (folder.security) {
    node->security = std::make_shared<SimSecurity>(InheritedSecurity(
        *folder.security, is_dir ? ObjectKind::kFolder : ObjectKind::kFile, TokenOwner(m_)));
  }
  node->created = node->accessed = node->written = NowTicks();
  Attach(folder, node, name);
  return node;
}

void FileSystem::Attach(FsNode& folder, std::shared_ptr<FsNode> node, std::u16string_view name) {
  node->name = name;
  node->short_name = MakeShortName(folder, name);
  folder.children[FoldName(name)] = std::move(node);
}

void FileSystem::Detach(FsNode& folder, const FsNode& child) {
  folder.children.erase(FoldName(child.name));
}

bool FileSystem::HoldsCurrentDirectory(const FsNode& folder) const {
  const Located at = Locate(current_directory, false);
  if (!at.volume) return false;
  const FsNode* cur = at.volume->root_dir.get();
  if (cur == &folder) return true;
  for (const auto& part : at.path.parts) {
    auto next = Child(*cur, part);
    if (!next) return false;
    cur = next.get();
    if (cur == &folder) return true;
  }
  return false;
}

// ---- setup helpers ---------------------------------------------------------------------------

std::shared_ptr<FsNode> FileSystem::MakePath(std::u16string_view path, bool last_is_file) {
  const ParsedPath p = Parse(path);
  if (p.error || p.parts.empty()) return nullptr;
  Volume* v = FindVolume(p.root);
  if (!v) return nullptr;
  std::shared_ptr<FsNode> cur = v->root_dir;
  const std::size_t folders = last_is_file ? p.parts.size() - 1 : p.parts.size();
  for (std::size_t i = 0; i < folders; ++i) {
    auto next = Child(*cur, p.parts[i]);
    if (!next) next = NewNode(*cur, p.parts[i], true);
    if (!next->is_dir) return nullptr;
    cur = next;
  }
  if (!last_is_file) return cur;
  auto file = Child(*cur, p.parts.back());
  if (file && file->is_dir) return nullptr;
  if (!file) file = NewNode(*cur, p.parts.back(), false);
  return file;
}

bool FileSystem::AddFolder(std::u16string_view path, DWORD attributes) {
  auto node = MakePath(path, false);
  if (!node) return false;
  if (attributes) node->attributes = attributes & ~platform::kFILE_ATTRIBUTE_DIRECTORY;
  return true;
}

bool FileSystem::AddFile(std::u16string_view path, std::vector<std::uint8_t> bytes,
                         DWORD attributes) {
  auto node = MakePath(path, true);
  if (!node) return false;
  node->data = std::move(bytes);
  node->attributes =
      attributes & ~(platform::kFILE_ATTRIBUTE_DIRECTORY | platform::kFILE_ATTRIBUTE_NORMAL);
  node->written = node->accessed = NowTicks();
  return true;
}

bool FileSystem::AddFile(std::u16string_view path, std::string_view text, DWORD attributes) {
  return AddFile(path, Bytes(text), attributes);
}

bool FileSystem::AddFileUtf16(std::u16string_view path, std::u16string_view text, bool bom,
                              DWORD attributes) {
  std::vector<std::uint8_t> bytes;
  if (bom) bytes = {0xFF, 0xFE};
  AppendUtf16Le(text, bytes);
  return AddFile(path, std::move(bytes), attributes);
}

std::shared_ptr<FsNode> FileSystem::Find(std::u16string_view path) const {
  const Located at = Locate(path, false);
  return at.error == 0 ? at.node : nullptr;
}

std::optional<std::vector<std::uint8_t>> FileSystem::ReadFile(std::u16string_view path) const {
  auto node = Find(path);
  if (!node || node->is_dir) return std::nullopt;
  return node->data;
}

std::optional<std::string> FileSystem::ReadText(std::u16string_view path) const {
  auto bytes = ReadFile(path);
  if (!bytes) return std::nullopt;
  return std::string(bytes->begin(), bytes->end());
}

bool FileSystem::Exists(std::u16string_view path) const {
  return Find(path) != nullptr;
}

bool FileSystem::IsFolder(std::u16string_view path) const {
  auto node = Find(path);
  return node && node->is_dir;
}

DWORD FileSystem::Attributes(std::u16string_view path) const {
  auto node = Find(path);
  return node ? node->ReportedAttributes() : platform::kINVALID_FILE_ATTRIBUTES;
}

bool FileSystem::SetAttributes(std::u16string_view path, DWORD attributes) {
  auto node = Find(path);
  if (!node) return false;
  node->attributes =
      attributes & ~(platform::kFILE_ATTRIBUTE_DIRECTORY | platform::kFILE_ATTRIBUTE_NORMAL);
  return true;
}

bool FileSystem::Lock(std::u16string_view path, bool locked) {
  auto node = Find(path);
  if (!node) return false;
  node->locked = locked;
  if (!locked) node->paging_file = false;
  return true;
}

bool FileSystem::LockAsPagingFile(std::u16string_view path) {
  auto node = Find(path);
  if (!node) return false;
  node->locked = node->paging_file = true;
  return true;
}

bool FileSystem::Remove(std::u16string_view path) {
  const Located at = Locate(path, false);
  if (at.error || !at.parent) return false;
  Detach(*at.parent, *at.node);
  return true;
}

bool FileSystem::SetSecurity(std::u16string_view path, const SimSecurity& security) {
  auto node = Find(path);
  if (!node) return false;
  node->security = std::make_shared<SimSecurity>(security);
  return true;
}

std::optional<SimSecurity> FileSystem::GetSecurity(std::u16string_view path) const {
  const Located at = Locate(path, false);
  if (at.error) return std::nullopt;
  return Security(at);
}

// ---- access checks ---------------------------------------------------------------------------

SimSecurity FileSystem::Security(const Located& at) const {
  const bool missing = !at.node;
  const FsNode* node = missing ? at.parent.get() : at.node.get();
  if (node && node->security) return *node->security;
  // A profile folder and everything in it belongs to its account as well.
  const auto& parts = at.path.parts;
  std::string personal;
  if (!at.path.unc && parts.size() >= (missing ? 3u : 2u) &&
      (EqualsNoCase(parts[0], u"Users") || EqualsNoCase(parts[0], u"Documents and Settings")) &&
      FindAccount(m_, parts[1])) {
    personal = LocalAccountSid(parts[1]);
  }
  const bool folder = missing || !node || node->is_dir;
  return DefaultSecurity(folder ? ObjectKind::kFolder : ObjectKind::kFile, personal);
}

DWORD FileSystem::AccessError(const Located& at, DWORD desired) const {
  if (!at.node) return 0;
  const ObjectKind kind = at.node->is_dir ? ObjectKind::kFolder : ObjectKind::kFile;
  return AccessCheck(m_, Security(at), kind, desired) ? 0 : DWORD{platform::kERROR_ACCESS_DENIED};
}

DWORD FileSystem::CreateError(const Located& at, bool folder) const {
  Located where = at;
  where.node = nullptr;                    // the folder that receives it decides
  const DWORD right = folder ? 0x4 : 0x2;  // FILE_ADD_SUBDIRECTORY : FILE_ADD_FILE
  return AccessCheck(m_, Security(where), ObjectKind::kFolder, right)
             ? 0
             : DWORD{platform::kERROR_ACCESS_DENIED};
}

DWORD FileSystem::DeleteError(const Located& at) const {
  if (AccessError(at, platform::kDELETE) == 0) return 0;
  Located where = at;
  where.node = nullptr;
  constexpr DWORD kFILE_DELETE_CHILD = 0x40;
  return AccessCheck(m_, Security(where), ObjectKind::kFolder, kFILE_DELETE_CHILD)
             ? 0
             : DWORD{platform::kERROR_ACCESS_DENIED};
}

std::vector<std::u16string> FileSystem::List(std::u16string_view folder) const {
  std::vector<std::u16string> names;
  auto node = Find(folder);
  if (!node || !node->is_dir) return names;
  for (const auto& [key, child] : node->children) names.push_back(child->name);
  return names;
}

}  // namespace kes::sim
