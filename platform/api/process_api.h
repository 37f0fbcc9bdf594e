// Starting programs, waiting for them and their exit codes (kernel32, shell32).
#pragma once

#include "platform/types.h"

namespace kes::platform {

class ProcessApi {
 public:
  virtual ~ProcessApi() = default;
};

}  // namespace kes::platform
