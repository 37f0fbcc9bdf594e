#include "framework/fs/work_folder.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "framework/debug/proc.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/fs/files.h"
#include "platform/base/u16.h"

namespace kes {
namespace {

using debug::Kind;
using debug::Proc;
using platform::DWORD;

constexpr std::u16string_view kModule = u"App_Common";

// SIDs in their binary form: revision 1, the number of sub-authorities, the NT authority (5),
// then the sub-authorities, little-endian.
using Sid = std::vector<std::uint8_t>;
Sid NtSid(std::initializer_list<DWORD> sub_authorities) {
  Sid sid = {1, static_cast<std::uint8_t>(sub_authorities.size()), 0, 0, 0, 0, 0, 5};
  for (DWORD part : sub_authorities) {
    for (int shift = 0; shift < 32; shift += 8)
      sid.push_back(static_cast<std::uint8_t>(part >> shift));
  }
  return sid;
}
const Sid& SystemSid() {
  static const Sid sid = NtSid({18});
  return sid;
}
const Sid& AdministratorsSid() {
  static const Sid sid = NtSid({32, 544});
  return sid;
}
const Sid& UsersSid() {
  static const Sid sid = NtSid({32, 545});
  return sid;
}

bool SameSid(const void* sid, const Sid& known) {
  if (!sid) return false;
  const auto* bytes = static_cast<const std::uint8_t*>(sid);
  const std::size_t size = 8 + 4 * static_cast<std::size_t>(bytes[1]);
  return size == known.size() && std::memcmp(bytes, known.data(), size) == 0;
}
bool IsAdminsOrSystem(const void* sid) {
  return SameSid(sid, AdministratorsSid()) || SameSid(sid, SystemSid());
}

// Every right that changes the folder, what is in it, or who may do so.
constexpr DWORD kWriteRights = 0x2 | 0x4 | 0x10 | 0x40 | 0x100 | platform::kDELETE | 0x40000 |
                               0x80000 | 0x40000000u | platform::kGENERIC_ALL;
constexpr DWORD kFileAllAccess = 0x1F01FF;
constexpr DWORD kFileReadExecute = 0x1200A9;
constexpr DWORD kProtectedDaclInformation = 0x80000000u;
constexpr platform::WORD kDaclProtected = 0x1000;

// The program's protection: owner Administrators; Administrators and SYSTEM may do everything,
// Users may read; inherited by everything inside, and nothing inherited from ProgramData.
class FolderDescriptor {
 public:
  FolderDescriptor() : owner_(AdministratorsSid()), acl_(256, 0) {
    platform::SecurityApi& sec = OS().sec;
    constexpr DWORD kInherit = platform::kOBJECT_INHERIT_ACE | platform::kCONTAINER_INHERIT_ACE;
    Sid system = SystemSid();
    Sid admins = AdministratorsSid();
    Sid users = UsersSid();
    ok_ =
        sec.InitializeAcl(acl_.data(), static_cast<DWORD>(acl_.size()), platform::kACL_REVISION) &&
        sec.AddAccessAllowedAceEx(acl_.data(), platform::kACL_REVISION, kInherit, kFileAllAccess,
                                  system.data()) &&
        sec.AddAccessAllowedAceEx(acl_.data(), platform::kACL_REVISION, kInherit, kFileAllAccess,
                                  admins.data()) &&
        sec.AddAccessAllowedAceEx(acl_.data(), platform::kACL_REVISION, kInherit, kFileReadExecute,
                                  users.data()) &&
        sec.InitializeSecurityDescriptor(&descriptor_, platform::kSECURITY_DESCRIPTOR_REVISION) &&
        sec.SetSecurityDescriptorOwner(&descriptor_, owner_.data(), 0) &&
        sec.SetSecurityDescriptorDacl(&descriptor_, 1, acl_.data(), 0) &&
        sec.SetSecurityDescriptorControl(&descriptor_, kDaclProtected, kDaclProtected);
  }
  bool ok() const { return ok_; }
  platform::SECURITY_DESCRIPTOR* get() { return &descriptor_; }

 private:
  Sid owner_;
  std::vector<std::uint8_t> acl_;
  platform::SECURITY_DESCRIPTOR descriptor_;
  bool ok_ = false;
};

// What is wrong with the folder's owner and protection, "" when nothing is.
std::u16string Shortcoming(const Proc& p, const std::u16string& folder) {
  platform::Platform& os = OS();
  constexpr DWORD kInfo =
      platform::kOWNER_SECURITY_INFORMATION | platform::kDACL_SECURITY_INFORMATION;
  DWORD needed = 0;
  std::vector<std::uint8_t> buffer(512);
  bool read = false;
  {
    FsRedirectionOff redirection_off;
    read = os.fs.GetFileSecurityW(folder.c_str(), kInfo, buffer.data(),
                                  static_cast<DWORD>(buffer.size()), &needed);
    if (!read && needed > buffer.size()) {
      buffer.resize(needed);
      read = os.fs.GetFileSecurityW(folder.c_str(), kInfo, buffer.data(),
                                    static_cast<DWORD>(buffer.size()), &needed);
    }
  }
  if (!read) {
    p.LogAPI(u"GetFileSecurityW", u"sFolder=" + folder);
    return u"its security could not be read";
  }
  platform::PSID owner = nullptr;
  platform::BOOL defaulted = 0;
  if (!os.sec.GetSecurityDescriptorOwner(buffer.data(), &owner, &defaulted) ||
      !IsAdminsOrSystem(owner)) {
    return u"it is not owned by Administrators or SYSTEM";
  }
  platform::BOOL present = 0;
  platform::PACL dacl = nullptr;
  if (!os.sec.GetSecurityDescriptorDacl(buffer.data(), &present, &dacl, &defaulted) || !present ||
      !dacl) {
    return u"it has no protection (everyone may change it)";
  }
  platform::ACL_SIZE_INFORMATION size{};
  if (!os.sec.GetAclInformation(dacl, &size, sizeof(size), platform::kAclSizeInformation))
    return u"its protection could not be read";
  for (DWORD i = 0; i < size.AceCount; ++i) {
    void* ace = nullptr;
    if (!os.sec.GetAce(dacl, i, &ace)) return u"its protection could not be read";
    platform::ACE_HEADER header;
    std::memcpy(&header, ace, sizeof(header));
    if (header.AceType != platform::kACCESS_ALLOWED_ACE_TYPE) continue;
    DWORD mask = 0;
    std::memcpy(&mask, static_cast<std::uint8_t*>(ace) + sizeof(header), sizeof(mask));
    const void* sid = static_cast<std::uint8_t*>(ace) + sizeof(header) + sizeof(mask);
    if ((mask & kWriteRights) != 0 && !IsAdminsOrSystem(sid))
      return u"accounts other than Administrators and SYSTEM may write in it";
  }
  return u"";
}

bool VolumeKeepsSecurity(const std::u16string& folder) {
  if (folder.size() < 3 || folder[1] != u':') return true;
  const std::u16string root = folder.substr(0, 3);
  std::array<char16_t, 64> name{};
  if (!OS().fs.GetVolumeInformationW(root.c_str(), name.data(), static_cast<DWORD>(name.size())))
    return true;  // unknown: checked as if it did
  const std::u16string fs = UpperCase(std::u16string(name.data()));
  return fs == u"NTFS" || fs == u"REFS";
}

// Makes `folder` with the program's protection; false when it could not (the last error says
// why, 183 when the name exists).
bool MakeProtectedFolder(const std::u16string& folder) {
  FolderDescriptor descriptor;
  if (!descriptor.ok()) return false;
  platform::SECURITY_ATTRIBUTES sa;
  sa.lpSecurityDescriptor = descriptor.get();
  FsRedirectionOff redirection_off;
  return OS().fs.CreateDirectoryW(folder.c_str(), &sa) != 0;
}

// Owner and protection replaced by the program's own; true when the folder then passes.
bool Resecure(const Proc& p, const std::u16string& folder) {
  FolderDescriptor descriptor;
  if (!descriptor.ok()) {
    p.LogAPI(u"InitializeSecurityDescriptor");
    return false;
  }
  bool set = false;
  {
    FsRedirectionOff redirection_off;
    set = OS().fs.SetFileSecurityW(folder.c_str(), platform::kOWNER_SECURITY_INFORMATION,
                                   descriptor.get()) &&
          OS().fs.SetFileSecurityW(folder.c_str(),
                                   platform::kDACL_SECURITY_INFORMATION | kProtectedDaclInformation,
                                   descriptor.get());
  }
  if (!set) {
    p.LogAPI(u"SetFileSecurityW", u"sFolder=" + folder);
    return false;
  }
  return Shortcoming(p, folder).empty();
}

// Whether the file system keeps the protection a new object is given: a folder of a name no one
// can guess is made beside `folder` with the program's protection and read back. Windows always
// keeps it on a volume with security; a system that reports one but keeps none (Wine without a
// place for descriptors) reads back something else. The probe goes into the parent, not into
// the folder in question: whoever owns that folder could delete a probe inside it and put one of
// their own in its place before it is read back. True when it cannot tell.
bool KeepsGivenSecurity(const Proc& p, const std::u16string& folder) {
  const std::optional<std::u16string> leaf = UnguessableName(u"Kestrune-probe-", u"");
  const std::size_t slash = folder.rfind(u'\\');
  if (!leaf || slash == std::u16string::npos) return true;
  const std::u16string probe = folder.substr(0, slash + 1) + *leaf;
  if (!MakeProtectedFolder(probe)) return true;
  const bool kept = Shortcoming(p, probe).empty();
  FsRedirectionOff redirection_off;
  OS().fs.RemoveDirectoryW(probe.c_str());
  return kept;
}

}  // namespace

FolderTrust SecureFolder(std::u16string_view folder_in) {
  Proc p(kModule, u"SecureFolder", Kind::Function);
  p.Args({u"sFolder", folder_in});
  FolderTrust trust = FolderTrust::kUntrusted;
  p.Step([&] {
    const std::u16string folder(folder_in);
    platform::Platform& os = OS();
    if (!VolumeKeepsSecurity(folder)) {
      os.fs.CreateDirectoryW(folder.c_str(), nullptr);
      p.Log(u"The volume keeps no owners or permissions; the folder is used unprotected.",
            debug::Event_Normal, u"sFolder=" + folder);
      trust = FolderTrust::kNoSecurity;
      return;
    }
    const bool created = MakeProtectedFolder(folder);
    DWORD attributes = platform::kINVALID_FILE_ATTRIBUTES;
    if (!created) {
      FsRedirectionOff redirection_off;
      attributes = os.fs.GetFileAttributesW(folder.c_str());
    }
    if (created) {
      // Made just now with the program's protection: only a system that keeps none reads back
      // something else.
      if (Shortcoming(p, folder).empty()) {
        trust = FolderTrust::kTrusted;
      } else {
        p.Log(
            u"The file system did not keep the protection the folder was made with; the folder "
            u"is used unprotected.",
            debug::Event_Normal, u"sFolder=" + folder);
        trust = FolderTrust::kNoSecurity;
      }
      return;
    }
    if (attributes == platform::kINVALID_FILE_ATTRIBUTES) {
      p.LogAPI(u"CreateDirectoryW", u"sFolder=" + folder);
      return;
    }
    if ((attributes & platform::kFILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        (attributes & platform::kFILE_ATTRIBUTE_DIRECTORY) == 0) {
      // A link leads elsewhere, and a file in its place is someone's: neither is touched.
      p.Log(u"The folder is a link to another place, or not a folder; it is not used.",
            debug::Event_Normal, u"sFolder=" + folder + u", lAttributes=" + Hex(attributes));
      return;
    }
    const std::u16string why = Shortcoming(p, folder);
    if (why.empty()) {
      trust = FolderTrust::kTrusted;
      return;
    }
    if (!KeepsGivenSecurity(p, folder)) {
      p.Log(u"The folder is not protected (" + why +
                u"), and the file system keeps no protection "
                u"it is given; the folder is used unprotected.",
            debug::Event_Normal, u"sFolder=" + folder);
      trust = FolderTrust::kNoSecurity;
      return;
    }
    if (Resecure(p, folder)) {
      p.Log(u"The folder was not protected (" + why + u"); it has been re-secured.",
            debug::Event_Normal, u"sFolder=" + folder);
      trust = FolderTrust::kTrusted;
    } else {
      p.Log(u"The folder is not protected (" + why +
                u") and could not be re-secured; it is not "
                u"used.",
            debug::Event_Normal, u"sFolder=" + folder);
    }
  });
  p.Result(static_cast<std::int32_t>(trust));
  return trust;
}

std::u16string WorkFolder() {
  Context& ctx = Ctx();
  if (!ctx.work_folder) {
    ctx.work_folder = u"";
    if (ctx.env && !ctx.env->Dir_ProgramData.empty()) {
      const std::u16string folder = ctx.env->Dir_ProgramData + u"\\Kestrune";
      if (SecureFolder(folder) != FolderTrust::kUntrusted) ctx.work_folder = folder;
    }
  }
  return *ctx.work_folder;
}

platform::UniqueHandle HoldForReading(std::u16string_view file) {
  const std::u16string name(file);
  FsRedirectionOff redirection_off;
  return platform::UniqueHandle(
      OS(), OS().fs.CreateFileW(name.c_str(), platform::kGENERIC_READ, platform::kFILE_SHARE_READ,
                                platform::kOPEN_EXISTING, platform::kFILE_ATTRIBUTE_NORMAL));
}

std::optional<std::u16string> UnguessableName(std::u16string_view prefix,
                                              std::u16string_view suffix) {
  std::array<std::uint8_t, 16> bytes{};
  if (!OS().sys.RtlGenRandom(bytes.data(), static_cast<DWORD>(bytes.size()))) return std::nullopt;
  std::u16string name(prefix);
  constexpr char16_t kDigits[] = u"0123456789abcdef";
  for (std::uint8_t b : bytes) {
    name += kDigits[b >> 4];
    name += kDigits[b & 0xF];
  }
  name += suffix;
  return name;
}

}  // namespace kes
