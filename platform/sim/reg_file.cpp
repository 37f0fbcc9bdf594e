#include "platform/sim/reg_file.h"

#include <optional>
#include <utility>

#include "platform/base/u16.h"
#include "platform/base/utf16le.h"
#include "platform/sim/codepage.h"
#include "platform/sim/machine.h"

namespace kes::sim {
namespace {
using platform::DWORD;
using platform::HKEY;
using platform::LONG;

constexpr std::u16string_view kHeader5 = u"Windows Registry Editor Version 5.00";
constexpr std::u16string_view kHeader4 = u"REGEDIT4";

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

std::u16string_view TrimBlanks(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// True when `s` begins with `prefix`, letter case ignored; consumes it.
bool TakePrefix(std::u16string_view& s, std::u16string_view prefix) {
  if (s.size() < prefix.size() || !EqualsNoCase(s.substr(0, prefix.size()), prefix)) return false;
  s.remove_prefix(prefix.size());
  return true;
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Nothing but blanks or a comment left.
bool OnlyTrailer(std::u16string_view rest) {
  rest = TrimBlanks(rest);
  return rest.empty() || rest.front() == u';';
}

// Reads a quoted text starting at the opening quote `s[pos]`; `pos` ends behind the closing
// quote. REGEDIT5 also knows \n, \r and \0; any other backslash pair is kept as written.
bool ReadQuoted(std::u16string_view s, std::size_t& pos, int version, std::u16string& out) {
  out.clear();
  for (++pos; pos < s.size(); ++pos) {
    const char16_t c = s[pos];
    if (c == u'"') {
      ++pos;
      return true;
    }
    if (c != u'\\' || pos + 1 >= s.size()) {
      out.push_back(c);
      continue;
    }
    const char16_t next = s[++pos];
    if (next == u'\\' || next == u'"') {
      out.push_back(next);
    } else if (version == 5 && next == u'n') {
      out.push_back(u'\n');
    } else if (version == 5 && next == u'r') {
      out.push_back(u'\r');
    } else if (version == 5 && next == u'0') {
      out.push_back(u'\0');
    } else {
      out.push_back(u'\\');
      out.push_back(next);
    }
  }
  return false;
}

// "aa,bb, cc," - bytes of one or two hex digits separated by commas; a trailing comma and a
// comment after the last byte are allowed.
bool ReadHexBytes(std::u16string_view s, std::vector<std::uint8_t>& out) {
  out.clear();
  const std::size_t comment = s.find(u';');
  if (comment != std::u16string_view::npos) s = s.substr(0, comment);
  s = TrimBlanks(s);
  if (s.empty()) return true;
  if (s.back() == u',') s.remove_suffix(1);
  while (true) {
    const std::size_t comma = s.find(u',');
    const std::u16string_view item = TrimBlanks(s.substr(0, comma));
    if (item.empty() || item.size() > 2) return false;
    int value = 0;
    for (char16_t c : item) {
      const int d = HexDigit(c);
      if (d < 0) return false;
      value = value * 16 + d;
    }
    out.push_back(static_cast<std::uint8_t>(value));
    if (comma == std::u16string_view::npos) return true;
    s.remove_prefix(comma + 1);
  }
}

struct Line {
  int number = 0;
  std::u16string text;
};

std::vector<Line> SplitLines(std::u16string_view text) {
  std::vector<Line> lines;
  int number = 1;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(u'\n', start);
    const bool last = end == std::u16string_view::npos;
    if (last) end = text.size();
    std::u16string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
    lines.push_back({number++, std::u16string(line)});
    if (last) break;
    start = end + 1;
  }
  return lines;
}

class Importer {
 public:
  Importer(RegistryStore& store, const AnsiDecoder& ansi, bool view32, RegFileResult& result)
      : store_(store), ansi_(ansi), view32_(view32), r_(result) {}

  void Run(const std::vector<Line>& lines) {
    for (std::size_t i = 1; i < lines.size(); ++i) {
      const std::u16string_view text = TrimBlanks(lines[i].text);
      if (text.empty() || text.front() == u';') continue;
      if (text.front() == u'[') {
        KeyLine(lines[i], text);
      } else if (text.front() == u'"' || text.front() == u'@') {
        ValueLine(lines, i);
      } else {
        Problem(lines[i], text, u"not a key, value or comment line");
      }
    }
  }

 private:
  void Problem(const Line& line, std::u16string_view text, std::u16string reason, LONG status = 0) {
    r_.problems.push_back({line.number, std::u16string(text), std::move(reason), status});
  }

  void KeyLine(const Line& line, std::u16string_view text) {
    key_.reset();
    key_state_ = KeyState::kSkipping;
    const std::size_t close = text.rfind(u']');
    if (close == std::u16string_view::npos) {
      Problem(line, text, u"key line without a closing bracket");
      return;
    }
    if (!OnlyTrailer(text.substr(close + 1))) {
      Problem(line, text, u"text after the closing bracket of a key line");
      return;
    }
    std::u16string_view name = text.substr(1, close - 1);
    const bool remove = !name.empty() && name.front() == u'-';
    if (remove) name.remove_prefix(1);
    const std::size_t slash = name.find(u'\\');
    const auto root = RootByName(name.substr(0, slash));
    if (!root) {
      Problem(line, text, u"unknown root key");
      return;
    }
    auto path = RegistryStore::RootPath(*root);
    std::vector<std::u16string> parts;
    if (slash != std::u16string_view::npos &&
        RegistryStore::SplitPath(name.substr(slash + 1), parts) != 0) {
      Problem(line, text, u"malformed key path");
      return;
    }
    path->parts.insert(path->parts.end(), parts.begin(), parts.end());
    const RegPath stored = RegistryStore::InView(*path, view32_);
    if (remove) {
      DeleteKey(line, text, stored);
      return;
    }
    RegKey* node = store_.Find(stored);
    LONG status = 0;
    if (node && node->deny_write_open) {
      status = platform::kERROR_ACCESS_DENIED;
    } else if (!node) {
      status = store_.Create(stored, &node, nullptr);
    }
    if (status != 0) {
      Problem(line, text, u"the registry refused to create or open the key", status);
      return;
    }
    key_ = stored;
    key_state_ = KeyState::kOpen;
    ++r_.keys_written;
  }

  void DeleteKey(const Line& line, std::u16string_view text, const RegPath& stored) {
    key_state_ = KeyState::kDeleted;
    RegKey* node = store_.Find(stored);
    if (!node) return;  // already gone: what the line asks for holds
    RegPath parent_path = stored;
    if (!parent_path.parts.empty()) parent_path.parts.pop_back();
    RegKey* parent = store_.Find(parent_path);
    if (stored.parts.empty() || node->deny_changes || node->deny_write_open ||
        (parent && parent->deny_changes)) {
      Problem(line, text, u"the registry refused to delete the key",
              platform::kERROR_ACCESS_DENIED);
      return;
    }
    store_.DeleteTree(stored);
    ++r_.keys_deleted;
  }

  void ValueLine(const std::vector<Line>& lines, std::size_t& i) {
    const Line& line = lines[i];
    std::u16string_view text = TrimBlanks(line.text);
    std::u16string name;
    std::size_t pos = 0;
    if (text.front() == u'@') {
      pos = 1;
    } else if (!ReadQuoted(text, pos, r_.version, name)) {
      Problem(line, text, u"value name without a closing quote");
      return;
    }
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    if (pos >= text.size() || text[pos] != u'=') {
      Problem(line, text, u"value line without '='");
      return;
    }
    std::u16string data(TrimBlanks(text.substr(pos + 1)));
    std::u16string whole(text);
    if (data.size() >= 3 && EqualsNoCase(std::u16string_view(data).substr(0, 3), u"hex")) {
      // Long hex data goes on over the following lines, each but the last ending in "\".
      while (!data.empty() && data.back() == u'\\' && i + 1 < lines.size()) {
        data.pop_back();
        const std::u16string_view next = TrimBlanks(lines[++i].text);
        data += next;
        whole += u"\n";
        whole += next;
      }
    }
    if (key_state_ != KeyState::kOpen) {
      Problem(line, whole,
              key_state_ == KeyState::kNone      ? u"value before any key line"
              : key_state_ == KeyState::kDeleted ? u"value under a key line that deletes the key"
                                                 : u"value under a key line that was skipped");
      return;
    }
    ApplyValue(line, whole, name, data);
  }

  void ApplyValue(const Line& line, std::u16string_view whole, const std::u16string& name,
                  std::u16string_view data) {
    bool remove = false;
    DWORD type = platform::kREG_SZ;
    std::vector<std::uint8_t> bytes;
    std::u16string_view rest = data;
    if (!rest.empty() && rest.front() == u'-' && OnlyTrailer(rest.substr(1))) {
      remove = true;
    } else if (!rest.empty() && rest.front() == u'"') {
      std::u16string text;
      std::size_t pos = 0;
      if (!ReadQuoted(rest, pos, r_.version, text) || !OnlyTrailer(rest.substr(pos))) {
        Problem(line, whole, u"malformed string data");
        return;
      }
      bytes = Utf16LeBytes(text, true);
    } else if (TakePrefix(rest, u"dword:")) {
      const std::size_t comment = rest.find(u';');
      const std::u16string_view digits = TrimBlanks(rest.substr(0, comment));
      DWORD value = 0;
      bool ok = !digits.empty() && digits.size() <= 8;
      for (char16_t c : digits) {
        const int d = HexDigit(c);
        if (d < 0) ok = false;
        value = value * 16 + static_cast<DWORD>(d < 0 ? 0 : d);
      }
      if (!ok) {
        Problem(line, whole, u"malformed dword data");
        return;
      }
      type = platform::kREG_DWORD;
      bytes = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
               static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    } else if (TakePrefix(rest, u"hex")) {
      if (!ReadHexType(rest, type) || !ReadHexBytes(rest, bytes)) {
        Problem(line, whole, u"malformed hex data");
        return;
      }
      if (r_.version == 4 && (type == platform::kREG_SZ || type == platform::kREG_EXPAND_SZ ||
                              type == platform::kREG_MULTI_SZ)) {
        // REGEDIT4 writes the text of these types in the ANSI code page.
        const std::string ansi(bytes.begin(), bytes.end());
        bytes = Utf16LeBytes(ansi_(ansi), false);
      }
    } else {
      Problem(line, whole, u"unknown data type");
      return;
    }

    RegKey* node = store_.Find(*key_);
    if (!node) {
      Problem(line, whole, u"the key of this value no longer exists");
      return;
    }
    if (node->deny_changes || node->deny_write_open) {
      Problem(line, whole, u"the registry refused to change the value",
              platform::kERROR_ACCESS_DENIED);
      return;
    }
    if (remove) {
      for (auto it = node->values.begin(); it != node->values.end(); ++it) {
        if (EqualsNoCase(it->name, name)) {
          node->values.erase(it);
          ++r_.values_deleted;
          break;
        }
      }
      return;
    }
    if (RegValue* v = node->FindValue(name)) {
      v->type = type;
      v->data = std::move(bytes);
    } else {
      node->values.push_back({name, type, std::move(bytes)});
    }
    ++r_.values_written;
  }

  // After "hex": ":" (REG_BINARY) or "(N):" with N in hex.
  static bool ReadHexType(std::u16string_view& rest, DWORD& type) {
    type = platform::kREG_BINARY;
    if (!rest.empty() && rest.front() == u'(') {
      const std::size_t close = rest.find(u')');
      if (close == std::u16string_view::npos || close == 1 || close > 9) return false;
      DWORD n = 0;
      for (char16_t c : rest.substr(1, close - 1)) {
        const int d = HexDigit(c);
        if (d < 0) return false;
        n = n * 16 + static_cast<DWORD>(d);
      }
      type = n;
      rest.remove_prefix(close + 1);
    }
    if (rest.empty() || rest.front() != u':') return false;
    rest.remove_prefix(1);
    return true;
  }

  enum class KeyState { kNone, kOpen, kSkipping, kDeleted };

  RegistryStore& store_;
  const AnsiDecoder& ansi_;
  bool view32_;
  RegFileResult& r_;
  std::optional<RegPath> key_;
  KeyState key_state_ = KeyState::kNone;
};

}  // namespace

std::optional<HKEY> RootByName(std::u16string_view name) {
  const std::pair<std::u16string_view, HKEY> roots[] = {
      {u"HKEY_LOCAL_MACHINE", platform::kHKEY_LOCAL_MACHINE},
      {u"HKEY_CURRENT_USER", platform::kHKEY_CURRENT_USER},
      {u"HKEY_CLASSES_ROOT", platform::kHKEY_CLASSES_ROOT},
      {u"HKEY_USERS", platform::kHKEY_USERS},
      {u"HKEY_CURRENT_CONFIG", platform::kHKEY_CURRENT_CONFIG},
  };
  for (const auto& [text, root] : roots) {
    if (EqualsNoCase(name, text)) return root;
  }
  return std::nullopt;
}

std::u16string DecodeRegFileText(std::string_view bytes, const AnsiDecoder& ansi) {
  if (bytes.size() >= 2 && static_cast<std::uint8_t>(bytes[0]) == 0xFF &&
      static_cast<std::uint8_t>(bytes[1]) == 0xFE) {
    return FromUtf16Le(bytes.substr(2));
  }
  return ansi ? ansi(bytes) : Latin1(bytes);
}

RegFileResult ImportRegFile(RegistryStore& store, std::string_view bytes, const AnsiDecoder& ansi,
                            bool view32) {
  const platform::UINT code_page = store.machine().ansi_code_page;
  const AnsiDecoder machine_ansi = [code_page](std::string_view text) {
    return DecodeCodePage(code_page, text, false).value_or(Latin1(text));
  };
  const AnsiDecoder& decoder = ansi ? ansi : machine_ansi;
  RegFileResult result;
  const std::vector<Line> lines = SplitLines(DecodeRegFileText(bytes, decoder));
  const std::u16string_view header = TrimBlanks(lines.front().text);
  if (header == kHeader5) {
    result.version = 5;
  } else if (header == kHeader4) {
    result.version = 4;
  } else {
    result.error = header.empty() ? u"not a registry file: the header line is missing"
                                  : u"not a registry file: unknown header \"" +
                                        std::u16string(header.substr(0, 60)) + u"\"";
    return result;
  }
  result.accepted = true;
  Importer(store, decoder, view32, result).Run(lines);
  return result;
}

}  // namespace kes::sim
