#include "platform/sim/fault_posix.h"

#include <signal.h>
#include <ucontext.h>

#include <cstdint>

#include "platform/fault.h"

namespace kes::sim {
namespace {

// Windows exception codes (ntstatus.h) of the faults a signal can stand for.
enum : std::uint32_t {
  kAccessViolation = 0xC0000005u,
  kInPageError = 0xC0000006u,
  kDatatypeMisalignment = 0x80000002u,
  kIllegalInstruction = 0xC000001Du,
  kPrivilegedInstruction = 0xC0000096u,
  kArrayBoundsExceeded = 0xC000008Cu,
  kFltDivideByZero = 0xC000008Eu,
  kFltInexactResult = 0xC000008Fu,
  kFltInvalidOperation = 0xC0000090u,
  kFltOverflow = 0xC0000091u,
  kFltUnderflow = 0xC0000093u,
  kIntDivideByZero = 0xC0000094u,
  kIntOverflow = 0xC0000095u,
};

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
constexpr int kSignalCount = sizeof(kSignals) / sizeof(kSignals[0]);

// Signal dispositions belong to the host process, not to any simulated machine: whatever was
// installed before us (the sanitizer runtime's reporter, for instance) is kept here so that
// removing the translator restores it.
struct SavedActions {
  bool installed = false;
  struct sigaction previous[kSignalCount];
};
SavedActions& Saved() {
  static SavedActions saved;
  return saved;
}

std::uint32_t CodeFor(int sig, int si_code) {
  switch (sig) {
    case SIGSEGV:
      return kAccessViolation;
    case SIGBUS:
      return si_code == BUS_ADRALN ? kDatatypeMisalignment : kInPageError;
    case SIGILL:
      return (si_code == ILL_PRVOPC || si_code == ILL_PRVREG) ? kPrivilegedInstruction
                                                              : kIllegalInstruction;
    case SIGFPE:
      switch (si_code) {
        case FPE_INTDIV:
          return kIntDivideByZero;
        case FPE_INTOVF:
          return kIntOverflow;
        case FPE_FLTDIV:
          return kFltDivideByZero;
        case FPE_FLTOVF:
          return kFltOverflow;
        case FPE_FLTUND:
          return kFltUnderflow;
        case FPE_FLTRES:
          return kFltInexactResult;
        case FPE_FLTSUB:
          return kArrayBoundsExceeded;
        default:
          return kFltInvalidOperation;
      }
    default:
      return kAccessViolation;
  }
}

std::uintptr_t InstructionAddress(void* context) {
  const auto* uc = static_cast<const ucontext_t*>(context);
  if (!uc) return 0;
#if defined(__x86_64__)
  return static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__i386__)
  return static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_EIP]);
#elif defined(__aarch64__)
  return static_cast<std::uintptr_t>(uc->uc_mcontext.pc);
#else
  return 0;
#endif
}

// Runs on the faulting thread's own stack (no alternate stack), so the exception unwinds through
// the kernel's signal frame into the code that faulted, as -fnon-call-exceptions allows.
// SA_NODEFER leaves the signal unblocked after the jump out, so the next fault is caught too.
[[noreturn]] void OnFault(int sig, siginfo_t* info, void* context) {
  throw platform::ProcessorFault{CodeFor(sig, info ? info->si_code : 0),
                                 InstructionAddress(context)};
}

}  // namespace

bool InstallPosixFaultTranslator() {
  SavedActions& saved = Saved();
  if (saved.installed) return true;
  struct sigaction action = {};
  action.sa_sigaction = &OnFault;
  action.sa_flags = SA_SIGINFO | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  for (int i = 0; i < kSignalCount; ++i) {
    if (sigaction(kSignals[i], &action, &saved.previous[i]) != 0) {
      for (int k = 0; k < i; ++k) sigaction(kSignals[k], &saved.previous[k], nullptr);
      return false;
    }
  }
  saved.installed = true;
  return true;
}

void RemovePosixFaultTranslator() {
  SavedActions& saved = Saved();
  if (!saved.installed) return;
  for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &saved.previous[i], nullptr);
  saved.installed = false;
}

}  // namespace kes::sim
