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
std::u16string ProfilePath(const Proc& p, std::u16string_view file) {
  std::u16string path(file);
  if (file.size() > 259) {
    PrepPathForUnicodeAPI(path, false);
    // The limit is 259; the message has always said 256.
    p.Log(u"Using Wide format for path > 256", debug::Event_Verbose,
          u"sFile=" + std::u16string(file));
  } else if (UseWideAPI(file)) {
    PrepPathForUnicodeAPI(path, false);
    p.Log(u"Using Wide format for path containing unicode characters!", debug::Event_Verbose,
          u"sFile=" + std::u16string(file));
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

std::u16string ReadINI(std::u16string_view file, std::u16string_view section,
                       std::u16string_view key) {
  Proc p(kModule, u"ReadINI", Kind::Function);
  p.Args({u"sFile", std::u16string(file), u"sSection", std::u16string(section), u"sKey",
          std::u16string(key)});
  std::u16string result;
  p.Step([&] {
    const std::u16string path = ProfilePath(p, file);
    const std::u16string section_name(section);
    const std::u16string key_name(key);
    // Empty names ask for the lists of names, as the null pointers of the profile call do.
    const char16_t* app = section_name.empty() ? nullptr : section_name.c_str();
    const char16_t* entry = key_name.empty() ? nullptr : key_name.c_str();
    platform::DWORD size = kFirstBufferChars;
    while (true) {
      std::vector<char16_t> buf(size, u' ');
      platform::DWORD n = 0;
      {
        FsRedirectionOff redirection_off;
        n = OS().fs.GetPrivateProfileStringW(app, entry, u"", buf.data(), size, path.c_str());
      }
      if (n < 1) {
        p.LogAPI(u"GetPrivateProfileStringW", u"sFile=" + std::u16string(file), 2);
        return;
      }
      // Only a list that did not fit answers size - 2; try again with twice the room.
      if (n == size - 2) {
        size *= 2;
        continue;
      }
      result = vbzTrim(buf);
      return;
    }
  });
  p.Result(result);
  return result;
}

bool WriteINI(std::u16string_view file, std::u16string_view section, std::u16string_view key,
              std::u16string_view value) {
  Proc p(kModule, u"WriteINI", Kind::Function);
  p.Args({u"sFile", std::u16string(file), u"sSection", std::u16string(section), u"sKey",
          std::u16string(key), u"sValue", std::u16string(value)});
  bool result = false;
  p.Step([&] {
    if (section.empty() || key.empty())
      p.Log(u"Passed empty section or key name; written as it is.", debug::Event_Normal);
    const std::u16string path = ProfilePath(p, file);
    const std::u16string section_name(section);
    const std::u16string key_name(key);
    const std::u16string value_text(value);
    platform::BOOL ok = 0;
    {
      FsRedirectionOff redirection_off;
      ok = OS().fs.WritePrivateProfileStringW(section_name.c_str(), key_name.c_str(),
                                              value_text.c_str(), path.c_str());
    }
    if (!ok) {
      p.LogAPI(u"WritePrivateProfileStringW", u"sFile=" + std::u16string(file));
      return;
    }
    result = true;
  });
  p.Result(result);
  return result;
}

}  // namespace kes
