#include "app/bootini.h"

#include <cstdint>

#include "app/dispatch.h"
#include "framework/debug/proc.h"
#include "framework/debug/tracing.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/fs/files.h"
#include "framework/fs/ini.h"
#include "framework/fs/textfile.h"
#include "platform/base/u16.h"

namespace kes {
namespace {

using debug::Kind;
using debug::Proc;

constexpr std::u16string_view kModule = u"KestruneMain";
constexpr std::u16string_view kAborting = u"Aborting; ";
constexpr std::u16string_view kAttribError =
    u"Error setting attributes on Boot.ini!  Trying older method...";
constexpr std::u16string_view kWriteError = u"Error writing to boot.ini!";

constexpr std::int32_t kAttribNormal = 128;
constexpr std::int32_t kAttribReadOnlyHiddenSystem = 7;

// The menu text every Safe Mode entry starts with, quotes included.
constexpr std::u16string_view kMenuText = u"\"Quorlen Kestrune Mod\"";

std::u16string_view SafeModeSwitches(SafeMode mode) {
  switch (BootIniMode(mode)) {
    case 0:
      return u" /fastdetect /safeboot:minimal(alternateshell) /sos /bootlog /noguiboot";
    case 1:
      return u" /fastdetect /safeboot:network /sos /bootlog /noguiboot";
    default:
      return u" /fastdetect /safeboot:minimal /sos /bootlog /noguiboot";
  }
}

std::u16string SystemDriveBS() {
  return HasCtx() && Ctx().env ? Ctx().env->SystemDriveBS : u"";
}

std::u16string BackupPath() {
  return SystemDriveBS() + u"boot.Quorlen";
}

std::u16string FileVar(std::u16string_view file) {
  return debug::VarsToText({u"sFile", std::u16string(file)});
}

// Logs "Aborting; " + `reason` with sFile and shows `notice`.
void Abort(const Proc& p, std::u16string_view reason, std::u16string_view notice,
           std::int32_t style, std::u16string_view file) {
  p.Log(std::u16string(kAborting) + std::u16string(reason), debug::Event_Normal, FileVar(file));
  p.Step([&] { ShowMessage(notice, style); });
}

// The second way of setting attributes: the path as it is given, not in the "\\?\" form that
// SetAttrib hands to Windows, which some file-system filters refuse.
bool SetAttribOlderMethod(const Proc& p, const std::u16string& file, std::int32_t attributes) {
  platform::BOOL set = 0;
  {
    FsRedirectionOff redirection_off;
    set = OS().fs.SetFileAttributesW(file.c_str(), static_cast<platform::DWORD>(attributes));
  }
  if (!set) p.LogAPI(u"SetFileAttributesW", FileVar(file));
  return set != 0;
}

// Sets the attributes of boot.ini, the older method when SetAttrib fails. False when both
// failed, logged and told.
bool SetBootIniAttributes(const Proc& p, const std::u16string& file, std::int32_t attributes) {
  bool set = false;
  p.Step([&] { set = SetAttrib(file, attributes); });
  if (set) return true;
  p.Log(kAttribError, debug::Event_Normal, FileVar(file));
  p.Step([&] { set = SetAttribOlderMethod(p, file, attributes); });
  if (set) return true;
  Abort(p, u"Error setting attributes on Boot.ini!  (Older method)",
        std::u16string(kAborting) + u"无法设置文件属性:  " + file, kStyleCritical, file);
  return false;
}

// True when the file's last byte is a line break (or the file is empty): a line appended then
// starts a line of its own.
bool EndsWithLineBreak(const std::u16string& file) {
  std::u16string why;
  const std::u16string text = GetFileToString(file, false, why);
  return text.empty() || text.back() == u'\n' || text.back() == u'\r';
}

bool EditBootIni(const Proc& p, SafeMode mode, const std::u16string& file) {
  bool exists = false;
  p.Step([&] { exists = FileExist(file); });
  if (!exists) {
    const std::u16string text = std::u16string(kAborting) + u"Could not find boot.ini file!";
    p.Log(text, debug::Event_Normal, FileVar(file));
    p.Step([&] { ShowMessage(text, kStyleOk); });
    return false;
  }
  const std::u16string backup = BackupPath();
  // The first backup holds boot.ini as it was before any change: it is never replaced.
  p.Step([&] { exists = FileExist(backup); });
  if (!exists) {
    bool copied = false;
    p.Step([&] { copied = FileCopy(file, backup, true, true, true); });
    if (!copied) {
      Abort(p, u"File copy (Boot.ini to backup) failed!",
            std::u16string(kAborting) + u"Could not backup boot.ini!", kStyleCritical, file);
      return false;
    }
  }
  if (!SetBootIniAttributes(p, file, kAttribNormal)) return false;

  const std::u16string entry = std::u16string(kMenuText) + std::u16string(SafeModeSwitches(mode));
  std::u16string default_path;
  std::u16string old_entry;
  p.Step([&] { default_path = ReadINI(file, u"boot loader", u"default"); });
  if (!default_path.empty())
    p.Step([&] { old_entry = ReadINI(file, u"operating systems", default_path); });
  p.Created({u"sEntry", entry, u"sDefault", default_path, u"sOld", old_entry});
  if (default_path.empty() || old_entry.empty()) {
    // Written anyway, the entry would go under an empty or unknown name and the appended line
    // would be a boot path without a system: a boot menu that starts nothing.
    p.Log(u"No default boot entry could be read from boot.ini; nothing is written.",
          debug::Event_Normal, FileVar(file));
    Abort(p, kWriteError, std::u16string(kAborting) + std::u16string(kWriteError), kStyleCritical,
          file);
    return false;
  }

  // The old entry must start a line of its own: glued to a last line without a line break it
  // would spoil both entries.
  bool written = false;
  p.Step([&] {
    written = WriteINI(file, u"boot loader", u"timeout", u"3") &&
              WriteINI(file, u"operating systems", default_path, entry) &&
              SaveTextToFile(
                  file, (EndsWithLineBreak(file) ? u"" : u"\r\n") + default_path + u"=" + old_entry,
                  false, false, false);
  });
  if (!written) {
    Abort(p, kWriteError, std::u16string(kAborting) + std::u16string(kWriteError), kStyleCritical,
          file);
    return false;
  }
  return true;
}

bool RestoreBootIni(const Proc& p, const std::u16string& file) {
  const std::u16string backup = BackupPath();
  bool exists = false;
  p.Step([&] { exists = FileExist(backup); });
  if (!exists) {
    p.Log(std::u16string(kAborting) + u"No backup file exists!", debug::Event_Normal,
          FileVar(file));
    p.Step([&] {
      ShowMessage(std::u16string(kAborting) + u"Could not find boot.ini backup:  " + backup,
                  kStyleOk);
    });
    return false;
  }
  if (!SetBootIniAttributes(p, file, kAttribNormal)) return false;
  bool copied = false;
  p.Step([&] { copied = FileCopy(backup, file, true, true, true); });
  if (!copied) {
    const std::u16string text = u"File copy (backup to Boot.ini) failed!";
    Abort(p, text, std::u16string(kAborting) + text, kStyleCritical, file);
    return false;
  }
  if (!SetBootIniAttributes(p, file, kAttribReadOnlyHiddenSystem)) return false;
  // The copy gave the backup boot.ini's read-only attribute, which a plain delete refuses; a
  // backup left behind would later be restored over whatever boot.ini then holds.
  bool deleted = false;
  p.Step([&] {
    SetAttrib(backup, kAttribNormal);
    deleted = FileDelete(backup);
  });
  if (!deleted) {
    p.Log(u"boot.ini was restored, but its backup could not be deleted.", debug::Event_Normal,
          FileVar(backup));
  }
  return deleted;
}

}  // namespace

std::u16string BootIniPath() {
  return SystemDriveBS() + u"boot.ini";
}

bool BootIniSafeMod(SafeMode mode) {
  Proc p(kModule, u"BootIniSafeMod", Kind::Function);
  p.Args({u"iBootIniMode", BootIniMode(mode)});
  const std::u16string file = BootIniPath();
  p.Created({u"sFile", file});
  bool result = false;
  p.Step([&] { result = EditBootIni(p, mode, file); });
  p.Result(result);
  return result;
}

bool BootIniUndoMod() {
  Proc p(kModule, u"BootIniUndoMod", Kind::Function);
  const std::u16string file = BootIniPath();
  p.Created({u"sFile", file});
  bool result = false;
  p.Step([&] { result = RestoreBootIni(p, file); });
  p.Result(result);
  return result;
}

bool BootIniBackupExists() {
  Proc p(kModule, u"BootIniBackupExists", Kind::Function);
  bool result = false;
  p.Step([&] { result = FileExist(BackupPath()); });
  p.Result(result);
  return result;
}

std::optional<bool> BootIniStartsSafeMode() {
  Proc p(kModule, u"BootIniStartsSafeMode", Kind::Function);
  const std::u16string file = BootIniPath();
  std::optional<bool> result;
  p.Step([&] {
    if (!FileExist(file)) {
      result = false;
      return;
    }
    const std::u16string default_path = ReadINI(file, u"boot loader", u"default");
    if (default_path.empty()) return;
    const std::u16string entry = ReadINI(file, u"operating systems", default_path);
    p.Created({u"sDefault", default_path, u"sEntry", entry});
    result = LowerCase(entry).find(u"/safeboot:") != std::u16string::npos;
  });
  if (result) {
    p.Result(*result);
  } else {
    p.Log(u"Whether boot.ini starts Safe Mode could not be read.", debug::Event_Normal,
          FileVar(file));
  }
  return result;
}

}  // namespace kes
