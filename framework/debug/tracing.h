// App_Debug: procedure tracing and the debug log.
// Vocabulary: a procedure registers a trace record on entry and gets a procedure ID (1, 2, 3...
// in order of entry, -1 = no record); events are remarks (normal, verbose), failed system calls
// and errors caught by a procedure's handler; each logged event becomes an entry of the debug log
// kept in memory (and appended to the day's log file). No tracing call ever throws.
#pragma once

#include <cstddef>
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

// Event-type masks for dumps and counts.
inline constexpr std::int32_t kAllEventTypes = 63;
inline constexpr std::int32_t kNonFlowEventTypes = 51;

enum VarKind : std::int32_t {
  Var_PassedByVal = 1,
  Var_PassedByRef = 2,
  Var_Created = 4,
  Var_ReturnedByRef = 8,
  Var_FunctionReturn = 16,
};

// Procedure kind codes as stored in a trace record ("Sub", "Function", "Property").
enum ProcKind : std::int32_t {
  ProcKind_Unknown = 0,
  ProcKind_Sub = 1,
  ProcKind_Function = 2,
  ProcKind_Property = 4,
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

// The texts that shape a log entry. Start-up hands in its generated texts; these defaults
// already give a readable log when it does not.
struct LogLabels {
  // First line of an entry: "{time} {tag} {entry}".
  std::u16string entry = u"Event";
  std::u16string tag_normal = u"[NRM]";
  std::u16string tag_verbose = u"[VRB]";
  std::u16string tag_enter = u"[ENT]";
  std::u16string tag_exit = u"[EXT]";
  std::u16string tag_error_handler = u"[ERR]";
  std::u16string tag_api_error = u"[API]";
  std::u16string tag_other = u"[???]";
  // After the identifier of every field line.
  std::u16string type_normal = u" <Normal> ";
  std::u16string type_verbose = u" <Verbose> ";
  std::u16string type_error_handler = u" <ErrHandler> ";
  std::u16string type_api_error = u" <APIError> ";
  std::u16string type_other = u" <Other> ";
  // What a flow event shows after the identifier.
  std::u16string proc_entered = u" >> Entered";
  std::u16string proc_exited = u" << Exited";
  // Field labels; each field line ends with "]".
  std::u16string field_message = u"Msg=[";
  std::u16string field_variables = u"Vars=[";
  std::u16string field_by_val = u"ByVal=[";
  std::u16string field_by_ref = u"ByRef=[";
  std::u16string field_created = u"Created=[";
  // Error lines: "{error}{api|runtime}{number} ,{hex}{HEX}) {source}{src} {text}{desc}]".
  std::u16string error = u"Error: ";
  std::u16string error_api = u"API=";
  std::u16string error_runtime = u"RunTime=";
  std::u16string error_hex = u"Hex=(";
  std::u16string error_source = u"Source=";
  std::u16string error_text = u"Desc=[";
  // The inner text of the separator of variable lists, "<" inner ">" cut or padded to 5.
  std::u16string separator_inner = u"|#|";
};

// Replaces the label texts (and rebuilds the five-character separator from separator_inner).
void SetLogLabels(const LogLabels& labels);
// The label texts in use.
const LogLabels& CurrentLogLabels();
// The five-character separator between the items of a variable list.
std::u16string VarSeparator();

// Starts the registry, both message caches and the counters afresh (growth chunk 1000). Labels,
// switches and the in-memory log are kept.
void InitDebugModuleVars();
// Flushes the log a last time, cleans up every record and empties the registry and the caches.
void CleanupDebug();

// Switches of the debug log (start-up sets them by build flavour; all off at start).
void SetDebugLogVerbose(bool on);
void SetDebugLogSystemOutput(bool on);
void SetDumpEventTypes(std::int32_t mask);

// Registers a procedure; returns its ID (count of records + 1), or 0 when no record could be
// made (ID already taken, counter overflow), which later calls treat as unregistered.
std::int32_t ProcNew(const Value& source, std::u16string_view proc_name,
                     std::u16string_view kind_text);
// ProcNew for callers that hold the source as text and the kind as code (Proc does).
std::int32_t ProcNewText(std::u16string_view source, std::u16string_view proc_name,
                         std::int32_t kind_code);
// Stores the list text of `vars` in the field of `var_kind` of the record; for an unregistered ID
// the text goes to the debugger channel only (ID -1 is silent).
void ProcVar(std::int32_t proc_id, std::int32_t var_kind, const std::vector<Value>& vars);
// ProcVar over `count` values at `vars` (no array needs building).
void ProcVarList(std::int32_t proc_id, std::int32_t var_kind, const Value* vars, std::size_t count);
// Logs an event. The last system error and the current run-time error are read and cleared;
// an expected one (single number or comma list) demotes the event to verbose.
void dLog(std::int32_t proc_id, std::u16string_view message, std::int32_t event_type,
          std::u16string_view variables = {}, const Value& expected_runtime_errors = {},
          const Value& expected_api_errors = {});
// Right after a failing system call: logs it under `api_name` when the last error is non-zero.
// Returns that error (0 when none, and then nothing is logged).
std::int32_t dLogAPI(std::int32_t proc_id, std::u16string_view api_name,
                     std::u16string_view variables = {}, const Value& expected_api_errors = {});
// In an error handler: logs the current errors as an Event_ErrorHandler event. Returns the last
// system error when non-zero, else the current run-time error number.
std::int32_t dLogErrHandler(std::int32_t proc_id, std::u16string_view message,
                            std::u16string_view variables = {},
                            const Value& expected_runtime_errors = {},
                            const Value& expected_api_errors = {});
// Closes the procedure's record (it stays registered); an unregistered ID is reported to the
// debugger channel.
void ProcExit(std::int32_t proc_id);
// True when the registry holds a record with this ID.
bool ProcExists(std::int32_t proc_id);

// A problem of the tracing facility itself: to the debugger channel only, and only when both
// switches are on. Reads and clears the current errors like dLog.
void dPrint(const Value& source, std::u16string_view message, std::int32_t event_type,
            std::u16string_view variables = {});
// OutputDebugStringW of the text when DebugLog_SystemOutput is on; else nothing.
void OutputDebugStringRaw(std::u16string_view text);
// Appends `text` and an empty line to the in-memory log (empty texts are ignored), then flushes
// the log to its file when one is set.
void DebugLogAddEntry(std::u16string_view text);

// The system's message text for an error code, cached per code (two independent caches). On
// failure the fixed failure text, which is not cached. `with_code` gives "[code=text]".
std::u16string GetSystemMsg(std::int32_t code, bool second_cache = false, bool force_lookup = false,
                            bool with_code = false);
// "sName.TypeName=ValueText" ("TypeName=ValueText" without a name); empty value text is "NA".
std::u16string DescribeValue(const Value& value, std::u16string_view name);
// The plain text of a value (general date form for dates, class name for objects).
std::u16string ValueToText(const Value& value);
// The list text of a name/value array (a single element: the value alone).
std::u16string VarsToText(const std::vector<Value>& vars);
std::u16string GetProcedureTypeAsString(std::int32_t code);
std::int32_t GetProcedureTypeFromString(std::u16string_view kind);
// "HH:MM:SS" of `ms`, with ".mmm" when `with_ms`.
std::u16string PerfTimer_MakeTimePretty(std::int32_t ms, bool with_ms);
// Current local time as "hh:nn:ss" (":mmm" appended with `with_ms`) and as the number hhnnss
// (hhnnssmmm with `with_ms`).
void TimeStampNow(std::u16string& time_text, std::int32_t& time, bool with_ms);

// Formats the text of one event (field lines joined by CR LF, no time line).
std::u16string ConstructDebugMsg(std::int32_t event_type, std::u16string_view identifier,
                                 std::u16string_view message, std::u16string_view variables,
                                 std::int32_t proc_event_no, std::int32_t api_num,
                                 std::u16string_view api_text, std::int32_t runtime_num,
                                 std::u16string_view runtime_desc,
                                 std::u16string_view runtime_source, bool is_error,
                                 std::u16string_view by_val, std::u16string_view by_ref,
                                 std::u16string_view created);

// The current run-time error: set by a failed step, read and cleared by dLog.
void SetRuntimeError(RuntimeError err);
const RuntimeError& CurrentRuntimeError();
void ClearRuntimeError();

// The in-memory debug log (entries separated by an empty line).
std::u16string DebugLogText();

// Folder of the program data (Dir_ProgramData). From then on every entry is also appended to
// "<folder>\Kestrune\Logs\Kestrune_<yyyy-mm-dd>.log"; entries made before are written at once.
// A log file that cannot be written is given up quietly: the log stays in memory.
void SetLogFileFolder(std::u16string program_data_dir);

}  // namespace kes::debug
