// MExceptionHandler: processor exceptions (an access violation, a division by zero...) become
// ordinary run-time errors of the procedure that was running. The platform turns the fault into
// a C++ exception at the faulting instruction; Proc::Step catches it and logs run-time error
// 10000 from "ExceptionHandler" with the description below as an Event_ErrorHandler event, and
// the procedure goes on with its next step.
#pragma once

#include <cstdint>
#include <string>

#include "framework/debug/tracing.h"
#include "platform/fault.h"

namespace kes::debug {

inline constexpr std::int32_t kProcessorFaultError = 10000;

// Description of a processor exception code ("Access Violation", "Integer Divide By Zero"...);
// a code not in the table gives "Unknown (&H" & eight hexadecimal digits & ")".
std::u16string GetExceptionDescription(std::uint32_t code);

// The run-time error a processor fault becomes.
RuntimeError ExceptionHandler(const platform::ProcessorFault& fault);

// Turns the translation of processor faults on (once; a later call only stores `filter_result`).
// Failures are swallowed: the flag then stays off and faults end the process as before.
void InstallExceptionHandler(std::int32_t filter_result);
// Turns it off again; does nothing when it is not on.
void UninstallExceptionHandler();
bool ExceptionHandlerInstalled();

// Proves the translation on the running machine: inside one traced procedure a null pointer is
// read and an integer is divided by zero, each in its own step. Returns 0 when both became
// Event_ErrorHandler events of that procedure (10000, "Access Violation" / "Integer Divide By
// Zero", source "ExceptionHandler") and the procedure went on past both; otherwise a non-zero
// code naming the first check that failed (1 no context, 2 no translation, 3 a step did not
// fail, 4 the procedure stopped, 5 the events are missing or wrong).
int RunFaultSelfTest();

}  // namespace kes::debug
