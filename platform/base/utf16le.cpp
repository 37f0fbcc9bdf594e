#include "platform/base/utf16le.h"

namespace kes {

void AppendUtf16Le(std::u16string_view text, std::vector<std::uint8_t>& out) {
  out.reserve(out.size() + text.size() * 2);
  for (const char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
}

std::vector<std::uint8_t> Utf16LeBytes(std::u16string_view text, bool with_nul) {
  std::vector<std::uint8_t> out;
  out.reserve((text.size() + 1) * 2);
  AppendUtf16Le(text, out);
  if (with_nul) out.insert(out.end(), {0, 0});
  return out;
}

std::u16string FromUtf16Le(const std::uint8_t* bytes, std::size_t size, bool stop_at_nul) {
  std::u16string text;
  text.reserve(size / 2);
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    const auto c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    if (stop_at_nul && c == 0) break;
    text.push_back(c);
  }
  return text;
}

}  // namespace kes
