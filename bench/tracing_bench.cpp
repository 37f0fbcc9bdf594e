// What tracing costs every procedure of the program: the time of one traced call (entry, two
// variable lists, exit) and the memory its record keeps for the rest of the run, and the time
// of one append to the in-memory log. Goals: at most 250 ns and 256 bytes per traced call.
#include <benchmark/benchmark.h>

#include <string>

#include "framework/debug/proc.h"
#include "framework/debug/tracing.h"
#include "framework/debug/tracing_state.h"
#include "framework/env/context.h"
#include "platform/sim/machine.h"

namespace kes::debug {
namespace {

struct World {
  World() { InitDebugModuleVars(); }
  sim::Machine m;
  Context ctx{m.platform()};
  ContextScope scope{ctx};
};

// Records are never released during a run; a long benchmark starts the registry afresh now and
// then (outside the timing) so that memory stays bounded.
constexpr std::int64_t kRecordsPerRound = 1 << 18;

// Bytes the registry keeps per record: each record's own accounting plus the registry's share.
double BytesPerRecord(const DebugState& st) {
  if (st.procs.empty()) return 0;
  std::size_t bytes = st.procs.MemoryBytes();
  for (std::size_t i = 0; i < st.procs.size(); ++i) bytes += st.procs[i].MemoryBytes();
  return static_cast<double>(bytes) / static_cast<double>(st.procs.size());
}

void BM_TracedProcedureCall(benchmark::State& state) {
  World w;
  DebugState& st = *w.ctx.debug;
  double bytes_per_record = 0;
  std::int64_t in_round = 0;
  for (auto _ : state) {
    {
      Proc p(u"App_Registry", u"RegKeyExist", Kind::Function);
      p.Args({u"sKeyPath", u"SOFTWARE\\Quorlen\\Kestrune"});
      p.Result(Value(true));
    }
    if (++in_round == kRecordsPerRound) {
      state.PauseTiming();
      bytes_per_record = BytesPerRecord(st);
      InitDebugModuleVars();
      in_round = 0;
      state.ResumeTiming();
    }
  }
  if (in_round > 0) bytes_per_record = BytesPerRecord(st);
  state.counters["bytes_per_record"] = bytes_per_record;
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TracedProcedureCall);

// A record that also logged one normal event (the common shape of a procedure that reports).
void BM_TracedCallWithOneEvent(benchmark::State& state) {
  World w;
  DebugState& st = *w.ctx.debug;
  double bytes_per_record = 0;
  std::int64_t in_round = 0;
  for (auto _ : state) {
    {
      Proc p(u"App_FS", u"FileExists", Kind::Function);
      p.Args({u"sFile", u"C:\\Windows\\System32\\bcdedit.exe"});
      p.Log(u"File found");
      p.Result(Value(true));
    }
    if (++in_round == (kRecordsPerRound >> 4)) {
      state.PauseTiming();
      bytes_per_record = BytesPerRecord(st);
      InitDebugModuleVars();
      st.log.clear();
      st.log_used = 0;
      in_round = 0;
      state.ResumeTiming();
    }
  }
  if (in_round > 0) bytes_per_record = BytesPerRecord(st);
  state.counters["bytes_per_record"] = bytes_per_record;
}
BENCHMARK(BM_TracedCallWithOneEvent);

void BM_DebugLogAddEntry(benchmark::State& state) {
  World w;
  DebugState& st = *w.ctx.debug;
  const std::u16string entry =
      u"14:30:05:123 [NRM] Event\r\n"
      u"App_Time.NowUTC.ProcID=12.ProcEventID=3 <Normal> Msg=[Something happened]";
  std::int64_t in_round = 0;
  for (auto _ : state) {
    DebugLogAddEntry(entry);
    if (++in_round == kRecordsPerRound) {
      state.PauseTiming();
      st.log.clear();
      st.log.shrink_to_fit();
      st.log_used = 0;
      in_round = 0;
      state.ResumeTiming();
    }
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>((entry.size() + 4) * sizeof(char16_t)));
}
BENCHMARK(BM_DebugLogAddEntry);

}  // namespace
}  // namespace kes::debug
