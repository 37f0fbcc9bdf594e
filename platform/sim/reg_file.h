// Registry files as the registry editor writes them, read the way reg.exe import reads them:
// "Windows Registry Editor Version 5.00" (UTF-16LE with its byte-order mark) and the older
// "REGEDIT4" (ANSI). Key lines "[HKEY_...\path]" create keys, "[-HKEY_...\path]" delete a key
// with everything below it; value lines are @= (the default value) or "name"= followed by a
// "string" (\\ and \" escaped), dword:XXXXXXXX, hex:bytes, hex(N):bytes (hex(2) expandable text,
// hex(7) text list, bytes of text in the ANSI code page in REGEDIT4) or - (delete the value).
// Hex data may go on over several lines, each but the last ending with a backslash.
//
// A file without a known header is refused as a whole and changes nothing. Inside an accepted
// file every line that cannot be used is skipped and reported with its line number, and the rest
// is applied - a bad key line makes its values be skipped too, as reg.exe does.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/registry_store.h"
#include "platform/types.h"

namespace kes::sim {

// Turns ANSI bytes into UTF-16.
using AnsiDecoder = std::function<std::u16string(std::string_view bytes)>;

struct RegFileProblem {
  int line = 0;               // 1-based line of the file where the entry starts
  std::u16string text;        // the entry as read (continuations joined)
  std::u16string reason;      // why it was skipped
  platform::LONG status = 0;  // 5 when the registry refused the change, 0 for a syntax fault
};

struct RegFileResult {
  bool accepted = false;  // false: not a registry file; nothing was applied
  std::u16string error;   // why the file was refused
  int version = 0;        // 5 or 4
  int keys_written = 0;   // key lines applied (created or opened)
  int keys_deleted = 0;   // [-key] lines that removed a key
  int values_written = 0;
  int values_deleted = 0;
  std::vector<RegFileProblem> problems;

  // Accepted and every entry applied.
  bool complete() const { return accepted && problems.empty(); }
};

// Reads `bytes` and applies it to `store`. ANSI text is decoded with `ansi`, or when none is
// given in the ANSI code page of the store's machine. HKLM\SOFTWARE paths land in the 32-bit view
// when `view32` (the file imported by a 32-bit reg.exe on 64-bit Windows). Keys refusing changes
// (DenyAccess/DenyWriteOpen) are left alone and reported with status 5.
RegFileResult ImportRegFile(RegistryStore& store, std::string_view bytes,
                            const AnsiDecoder& ansi = {}, bool view32 = false);

// The file text of `bytes`: UTF-16LE after a byte-order mark FF FE, otherwise ANSI through
// `ansi` (Latin-1 when none is given).
std::u16string DecodeRegFileText(std::string_view bytes, const AnsiDecoder& ansi = {});

// The predefined root a full key name starts with ("HKEY_LOCAL_MACHINE"...; letter case
// ignored); nullopt for any other text.
std::optional<platform::HKEY> RootByName(std::u16string_view name);

}  // namespace kes::sim
