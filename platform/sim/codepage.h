// Multi-byte code pages of the simulated machine (936 GBK, 1252, 437, 850, 20127, UTF-8), converted
// with the host's iconv. The Windows call semantics (sizes, flags, last errors) live in the
// system calls; these functions only turn bytes into UTF-16 and back.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace kes::sim {

inline constexpr platform::UINT kCP_UTF8 = 65001;

// True for a code page the machine has installed (after CP_ACP/CP_OEMCP were resolved).
bool IsInstalledCodePage(platform::UINT code_page);

// Bytes to UTF-16. A byte sequence that is not valid in the code page becomes U+FFFD for UTF-8
// and "?" (or the byte's own value for the five holes of 1252) otherwise, as Windows does;
// with `strict` the conversion instead fails (nullopt), as MB_ERR_INVALID_CHARS asks.
std::optional<std::u16string> DecodeCodePage(platform::UINT code_page, std::string_view bytes,
                                             bool strict);

// UTF-16 to bytes. A character the code page cannot hold becomes `default_char` and sets
// *used_default; for UTF-8 only a lone surrogate is invalid and becomes U+FFFD. With `strict`
// any such character fails the conversion (nullopt).
std::optional<std::string> EncodeCodePage(platform::UINT code_page, std::u16string_view text,
                                          std::string_view default_char, bool strict,
                                          bool* used_default);

}  // namespace kes::sim
