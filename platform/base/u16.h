// Small building blocks for UTF-16 text used throughout the framework: number formatting,
// letter case (ASCII and Latin-1, which is what paths, switches and names compare with),
// blank trimming and UTF-8 conversion for texts that leave the program (log file, tests).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kes {

// UTF-8 (or plain ASCII) to UTF-16; invalid sequences become U+FFFD.
std::u16string U16(std::string_view utf8);
// UTF-16 to UTF-8; lone surrogates become U+FFFD.
std::string Utf8(std::u16string_view text);
// Bytes one to a character (ISO 8859-1): how raw bytes are shown where text is expected.
std::u16string Latin1(std::string_view bytes);

std::u16string Dec(std::int64_t n);
// Upper-case hexadecimal without prefix; `width` pads with zeros.
std::u16string Hex(std::uint64_t n, int width = 0);
// Zero-padded decimal ("05").
std::u16string Pad(std::int64_t n, int width);

char16_t LowerChar(char16_t c);
char16_t UpperChar(char16_t c);
std::u16string LowerCase(std::u16string_view s);
std::u16string UpperCase(std::u16string_view s);
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);
// Position of `needle` in `hay` ignoring case, or npos.
std::size_t FindNoCase(std::u16string_view hay, std::u16string_view needle, std::size_t from = 0);

// Removes leading and trailing blanks (spaces only, as the classic Trim does).
std::u16string Trim(std::u16string_view s);

}  // namespace kes
