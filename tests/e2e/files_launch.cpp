// Scenario "files-launch": the file primitives, text files, registry import and launchers
// against the real kernel32/shell32/advapi32, after the program's own start-up has filled the
// environment facts (System32, the temp folder, the 64-bit decision).
#include <cstdint>
#include <string>

#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/env/startup.h"
#include "framework/fs/files.h"
#include "framework/fs/textfile.h"
#include "framework/process/shell.h"
#include "framework/registry/access.h"
#include "platform/base/u16.h"
#include "tests/e2e/scenarios.h"

namespace kes::win32::e2e {
namespace {

constexpr std::int32_t kReadOnly = 0x1;
constexpr std::int32_t kHidden = 0x2;

Outcome Fail(const std::string& what) {
  return {false, what};
}

Outcome Files(const std::u16string& dir) {
  if (!EnsureDirExists(dir + u"\\sub\\deeper")) return Fail("EnsureDirExists failed");
  const std::u16string a = dir + u"\\a.txt";
  if (!FileWrite(a, u"abc", 3, false)) return Fail("FileWrite failed");
  if (GetFileToString(a) != u"abc") return Fail("FileWrite did not leave 61 62 63");
  if (!SetAttrib(a, kReadOnly | kHidden) || (GetAttrib(a) & 3) != 3)
    return Fail("attributes were not set");
  const std::u16string b = dir + u"\\sub\\deeper\\b.txt";
  if (!SaveTextToFile(b, u"old line", true)) return Fail("SaveTextToFile failed");
  if (!SetAttrib(b, kReadOnly)) return Fail("read-only on the target failed");
  if (!FileCopy(a, b, true, true)) return Fail("FileCopy onto a read-only target failed");
  if ((GetAttrib(b) & kReadOnly) == 0) return Fail("the target lost its read-only attribute");
  if (GetFileToString(b) != GetFileToString(a)) return Fail("the copy differs from its source");
  for (const std::u16string& f : {a, b}) {
    SetAttrib(f, 0x80);
    if (!FileDelete(f) || FileExist(f)) return Fail("FileDelete left " + Utf8(f));
  }
  if (!ShellDelete(dir, kQuietDelete) || DirExist(dir)) return Fail("ShellDelete left the tree");
  return {true, {}};
}

Outcome Import(const std::u16string& dir) {
  const std::u16string reg = dir + u"\\import.reg";
  const std::u16string text =
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_CURRENT_USER\\Software\\Quorlen\\Kestrune-e2e-import]\r\n"
      u"\"Text\"=\"安全模式\"\r\n\"Number\"=dword:00000003\r\n\r\n";
  if (!EnsureDirExists(dir) || !FileWrite(reg, text, 4, false))
    return Fail("could not write the .reg file");
  RegImport(reg, true);
  Value v;
  const std::u16string_view key = u"Software\\Quorlen\\Kestrune-e2e-import";
  const bool text_ok =
      RegReadValue(platform::kHKEY_CURRENT_USER, key, u"Text", platform::kREG_SZ, u"", v) &&
      v.get_if<std::u16string>() && *v.get_if<std::u16string>() == u"安全模式";
  const bool number_ok =
      RegReadValue(platform::kHKEY_CURRENT_USER, key, u"Number", platform::kREG_DWORD, 0, v) &&
      v.get_if<std::int32_t>() && *v.get_if<std::int32_t>() == 3;
  const std::u16string k(key);
  OS().reg.RegDeleteKeyExW(platform::kHKEY_CURRENT_USER, k.c_str(), platform::kKEY_WOW64_64KEY);
  FileDelete(reg);
  if (!text_ok || !number_ok) return Fail("reg.exe import did not write the values");
  return {true, {}};
}

Outcome Launch() {
  std::u16string error;
  std::int32_t code = -1;
  if (!ShellAndWait(u"cmd.exe /c exit 3", 0, error, 0, false, code))
    return Fail("ShellAndWait failed: " + Utf8(error));
  if (code != 3) return Fail("cmd.exe /c exit 3 returned " + std::to_string(code));
  std::int32_t level = -1;
  if (!ShellX(Ctx().env->DirBS_System32 + u"cmd.exe", u"/c exit 7", true, 0, level, false, 0) ||
      level != 7)
    return Fail("ShellX of cmd.exe /c exit 7 returned " + std::to_string(level));
  return {true, {}};
}

}  // namespace

Outcome FilesLaunch() {
  InitApp(false, u"");
  if (!Ctx().env) return Fail("start-up made no environment");
  const std::u16string dir = Ctx().env->UserDirBS_CurrentUser_Temp + u"kes-e2e";
  for (Outcome (*step)(const std::u16string&) : {&Files, &Import}) {
    Outcome o = step(dir);
    if (!o.passed) return o;
  }
  Outcome o = Launch();
  if (!o.passed) return o;
  return {true, "files, attributes, reg.exe import, exit codes"};
}

}  // namespace kes::win32::e2e
