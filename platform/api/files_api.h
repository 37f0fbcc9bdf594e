// Files, folders, volumes and WOW64 file-system redirection (kernel32, shell32, shlwapi).
#pragma once

#include "platform/types.h"

namespace kes::platform {

class FileApi {
 public:
  virtual ~FileApi() = default;
};

}  // namespace kes::platform
