#include "framework/env/winpe.h"

#include <string>
#include <string_view>

#include "framework/debug/proc.h"
#include "framework/fs/files.h"
#include "framework/fs/folders.h"
#include "framework/registry/access.h"
#include "framework/util/value.h"
#include "platform/base/u16.h"

namespace kes {

bool EarlyWinPECheck() {
  debug::Proc p(u"App_Common", u"EarlyWinPECheck", debug::Kind::Function);
  constexpr std::u16string_view kCurrentVersion =
      u"Software\\Microsoft\\Windows NT\\CurrentVersion";
  bool result = false;

  // WinPE boots from read-only media and keeps its own writable RAM drive as X:.
  p.Step(
      [&] {
        if (!HasWriteAccess(GetMyPath()) && HasWriteAccess(u"X:\\")) {
          result = true;
          p.Log(u"Write Access on X:\\");
        }
      },
      u"X: drive");

  p.Step(
      [&] {
        if (RegKeyExist(platform::kHKEY_LOCAL_MACHINE,
                        std::u16string(kCurrentVersion) + u"\\WinPE")) {
          result = true;
          p.Log(u"WinPE Registry Key Found");
        }
      },
      u"WinPE key");

  p.Step(
      [&] {
        Value owner;
        RegReadValue(platform::kHKEY_LOCAL_MACHINE, kCurrentVersion, u"RegisteredOwner",
                     platform::kREG_SZ, Value(std::u16string()), owner);
        const auto* text = owner.get_if<std::u16string>();
        if (text && FindNoCase(*text, u"Osrin") != std::u16string::npos) {
          result = true;
          p.Log(u"WinPE Detected (Registered Name contains 'Osrin')", debug::Event_Normal,
                u"sRegisteredOwner=" + *text);
        }
      },
      u"registered owner");

  p.Result(result);
  return result;
}

}  // namespace kes
