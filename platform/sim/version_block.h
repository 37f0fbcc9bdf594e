// The simulated machine's version-information block: what GetFileVersionInfoW copies into the
// caller's buffer and VerQueryValueW reads back. Its layout is the machine's own; only these
// two functions know it. The fixed-information record is derived from the "FileVersion" and
// "ProductVersion" strings; strings are published for language 0409, code page 04B0.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/types.h"

namespace kes::sim {

// The whole block for a file's version strings.
std::vector<std::uint8_t> BuildVersionBlock(
    const std::map<std::u16string, std::u16string>& strings);

// Marks how many bytes of the block the caller actually received (GetFileVersionInfoW cuts the
// block to the buffer), so that a query never reads past them.
void SetVersionBlockLength(void* block, std::uint32_t length);

// VerQueryValueW over a block: "\" gives the VS_FIXEDFILEINFO (len = its size in bytes),
// "\VarFileInfo\Translation" the language/code-page pairs (len in bytes),
// "\StringFileInfo\040904B0\Name" a NUL-terminated string (len in characters with the NUL).
// False when the block is not one of ours or the path names nothing in it.
bool QueryVersionBlock(const void* block, std::u16string_view sub_block, const void** buffer,
                       platform::UINT* len);

}  // namespace kes::sim
