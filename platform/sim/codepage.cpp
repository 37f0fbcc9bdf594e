#include "platform/sim/codepage.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace kes::sim {
namespace {

using platform::UINT;

const char* IconvName(UINT code_page) {
  switch (code_page) {
    case 936:
      return "CP936";
    case 1252:
      return "CP1252";
    case 437:
      return "CP437";
    case 850:
      return "CP850";
    case 20127:
      return "ASCII";
    case kCP_UTF8:
      return "UTF-8";
    default:
      return nullptr;
  }
}

// One iconv descriptor for the length of one conversion.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts as much of [*in, *in + *in_left) as it can; returns errno of the stop (0 = done).
  int Run(const char** in, std::size_t* in_left, std::string* out) {
    char buf[256];
    while (*in_left > 0) {
      char* dst = buf;
      std::size_t dst_left = sizeof buf;
      char* src = const_cast<char*>(*in);
      const std::size_t r = iconv(cd_, &src, in_left, &dst, &dst_left);
      const int err = r == static_cast<std::size_t>(-1) ? errno : 0;
      *in = src;
      out->append(buf, sizeof buf - dst_left);
      if (err != 0 && err != E2BIG) return err;
    }
    return 0;
  }

 private:
  iconv_t cd_;
};

std::u16string FromUtf16Le(const std::string& bytes) {
  std::u16string s(bytes.size() / 2, u'\0');
  std::memcpy(s.data(), bytes.data(), s.size() * 2);
  return s;
}

}  // namespace

bool IsInstalledCodePage(UINT code_page) {
  return IconvName(code_page) != nullptr;
}

std::optional<std::u16string> DecodeCodePage(UINT code_page, std::string_view bytes, bool strict) {
  const char* name = IconvName(code_page);
  if (!name) return std::nullopt;
  Converter conv("UTF-16LE", name);
  if (!conv.ok()) return std::nullopt;
  std::string out;
  const char* in = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const int err = conv.Run(&in, &left, &out);
    if (err == 0) break;
    if (strict) return std::nullopt;
    const auto byte = static_cast<unsigned char>(*in);
    char16_t replacement = u'?';
    if (code_page == kCP_UTF8) {
      replacement = u'\uFFFD';
    } else if (code_page == 1252 &&
               (byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D)) {
      replacement = byte;  // Windows maps the undefined 1252 bytes to the C1 controls
    } else if (code_page == 20127) {
      replacement = static_cast<char16_t>(byte & 0x7F);  // 7-bit ASCII drops the high bit
    }
    out.append(reinterpret_cast<const char*>(&replacement), 2);
    ++in;
    --left;
  }
  return FromUtf16Le(out);
}

std::optional<std::string> EncodeCodePage(UINT code_page, std::u16string_view text,
                                          std::string_view default_char, bool strict,
                                          bool* used_default) {
  const char* name = IconvName(code_page);
  if (!name) return std::nullopt;
  Converter conv(name, "UTF-16LE");
  if (!conv.ok()) return std::nullopt;
  std::string out;
  const char* in = reinterpret_cast<const char*>(text.data());
  std::size_t left = text.size() * 2;
  while (left > 0) {
    const int err = conv.Run(&in, &left, &out);
    if (err == 0) break;
    if (strict) return std::nullopt;
    // One UTF-16 unit (or a whole surrogate pair) that the target cannot hold.
    std::size_t skip = 2;
    char16_t unit = 0;
    std::memcpy(&unit, in, 2);
    if (unit >= 0xD800 && unit <= 0xDBFF && left >= 4) {
      char16_t next = 0;
      std::memcpy(&next, in + 2, 2);
      if (next >= 0xDC00 && next <= 0xDFFF) skip = 4;
    }
    if (code_page == kCP_UTF8) {
      out.append("\xEF\xBF\xBD");
    } else {
      out.append(default_char);
      if (used_default) *used_default = true;
    }
    in += skip;
    left -= skip;
  }
  return out;
}

}  // namespace kes::sim
