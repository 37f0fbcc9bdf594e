// Profile (INI) files of the simulated machine, read and written the way Windows' profile calls
// do: sections and keys found without letter case or surrounding blanks, values trimmed and
// unquoted, the name lists with their "size - 2" answer when cut, and writes that replace the
// value of the first key of that name (the key keeps its spelling) or add the key at the end of
// its section, or the section at the end of the file. Every other byte of the file stays as it was
// - line breaks of any kind, a last line without one, bytes the code page cannot read - because
// boot.ini is edited this way and the boot loader reads it byte for byte. (Wine rewrites the whole
// file instead; Windows does not.)
#include "platform/sim/profile_text.h"

#include <algorithm>
#include <optional>

#include "platform/base/u16.h"
#include "platform/base/utf16le.h"
#include "platform/sim/codepage.h"
#include "platform/sim/file_calls.h"

namespace kes::sim {
namespace {
using namespace platform;  // NOLINT: Win32 names read best unqualified here

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

std::u16string TrimBlanks(std::u16string_view s) {
  std::size_t b = 0;
  std::size_t e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return std::u16string(s.substr(b, e - b));
}

// One line of the file: what it means, and its bytes as stored.
struct IniLine {
  enum class Kind { kOther, kSection, kKey };
  std::u16string raw;  // the text, without its line break
  Kind kind = Kind::kOther;
  std::u16string name;                  // section or key name, trimmed
  std::optional<std::u16string> value;  // a key line without "=" has none
  std::string bytes;                    // the text as stored (ANSI, or UTF-16LE)
  std::string eol;                      // its line break as stored; "" for a last line without
};

struct IniFile {
  bool unicode = false;  // UTF-16LE with its mark
  UINT code_page = 0;    // of an ANSI file
  std::vector<IniLine> lines;
};

IniLine ParseLine(std::u16string raw) {
  IniLine line;
  line.raw = std::move(raw);
  const std::u16string t = TrimBlanks(line.raw);
  if (t.empty()) return line;
  if (t[0] == u'[') {
    const auto close = t.find_last_of(u']');
    line.kind = IniLine::Kind::kSection;
    line.name = TrimBlanks(close == std::u16string::npos || close == 0
                               ? std::u16string_view(t).substr(1)
                               : std::u16string_view(t).substr(1, close - 1));
    return line;
  }
  line.kind = IniLine::Kind::kKey;
  const auto eq = t.find(u'=');
  if (eq == std::u16string::npos) {
    line.name = t;
    return line;
  }
  line.name = TrimBlanks(std::u16string_view(t).substr(0, eq));
  line.value = TrimBlanks(std::u16string_view(t).substr(eq + 1));
  return line;
}

std::string Encode(const IniFile& f, std::u16string_view text) {
  if (f.unicode) {
    const std::vector<std::uint8_t> units = Utf16LeBytes(text);
    return std::string(units.begin(), units.end());
  }
  bool used_default = false;
  return EncodeCodePage(f.code_page, text, "?", false, &used_default).value_or("");
}

// A line the call writes: its text encoded as the file is, ended as `eol` says.
IniLine NewLine(const IniFile& f, std::u16string text, std::string eol) {
  IniLine line = ParseLine(std::move(text));
  line.bytes = Encode(f, line.raw);
  line.eol = std::move(eol);
  return line;
}

// Inserts a line ended with CR LF at `pos`; a last line without a line break gets one first.
void InsertLine(IniFile& f, std::size_t pos, std::u16string text) {
  if (pos > 0 && f.lines[pos - 1].eol.empty()) f.lines[pos - 1].eol = Encode(f, u"\r\n");
  f.lines.insert(f.lines.begin() + static_cast<std::ptrdiff_t>(pos),
                 NewLine(f, std::move(text), Encode(f, u"\r\n")));
}

IniFile ParseFile(const std::vector<std::uint8_t>& data, UINT ansi_code_page) {
  IniFile f;
  f.code_page = ansi_code_page;
  f.unicode = data.size() >= 2 && data[0] == 0xFF && data[1] == 0xFE;
  const std::size_t unit = f.unicode ? 2 : 1;
  const std::size_t begin = f.unicode ? 2 : 0;
  const std::size_t end = begin + (data.size() - begin) / unit * unit;
  auto at = [&](std::size_t i) -> char16_t {
    return f.unicode ? static_cast<char16_t>(data[i] | data[i + 1] << 8) : data[i];
  };
  const auto bytes = [&](std::size_t from, std::size_t to) {
    return std::string(reinterpret_cast<const char*>(data.data()) + from, to - from);
  };
  std::size_t start = begin;
  while (start < end) {
    std::size_t stop = start;
    while (stop < end && at(stop) != u'\r' && at(stop) != u'\n') stop += unit;
    std::size_t next = stop;
    if (next < end && at(next) == u'\r') next += unit;
    if (next < end && at(next) == u'\n' && (next == stop || at(stop) == u'\r')) next += unit;
    // An odd byte at the end of a UTF-16 file stays with the last line.
    if (next == end) next = data.size();
    std::string text_bytes = bytes(start, stop);
    const std::u16string text =
        f.unicode ? FromUtf16Le(text_bytes)
                  : DecodeCodePage(ansi_code_page, text_bytes, false).value_or(u"");
    IniLine line = ParseLine(text);
    line.bytes = std::move(text_bytes);
    line.eol = bytes(stop, next);
    f.lines.push_back(std::move(line));
    start = next;
  }
  return f;
}

std::vector<std::uint8_t> Serialize(const IniFile& f) {
  std::vector<std::uint8_t> out;
  if (f.unicode) out = {0xFF, 0xFE};
  for (const IniLine& l : f.lines) {
    out.insert(out.end(), l.bytes.begin(), l.bytes.end());
    out.insert(out.end(), l.eol.begin(), l.eol.end());
  }
  return out;
}

// `index` of the header line of the first section named `app`, or npos.
std::size_t FindSection(const IniFile& f, std::u16string_view app) {
  const std::u16string want = TrimBlanks(app);
  for (std::size_t i = 0; i < f.lines.size(); ++i)
    if (f.lines[i].kind == IniLine::Kind::kSection && EqualsNoCase(f.lines[i].name, want)) return i;
  return std::u16string::npos;
}

// One past the last line of the section whose header is at `header`.
std::size_t SectionEnd(const IniFile& f, std::size_t header) {
  std::size_t i = header + 1;
  while (i < f.lines.size() && f.lines[i].kind != IniLine::Kind::kSection) ++i;
  return i;
}

std::size_t FindKey(const IniFile& f, std::size_t header, std::u16string_view key) {
  const std::u16string want = TrimBlanks(key);
  const std::size_t end = SectionEnd(f, header);
  for (std::size_t i = header + 1; i < end; ++i)
    if (f.lines[i].kind == IniLine::Kind::kKey && EqualsNoCase(f.lines[i].name, want)) return i;
  return std::u16string::npos;
}

// A value as the caller receives it: one pair of matching quotes removed.
std::u16string Unquoted(const std::u16string& v) {
  if (v.size() >= 2 && (v[0] == u'"' || v[0] == u'\'') && v.back() == v[0])
    return v.substr(1, v.size() - 2);
  return v;
}

DWORD CopyText(const std::u16string& text, char16_t* buf, DWORD size) {
  if (!buf || size == 0) return 0;
  const std::size_t n = std::min<std::size_t>(text.size(), size - 1);
  std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n), buf);
  buf[n] = u'\0';
  return static_cast<DWORD>(n);
}

// A list of names, each followed by a NUL, one more NUL at the end. When it does not fit, the
// last name that does is cut, two NULs end the buffer and the answer is size - 2.
DWORD CopyList(const std::vector<std::u16string>& names, char16_t* buf, DWORD size) {
  if (!buf || size == 0) return 0;
  std::u16string all;
  for (const auto& n : names) all += n + u'\0';
  if (all.size() + 1 <= size) {
    std::copy(all.begin(), all.end(), buf);
    buf[all.size()] = u'\0';
    return static_cast<DWORD>(all.size());
  }
  if (size < 2) {
    buf[0] = u'\0';
    return 0;
  }
  std::copy(all.begin(), all.begin() + (size - 2), buf);
  buf[size - 2] = u'\0';
  buf[size - 1] = u'\0';
  return size - 2;
}

}  // namespace

DWORD SimFileApi::GetPrivateProfileStringW(const char16_t* app, const char16_t* key,
                                           const char16_t* default_value, char16_t* buf, DWORD size,
                                           const char16_t* file) {
  if (auto e = m_.Gate("GetPrivateProfileStringW")) return Fail(*e, DWORD{0});
  std::u16string def = default_value ? std::u16string(default_value) : std::u16string();
  while (!def.empty() && def.back() == u' ') def.pop_back();
  auto give_default = [&](DWORD error) {
    const DWORD n = CopyText(def, buf, size);
    m_.last_error = error;
    return n;
  };
  if (!file) return give_default(kERROR_FILE_NOT_FOUND);
  std::u16string path(file);
  if (path.find(u'\\') == std::u16string::npos && path.find(u'/') == std::u16string::npos)
    path = m_.facts.windows_dir + u"\\" + path;
  const Located at = fs_.Locate(path);
  if (at.error) return give_default(at.error);
  if (at.node->is_dir) return give_default(kERROR_ACCESS_DENIED);
  if (at.node->locked || at.node->paging_file) return give_default(kERROR_SHARING_VIOLATION);
  const IniFile f = ParseFile(at.node->data, m_.ansi_code_page);

  if (!app) {
    std::vector<std::u16string> names;
    for (const IniLine& l : f.lines)
      if (l.kind == IniLine::Kind::kSection) names.push_back(l.name);
    m_.last_error = 0;
    return CopyList(names, buf, size);
  }
  const std::size_t header = FindSection(f, app);
  if (header == std::u16string::npos) return give_default(kERROR_FILE_NOT_FOUND);
  if (!key) {
    std::vector<std::u16string> names;
    const std::size_t end = SectionEnd(f, header);
    for (std::size_t i = header + 1; i < end; ++i) {
      const IniLine& l = f.lines[i];
      if (l.kind == IniLine::Kind::kKey && !l.name.empty() && l.name[0] != u';')
        names.push_back(l.name);
    }
    if (names.empty()) return give_default(kERROR_FILE_NOT_FOUND);
    m_.last_error = 0;
    return CopyList(names, buf, size);
  }
  const std::size_t at_key = FindKey(f, header, key);
  if (at_key == std::u16string::npos || !f.lines[at_key].value)
    return give_default(kERROR_FILE_NOT_FOUND);
  m_.last_error = 0;
  return CopyText(Unquoted(*f.lines[at_key].value), buf, size);
}

BOOL SimFileApi::WritePrivateProfileStringW(const char16_t* app, const char16_t* key,
                                            const char16_t* value, const char16_t* file) {
  if (auto e = m_.Gate("WritePrivateProfileStringW")) return Fail(*e, BOOL{0});
  // All three null only flushes the cache, which Windows answers with FALSE.
  if (!app && !key && !value) return Fail(DWORD{0}, BOOL{0});
  if (!app || !file) return Fail(kERROR_FILE_NOT_FOUND, BOOL{0});
  std::u16string path(file);
  if (path.find(u'\\') == std::u16string::npos && path.find(u'/') == std::u16string::npos)
    path = m_.facts.windows_dir + u"\\" + path;
  const Located at = fs_.Locate(path);
  if (at.error && at.error != kERROR_FILE_NOT_FOUND) return Fail(at.error, BOOL{0});
  std::shared_ptr<FsNode> node = at.node;
  if (node) {
    if (node->is_dir) return Fail(kERROR_ACCESS_DENIED, BOOL{0});
    if (node->locked || node->paging_file) return Fail(kERROR_SHARING_VIOLATION, BOOL{0});
    if (at.volume->read_only) return Fail(at.volume->WriteError(), BOOL{0});
    if (node->attributes & kFILE_ATTRIBUTE_READONLY) return Fail(kERROR_ACCESS_DENIED, BOOL{0});
  } else {
    if (at.path.trailing_separator) return Fail(kERROR_INVALID_NAME, BOOL{0});
    if (at.volume->read_only) return Fail(at.volume->WriteError(), BOOL{0});
  }
  IniFile f = ParseFile(node ? node->data : std::vector<std::uint8_t>{}, m_.ansi_code_page);

  const std::u16string section = TrimBlanks(app);
  if (!key) {
    // Every section of that name goes, with all its lines.
    for (std::size_t h = FindSection(f, section); h != std::u16string::npos;
         h = FindSection(f, section)) {
      const std::size_t end = SectionEnd(f, h);
      f.lines.erase(f.lines.begin() + static_cast<std::ptrdiff_t>(h),
                    f.lines.begin() + static_cast<std::ptrdiff_t>(end));
    }
  } else {
    const std::u16string name = TrimBlanks(key);
    std::size_t header = FindSection(f, section);
    if (value) {
      std::u16string line = name + u"=" + std::u16string(value);
      if (header == std::u16string::npos) {
        InsertLine(f, f.lines.size(), u"[" + section + u"]");
        InsertLine(f, f.lines.size(), std::move(line));
      } else if (std::size_t k = FindKey(f, header, name); k != std::u16string::npos) {
        // The value is replaced; the key keeps its spelling and what stands before "=".
        const IniLine& old = f.lines[k];
        const std::size_t eq = old.raw.find(u'=');
        std::u16string replaced =
            eq == std::u16string::npos ? old.raw + u"=" + value : old.raw.substr(0, eq + 1) + value;
        f.lines[k] = NewLine(f, std::move(replaced), old.eol);
      } else {
        // After the section's last line that is not blank.
        std::size_t pos = SectionEnd(f, header);
        while (pos > header + 1 && f.lines[pos - 1].kind == IniLine::Kind::kOther &&
               TrimBlanks(f.lines[pos - 1].raw).empty())
          --pos;
        InsertLine(f, pos, std::move(line));
      }
    } else if (header != std::u16string::npos) {
      if (std::size_t k = FindKey(f, header, name); k != std::u16string::npos)
        f.lines.erase(f.lines.begin() + static_cast<std::ptrdiff_t>(k));
    }
  }

  if (!node) {
    node = fs_.NewNode(*at.parent, at.Leaf(), false);
    node->attributes = kFILE_ATTRIBUTE_ARCHIVE;
  }
  node->data = Serialize(f);
  node->written = node->accessed = fs_.NowTicks();
  node->attributes |= kFILE_ATTRIBUTE_ARCHIVE;
  m_.last_error = 0;
  return 1;
}

std::vector<std::pair<std::u16string, std::u16string>> ProfileSection(
    const std::vector<std::uint8_t>& data, UINT ansi_code_page, std::u16string_view section) {
  const IniFile f = ParseFile(data, ansi_code_page);
  std::vector<std::pair<std::u16string, std::u16string>> keys;
  const std::size_t header = FindSection(f, section);
  if (header == std::u16string::npos) return keys;
  const std::size_t end = SectionEnd(f, header);
  for (std::size_t i = header + 1; i < end; ++i) {
    const IniLine& l = f.lines[i];
    if (l.kind == IniLine::Kind::kKey) keys.emplace_back(l.name, l.value.value_or(u""));
  }
  return keys;
}

}  // namespace kes::sim
