// How the simulated file system reads a path: the forms Windows accepts, the WOW64 rewriting of
// System32 and Sysnative, the walk through the folder tree, and the two wildcard dialects
// (FindFirstFileW's DOS rules and PathMatchSpecW's plain ones).
#include <algorithm>

#include "platform/base/u16.h"
#include "platform/sim/file_system.h"
#include "platform/sim/machine.h"

namespace kes::sim {

using platform::DWORD;

namespace {

bool IsDriveLetter(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool StartsNoCase(std::u16string_view s, std::u16string_view prefix) {
  return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

// Characters NTFS refuses in a name; the wildcards are allowed in a search pattern's last part.
bool ValidName(std::u16string_view name, bool wildcards) {
  for (char16_t c : name) {
    if (c < 0x20) return false;
    if (c == u'*' || c == u'?' || c == u'<' || c == u'>' || c == u'"') {
      if (!wildcards) return false;
      continue;
    }
    if (c == u':' || c == u'|' || c == u'/' || c == u'\\') return false;
  }
  return true;
}

std::vector<std::u16string_view> Split(std::u16string_view s) {
  std::vector<std::u16string_view> out;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = s.find(u'\\', start);
    out.push_back(s.substr(start, end == std::u16string_view::npos ? end : end - start));
    if (end == std::u16string_view::npos) break;
    start = end + 1;
  }
  return out;
}

// "server\share\rest" -> root "\\server\share" and the rest; false when a part is missing.
bool TakeShare(std::u16string_view s, ParsedPath& p, std::u16string_view& rest) {
  const std::size_t a = s.find(u'\\');
  if (a == 0 || a == std::u16string_view::npos || a + 1 >= s.size()) return false;
  const std::size_t b = s.find(u'\\', a + 1);
  const std::u16string_view share = s.substr(a + 1, b == std::u16string_view::npos ? b : b - a - 1);
  if (share.empty()) return false;
  p.unc = true;
  p.root = u"\\\\" + std::u16string(s.substr(0, a)) + u"\\" + std::u16string(share);
  rest = b == std::u16string_view::npos ? std::u16string_view() : s.substr(b + 1);
  return true;
}

char16_t Fold1(char16_t c) {
  return FoldName(std::u16string_view(&c, 1))[0];
}

bool DosMatch(std::u16string_view e, std::u16string_view n) {
  if (e.empty()) return n.empty();
  const char16_t c = e[0];
  const std::u16string_view rest = e.substr(1);
  switch (c) {
    case u'*':
      for (std::size_t i = 0; i <= n.size(); ++i)
        if (DosMatch(rest, n.substr(i))) return true;
      return false;
    case u'<': {
      // Any run of characters that stops before the name's final period.
      const std::size_t last_dot = n.rfind(u'.');
      const std::size_t limit = last_dot == std::u16string_view::npos ? n.size() : last_dot;
      for (std::size_t i = 0; i <= limit; ++i)
        if (DosMatch(rest, n.substr(i))) return true;
      return false;
    }
    case u'>': {
      if (n.empty() || n[0] == u'.') {
        std::size_t k = 0;
        while (k < e.size() && e[k] == u'>') ++k;
        return DosMatch(e.substr(k), n);
      }
      return DosMatch(rest, n.substr(1));
    }
    case u'"':
      if (n.empty()) return DosMatch(rest, n);
      return n[0] == u'.' && DosMatch(rest, n.substr(1));
    case u'?':
      return !n.empty() && DosMatch(rest, n.substr(1));
    default:
      return !n.empty() && Fold1(c) == Fold1(n[0]) && DosMatch(rest, n.substr(1));
  }
}

bool SpecMatchOne(std::u16string_view name, std::u16string_view mask) {
  while (!name.empty() && !mask.empty() && mask[0] != u';') {
    if (mask[0] == u'*') {
      for (std::size_t i = 0; i <= name.size(); ++i)
        if (SpecMatchOne(name.substr(i), mask.substr(1))) return true;
      return false;
    }
    if (mask[0] != u'?' && Fold1(mask[0]) != Fold1(name[0])) return false;
    name.remove_prefix(1);
    mask.remove_prefix(1);
  }
  if (!name.empty()) return false;
  while (!mask.empty() && mask[0] == u'*') mask.remove_prefix(1);
  return mask.empty() || mask[0] == u';';
}

}  // namespace

std::u16string ParsedPath::Text() const {
  std::u16string out = root;
  if (!unc || !parts.empty()) out += u'\\';
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i) out += u'\\';
    out += parts[i];
  }
  if (trailing_separator && !parts.empty()) out += u'\\';
  return out;
}

const std::u16string& Located::Leaf() const {
  static const std::u16string kEmpty;
  return path.parts.empty() ? kEmpty : path.parts.back();
}

ParsedPath FileSystem::Parse(std::u16string_view in, bool wildcards_in_leaf) const {
  ParsedPath p;
  std::u16string s(in.substr(0, in.find(u'\0')));
  if (s.empty()) {
    p.error = platform::kERROR_PATH_NOT_FOUND;
    return p;
  }
  std::u16string_view rest;
  if (s.starts_with(u"\\\\?\\") || s.starts_with(u"\\??\\")) {
    // Verbatim: handed to the file system as it is, so "/" is just an invalid character and
    // "." or ".." or an empty part is a malformed name.
    p.verbatim = true;
    std::u16string_view v = std::u16string_view(s).substr(4);
    if (StartsNoCase(v, u"UNC\\")) {
      if (!TakeShare(v.substr(4), p, rest)) p.error = platform::kERROR_BAD_PATHNAME;
    } else if (v.size() >= 2 && IsDriveLetter(v[0]) && v[1] == u':' &&
               (v.size() == 2 || v[2] == u'\\')) {
      p.root = std::u16string(v.substr(0, 2));
      rest = v.substr(std::min<std::size_t>(3, v.size()));
    } else {
      p.error = platform::kERROR_INVALID_NAME;
    }
    if (p.error) return p;
    if (rest.empty()) return p;
    const auto pieces = Split(rest);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      const bool last = i + 1 == pieces.size();
      if (pieces[i].empty() && last) {
        p.trailing_separator = true;
        break;
      }
      if (pieces[i].empty() || pieces[i] == u"." || pieces[i] == u".." ||
          !ValidName(pieces[i], wildcards_in_leaf && last)) {
        p.error = platform::kERROR_INVALID_NAME;
        return p;
      }
      p.parts.emplace_back(pieces[i]);
    }
    return p;
  }
  if (s.starts_with(u"\\\\.\\")) {
    // Device form: the rest is read like an ordinary path, when it names a drive or a share.
    s = s.substr(4);
    if (StartsNoCase(s, u"UNC\\")) {
      s = u"\\\\" + s.substr(4);
    } else if (!(s.size() >= 2 && IsDriveLetter(s[0]) && s[1] == u':')) {
      p.error = platform::kERROR_FILE_NOT_FOUND;
      return p;
    }
  }
  std::replace(s.begin(), s.end(), u'/', u'\\');
  std::vector<std::u16string> parts;
  const std::u16string_view sv = s;
  if (sv.starts_with(u"\\\\")) {
    std::size_t skip = 2;
    while (skip < sv.size() && sv[skip] == u'\\') ++skip;
    if (!TakeShare(sv.substr(skip), p, rest)) {
      p.error = platform::kERROR_BAD_PATHNAME;
      return p;
    }
  } else if (sv.size() >= 2 && IsDriveLetter(sv[0]) && sv[1] == u':') {
    p.root = std::u16string(sv.substr(0, 2));
    if (sv.size() > 2 && sv[2] == u'\\') {
      rest = sv.substr(3);
    } else {
      // "C:name": relative to the current directory when it is on that drive.
      rest = sv.substr(2);
      const ParsedPath cwd = Parse(current_directory);
      if (!cwd.unc && EqualsNoCase(cwd.root, p.root)) parts = cwd.parts;
    }
  } else {
    const ParsedPath cwd = Parse(current_directory);
    p.root = cwd.root;
    p.unc = cwd.unc;
    if (sv[0] == u'\\') {
      rest = sv.substr(1);
    } else {
      rest = sv;
      parts = cwd.parts;
    }
  }
  p.trailing_separator = !rest.empty() && rest.back() == u'\\';
  for (std::u16string_view piece : Split(rest)) {
    if (piece.empty() || piece == u".") continue;
    if (piece == u"..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.emplace_back(piece);
  }
  // Windows drops trailing periods and blanks of the last part ("file." is "file").
  if (!parts.empty() && !p.trailing_separator) {
    std::u16string& last = parts.back();
    while (!last.empty() && (last.back() == u'.' || last.back() == u' ')) last.pop_back();
    if (last.empty()) parts.pop_back();
  }
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (!ValidName(parts[i], wildcards_in_leaf && i + 1 == parts.size())) {
      p.error = platform::kERROR_INVALID_NAME;
      return p;
    }
  }
  if (parts.empty()) p.trailing_separator = false;
  p.parts = std::move(parts);
  return p;
}

bool FileSystem::UnderWow64() const {
  return m_.facts.is_64bit && m_.facts.process_is_32bit;
}

bool FileSystem::RedirectionActive() const {
  return UnderWow64() && !redirection_disabled;
}

void FileSystem::Redirect(ParsedPath& p) const {
  if (!RedirectionActive() || p.unc) return;
  const ParsedPath win = Parse(m_.facts.windows_dir);
  if (win.error || win.unc || !EqualsNoCase(win.root, p.root)) return;
  const std::size_t k = win.parts.size();
  if (p.parts.size() <= k) return;
  for (std::size_t i = 0; i < k; ++i)
    if (FoldName(p.parts[i]) != FoldName(win.parts[i])) return;
  const std::u16string folder = FoldName(p.parts[k]);
  if (folder == u"SYSNATIVE") {
    p.parts[k] = u"System32";
    return;
  }
  if (folder != u"SYSTEM32") return;
  // The folders Windows leaves shared between both views.
  if (p.parts.size() > k + 1) {
    const std::u16string sub = FoldName(p.parts[k + 1]);
    if (sub == u"CATROOT" || sub == u"CATROOT2" || sub == u"DRIVERSTORE" || sub == u"LOGFILES" ||
        sub == u"SPOOL") {
      return;
    }
    if (sub == u"DRIVERS" && p.parts.size() > k + 2 && FoldName(p.parts[k + 2]) == u"ETC") return;
  }
  p.parts[k] = u"SysWOW64";
}

Located FileSystem::Locate(std::u16string_view path, bool redirect, bool wildcards_in_leaf) const {
  Located at;
  at.path = Parse(path, wildcards_in_leaf);
  if (at.path.error) {
    at.error = at.path.error;
    return at;
  }
  if (redirect) Redirect(at.path);
  at.volume = const_cast<FileSystem*>(this)->FindVolume(at.path.root);
  if (!at.volume) {
    if (!at.path.unc) {
      at.error = platform::kERROR_PATH_NOT_FOUND;
      return at;
    }
    // A known server without that share answers 67; an unknown server 53.
    const std::u16string server = FoldName(at.path.root.substr(0, at.path.root.find(u'\\', 2)));
    at.error = platform::kERROR_BAD_NETPATH;
    for (const auto& v : volumes_)
      if (FoldName(v->root).starts_with(server + u"\\")) at.error = platform::kERROR_BAD_NET_NAME;
    return at;
  }
  std::shared_ptr<FsNode> cur = at.volume->root_dir;
  if (at.path.parts.empty()) {
    at.node = cur;
    return at;
  }
  for (std::size_t i = 0; i + 1 < at.path.parts.size(); ++i) {
    auto next = Child(*cur, at.path.parts[i]);
    if (!next || !next->is_dir) {
      at.error = platform::kERROR_PATH_NOT_FOUND;
      return at;
    }
    cur = next;
  }
  at.parent = cur;
  at.node = Child(*cur, at.path.parts.back());
  if (!at.node) {
    at.error = platform::kERROR_FILE_NOT_FOUND;
  } else if (at.path.trailing_separator && !at.node->is_dir) {
    at.error = platform::kERROR_INVALID_NAME;
  }
  return at;
}

std::u16string ToDosPattern(std::u16string_view pattern, bool had_trailing_dot) {
  if (pattern == u"*.*") return u"*";
  std::u16string b(pattern);
  for (std::size_t i = 0; i < b.size(); ++i) {
    if (i > 0 && b[i] == u'.' && b[i - 1] == u'*') b[i - 1] = u'<';
    if (b[i] == u'?') {
      b[i] = u'>';
      if (i > 0 && b[i - 1] == u'.') b[i - 1] = u'"';
    } else if (b[i] == u'*') {
      if (i > 0 && b[i - 1] == u'.') b[i - 1] = u'"';
    }
  }
  if (had_trailing_dot && !b.empty() && b.back() == u'*') b.back() = u'<';
  return b;
}

bool DosPatternMatch(std::u16string_view dos_pattern, std::u16string_view name) {
  return DosMatch(dos_pattern, name);
}

bool PathSpecMatch(std::u16string_view name, std::u16string_view masks) {
  if (masks == u"*.*") return true;
  while (!masks.empty()) {
    while (!masks.empty() && masks[0] == u' ') masks.remove_prefix(1);
    if (SpecMatchOne(name, masks)) return true;
    const std::size_t semi = masks.find(u';');
    if (semi == std::u16string_view::npos) break;
    masks.remove_prefix(semi + 1);
  }
  return false;
}

}  // namespace kes::sim
