// Registry keys and values (advapi32). Every call returns its Win32 status (0 = success) and,
// as in Windows, leaves the thread's last error alone: callers that log a failure hand the status
// to the log themselves. Roots are the predefined handles of types.h; a 32-bit process on 64-bit
// Windows sees HKLM\SOFTWARE through WOW6432Node unless KEY_WOW64_64KEY is in `sam`, and
// KEY_WOW64_32KEY asks a 64-bit process for that 32-bit view.
#pragma once

#include "platform/types.h"

namespace kes::platform {

class RegistryApi {
 public:
  virtual ~RegistryApi() = default;

  // Opens `sub_key` below `key` (a root or an open key; null or "" opens `key` itself again)
  // with the rights in `sam`; *result receives a handle to close with RegCloseKey. Fails with 2
  // for a missing key, 5 when the key refuses the rights, 6 for an unknown `key`, 161 for a path
  // that begins with a backslash, 87 when both view flags are given. `options` takes
  // REG_OPTION_OPEN_LINK (links are not followed then).
  virtual LONG RegOpenKeyExW(HKEY key, const char16_t* sub_key, DWORD options, DWORD sam,
                             HKEY* result) = 0;

  // Opens `sub_key`, creating it and every missing key on the way; *disposition (may be null)
  // receives REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY. The new keys get default security;
  // `class_name` may be null. Fails as RegOpenKeyExW, and with 5 when a parent refuses new
  // sub-keys.
  virtual LONG RegCreateKeyExW(HKEY key, const char16_t* sub_key, const char16_t* class_name,
                               DWORD options, DWORD sam, HKEY* result, DWORD* disposition) = 0;

  // Reads value `name` (null or "" = the default value). *type (may be null) receives its type.
  // With `data` null only *size is set to the value's byte count. With `data` the bytes are
  // copied when *size is large enough, *size becoming the byte count; otherwise 234 and *size
  // is the byte count needed. Texts come back exactly as stored: a terminating NUL is only
  // there when the writer stored one. Fails with 2 for a missing value, 5 without
  // KEY_QUERY_VALUE on the handle, 87 for `data` without `size`.
  virtual LONG RegQueryValueExW(HKEY key, const char16_t* name, DWORD* type, void* data,
                                DWORD* size) = 0;

  // Stores `size` bytes of `data` as value `name` of `type`, replacing a value of that name.
  // Text types are stored as given: the caller includes the terminating NUL in `size`.
  // Fails with 5 without KEY_SET_VALUE on the handle or when the key refuses changes.
  virtual LONG RegSetValueExW(HKEY key, const char16_t* name, DWORD type, const void* data,
                              DWORD size) = 0;

  // Removes value `name`; 2 when there is none, 5 as RegSetValueExW.
  virtual LONG RegDeleteValueW(HKEY key, const char16_t* name) = 0;

  // Removes `sub_key` of `key` in the view chosen by `sam`. The key must have no sub-keys
  // (else 5); 2 when it does not exist.
  virtual LONG RegDeleteKeyExW(HKEY key, const char16_t* sub_key, DWORD sam) = 0;

  // Names the sub-key at `index` (in Windows' order: alphabetical, case ignored). `*name_len`
  // is the buffer's room in characters including the NUL and receives the name's length without
  // it; 234 when the name does not fit, 259 past the last sub-key, 5 without
  // KEY_ENUMERATE_SUB_KEYS on the handle.
  virtual LONG RegEnumKeyExW(HKEY key, DWORD index, char16_t* name, DWORD* name_len) = 0;

  // Names the value at `index` (in the order the values were created), with the name sized as
  // RegEnumKeyExW and type and data as RegQueryValueExW (`type`, `data`, `size` may be null);
  // 259 past the last value.
  virtual LONG RegEnumValueW(HKEY key, DWORD index, char16_t* name, DWORD* name_len, DWORD* type,
                             void* data, DWORD* size) = 0;

  // Closes a handle from RegOpenKeyExW/RegCreateKeyExW (a root is accepted and left open);
  // 6 for an unknown handle.
  virtual LONG RegCloseKey(HKEY key) = 0;

  // The parts `info` names (OWNER 1, GROUP 2, DACL 4) of the key's security descriptor, in
  // self-relative form, into `descriptor` of *size bytes. With no buffer or too small a one 122
  // and *size the bytes needed; 5 without READ_CONTROL on the handle, 6 for an unknown handle.
  virtual LONG RegGetKeySecurity(HKEY key, DWORD info, void* descriptor, DWORD* size) = 0;
  // Replaces the parts `info` names by those of `descriptor` (absolute or self-relative). 5
  // without WRITE_DAC (DACL) or WRITE_OWNER (owner) on the handle, 1338 for a descriptor that is
  // not one, 1307 for an owner the caller may not give. The sub-keys keep what they have.
  virtual LONG RegSetKeySecurity(HKEY key, DWORD info, const void* descriptor) = 0;
};

}  // namespace kes::platform
