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

void ShowMainWindow() {
  Proc p(u"KestruneUI", u"ShowMainWindow", Kind::Sub);
  NotAvailable(p, u"ShowMainWindow");
}

}  // namespace kes
