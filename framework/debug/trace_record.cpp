#include "framework/debug/trace_record.h"

#include <algorithm>
#include <cstring>

#include "platform/base/u16.h"

namespace kes::debug {

// ---- VarTexts ----------------------------------------------------------------------------------

int VarTexts::SlotOf(std::int32_t var_kind) {
  switch (var_kind) {
    case Var_PassedByVal:
      return 0;
    case Var_PassedByRef:
      return 1;
    case Var_Created:
      return 2;
    case Var_ReturnedByRef:
      return 3;
    case Var_FunctionReturn:
      return 4;
    default:
      return -1;
  }
}

std::uint32_t VarTexts::End(int slot) const {
  std::uint32_t end = 0;
  std::memcpy(&end, block_.get() + slot * (sizeof(std::uint32_t) / sizeof(char16_t)), sizeof end);
  return end;
}

std::u16string_view VarTexts::Get(int slot) const {
  if (slot < 0 || slot >= kSlots || !block_) return {};
  const std::uint32_t begin = slot == 0 ? 0 : End(slot - 1);
  return std::u16string_view(block_.get() + kHeader + begin, End(slot) - begin);
}

void VarTexts::Build(const std::u16string_view* texts) {
  std::uint32_t ends[kSlots] = {};
  std::uint64_t total = 0;
  for (int i = 0; i < kSlots; ++i) {
    total += texts[i].size();
    if (total > std::numeric_limits<std::uint32_t>::max()) throw TracingOverflow{};
    ends[i] = static_cast<std::uint32_t>(total);
  }
  if (total == 0) {
    block_.reset();
    return;
  }
  std::unique_ptr<char16_t[]> fresh(new char16_t[kHeader + total]);
  std::memcpy(fresh.get(), ends, sizeof ends);
  char16_t* out = fresh.get() + kHeader;
  for (int i = 0; i < kSlots; ++i) {
    if (!texts[i].empty()) std::memcpy(out, texts[i].data(), texts[i].size() * sizeof(char16_t));
    out += texts[i].size();
  }
  block_ = std::move(fresh);
}

void VarTexts::Set(int slot, std::u16string_view text) {
  if (slot < 0 || slot >= kSlots) return;
  std::u16string_view texts[kSlots];
  for (int i = 0; i < kSlots; ++i) texts[i] = i == slot ? text : Get(i);
  Build(texts);
}

void VarTexts::Merge(const std::u16string* staged, unsigned mask) {
  std::u16string_view texts[kSlots];
  for (int i = 0; i < kSlots; ++i) {
    texts[i] = (mask & (1u << i)) ? std::u16string_view(staged[i]) : Get(i);
  }
  Build(texts);
}

std::size_t VarTexts::HeapBytes() const {
  return block_ ? (kHeader + End(kSlots - 1)) * sizeof(char16_t) : 0;
}

// ---- AppProc -----------------------------------------------------------------------------------

AppProc::AppProc(std::int32_t id, std::int32_t kind, const std::u16string* source,
                 const std::u16string* name)
    : source_(source), name_(name), id_(id), kind_(static_cast<std::int8_t>(kind)) {}

std::size_t AppProc::Count() const {
  if (more_) return kInlineEvents + more_->size();
  return inline_[1].global != 0 ? 2 : inline_[0].global != 0 ? 1 : 0;
}

const AppProc::StoredEvent& AppProc::At(std::size_t index) const {
  return index < kInlineEvents ? inline_[index] : (*more_)[index - kInlineEvents];
}

void AppProc::Push(StoredEvent ev) {
  const std::size_t n = Count();
  if (n >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    throw TracingOverflow{};
  }
  if (n < kInlineEvents) {
    inline_[n] = std::move(ev);
    return;
  }
  if (!more_) more_ = std::make_unique<std::vector<StoredEvent>>();
  more_->push_back(std::move(ev));
}

std::u16string AppProc::ProcedureSource() const {
  std::u16string out;
  out.reserve(source_->size() + 1 + name_->size());
  out += *source_;
  out += u'.';
  out += *name_;
  return out;
}

bool AppProc::SetVars(std::int32_t var_kind, std::u16string_view text) {
  const int slot = VarTexts::SlotOf(var_kind);
  if (slot < 0) return false;
  vars_.Set(slot, text);
  return true;
}

void AppProc::SetTimes(std::uint32_t entered, std::uint32_t exited) {
  entered_ = entered;
  exited_ = exited;
}

namespace {
std::u16string TimeText(std::uint32_t ms, bool as_time, bool with_decimal) {
  if (as_time) return PerfTimer_MakeTimePretty(static_cast<std::int32_t>(ms), with_decimal);
  return Dec(ms);
}
}  // namespace

std::u16string AppProc::Time_Entered(bool format_as_time_string,
                                     bool include_decimal_in_time_string) const {
  return TimeText(entered_, format_as_time_string, include_decimal_in_time_string);
}
std::u16string AppProc::Time_Exited(bool format_as_time_string,
                                    bool include_decimal_in_time_string) const {
  return TimeText(exited_, format_as_time_string, include_decimal_in_time_string);
}
std::u16string AppProc::Perf_GetStartTime(bool format_as_time_string,
                                          bool include_decimal_in_time_string) const {
  return TimeText(entered_, format_as_time_string, include_decimal_in_time_string);
}
std::u16string AppProc::Perf_GetEndTime(bool format_as_time_string,
                                        bool include_decimal_in_time_string) const {
  return TimeText(exited_, format_as_time_string, include_decimal_in_time_string);
}
std::u16string AppProc::Perf_GetElapsedTime(bool format_as_time_string,
                                            bool include_decimal_in_time_string) const {
  // The timer wraps after 49 days; unsigned subtraction gives the right span across the wrap.
  return TimeText(exited_ != 0 ? exited_ - entered_ : 0, format_as_time_string,
                  include_decimal_in_time_string);
}

bool AppProc::Add_ProcedureEvent(std::int32_t global, std::int32_t non_flow, std::int32_t type_no,
                                 std::int32_t type, std::u16string_view message,
                                 std::u16string_view variables, std::int32_t time,
                                 std::int32_t api_num, std::u16string_view api_text,
                                 std::int32_t rt_num, std::u16string_view rt_desc,
                                 std::u16string_view rt_source, bool is_error) {
  if (!alive_) return false;
  StoredEvent ev;
  ev.global = global;
  ev.type = type;
  const bool bare = non_flow == 0 && type_no == 0 && message.empty() && variables.empty() &&
                    time == 0 && api_num == 0 && api_text.empty() && rt_num == 0 &&
                    rt_desc.empty() && rt_source.empty() && !is_error;
  if (!bare) {
    ev.detail = std::make_unique<EventDetail>();
    EventDetail& d = *ev.detail;
    d.non_flow = non_flow;
    d.type_no = type_no;
    d.time = time;
    d.api_num = api_num;
    d.rt_num = rt_num;
    d.is_error = is_error;
    d.info = message;
    d.variables = variables;
    d.api_text = api_text;
    d.rt_desc = rt_desc;
    d.rt_source = rt_source;
  }
  Push(std::move(ev));
  switch (type) {
    case Event_Normal:
    case Event_Verbose:
      Bump(count_non_flow_);
      if (is_error) Bump(count_errors_outside_);
      break;
    case Event_ErrorHandler:
      Bump(count_non_flow_);
      Bump(count_error_handler_);
      break;
    case Event_APICallError:
      Bump(count_non_flow_);
      Bump(count_api_errors_);
      break;
    default:
      break;
  }
  return true;
}

bool AppProc::AddFlowEvent(std::int32_t global, std::int32_t type) {
  if (!alive_) return false;
  Push(StoredEvent{global, type, nullptr});
  return true;
}

AppProcEvent AppProc::Expand(std::size_t index) const {
  const StoredEvent& s = At(index);
  AppProcEvent e;
  e.Procedure_EventID = static_cast<std::int32_t>(index + 1);
  e.Global_EventID = s.global;
  e.EventType = s.type;
  if (s.detail) {
    const EventDetail& d = *s.detail;
    e.Global_NonFlow_EventID = d.non_flow;
    e.EventType_EventID = d.type_no;
    e.EventInfo = d.info;
    e.EventVariables = d.variables;
    e.EventTime = d.time;
    e.APIErrorNum = d.api_num;
    e.APIErrorDesc = d.api_text;
    e.RuntimeErrorNum = d.rt_num;
    e.RuntimeErrorDesc = d.rt_desc;
    e.RuntimeErrorSource = d.rt_source;
    e.IsError = d.is_error;
  }
  return e;
}

std::u16string AppProc::Dump_Event(std::u16string_view global_procedure_id,
                                   std::int32_t dump_these_event_types) const {
  const std::u16string ident = global_procedure_id.empty()
                                   ? ProcedureSource() + u".ProcID=" + Dec(id_)
                                   : std::u16string(global_procedure_id);
  std::u16string out;
  for (std::size_t i = 0; i < Count(); ++i) {
    if ((At(i).type & dump_these_event_types) == 0) continue;
    const AppProcEvent e = Expand(i);
    if (!out.empty()) out += u"\r\n";
    out += ident + u".ProcEventID=" + Dec(e.Procedure_EventID) + u" Type=" + Dec(e.EventType) +
           u" GlobalEventID=" + Dec(e.Global_EventID) + u" NonFlowEventID=" +
           Dec(e.Global_NonFlow_EventID) + u" TypeEventID=" + Dec(e.EventType_EventID) + u" Time=" +
           Dec(e.EventTime);
    if (!e.EventInfo.empty()) out += u" Info=[" + e.EventInfo + u"]";
    if (!e.EventVariables.empty()) out += u" Vars=[" + e.EventVariables + u"]";
    if (e.APIErrorNum != 0) out += u" API=" + Dec(e.APIErrorNum) + u" [" + e.APIErrorDesc + u"]";
    if (e.RuntimeErrorNum != 0) {
      out += u" RunTime=" + Dec(e.RuntimeErrorNum) + u" [" + e.RuntimeErrorDesc + u"] Source=" +
             e.RuntimeErrorSource;
    }
    if (e.IsError) out += u" IsError";
  }
  return out;
}

std::int32_t AppProc::EventCount_By_EventType(std::int32_t count_these_event_types) const {
  std::int32_t n = 0;
  for (std::size_t i = 0; i < Count(); ++i) {
    if ((At(i).type & count_these_event_types) != 0) ++n;
  }
  return n;
}

bool AppProc::EventExists(std::int32_t global_event_id) const {
  return global_event_id >= 1 && static_cast<std::size_t>(global_event_id) <= Count();
}

std::optional<AppProcEvent> AppProc::ProcedureEventObject(std::int32_t global_event_id) const {
  if (!EventExists(global_event_id)) return std::nullopt;
  return Expand(static_cast<std::size_t>(global_event_id - 1));
}

std::vector<AppProcEvent> AppProc::NewEnum() const {
  std::vector<AppProcEvent> out;
  out.reserve(Count());
  for (std::size_t i = 0; i < Count(); ++i) out.push_back(Expand(i));
  return out;
}

std::optional<AppProcEvent> AppProc::LastErrorEvent(std::int32_t* api_num,
                                                    std::int32_t* runtime_num) const {
  for (std::size_t i = Count(); i-- > 0;) {
    const StoredEvent& s = At(i);
    if (!s.detail) continue;
    const EventDetail& d = *s.detail;
    if (!d.is_error && d.api_num == 0 && d.rt_num == 0) continue;
    if (api_num) *api_num = d.api_num;
    if (runtime_num) *runtime_num = d.rt_num;
    return Expand(i);
  }
  return std::nullopt;
}

void AppProc::App_ClassSync_CleanUp() {
  alive_ = false;
  vars_.Clear();
  for (StoredEvent& ev : inline_) ev = StoredEvent{};
  more_.reset();
}

std::size_t AppProc::MemoryBytes() const {
  static const std::size_t kInline = std::u16string().capacity();
  std::size_t bytes = sizeof(AppProc) + vars_.HeapBytes();
  if (more_) bytes += sizeof(std::vector<StoredEvent>) + more_->capacity() * sizeof(StoredEvent);
  for (std::size_t i = 0; i < Count(); ++i) {
    const StoredEvent& s = At(i);
    if (!s.detail) continue;
    const EventDetail& d = *s.detail;
    bytes += sizeof(EventDetail);
    for (const std::u16string* t : {&d.info, &d.variables, &d.api_text, &d.rt_desc, &d.rt_source}) {
      if (t->capacity() > kInline) bytes += (t->capacity() + 1) * sizeof(char16_t);
    }
  }
  return bytes;
}

}  // namespace kes::debug
