// App_Debug: procedure tracing and the debug log.
// Vocabulary: a procedure registers a trace record on entry and gets a procedure ID (1, 2, 3...
// in order of entry, -1 = no record); events are remarks (normal, verbose), failed system calls
// and errors caught by a procedure's handler; each logged event becomes an entry of the debug log
// kept in memory (and appended to the day's log file). No tracing call ever throws.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/util/value.h"

namespace kes::debug {

enum EventType : std::int32_t {
  Event_Normal = 1,
  Event_Verbose = 2,
  Event_ProcEnter = 4,
  Event_ProcExit = 8,
  Event_ErrorHandler = 16,
  Event_APICallError = 32,
};

enum VarKind : std::int32_t {
  Var_PassedByVal = 1,
  Var_PassedByRef = 2,
  Var_Created = 4,
  Var_ReturnedByRef = 8,
  Var_FunctionReturn = 16,
};

// The current run-time error (what a failed step leaves for its procedure's handler).
struct RuntimeError {
  std::int32_t number = 0;
  std::u16string description;
  std::u16string source;
};

// Thrown by framework code that fails the way a run-time error would; caught by Proc::Step.
struct RuntimeErrorException {
  RuntimeError error;
};

void InitDebugModuleVars();
void CleanupDebug();

std::int32_t ProcNew(const Value& vSource, std::u16string_view sProcName, std::u16string_view sKind);
void ProcVar(std::int32_t lProcID, std::int32_t lVarKind, const std::vector<Value>& vVars);
void dLog(std::int32_t lProcID, std::u16string_view sMsg, std::int32_t lEventType,
          std::u16string_view sVariables = {}, const Value& vExpectedRuntimeErrors = {},
          const Value& vExpectedAPIErrors = {});
std::int32_t dLogAPI(std::int32_t lProcID, std::u16string_view sAPIName,
                     std::u16string_view sVariables = {}, const Value& vExpectedAPIErrors = {});
std::int32_t dLogErrHandler(std::int32_t lProcID, std::u16string_view sMsg,
                            std::u16string_view sVariables = {},
                            const Value& vExpectedRuntimeErrors = {},
                            const Value& vExpectedAPIErrors = {});
void ProcExit(std::int32_t lProcID);
bool ProcExists(std::int32_t lProcID);

void dPrint(const Value& vSource, std::u16string_view sMsg, std::int32_t lEventType,
            std::u16string_view sVariables = {});
void OutputDebugStringRaw(std::u16string_view sText);
void DebugLogAddEntry(std::u16string_view sText);

std::u16string GetSystemMsg(std::int32_t lCode, bool bSecondCache = false,
                            bool bForceLookup = false, bool bWithCode = false);
std::u16string DescribeValue(const Value& vValue, std::u16string_view sName);
std::u16string ValueToText(const Value& vValue);
std::u16string VarsToText(const std::vector<Value>& vVars);
std::u16string GetProcedureTypeAsString(std::int32_t code);
std::int32_t GetProcedureTypeFromString(std::u16string_view kind);
std::u16string PerfTimer_MakeTimePretty(std::int32_t lMs, bool bWithMs);

// The current run-time error: set by a failed step, read and cleared by dLog.
void SetRuntimeError(RuntimeError err);
const RuntimeError& CurrentRuntimeError();
void ClearRuntimeError();

// The in-memory debug log (entries separated by an empty line).
std::u16string DebugLogText();

}  // namespace kes::debug
