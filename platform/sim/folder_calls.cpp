// Well-known folders, path conversions and volume queries of the simulated machine.
#include <algorithm>

#include "platform/base/u16.h"
#include "platform/sim/file_calls.h"

namespace kes::sim {
namespace {
using namespace platform;  // NOLINT: Win32 names read best unqualified here

LONG HResultFromWin32(DWORD e) {
  return e == 0 ? kS_OK : static_cast<LONG>(0x80070000u | (e & 0xFFFF));
}

// Length of the root part of a path as written ("C:\", "\\?\C:\", "\\srv\share\"...), so that
// the parts after it can be converted one by one and the rest kept as the caller wrote it.
std::size_t RootLength(std::u16string_view s) {
  std::size_t i = 0;
  if (s.starts_with(u"\\\\?\\") || s.starts_with(u"\\??\\") || s.starts_with(u"\\\\.\\")) {
    i = 4;
    if (s.size() >= i + 4 && EqualsNoCase(s.substr(i, 4), u"UNC\\")) {
      i += 4;
      int seps = 0;
      while (i < s.size() && seps < 2)
        if (s[i++] == u'\\') ++seps;
      return i;
    }
  } else if (s.starts_with(u"\\\\") || s.starts_with(u"//")) {
    i = 2;
    int seps = 0;
    while (i < s.size() && seps < 2) {
      const char16_t c = s[i++];
      if (c == u'\\' || c == u'/') ++seps;
    }
    return i;
  }
  if (s.size() >= i + 2 && s[i + 1] == u':') i += 2;
  if (i < s.size() && (s[i] == u'\\' || s[i] == u'/')) ++i;
  return i;
}

// Where each shell folder lives: a base folder and the rest of the path, on Vista and later
// and (when it differs) on XP.
enum class FolderBase {
  kProfile,
  kRoaming,  // Vista: AppData\Roaming\Microsoft\Windows; XP: the profile itself
  kLocal,    // Vista: AppData\Local\Microsoft\Windows; XP: Local Settings
  kAllUsers,
  kCommon,  // Vista: ProgramData\Microsoft\Windows; XP: All Users
  kPublic,
  kWindows,
  kSystemX86,
  kProgramFiles,
  kProgramFilesX86,
};

struct FolderRule {
  int csidl;
  FolderBase base;
  const char16_t* vista;
  const char16_t* xp;  // nullptr: as on Vista
};

constexpr FolderRule kFolderRules[] = {
    {0x00, FolderBase::kProfile, u"\\Desktop", nullptr},
    {0x02, FolderBase::kRoaming, u"\\Start Menu\\Programs", nullptr},
    {0x05, FolderBase::kProfile, u"\\Documents", u"\\My Documents"},
    {0x06, FolderBase::kProfile, u"\\Favorites", nullptr},
    {0x07, FolderBase::kRoaming, u"\\Start Menu\\Programs\\Startup", nullptr},
    {0x08, FolderBase::kRoaming, u"\\Recent", nullptr},
    {0x09, FolderBase::kRoaming, u"\\SendTo", nullptr},
    {0x0B, FolderBase::kRoaming, u"\\Start Menu", nullptr},
    {0x0D, FolderBase::kProfile, u"\\Music", u"\\My Documents\\My Music"},
    {0x0E, FolderBase::kProfile, u"\\Videos", u"\\My Documents\\My Videos"},
    {0x10, FolderBase::kProfile, u"\\Desktop", nullptr},
    {0x13, FolderBase::kRoaming, u"\\Network Shortcuts", u"\\NetHood"},
    {0x14, FolderBase::kWindows, u"\\Fonts", nullptr},
    {0x15, FolderBase::kRoaming, u"\\Templates", nullptr},
    {0x16, FolderBase::kCommon, u"\\Start Menu", nullptr},
    {0x17, FolderBase::kCommon, u"\\Start Menu\\Programs", nullptr},
    {0x18, FolderBase::kCommon, u"\\Start Menu\\Programs\\StartUp",
     u"\\Start Menu\\Programs\\Startup"},
    {0x19, FolderBase::kPublic, u"\\Desktop", nullptr},
    {0x1A, FolderBase::kProfile, u"\\AppData\\Roaming", u"\\Application Data"},
    {0x1B, FolderBase::kRoaming, u"\\Printer Shortcuts", u"\\PrintHood"},
    {0x1C, FolderBase::kProfile, u"\\AppData\\Local", u"\\Local Settings\\Application Data"},
    {0x20, FolderBase::kLocal, u"\\INetCache", u"\\Temporary Internet Files"},
    {0x22, FolderBase::kLocal, u"\\History", nullptr},
    {0x23, FolderBase::kAllUsers, u"", u"\\Application Data"},
    {0x24, FolderBase::kWindows, u"", nullptr},
    {0x25, FolderBase::kWindows, u"\\system32", nullptr},
    {0x26, FolderBase::kProgramFiles, u"", nullptr},
    {0x27, FolderBase::kProfile, u"\\Pictures", u"\\My Documents\\My Pictures"},
    {0x28, FolderBase::kProfile, u"", nullptr},
    {0x29, FolderBase::kSystemX86, u"", nullptr},
    {0x2A, FolderBase::kProgramFilesX86, u"", nullptr},
    {0x2B, FolderBase::kProgramFiles, u"\\Common Files", nullptr},
    {0x2C, FolderBase::kProgramFilesX86, u"\\Common Files", nullptr},
    {0x2D, FolderBase::kCommon, u"\\Templates", nullptr},
    {0x2E, FolderBase::kPublic, u"\\Documents", nullptr},
    {0x2F, FolderBase::kCommon, u"\\Start Menu\\Programs\\Administrative Tools", nullptr},
    {0x30, FolderBase::kRoaming, u"\\Start Menu\\Programs\\Administrative Tools", nullptr},
    {0x35, FolderBase::kPublic, u"\\Music", u"\\Documents\\My Music"},
    {0x36, FolderBase::kPublic, u"\\Pictures", u"\\Documents\\My Pictures"},
    {0x37, FolderBase::kPublic, u"\\Videos", u"\\Documents\\My Videos"},
};

}  // namespace

DWORD SimFileApi::Deliver(const std::u16string& text, char16_t* buf, DWORD size) {
  const DWORD len = static_cast<DWORD>(text.size());
  if (!buf || size <= len) return len + 1;
  std::copy(text.begin(), text.end(), buf);
  buf[len] = u'\0';
  return len;
}

bool SimFileApi::OldProfileLayout() const {
  const DWORD major = m_.facts.version.dwMajorVersion;
  return major != 0 && major < 6;
}

std::u16string SimFileApi::ProfilesDir() const {
  return m_.facts.windows_dir.substr(0, 2) +
         (OldProfileLayout() ? u"\\Documents and Settings" : u"\\Users");
}

std::u16string SimFileApi::ProfileDir() const {
  if (auto p = m_.GetEnv(u"USERPROFILE"); p && !p->empty()) return *p;
  return ProfilesDir() + u"\\" + m_.user_name;
}

// ---- temp files ------------------------------------------------------------------------------

DWORD SimFileApi::GetTempPathW(DWORD size, char16_t* buf) {
  if (auto e = m_.Gate("GetTempPathW")) return Fail(*e, DWORD{0});
  std::u16string dir;
  for (const char16_t* var : {u"TMP", u"TEMP", u"USERPROFILE"}) {
    if (auto v = m_.GetEnv(var); v && !v->empty()) {
      dir = *v;
      break;
    }
  }
  if (dir.empty()) dir = m_.facts.windows_dir;
  const ParsedPath p = fs_.Parse(dir, true);
  std::u16string text = p.error ? dir : p.Text();
  if (text.empty() || text.back() != u'\\') text += u'\\';
  return Deliver(text, buf, size);
}

UINT SimFileApi::GetTempFileNameW(const char16_t* path, const char16_t* prefix, UINT unique,
                                  char16_t* buf) {
  if (auto e = m_.Gate("GetTempFileNameW")) return Fail(*e, UINT{0});
  if (!path || !buf) return Fail(kERROR_INVALID_PARAMETER, UINT{0});
  std::u16string dir(path);
  if (dir.empty()) dir = u".";
  const ParsedPath parsed = fs_.Parse(dir);
  std::u16string base = parsed.error ? dir : parsed.Text();
  if (base.back() != u'\\') base += u'\\';
  base += std::u16string(prefix ? prefix : u"").substr(0, 3);
  auto name_of = [&](UINT n) { return base + Hex(n) + u".tmp"; };
  auto deliver = [&](const std::u16string& name) {
    if (name.size() >= kMAX_PATH) return false;
    std::copy(name.begin(), name.end(), buf);
    buf[name.size()] = u'\0';
    return true;
  };
  if (unique != 0) {
    unique &= 0xFFFF;
    if (!deliver(name_of(unique))) return Fail(kERROR_INVALID_PARAMETER, UINT{0});
    return unique;
  }
  const Located folder = fs_.Locate(dir);
  if (folder.error || !folder.node->is_dir) return Fail(kERROR_DIRECTORY, UINT{0});
  if (folder.volume->read_only) return Fail(folder.volume->WriteError(), UINT{0});
  // Windows starts from the tick count and takes the next number whose file can be created.
  UINT n = m_.tick_ms & 0xFFFF;
  for (int tries = 0; tries < 0xFFFF; ++tries, n = (n + 1) & 0xFFFF) {
    if (n == 0) continue;
    const std::u16string name = name_of(n);
    const Located at = fs_.Locate(name);
    if (at.error != kERROR_FILE_NOT_FOUND) continue;
    if (!deliver(name)) return Fail(kERROR_INVALID_PARAMETER, UINT{0});
    fs_.NewNode(*at.parent, at.Leaf(), false)->attributes = kFILE_ATTRIBUTE_ARCHIVE;
    return n;
  }
  return Fail(kERROR_FILE_EXISTS, UINT{0});
}

// ---- path conversions ------------------------------------------------------------------------

// GetLongPathNameW and GetShortPathNameW: each part that names an existing object through its
// other name is replaced; everything else stays as the caller wrote it.
static std::u16string ConvertNames(FileSystem& fs, const std::u16string& s, bool to_long,
                                   DWORD* error) {
  const Located whole = fs.Locate(s);
  if (whole.error) {
    // The conversion looks each part up in its folder, so any missing part reads as 2.
    *error = whole.volume ? kERROR_FILE_NOT_FOUND : whole.error;
    return u"";
  }
  const std::size_t root = RootLength(s);
  std::u16string out = s.substr(0, root);
  std::size_t i = root;
  while (i < s.size()) {
    std::size_t end = i;
    while (end < s.size() && s[end] != u'\\' && s[end] != u'/') ++end;
    const std::u16string part = s.substr(i, end - i);
    std::u16string written = part;
    if (!part.empty() && part != u"." && part != u"..") {
      const Located at = fs.Locate(s.substr(0, end));
      if (at.error == 0) {
        const FsNode& n = *at.node;
        const std::u16string folded = FoldName(part);
        if (to_long && !n.short_name.empty() && folded == n.short_name) written = n.name;
        if (!to_long && !n.short_name.empty() && folded == FoldName(n.name)) {
          written = n.short_name;
        }
      }
    }
    out += written;
    if (end < s.size()) out += s[end];
    i = end + 1;
  }
  return out;
}

DWORD SimFileApi::GetLongPathNameW(const char16_t* short_path, char16_t* buf, DWORD size) {
  if (auto e = m_.Gate("GetLongPathNameW")) return Fail(*e, DWORD{0});
  if (!short_path) return Fail(kERROR_INVALID_PARAMETER, DWORD{0});
  DWORD error = 0;
  const std::u16string out = ConvertNames(fs_, short_path, true, &error);
  if (error) return Fail(error, DWORD{0});
  return Deliver(out, buf, size);
}

DWORD SimFileApi::GetShortPathNameW(const char16_t* long_path, char16_t* buf, DWORD size) {
  if (auto e = m_.Gate("GetShortPathNameW")) return Fail(*e, DWORD{0});
  if (!long_path) return Fail(kERROR_INVALID_PARAMETER, DWORD{0});
  DWORD error = 0;
  const std::u16string out = ConvertNames(fs_, long_path, false, &error);
  if (error) return Fail(error, DWORD{0});
  return Deliver(out, buf, size);
}

DWORD SimFileApi::GetFullPathNameW(const char16_t* name, DWORD size, char16_t* buf) {
  if (auto e = m_.Gate("GetFullPathNameW")) return Fail(*e, DWORD{0});
  if (!name || !*name) return Fail(kERROR_INVALID_NAME, DWORD{0});
  const std::u16string s(name);
  if (s.starts_with(u"\\\\?\\")) return Deliver(s, buf, size);
  const ParsedPath p = fs_.Parse(s, true);
  if (p.error) return Fail(p.error, DWORD{0});
  return Deliver(p.Text(), buf, size);
}

DWORD SimFileApi::GetCurrentDirectoryW(DWORD size, char16_t* buf) {
  if (auto e = m_.Gate("GetCurrentDirectoryW")) return Fail(*e, DWORD{0});
  return Deliver(fs_.current_directory, buf, size);
}

BOOL SimFileApi::SetCurrentDirectoryW(const char16_t* path) {
  if (auto e = m_.Gate("SetCurrentDirectoryW")) return Fail(*e, BOOL{0});
  if (!path) return Fail(kERROR_INVALID_PARAMETER, BOOL{0});
  const Located at = fs_.Locate(path);
  if (at.error) return Fail(at.error, BOOL{0});
  if (!at.node->is_dir) return Fail(kERROR_DIRECTORY, BOOL{0});
  ParsedPath p = fs_.Parse(path);
  p.trailing_separator = false;
  fs_.current_directory = p.Text();
  return 1;
}

// ---- well-known folders ----------------------------------------------------------------------

UINT SimFileApi::GetWindowsDirectoryW(char16_t* buf, UINT size) {
  if (auto e = m_.Gate("GetWindowsDirectoryW")) return Fail(*e, UINT{0});
  return Deliver(m_.facts.windows_dir, buf, size);
}

UINT SimFileApi::GetSystemDirectoryW(char16_t* buf, UINT size) {
  if (auto e = m_.Gate("GetSystemDirectoryW")) return Fail(*e, UINT{0});
  return Deliver(m_.facts.windows_dir + u"\\system32", buf, size);
}

LONG SimFileApi::SHGetFolderPathW(int csidl, char16_t* path) {
  if (auto e = m_.Gate("SHGetFolderPathW")) return HResultFromWin32(*e);
  if (path) path[0] = u'\0';
  const FolderRule* rule = nullptr;
  for (const auto& r : kFolderRules)
    if (r.csidl == (csidl & 0xFF)) rule = &r;
  if (!rule) return kE_INVALIDARG;
  const bool xp = OldProfileLayout();
  const std::u16string win = m_.facts.windows_dir;
  const std::u16string drive = win.substr(0, 2);
  const std::u16string profile = ProfileDir();
  const std::u16string all = xp ? ProfilesDir() + u"\\All Users" : drive + u"\\ProgramData";
  const std::u16string pf_native = drive + u"\\Program Files";
  const std::u16string pf_x86 = m_.facts.is_64bit ? drive + u"\\Program Files (x86)" : pf_native;
  std::u16string folder;
  switch (rule->base) {
    case FolderBase::kProfile:
      folder = profile;
      break;
    case FolderBase::kRoaming:
      folder = xp ? profile : profile + u"\\AppData\\Roaming\\Microsoft\\Windows";
      break;
    case FolderBase::kLocal:
      folder = profile + (xp ? u"\\Local Settings" : u"\\AppData\\Local\\Microsoft\\Windows");
      break;
    case FolderBase::kAllUsers:
      folder = all;
      break;
    case FolderBase::kCommon:
      folder = xp ? all : all + u"\\Microsoft\\Windows";
      break;
    case FolderBase::kPublic:
      folder = xp ? all : ProfilesDir() + u"\\Public";
      break;
    case FolderBase::kWindows:
      folder = win;
      break;
    case FolderBase::kSystemX86:
      folder = win + (m_.facts.is_64bit ? u"\\SysWOW64" : u"\\system32");
      break;
    // The program's own view: a 32-bit process on 64-bit Windows is shown the x86 folder.
    case FolderBase::kProgramFiles:
      folder = fs_.UnderWow64() ? pf_x86 : pf_native;
      break;
    case FolderBase::kProgramFilesX86:
      folder = pf_x86;
      break;
  }
  folder += (xp && rule->xp) ? rule->xp : rule->vista;
  if (csidl & kCSIDL_FLAG_CREATE) {
    const Located at = fs_.Locate(folder);
    if (at.error) fs_.AddFolder(at.path.Text());
  } else if (!(csidl & kCSIDL_FLAG_DONT_VERIFY)) {
    const Located at = fs_.Locate(folder);
    if (at.error || !at.node->is_dir) return kHRESULT_FILE_NOT_FOUND;
  }
  if (!path) return kE_INVALIDARG;
  const std::size_t n = std::min<std::size_t>(folder.size(), kMAX_PATH - 1);
  std::copy(folder.begin(), folder.begin() + static_cast<std::ptrdiff_t>(n), path);
  path[n] = u'\0';
  return kS_OK;
}

static BOOL DeliverSized(const std::u16string& text, char16_t* buf, DWORD* size, DWORD* error) {
  const DWORD need = static_cast<DWORD>(text.size()) + 1;
  if (!buf || *size < need) {
    *size = need;
    *error = kERROR_INSUFFICIENT_BUFFER;
    return 0;
  }
  std::copy(text.begin(), text.end(), buf);
  buf[text.size()] = u'\0';
  *size = need;
  return 1;
}

BOOL SimFileApi::GetProfilesDirectoryW(char16_t* buf, DWORD* size) {
  if (auto e = m_.Gate("GetProfilesDirectoryW")) return Fail(*e, BOOL{0});
  if (!size) return Fail(kERROR_INVALID_PARAMETER, BOOL{0});
  DWORD error = 0;
  if (!DeliverSized(ProfilesDir(), buf, size, &error)) return Fail(error, BOOL{0});
  return 1;
}

BOOL SimFileApi::GetDefaultUserProfileDirectoryW(char16_t* buf, DWORD* size) {
  if (auto e = m_.Gate("GetDefaultUserProfileDirectoryW")) return Fail(*e, BOOL{0});
  if (!size) return Fail(kERROR_INVALID_PARAMETER, BOOL{0});
  const std::u16string dir =
      ProfilesDir() + (OldProfileLayout() ? u"\\Default User" : u"\\Default");
  DWORD error = 0;
  if (!DeliverSized(dir, buf, size, &error)) return Fail(error, BOOL{0});
  return 1;
}

// ---- volumes ---------------------------------------------------------------------------------

BOOL SimFileApi::GetVolumeInformationW(const char16_t* root, char16_t* fs_name,
                                       DWORD fs_name_size) {
  if (auto e = m_.Gate("GetVolumeInformationW")) return Fail(*e, BOOL{0});
  std::u16string r = root ? std::u16string(root) : fs_.Parse(fs_.current_directory).root + u"\\";
  if (r.empty() || r.back() != u'\\') return Fail(kERROR_INVALID_NAME, BOOL{0});
  const Located at = fs_.Locate(r, false);
  if (!at.volume) return Fail(at.error ? at.error : kERROR_PATH_NOT_FOUND, BOOL{0});
  if (!at.path.parts.empty()) return Fail(kERROR_DIR_NOT_ROOT, BOOL{0});
  if (fs_name) {
    const std::u16string& name = at.volume->fs_name;
    if (fs_name_size <= name.size()) return Fail(kERROR_BAD_LENGTH, BOOL{0});
    std::copy(name.begin(), name.end(), fs_name);
    fs_name[name.size()] = u'\0';
  }
  return 1;
}

UINT SimFileApi::GetDriveTypeW(const char16_t* root) {
  if (auto e = m_.Gate("GetDriveTypeW")) return Fail(*e, UINT{kDRIVE_UNKNOWN});
  std::u16string r = root ? std::u16string(root) : fs_.Parse(fs_.current_directory).root;
  if (r.size() == 2 && r[1] == u':') r += u'\\';
  const ParsedPath p = fs_.Parse(r);
  if (p.error || !p.parts.empty()) return kDRIVE_NO_ROOT_DIR;
  Volume* v = fs_.FindVolume(p.root);
  return v ? static_cast<UINT>(v->type) : UINT{kDRIVE_NO_ROOT_DIR};
}

}  // namespace kes::sim
