#include "platform/win32/fault_veh.h"

#include <cstdint>

#include "platform/fault.h"
#include "platform/win32/windows_support.h"

namespace kes::win32 {
namespace {
// The fault being turned into an exception on this thread, handed from the handler to the thrower
// without arguments: a callee may spill register arguments into the 32 bytes above its return
// address, which here belong to the interrupted frame.
thread_local platform::ProcessorFault t_pending;
}  // namespace
}  // namespace kes::win32

extern "C" [[noreturn]] __attribute__((noinline, used)) void kes_win32_ThrowPendingFault() {
  throw kes::platform::ProcessorFault(kes::win32::t_pending);
}

#if defined(__x86_64__)
// The faulting code may have been interrupted with its stack at any alignment (a frameless
// function sits 8 bytes off). The trampoline keeps the interrupted stack pointer in a frame
// register, so the unwinder walks back into the faulting frame exactly, and calls the thrower
// on a stack aligned as a call expects.
extern "C" void kes_win32_FaultTrampoline();
asm(R"(
    .text
    .globl kes_win32_FaultTrampoline
    .def kes_win32_FaultTrampoline; .scl 2; .type 32; .endef
    .seh_proc kes_win32_FaultTrampoline
kes_win32_FaultTrampoline:
    pushq %rbp
    .seh_pushreg %rbp
    movq %rsp, %rbp
    .seh_setframe %rbp, 0
    .seh_endprologue
    andq $-16, %rsp
    subq $32, %rsp
    call kes_win32_ThrowPendingFault
    int3
    .seh_endproc
)");
#endif

namespace kes::win32 {
namespace {

// The registration is the process's own (Windows keeps one list of vectored handlers per
// process), so its cookie lives beside it rather than in any program context.
PVOID g_registration = nullptr;

bool Translatable(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
      return true;
    default:
      // C++ exceptions in flight (0x20474343), breakpoints, debugger notifications, stack
      // overflow (no stack left to throw on) and anything else belong to someone else.
      return false;
  }
}

// Only faults of our own code are ours to translate: system libraries probe memory under their
// own structured handlers, and throwing through their frames would break them.
bool InOwnImage(std::uintptr_t pc) {
  HMODULE own = nullptr;
  HMODULE at = nullptr;
  const DWORD flags =
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
  if (!GetModuleHandleExW(flags, reinterpret_cast<LPCWSTR>(&kes_win32_ThrowPendingFault), &own)) {
    return false;
  }
  if (!GetModuleHandleExW(flags, reinterpret_cast<LPCWSTR>(pc), &at)) return false;
  return own == at;
}

LONG CALLBACK OnException(EXCEPTION_POINTERS* info) {
  if (!info || !info->ExceptionRecord || !info->ContextRecord) return EXCEPTION_CONTINUE_SEARCH;
  // A nested exception is described by the record that started it.
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  while (record->ExceptionRecord) record = record->ExceptionRecord;
  const DWORD code = info->ExceptionRecord->ExceptionCode;
  if (!Translatable(code) && !Translatable(record->ExceptionCode)) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  CONTEXT* ctx = info->ContextRecord;
#if defined(__x86_64__) || defined(_M_X64)
  const std::uintptr_t pc = static_cast<std::uintptr_t>(ctx->Rip);
  if (!InOwnImage(pc)) return EXCEPTION_CONTINUE_SEARCH;
  t_pending = platform::ProcessorFault{record->ExceptionCode, pc};
  // The unwinder finds the handler by the return address minus one, so the pretended call
  // "returns" one byte into the faulting instruction: its own try range is the one searched.
  ctx->Rsp -= sizeof(DWORD64);
  *reinterpret_cast<DWORD64*>(ctx->Rsp) = ctx->Rip + 1;
  ctx->Rip = reinterpret_cast<DWORD64>(&kes_win32_FaultTrampoline);
#elif defined(__i386__) || defined(_M_IX86)
  const std::uintptr_t pc = static_cast<std::uintptr_t>(ctx->Eip);
  if (!InOwnImage(pc)) return EXCEPTION_CONTINUE_SEARCH;
  t_pending = platform::ProcessorFault{record->ExceptionCode, pc};
  ctx->Esp -= sizeof(DWORD);
  *reinterpret_cast<DWORD*>(ctx->Esp) = ctx->Eip + 1;
  ctx->Eip = reinterpret_cast<DWORD>(&kes_win32_ThrowPendingFault);
#else
  return EXCEPTION_CONTINUE_SEARCH;
#endif
  return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

bool InstallVectoredFaultTranslator() {
  if (g_registration) return true;
  // First in the list: the translation must happen before anyone else looks at the fault.
  g_registration = AddVectoredExceptionHandler(1, &OnException);
  return g_registration != nullptr;
}

void RemoveVectoredFaultTranslator() {
  if (!g_registration) return;
  RemoveVectoredExceptionHandler(g_registration);
  g_registration = nullptr;
}

}  // namespace kes::win32
