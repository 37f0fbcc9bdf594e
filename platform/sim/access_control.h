// Who may do what to a registry key, a file or a folder of the simulated machine: its owner and
// its discretionary access-control list (DACL), checked against the program's token the way
// Windows checks a handle's rights when the object is opened.
//
// Vocabulary: a SID names an account or a group ("S-1-5-32-544" is BUILTIN\Administrators); an
// access-control entry (ACE) allows or denies an access mask to one SID; the DACL lists them in
// order, the object's own (explicit) entries first and those it inherited from its parent
// (INHERITED_ACE) after them. An object without security of its own has the default one of its
// place (DefaultSecurity): what a fresh Windows gives the machine's keys and folders.
//
// The machine keeps descriptors as SimSecurity; the security calls hand them to the program in
// Windows' binary forms (self-relative descriptors, ACLs, SIDs), converted here.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/machine.h"

namespace kes::sim {

// Well-known SIDs as text.
inline constexpr char kSidEveryone[] = "S-1-1-0";
inline constexpr char kSidCreatorOwner[] = "S-1-3-0";
inline constexpr char kSidAuthenticatedUsers[] = "S-1-5-11";
inline constexpr char kSidSystem[] = "S-1-5-18";
inline constexpr char kSidAdministrators[] = "S-1-5-32-544";
inline constexpr char kSidUsers[] = "S-1-5-32-545";
inline constexpr char kSidGuests[] = "S-1-5-32-546";
inline constexpr char kSidPowerUsers[] = "S-1-5-32-547";
inline constexpr char kSidTrustedInstaller[] =
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
// The machine's own accounts are "S-1-5-21-<this>-<RID>"; the signed-in "Admin" is RID 1001.
inline constexpr char kMachineDomainSid[] = "S-1-5-21-3623811015-3361044348-30300820";

// Full control of each kind of object, and what the built-in Users may do by default.
inline constexpr DWORD kFileAllAccess = 0x1F01FF;
inline constexpr DWORD kFileReadExecute = 0x1200A9;

enum class ObjectKind { kKey, kFile, kFolder };

struct SimAce {
  std::uint8_t type = platform::kACCESS_ALLOWED_ACE_TYPE;  // or kACCESS_DENIED_ACE_TYPE
  std::uint8_t flags = 0;                                  // kOBJECT_INHERIT_ACE, kINHERITED_ACE...
  DWORD mask = 0;
  std::string sid;
  bool Inherited() const { return (flags & platform::kINHERITED_ACE) != 0; }
  bool operator==(const SimAce&) const = default;
};

struct SimSecurity {
  std::string owner;
  std::vector<SimAce> dacl;
  bool null_dacl = false;       // no DACL at all: everyone may do everything
  bool dacl_protected = false;  // SE_DACL_PROTECTED: the parent's entries are not inherited
  bool dacl_auto_inherited = true;
  bool operator==(const SimSecurity&) const = default;
};

// ---- SIDs and accounts ------------------------------------------------------------------------

// The SID of an account or group name as LookupAccountNameW reads it ("Administrators",
// "BUILTIN\Users", "System", "Everyone", "Power Users", "TrustedInstaller", a local account,
// "KES-PC\Admin"; letter case ignored), with its domain and SID_NAME_USE; nullopt when no
// account has that name.
struct AccountSid {
  std::string sid;
  std::u16string domain;
  int use = 0;
};
std::optional<AccountSid> LookupAccount(const Machine& m, std::u16string_view name);
// The SID of a local account of the machine (whether or not it exists).
std::string LocalAccountSid(std::u16string_view account);
// Binary SID <-> text; an empty vector / text for something that is not a SID.
std::vector<std::uint8_t> SidBytes(std::string_view text);
std::string SidText(const std::uint8_t* sid, std::size_t available);

// ---- the program's token and the access check ------------------------------------------------

// The SIDs of the program's token: the user, Everyone, Authenticated Users, the local groups the
// user belongs to, SYSTEM for the system account. A filtered administrator holds Administrators
// only for deny entries (`deny_only`).
struct TokenSid {
  std::string sid;
  bool deny_only = false;
};
std::vector<TokenSid> TokenSids(const Machine& m);
// Who owns what the token creates: Administrators for an elevated administrator or the system,
// else the user.
std::string TokenOwner(const Machine& m);

// Generic rights (GENERIC_READ...) of `access` replaced by the object's own rights.
DWORD MapGenericRights(DWORD access, ObjectKind kind);
// Windows' access check of `desired` (generic rights mapped, MAXIMUM_ALLOWED: whatever is
// allowed) against `security` for the program's token: the owner may always read and change the
// DACL, SeTakeOwnershipPrivilege (enabled) allows taking ownership, then the entries are read in
// order until every right is allowed or one is denied. True with *granted; false when a right is
// refused (ERROR_ACCESS_DENIED).
bool AccessCheck(const Machine& m, const SimSecurity& security, ObjectKind kind, DWORD desired,
                 DWORD* granted = nullptr);

// ---- defaults and inheritance --------------------------------------------------------------

// What an object without security of its own has: owned by Administrators; SYSTEM and
// Administrators full control, Users read (and execute); in `personal_sid`'s own places (the
// HKEY_USERS hive of that SID, the profile folder of that account) that account full control as
// well. The entries are inherited ones, as Windows' defaults are.
SimSecurity DefaultSecurity(ObjectKind kind, std::string_view personal_sid = {});
// The security a new child of `parent` starts with: owned by `owner`, with the parent's entries
// that reach a child of its kind (CONTAINER_INHERIT_ACE for keys and folders, OBJECT_INHERIT_ACE
// for files), marked inherited; CREATOR OWNER becomes `owner`.
SimSecurity InheritedSecurity(const SimSecurity& parent, ObjectKind child, std::string owner);

// ---- binary forms --------------------------------------------------------------------------

// The self-relative descriptor of the parts `info` names (OWNER, GROUP, DACL).
std::vector<std::uint8_t> SelfRelativeDescriptor(const SimSecurity& security, DWORD info);
// The binary ACL of a DACL.
std::vector<std::uint8_t> AclBytes(const std::vector<SimAce>& dacl);
// Reads a descriptor the program built (absolute, or self-relative) into `out`'s owner (with
// OWNER in `info`) and DACL (with DACL); false when it is not a valid descriptor or ACL.
bool ReadDescriptor(const void* descriptor, DWORD info, SimSecurity& out);
// Reads a binary ACL; false when it is broken.
bool ReadAcl(const std::uint8_t* acl, std::vector<SimAce>& out);

// ---- changes the program asks for ------------------------------------------------------------

// The rights a change of the parts `info` names needs on the object: WRITE_DAC for the DACL,
// WRITE_OWNER for the owner.
DWORD RightsToChange(DWORD info);
// Puts the parts `info` names of the program's `descriptor` into `security`: 0, 1338 for a
// broken descriptor, 1307 for an owner the token may not give (only one of its own SIDs, or any
// with SeRestorePrivilege enabled).
DWORD ApplyDescriptor(const Machine& m, const void* descriptor, DWORD info, SimSecurity& security);
// What a new object made with the program's `descriptor` below `parent` gets: the descriptor's
// owner (else the token's) and DACL entries, then what the parent passes on unless that DACL is
// protected. 0, 1338 or 1307 as ApplyDescriptor.
DWORD NewObjectSecurity(const Machine& m, const void* descriptor, const SimSecurity& parent,
                        ObjectKind kind, SimSecurity& out);

}  // namespace kes::sim
