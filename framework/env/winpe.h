// Whether the program runs inside a Windows preinstallation environment (App_Common).
#pragma once

namespace kes {

// Runs three tests and is true when any fires, each logging why: the program's own folder is
// not writable while "X:\" is ("Write Access on X:\"); the key HKLM "Software\Microsoft\Windows
// NT\CurrentVersion\WinPE" exists ("WinPE Registry Key Found"); the "RegisteredOwner" of that
// CurrentVersion key contains "Osrin", letter case ignored ("WinPE Detected (Registered Name
// contains 'Osrin')"). A test that cannot be carried out counts as not fired (logged).
bool EarlyWinPECheck();

}  // namespace kes
