// The Safe Mode variants and what a configuration is asked to do besides setting one. Every part
// of the program speaks of a variant through SafeMode; the numbers stored or shown elsewhere are
// converted here and only here:
//   BootMode (registry, recorded by the window)   1 minimal, 2 networking, 3 command prompt
//   boot.ini mode (older Windows, in the log)     2 minimal, 1 networking, 0 command prompt
//   the window's option array optSafeMode(i)      0 minimal, 1 networking, 2 command prompt,
//                                                 3 normal boot (no variant)
#pragma once

#include <cstdint>
#include <optional>

namespace kes {

enum class SafeMode { kMinimal, kNetwork, kCommandPrompt };

// What a configuration does besides setting the boot mode. The switches ask for everything.
struct ConfigureOptions {
  bool restart = false;     // ask first, then restart Windows
  bool enable_f8 = false;   // switch the legacy F8 boot menu on (Vista and later)
  bool temp_admin = false;  // create the temporary administrator where it is needed
};
inline constexpr ConfigureOptions kSwitchOptions{
    .restart = true, .enable_f8 = true, .temp_admin = true};

constexpr std::int32_t BootModeValue(SafeMode mode) {
  switch (mode) {
    case SafeMode::kMinimal:
      return 1;
    case SafeMode::kNetwork:
      return 2;
    case SafeMode::kCommandPrompt:
      return 3;
  }
  return 0;
}
// The variant a recorded BootMode names; nullopt for 0, absent or any other number.
constexpr std::optional<SafeMode> SafeModeFromBootMode(std::int32_t value) {
  switch (value) {
    case 1:
      return SafeMode::kMinimal;
    case 2:
      return SafeMode::kNetwork;
    case 3:
      return SafeMode::kCommandPrompt;
    default:
      return std::nullopt;
  }
}

constexpr std::int32_t BootIniMode(SafeMode mode) {
  switch (mode) {
    case SafeMode::kMinimal:
      return 2;
    case SafeMode::kNetwork:
      return 1;
    case SafeMode::kCommandPrompt:
      return 0;
  }
  return 2;
}

inline constexpr int kNormalModeOption = 3;
constexpr int OptionIndex(SafeMode mode) {
  return BootModeValue(mode) - 1;
}
// The variant of option i; nullopt for the normal boot (3) and anything else.
constexpr std::optional<SafeMode> SafeModeFromOption(int index) {
  return SafeModeFromBootMode(index + 1);
}

}  // namespace kes
