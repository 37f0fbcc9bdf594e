#include "framework/debug/proc.h"

#include "platform/base/u16.h"

namespace kes::debug {
namespace {

std::int32_t KindCode(Kind kind) {
  switch (kind) {
    case Kind::Sub:
      return ProcKind_Sub;
    case Kind::Function:
      return ProcKind_Function;
    case Kind::Property:
      return ProcKind_Property;
  }
  return ProcKind_Unknown;
}

// The failure becomes the current run-time error and goes to the procedure's handler.
void Handle(std::int32_t id, RuntimeError err, std::u16string_view what) {
  try {
    SetRuntimeError(std::move(err));
  } catch (...) {
  }
  dLogErrHandler(id, what);
}

}  // namespace

Proc::Proc(std::u16string_view module, std::u16string_view name, Kind kind)
    : id_(ProcNewText(module, name, KindCode(kind))) {}

Proc::~Proc() {
  ProcExit(id_);
}

void Proc::Fail(const RuntimeError& err, std::u16string_view what) const {
  try {
    Handle(id_, err, what);
  } catch (...) {
  }
}

void Proc::FailFault(const platform::ProcessorFault& f, std::u16string_view what) const {
  try {
    Handle(id_, ExceptionHandler(f), what);
  } catch (...) {
  }
}

void Proc::FailOutOfMemory(std::u16string_view what) const {
  try {
    Handle(id_, RuntimeError{7, u"Out of memory", {}}, what);
  } catch (...) {
  }
}

void Proc::FailStd(const std::exception& e, std::u16string_view what) const {
  try {
    Handle(id_, RuntimeError{51, u"Internal error: " + U16(e.what()), {}}, what);
  } catch (...) {
  }
}

}  // namespace kes::debug
