// App_Common privileges: switching one privilege of the program's own process token on or off.
// The procedure that enables a privilege owns it: only that procedure can disable it again, so
// two callers that need the same privilege (the restart code and the process queries) cannot
// take it away from each other. LUIDs are looked up once per run and kept in Ctx().privileges.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "framework/util/value.h"
#include "platform/platform.h"

namespace kes {

// `priv_type`: 0 is the restore and backup pair, 1-35 one privilege each (PrivilegeName).
inline constexpr std::int32_t kPrivType_RestoreAndBackup = 0;
inline constexpr std::int32_t kPrivType_Backup = 3;
inline constexpr std::int32_t kPrivType_Debug = 10;
inline constexpr std::int32_t kPrivType_Restore = 23;
inline constexpr std::int32_t kPrivType_Shutdown = 25;
inline constexpr std::int32_t kPrivType_Last = 35;

// The Windows name of the privilege of `priv_type` 1-35 ("SeShutdownPrivilege" for 25); "" for 0
// and for any value outside the table. Untraced.
std::u16string_view PrivilegeName(std::int32_t priv_type);

// Traced. Enables (`enable_privilege`) or disables the privilege(s) of `priv_type` in the process
// token. True only when the token was adjusted completely; the first caller that enables a
// privilege (identified by `calling_proc_id`, its tracing procedure ID) becomes its owner.
// False, with a log entry saying why, for a `priv_type` outside 0-35, a failed LUID lookup, a
// disable request from a procedure other than the owner (the privilege stays enabled), a failed
// adjustment, or a privilege the account does not hold (ERROR_NOT_ALL_ASSIGNED). Never throws;
// the token handle is always closed.
bool SetPrivilegeToken(const Value& calling_proc_id, std::int32_t priv_type, bool enable_privilege);

// Traced. Puts the LUID of the privilege `privilege_name` into `luid` (looked up on
// `system_name`, "" = this computer, unless looked up before in this run) and appends it to
// `privileges` as one more entry (attributes 0). True on success; false with a log entry when
// the lookup fails (nothing is appended, the name is not remembered) or the buffer already holds
// its 100 entries.
bool GetLUIDForPrivilege(std::u16string_view privilege_name, platform::LUID& luid,
                         platform::TOKEN_PRIVILEGES& privileges, std::u16string_view system_name);

}  // namespace kes
