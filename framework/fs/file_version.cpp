#include "framework/fs/file_version.h"

#include <cstring>
#include <vector>

#include "framework/debug/proc.h"
#include "framework/env/context.h"
#include "framework/fs/files.h"
#include "framework/fs/files_internal.h"
#include "framework/util/strings.h"
#include "platform/base/u16.h"

namespace kes {

using debug::Kind;
using debug::Proc;
using debug::VarsToText;
using fs_detail::kModule;
using fs_detail::Prepared;

namespace {

// `text` of `parts` parts made `missing` parts longer with zeros: at the end, or - for a
// three-part major.minor.revision text with `insert` - before its last part.
std::u16string Padded(std::u16string_view text, std::int32_t parts, std::int32_t missing,
                      bool insert) {
  std::u16string zeros;
  for (std::int32_t i = 0; i < missing; ++i) zeros += u".0";
  if (!insert || parts != 3) return std::u16string(text) + zeros;
  const std::size_t last = text.rfind(u'.');
  return std::u16string(text.substr(0, last)) + zeros + std::u16string(text.substr(last));
}

std::vector<std::u16string> SplitAtDots(std::u16string_view text) {
  std::vector<std::u16string> parts;
  for (std::size_t at = 0;;) {
    const std::size_t dot = text.find(u'.', at);
    parts.push_back(Trim(text.substr(at, dot == std::u16string_view::npos ? dot : dot - at)));
    if (dot == std::u16string_view::npos) return parts;
    at = dot + 1;
  }
}

bool IsDecimal(std::u16string_view s) {
  if (s.empty()) return false;
  for (char16_t c : s)
    if (c < u'0' || c > u'9') return false;
  return true;
}

// <0, 0, >0 as the decimal number `a` is smaller, equal, larger than `b`, whatever their size.
int CompareDecimal(std::u16string_view a, std::u16string_view b) {
  const auto significant = [](std::u16string_view s) {
    const std::size_t first = s.find_first_not_of(u'0');
    return first == std::u16string_view::npos ? std::u16string_view() : s.substr(first);
  };
  a = significant(a);
  b = significant(b);
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b);
}

}  // namespace

std::u16string GetFileVersion(std::u16string_view file, bool impose_vb_limit_if_possible) {
  Proc p(kModule, u"GetFileVersion", Kind::Function);
  p.Args({u"sFile", file, u"bImposeVBLimitIfPossible", impose_vb_limit_if_possible});
  std::u16string result;
  p.Step([&] {
    const std::u16string file_w = Prepared(file);
    const std::u16string vars = VarsToText({u"sFile", file});
    auto& sys = OS().sys;
    FsRedirectionOff redirection_off;
    platform::DWORD handle = 0;
    const platform::DWORD size = sys.GetFileVersionInfoSizeW(file_w.c_str(), &handle);
    if (size == 0) return p.LogFailedCall(u"GetFileVersionInfoSizeW", vars);
    std::vector<std::uint8_t> block(size);
    if (!sys.GetFileVersionInfoW(file_w.c_str(), 0, size, block.data()))
      return p.LogFailedCall(u"GetFileVersionInfoW", vars);
    const void* fixed = nullptr;
    platform::UINT length = 0;
    if (!sys.VerQueryValueW(block.data(), u"\\", &fixed, &length) || !fixed ||
        length < sizeof(platform::VS_FIXEDFILEINFO))
      return p.LogFailedCall(u"VerQueryValueW", vars);
    platform::VS_FIXEDFILEINFO info;
    std::memcpy(&info, fixed, sizeof info);
    const platform::DWORD build = info.dwFileVersionLS >> 16;
    result = Dec(info.dwFileVersionMS >> 16) + u"." + Dec(info.dwFileVersionMS & 0xFFFF);
    if (!impose_vb_limit_if_possible || build != 0) result += u"." + Dec(build);
    result += u"." + Dec(info.dwFileVersionLS & 0xFFFF);
  });
  p.Result(result);
  return result;
}

VersionCompareResult FileVersionStringCompare(std::u16string_view ver_num1,
                                              std::u16string_view ver_num2,
                                              bool insert_missing_vb_num_if_applicable) {
  Proc p(kModule, u"FileVersionStringCompare", Kind::Function);
  p.Args({u"sVerNum1", ver_num1, u"sVerNum2", ver_num2, u"bInsertMissingVBNumIfApplicable",
          insert_missing_vb_num_if_applicable});
  VersionCompareResult result = VersionCompare_Equal;
  p.Step([&] {
    if (ver_num1.find(u'.') == std::u16string_view::npos ||
        ver_num2.find(u'.') == std::u16string_view::npos) {
      p.Log(u"A version text without \".\" is not compared.", debug::Event_Verbose);
      return;
    }
    std::u16string first(ver_num1), second(ver_num2);
    const std::int32_t parts1 = GetWordCount(first, u".") + 1;
    const std::int32_t parts2 = GetWordCount(second, u".") + 1;
    if (parts2 < parts1) {
      second = Padded(second, parts2, parts1 - parts2, insert_missing_vb_num_if_applicable);
      p.Log(u"sVerNum2 was padded to match sVerNum1.", debug::Event_Verbose,
            VarsToText({u"sVerNum2", second}));
    } else if (parts1 < parts2) {
      first = Padded(first, parts1, parts2 - parts1, insert_missing_vb_num_if_applicable);
      p.Log(u"sVerNum1 was padded to match sVerNum2.", debug::Event_Verbose,
            VarsToText({u"sVerNum1", first}));
    }
    const std::vector<std::u16string> a = SplitAtDots(first);
    const std::vector<std::u16string> b = SplitAtDots(second);
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
      if (a[i].empty() || b[i].empty()) continue;
      if (!IsDecimal(a[i]) || !IsDecimal(b[i])) {
        p.Log(u"A version part is not a number; the texts are not compared.", debug::Event_Verbose,
              VarsToText({u"sPart1", a[i], u"sPart2", b[i]}));
        return;
      }
      if (const int order = CompareDecimal(a[i], b[i]); order != 0) {
        result = order > 0 ? VersionCompare_FirstNewer : VersionCompare_SecondNewer;
        return;
      }
    }
  });
  p.Result(static_cast<std::int32_t>(result));
  return result;
}

bool GetFileWFAD(std::u16string_view file, platform::WIN32_FILE_ATTRIBUTE_DATA& file_data) {
  Proc p(kModule, u"GetFileWFAD", Kind::Function);
  p.Args({u"sFile", file});
  bool result = false;
  p.Step([&] {
    if (!FileExist(file)) {
      p.Log(u"File does not exist!", debug::Event_Normal, VarsToText({u"sFile", file}));
      return;
    }
    const std::u16string file_w = Prepared(file);
    platform::WIN32_FILE_ATTRIBUTE_DATA read;
    platform::BOOL ok = 0;
    {
      FsRedirectionOff redirection_off;
      ok = OS().fs.GetFileAttributesExW(file_w.c_str(), &read);
    }
    if (!ok) return p.LogFailedCall(u"GetFileAttributesExW", VarsToText({u"sFileW", file_w}));
    file_data = read;
    result = true;
  });
  p.Result(result);
  return result;
}

}  // namespace kes
