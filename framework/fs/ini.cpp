#include "framework/fs/ini.h"

#include <cstdint>
#include <vector>

#include "framework/debug/proc.h"
#include "framework/debug/tracing.h"
#include "framework/env/context.h"
#include "framework/fs/files_internal.h"
#include "framework/fs/path_forms.h"
#include "framework/util/strings.h"
#include "platform/base/u16.h"

namespace kes {
namespace {

using debug::Kind;
using debug::Proc;

constexpr std::u16string_view kModule = u"App_Common";
constexpr platform::DWORD kFirstBufferChars = 0x2000;

// The form of the path handed to the profile calls: unchanged while an ANSI-sized call could
// take it, the wide form for long paths and for characters that do not pass through ANSI.
std::u16string ProfilePath(const Proc& p, std::u16string_view sFile) {
  std::u16string path(sFile);
  if (sFile.size() > 259) {
    PrepPathForUnicodeAPI(path, false);
    // The limit is 259; the message has always said 256.
    p.Log(u"Using Wide format for path > 256", debug::Event_Verbose,
          u"sFile=" + std::u16string(sFile));
  } else if (UseWideAPI(sFile)) {
    PrepPathForUnicodeAPI(path, false);
    p.Log(u"Using Wide format for path containing unicode characters!", debug::Event_Verbose,
          u"sFile=" + std::u16string(sFile));
  }
  return path;
}

// The text up to the first NUL, blanks trimmed.
std::u16string vbzTrim(const std::vector<char16_t>& buf) {
  std::u16string s(buf.data(), buf.size());
  TrimNull(s, true);
  return s;
}

}  // namespace

std::u16string ReadINI(std::u16string_view sFile, std::u16string_view sSection,
                       std::u16string_view sKey) {
  Proc p(kModule, u"ReadINI", Kind::Function);
  p.Args({u"sFile", std::u16string(sFile), u"sSection", std::u16string(sSection), u"sKey",
          std::u16string(sKey)});
  std::u16string sRet;
  p.Step([&] {
    const std::u16string path = ProfilePath(p, sFile);
    const std::u16string section(sSection);
    const std::u16string key(sKey);
    // Empty names ask for the lists of names, as the null pointers of the profile call do.
    const char16_t* app = section.empty() ? nullptr : section.c_str();
    const char16_t* entry = key.empty() ? nullptr : key.c_str();
    platform::DWORD size = kFirstBufferChars;
    while (true) {
      std::vector<char16_t> buf(size, u' ');
      platform::DWORD n = 0;
      {
        FsRedirectionOff redirection_off;
        n = OS().fs.GetPrivateProfileStringW(app, entry, u"", buf.data(), size, path.c_str());
      }
      if (n < 1) {
        p.LogAPI(u"GetPrivateProfileStringW", u"sFile=" + std::u16string(sFile), 2);
        return;
      }
      // Only a list that did not fit answers size - 2; try again with twice the room.
      if (n == size - 2) {
        size *= 2;
        continue;
      }
      sRet = vbzTrim(buf);
      return;
    }
  });
  p.Result(sRet);
  return sRet;
}

bool WriteINI(std::u16string_view sFile, std::u16string_view sSection, std::u16string_view sKey,
              std::u16string_view sValue) {
  Proc p(kModule, u"WriteINI", Kind::Function);
  p.Args({u"sFile", std::u16string(sFile), u"sSection", std::u16string(sSection), u"sKey",
          std::u16string(sKey), u"sValue", std::u16string(sValue)});
  bool result = false;
  p.Step([&] {
    if (sSection.empty() || sKey.empty())
      p.Log(u"Passed empty section or key name; written as it is.", debug::Event_Normal);
    const std::u16string path = ProfilePath(p, sFile);
    const std::u16string section(sSection);
    const std::u16string key(sKey);
    const std::u16string value(sValue);
    platform::BOOL ok = 0;
    {
      FsRedirectionOff redirection_off;
      ok = OS().fs.WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(),
                                              path.c_str());
    }
    if (!ok) {
      p.LogAPI(u"WritePrivateProfileStringW", u"sFile=" + std::u16string(sFile));
      return;
    }
    result = true;
  });
  p.Result(result);
  return result;
}

}  // namespace kes
