#include "platform/sim/access_control.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "platform/base/u16.h"
#include "platform/sim/accounts.h"

namespace kes::sim {
namespace {

using namespace platform;  // NOLINT: Win32 names read best unqualified here

constexpr DWORD kMAXIMUM_ALLOWED = 0x02000000u;
constexpr DWORD kREAD_CONTROL = 0x20000;
constexpr DWORD kWRITE_DAC = 0x40000;
constexpr DWORD kWRITE_OWNER = 0x80000;

// SID_NAME_USE values.
constexpr int kSidTypeUser = 1;
constexpr int kSidTypeAlias = 4;
constexpr int kSidTypeWellKnownGroup = 5;

struct WellKnown {
  const char16_t* name;
  const char* sid;
  const char16_t* domain;
  int use;
};
constexpr WellKnown kWellKnown[] = {
    {u"Everyone", kSidEveryone, u"", kSidTypeWellKnownGroup},
    {u"CREATOR OWNER", kSidCreatorOwner, u"", kSidTypeWellKnownGroup},
    {u"SYSTEM", kSidSystem, u"NT AUTHORITY", kSidTypeWellKnownGroup},
    {u"Authenticated Users", kSidAuthenticatedUsers, u"NT AUTHORITY", kSidTypeWellKnownGroup},
    {u"Administrators", kSidAdministrators, u"BUILTIN", kSidTypeAlias},
    {u"Users", kSidUsers, u"BUILTIN", kSidTypeAlias},
    {u"Guests", kSidGuests, u"BUILTIN", kSidTypeAlias},
    {u"Power Users", kSidPowerUsers, u"BUILTIN", kSidTypeAlias},
    {u"TrustedInstaller", kSidTrustedInstaller, u"NT SERVICE", kSidTypeWellKnownGroup},
};

void Put16(std::vector<std::uint8_t>& out, std::size_t at, WORD v) {
  out[at] = static_cast<std::uint8_t>(v);
  out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::vector<std::uint8_t>& out, std::size_t at, DWORD v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
WORD Get16(const std::uint8_t* p) {
  return static_cast<WORD>(p[0] | (p[1] << 8));
}
DWORD Get32(const std::uint8_t* p) {
  DWORD v = 0;
  std::memcpy(&v, p, 4);  // little-endian, as every host we build on
  return v;
}

bool IsContainer(ObjectKind kind) {
  return kind != ObjectKind::kFile;
}
DWORD FullControl(ObjectKind kind) {
  return kind == ObjectKind::kKey ? DWORD{kKEY_ALL_ACCESS} : kFileAllAccess;
}

}  // namespace

// ---- SIDs and accounts --------------------------------------------------------------------------

std::string LocalAccountSid(std::u16string_view account) {
  const std::u16string name = LowerCase(Trim(account));
  DWORD rid = 0;
  if (name == u"administrator") {
    rid = 500;
  } else if (name == u"guest") {
    rid = 501;
  } else if (name == u"defaultaccount") {
    rid = 503;
  } else if (name == u"admin") {
    rid = 1001;  // the signed-in user of the default machine, whose hive HKCU shows
  } else {
    // Any other account: a number of its own that stays the same for the same name.
    DWORD hash = 2166136261u;
    for (char16_t c : name) hash = (hash ^ c) * 16777619u;
    rid = 1002 + hash % 90000;
  }
  return std::string(kMachineDomainSid) + "-" + std::to_string(rid);
}

std::optional<AccountSid> LookupAccount(const Machine& m, std::u16string_view full_name) {
  std::u16string name = Trim(full_name);
  std::u16string domain;
  if (const std::size_t slash = name.find(u'\\'); slash != std::u16string::npos) {
    domain = name.substr(0, slash);
    name = name.substr(slash + 1);
  }
  if (name.empty()) return std::nullopt;
  for (const WellKnown& w : kWellKnown) {
    if (!EqualsNoCase(name, w.name) || (!domain.empty() && !EqualsNoCase(domain, w.domain)))
      continue;
    return AccountSid{w.sid, w.domain, w.use};
  }
  if (!domain.empty() && !EqualsNoCase(domain, m.computer_name)) return std::nullopt;
  if (!FindAccount(m, name)) return std::nullopt;
  return AccountSid{LocalAccountSid(name), m.computer_name, kSidTypeUser};
}

std::vector<std::uint8_t> SidBytes(std::string_view text) {
  if (!text.starts_with("S-1-")) return {};
  std::vector<std::uint64_t> numbers;
  for (std::size_t at = 4; at <= text.size();) {
    const std::size_t end = std::min(text.find('-', at), text.size());
    std::uint64_t n = 0;
    const auto [ptr, ec] = std::from_chars(text.data() + at, text.data() + end, n);
    if (ec != std::errc() || ptr != text.data() + end) return {};
    numbers.push_back(n);
    at = end + 1;
  }
  if (numbers.empty() || numbers.size() > 16) return {};
  std::vector<std::uint8_t> out(8 + 4 * (numbers.size() - 1), 0);
  out[0] = 1;
  out[1] = static_cast<std::uint8_t>(numbers.size() - 1);
  for (int i = 0; i < 6; ++i) out[2 + i] = static_cast<std::uint8_t>(numbers[0] >> (8 * (5 - i)));
  for (std::size_t i = 1; i < numbers.size(); ++i)
    Put32(out, 8 + 4 * (i - 1), static_cast<DWORD>(numbers[i]));
  return out;
}

std::string SidText(const std::uint8_t* sid, std::size_t available) {
  if (!sid || available < 8 || sid[0] != 1 || sid[1] > 15) return {};
  if (available < 8u + 4u * sid[1]) return {};
  std::uint64_t authority = 0;
  for (int i = 0; i < 6; ++i) authority = (authority << 8) | sid[2 + i];
  std::string out = "S-1-" + std::to_string(authority);
  for (int i = 0; i < sid[1]; ++i) out += "-" + std::to_string(Get32(sid + 8 + 4 * i));
  return out;
}

// ---- the token and the access check
// --------------------------------------------------------------

std::vector<TokenSid> TokenSids(const Machine& m) {
  std::vector<TokenSid> out;
  if (m.token.local_system) {
    for (const char* sid : {kSidSystem, kSidAdministrators, kSidEveryone, kSidAuthenticatedUsers})
      out.push_back({sid});
    return out;
  }
  out.push_back({LocalAccountSid(m.user_name)});
  for (const char* sid : {kSidEveryone, kSidAuthenticatedUsers, kSidUsers}) out.push_back({sid});
  for (const auto& [key, group] : m.local_groups) {
    if (!IsGroupMember(m, group.name, m.user_name)) continue;
    const std::optional<AccountSid> known = LookupAccount(m, u"BUILTIN\\" + group.name);
    if (!known || known->sid == kSidUsers) continue;
    // UAC's filtered token keeps Administrators only to be denied by it.
    const bool deny_only = known->sid == kSidAdministrators && !TokenHasAdministrators(m);
    out.push_back({known->sid, deny_only});
  }
  return out;
}

std::string TokenOwner(const Machine& m) {
  return TokenHasAdministrators(m) ? std::string(kSidAdministrators) : LocalAccountSid(m.user_name);
}

DWORD MapGenericRights(DWORD access, ObjectKind kind) {
  const bool key = kind == ObjectKind::kKey;
  DWORD out = access & ~(kGENERIC_READ | kGENERIC_WRITE | kGENERIC_EXECUTE | kGENERIC_ALL);
  if (access & kGENERIC_READ) out |= key ? DWORD{kKEY_READ} : 0x120089u;
  if (access & kGENERIC_WRITE) out |= key ? DWORD{kKEY_WRITE} : 0x120116u;
  if (access & kGENERIC_EXECUTE) out |= key ? DWORD{kKEY_READ} : 0x1200A0u;
  if (access & kGENERIC_ALL) out |= FullControl(kind);
  return out;
}

bool AccessCheck(const Machine& m, const SimSecurity& security, ObjectKind kind, DWORD desired,
                 DWORD* granted) {
  const bool maximum = (desired & kMAXIMUM_ALLOWED) != 0;
  DWORD wanted = MapGenericRights(desired & ~kMAXIMUM_ALLOWED, kind);
  if (maximum) wanted |= FullControl(kind);
  const std::vector<TokenSid> sids = TokenSids(m);
  const auto holds = [&](const std::string& sid, bool for_deny) {
    return std::any_of(sids.begin(), sids.end(), [&](const TokenSid& t) {
      return t.sid == sid && (for_deny || !t.deny_only);
    });
  };
  DWORD allowed = 0;
  DWORD denied = 0;
  if (holds(security.owner, false)) allowed |= kREAD_CONTROL | kWRITE_DAC;
  const auto take_ownership = m.token.privileges.find(u"SeTakeOwnershipPrivilege");
  if (take_ownership != m.token.privileges.end() && take_ownership->second) allowed |= kWRITE_OWNER;
  if (security.null_dacl) allowed |= wanted;
  for (const SimAce& ace : security.dacl) {
    if ((wanted & ~allowed) == 0) break;  // everything asked for is allowed: later denials miss
    if (ace.flags & kINHERIT_ONLY_ACE) continue;
    const DWORD mask = MapGenericRights(ace.mask, kind) & ~allowed;
    if (ace.type == kACCESS_DENIED_ACE_TYPE && holds(ace.sid, true)) {
      if (!maximum && (mask & wanted)) return false;
      denied |= mask;
    } else if (ace.type == kACCESS_ALLOWED_ACE_TYPE && holds(ace.sid, false)) {
      allowed |= mask & ~denied;
    }
  }
  const DWORD result = allowed & wanted;
  if (maximum ? result == 0 : (wanted & ~allowed) != 0) return false;
  if (granted) *granted = result;
  return true;
}

// ---- defaults and inheritance -------------------------------------------------------------------

SimSecurity DefaultSecurity(ObjectKind kind, std::string_view personal_sid) {
  const std::uint8_t reach = kind == ObjectKind::kKey ? kCONTAINER_INHERIT_ACE
                             : kind == ObjectKind::kFolder
                                 ? kCONTAINER_INHERIT_ACE | kOBJECT_INHERIT_ACE
                                 : 0;
  const std::uint8_t flags = static_cast<std::uint8_t>(reach | kINHERITED_ACE);
  SimSecurity s;
  s.owner = personal_sid.empty() ? kSidAdministrators : std::string(personal_sid);
  s.dacl.push_back({kACCESS_ALLOWED_ACE_TYPE, flags, FullControl(kind), kSidSystem});
  s.dacl.push_back({kACCESS_ALLOWED_ACE_TYPE, flags, FullControl(kind), kSidAdministrators});
  if (!personal_sid.empty())
    s.dacl.push_back(
        {kACCESS_ALLOWED_ACE_TYPE, flags, FullControl(kind), std::string(personal_sid)});
  s.dacl.push_back({kACCESS_ALLOWED_ACE_TYPE, flags,
                    kind == ObjectKind::kKey ? DWORD{kKEY_READ} : kFileReadExecute, kSidUsers});
  return s;
}

SimSecurity InheritedSecurity(const SimSecurity& parent, ObjectKind child, std::string owner) {
  SimSecurity s;
  s.owner = std::move(owner);
  for (const SimAce& ace : parent.dacl) {
    const bool ci = ace.flags & kCONTAINER_INHERIT_ACE;
    const bool oi = ace.flags & kOBJECT_INHERIT_ACE;
    const bool stop = ace.flags & kNO_PROPAGATE_INHERIT_ACE;
    std::uint8_t flags = 0;
    if (!IsContainer(child)) {
      if (!oi) continue;
    } else if (ci) {
      if (!stop) flags = ace.flags & (kCONTAINER_INHERIT_ACE | kOBJECT_INHERIT_ACE);
    } else if (oi && !stop && child == ObjectKind::kFolder) {
      flags = kOBJECT_INHERIT_ACE | kINHERIT_ONLY_ACE;  // passed on to the files below
    } else {
      continue;
    }
    SimAce copy = ace;
    copy.flags = static_cast<std::uint8_t>(flags | kINHERITED_ACE);
    if (copy.sid == kSidCreatorOwner) copy.sid = s.owner;
    s.dacl.push_back(std::move(copy));
  }
  return s;
}

// ---- binary forms ------------------------------------------------------------------------------

std::vector<std::uint8_t> AclBytes(const std::vector<SimAce>& dacl) {
  std::vector<std::uint8_t> out(8, 0);
  for (const SimAce& ace : dacl) {
    const std::vector<std::uint8_t> sid = SidBytes(ace.sid);
    const std::size_t at = out.size();
    out.resize(at + 8 + sid.size());
    out[at] = ace.type;
    out[at + 1] = ace.flags;
    Put16(out, at + 2, static_cast<WORD>(8 + sid.size()));
    Put32(out, at + 4, ace.mask);
    std::copy(sid.begin(), sid.end(), out.begin() + static_cast<std::ptrdiff_t>(at + 8));
  }
  out[0] = kACL_REVISION;
  Put16(out, 2, static_cast<WORD>(out.size()));
  Put16(out, 4, static_cast<WORD>(dacl.size()));
  return out;
}

std::vector<std::uint8_t> SelfRelativeDescriptor(const SimSecurity& security, DWORD info) {
  std::vector<std::uint8_t> out(20, 0);
  out[0] = kSECURITY_DESCRIPTOR_REVISION;
  WORD control = kSE_SELF_RELATIVE;
  const auto append = [&](const std::vector<std::uint8_t>& part, std::size_t offset_at) {
    Put32(out, offset_at, static_cast<DWORD>(out.size()));
    out.insert(out.end(), part.begin(), part.end());
  };
  if (info & kOWNER_SECURITY_INFORMATION) append(SidBytes(security.owner), 4);
  if (info & kGROUP_SECURITY_INFORMATION) append(SidBytes(kSidSystem), 8);
  if (info & kDACL_SECURITY_INFORMATION) {
    control |= kSE_DACL_PRESENT;
    if (security.dacl_auto_inherited) control |= kSE_DACL_AUTO_INHERITED;
    if (security.dacl_protected) control |= kSE_DACL_PROTECTED;
    if (!security.null_dacl) append(AclBytes(security.dacl), 16);
  }
  Put16(out, 2, control);
  return out;
}

bool ReadAcl(const std::uint8_t* acl, std::vector<SimAce>& out) {
  if (!acl || (acl[0] != 2 && acl[0] != 4)) return false;
  const WORD size = Get16(acl + 2);
  const WORD count = Get16(acl + 4);
  out.clear();
  std::size_t at = 8;
  for (WORD i = 0; i < count; ++i) {
    if (at + 8 > size) return false;
    const WORD ace_size = Get16(acl + at + 2);
    if (ace_size < 8 || at + ace_size > size) return false;
    SimAce ace{acl[at], acl[at + 1], Get32(acl + at + 4),
               SidText(acl + at + 8, static_cast<std::size_t>(ace_size - 8))};
    if (ace.sid.empty()) return false;
    out.push_back(std::move(ace));
    at += ace_size;
  }
  return true;
}

bool ReadDescriptor(const void* descriptor, DWORD info, SimSecurity& out) {
  const auto* bytes = static_cast<const std::uint8_t*>(descriptor);
  if (!bytes || bytes[0] != kSECURITY_DESCRIPTOR_REVISION) return false;
  const WORD control = Get16(bytes + 2);
  const std::uint8_t* owner = nullptr;
  const std::uint8_t* dacl = nullptr;
  if (control & kSE_SELF_RELATIVE) {
    if (const DWORD o = Get32(bytes + 4)) owner = bytes + o;
    if (const DWORD d = Get32(bytes + 16)) dacl = bytes + d;
  } else {
    const auto* sd = static_cast<const SECURITY_DESCRIPTOR*>(descriptor);
    owner = static_cast<const std::uint8_t*>(sd->Owner);
    dacl = static_cast<const std::uint8_t*>(sd->Dacl);
  }
  if (info & kOWNER_SECURITY_INFORMATION) {
    out.owner = SidText(owner, 8 + 4 * 15);
    if (out.owner.empty()) return false;
  }
  if (info & kDACL_SECURITY_INFORMATION) {
    out.null_dacl = !(control & kSE_DACL_PRESENT) || !dacl;
    out.dacl.clear();
    if (!out.null_dacl && !ReadAcl(dacl, out.dacl)) return false;
    out.dacl_protected = (control & kSE_DACL_PROTECTED) != 0;
    out.dacl_auto_inherited = (control & kSE_DACL_AUTO_INHERITED) != 0;
  }
  return true;
}

// ---- changes the program asks for
// ----------------------------------------------------------------

DWORD RightsToChange(DWORD info) {
  return ((info & kDACL_SECURITY_INFORMATION) ? kWRITE_DAC : 0) |
         ((info & kOWNER_SECURITY_INFORMATION) ? kWRITE_OWNER : 0);
}

DWORD ApplyDescriptor(const Machine& m, const void* descriptor, DWORD info, SimSecurity& security) {
  SimSecurity changed = security;
  if (!ReadDescriptor(descriptor, info, changed)) return kERROR_INVALID_SECURITY_DESCR;
  if (info & kOWNER_SECURITY_INFORMATION) {
    const auto restore = m.token.privileges.find(u"SeRestorePrivilege");
    const bool restoring = restore != m.token.privileges.end() && restore->second;
    const std::vector<TokenSid> sids = TokenSids(m);
    const bool own = std::any_of(sids.begin(), sids.end(), [&](const TokenSid& t) {
      return t.sid == changed.owner && !t.deny_only;
    });
    if (!restoring && !own) return kERROR_INVALID_OWNER;
  }
  security = std::move(changed);
  return 0;
}

DWORD NewObjectSecurity(const Machine& m, const void* descriptor, const SimSecurity& parent,
                        ObjectKind kind, SimSecurity& out) {
  out = InheritedSecurity(parent, kind, TokenOwner(m));
  if (!descriptor) return 0;
  const auto* bytes = static_cast<const std::uint8_t*>(descriptor);
  if (bytes[0] != kSECURITY_DESCRIPTOR_REVISION) return kERROR_INVALID_SECURITY_DESCR;
  SimSecurity given = out;
  const WORD control = Get16(bytes + 2);
  const bool has_owner =
      (control & kSE_SELF_RELATIVE)
          ? Get32(bytes + 4) != 0
          : static_cast<const SECURITY_DESCRIPTOR*>(descriptor)->Owner != nullptr;
  const DWORD info = (has_owner ? DWORD{kOWNER_SECURITY_INFORMATION} : 0) |
                     ((control & kSE_DACL_PRESENT) ? DWORD{kDACL_SECURITY_INFORMATION} : 0);
  if (DWORD e = ApplyDescriptor(m, descriptor, info, given)) return e;
  if (info & kDACL_SECURITY_INFORMATION) {
    // The creator's entries are the object's own; the parent's follow them unless protected.
    std::vector<SimAce> inherited = InheritedSecurity(parent, kind, given.owner).dacl;
    for (SimAce& ace : given.dacl) ace.flags &= static_cast<std::uint8_t>(~kINHERITED_ACE);
    if (!given.dacl_protected && !given.null_dacl)
      given.dacl.insert(given.dacl.end(), inherited.begin(), inherited.end());
  }
  out = std::move(given);
  return 0;
}

}  // namespace kes::sim
