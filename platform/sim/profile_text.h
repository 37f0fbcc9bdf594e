// Profile files read the way programs that parse them by themselves do (the boot loader reads
// boot.ini so, before any Windows call exists), with the same reading of lines, sections and
// keys as the simulated profile calls.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/types.h"

namespace kes::sim {

// The keys of the first section named `section` (letter case and surrounding blanks ignored) of
// a profile file's bytes (ANSI in `ansi_code_page`, or UTF-16LE with its mark), in file order:
// name and value, both trimmed, quotes kept. A key line without "=" has an empty value. Empty
// when there is no such section.
std::vector<std::pair<std::u16string, std::u16string>> ProfileSection(
    const std::vector<std::uint8_t>& data, platform::UINT ansi_code_page,
    std::u16string_view section);

}  // namespace kes::sim
