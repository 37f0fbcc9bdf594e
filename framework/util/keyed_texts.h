// KeyedTexts: the keyed collection of texts the framework's objects keep (the matches of a
// directory search, the environment's user lists): texts in the order added, each under a key
// that letter case does not tell apart, with direct look-up by key. A second text under a key
// already present is refused, so a collection never lists one object twice. Untraced.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/base/u16.h"

namespace kes {

class KeyedTexts {
 public:
  // Adds `text` under `key`; false, and nothing changes, when the key is already there.
  bool Add(std::u16string_view key, std::u16string text) {
    if (!index_.emplace(LowerCase(key), items_.size()).second) return false;
    items_.push_back(std::move(text));
    return true;
  }
  bool Contains(std::u16string_view key) const { return index_.contains(LowerCase(key)); }
  // The texts in the order they were added.
  const std::vector<std::u16string>& Items() const { return items_; }
  std::size_t Count() const { return items_.size(); }
  bool Empty() const { return items_.empty(); }
  void Clear() {
    items_.clear();
    index_.clear();
  }

 private:
  std::vector<std::u16string> items_;
  std::unordered_map<std::u16string, std::size_t> index_;
};

}  // namespace kes
