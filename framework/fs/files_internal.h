// Pieces shared by the App_Common file procedures (files_*.cpp); not for other modules.
#pragma once

#include <string>
#include <string_view>

#include "framework/fs/files.h"
#include "framework/fs/path_forms.h"

namespace kes::fs_detail {

inline constexpr std::u16string_view kModule = u"App_Common";

// The wide-API form of a path (prefixed, NUL-terminated), ready for a wide file call.
inline std::u16string Prepared(std::u16string_view path, bool ensure_trailing_bs = false) {
  std::u16string s(path);
  PrepPathForUnicodeAPI(s, ensure_trailing_bs);
  return s;
}

// An object counts as a folder when a directory or volume-label bit is set.
inline bool IsDirAttrib(std::int64_t attributes) {
  if (attributes < 0) attributes = -attributes;
  return (attributes & 0x18) != 0;
}

}  // namespace kes::fs_detail
