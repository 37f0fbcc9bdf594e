#include "app/app_main.h"

#include "app/kestrune_main.h"
#include "framework/env/app_common.h"
#include "framework/env/app_init.h"
#include "framework/env/context.h"

namespace kes {

// Main keeps no trace record: tracing starts inside InitApp, after the first statement here.
void Main() {
  // The program never loads the framework's hidden helper window; this must be the first
  // assignment, as only that one counts.
  SetNeverLoadForms(true);
  InitApp(false, u"");
  AppMainSub();
  // The program ends when its last window has been unloaded.
  OS().forms.RunForms();
}

}  // namespace kes
