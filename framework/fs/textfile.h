// App_Common text files and encodings: reading a whole text file, appending or writing lines,
// writing a buffer in one of five encodings, and converting text between UTF-16, UTF-8 and the
// multi-byte code pages. Text on disk read or written line-wise is in the system ANSI code page
// (GetACP). Everything is traced under the module "App_Common" except SaveTextToFile, whose
// traced twin SaveTextToFile_Debug repeats a failed save so that the log shows why. Nothing
// here throws: results are flags, texts or empty arrays, and failures are logged.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace kes {

// Encodings of FileWrite (lEncoding) and their log names (GetEncodingVerbose).
enum TextEncoding : std::int32_t {
  Enc_FindType = 0,   // "FindType": not a writable encoding
  Enc_ANSI = 1,       // "ANSI": low byte of each UTF-16 unit, no mark
  Enc_UTF8 = 2,       // "UTF8 (BOM EF BB BF)"
  Enc_UTF8NoBOM = 3,  // "UTF8NoBOM"
  Enc_UTF16LE = 4,    // "UTF16LE (BOM FF FE)"
  Enc_UTF16BE = 5,    // "UTF16BE (BOM FE FF)"
};

// Replaces the content of `file` (created when missing) with `text` in `encoding`, byte-order mark
// first where the encoding has one; ANSI is the system's ANSI code page. The path is used exactly
// as given. With `overlapped` the file is opened for overlapped I/O and the write is waited for.
// True when the whole buffer was written; false, with the reason logged and the file untouched,
// for an empty name, an encoding other than 1..5 or text the ANSI code page cannot hold (no
// character is ever written as "?"); false (logged) when the file cannot be opened or written.
bool FileWrite(std::u16string_view file, std::u16string_view text, std::int32_t encoding,
               bool overlapped = false);
// Traced. Replaces the content of `file` with exactly `bytes`; true when all were written,
// false (logged) otherwise.
bool FileWriteBytes(std::u16string_view file, std::string_view bytes);
// The bytes of `text` in `code_page` (0: ANSI, 1: OEM, or a number), with no best-fit
// replacement; nullopt when a character cannot be held there. Untraced.
std::optional<std::string> EncodeText(std::u16string_view text, platform::UINT code_page);

// The UTF-8 bytes of `text` (no mark, no terminator); empty for "" and on failure (logged).
std::vector<std::uint8_t> ToUTF8(std::u16string_view text);
// The bytes of `text` in the system's ANSI code page, characters it cannot hold as its default
// character (the classic conversion). Never fails.
std::vector<std::uint8_t> FromUnicode(std::u16string_view text);
// The log name of an encoding ("ANSI", "UTF8NoBOM"...); "" for a value outside 0..5.
std::u16string GetEncodingVerbose(std::int32_t encoding);

// The text of `file` in the ANSI code page: the whole content (`line_by_line` false), or its lines
// joined by CR LF with no line break after the last one (`line_by_line` true). No byte-order mark
// is recognised. Unless `skip_file_exist_check`, a missing or zero-byte file gives "" with the
// reason ("File not found!", "Zero Byte File!"...) in `result_msg` and the log; a file that
// cannot be opened or read gives "" with "API Error: <n>" in `result_msg` (logged).
std::u16string GetFileToString(std::u16string_view file, bool line_by_line,
                               std::u16string& result_msg, bool skip_file_exist_check = false);
std::u16string GetFileToString(std::u16string_view file, bool line_by_line = false);

// Writes `text` and CR LF to `file` in the ANSI code page: appended, or replacing the content
// with `overwrite`. Unless `skip_ensure_dir` the folder is created first when missing. With
// `no_duplicates` (and not `overwrite`) nothing is written when the file already holds `text` as a
// whole line (letter case ignored). True when the text was written or was already there; false
// for an empty name, a folder that cannot be made, or a failed write. A failed open or write is
// repeated once through SaveTextToFile_Debug, whose result is returned. Untraced.
bool SaveTextToFile(std::u16string_view file, std::u16string_view text, bool overwrite = false,
                    bool no_duplicates = false, bool skip_ensure_dir = false);
// SaveTextToFile traced, with each reason for failing logged ("Passed empty string!",
// "Aborting; EnsureDirExists Failure, cannot create destination directory!", the failing API).
bool SaveTextToFile_Debug(std::u16string_view file, std::u16string_view text,
                          bool overwrite = false, bool no_duplicates = false,
                          bool skip_ensure_dir = false);

// Closes the sequential file `file_num` when it is not 0 and sets `file_num` to 0. An unknown
// number is logged and also set to 0.
void CloseFileNum(std::int32_t& file_num);

// Multi-byte text: cpg -1 is the system ANSI code page (GetACP); the log shows the bytes one to
// a character. AToW: the UTF-16 text of the bytes (read up to the first zero byte) in code page
// cpg; "" for "" and on failure (logged).
std::u16string AToW(std::string_view st, std::int32_t cpg = -1, std::int32_t flags = 0);
// WToA: the bytes of st (up to its first NUL) in code page cpg; "" for "" and on failure
// (logged).
std::string WToA(std::u16string_view st, std::int32_t cpg = -1, std::int32_t flags = 0);
// Re-reads text whose bytes were decoded with the ANSI code page but were really in
// `code_page` (an OEM console code page, for example); "" for "".
std::u16string DecodeMBCS(std::u16string_view mbcs, std::int32_t code_page);

}  // namespace kes
