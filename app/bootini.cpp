#include "app/bootini.h"

#include "framework/debug/proc.h"

namespace kes {
namespace {

constexpr std::u16string_view kModule = u"KestruneMain";

void NotAvailable(const debug::Proc& p, std::u16string_view name) {
  p.Log(std::u16string(name) + u" is not available in this build yet; boot.ini is unchanged.",
        debug::Event_Normal);
}

}  // namespace

bool BootIniSafeMod(SafeMode mode) {
  debug::Proc p(kModule, u"BootIniSafeMod", debug::Kind::Function);
  p.Args({u"iBootIniMode", BootIniMode(mode)});
  NotAvailable(p, u"BootIniSafeMod");
  p.Result(false);
  return false;
}

bool BootIniUndoMod() {
  debug::Proc p(kModule, u"BootIniUndoMod", debug::Kind::Function);
  NotAvailable(p, u"BootIniUndoMod");
  p.Result(false);
  return false;
}

}  // namespace kes
