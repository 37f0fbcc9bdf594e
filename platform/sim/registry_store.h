// The simulated registry: two hives (HKEY_LOCAL_MACHINE and HKEY_USERS) of keys whose names
// compare without case but keep the case they were created with, and typed values kept as raw
// bytes. The other roots are windows onto them, as on Windows: HKCU is the current user's hive
// under HKU, HKCR is HKLM\SOFTWARE\Classes, HKCC is the current hardware profile. The 32-bit
// view of HKLM\SOFTWARE lives under HKLM\SOFTWARE\WOW6432Node (Classes is shared by both views).
//
// The setup helpers below address keys as they are stored (no view applied, no call counted,
// no fault injected); the registry interface of the machine (registry_calls.cpp) adds the views,
// access rights and status codes on top.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace kes::sim {

class Machine;
struct SimSecurity;  // access_control.h

struct RegValue {
  std::u16string name;  // as first written; "" is the default value
  platform::DWORD type = 0;
  std::vector<std::uint8_t> data;
};

struct RegKey {
  std::u16string name;  // as created
  // Sub-keys by upper-cased name, which is also the order Windows enumerates them in.
  std::map<std::u16string, std::unique_ptr<RegKey>> subkeys;
  std::vector<RegValue> values;  // in order of creation
  bool deny_changes = false;     // values, sub-keys and the key itself refuse changes (5)
  bool deny_write_open = false;  // opening with any write right is refused (5)
  // Owner and DACL set on this key or inherited when it was made below one that had them; null:
  // the default security of its place (access_control.h).
  std::shared_ptr<SimSecurity> security;

  RegKey* FindSub(std::u16string_view sub) const;
  RegValue* FindValue(std::u16string_view value_name);
  const RegValue* FindValue(std::u16string_view value_name) const;
};

// Where a key lives: its hive and the key names below the hive's root.
struct RegPath {
  enum class Hive { kMachine, kUsers };
  Hive hive = Hive::kMachine;
  std::vector<std::u16string> parts;
};

class RegistryStore {
 public:
  // The SID whose hive HKEY_CURRENT_USER shows.
  static constexpr std::u16string_view kCurrentUserSid =
      u"S-1-5-21-3623811015-3361044348-30300820-1001";

  // A Windows 10 22H2 (build 19045) registry: version keys, RunOnce, Command Processor,
  // Winlogon and a SafeBoot branch with a few Minimal and Network entries, each SOFTWARE key
  // also in the 32-bit view; HKCU with Software\Microsoft\Windows\CurrentVersion\RunOnce.
  explicit RegistryStore(Machine& m);
  ~RegistryStore();
  RegistryStore(const RegistryStore&) = delete;
  RegistryStore& operator=(const RegistryStore&) = delete;

  Machine& machine() { return m_; }

  // ---- addressing (used by the machine's registry interface) --------------------------------
  // The place a predefined root stands for; nullopt for any other handle.
  static std::optional<RegPath> RootPath(platform::HKEY root);
  // Splits "A\B\C" into names. One trailing backslash is accepted; 161 (ERROR_BAD_PATHNAME)
  // for a leading backslash or an empty name between two backslashes; 0 otherwise.
  static platform::LONG SplitPath(std::u16string_view path, std::vector<std::u16string>& parts);
  // The stored place of `path` in the 32-bit view (`view32`) or the native one.
  static RegPath InView(RegPath path, bool view32);
  // The key stored at `path`, or null.
  RegKey* Find(const RegPath& path);
  // The key at `path`, created with its missing parents. Returns 0, or 5 when a parent that
  // would receive a new key refuses changes (nothing is created then); *created tells whether
  // the last key was new.
  platform::LONG Create(const RegPath& path, RegKey** key, bool* created);
  // Removes the key at `path` and everything below it. False when it does not exist or is a
  // hive root.
  bool DeleteTree(const RegPath& path);
  // The owner and DACL that hold for the key at `path` (its own, else the default of its place).
  SimSecurity Security(const RegPath& path);

  // ---- setup and inspection for tests and simulated tools (stored places, no views) ---------
  // `root` is a predefined root, `path` relative to it ("" = the root itself).
  void SetValue(platform::HKEY root, std::u16string_view path, std::u16string_view name,
                platform::DWORD type, std::vector<std::uint8_t> bytes);
  // A REG_SZ (or `type`) text stored with its terminating NUL, as Windows' own writers do.
  void SetString(platform::HKEY root, std::u16string_view path, std::u16string_view name,
                 std::u16string_view text, platform::DWORD type = platform::kREG_SZ);
  void SetDword(platform::HKEY root, std::u16string_view path, std::u16string_view name,
                platform::DWORD value);
  // The stored value, or nullopt when the key or value is absent.
  std::optional<RegValue> GetValue(platform::HKEY root, std::u16string_view path,
                                   std::u16string_view name) const;
  // A text value's characters up to its first NUL, or nullopt when absent or not a text type.
  std::optional<std::u16string> GetString(platform::HKEY root, std::u16string_view path,
                                          std::u16string_view name) const;
  // A REG_DWORD value, or nullopt when absent or of another type or size.
  std::optional<platform::DWORD> GetDword(platform::HKEY root, std::u16string_view path,
                                          std::u16string_view name) const;
  bool KeyExists(platform::HKEY root, std::u16string_view path) const;
  // Creates the key and its parents; false for a bad path.
  bool CreateKey(platform::HKEY root, std::u16string_view path);
  // Removes the value; false when it was not there.
  bool DeleteValue(platform::HKEY root, std::u16string_view path, std::u16string_view name);
  // Removes the key with everything below it; false when it was not there.
  bool DeleteKey(platform::HKEY root, std::u16string_view path);
  // Names of the sub-keys / values of a key, in enumeration order (empty when absent).
  std::vector<std::u16string> SubKeyNames(platform::HKEY root, std::u16string_view path) const;
  std::vector<std::u16string> ValueNames(platform::HKEY root, std::u16string_view path) const;

  // The key (created when absent) refuses changes: setting or deleting its values, creating
  // sub-keys and deleting it fail with 5, while opening it still succeeds - like a key whose
  // values are guarded by someone else.
  void DenyAccess(platform::HKEY root, std::u16string_view path);
  // The key (created when absent) refuses to be opened with any write right (5), as a key
  // whose ACL grants the caller only reading.
  void DenyWriteOpen(platform::HKEY root, std::u16string_view path);
  // Lifts both denials.
  void AllowAccess(platform::HKEY root, std::u16string_view path);
  // Gives the key (created when absent) this owner and DACL; its sub-keys keep theirs, as
  // RegSetKeySecurity leaves them. Keys made below it later inherit from it.
  void SetSecurity(platform::HKEY root, std::u16string_view path, const SimSecurity& security);
  // The owner and DACL that hold for the key; nullopt when it does not exist.
  std::optional<SimSecurity> GetSecurity(platform::HKEY root, std::u16string_view path);

 private:
  RegKey* Hive(RegPath::Hive hive) const;
  std::optional<RegPath> Resolve(platform::HKEY root, std::u16string_view path) const;
  RegKey* FindAt(platform::HKEY root, std::u16string_view path) const;
  RegKey* CreateAt(platform::HKEY root, std::u16string_view path);
  void AddDefaults();

  Machine& m_;
  std::unique_ptr<RegKey> machine_;
  std::unique_ptr<RegKey> users_;
};

}  // namespace kes::sim
