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
std::u16string GetHKEYName(platform::HKEY root, bool short_name);

// Log text for a registry status code ("API Success!", "访问被拒绝." ...); "未知的返回值." for
// a code outside the table. Untraced.
std::u16string GetRegAPIReturnMsg(std::int32_t status);

// Decides the view of `reg_key`: on 64-bit Windows (or before the environment object exists) a
// SOFTWARE path under HKLM, or a SOFTWARE\Classes path under HKCU/HKU, gets KEY_WOW64_64KEY added
// to `desired_sam` (result true). A path that names WOW6432Node instead loses every
// "WOW6432Node\" (`removed_wow6432_node` true, result false), unless it also contains "guest_"
// (an offline hive: untouched). On 32-bit Windows, for other roots and other paths, and for an
// empty path (logged), nothing changes and the result is false. `is_guest_session` is only logged.
bool AddRegFlagWOW64(platform::HKEY root, std::u16string& reg_key, std::int32_t& desired_sam,
                     bool& removed_wow6432_node, bool is_guest_session = false);

// True when the key opens for KEY_QUERY_VALUE (in the view AddRegFlagWOW64 picks). False when it
// does not; the log tells "does not exist" (statuses 2, 3) from "may or may not exist".
bool RegKeyExist(platform::HKEY root, std::u16string_view reg_key, bool open_link = false);

// Reads value `value_name` of `reg_key` as `type` (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ,
// REG_DWORD) into `result`: a text cut at its first NUL and trimmed of blanks (EXPAND_SZ
// unexpanded; MULTI_SZ as its entries joined by single NULs) or a 32-bit integer. True on
// success. On any failure (missing key or value, other types) the result is false and
// `value_read` holds `default_value`. A trailing backslash on `reg_key` is ignored.
bool RegReadValue(platform::HKEY root, std::u16string_view reg_key, std::u16string_view value_name,
                  std::int32_t type, const Value& default_value, Value& value_read);

// Stores `reg_data` as value `value_name` of `reg_key`, creating the key and its parents when
// absent: REG_SZ/REG_EXPAND_SZ as text with its terminating NUL, REG_DWORD as a 32-bit integer,
// REG_MULTI_SZ appended as a new entry to the list already there. True when stored. False, with
// a log entry and nothing stored, for REG_BINARY (refused), other types, data that does not
// convert, or a refused create/set.
bool RegWriteValue(platform::HKEY root, std::u16string_view reg_key, std::u16string_view value_name,
                   std::int32_t type, const Value& reg_data);

// Removes value `value_name` of `reg_key`. True when it is gone afterwards: deleted, or absent
// from the start (then `value_not_found` is true). A refused delete leads to one attempt at taking
// ownership of the key and exactly one retry. `api_status` receives the final status (0 on
// success); false when the key does not open or the delete is still refused.
bool RegDeleteValue(platform::HKEY root, std::u16string_view reg_key,
                    std::u16string_view value_name, bool& value_not_found,
                    std::int32_t& api_status);
// The same, for callers that need only the result.
bool RegDeleteValue(platform::HKEY root, std::u16string_view reg_key,
                    std::u16string_view value_name);

// Traced. Imports a registry file with the system's reg.exe (System32), waiting for it when
// `wait_for_exit`. True when the tool started and, when waited for, ended with 0; false
// otherwise, with its exit code in the log.
bool RegImport(std::u16string_view file, bool wait_for_exit);

}  // namespace kes
