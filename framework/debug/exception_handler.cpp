#include "framework/debug/exception_handler.h"

#include "framework/debug/proc.h"
#include "framework/debug/tracing_state.h"
#include "framework/env/context.h"
#include "platform/base/u16.h"

namespace kes::debug {
namespace {

struct CodeText {
  std::uint32_t code;
  const char16_t* text;
};

// Windows exception codes (ntstatus.h) and how the log names them.
constexpr CodeText kDescriptions[] = {
    {0xC0000005u, u"Access Violation"},               // EXCEPTION_ACCESS_VIOLATION
    {0x80000002u, u"Data Type Misalignment"},         // EXCEPTION_DATATYPE_MISALIGNMENT
    {0x80000003u, u"Breakpoint"},                     // EXCEPTION_BREAKPOINT
    {0x80000004u, u"Single Step"},                    // EXCEPTION_SINGLE_STEP
    {0xC000008Cu, u"Array Bounds Exceeded"},          // EXCEPTION_ARRAY_BOUNDS_EXCEEDED
    {0xC000008Du, u"Float Denormal Operand"},         // EXCEPTION_FLT_DENORMAL_OPERAND
    {0xC000008Eu, u"Divide By Zero"},                 // EXCEPTION_FLT_DIVIDE_BY_ZERO
    {0xC000008Fu, u"Floating Point Inexact Result"},  // EXCEPTION_FLT_INEXACT_RESULT
    {0xC0000090u, u"Invalid Operation"},              // EXCEPTION_FLT_INVALID_OPERATION
    {0xC0000091u, u"Float Overflow"},                 // EXCEPTION_FLT_OVERFLOW
    {0xC0000092u, u"Float Stack Check"},              // EXCEPTION_FLT_STACK_CHECK
    {0xC0000093u, u"Float Underflow"},                // EXCEPTION_FLT_UNDERFLOW
    {0xC0000094u, u"Integer Divide By Zero"},         // EXCEPTION_INT_DIVIDE_BY_ZERO
    {0xC0000095u, u"Integer Overflow"},               // EXCEPTION_INT_OVERFLOW
    {0xC0000096u, u"Privileged Instruction"},         // EXCEPTION_PRIV_INSTRUCTION
    {0xC0000006u, u"In Page Error"},                  // EXCEPTION_IN_PAGE_ERROR
    {0xC000001Du, u"Illegal Instruction"},            // EXCEPTION_ILLEGAL_INSTRUCTION
    {0xC0000025u, u"Non Continuable Exception"},      // EXCEPTION_NONCONTINUABLE_EXCEPTION
    {0xC00000FDu, u"Stack Overflow"},                 // EXCEPTION_STACK_OVERFLOW
    {0xC0000026u, u"Invalid Disposition"},            // EXCEPTION_INVALID_DISPOSITION
    {0x80000001u, u"Guard Page Violation"},           // EXCEPTION_GUARD_PAGE
    {0xC0000008u, u"Invalid Handle"},                 // EXCEPTION_INVALID_HANDLE
    {0xC000013Au, u"Control-C Exit"},                 // CONTROL_C_EXIT
};

constexpr std::u16string_view kFaultSource = u"ExceptionHandler";

DebugState* TryState() {
  return HasCtx() ? Ctx().debug.get() : nullptr;
}

// The faults of the self-test. Their operands come from volatile locals, so the compiler cannot
// see the fault coming, and the sanitizers are kept out of the way of the real processor fault.
__attribute__((noinline, no_sanitize("address", "undefined"))) int ReadThroughNull() {
  int* volatile pointer = nullptr;
  return *pointer;
}

__attribute__((noinline, no_sanitize("address", "undefined"))) int DivideByZero() {
  volatile int dividend = 7;
  volatile int divisor = 0;
  return dividend / divisor;
}

bool IsFaultEvent(const AppProcEvent& e, std::u16string_view description) {
  return e.EventType == Event_ErrorHandler && e.RuntimeErrorNum == kProcessorFaultError &&
         e.RuntimeErrorDesc == description && e.RuntimeErrorSource == kFaultSource;
}

}  // namespace

std::u16string GetExceptionDescription(std::uint32_t code) {
  for (const CodeText& c : kDescriptions) {
    if (c.code == code) return c.text;
  }
  return u"Unknown (&H" + Hex(code, 8) + u")";
}

RuntimeError ExceptionHandler(const platform::ProcessorFault& fault) {
  return RuntimeError{kProcessorFaultError, GetExceptionDescription(fault.code),
                      std::u16string(kFaultSource)};
}

void InstallExceptionHandler(std::int32_t filter_result) {
  DebugState* st = TryState();
  if (!st) return;
  try {
    st->exception_filter_result = filter_result;
    if (!st->exception_handler_installed && OS().sys.InstallProcessorFaultTranslator()) {
      st->exception_handler_installed = true;
    }
  } catch (...) {
  }
}

void UninstallExceptionHandler() {
  DebugState* st = TryState();
  if (!st || !st->exception_handler_installed) return;
  try {
    OS().sys.RemoveProcessorFaultTranslator();
  } catch (...) {
  }
  st->exception_handler_installed = false;
}

bool ExceptionHandlerInstalled() {
  DebugState* st = TryState();
  return st && st->exception_handler_installed;
}

int RunFaultSelfTest() {
  DebugState* st = TryState();
  if (!st) return 1;
  const bool was_installed = st->exception_handler_installed;
  InstallExceptionHandler(-1);
  if (!st->exception_handler_installed) return 2;

  std::int32_t id = 0;
  bool read_failed = false;
  bool divide_failed = false;
  bool went_on = false;
  {
    Proc p(u"MExceptionHandler", u"RunFaultSelfTest", Kind::Function);
    id = p.id();
    volatile int sink = 0;
    read_failed = !p.Step([&] { sink = ReadThroughNull(); }, u"Reading through a null pointer");
    divide_failed = !p.Step([&] { sink = DivideByZero(); }, u"Dividing by zero");
    went_on = sink == 0;
    p.Result(Value(went_on));
  }
  if (!was_installed) UninstallExceptionHandler();

  if (!read_failed || !divide_failed) return 3;
  if (!went_on) return 4;
  const AppProc* rec = id >= 1 && static_cast<std::size_t>(id) <= st->procs.size()
                           ? &st->procs[static_cast<std::size_t>(id - 1)]
                           : nullptr;
  if (!rec) return 5;
  bool saw_read = false;
  bool saw_divide = false;
  for (const AppProcEvent& e : rec->NewEnum()) {
    saw_read = saw_read || IsFaultEvent(e, u"Access Violation");
    saw_divide = saw_divide || IsFaultEvent(e, u"Integer Divide By Zero");
  }
  return saw_read && saw_divide ? 0 : 5;
}

}  // namespace kes::debug
