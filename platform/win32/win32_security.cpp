#include "platform/win32/win32_platform.h"
#include "platform/win32/windows_support.h"

namespace kes::win32 {
namespace {

class Win32SecurityApi final : public platform::SecurityApi {};

}  // namespace

std::unique_ptr<platform::SecurityApi> MakeWin32Security() { return std::make_unique<Win32SecurityApi>(); }

}  // namespace kes::win32
