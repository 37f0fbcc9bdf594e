// Windows' English system message table (the texts FormatMessageW gives with
// FORMAT_MESSAGE_FROM_SYSTEM), for the codes this system can meet.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kes::sim {

// The message text of `code` exactly as stored by Windows, ending in CR LF; nullopt for a code
// the table does not carry (FormatMessageW then fails with 317).
std::optional<std::u16string_view> SystemMessageText(std::uint32_t code);

}  // namespace kes::sim
