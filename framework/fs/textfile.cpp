#include "framework/fs/textfile.h"

#include <algorithm>
#include <functional>

#include "framework/debug/proc.h"
#include "framework/debug/tracing.h"
#include "framework/env/context.h"
#include "framework/fs/files.h"
#include "framework/fs/files_internal.h"
#include "framework/fs/path_forms.h"
#include "framework/util/strings.h"
#include "framework/util/vel_string.h"
#include "platform/base/u16.h"
#include "platform/base/utf16le.h"
#include "platform/unique_handle.h"

namespace kes {
namespace {

using debug::Kind;
using debug::Proc;
using platform::DWORD;
using platform::HANDLE;

constexpr std::u16string_view kModule = u"App_Common";
// As many sequential files as the run time allows open at once.
constexpr std::int32_t kMaxFileNum = 511;
constexpr DWORD kERROR_TOO_MANY_OPEN_FILES = 4;

// ---- sequential files under a file number ---------------------------------------------------

enum class FileMode { kInput, kBinary, kAppend, kOutput };

// Opens the (prepared) path under the lowest free file number and returns it; 0 with the last
// error set when no number is free or the file cannot be opened. Input and binary read an
// existing file; append and output create a missing one, output empties an existing one.
std::int32_t OpenFileNum(const std::u16string& prepared, FileMode mode) {
  auto& table = Ctx().file_nums;
  std::int32_t num = 0;
  for (std::int32_t n = 1; n <= kMaxFileNum && num == 0; ++n)
    if (table.find(n) == table.end()) num = n;
  if (num == 0) {
    OS().sys.SetLastError(kERROR_TOO_MANY_OPEN_FILES);
    return 0;
  }
  const bool read = mode == FileMode::kInput || mode == FileMode::kBinary;
  const DWORD access = read ? platform::kGENERIC_READ : platform::kGENERIC_WRITE;
  const DWORD creation = read ? platform::kOPEN_EXISTING : platform::kOPEN_ALWAYS;
  platform::UniqueHandle file(OS());
  {
    FsRedirectionOff redirection_off;
    file.reset(OS().fs.CreateFileW(prepared.c_str(), access,
                                   platform::kFILE_SHARE_READ | platform::kFILE_SHARE_WRITE,
                                   creation, platform::kFILE_ATTRIBUTE_NORMAL));
  }
  if (!file) return 0;
  // OPEN_ALWAYS rather than CREATE_ALWAYS: a hidden or system file is rewritten, not refused.
  bool placed = true;
  if (mode == FileMode::kAppend)
    placed = OS().fs.SetFilePointerEx(file.get(), 0, nullptr, platform::kFILE_END) != 0;
  if (mode == FileMode::kOutput) placed = OS().fs.SetEndOfFile(file.get()) != 0;
  if (!placed) return 0;  // closed keeping the error, so that the log names the real cause
  table[num] = std::move(file);
  return num;
}

HANDLE HandleOf(std::int32_t num) {
  auto& table = Ctx().file_nums;
  auto it = table.find(num);
  return it == table.end() ? platform::kInvalidHandle : it->second.get();
}

// The whole content of an open file; false with the last error set on a failed read.
bool ReadAllBytes(std::int32_t num, std::string& bytes) {
  bytes.clear();
  const HANDLE h = HandleOf(num);
  std::int64_t size = 0;
  if (!OS().fs.GetFileSizeEx(h, &size)) return false;
  bytes.resize(static_cast<std::size_t>(size));
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD n = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
    if (!OS().fs.ReadFile(h, bytes.data() + done, chunk, &n)) return false;
    if (n == 0) break;  // the file shrank meanwhile
    done += n;
  }
  bytes.resize(done);
  return true;
}

bool WriteAllBytes(std::int32_t num, const std::string& bytes) {
  const HANDLE h = HandleOf(num);
  DWORD n = 0;
  if (!OS().fs.WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n)) return false;
  if (n != bytes.size()) {
    OS().sys.SetLastError(platform::kERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  return true;
}

// ---- ANSI text of the sequential files ------------------------------------------------------

std::u16string DecodeAnsi(const std::string& bytes) {
  if (bytes.empty()) return {};
  auto& sys = OS().sys;
  const int len = static_cast<int>(bytes.size());
  const int n = sys.MultiByteToWideChar(0, 0, bytes.data(), len, nullptr, 0);
  if (n <= 0) return {};
  std::u16string out(static_cast<std::size_t>(n), u'\0');
  const int got = sys.MultiByteToWideChar(0, 0, bytes.data(), len, out.data(), n);
  out.resize(static_cast<std::size_t>(got > 0 ? got : 0));
  return out;
}

std::string EncodeAnsi(std::u16string_view text) {
  if (text.empty()) return {};
  auto& sys = OS().sys;
  const int len = static_cast<int>(text.size());
  const int n = sys.WideCharToMultiByte(0, 0, text.data(), len, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  const int got = sys.WideCharToMultiByte(0, 0, text.data(), len, out.data(), n, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(got > 0 ? got : 0));
  return out;
}

// The lines of a text without their line breaks (CR LF, CR or LF); a break at the very end
// starts no further line.
std::vector<std::u16string> SplitLines(std::u16string_view text) {
  std::vector<std::u16string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = start;
    while (end < text.size() && text[end] != u'\r' && text[end] != u'\n') ++end;
    lines.emplace_back(text.substr(start, end - start));
    if (end < text.size() && text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n')
      ++end;
    start = end + 1;
  }
  return lines;
}

// True when `text` is one whole line of `content`, letter case ignored.
bool HoldsLine(std::u16string_view content, std::u16string_view text) {
  const std::u16string hay = u"\r\n" + std::u16string(content) + u"\r\n";
  const std::u16string needle = u"\r\n" + std::u16string(text) + u"\r\n";
  return FindNoCase(hay, needle) != std::u16string::npos;
}

// What both SaveTextToFile and its traced twin do; `note` receives the log messages (the
// untraced one passes a no-op). Returns the result and sets *run_time_failure when opening or
// writing failed (the last error then names the cause).
struct SaveOutcome {
  bool result = false;
  bool run_time_failure = false;
  std::u16string failed_api;
};

SaveOutcome SaveText(std::u16string_view file, std::u16string_view text, bool overwrite,
                     bool no_duplicates, bool skip_ensure_dir,
                     const std::function<void(std::u16string_view)>& note) {
  SaveOutcome out;
  if (file.empty()) {
    note(u"Passed empty string!");
    return out;
  }
  if (!skip_ensure_dir) {
    // A bare file name is written to the current directory, which exists.
    const std::u16string dir = StripNameFromPath(file);
    if (!dir.empty() && !DirExist(dir) && !EnsureDirExists(dir)) {
      note(u"Aborting; EnsureDirExists Failure, cannot create destination directory!");
      return out;
    }
  }
  const std::u16string prepared = fs_detail::Prepared(file);
  FileMode mode = FileMode::kOutput;
  if (!overwrite) {
    if (no_duplicates && FileExist(file, false)) {
      std::u16string msg;
      const std::u16string content = GetFileToString(file, false, msg, true);
      // Only a whole line counts: "bc" is not already written because "abc" is.
      if (HoldsLine(content, text)) {
        note(u"Aborting; String already exists in file.");
        out.result = true;
        return out;
      }
    }
    mode = FileMode::kAppend;
  }
  std::int32_t num = OpenFileNum(prepared, mode);
  if (num == 0) {
    out.run_time_failure = true;
    out.failed_api = u"CreateFileW";
    return out;
  }
  const bool written = WriteAllBytes(num, EncodeAnsi(std::u16string(text) + u"\r\n"));
  if (!written) {
    out.run_time_failure = true;
    out.failed_api = u"WriteFile";
    const DWORD error = OS().sys.GetLastError();
    CloseFileNum(num);
    OS().sys.SetLastError(error);
    return out;
  }
  CloseFileNum(num);
  out.result = true;
  return out;
}

}  // namespace

// ---- FileWrite and the encodings ------------------------------------------------------------

std::u16string GetEncodingVerbose(std::int32_t encoding) {
  Proc p(kModule, u"GetEncodingVerbose", Kind::Function);
  p.Args({u"lEncoding", encoding});
  std::u16string result;
  switch (encoding) {
    case Enc_FindType:
      result = u"FindType";
      break;
    case Enc_ANSI:
      result = u"ANSI";
      break;
    case Enc_UTF8:
      result = u"UTF8 (BOM EF BB BF)";
      break;
    case Enc_UTF8NoBOM:
      result = u"UTF8NoBOM";
      break;
    case Enc_UTF16LE:
      result = u"UTF16LE (BOM FF FE)";
      break;
    case Enc_UTF16BE:
      result = u"UTF16BE (BOM FE FF)";
      break;
    default:
      break;
  }
  p.Result(result);
  return result;
}

std::vector<std::uint8_t> ToUTF8(std::u16string_view text) {
  Proc p(kModule, u"ToUTF8", Kind::Function);
  p.Args({u"sText", std::u16string(text)});
  std::vector<std::uint8_t> bytes;
  if (text.empty()) return bytes;
  p.Step([&] {
    auto& sys = OS().sys;
    const int len = static_cast<int>(text.size());
    const int n = sys.WideCharToMultiByte(65001, 0, text.data(), len, nullptr, 0, nullptr, nullptr);
    if (n <= 0) {
      p.LogAPI(u"WideCharToMultiByte (Call for length returned 0)");
      return;
    }
    bytes.resize(static_cast<std::size_t>(n));
    const int got = sys.WideCharToMultiByte(
        65001, 0, text.data(), len, reinterpret_cast<char*>(bytes.data()), n, nullptr, nullptr);
    if (got <= 0) {
      p.LogAPI(u"WideCharToMultiByte");
      bytes.clear();
      return;
    }
    bytes.resize(static_cast<std::size_t>(got));
  });
  p.Result(static_cast<std::int32_t>(bytes.size()));
  return bytes;
}

std::vector<std::uint8_t> FromUnicode(std::u16string_view text) {
  Proc p(kModule, u"FromUnicode", Kind::Function);
  p.Args({u"sText", std::u16string(text)});
  std::vector<std::uint8_t> bytes;
  p.Step([&] {
    const std::string ansi = EncodeAnsi(text);
    bytes.assign(ansi.begin(), ansi.end());
  });
  return bytes;
}

namespace {

// Replaces the content of `file` with `bytes` for FileWrite and FileWriteBytes, whose record `p`
// gets the failures. True when the whole buffer was written.
bool WriteWholeFile(const Proc& p, std::u16string_view file, const std::vector<std::uint8_t>& bytes,
                    bool overlapped) {
  bool result = false;
  platform::UniqueHandle handle(OS());
  p.Step([&] {
    const DWORD attributes =
        platform::kFILE_ATTRIBUTE_NORMAL | (overlapped ? platform::kFILE_FLAG_OVERLAPPED : 0);
    const std::u16string name(file);
    handle.reset(OS().fs.CreateFileW(name.c_str(), platform::kGENERIC_WRITE,
                                     platform::kFILE_SHARE_READ | platform::kFILE_SHARE_WRITE,
                                     platform::kOPEN_ALWAYS, attributes));
    const HANDLE h = handle.get();
    if (!handle) {
      p.LogAPI(u"CreateFileByRefSecAttribW Returned INVALID_HANDLE_VALUE", u"sFile=" + name);
      return;
    }
    // The old content goes entirely, also where it was longer than the new.
    if (!OS().fs.SetEndOfFile(h)) {
      p.LogAPI(u"SetEndOfFile", u"sFile=" + name);
      return;
    }
    DWORD written = 0;
    if (OS().fs.WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written)) {
      result = written == bytes.size();
      if (!result)
        p.Log(u"WriteFile wrote less than the whole buffer!", debug::Event_Normal,
              u"lWritten=" + Dec(written) + u"; lSize=" +
                  Dec(static_cast<std::int64_t>(bytes.size())));
      return;
    }
    if (!overlapped) {
      p.LogAPI(u"WriteFile", u"sFile=" + name);
      return;
    }
    // Overlapped: ask until the transfer is done; only an error other than "still running"
    // gives up.
    while (true) {
      DWORD done = 0;
      if (OS().fs.GetOverlappedResult(h, &done, 0)) {
        p.Log(u"Success:  (GetOverlappedResult <> 0)", debug::Event_Verbose);
        result = true;
        return;
      }
      const std::int32_t error = p.LogAPI(u"GetOverlappedResult", u"sFile=" + name, u"996, 997");
      if (error != static_cast<std::int32_t>(platform::kERROR_IO_INCOMPLETE) &&
          error != static_cast<std::int32_t>(platform::kERROR_IO_PENDING)) {
        p.Log(u"Error Occurred; Aborting Overlap Wait!", debug::Event_Normal);
        return;
      }
      OS().sys.Sleep(25);
    }
  });
  return result;
}

}  // namespace

std::optional<std::string> EncodeText(std::u16string_view text, platform::UINT code_page) {
  if (text.empty()) return std::string();
  auto& sys = OS().sys;
  const int len = static_cast<int>(text.size());
  // No best fit: "é" must not quietly become "e" in a file name.
  constexpr DWORD kNoBestFit = 0x400;  // WC_NO_BEST_FIT_CHARS
  platform::BOOL used_default = 0;
  const int n = sys.WideCharToMultiByte(code_page, kNoBestFit, text.data(), len, nullptr, 0,
                                        nullptr, nullptr);
  if (n <= 0) return std::nullopt;
  std::string out(static_cast<std::size_t>(n), '\0');
  const int got = sys.WideCharToMultiByte(code_page, kNoBestFit, text.data(), len, out.data(), n,
                                          nullptr, &used_default);
  if (got <= 0 || used_default) return std::nullopt;
  out.resize(static_cast<std::size_t>(got));
  return out;
}

bool FileWrite(std::u16string_view file, std::u16string_view text, std::int32_t encoding,
               bool overlapped) {
  Proc p(kModule, u"FileWrite", Kind::Function);
  p.Args({u"sFile", std::u16string(file), u"sText", std::u16string(text), u"lEncoding", encoding,
          u"bOverlapped", overlapped});
  bool result = false;
  p.Log(u"Encoding=" + GetEncodingVerbose(encoding), debug::Event_Verbose);
  if (file.empty()) {
    p.Log(u"Passed empty string!", debug::Event_Normal);
    p.Result(result);
    return result;
  }
  // The bytes are made before the file is opened, so that a wrong call leaves the old content
  // alone.
  std::vector<std::uint8_t> bytes;
  bool encodable = true;
  switch (encoding) {
    case Enc_ANSI:
      p.Step([&] {
        const std::optional<std::string> ansi = EncodeText(text, 0);  // CP_ACP
        encodable = ansi.has_value();
        if (ansi) bytes.assign(ansi->begin(), ansi->end());
      });
      break;
    case Enc_UTF8:
    case Enc_UTF8NoBOM:
      if (encoding == Enc_UTF8) bytes = {0xEF, 0xBB, 0xBF};
      for (std::uint8_t b : ToUTF8(text)) bytes.push_back(b);
      break;
    case Enc_UTF16LE:
    case Enc_UTF16BE:
      bytes = {0xFF, 0xFE};
      AppendUtf16Le(text, bytes);
      if (encoding == Enc_UTF16BE) {
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
      }
      break;
    default:
      p.Log(u"Encoding not writable; nothing written!", debug::Event_Normal,
            u"lEncoding=" + Dec(encoding));
      p.Result(result);
      return result;
  }
  if (!encodable) {
    // A "?" in place of a character would be lost data, written without a word.
    p.Log(u"The text cannot be written in the ANSI code page; nothing written!",
          debug::Event_Normal, u"sFile=" + std::u16string(file));
    p.Result(result);
    return result;
  }
  result = WriteWholeFile(p, file, bytes, overlapped);
  p.Result(result);
  return result;
}

bool FileWriteBytes(std::u16string_view file, std::string_view bytes) {
  Proc p(kModule, u"FileWriteBytes", Kind::Function);
  p.Args({u"sFile", std::u16string(file), u"lSize", static_cast<std::int64_t>(bytes.size())});
  bool result = false;
  if (file.empty()) {
    p.Log(u"Passed empty string!", debug::Event_Normal);
  } else {
    result = WriteWholeFile(p, file, std::vector<std::uint8_t>(bytes.begin(), bytes.end()), false);
  }
  p.Result(result);
  return result;
}

// ---- reading --------------------------------------------------------------------------------

std::u16string GetFileToString(std::u16string_view file, bool line_by_line,
                               std::u16string& result_msg, bool skip_file_exist_check) {
  Proc p(kModule, u"GetFileToString", Kind::Function);
  p.Args({u"sFile", std::u16string(file), u"bLineByLine", line_by_line, u"bSkipFileExistCheck",
          skip_file_exist_check});
  result_msg.clear();
  std::u16string result;
  if (!skip_file_exist_check && !FileExist(file, true, result_msg)) {
    p.Log(result_msg, debug::Event_Normal, u"sFile=" + std::u16string(file));
    p.ReturnedByRef({u"sResultMsg", result_msg});
    p.Result(result);
    return result;
  }
  std::int32_t num = 0;
  p.Step([&] {
    const std::u16string prepared = fs_detail::Prepared(file);
    num = OpenFileNum(prepared, line_by_line ? FileMode::kInput : FileMode::kBinary);
    std::string bytes;
    if (num == 0 || !ReadAllBytes(num, bytes)) {
      const std::int32_t error =
          p.LogAPI(num == 0 ? u"CreateFileW" : u"ReadFile", u"sFile=" + std::u16string(file));
      result_msg = u"API Error: " + Dec(error);
      return;
    }
    const std::u16string text = DecodeAnsi(bytes);
    if (!line_by_line) {
      result = text;
      return;
    }
    VelString builder;
    for (const std::u16string& line : SplitLines(text)) builder.AddNewLine(line);
    result = builder.GetStr();
  });
  CloseFileNum(num);
  if (!result_msg.empty()) p.ReturnedByRef({u"sResultMsg", result_msg});
  p.Result(result);
  return result;
}

std::u16string GetFileToString(std::u16string_view file, bool line_by_line) {
  std::u16string msg;
  return GetFileToString(file, line_by_line, msg, false);
}

// ---- writing lines --------------------------------------------------------------------------

bool SaveTextToFile(std::u16string_view file, std::u16string_view text, bool overwrite,
                    bool no_duplicates, bool skip_ensure_dir) {
  SaveOutcome out;
  try {
    out =
        SaveText(file, text, overwrite, no_duplicates, skip_ensure_dir, [](std::u16string_view) {});
  } catch (...) {
    out.run_time_failure = true;
  }
  if (out.run_time_failure && !out.result)
    return SaveTextToFile_Debug(file, text, overwrite, no_duplicates, skip_ensure_dir);
  return out.result;
}

bool SaveTextToFile_Debug(std::u16string_view file, std::u16string_view text, bool overwrite,
                          bool no_duplicates, bool skip_ensure_dir) {
  Proc p(kModule, u"SaveTextToFile_Debug", Kind::Function);
  p.Args({u"sFile", std::u16string(file), u"sText", std::u16string(text), u"bOverwrite", overwrite,
          u"bNoDuplicates", no_duplicates, u"bSkipEnsureDir", skip_ensure_dir});
  bool result = false;
  p.Step([&] {
    const SaveOutcome out =
        SaveText(file, text, overwrite, no_duplicates, skip_ensure_dir,
                 [&](std::u16string_view msg) { p.Log(msg, debug::Event_Normal); });
    if (out.run_time_failure) p.LogAPI(out.failed_api, u"sFile=" + std::u16string(file));
    result = out.result;
  });
  p.Result(result);
  return result;
}

void CloseFileNum(std::int32_t& file_num) {
  Proc p(kModule, u"CloseFileNum", Kind::Sub);
  p.Args({u"iFileNum", file_num});
  if (file_num == 0) return;
  p.Step([&] {
    auto& table = Ctx().file_nums;
    auto it = table.find(file_num);
    if (it == table.end()) {
      p.Log(u"File number is not open!", debug::Event_Normal, u"iFileNum=" + Dec(file_num));
      return;
    }
    table.erase(it);  // closes the file
  });
  file_num = 0;
}

// ---- code pages -----------------------------------------------------------------------------

std::u16string AToW(std::string_view st, std::int32_t cpg, std::int32_t flags) {
  Proc p(kModule, u"AToW", Kind::Function);
  p.Args({u"st", Latin1(st), u"cpg", cpg, u"lFlags", flags});
  std::u16string result;
  p.Step([&] {
    const std::string bytes(st.substr(0, std::min(st.size(), st.find('\0'))));
    if (bytes.empty()) return;
    auto& sys = OS().sys;
    const platform::UINT cp = cpg == -1 ? sys.GetACP() : static_cast<platform::UINT>(cpg);
    const auto dword_flags = static_cast<DWORD>(flags);
    const int n = sys.MultiByteToWideChar(cp, dword_flags, bytes.c_str(), -1, nullptr, 0);
    if (n <= 0) {
      p.LogAPI(u"MultiByteToWideChar", u"cpg=" + Dec(cp));
      return;
    }
    std::u16string buf(static_cast<std::size_t>(n) + 1, u'\0');
    const int got = sys.MultiByteToWideChar(cp, dword_flags, bytes.c_str(), -1, buf.data(), n + 1);
    if (got <= 0) {
      p.LogAPI(u"MultiByteToWideChar", u"cpg=" + Dec(cp));
      return;
    }
    result = buf.substr(0, static_cast<std::size_t>(got - 1));
  });
  p.Result(result);
  return result;
}

std::string WToA(std::u16string_view st, std::int32_t cpg, std::int32_t flags) {
  Proc p(kModule, u"WToA", Kind::Function);
  p.Args({u"st", std::u16string(st), u"cpg", cpg, u"lFlags", flags});
  std::string result;
  p.Step([&] {
    const std::u16string text(st.substr(0, std::min(st.size(), st.find(u'\0'))));
    if (text.empty()) return;
    auto& sys = OS().sys;
    const platform::UINT cp = cpg == -1 ? sys.GetACP() : static_cast<platform::UINT>(cpg);
    const auto dword_flags = static_cast<DWORD>(flags);
    const int n =
        sys.WideCharToMultiByte(cp, dword_flags, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) {
      p.LogAPI(u"WideCharToMultiByte", u"cpg=" + Dec(cp));
      return;
    }
    std::string buf(static_cast<std::size_t>(n) + 1, '\0');
    const int got = sys.WideCharToMultiByte(cp, dword_flags, text.c_str(), -1, buf.data(), n + 1,
                                            nullptr, nullptr);
    if (got <= 0) {
      p.LogAPI(u"WideCharToMultiByte", u"cpg=" + Dec(cp));
      return;
    }
    result = buf.substr(0, static_cast<std::size_t>(got - 1));
  });
  p.Result(Latin1(result));
  return result;
}

std::u16string DecodeMBCS(std::u16string_view mbcs, std::int32_t code_page) {
  Proc p(kModule, u"DecodeMBCS", Kind::Function);
  p.Args({u"sMBCS", std::u16string(mbcs), u"lCodePage", code_page});
  std::u16string result;
  if (mbcs.empty()) return result;
  p.Step([&] { result = AToW(WToA(mbcs, 0, 0), code_page, 0); });
  p.Result(result);
  return result;
}

}  // namespace kes
