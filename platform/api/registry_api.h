// Registry keys and values (advapi32).
#pragma once

#include "platform/types.h"

namespace kes::platform {

class RegistryApi {
 public:
  virtual ~RegistryApi() = default;
};

}  // namespace kes::platform
