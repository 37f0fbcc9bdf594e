// KestruneMain: the switchboard of the program. It reads the argument text once and either
// opens the main window or performs exactly one action without a window. It also owns the two
// small decisions the rest of boot-mode control asks for: whether the program runs from a
// network location, and whether the next restart after a configuration is to be normal again.
#pragma once

#include <cstdint>
#include <string_view>

namespace kes {

// Title of every message box that names no title of its own.
inline constexpr std::u16string_view kDefaultMsgTitle = u"Kestrune";
// Registry home of the recorded boot mode (under HKEY_LOCAL_MACHINE).
inline constexpr std::u16string_view kKestruneKey = u"Software\\Quorlen\\Kestrune";
// Name of the one-time start entry that brings the program back on the Safe Mode boot.
inline constexpr std::u16string_view kRunOnceEntryName = u"Quorlen Kestrune Mod";

// The question after a return to normal boot, its title, and the notice after No.
inline constexpr std::u16string_view kNormalRestartPrompt =
    u"Windows 现在已配置为在 \"正常模式\" 下重新启动, 您想现在就重新启动吗?";
inline constexpr std::u16string_view kNormalRestartTitle = u"正常重启 Windows?";
inline constexpr std::u16string_view kNormalNextTime = u"下次重新启动时 Windows 将正常启动.";

// Initialises visual styles and dispatches the argument text: empty shows the main window,
// a known switch runs its action, anything else does nothing. Failures of the actions are
// theirs to report; dispatch never fails.
void AppMainSub();

// On the boot after a configuration: true when the caller may remove every modification now
// (no mode recorded, or the user answered Yes). False after No or Cancel, when the one-time
// start entry has been written again (and, for Cancel, the main window opened). When that entry
// does not read back, the user is told and the result is true: Safe Mode is not kept without
// the way back.
bool RestartNormallyPrompt();

// True when the program runs from a network location, after telling the user so; callers then
// abandon the Safe Mode configuration. False (no message) otherwise or when the check fails.
bool AbortOnUNCPath();

// Shows a standard message box (styles 0, 16, 35, 36) with the given title, "Kestrune" when
// none is given. Returns the answer (1 OK, 2 Cancel, 6 Yes, 7 No), 0 when no box could be shown.
// Message box styles the program uses (buttons + icon).
inline constexpr std::int32_t kStyleOk = 0;
inline constexpr std::int32_t kStyleCritical = 16;
inline constexpr std::int32_t kStyleYesNoCancelQuestion = 35;
inline constexpr std::int32_t kStyleYesNoQuestion = 36;

std::int32_t ShowMessage(std::u16string_view text, std::int32_t style,
                         std::u16string_view title = kDefaultMsgTitle);

}  // namespace kes
