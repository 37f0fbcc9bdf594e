// Text as UTF-16LE bytes, the form Windows keeps "Unicode" text in: registry text values,
// registry editor files, Unicode profile and text files. One unit is two bytes, low byte first.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kes {

// The bytes of `text`, appended to `out` (nothing else is added: no byte-order mark, no NUL).
void AppendUtf16Le(std::u16string_view text, std::vector<std::uint8_t>& out);
// The bytes of `text`, with a terminating NUL unit when `with_nul`.
std::vector<std::uint8_t> Utf16LeBytes(std::u16string_view text, bool with_nul = false);
// The text of UTF-16LE bytes; an odd last byte is dropped. Stops at the first NUL unit when
// `stop_at_nul` (a registry value stored with its terminator).
std::u16string FromUtf16Le(const std::uint8_t* bytes, std::size_t size, bool stop_at_nul = false);
inline std::u16string FromUtf16Le(std::string_view bytes, bool stop_at_nul = false) {
  return FromUtf16Le(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(),
                     stop_at_nul);
}
inline std::u16string FromUtf16Le(const std::vector<std::uint8_t>& bytes,
                                  bool stop_at_nul = false) {
  return FromUtf16Le(bytes.data(), bytes.size(), stop_at_nul);
}

}  // namespace kes
