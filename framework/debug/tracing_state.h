// Module state of App_Debug: one per Context. Everything the tracing facility remembers lives
// here: the registry of trace records, the counters, the message caches, the in-memory log with
// its switches and label texts, the current run-time error, the log file and the exception
// handler's flag.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "framework/debug/log_file.h"
#include "framework/debug/trace_record.h"
#include "framework/debug/tracing.h"

namespace kes::debug {

// Module and procedure names, each text kept once for the whole run (records point at them).
class NameTable {
 public:
  // The kept copy of the text (made on first use).
  const std::u16string* Intern(std::u16string_view text);
  void Clear();

 private:
  struct Recent {
    const char16_t* data = nullptr;
    const std::u16string* kept = nullptr;
  };
  static constexpr std::size_t kRecent = 64;
  std::array<Recent, kRecent> recent_{};
  std::deque<std::u16string> texts_;
  std::unordered_map<std::u16string_view, const std::u16string*> index_;
};

// The trace records, by ID: the record of ID n is [n - 1]. Records are stored in fixed blocks,
// so they never move once made and no space is lost to growth beyond the current block.
// The variable lists of the newest record are gathered here first and packed into the record in
// one piece when it is left, when a newer record is made, or as soon as anyone looks at a record:
// a procedure that registers its parameters and its result costs one allocation, not two.
class ProcRegistry {
 public:
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  AppProc& operator[](std::size_t i) {
    Pack();
    return Raw(i);
  }
  const AppProc& operator[](std::size_t i) const {
    Pack();
    return Raw(i);
  }
  // Throws std::out_of_range for an index at or beyond size().
  const AppProc& at(std::size_t i) const;
  template <class... A>
  AppProc& emplace_back(A&&... args) {
    Pack();
    if (size_ == blocks_.size() * kBlock) {
      blocks_.emplace_back();
      blocks_.back().reserve(kBlock);
    }
    AppProc& rec = blocks_.back().emplace_back(std::forward<A>(args)...);
    ++size_;
    return rec;
  }
  void pop_back();
  void clear();
  // Stores the list of a variable kind in record i (nothing for a code that names no list).
  void SetVars(std::size_t i, std::int32_t var_kind, std::u16string_view text);
  // Bytes of the registry itself beyond its records (unused block space, block list).
  std::size_t MemoryBytes() const;

 private:
  static constexpr std::size_t kBlock = 1024;
  AppProc& Raw(std::size_t i) const {
    return const_cast<AppProc&>(blocks_[i / kBlock][i % kBlock]);
  }
  void Pack() const;

  std::vector<std::vector<AppProc>> blocks_;
  std::size_t size_ = 0;
  mutable std::array<std::u16string, VarTexts::kSlots> staged_;
  mutable unsigned staged_mask_ = 0;  // bit n: staged_[n] holds a list
  mutable std::size_t staged_index_ = 0;
};

struct DebugState {
  DebugState();

  // ---- procedure registry: the record of ID n is procs[n - 1] ------------------------------
  ProcRegistry procs;
  NameTable names;
  // Record entry and exit ticks of every procedure (costs a timer call each; nothing reads
  // them in this program, so it stays off).
  bool time_procedures = false;

  // ---- counters ----------------------------------------------------------------------------
  std::int32_t GlobalEvents = 0;
  std::int32_t GlobalNonFlowEvents = 0;
  std::int32_t TotalProcedures = 0;  // procedures entered
  std::int32_t ProceduresExited = 0;
  std::int32_t NormalEvents = 0;
  std::int32_t VerboseEvents = 0;
  std::int32_t APICallErrorEvents = 0;
  std::int32_t ErrorHandlerEvents = 0;
  std::int32_t Errors_Outside_ErrorHandler = 0;

  // ---- system message caches, by error code --------------------------------------------------
  std::map<std::int32_t, std::u16string> msg_cache;
  std::map<std::int32_t, std::u16string> msg_cache_second;

  // ---- the in-memory log: `log` is the buffer (its size is the capacity, unused part blank) --
  std::u16string log;
  std::int32_t log_used = 0;
  std::int32_t log_chunk = 1000;

  // ---- switches ------------------------------------------------------------------------------
  bool DebugLog_Verbose = false;
  bool DebugLog_SystemOutput = false;
  std::u16string DebugLog_SystemOutput_Prefix;
  std::u16string DebugLogFile;
  std::u16string DebugLogPath;
  std::int32_t DumpEventTypes = 0;

  // ---- label texts ---------------------------------------------------------------------------
  LogLabels labels;
  std::u16string separator;  // exactly five characters

  // ---- errors --------------------------------------------------------------------------------
  RuntimeError runtime_error;

  // ---- the log on disk -----------------------------------------------------------------------
  LogFileSink file;

  // ---- MExceptionHandler ---------------------------------------------------------------------
  bool exception_handler_installed = false;
  std::int32_t exception_filter_result = 0;

  // Reused while building list texts, so a traced call allocates only what it keeps.
  std::u16string scratch;
};

// The current context's tracing state.
DebugState& State();

}  // namespace kes::debug
