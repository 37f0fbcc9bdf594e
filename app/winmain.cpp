// Process entry of Kestrune.exe: one real machine, one context, then the program's own entry.
#include "platform/win32/windows_support.h"

#include "app/main.h"
#include "framework/env/context.h"
#include "platform/win32/machine.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  kes::win32::Win32Machine machine;
  kes::Context ctx(machine.platform());
  kes::ContextScope scope(ctx);
  // Once Main returns no window of ours is open (the main window keeps the process alive
  // through its own message loop), so the process ends here, with what the run came to.
  return kes::Main();
}
