// App_ProcEvent: one event of a procedure's trace record, as a plain record. Records keep their
// events in a compact form and hand out this full form on request.
#pragma once

#include <cstdint>
#include <string>

namespace kes::debug {

// Fields in the order they are set.
struct AppProcEvent {
  std::int32_t Procedure_EventID = 0;       // 1 upward within the procedure
  std::int32_t Global_EventID = 0;          // across all procedures, flow events included
  std::int32_t Global_NonFlow_EventID = 0;  // across all procedures, 0 for flow events
  std::int32_t EventType_EventID = 0;       // running number within the type, 0 for flow events
  std::int32_t EventType = 0;
  std::u16string EventInfo;       // the message
  std::u16string EventVariables;  // formatted variable text
  std::int32_t EventTime = 0;     // hhnnssmmm, 0 for flow events
  std::int32_t APIErrorNum = 0;
  std::u16string APIErrorDesc;
  std::int32_t RuntimeErrorNum = 0;
  std::u16string RuntimeErrorDesc;
  std::u16string RuntimeErrorSource;
  bool IsError = false;
};

}  // namespace kes::debug
