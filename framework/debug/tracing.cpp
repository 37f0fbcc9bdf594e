// App_Debug: the trace records and the events procedures report. Every entry point here runs
// with its failures contained: whatever goes wrong inside (a counter overflow, memory) ends the
// tracing call quietly and the traced procedure carries on.
#include "framework/debug/tracing.h"

#include <limits>
#include <stdexcept>
#include <utility>

#include "framework/debug/log_text.h"
#include "framework/debug/proc.h"
#include "framework/debug/tracing_state.h"
#include "framework/env/context.h"
#include "platform/base/u16.h"

namespace kes::debug {
namespace {

// Errors raised with the program's own name as their source say nothing more by naming it.
constexpr std::u16string_view kAppName = u"Kestrune";

DebugState* TryState() {
  if (!HasCtx()) return nullptr;
  return Ctx().debug.get();
}

AppProc* Find(DebugState& st, std::int32_t id) {
  if (id < 1 || static_cast<std::size_t>(id) > st.procs.size()) return nullptr;
  return &st.procs[static_cast<std::size_t>(id - 1)];
}

std::u16string BuildSeparator(std::u16string_view inner) {
  std::u16string sep = u"<" + std::u16string(inner) + u">";
  sep.resize(5, u' ');
  return sep;
}

bool IsOwnName(std::u16string_view source) {
  const std::u16string a = Trim(source);
  return a.size() == kAppName.size() && EqualsNoCase(a, kAppName);
}

const std::u16string& TypeTag(const LogLabels& l, std::int32_t type) {
  switch (type) {
    case Event_Normal:
      return l.tag_normal;
    case Event_Verbose:
      return l.tag_verbose;
    case Event_ProcEnter:
      return l.tag_enter;
    case Event_ProcExit:
      return l.tag_exit;
    case Event_ErrorHandler:
      return l.tag_error_handler;
    case Event_APICallError:
      return l.tag_api_error;
    default:
      return l.tag_other;
  }
}

// The event text as the debugger channel gets it: every identifier marked with the prefix.
std::u16string ForDebugger(const DebugState& st, std::u16string_view text,
                           std::u16string_view ident) {
  std::u16string out;
  if (ident.empty()) {
    out = text;
  } else {
    const std::u16string mark = u"[" + st.DebugLog_SystemOutput_Prefix + u"]  ";
    std::size_t pos = 0;
    while (true) {
      const std::size_t hit = FindNoCase(text, ident, pos);
      if (hit == std::u16string_view::npos) break;
      out.append(text.substr(pos, hit - pos));
      out += mark;
      out.append(text.substr(hit, ident.size()));
      pos = hit + ident.size();
    }
    out.append(text.substr(pos));
  }
  out += u"\r\n";
  return out;
}

// Reads the last system error and the current run-time error, as every logging call does.
struct CapturedErrors {
  std::int32_t api = 0;
  RuntimeError rt;
};
CapturedErrors TakeErrors(DebugState& st) {
  CapturedErrors c;
  c.api = static_cast<std::int32_t>(OS().sys.GetLastError());
  c.rt = std::move(st.runtime_error);
  st.runtime_error = RuntimeError{};
  if (c.rt.number == 0) c.rt = RuntimeError{};
  return c;
}

// Both errors are consumed by logging: whoever goes on after a log call starts clean.
void ClearErrors(DebugState& st) {
  st.runtime_error = RuntimeError{};
  OS().sys.SetLastError(0);
}

void LogEvent(DebugState& st, std::int32_t id, std::u16string_view msg, std::int32_t type,
              std::u16string_view variables, const Value& expected_rt, const Value& expected_api) {
  CapturedErrors err = TakeErrors(st);
  bool is_error = (err.api != 0 && type != Event_ErrorHandler) ||
                  (err.rt.number != 0 && type != Event_ErrorHandler);
  std::u16string time_text;
  std::int32_t time_number = 0;
  TimeStampNow(time_text, time_number, true);

  std::u16string message(msg);
  std::int32_t api_num = 0;
  std::u16string api_text;
  if (err.api != 0) {
    std::u16string text = GetSystemMsg(err.api);
    if (ExpectedErrorMatches(expected_api, err.api)) {
      type = Event_Verbose;
      if (!message.empty()) message += u"  ";
      message += u"Expected APIError=" + Dec(err.api) + u" (" + text + u")";
    } else {
      api_num = err.api;
      api_text = std::move(text);
    }
  }
  std::int32_t rt_num = 0;
  std::u16string rt_desc, rt_source;
  if (err.rt.number != 0) {
    std::u16string source = IsOwnName(err.rt.source) ? std::u16string() : err.rt.source;
    if (ExpectedErrorMatches(expected_rt, err.rt.number)) {
      type = Event_Verbose;
      if (!message.empty()) message += u"  ";
      message += u"Expected VBError=" + Dec(err.rt.number) + u" Desc=" + err.rt.description;
      if (!source.empty()) message += u" Source=" + source;
    } else {
      rt_num = err.rt.number;
      rt_desc = std::move(err.rt.description);
      rt_source = std::move(source);
    }
  }

  Bump(st.GlobalEvents);
  Bump(st.GlobalNonFlowEvents);
  std::int32_t type_no = 0;
  bool verbose = false;
  bool details = false;
  switch (type) {
    case Event_Normal:
    case Event_Verbose:
      type_no = Bump(type == Event_Normal ? st.NormalEvents : st.VerboseEvents);
      verbose = type == Event_Verbose;
      if (is_error) Bump(st.Errors_Outside_ErrorHandler);
      details = is_error;
      break;
    case Event_ProcEnter:
    case Event_ProcExit:
      verbose = true;
      break;
    case Event_ErrorHandler:
      type_no = Bump(st.ErrorHandlerEvents);
      details = true;
      break;
    case Event_APICallError:
      type_no = Bump(st.APICallErrorEvents);
      details = true;
      break;
    default:
      if (is_error) Bump(st.Errors_Outside_ErrorHandler);
      details = is_error;
      break;
  }

  std::u16string ident;
  std::int32_t proc_event_no = 0;
  std::u16string_view by_val, by_ref, created;
  if (id == -1) {
    ident = u"-1";
  } else if (AppProc* rec = Find(st, id)) {
    rec->Add_ProcedureEvent(st.GlobalEvents, st.GlobalNonFlowEvents, type_no, type, message,
                            variables, time_number, api_num, api_text, rt_num, rt_desc, rt_source,
                            is_error);
    ident = rec->ProcedureSource() + u".ProcID=" + Dec(id);
    proc_event_no = rec->EventCount_NonFlow();
    if (details) {
      by_val = rec->Vars_Passed_ByVal();
      by_ref = rec->Vars_Passed_ByRef();
      created = rec->Vars_Created();
    }
  } else {
    ident = u"Err-0.ProcID=" + Dec(id);
    dPrint(Value(u"App_Debug.dLog"), u"Procedure does not exist!", Event_Normal,
           u"ProcedureID=" + Dec(id));
  }

  const std::u16string text =
      ConstructDebugMsg(type, ident, message, variables, proc_event_no, api_num, api_text, rt_num,
                        rt_desc, rt_source, is_error, by_val, by_ref, created);
  if (verbose && !st.DebugLog_Verbose) return;
  if (st.DebugLog_SystemOutput) OutputDebugStringRaw(ForDebugger(st, text, ident));
  DebugLogAddEntry(time_text + u" " + TypeTag(st.labels, type) + u" " + st.labels.entry + u"\r\n" +
                   text);
}

}  // namespace

DebugState& State() {
  return *Ctx().debug;
}

const std::u16string* NameTable::Intern(std::u16string_view text) {
  // Procedures name themselves with literals, so the same text mostly arrives at the same
  // address: a small cache by address spares the hashing. A hit is confirmed by content.
  const auto address = reinterpret_cast<std::uintptr_t>(text.data());
  Recent& slot = recent_[((address >> 3) ^ text.size()) % kRecent];
  if (slot.data == text.data() && slot.kept && *slot.kept == text) return slot.kept;
  const std::u16string* kept = nullptr;
  if (auto it = index_.find(text); it != index_.end()) {
    kept = it->second;
  } else {
    const std::u16string& added = texts_.emplace_back(text);
    index_.emplace(std::u16string_view(added), &added);
    kept = &added;
  }
  slot = Recent{text.data(), kept};
  return kept;
}

void NameTable::Clear() {
  recent_.fill(Recent{});
  index_.clear();
  texts_.clear();
}

const AppProc& ProcRegistry::at(std::size_t i) const {
  if (i >= size_) throw std::out_of_range("no trace record at this index");
  return (*this)[i];
}

void ProcRegistry::pop_back() {
  if (size_ == 0) return;
  if (staged_mask_ != 0 && staged_index_ == size_ - 1) staged_mask_ = 0;
  blocks_.back().pop_back();
  if (blocks_.back().empty()) blocks_.pop_back();
  --size_;
}

void ProcRegistry::clear() {
  staged_mask_ = 0;
  blocks_.clear();
  size_ = 0;
}

void ProcRegistry::SetVars(std::size_t i, std::int32_t var_kind, std::u16string_view text) {
  const int slot = VarTexts::SlotOf(var_kind);
  if (slot < 0 || i >= size_) return;
  if (i + 1 != size_) {
    Raw(i).SetVars(var_kind, text);
    return;
  }
  if (staged_mask_ != 0 && staged_index_ != i) Pack();
  staged_index_ = i;
  staged_[static_cast<std::size_t>(slot)].assign(text);
  staged_mask_ |= 1u << slot;
}

void ProcRegistry::Pack() const {
  if (staged_mask_ == 0) return;
  const unsigned mask = staged_mask_;
  staged_mask_ = 0;
  Raw(staged_index_).MergeVars(staged_.data(), mask);
}

std::size_t ProcRegistry::MemoryBytes() const {
  std::size_t bytes = blocks_.capacity() * sizeof(std::vector<AppProc>);
  for (const auto& block : blocks_) bytes += (block.capacity() - block.size()) * sizeof(AppProc);
  return bytes;
}

DebugState::DebugState() : separator(BuildSeparator(labels.separator_inner)) {}

// ---- labels and switches -----------------------------------------------------------------------

void SetLogLabels(const LogLabels& labels) {
  try {
    if (DebugState* st = TryState()) {
      st->labels = labels;
      st->separator = BuildSeparator(labels.separator_inner);
    }
  } catch (...) {
  }
}

const LogLabels& CurrentLogLabels() {
  static const LogLabels kDefaults;
  DebugState* st = TryState();
  return st ? st->labels : kDefaults;
}

std::u16string VarSeparator() {
  DebugState* st = TryState();
  return st ? st->separator : BuildSeparator(LogLabels().separator_inner);
}

void SetDebugLogVerbose(bool on) {
  if (DebugState* st = TryState()) st->DebugLog_Verbose = on;
}

void SetDebugLogSystemOutput(bool on) {
  if (DebugState* st = TryState()) st->DebugLog_SystemOutput = on;
}

void SetDumpEventTypes(std::int32_t mask) {
  if (DebugState* st = TryState()) st->DumpEventTypes = mask;
}

// ---- life cycle --------------------------------------------------------------------------------

void InitDebugModuleVars() {
  DebugState* st = TryState();
  if (!st) return;
  try {
    st->procs.clear();
    st->names.Clear();
    st->msg_cache.clear();
    st->msg_cache_second.clear();
    st->GlobalEvents = st->GlobalNonFlowEvents = st->TotalProcedures = st->ProceduresExited = 0;
    st->NormalEvents = st->VerboseEvents = st->APICallErrorEvents = st->ErrorHandlerEvents = 0;
    st->Errors_Outside_ErrorHandler = 0;
    st->log_chunk = 1000;
  } catch (...) {
  }
}

void CleanupDebug() {
  DebugState* st = TryState();
  if (!st) return;
  try {
    FlushLogFile(*st);
    for (std::size_t i = 0; i < st->procs.size(); ++i) st->procs[i].CleanUp();
    st->procs.clear();
    st->names.Clear();
    st->msg_cache.clear();
    st->msg_cache_second.clear();
  } catch (...) {
  }
}

// ---- the tracing calls -------------------------------------------------------------------------

std::int32_t ProcNewText(std::u16string_view source, std::u16string_view proc_name,
                         std::int32_t kind_code) {
  DebugState* st = TryState();
  if (!st) return 0;
  try {
    if (st->procs.size() >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
      throw TracingOverflow{};
    }
    const std::int32_t n = static_cast<std::int32_t>(st->procs.size()) + 1;
    // IDs are the registry's keys; one that is taken would make two calls share a record.
    if (Find(*st, n)) {
      dPrint(Value(u"App_Debug.ProcNew"),
             u"Procedure ID [" + Dec(n) +
                 u"] would be a duplicate ID, aborting new procedure object creation!",
             Event_Normal);
      return 0;
    }
    Bump(st->GlobalEvents);
    Bump(st->TotalProcedures);
    AppProc& rec =
        st->procs.emplace_back(n, kind_code, st->names.Intern(source), st->names.Intern(proc_name));
    try {
      if (st->time_procedures) rec.SetTimes(OS().sys.timeGetTime(), 0);
      rec.AddFlowEvent(st->GlobalEvents, Event_ProcEnter);
    } catch (...) {
      st->procs.pop_back();
      throw;
    }
    return n;
  } catch (...) {
    return 0;
  }
}

std::int32_t ProcNew(const Value& source, std::u16string_view proc_name,
                     std::u16string_view kind_text) {
  try {
    return ProcNewText(ValueToText(source), proc_name, GetProcedureTypeFromString(kind_text));
  } catch (...) {
    return 0;
  }
}

namespace {

// Stores the list text now in the state's scratch buffer (ProcVar step 2 and 3).
void StoreVars(DebugState& st, std::int32_t proc_id, std::int32_t var_kind) {
  const std::u16string& text = st.scratch;
  if (proc_id >= 1 && static_cast<std::size_t>(proc_id) <= st.procs.size()) {
    st.procs.SetVars(static_cast<std::size_t>(proc_id - 1), var_kind, text);
    return;
  }
  if (proc_id == -1) return;
  std::u16string note = u"ProcVar:  ProcID [" + Dec(proc_id) + u"] does not exist!";
  if (!text.empty()) {
    const char16_t* label = u"";
    switch (var_kind) {
      case Var_PassedByVal:
        label = u"PassedByVal=[";
        break;
      case Var_PassedByRef:
        label = u"PassedByRef=[";
        break;
      case Var_Created:
        label = u"Created=[";
        break;
      case Var_ReturnedByRef:
        label = u"ReturnedByRef=[";
        break;
      case Var_FunctionReturn:
        label = u"FunctionReturn=[";
        break;
      default:
        break;
    }
    note += u"  Variables_";
    note += label;
    note += EncodeLineBreaks(text);
    note += u']';
  }
  OutputDebugStringRaw(note);
}

}  // namespace

void ProcVarList(std::int32_t proc_id, std::int32_t var_kind, const Value* vars,
                 std::size_t count) {
  DebugState* st = TryState();
  if (!st) return;
  try {
    st->scratch.clear();
    AppendVarsText(vars, count, st->scratch);
    StoreVars(*st, proc_id, var_kind);
  } catch (...) {
  }
}

void ProcVarItems(std::int32_t proc_id, std::int32_t var_kind, const VarItem* items,
                  std::size_t count) {
  DebugState* st = TryState();
  if (!st) return;
  try {
    st->scratch.clear();
    AppendVarsText(items, count, st->scratch);
    StoreVars(*st, proc_id, var_kind);
  } catch (...) {
  }
}

void ProcVar(std::int32_t proc_id, std::int32_t var_kind, const std::vector<Value>& vars) {
  ProcVarList(proc_id, var_kind, vars.data(), vars.size());
}

void dLog(std::int32_t proc_id, std::u16string_view message, std::int32_t event_type,
          std::u16string_view variables, const Value& expected_runtime_errors,
          const Value& expected_api_errors) {
  DebugState* st = TryState();
  if (!st) return;
  try {
    LogEvent(*st, proc_id, message, event_type, variables, expected_runtime_errors,
             expected_api_errors);
  } catch (...) {
  }
  try {
    ClearErrors(*st);
  } catch (...) {
  }
}

std::int32_t dLogAPI(std::int32_t proc_id, std::u16string_view api_name,
                     std::u16string_view variables, const Value& expected_api_errors) {
  if (!HasCtx()) return 0;
  std::int32_t err = 0;
  try {
    err = static_cast<std::int32_t>(OS().sys.GetLastError());
    if (err != 0)
      dLog(proc_id, api_name, Event_APICallError, variables, Value(), expected_api_errors);
  } catch (...) {
  }
  return err;
}

std::int32_t dLogErrHandler(std::int32_t proc_id, std::u16string_view message,
                            std::u16string_view variables, const Value& expected_runtime_errors,
                            const Value& expected_api_errors) {
  DebugState* st = TryState();
  if (!st) return 0;
  std::int32_t result = 0;
  try {
    const std::int32_t api = static_cast<std::int32_t>(OS().sys.GetLastError());
    result = api != 0 ? api : st->runtime_error.number;
  } catch (...) {
  }
  dLog(proc_id, message, Event_ErrorHandler, variables, expected_runtime_errors,
       expected_api_errors);
  return result;
}

void ProcExit(std::int32_t proc_id) {
  DebugState* st = TryState();
  if (!st) return;
  try {
    if (AppProc* rec = Find(*st, proc_id)) {
      Bump(st->GlobalEvents);
      Bump(st->ProceduresExited);
      if (st->time_procedures) rec->SetExitTime(OS().sys.timeGetTime());
      rec->AddFlowEvent(st->GlobalEvents, Event_ProcExit);
      return;
    }
    dPrint(Value(u"App_Debug.ProcExit"), u"Procedure ID [" + Dec(proc_id) + u"] does not exist!",
           Event_Normal);
  } catch (...) {
  }
}

bool ProcExists(std::int32_t proc_id) {
  DebugState* st = TryState();
  return st && Find(*st, proc_id) != nullptr;
}

void dPrint(const Value& source, std::u16string_view message, std::int32_t event_type,
            std::u16string_view variables) {
  DebugState* st = TryState();
  if (!st) return;
  try {
    CapturedErrors err = TakeErrors(*st);
    // A built program never runs inside the development environment, so only the switches
    // decide.
    if (st->DebugLog_SystemOutput && st->DebugLog_Verbose) {
      const bool is_error =
          event_type != Event_ErrorHandler && (err.api != 0 || err.rt.number != 0);
      const std::u16string ident = ValueToText(source);
      const std::u16string rt_source =
          IsOwnName(err.rt.source) ? std::u16string() : std::move(err.rt.source);
      const std::u16string text =
          ConstructDebugMsg(event_type, ident, message, variables, 0, err.api, {}, err.rt.number,
                            err.rt.description, rt_source, is_error, {}, {}, {});
      OutputDebugStringRaw(ForDebugger(*st, text, ident));
    }
  } catch (...) {
  }
  try {
    ClearErrors(*st);
  } catch (...) {
  }
}

// ---- the current run-time error ----------------------------------------------------------------

void SetRuntimeError(RuntimeError err) {
  try {
    if (DebugState* st = TryState()) st->runtime_error = std::move(err);
  } catch (...) {
  }
}

const RuntimeError& CurrentRuntimeError() {
  static const RuntimeError kNone;
  DebugState* st = TryState();
  return st ? st->runtime_error : kNone;
}

void ClearRuntimeError() {
  if (DebugState* st = TryState()) st->runtime_error = RuntimeError{};
}

}  // namespace kes::debug
