// App_Registry: the framework's one gateway to the registry. Each operation opens its key, does
// one thing and closes the key again. It hides the 64-bit view (the program is a 32-bit process
// that must reach the native SOFTWARE branch on 64-bit Windows), turns status codes into log text
// and makes one take-ownership attempt when a value refuses to be deleted. Nothing here throws:
// every failure is logged and reported through the result.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "framework/util/value.h"
#include "platform/types.h"

namespace kes {

// Lower-case name of a predefined root: "hklm" (short) or "hkey_local_machine"; "" for any
// other handle. Untraced.
std::u16string GetHKEYName(platform::HKEY RootHKEY, bool bShortName);

// Log text for a registry status code ("API Success!", "访问被拒绝." ...); "未知的返回值." for
// a code outside the table. Untraced.
std::u16string GetRegAPIReturnMsg(std::int32_t lStatus);

// Decides the view of `sRegKey`: on 64-bit Windows (or before the environment object exists) a
// SOFTWARE path under HKLM, or a SOFTWARE\Classes path under HKCU/HKU, gets KEY_WOW64_64KEY added
// to `lDesiredSAM` (result true). A path that names WOW6432Node instead loses every
// "WOW6432Node\" (`bRemovedWOW6432Node` true, result false), unless it also contains "guest_"
// (an offline hive: untouched). On 32-bit Windows, for other roots and other paths, and for an
// empty path (logged), nothing changes and the result is false. `bIsGuestSession` is only logged.
bool AddRegFlagWOW64(platform::HKEY RootHKEY, std::u16string& sRegKey, std::int32_t& lDesiredSAM,
                     bool& bRemovedWOW6432Node, bool bIsGuestSession = false);

// True when the key opens for KEY_QUERY_VALUE (in the view AddRegFlagWOW64 picks). False when it
// does not; the log tells "does not exist" (statuses 2, 3) from "may or may not exist".
bool RegKeyExist(platform::HKEY RootHKEY, std::u16string_view sRegKey, bool bOpenLink = false);

// Reads value `sValueName` of `sRegKey` as `lType` (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ,
// REG_DWORD) into `vResult`: a text cut at its first NUL and trimmed of blanks (EXPAND_SZ
// unexpanded; MULTI_SZ as its entries joined by single NULs) or a 32-bit integer. True on
// success. On any failure (missing key or value, other types) the result is false and `vResult`
// holds `vDefault`. A trailing backslash on `sRegKey` is ignored.
bool RegReadValue(platform::HKEY RootHKEY, std::u16string_view sRegKey,
                  std::u16string_view sValueName, std::int32_t lType, const Value& vDefault,
                  Value& vResult);

// Stores `vRegData` as value `sValueName` of `sRegKey`, creating the key and its parents when
// absent: REG_SZ/REG_EXPAND_SZ as text with its terminating NUL, REG_DWORD as a 32-bit integer,
// REG_MULTI_SZ appended as a new entry to the list already there. True when stored. False, with
// a log entry and nothing stored, for REG_BINARY (refused), other types, data that does not
// convert, or a refused create/set.
bool RegWriteValue(platform::HKEY RootHKEY, std::u16string_view sRegKey,
                   std::u16string_view sValueName, std::int32_t lType, const Value& vRegData);

// Removes value `sValueName` of `sRegKey`. True when it is gone afterwards: deleted, or absent
// from the start (then `bValueNotFound` is true). A refused delete leads to one attempt at taking
// ownership of the key and exactly one retry. `lRetAPI` receives the final status (0 on
// success); false when the key does not open or the delete is still refused.
bool RegDeleteValue(platform::HKEY RootHKEY, std::u16string_view sRegKey,
                    std::u16string_view sValueName, bool& bValueNotFound, std::int32_t& lRetAPI);
// The same, for callers that need only the result.
bool RegDeleteValue(platform::HKEY RootHKEY, std::u16string_view sRegKey,
                    std::u16string_view sValueName);

// Imports a registry file with the system's reg.exe (System32), waiting for it when `bWait`.
// The tool's exit code is not examined; nothing is reported.
void RegImport(std::u16string_view sFile, bool bWait);

}  // namespace kes
