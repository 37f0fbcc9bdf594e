// The real backend: each subsystem forwards to Windows.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace kes::win32 {

std::unique_ptr<platform::SystemApi> MakeWin32System();
std::unique_ptr<platform::UiApi> MakeWin32Ui();
std::unique_ptr<platform::FormApi> MakeWin32Forms();
std::unique_ptr<platform::RegistryApi> MakeWin32Registry();
std::unique_ptr<platform::FileApi> MakeWin32Files();
std::unique_ptr<platform::ProcessApi> MakeWin32Processes();
std::unique_ptr<platform::SecurityApi> MakeWin32Security();

// The machine this process runs on; one per process.
class Win32Machine {
 public:
  Win32Machine();
  ~Win32Machine();
  platform::Platform& platform() { return *platform_; }

 private:
  std::unique_ptr<platform::SystemApi> system_;
  std::unique_ptr<platform::UiApi> ui_;
  std::unique_ptr<platform::FormApi> forms_;
  std::unique_ptr<platform::RegistryApi> registry_;
  std::unique_ptr<platform::FileApi> files_;
  std::unique_ptr<platform::ProcessApi> processes_;
  std::unique_ptr<platform::SecurityApi> security_;
  std::unique_ptr<platform::Platform> platform_;
};

}  // namespace kes::win32
