// Owners and DACLs of the simulated machine's files and folders: the descriptor calls of advapi32
// and the folders made with a descriptor of the caller's.
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "platform/sim/access_control.h"
#include "platform/sim/file_calls.h"

namespace kes::sim {
namespace {
using namespace platform;  // NOLINT: Win32 names read best unqualified here
}  // namespace

BOOL SimFileApi::CreateDirectoryW(const char16_t* name, const SECURITY_ATTRIBUTES* attributes) {
  if (auto e = m_.Gate("CreateDirectoryW")) return Fail(*e, BOOL{0});
  if (!name) return Fail(kERROR_PATH_NOT_FOUND, BOOL{0});
  const Located at = fs_.Locate(name);
  if (at.node) {
    return Fail(at.path.parts.empty() ? kERROR_ACCESS_DENIED : kERROR_ALREADY_EXISTS, BOOL{0});
  }
  if (at.error != kERROR_FILE_NOT_FOUND) return Fail(at.error, BOOL{0});
  if (at.volume->read_only) return Fail(at.volume->WriteError(), BOOL{0});
  if (DWORD e = fs_.CreateError(at, true)) return Fail(e, BOOL{0});
  std::shared_ptr<SimSecurity> own;
  if (attributes && attributes->lpSecurityDescriptor) {
    own = std::make_shared<SimSecurity>();
    if (DWORD e = NewObjectSecurity(m_, attributes->lpSecurityDescriptor, fs_.Security(at),
                                    ObjectKind::kFolder, *own)) {
      return Fail(e, BOOL{0});
    }
  }
  auto node = fs_.NewNode(*at.parent, at.Leaf(), true);
  if (own) node->security = std::move(own);
  m_.last_error = 0;
  return 1;
}

BOOL SimFileApi::GetFileSecurityW(const char16_t* name, DWORD info, void* descriptor, DWORD length,
                                  DWORD* needed) {
  if (auto e = m_.Gate("GetFileSecurityW")) return Fail(*e, BOOL{0});
  if (!name || !needed) return Fail(kERROR_INVALID_PARAMETER, BOOL{0});
  const Located at = fs_.Locate(name);
  if (at.error) return Fail(at.error, BOOL{0});
  if (DWORD e = fs_.AccessError(at, kKEY_READ_CONTROL)) return Fail(e, BOOL{0});
  const std::vector<std::uint8_t> bytes = SelfRelativeDescriptor(fs_.Security(at), info);
  *needed = static_cast<DWORD>(bytes.size());
  if (!descriptor || length < bytes.size()) return Fail(kERROR_INSUFFICIENT_BUFFER, BOOL{0});
  std::memcpy(descriptor, bytes.data(), bytes.size());
  m_.last_error = 0;
  return 1;
}

BOOL SimFileApi::SetFileSecurityW(const char16_t* name, DWORD info, const void* descriptor) {
  if (auto e = m_.Gate("SetFileSecurityW")) return Fail(*e, BOOL{0});
  if (!name) return Fail(kERROR_INVALID_PARAMETER, BOOL{0});
  const Located at = fs_.Locate(name);
  if (at.error) return Fail(at.error, BOOL{0});
  if (DWORD e = fs_.AccessError(at, RightsToChange(info))) return Fail(e, BOOL{0});
  SimSecurity security = fs_.Security(at);
  if (DWORD e = ApplyDescriptor(m_, descriptor, info, security)) return Fail(e, BOOL{0});
  at.node->security = std::make_shared<SimSecurity>(std::move(security));
  m_.last_error = 0;
  return 1;
}

}  // namespace kes::sim
