// Pieces shared by the App_Common file procedures (app_fs_*.cpp); not for other modules.
#pragma once

#include <string>
#include <string_view>

#include "framework/fs/app_filepath.h"
#include "framework/fs/app_fs.h"

namespace kes::fs_detail {

inline constexpr std::u16string_view kModule = u"App_Common";

// The wide-API form of a path (prefixed, NUL-terminated), ready for a wide file call.
inline std::u16string Prepared(std::u16string_view path, bool bEnsureTrailingBS = false) {
  std::u16string s(path);
  PrepPathForUnicodeAPI(s, bEnsureTrailingBS);
  return s;
}

// Redirection off for the lifetime of the object: the bracket around each file call, which
// also holds when the call ends in a processor fault.
class RedirOff {
 public:
  RedirOff() { DisableFSRedir(); }
  ~RedirOff() { RevertFSRedir(); }
  RedirOff(const RedirOff&) = delete;
  RedirOff& operator=(const RedirOff&) = delete;
};

// An object counts as a folder when a directory or volume-label bit is set.
inline bool IsDirAttrib(std::int64_t attributes) {
  if (attributes < 0) attributes = -attributes;
  return (attributes & 0x18) != 0;
}

}  // namespace kes::fs_detail
