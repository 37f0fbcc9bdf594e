// App_Proc: the trace record of one procedure call. Every call of every procedure makes one and
// they all stay in memory for the whole run, so a record is kept small: the module and procedure
// names are shared texts, the five variable lists share one buffer, and flow events (entry,
// exit) carry nothing but their numbers.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/debug/class_sync.h"
#include "framework/debug/trace_event.h"
#include "framework/debug/tracing.h"

namespace kes::debug {

// Raised inside the tracing facility when a counter would overflow; every tracing call catches
// it and ends quietly.
struct TracingOverflow {};

// Adds one to a tracing counter, or raises TracingOverflow at the largest value.
inline std::int32_t Bump(std::int32_t& counter) {
  if (counter == std::numeric_limits<std::int32_t>::max()) throw TracingOverflow{};
  return ++counter;
}

// The five variable lists of a record in one heap block sized to their total length: the five
// end offsets, then the texts. No block at all while every list is empty.
class VarTexts {
 public:
  static constexpr int kSlots = 5;
  VarTexts() = default;
  VarTexts(VarTexts&&) noexcept = default;
  VarTexts& operator=(VarTexts&&) noexcept = default;
  // Slot of a variable kind (Var_PassedByVal...), or -1 for any other code.
  static int SlotOf(std::int32_t var_kind);
  std::u16string_view Get(int slot) const;
  void Set(int slot, std::u16string_view text);
  // Replaces the slots named by mask (bit n: slot n) with staged[n], in one new block.
  void Merge(const std::u16string* staged, unsigned mask);
  void Clear() { block_.reset(); }
  // Heap bytes held (for the memory accounting of records).
  std::size_t HeapBytes() const;

 private:
  static constexpr std::size_t kHeader = kSlots * sizeof(std::uint32_t) / sizeof(char16_t);
  std::uint32_t End(int slot) const;
  void Build(const std::u16string_view* texts);
  std::unique_ptr<char16_t[]> block_;
};

class AppProc final : public AppClassSync {
 public:
  // source and name point to texts that outlive the record (the registry's shared names).
  AppProc(std::int32_t id, std::int32_t kind, const std::u16string* source,
          const std::u16string* name);
  AppProc(AppProc&&) noexcept = default;
  AppProc& operator=(AppProc&&) noexcept = default;

  std::int32_t ProcID() const { return id_; }
  std::int32_t KindCode() const { return kind_; }
  const std::u16string& Source() const { return *source_; }
  const std::u16string& ProcName() const { return *name_; }
  bool Alive() const { return alive_; }

  // Source & "." & procedure name.
  std::u16string ProcedureSource() const;
  std::int32_t EventCount_NonFlow() const { return count_non_flow_; }
  std::int32_t EventCount_APIErrors() const { return count_api_errors_; }
  std::int32_t EventCount_ErrorHandler() const { return count_error_handler_; }
  std::int32_t EventCount_ErrorsOutsideHandler() const { return count_errors_outside_; }

  std::u16string_view Vars_Passed_ByVal() const { return vars_.Get(0); }
  void Vars_Passed_ByVal(std::u16string_view v) { vars_.Set(0, v); }
  std::u16string_view Vars_Passed_ByRef() const { return vars_.Get(1); }
  void Vars_Passed_ByRef(std::u16string_view v) { vars_.Set(1, v); }
  std::u16string_view Vars_Created() const { return vars_.Get(2); }
  void Vars_Created(std::u16string_view v) { vars_.Set(2, v); }
  std::u16string_view Vars_Returned_ByRef() const { return vars_.Get(3); }
  void Vars_Returned_ByRef(std::u16string_view v) { vars_.Set(3, v); }
  std::u16string_view Vars_Function_Result() const { return vars_.Get(4); }
  void Vars_Function_Result(std::u16string_view v) { vars_.Set(4, v); }
  // The field of a variable kind; false (nothing stored) for a code that names no field.
  bool SetVars(std::int32_t var_kind, std::u16string_view text);
  // Several lists at once (bit n of mask: slot n of VarTexts), in one new block.
  void MergeVars(const std::u16string* texts, unsigned mask) { vars_.Merge(texts, mask); }

  // Entry and exit ticks (milliseconds of the system timer), recorded only while procedure
  // timing is switched on; 0 otherwise. As text: "HH:MM:SS" (".mmm" with the decimal part) or
  // the plain number.
  void SetTimes(std::uint32_t entered, std::uint32_t exited);
  void SetExitTime(std::uint32_t exited) { exited_ = exited; }
  std::u16string Time_Entered(bool format_as_time_string = false,
                              bool include_decimal_in_time_string = false) const;
  std::u16string Time_Exited(bool format_as_time_string = false,
                             bool include_decimal_in_time_string = false) const;
  std::u16string Perf_GetElapsedTime(bool format_as_time_string = false,
                                     bool include_decimal_in_time_string = false) const;
  std::u16string Perf_GetStartTime(bool format_as_time_string = false,
                                   bool include_decimal_in_time_string = false) const;
  std::u16string Perf_GetEndTime(bool format_as_time_string = false,
                                 bool include_decimal_in_time_string = false) const;

  // Adds the next event (Procedure_EventID = count + 1) and raises the record's counters by its
  // type. Returns false when nothing was added. Raises TracingOverflow on a counter overflow.
  bool Add_ProcedureEvent(std::int32_t global, std::int32_t non_flow, std::int32_t type_no,
                          std::int32_t type, std::u16string_view message,
                          std::u16string_view variables, std::int32_t time, std::int32_t api_num,
                          std::u16string_view api_text, std::int32_t rt_num,
                          std::u16string_view rt_desc, std::u16string_view rt_source,
                          bool is_error);
  // A flow event (entry or exit): nothing but its numbers.
  bool AddFlowEvent(std::int32_t global, std::int32_t type);

  // One line per event of the mask ("{id}.ProcEventID=k ..."), joined by CR LF;
  // `global_procedure_id` replaces the identifier when given.
  std::u16string Dump_Event(std::u16string_view global_procedure_id = {},
                            std::int32_t dump_these_event_types = kAllEventTypes) const;
  std::int32_t EventCount_By_EventType(std::int32_t count_these_event_types = kAllEventTypes) const;
  std::int32_t EventCount() const { return static_cast<std::int32_t>(Count()); }
  bool EventExists(std::int32_t global_event_id) const;
  // The event with that Procedure_EventID, or nothing.
  std::optional<AppProcEvent> ProcedureEventObject(std::int32_t global_event_id) const;
  // All events in order.
  std::vector<AppProcEvent> NewEnum() const;
  // The last error event (nothing when none); its numbers also go to the out parameters.
  std::optional<AppProcEvent> LastErrorEvent(std::int32_t* api_num = nullptr,
                                             std::int32_t* runtime_num = nullptr) const;

  void App_ClassSync_CleanUp();
  void CleanUp() override { App_ClassSync_CleanUp(); }

  // Bytes this record occupies, its own size included (for the memory accounting of records).
  std::size_t MemoryBytes() const;

 private:
  struct EventDetail {
    std::int32_t non_flow = 0;
    std::int32_t type_no = 0;
    std::int32_t time = 0;
    std::int32_t api_num = 0;
    std::int32_t rt_num = 0;
    bool is_error = false;
    std::u16string info, variables, api_text, rt_desc, rt_source;
  };
  struct StoredEvent {
    std::int32_t global = 0;  // never 0 for a stored event
    std::int32_t type = 0;
    std::unique_ptr<EventDetail> detail;  // null for a flow event
  };
  // Nearly every record holds exactly its two flow events: they live in the record itself.
  static constexpr std::size_t kInlineEvents = 2;
  std::size_t Count() const;
  const StoredEvent& At(std::size_t index) const;
  void Push(StoredEvent ev);
  AppProcEvent Expand(std::size_t index) const;

  const std::u16string* source_;
  const std::u16string* name_;
  std::int32_t id_;
  std::int8_t kind_;
  bool alive_ = true;
  std::int32_t count_non_flow_ = 0;
  std::int32_t count_api_errors_ = 0;
  std::int32_t count_error_handler_ = 0;
  std::int32_t count_errors_outside_ = 0;
  std::uint32_t entered_ = 0;
  std::uint32_t exited_ = 0;
  VarTexts vars_;
  StoredEvent inline_[kInlineEvents];
  std::unique_ptr<std::vector<StoredEvent>> more_;
};

}  // namespace kes::debug
