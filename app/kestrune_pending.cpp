#include "app/kestrune_pending.h"

#include "framework/debug/proc.h"

namespace kes {
namespace {

using debug::Kind;
using debug::Proc;

void NotAvailable(const Proc& p, std::u16string_view name) {
  p.Log(std::u16string(name) + u" is not available in this build yet.", debug::Event_Normal);
}

}  // namespace

void DoSafe(bool bCommandPrompt, bool bRestart, bool bEnableF8, bool bTempAdmin) {
  Proc p(u"KestruneMain", u"DoSafe", Kind::Sub);
  p.Args({u"bCommandPrompt", bCommandPrompt, u"bRestart", bRestart, u"bEnableF8", bEnableF8,
          u"bTempAdmin", bTempAdmin});
  NotAvailable(p, u"DoSafe");
}

void DoSafeNet(bool bRestart, bool bEnableF8, bool bTempAdmin) {
  Proc p(u"KestruneMain", u"DoSafeNet", Kind::Sub);
  p.Args({u"bRestart", bRestart, u"bEnableF8", bEnableF8, u"bTempAdmin", bTempAdmin});
  NotAvailable(p, u"DoSafeNet");
}

void DoSafeNetNoReboot(bool bEnableF8, bool bTempAdmin) {
  Proc p(u"KestruneMain", u"DoSafeNetNoReboot", Kind::Sub);
  p.Args({u"bEnableF8", bEnableF8, u"bTempAdmin", bTempAdmin});
  NotAvailable(p, u"DoSafeNetNoReboot");
}

void RemoveMods(bool bFull) {
  Proc p(u"KestruneMain", u"RemoveMods", Kind::Sub);
  p.Args({u"bFull", bFull});
  NotAvailable(p, u"RemoveMods");
}

void AddMeToRunOnce(std::u16string_view sParam, std::u16string_view sEntryName) {
  Proc p(u"KestruneMain", u"AddMeToRunOnce", Kind::Sub);
  p.Args({u"sParam", sParam, u"sEntryName", sEntryName});
  NotAvailable(p, u"AddMeToRunOnce");
}

void ShowMainWindow() {
  Proc p(u"KestruneUI", u"ShowMainWindow", Kind::Sub);
  NotAvailable(p, u"ShowMainWindow");
}

}  // namespace kes
