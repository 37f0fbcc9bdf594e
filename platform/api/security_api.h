// Tokens, privileges, accounts and groups (advapi32, netapi32).
#pragma once

#include "platform/types.h"

namespace kes::platform {

class SecurityApi {
 public:
  virtual ~SecurityApi() = default;
};

}  // namespace kes::platform
