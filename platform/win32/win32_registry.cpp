#include "platform/win32/win32_platform.h"
#include "platform/win32/windows_support.h"

namespace kes::win32 {
namespace {

class Win32RegistryApi final : public platform::RegistryApi {};

}  // namespace

std::unique_ptr<platform::RegistryApi> MakeWin32Registry() { return std::make_unique<Win32RegistryApi>(); }

}  // namespace kes::win32
