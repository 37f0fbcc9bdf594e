// The in-memory debug log, the debugger channel, system message texts and time stamps.
#include <algorithm>
#include <cstring>

#include "framework/debug/tracing.h"
#include "framework/debug/tracing_state.h"
#include "framework/env/context.h"
#include "platform/base/u16.h"

namespace kes::debug {
namespace {

DebugState* TryState() {
  if (!HasCtx()) return nullptr;
  return Ctx().debug.get();
}

constexpr platform::DWORD kSystemMsgFlags = platform::kFORMAT_MESSAGE_FROM_SYSTEM |
                                            platform::kFORMAT_MESSAGE_IGNORE_INSERTS |
                                            platform::kFORMAT_MESSAGE_MAX_WIDTH_MASK;
constexpr platform::DWORD kSystemMsgBuffer = 2048;
constexpr std::u16string_view kSystemMsgFailure =
    u"FormatMessageW failure (lRet=0) Could not retrieve message from system!";

// Calls made for the log's own sake must not change what the traced code sees as its last error.
class KeepLastError {
 public:
  KeepLastError() : saved_(OS().sys.GetLastError()) {}
  ~KeepLastError() { OS().sys.SetLastError(saved_); }
  KeepLastError(const KeepLastError&) = delete;
  KeepLastError& operator=(const KeepLastError&) = delete;

 private:
  platform::DWORD saved_;
};

}  // namespace

void OutputDebugStringRaw(std::u16string_view text) {
  DebugState* st = TryState();
  if (!st || !st->DebugLog_SystemOutput) return;
  try {
    KeepLastError keep;
    const std::u16string terminated(text);
    OS().sys.OutputDebugStringW(terminated.c_str());
  } catch (...) {
  }
}

void DebugLogAddEntry(std::u16string_view text) {
  DebugState* st = TryState();
  if (!st || text.empty()) return;
  try {
    const std::int64_t add = static_cast<std::int64_t>(text.size()) + 4;
    const std::int64_t used = st->log_used;
    const std::int64_t capacity = static_cast<std::int64_t>(st->log.size());
    const std::int64_t chunk = st->log_chunk > 0 ? st->log_chunk : 1000;
    if (used + add > capacity) {
      const std::int64_t grown = capacity + chunk * ((used + add - capacity) / chunk + 1);
      if (grown > std::numeric_limits<std::int32_t>::max()) throw TracingOverflow{};
      st->log.resize(static_cast<std::size_t>(grown), u' ');
    }
    char16_t* at = st->log.data() + used;
    std::memcpy(at, text.data(), text.size() * sizeof(char16_t));
    std::memcpy(at + text.size(), u"\r\n\r\n", 4 * sizeof(char16_t));
    st->log_used = static_cast<std::int32_t>(used + add);
    FlushLogFile(*st);
  } catch (...) {
  }
}

std::u16string DebugLogText() {
  DebugState* st = TryState();
  if (!st) return {};
  try {
    return st->log.substr(0, static_cast<std::size_t>(st->log_used));
  } catch (...) {
    return {};
  }
}

std::u16string GetSystemMsg(std::int32_t code, bool second_cache, bool force_lookup,
                            bool with_code) {
  std::u16string text;
  try {
    DebugState* st = TryState();
    if (!st) return {};
    auto& cache = second_cache ? st->msg_cache_second : st->msg_cache;
    const auto it = cache.find(code);
    if (it == cache.end() || force_lookup) {
      KeepLastError keep;
      std::u16string buf(kSystemMsgBuffer, u' ');
      const platform::DWORD n = OS().sys.FormatMessageW(
          kSystemMsgFlags, static_cast<platform::DWORD>(code), 0, buf.data(), kSystemMsgBuffer);
      if (n != 0) {
        buf.erase(std::remove(buf.begin(), buf.end(), u'\0'), buf.end());
        text = Trim(buf);
        if (it == cache.end()) cache.emplace(code, text);
      } else {
        text = kSystemMsgFailure;
      }
    } else {
      text = it->second;
    }
    if (with_code) text = u"[" + Dec(code) + u"=" + text + u"]";
  } catch (...) {
  }
  return text;
}

void TimeStampNow(std::u16string& time_text, std::int32_t& time, bool with_ms) {
  try {
    platform::SYSTEMTIME t;
    OS().sys.GetLocalTime(&t);
    time_text = Pad(t.wHour, 2) + u":" + Pad(t.wMinute, 2) + u":" + Pad(t.wSecond, 2);
    time = t.wHour * 10000 + t.wMinute * 100 + t.wSecond;
    if (with_ms) {
      time_text += u":" + Pad(t.wMilliseconds, 3);
      time = time * 1000 + t.wMilliseconds;
    }
  } catch (...) {
  }
}

void SetLogFileFolder(std::u16string program_data_dir) {
  DebugState* st = TryState();
  if (!st) return;
  try {
    while (!program_data_dir.empty() &&
           (program_data_dir.back() == u'\\' || program_data_dir.back() == u'/')) {
      program_data_dir.pop_back();
    }
    LogFileSink& sink = st->file;
    if (sink.folder != program_data_dir) {
      // Another folder is another file: it gets its own first open (and its own chances).
      sink.path.clear();
      sink.pruned = false;
      sink.failures = 0;
      sink.given_up = false;
      sink.folder = std::move(program_data_dir);
    }
    FlushLogFile(*st);
  } catch (...) {
  }
}

}  // namespace kes::debug
