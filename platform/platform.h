// The platform: every operating-system call made by the framework and the program goes
// through one of these interfaces. platform/win32 forwards to Windows; platform/sim is a
// simulated Windows machine used by the tests. A call keeps the name, meaning, return value
// and last error of the Windows call it mirrors, so log texts read the same on both.
#pragma once

#include "platform/api/files_api.h"
#include "platform/api/form_api.h"
#include "platform/api/process_api.h"
#include "platform/api/registry_api.h"
#include "platform/api/security_api.h"
#include "platform/api/system_api.h"
#include "platform/api/ui_api.h"
#include "platform/fault.h"
#include "platform/types.h"

namespace kes::platform {

// A view of one machine's interfaces; owned by the backend, never by its users.
struct Platform {
  SystemApi& sys;
  UiApi& ui;
  FormApi& forms;
  RegistryApi& reg;
  FileApi& fs;
  ProcessApi& proc;
  SecurityApi& sec;
};

}  // namespace kes::platform
