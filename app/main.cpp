#include "app/main.h"

#include "app/dispatch.h"
#include "framework/env/context.h"
#include "framework/env/startup.h"
#include "framework/env/startup_helpers.h"

namespace kes {

// Main keeps no trace record: tracing starts inside InitApp, after the first statement here.
std::int32_t Main() {
  // The program never loads the framework's hidden helper window; this must be the first
  // assignment, as only that one counts.
  SetNeverLoadForms(true);
  InitApp(false, u"");
  AppMainSub();
  // The program ends when its last window has been unloaded.
  OS().forms.RunForms();
  return Ctx().exit_status;
}

}  // namespace kes
