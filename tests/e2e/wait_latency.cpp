// Scenario "wait-latency": how late the launchers' exit wait notices that a program ended, on the
// real backend. "cmd.exe /c exit 0" is started again and again and waited for with the classic
// fixed 100 ms sleep and with the message-aware wait; the delay from the process's exit time
// (GetProcessTimes) to the wait's return is reported as median and 90th percentile.
#include "platform/win32/windows_support.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "framework/env/context.h"
#include "framework/process/close_handle.h"
#include "framework/process/exit_wait.h"
#include "tests/e2e/scenarios.h"

namespace kes::win32::e2e {
namespace {

constexpr int kRuns = 20;

std::int64_t Ticks(const ::FILETIME& ft) {
  return (static_cast<std::int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

std::int64_t NowTicks() {
  ::FILETIME ft;
  ::GetSystemTimePreciseAsFileTime(&ft);
  return Ticks(ft);
}

// One launch and wait; the delay in milliseconds, or a negative value with `why` set.
double MeasureOnce(ExitWaitStyle style, std::string* why) {
  std::u16string cmd = u"cmd.exe /c exit 0";
  platform::STARTUPINFOW si;
  si.dwFlags = platform::kSTARTF_USESHOWWINDOW;
  si.wShowWindow = platform::kSW_HIDE;
  platform::PROCESS_INFORMATION pi;
  if (!OS().proc.CreateProcessW(nullptr, cmd.data(), 0, nullptr, &si, &pi)) {
    *why = "CreateProcessW failed with " + std::to_string(::GetLastError());
    return -1;
  }
  const ExitWaitResult r = WaitForProcessExit(pi.hProcess, false, 0, style);
  const std::int64_t returned = NowTicks();
  ::FILETIME created, exited, kernel, user;
  double delay = -1;
  if (r.exit_code != 0 || r.timed_out || r.read_failed) {
    *why = "the wait ended with code " + std::to_string(r.exit_code);
  } else if (!::GetProcessTimes(reinterpret_cast<::HANDLE>(pi.hProcess), &created, &exited, &kernel,
                                &user) ||
             Ticks(exited) == 0) {
    *why = "GetProcessTimes gave no exit time";
  } else {
    delay = static_cast<double>(returned - Ticks(exited)) / 10000.0;
  }
  CloseMyHandle(pi.hThread);
  CloseMyHandle(pi.hProcess);
  return delay;
}

struct Summary {
  double median = 0;
  double p90 = 0;
};

Summary Summarise(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  Summary s;
  s.median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
  s.p90 = v[(n * 9 + 9) / 10 - 1];
  return s;
}

std::string Format(const char* label, const Summary& s) {
  char text[96];
  std::snprintf(text, sizeof(text), "%s median=%.1fms p90=%.1fms", label, s.median, s.p90);
  return text;
}

}  // namespace

Outcome WaitLatency() {
  std::vector<double> classic, aware;
  for (int i = 0; i < kRuns; ++i) {
    // Alternate the two so that a slow phase of the machine hits both alike.
    for (ExitWaitStyle style : {ExitWaitStyle::kClassicSleep, ExitWaitStyle::kMessageAware}) {
      std::string why;
      const double ms = MeasureOnce(style, &why);
      if (ms < 0) return {false, why};
      (style == ExitWaitStyle::kClassicSleep ? classic : aware).push_back(ms);
    }
  }
  const Summary c = Summarise(classic);
  const Summary a = Summarise(aware);
  std::string detail = Format("classic", c) + "; " + Format("message-aware", a) +
                       " (n=" + std::to_string(kRuns) + " each, cmd.exe /c exit 0)";
  if (a.median >= c.median) return {false, "the message-aware wait is not faster: " + detail};
  return {true, detail};
}

}  // namespace kes::win32::e2e
