#include "platform/win32/win32_platform.h"
#include "platform/win32/windows_support.h"

namespace kes::win32 {
namespace {

class Win32FileApi final : public platform::FileApi {};

}  // namespace

std::unique_ptr<platform::FileApi> MakeWin32Files() { return std::make_unique<Win32FileApi>(); }

}  // namespace kes::win32
