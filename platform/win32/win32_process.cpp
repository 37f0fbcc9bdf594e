#include "platform/win32/win32_platform.h"
#include "platform/win32/windows_support.h"

namespace kes::win32 {
namespace {

class Win32ProcessApi final : public platform::ProcessApi {};

}  // namespace

std::unique_ptr<platform::ProcessApi> MakeWin32Processes() { return std::make_unique<Win32ProcessApi>(); }

}  // namespace kes::win32
