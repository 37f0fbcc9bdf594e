// The resources the program carries, as the simulated machine serves them to FindResourceW and
// friends. The table is generated at build time from the same files the Windows exe embeds, so
// both builds hand out identical bytes.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace kes::sim {

struct EmbeddedResource {
  std::u16string_view type;
  std::u16string_view name;
  const unsigned char* data;
  std::size_t size;
};

// Every resource of the program (type "CUSTOM": SB_10, SB_8, SB_7, SB_V, SB_XP); never fails.
const std::vector<EmbeddedResource>& EmbeddedResources();

}  // namespace kes::sim
