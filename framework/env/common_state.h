// Module state of App_Common: one per Context (Context::common), created with the context so
// that NeverLoadForms can be assigned before start-up runs.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/util/value.h"
#include "platform/base/u16.h"
#include "platform/types.h"

namespace kes {

// A keyed collection: values in insertion order, keys compared without regard to case.
class KeyedCollection {
 public:
  // Adds `value` under `key`; false (and nothing changes) when the key is already present.
  bool Add(std::u16string key, Value value) {
    if (Find(key)) return false;
    items_.emplace_back(std::move(key), std::move(value));
    return true;
  }
  // The value stored under `key`, or nullptr when there is none.
  const Value* Find(std::u16string_view key) const {
    for (const auto& [k, v] : items_)
      if (EqualsNoCase(k, key)) return &v;
    return nullptr;
  }
  std::size_t Count() const { return items_.size(); }

 private:
  std::vector<std::pair<std::u16string, Value>> items_;
};

struct CommonState {
  // NeverLoadForms: only the first assignment counts.
  bool NeverLoadForms = false;
  bool NeverLoadForms_Assigned = false;

  // HasServiceArgs is worked out once and remembered.
  bool ServiceArgs_Checked = false;
  bool ServiceArgs = false;

  // Random numbers of the framework; seeded from the timer by InitApp.
  std::minstd_rand Random;

  // The three keyed collections held from InitApp to TerminateApp.
  std::array<std::unique_ptr<KeyedCollection>, 3> Collections;

  // Generated-string table: slots 0..100, of which InitAppGeneratedVars fills 1..64.
  std::array<std::u16string, 101> GeneratedStrings;

  // shell32.dll kept loaded by InitVisualStyles(true) until InitVisualStyles(false).
  platform::HMODULE Shell32 = 0;

  // Flags for the framework's COM start-up: 2 (apartment-threaded) for the program, 0
  // (multithreaded) when hosted as a library.
  std::int32_t COMInitFlags = 0;
};

}  // namespace kes
