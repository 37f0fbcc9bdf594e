// SHFileOperationW of the simulated machine: delete, copy, move and rename of files and folder
// trees as the shell does them without its dialogs. Confirmations are answered "yes" (the
// program always asks for no confirmation), so an operation is never aborted by the user.
#include <vector>

#include "platform/base/u16.h"
#include "platform/sim/file_calls.h"

namespace kes::sim {
namespace {
using namespace platform;  // NOLINT: Win32 names read best unqualified here

// The shell's own answer for a copy whose target lies inside its source (DE_DESTSUBTREE).
constexpr DWORD kDE_DESTSUBTREE = 0x76;
// ... and for a copy onto itself (DE_SAMEFILE).
constexpr DWORD kDE_SAMEFILE = 0x71;

std::vector<std::u16string> DoubleNulList(const char16_t* list) {
  std::vector<std::u16string> out;
  if (!list) return out;
  while (*list) {
    std::u16string item(list);
    list += item.size() + 1;
    out.push_back(std::move(item));
  }
  return out;
}

bool HasWildcard(std::u16string_view s) {
  const std::size_t cut = s.find_last_of(u"\\/");
  const std::u16string_view leaf = cut == std::u16string_view::npos ? s : s.substr(cut + 1);
  return leaf.find_first_of(u"*?") != std::u16string_view::npos;
}

}  // namespace

DWORD SimFileApi::ShellDelete(const Located& at) {
  if (!at.parent) return kERROR_ACCESS_DENIED;
  if (at.volume->read_only) return at.volume->WriteError();
  FsNode& node = *at.node;
  if (node.is_dir) {
    if (fs_.HoldsCurrentDirectory(node)) return kERROR_SHARING_VIOLATION;
    std::vector<std::shared_ptr<FsNode>> children;
    for (const auto& [key, child] : node.children) children.push_back(child);
    for (const auto& child : children) {
      Located inner = at;
      inner.parent = at.node;
      inner.node = child;
      if (DWORD e = ShellDelete(inner)) return e;
    }
  }
  if (node.paging_file) return kERROR_SHARING_VIOLATION;
  if (DWORD e =
          ShareCheck(node, kDELETE, kFILE_SHARE_READ | kFILE_SHARE_WRITE | kFILE_SHARE_DELETE)) {
    return e;
  }
  FileSystem::Detach(*at.parent, node);
  return 0;
}

DWORD SimFileApi::ShellCopy(const std::shared_ptr<FsNode>& source, const std::u16string& target) {
  Located dst = fs_.Locate(target);
  if (dst.error == kERROR_PATH_NOT_FOUND && dst.volume) {
    // The shell creates the folders the target needs.
    ParsedPath parent = dst.path;
    parent.parts.pop_back();
    parent.trailing_separator = false;
    if (dst.volume->read_only) return dst.volume->WriteError();
    if (!fs_.AddFolder(parent.Text())) return kERROR_PATH_NOT_FOUND;
    dst = fs_.Locate(target);
  }
  if (dst.error && dst.error != kERROR_FILE_NOT_FOUND) return dst.error;
  if (dst.node == source) return kDE_SAMEFILE;
  if (!source->is_dir) {
    if (dst.node && !dst.node->is_dir && !dst.node->locked) {
      // Confirmed overwrite: the shell clears what would make the copy refuse.
      dst.node->attributes &=
          ~(kFILE_ATTRIBUTE_READONLY | kFILE_ATTRIBUTE_HIDDEN | kFILE_ATTRIBUTE_SYSTEM);
    }
    return CopyNode(*source, dst, false);
  }
  if (dst.parent && TreeContains(*source, dst.parent.get())) return kDE_DESTSUBTREE;
  std::shared_ptr<FsNode> folder = dst.node;
  if (folder && !folder->is_dir) return kERROR_ALREADY_EXISTS;
  if (!folder) {
    if (dst.volume->read_only) return dst.volume->WriteError();
    folder = fs_.NewNode(*dst.parent, dst.Leaf(), true);
    folder->attributes = source->attributes;
  }
  std::vector<std::shared_ptr<FsNode>> children;
  for (const auto& [key, child] : source->children) children.push_back(child);
  std::u16string base = dst.path.Text();
  if (base.back() != u'\\') base += u'\\';
  for (const auto& child : children)
    if (DWORD e = ShellCopy(child, base + child->name)) return e;
  return 0;
}

DWORD SimFileApi::ShellMove(const Located& src, const std::u16string& target) {
  if (!src.parent) return kERROR_ACCESS_DENIED;
  const Located dst = fs_.Locate(target);
  const bool simple = dst.error == kERROR_FILE_NOT_FOUND && dst.volume == src.volume &&
                      !src.volume->read_only && !src.node->locked &&
                      !(src.node->is_dir && fs_.HoldsCurrentDirectory(*src.node));
  if (simple) {
    if (src.node->is_dir && TreeContains(*src.node, dst.parent.get())) return kDE_DESTSUBTREE;
    FileSystem::Detach(*src.parent, *src.node);
    fs_.Attach(*dst.parent, src.node, dst.Leaf());
    return 0;
  }
  if (DWORD e = ShellCopy(src.node, target)) return e;
  return ShellDelete(src);
}

int SimFileApi::SHFileOperationW(UINT func, const char16_t* from, const char16_t* to, WORD flags,
                                 BOOL* any_operations_aborted) {
  if (any_operations_aborted) *any_operations_aborted = 0;
  if (auto e = m_.Gate("SHFileOperationW")) return static_cast<int>(*e);
  if (func < kFO_MOVE || func > kFO_RENAME) return static_cast<int>(kERROR_INVALID_PARAMETER);
  const std::vector<std::u16string> targets = DoubleNulList(to);
  // Expand the sources: a wildcard in the last part stands for its matches in that folder.
  std::vector<std::u16string> sources;
  for (const auto& item : DoubleNulList(from)) {
    if (!HasWildcard(item)) {
      sources.push_back(item);
      continue;
    }
    std::vector<WIN32_FIND_DATAW> found;
    if (DWORD e = Search(item, &found)) return static_cast<int>(e);
    const std::size_t cut = item.find_last_of(u"\\/");
    const std::u16string folder = cut == std::u16string::npos ? u"" : item.substr(0, cut + 1);
    for (const auto& d : found) {
      if (d.cFileName == u"." || d.cFileName == u"..") continue;
      if ((flags & kFOF_FILESONLY) && (d.dwFileAttributes & kFILE_ATTRIBUTE_DIRECTORY)) continue;
      sources.push_back(folder + d.cFileName);
    }
  }
  if (sources.empty()) return static_cast<int>(kERROR_FILE_NOT_FOUND);
  if (func != kFO_DELETE && targets.empty()) return static_cast<int>(kERROR_INVALID_PARAMETER);
  const bool multi_dest = (flags & kFOF_MULTIDESTFILES) && targets.size() == sources.size();
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const Located src = fs_.Locate(sources[i]);
    if (src.error) return static_cast<int>(src.error);
    DWORD e = 0;
    if (func == kFO_DELETE) {
      e = ShellDelete(src);
    } else if (func == kFO_RENAME) {
      const Located dst = fs_.Locate(targets[0]);
      if (dst.error == 0 && dst.node != src.node) {
        e = kERROR_ALREADY_EXISTS;
      } else if (dst.error && dst.error != kERROR_FILE_NOT_FOUND) {
        e = dst.error;
      } else {
        e = ShellMove(src, targets[0]);
      }
    } else {
      std::u16string target = multi_dest ? targets[i] : targets[0];
      const Located dst = fs_.Locate(target);
      const bool into = (dst.error == 0 && dst.node->is_dir) || (!multi_dest && sources.size() > 1);
      if (into) {
        if (target.back() != u'\\') target += u'\\';
        target += src.node->name;
      }
      e = func == kFO_COPY ? ShellCopy(src.node, target) : ShellMove(src, target);
    }
    if (e) return static_cast<int>(e);
  }
  return 0;
}

}  // namespace kes::sim
