#include "platform/win32/machine.h"

namespace kes::win32 {

Win32Machine::Win32Machine()
    : system_(MakeWin32System()),
      ui_(MakeWin32Ui()),
      forms_(MakeWin32Forms()),
      registry_(MakeWin32Registry()),
      files_(MakeWin32Files()),
      processes_(MakeWin32Processes()),
      security_(MakeWin32Security()),
      platform_(std::make_unique<platform::Platform>(platform::Platform{
          *system_, *ui_, *forms_, *registry_, *files_, *processes_, *security_})) {}

Win32Machine::~Win32Machine() = default;

}  // namespace kes::win32
