// A processor exception translated into a C++ exception at the faulting instruction.
#pragma once

#include <cstdint>

namespace kes::platform {

// Windows exception codes (ntstatus.h), also used by the native backend for its signals.
enum : std::uint32_t {
  kEXCEPTION_ACCESS_VIOLATION = 0xC0000005u,
  kEXCEPTION_INT_DIVIDE_BY_ZERO = 0xC0000094u,
  kEXCEPTION_INT_OVERFLOW = 0xC0000095u,
  kEXCEPTION_ILLEGAL_INSTRUCTION = 0xC000001Du,
  kEXCEPTION_FLT_DIVIDE_BY_ZERO = 0xC000008Eu,
  kEXCEPTION_STACK_OVERFLOW = 0xC00000FDu,
  kEXCEPTION_BREAKPOINT = 0x80000003u,
};

struct ProcessorFault {
  std::uint32_t code = 0;      // exception code, innermost record of a chain
  std::uintptr_t address = 0;  // faulting instruction
};

// Thrown by ExitProcess of the simulated machine so that the run of the program ends where a
// real process would end; never caught by tracing.
struct ProcessExit {
  std::uint32_t code = 0;
};

}  // namespace kes::platform
