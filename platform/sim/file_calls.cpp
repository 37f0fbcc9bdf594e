#include "platform/sim/file_calls.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/base/u16.h"
#include "platform/sim/codepage.h"
#include "platform/sim/time_zone.h"

namespace kes::sim {
namespace {
using namespace platform;  // NOLINT: Win32 names read best unqualified here

// The attributes a caller may set; DIRECTORY and NORMAL are never stored.
constexpr DWORD kSettable = kFILE_ATTRIBUTE_READONLY | kFILE_ATTRIBUTE_HIDDEN |
                            kFILE_ATTRIBUTE_SYSTEM | kFILE_ATTRIBUTE_ARCHIVE |
                            kFILE_ATTRIBUTE_TEMPORARY | kFILE_ATTRIBUTE_OFFLINE |
                            kFILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
constexpr DWORD kWriteData = kFILE_WRITE_DATA | kFILE_APPEND_DATA;

FILETIME ToFileTime(std::int64_t ticks) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(ticks) & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(ticks) >> 32);
  return ft;
}

// The entry as the file calls report it; a FAT volume keeps local times (time_zone.h).
WIN32_FIND_DATAW FindEntry(const Machine& m, const Volume& volume, const FsNode& node,
                           std::u16string name) {
  const bool fat = FoldName(volume.fs_name).find(u"FAT") != std::u16string::npos;
  const auto reported = [&](std::int64_t ticks) {
    return ToFileTime(fat ? FatReportedTicks(m, ticks) : ticks);
  };
  WIN32_FIND_DATAW d;
  d.dwFileAttributes = node.ReportedAttributes();
  d.ftCreationTime = reported(node.created);
  d.ftLastAccessTime = reported(node.accessed);
  d.ftLastWriteTime = reported(node.written);
  const std::uint64_t size = node.is_dir ? 0 : node.data.size();
  d.nFileSizeHigh = static_cast<DWORD>(size >> 32);
  d.nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
  d.cFileName = std::move(name);
  d.cAlternateFileName = node.short_name;
  return d;
}

}  // namespace

bool TreeContains(const FsNode& tree, const FsNode* node) {
  if (&tree == node) return true;
  for (const auto& [key, child] : tree.children)
    if (child->is_dir && TreeContains(*child, node)) return true;
  return false;
}

DWORD DataAccess(DWORD access) {
  DWORD data = access & (kFILE_READ_DATA | kFILE_WRITE_DATA | kFILE_APPEND_DATA | kDELETE);
  if (access & (kGENERIC_READ | kGENERIC_EXECUTE)) data |= kFILE_READ_DATA;
  if (access & kGENERIC_WRITE) data |= kWriteData;
  if (access & kGENERIC_ALL) data |= kFILE_READ_DATA | kWriteData | kDELETE;
  return data;
}

OpenFile::OpenFile(std::shared_ptr<FsNode> n, std::uint64_t id, DWORD access, DWORD share,
                   bool is_overlapped)
    : node(std::move(n)), overlapped(is_overlapped), id_(id) {
  can_read = (access & kFILE_READ_DATA) != 0;
  can_write = (access & kWriteData) != 0;
  append_only = (access & kFILE_APPEND_DATA) && !(access & kFILE_WRITE_DATA);
  node->opens.push_back({id_, access, share});
}

OpenFile::~OpenFile() {
  auto& opens = node->opens;
  opens.erase(std::remove_if(opens.begin(), opens.end(),
                             [this](const FsNode::OpenRecord& r) { return r.id == id_; }),
              opens.end());
}

DWORD SimFileApi::ShareCheck(const FsNode& node, DWORD data, DWORD share) {
  if (node.locked && (data & (kFILE_READ_DATA | kWriteData | kDELETE))) {
    return kERROR_SHARING_VIOLATION;
  }
  for (const auto& o : node.opens) {
    const bool clash = ((data & kFILE_READ_DATA) && !(o.share & kFILE_SHARE_READ)) ||
                       ((data & kWriteData) && !(o.share & kFILE_SHARE_WRITE)) ||
                       ((data & kDELETE) && !(o.share & kFILE_SHARE_DELETE)) ||
                       ((o.access & kFILE_READ_DATA) && !(share & kFILE_SHARE_READ)) ||
                       ((o.access & kWriteData) && !(share & kFILE_SHARE_WRITE)) ||
                       ((o.access & kDELETE) && !(share & kFILE_SHARE_DELETE));
    if (clash) return kERROR_SHARING_VIOLATION;
  }
  return 0;
}

// ---- WOW64 redirection -----------------------------------------------------------------------

BOOL SimFileApi::Wow64DisableWow64FsRedirection(std::uintptr_t* old_value) {
  if (auto e = m_.Gate("Wow64DisableWow64FsRedirection")) return Fail(*e, BOOL{0});
  if (!fs_.UnderWow64()) return Fail(kERROR_INVALID_FUNCTION, BOOL{0});
  if (old_value) *old_value = fs_.redirection_disabled ? 1 : 0;
  fs_.redirection_disabled = true;
  return 1;
}

BOOL SimFileApi::Wow64RevertWow64FsRedirection(std::uintptr_t old_value) {
  if (auto e = m_.Gate("Wow64RevertWow64FsRedirection")) return Fail(*e, BOOL{0});
  if (!fs_.UnderWow64()) return Fail(kERROR_INVALID_FUNCTION, BOOL{0});
  fs_.redirection_disabled = old_value != 0;
  return 1;
}

// ---- handles ---------------------------------------------------------------------------------

HANDLE SimFileApi::CreateFileW(const char16_t* name, DWORD access, DWORD share, DWORD creation,
                               DWORD flags) {
  if (auto e = m_.Gate("CreateFileW")) return Fail(*e, kInvalidHandle);
  if (!name) return Fail(kERROR_PATH_NOT_FOUND, kInvalidHandle);
  if (creation < kCREATE_NEW || creation > kTRUNCATE_EXISTING) {
    return Fail(kERROR_INVALID_PARAMETER, kInvalidHandle);
  }
  const Located at = fs_.Locate(name);
  DWORD data = DataAccess(access);
  const bool truncates = creation == kCREATE_ALWAYS || creation == kTRUNCATE_EXISTING;
  const bool overlapped = (flags & kFILE_FLAG_OVERLAPPED) != 0;
  if (at.error == 0 && at.node->is_dir) {
    if (creation == kCREATE_NEW) return Fail(kERROR_FILE_EXISTS, kInvalidHandle);
    if (!(flags & kFILE_FLAG_BACKUP_SEMANTICS) || truncates) {
      return Fail(kERROR_ACCESS_DENIED, kInvalidHandle);
    }
    if (DWORD e = fs_.AccessError(at, access)) return Fail(e, kInvalidHandle);
    data &= kDELETE;  // a folder handle reads no data
    if (DWORD e = ShareCheck(*at.node, data, share)) return Fail(e, kInvalidHandle);
    m_.last_error = creation == kOPEN_ALWAYS ? DWORD{kERROR_ALREADY_EXISTS} : 0;
    return m_.AddHandle(
        std::make_shared<OpenFile>(at.node, fs_.NextOpenId(), data, share, overlapped));
  }
  if (at.error && at.error != kERROR_FILE_NOT_FOUND) return Fail(at.error, kInvalidHandle);
  std::shared_ptr<FsNode> node = at.node;
  const DWORD new_attributes = (flags & kSettable) | kFILE_ATTRIBUTE_ARCHIVE;
  if (node) {
    FsNode& f = *node;
    const bool writes = (data & kWriteData) || truncates;
    if (creation == kCREATE_NEW) return Fail(kERROR_FILE_EXISTS, kInvalidHandle);
    if (f.paging_file) return Fail(kERROR_SHARING_VIOLATION, kInvalidHandle);
    if (DWORD e = fs_.AccessError(at, access | (truncates ? kFILE_WRITE_DATA : 0)))
      return Fail(e, kInvalidHandle);
    if (writes && at.volume->read_only) return Fail(at.volume->WriteError(), kInvalidHandle);
    if (writes && (f.attributes & kFILE_ATTRIBUTE_READONLY)) {
      return Fail(kERROR_ACCESS_DENIED, kInvalidHandle);
    }
    // Overwriting a hidden or system file must repeat those attributes, or Windows refuses.
    if (creation == kCREATE_ALWAYS &&
        (((f.attributes & kFILE_ATTRIBUTE_HIDDEN) && !(flags & kFILE_ATTRIBUTE_HIDDEN)) ||
         ((f.attributes & kFILE_ATTRIBUTE_SYSTEM) && !(flags & kFILE_ATTRIBUTE_SYSTEM)))) {
      return Fail(kERROR_ACCESS_DENIED, kInvalidHandle);
    }
    if (creation == kTRUNCATE_EXISTING && !(data & kFILE_WRITE_DATA)) {
      return Fail(kERROR_INVALID_PARAMETER, kInvalidHandle);
    }
    const DWORD check = truncates ? data | kFILE_WRITE_DATA : data;
    if (DWORD e = ShareCheck(f, check, share)) return Fail(e, kInvalidHandle);
    if (truncates) {
      f.data.clear();
      f.written = f.accessed = fs_.NowTicks();
      f.attributes |= kFILE_ATTRIBUTE_ARCHIVE;
    }
    if (creation == kCREATE_ALWAYS) f.attributes = new_attributes;
    m_.last_error =
        (creation == kOPEN_ALWAYS || creation == kCREATE_ALWAYS) ? DWORD{kERROR_ALREADY_EXISTS} : 0;
  } else {
    if (creation == kOPEN_EXISTING || creation == kTRUNCATE_EXISTING) {
      return Fail(kERROR_FILE_NOT_FOUND, kInvalidHandle);
    }
    if (at.path.trailing_separator) return Fail(kERROR_INVALID_NAME, kInvalidHandle);
    if (at.volume->read_only) return Fail(at.volume->WriteError(), kInvalidHandle);
    if (DWORD e = fs_.CreateError(at, false)) return Fail(e, kInvalidHandle);
    node = fs_.NewNode(*at.parent, at.Leaf(), false);
    node->attributes = new_attributes;
    m_.last_error = 0;
  }
  return m_.AddHandle(std::make_shared<OpenFile>(node, fs_.NextOpenId(), data, share, overlapped));
}

BOOL SimFileApi::ReadFile(HANDLE file, void* buffer, DWORD to_read, DWORD* read) {
  if (read) *read = 0;
  if (auto e = m_.Gate("ReadFile")) return Fail(*e, BOOL{0});
  auto* f = m_.Lookup<OpenFile>(file);
  if (!f) return Fail(kERROR_INVALID_HANDLE, BOOL{0});
  if (f->node->is_dir) return Fail(kERROR_INVALID_FUNCTION, BOOL{0});
  if (!f->can_read) return Fail(kERROR_ACCESS_DENIED, BOOL{0});
  const auto& data = f->node->data;
  const std::int64_t size = static_cast<std::int64_t>(data.size());
  const std::int64_t avail = f->position < size ? size - f->position : 0;
  const DWORD n = static_cast<DWORD>(std::min<std::int64_t>(avail, to_read));
  if (n) std::memcpy(buffer, data.data() + f->position, n);
  f->position += n;
  f->last_transfer = n;
  if (read) *read = n;
  return 1;
}

BOOL SimFileApi::WriteFile(HANDLE file, const void* buffer, DWORD to_write, DWORD* written) {
  if (written) *written = 0;
  if (auto e = m_.Gate("WriteFile")) return Fail(*e, BOOL{0});
  auto* f = m_.Lookup<OpenFile>(file);
  if (!f) return Fail(kERROR_INVALID_HANDLE, BOOL{0});
  if (f->node->is_dir) return Fail(kERROR_INVALID_FUNCTION, BOOL{0});
  if (!f->can_write) return Fail(kERROR_ACCESS_DENIED, BOOL{0});
  auto& data = f->node->data;
  const std::size_t at = f->append_only ? data.size() : static_cast<std::size_t>(f->position);
  if (data.size() < at + to_write) data.resize(at + to_write);
  if (to_write) std::memcpy(data.data() + at, buffer, to_write);
  f->position = static_cast<std::int64_t>(at + to_write);
  f->last_transfer = to_write;
  f->node->written = f->node->accessed = fs_.NowTicks();
  f->node->attributes |= kFILE_ATTRIBUTE_ARCHIVE;
  if (written) *written = to_write;
  return 1;
}

BOOL SimFileApi::GetOverlappedResult(HANDLE file, DWORD* transferred, BOOL) {
  if (auto e = m_.Gate("GetOverlappedResult")) return Fail(*e, BOOL{0});
  auto* f = m_.Lookup<OpenFile>(file);
  if (!f) return Fail(kERROR_INVALID_HANDLE, BOOL{0});
  // Transfers of the simulated disk complete within the call that starts them.
  if (transferred) *transferred = f->last_transfer;
  return 1;
}

BOOL SimFileApi::SetFilePointerEx(HANDLE file, std::int64_t distance, std::int64_t* new_position,
                                  DWORD method) {
  if (auto e = m_.Gate("SetFilePointerEx")) return Fail(*e, BOOL{0});
  auto* f = m_.Lookup<OpenFile>(file);
  if (!f) return Fail(kERROR_INVALID_HANDLE, BOOL{0});
  std::int64_t base = 0;
  if (method == kFILE_CURRENT) {
    base = f->position;
  } else if (method == kFILE_END) {
    base = static_cast<std::int64_t>(f->node->data.size());
  } else if (method != kFILE_BEGIN) {
    return Fail(kERROR_INVALID_PARAMETER, BOOL{0});
  }
  if (base + distance < 0) return Fail(kERROR_NEGATIVE_SEEK, BOOL{0});
  f->position = base + distance;
  if (new_position) *new_position = f->position;
  return 1;
}

BOOL SimFileApi::GetFileSizeEx(HANDLE file, std::int64_t* size) {
  if (auto e = m_.Gate("GetFileSizeEx")) return Fail(*e, BOOL{0});
  auto* f = m_.Lookup<OpenFile>(file);
  if (!f) return Fail(kERROR_INVALID_HANDLE, BOOL{0});
  if (size) *size = f->node->is_dir ? 0 : static_cast<std::int64_t>(f->node->data.size());
  return 1;
}

BOOL SimFileApi::SetEndOfFile(HANDLE file) {
  if (auto e = m_.Gate("SetEndOfFile")) return Fail(*e, BOOL{0});
  auto* f = m_.Lookup<OpenFile>(file);
  if (!f) return Fail(kERROR_INVALID_HANDLE, BOOL{0});
  if (!f->can_write || f->node->is_dir) return Fail(kERROR_ACCESS_DENIED, BOOL{0});
  f->node->data.resize(static_cast<std::size_t>(f->position));
  f->node->written = fs_.NowTicks();
  f->node->attributes |= kFILE_ATTRIBUTE_ARCHIVE;
  return 1;
}

BOOL SimFileApi::FlushFileBuffers(HANDLE file) {
  if (auto e = m_.Gate("FlushFileBuffers")) return Fail(*e, BOOL{0});
  auto* f = m_.Lookup<OpenFile>(file);
  if (!f) return Fail(kERROR_INVALID_HANDLE, BOOL{0});
  if (!f->can_write) return Fail(kERROR_ACCESS_DENIED, BOOL{0});
  return 1;
}

// ---- copy, move, delete ----------------------------------------------------------------------

DWORD SimFileApi::CopyNode(const FsNode& source, const Located& target, bool fail_if_exists) {
  std::shared_ptr<FsNode> node = target.node;
  if (node) {
    if (node.get() == &source) return kERROR_SHARING_VIOLATION;
    if (node->is_dir) return kERROR_ACCESS_DENIED;
    if (fail_if_exists) return kERROR_FILE_EXISTS;
    if (DWORD e = fs_.AccessError(target, kFILE_WRITE_DATA)) return e;
    if (target.volume->read_only) return target.volume->WriteError();
    if (node->attributes & kFILE_ATTRIBUTE_READONLY) return kERROR_ACCESS_DENIED;
    // The copy is created with the source's attributes, which must repeat hidden and system.
    const DWORD keep = kFILE_ATTRIBUTE_HIDDEN | kFILE_ATTRIBUTE_SYSTEM;
    if ((node->attributes & keep) & ~(source.attributes & keep)) return kERROR_ACCESS_DENIED;
    if (DWORD e = ShareCheck(*node, kWriteData | kDELETE, 0)) return e;
  } else {
    if (target.volume->read_only) return target.volume->WriteError();
    if (DWORD e = fs_.CreateError(target, false)) return e;
    node = fs_.NewNode(*target.parent, target.Leaf(), false);
  }
  node->data = source.data;
  node->attributes = source.attributes | kFILE_ATTRIBUTE_ARCHIVE;
  node->written = source.written;
  node->accessed = fs_.NowTicks();
  return 0;
}

BOOL SimFileApi::CopyFileW(const char16_t* existing, const char16_t* target, BOOL fail_if_exists) {
  if (auto e = m_.Gate("CopyFileW")) return Fail(*e, BOOL{0});
  if (!existing || !target) return Fail(kERROR_INVALID_PARAMETER, BOOL{0});
  const Located src = fs_.Locate(existing);
  if (src.error) return Fail(src.error, BOOL{0});
  if (src.node->is_dir) return Fail(kERROR_ACCESS_DENIED, BOOL{0});
  if (DWORD e = fs_.AccessError(src, kFILE_READ_DATA)) return Fail(e, BOOL{0});
  if (DWORD e = ShareCheck(*src.node, kFILE_READ_DATA, kFILE_SHARE_READ | kFILE_SHARE_DELETE)) {
    return Fail(e, BOOL{0});
  }
  const Located dst = fs_.Locate(target);
  if (dst.error && dst.error != kERROR_FILE_NOT_FOUND) return Fail(dst.error, BOOL{0});
  if (DWORD e = CopyNode(*src.node, dst, fail_if_exists != 0)) return Fail(e, BOOL{0});
  return 1;
}

BOOL SimFileApi::MoveFileExW(const char16_t* existing, const char16_t* target, DWORD flags) {
  if (auto e = m_.Gate("MoveFileExW")) return Fail(*e, BOOL{0});
  if (!existing) return Fail(kERROR_INVALID_PARAMETER, BOOL{0});
  if (flags & kMOVEFILE_DELAY_UNTIL_REBOOT) {
    // Windows only records the pair; the session manager performs it at the next start.
    fs_.pending_renames.emplace_back(fs_.Parse(existing).Text(),
                                     target ? fs_.Parse(target).Text() : u"");
    return 1;
  }
  if (!target) return Fail(kERROR_INVALID_PARAMETER, BOOL{0});
  const Located src = fs_.Locate(existing);
  if (src.error) return Fail(src.error, BOOL{0});
  if (!src.parent) return Fail(kERROR_ACCESS_DENIED, BOOL{0});
  if (DWORD e = fs_.DeleteError(src)) return Fail(e, BOOL{0});
  if (src.volume->read_only) return Fail(src.volume->WriteError(), BOOL{0});
  if (DWORD e = ShareCheck(*src.node, kDELETE, kFILE_SHARE_READ | kFILE_SHARE_WRITE)) {
    return Fail(e, BOOL{0});
  }
  if (src.node->is_dir && fs_.HoldsCurrentDirectory(*src.node)) {
    return Fail(kERROR_SHARING_VIOLATION, BOOL{0});
  }
  const Located dst = fs_.Locate(target);
  if (dst.error && dst.error != kERROR_FILE_NOT_FOUND) return Fail(dst.error, BOOL{0});
  if (dst.node && dst.node != src.node) {
    if (!(flags & kMOVEFILE_REPLACE_EXISTING)) return Fail(kERROR_ALREADY_EXISTS, BOOL{0});
    if (dst.node->is_dir || (dst.node->attributes & kFILE_ATTRIBUTE_READONLY)) {
      return Fail(kERROR_ACCESS_DENIED, BOOL{0});
    }
    if (DWORD e = ShareCheck(*dst.node, kDELETE, 0)) return Fail(e, BOOL{0});
  }
  if (dst.volume != src.volume) {
    if (!(flags & kMOVEFILE_COPY_ALLOWED) || src.node->is_dir) {
      return Fail(kERROR_NOT_SAME_DEVICE, BOOL{0});
    }
    if (DWORD e = CopyNode(*src.node, dst, false)) return Fail(e, BOOL{0});
    FileSystem::Detach(*src.parent, *src.node);
    return 1;
  }
  if (src.node->is_dir && TreeContains(*src.node, dst.parent.get())) {
    return Fail(kERROR_SHARING_VIOLATION, BOOL{0});
  }
  if (dst.node && dst.node != src.node) FileSystem::Detach(*dst.parent, *dst.node);
  FileSystem::Detach(*src.parent, *src.node);
  fs_.Attach(*dst.parent, src.node, dst.Leaf());
  return 1;
}

BOOL SimFileApi::DeleteFileW(const char16_t* name) {
  if (auto e = m_.Gate("DeleteFileW")) return Fail(*e, BOOL{0});
  if (!name) return Fail(kERROR_PATH_NOT_FOUND, BOOL{0});
  const Located at = fs_.Locate(name);
  if (at.error) return Fail(at.error, BOOL{0});
  if (at.node->is_dir) return Fail(kERROR_ACCESS_DENIED, BOOL{0});
  if (DWORD e = fs_.DeleteError(at)) return Fail(e, BOOL{0});
  if (at.volume->read_only) return Fail(at.volume->WriteError(), BOOL{0});
  if (DWORD e = ShareCheck(*at.node, kDELETE,
                           kFILE_SHARE_READ | kFILE_SHARE_WRITE | kFILE_SHARE_DELETE)) {
    return Fail(e, BOOL{0});
  }
  if (at.node->attributes & kFILE_ATTRIBUTE_READONLY) return Fail(kERROR_ACCESS_DENIED, BOOL{0});
  FileSystem::Detach(*at.parent, *at.node);
  return 1;
}

// ---- folders ---------------------------------------------------------------------------------

BOOL SimFileApi::RemoveDirectoryW(const char16_t* name) {
  if (auto e = m_.Gate("RemoveDirectoryW")) return Fail(*e, BOOL{0});
  if (!name) return Fail(kERROR_PATH_NOT_FOUND, BOOL{0});
  const Located at = fs_.Locate(name);
  if (at.error) return Fail(at.error, BOOL{0});
  if (!at.node->is_dir) return Fail(kERROR_DIRECTORY, BOOL{0});
  if (!at.parent) return Fail(kERROR_ACCESS_DENIED, BOOL{0});
  if (DWORD e = fs_.DeleteError(at)) return Fail(e, BOOL{0});
  if (at.volume->read_only) return Fail(at.volume->WriteError(), BOOL{0});
  // The process keeps its current directory open without delete sharing.
  if (fs_.HoldsCurrentDirectory(*at.node)) return Fail(kERROR_SHARING_VIOLATION, BOOL{0});
  if (DWORD e = ShareCheck(*at.node, kDELETE,
                           kFILE_SHARE_READ | kFILE_SHARE_WRITE | kFILE_SHARE_DELETE)) {
    return Fail(e, BOOL{0});
  }
  if (at.node->attributes & kFILE_ATTRIBUTE_READONLY) return Fail(kERROR_ACCESS_DENIED, BOOL{0});
  if (!at.node->children.empty()) return Fail(kERROR_DIR_NOT_EMPTY, BOOL{0});
  FileSystem::Detach(*at.parent, *at.node);
  return 1;
}

BOOL SimFileApi::MakeSureDirectoryPathExists(const char* dir_path) {
  if (auto e = m_.Gate("MakeSureDirectoryPathExists")) return Fail(*e, BOOL{0});
  if (!dir_path) return Fail(kERROR_INVALID_PARAMETER, BOOL{0});
  const std::u16string path =
      DecodeCodePage(m_.ansi_code_page, dir_path, false).value_or(std::u16string());
  // Every prefix that ends at a backslash is a folder; the drive or the share is not created.
  std::size_t from = 0;
  if (path.size() >= 2 && path[1] == u':') {
    from = 2;
  } else if (path.starts_with(u"\\\\")) {
    std::size_t seen = 0;
    for (from = 2; from < path.size() && seen < 2; ++from)
      if (path[from] == u'\\') ++seen;
  }
  if (from < path.size() && path[from] == u'\\') ++from;
  for (std::size_t pos = path.find(u'\\', from); pos != std::u16string::npos;
       pos = path.find(u'\\', pos + 1)) {
    const Located at = fs_.Locate(path.substr(0, pos));
    if (at.error == 0) continue;  // exists; a file in the way fails at the next step
    if (at.error != kERROR_FILE_NOT_FOUND) return Fail(at.error, BOOL{0});
    if (at.volume->read_only) return Fail(at.volume->WriteError(), BOOL{0});
    if (DWORD e = fs_.CreateError(at, true)) return Fail(e, BOOL{0});
    fs_.NewNode(*at.parent, at.Leaf(), true);
  }
  return 1;
}

// ---- attributes ------------------------------------------------------------------------------

DWORD SimFileApi::GetFileAttributesW(const char16_t* name) {
  if (auto e = m_.Gate("GetFileAttributesW")) return Fail(*e, kINVALID_FILE_ATTRIBUTES);
  if (!name) return Fail(kERROR_PATH_NOT_FOUND, kINVALID_FILE_ATTRIBUTES);
  const Located at = fs_.Locate(name);
  if (at.error) return Fail(at.error, kINVALID_FILE_ATTRIBUTES);
  if (at.node->paging_file) return Fail(kERROR_SHARING_VIOLATION, kINVALID_FILE_ATTRIBUTES);
  return at.node->ReportedAttributes();
}

BOOL SimFileApi::GetFileAttributesExW(const char16_t* name, WIN32_FILE_ATTRIBUTE_DATA* data) {
  if (auto e = m_.Gate("GetFileAttributesExW")) return Fail(*e, BOOL{0});
  if (!name || !data) return Fail(kERROR_INVALID_PARAMETER, BOOL{0});
  const Located at = fs_.Locate(name);
  if (at.error) return Fail(at.error, BOOL{0});
  if (at.node->paging_file) return Fail(kERROR_SHARING_VIOLATION, BOOL{0});
  const WIN32_FIND_DATAW d = FindEntry(m_, *at.volume, *at.node, at.node->name);
  data->dwFileAttributes = d.dwFileAttributes;
  data->ftCreationTime = d.ftCreationTime;
  data->ftLastAccessTime = d.ftLastAccessTime;
  data->ftLastWriteTime = d.ftLastWriteTime;
  data->nFileSizeHigh = d.nFileSizeHigh;
  data->nFileSizeLow = d.nFileSizeLow;
  return 1;
}

BOOL SimFileApi::SetFileAttributesW(const char16_t* name, DWORD attributes) {
  if (auto e = m_.Gate("SetFileAttributesW")) return Fail(*e, BOOL{0});
  if (!name) return Fail(kERROR_PATH_NOT_FOUND, BOOL{0});
  const Located at = fs_.Locate(name);
  if (at.error) return Fail(at.error, BOOL{0});
  if (at.node->paging_file) return Fail(kERROR_SHARING_VIOLATION, BOOL{0});
  if (DWORD e = fs_.AccessError(at, kFILE_WRITE_ATTRIBUTES)) return Fail(e, BOOL{0});
  if (at.volume->read_only) return Fail(at.volume->WriteError(), BOOL{0});
  at.node->attributes = attributes & kSettable;
  return 1;
}

BOOL SimFileApi::PathIsDirectoryW(const char16_t* path) {
  if (auto e = m_.Gate("PathIsDirectoryW")) return Fail(*e, BOOL{0});
  if (!path) return 0;
  const Located at = fs_.Locate(path);
  if (at.error) return Fail(at.error, BOOL{0});
  return at.node->is_dir ? static_cast<BOOL>(kFILE_ATTRIBUTE_DIRECTORY) : 0;
}

BOOL SimFileApi::PathMatchSpecW(const char16_t* file, const char16_t* masks) {
  if (auto e = m_.Gate("PathMatchSpecW")) return Fail(*e, BOOL{0});
  if (!file || !masks) return 0;
  return PathSpecMatch(file, masks) ? 1 : 0;
}

// ---- search ----------------------------------------------------------------------------------

DWORD SimFileApi::Search(std::u16string s, std::vector<WIN32_FIND_DATAW>* found) const {
  if (s.empty()) return kERROR_PATH_NOT_FOUND;
  const bool verbatim = s.starts_with(u"\\\\?\\") || s.starts_with(u"\\??\\");
  if (!verbatim) std::replace(s.begin(), s.end(), u'/', u'\\');
  // Folder and pattern: split at the last separator ("C:*.txt" at the colon).
  std::u16string folder;
  std::u16string mask;
  const std::size_t cut = s.rfind(u'\\');
  if (cut != std::u16string::npos) {
    folder = s.substr(0, cut + 1);
    mask = s.substr(cut + 1);
  } else if (s.size() >= 2 && s[1] == u':') {
    folder = s.substr(0, 2);
    mask = s.substr(2);
  } else {
    folder = fs_.current_directory;
    mask = s;
  }
  if (folder.size() > 1 && folder.back() == u'\\' && folder[folder.size() - 2] != u':' &&
      !(folder.size() == 4 && verbatim)) {
    folder.pop_back();
  }
  const bool had_dot = !verbatim && !mask.empty() && mask.back() == u'.';
  if (!verbatim) {
    while (!mask.empty() && (mask.back() == u'.' || mask.back() == u' ')) mask.pop_back();
    if (had_dot && mask.empty()) mask = u"*";
  }
  for (char16_t c : mask)
    if (c < 0x20 || c == u':' || c == u'|' || c == u'/') {
      return kERROR_INVALID_NAME;
    }
  const Located at = fs_.Locate(folder);
  if (at.error == kERROR_FILE_NOT_FOUND) return kERROR_PATH_NOT_FOUND;
  if (at.error) return at.error;
  if (!at.node->is_dir) return kERROR_DIRECTORY;
  if (mask.empty()) return kERROR_FILE_NOT_FOUND;
  const std::u16string dos = ToDosPattern(mask, had_dot);
  auto& entries = *found;
  if (!at.path.parts.empty()) {
    if (DosPatternMatch(dos, u".")) entries.push_back(FindEntry(m_, *at.volume, *at.node, u"."));
    if (DosPatternMatch(dos, u".."))
      entries.push_back(FindEntry(m_, *at.volume, *at.parent, u".."));
    for (auto& e : entries) e.cAlternateFileName.clear();
  }
  for (const auto& [key, child] : at.node->children) {
    if (DosPatternMatch(dos, child->name) ||
        (!child->short_name.empty() && DosPatternMatch(dos, child->short_name))) {
      entries.push_back(FindEntry(m_, *at.volume, *child, child->name));
    }
  }
  return entries.empty() ? DWORD{kERROR_FILE_NOT_FOUND} : 0;
}

HANDLE SimFileApi::FindFirstFileW(const char16_t* pattern, WIN32_FIND_DATAW* data) {
  if (auto e = m_.Gate("FindFirstFileW")) return Fail(*e, kInvalidHandle);
  if (!pattern) return Fail(kERROR_PATH_NOT_FOUND, kInvalidHandle);
  auto search = std::make_shared<FileSearch>();
  if (DWORD e = Search(pattern, &search->entries)) return Fail(e, kInvalidHandle);
  if (data) *data = search->entries[0];
  search->next = 1;
  return m_.AddHandle(search);
}

BOOL SimFileApi::FindNextFileW(HANDLE search, WIN32_FIND_DATAW* data) {
  if (auto e = m_.Gate("FindNextFileW")) return Fail(*e, BOOL{0});
  auto* s = m_.Lookup<FileSearch>(search);
  if (!s) return Fail(kERROR_INVALID_HANDLE, BOOL{0});
  if (s->next >= s->entries.size()) return Fail(kERROR_NO_MORE_FILES, BOOL{0});
  if (data) *data = s->entries[s->next];
  ++s->next;
  return 1;
}

BOOL SimFileApi::FindClose(HANDLE search) {
  if (auto e = m_.Gate("FindClose")) return Fail(*e, BOOL{0});
  if (!m_.Lookup<FileSearch>(search)) return Fail(kERROR_INVALID_HANDLE, BOOL{0});
  m_.RemoveHandle(search);
  return 1;
}

std::unique_ptr<platform::FileApi> MakeSimFiles(Machine& m) {
  return std::make_unique<SimFileApi>(m);
}

}  // namespace kes::sim
