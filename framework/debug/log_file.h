// The debug log on disk: every entry of the in-memory log is also appended to the day's file
// "<Dir_ProgramData>\Kestrune\Logs\Kestrune_<yyyy-mm-dd>.log" (UTF-8, with a byte-order mark
// when the file is new). The file is opened, written and closed for every entry, so a forced
// restart right after an entry loses nothing. Only the ten newest log files are kept.
#pragma once

#include <cstdint>
#include <string>

namespace kes::debug {

struct DebugState;

struct LogFileSink {
  std::u16string folder;     // Dir_ProgramData; empty until start-up knows it
  std::u16string path;       // the file of this run, chosen at the first write
  std::int32_t written = 0;  // characters of the in-memory log already in the file
  int failures = 0;          // failed writes in a row
  bool given_up = false;     // the file could not be written; the log stays in memory
  bool pruned = false;       // old log files were looked at (once per run)
};

// How many failed writes in a row make the sink give the file up for the rest of the run.
inline constexpr int kLogFileMaxFailures = 3;
// How many log files are kept (this run's included).
inline constexpr int kLogFilesKept = 10;

// Appends the part of the in-memory log that is not in the file yet. Does nothing before the
// folder is known or after the file was given up. Never fails visibly and leaves the caller's
// last system error as it was.
void FlushLogFile(DebugState& st);

}  // namespace kes::debug
