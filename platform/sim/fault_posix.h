// Processor faults on the native (POSIX) host: a SIGSEGV, SIGBUS, SIGFPE or SIGILL raised by an
// instruction of this process becomes a platform::ProcessorFault thrown at that instruction, with
// the Windows exception code the same fault would carry, so that a traced step sees it exactly as
// it would on Windows. Requires code compiled with -fnon-call-exceptions.
#pragma once

namespace kes::sim {

// Installs the translating signal handlers (once per process; a second call changes nothing).
// Returns true when they are in place, false when sigaction refused (nothing is changed then).
bool InstallPosixFaultTranslator();

// Puts back the handlers that were in place before the install; does nothing when not installed.
void RemovePosixFaultTranslator();

}  // namespace kes::sim
