// Processor faults on Windows: an access violation, an integer division by zero and the other
// hardware exceptions raised by an instruction of this program become a platform::ProcessorFault
// thrown as if the faulting instruction had called a function that throws it, so the C++
// handlers of the running code (a traced step) receive it. Requires -fnon-call-exceptions.
#pragma once

namespace kes::win32 {

// Registers the vectored exception handler (once per process; a second call changes nothing).
// Returns true when it is registered, false when Windows refused.
bool InstallVectoredFaultTranslator();

// Unregisters it; does nothing when it is not registered.
void RemoveVectoredFaultTranslator();

}  // namespace kes::win32
