#include "platform/sim/registry_store.h"

#include <utility>

#include "platform/base/u16.h"
#include "platform/base/utf16le.h"
#include "platform/sim/access_control.h"

namespace kes::sim {
namespace {
using platform::DWORD;
using platform::HKEY;
using platform::LONG;

std::vector<std::uint8_t> DwordBytes(DWORD v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
          static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

// The sub-key `name`, made when missing: owned by `owner` and with what it inherits when its
// parent has security of its own.
RegKey* Child(RegKey& parent, std::u16string_view name, bool* created, std::string owner) {
  auto key = UpperCase(name);
  auto it = parent.subkeys.find(key);
  if (it != parent.subkeys.end()) {
    if (created) *created = false;
    return it->second.get();
  }
  auto node = std::make_unique<RegKey>();
  node->name = std::u16string(name);
  if (parent.security) {
    node->security = std::make_shared<SimSecurity>(
        InheritedSecurity(*parent.security, ObjectKind::kKey, std::move(owner)));
  }
  RegKey* raw = node.get();
  parent.subkeys.emplace(std::move(key), std::move(node));
  if (created) *created = true;
  return raw;
}

void Put(RegKey& key, std::u16string_view name, DWORD type, std::vector<std::uint8_t> bytes) {
  if (RegValue* v = key.FindValue(name)) {
    v->type = type;
    v->data = std::move(bytes);
    return;
  }
  key.values.push_back({std::u16string(name), type, std::move(bytes)});
}

}  // namespace

RegKey* RegKey::FindSub(std::u16string_view sub) const {
  auto it = subkeys.find(UpperCase(sub));
  return it == subkeys.end() ? nullptr : it->second.get();
}

RegValue* RegKey::FindValue(std::u16string_view value_name) {
  for (auto& v : values) {
    if (EqualsNoCase(v.name, value_name)) return &v;
  }
  return nullptr;
}

const RegValue* RegKey::FindValue(std::u16string_view value_name) const {
  return const_cast<RegKey*>(this)->FindValue(value_name);
}

RegistryStore::RegistryStore(Machine& m)
    : m_(m), machine_(std::make_unique<RegKey>()), users_(std::make_unique<RegKey>()) {
  machine_->name = u"HKEY_LOCAL_MACHINE";
  users_->name = u"HKEY_USERS";
  AddDefaults();
}

RegistryStore::~RegistryStore() = default;

std::optional<RegPath> RegistryStore::RootPath(HKEY root) {
  using H = RegPath::Hive;
  switch (root) {
    case platform::kHKEY_LOCAL_MACHINE:
      return RegPath{H::kMachine, {}};
    case platform::kHKEY_USERS:
      return RegPath{H::kUsers, {}};
    case platform::kHKEY_CURRENT_USER:
      return RegPath{H::kUsers, {std::u16string(kCurrentUserSid)}};
    case platform::kHKEY_CLASSES_ROOT:
      return RegPath{H::kMachine, {u"SOFTWARE", u"Classes"}};
    case platform::kHKEY_CURRENT_CONFIG:
      return RegPath{H::kMachine,
                     {u"SYSTEM", u"CurrentControlSet", u"Hardware Profiles", u"Current"}};
    default:
      return std::nullopt;
  }
}

LONG RegistryStore::SplitPath(std::u16string_view path, std::vector<std::u16string>& parts) {
  parts.clear();
  if (path.empty()) return 0;
  if (path.front() == u'\\') return platform::kERROR_BAD_PATHNAME;
  if (path.back() == u'\\') path.remove_suffix(1);
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = path.size();
    if (end == start) return platform::kERROR_BAD_PATHNAME;
    parts.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return 0;
}

RegPath RegistryStore::InView(RegPath path, bool view32) {
  // Only HKLM\SOFTWARE is split into two views here; its Classes sub-tree is shared, and a
  // path that already names WOW6432Node stays where it is.
  if (!view32 || path.hive != RegPath::Hive::kMachine || path.parts.empty()) return path;
  if (!EqualsNoCase(path.parts[0], u"SOFTWARE")) return path;
  if (path.parts.size() > 1 &&
      (EqualsNoCase(path.parts[1], u"WOW6432Node") || EqualsNoCase(path.parts[1], u"Classes"))) {
    return path;
  }
  path.parts.insert(path.parts.begin() + 1, u"WOW6432Node");
  return path;
}

RegKey* RegistryStore::Hive(RegPath::Hive hive) const {
  return hive == RegPath::Hive::kMachine ? machine_.get() : users_.get();
}

RegKey* RegistryStore::Find(const RegPath& path) {
  RegKey* key = Hive(path.hive);
  for (const auto& part : path.parts) {
    key = key->FindSub(part);
    if (!key) return nullptr;
  }
  return key;
}

LONG RegistryStore::Create(const RegPath& path, RegKey** key, bool* created) {
  // Check the whole way first so that a refusal leaves no half-made chain behind.
  RegKey* at = Hive(path.hive);
  std::size_t existing = 0;
  for (; existing < path.parts.size(); ++existing) {
    RegKey* next = at->FindSub(path.parts[existing]);
    if (!next) break;
    at = next;
  }
  if (existing < path.parts.size()) {
    RegPath parent = path;
    parent.parts.resize(existing);
    if (at->deny_changes ||
        !AccessCheck(m_, Security(parent), ObjectKind::kKey, platform::kKEY_CREATE_SUB_KEY)) {
      return platform::kERROR_ACCESS_DENIED;
    }
  }
  bool made = false;
  for (std::size_t i = existing; i < path.parts.size(); ++i)
    at = Child(*at, path.parts[i], &made, TokenOwner(m_));
  if (key) *key = at;
  if (created) *created = made;
  return 0;
}

bool RegistryStore::DeleteTree(const RegPath& path) {
  if (path.parts.empty()) return false;
  RegPath parent_path = path;
  parent_path.parts.pop_back();
  RegKey* parent = Find(parent_path);
  if (!parent) return false;
  return parent->subkeys.erase(UpperCase(path.parts.back())) != 0;
}

std::optional<RegPath> RegistryStore::Resolve(HKEY root, std::u16string_view path) const {
  auto base = RootPath(root);
  if (!base) return std::nullopt;
  std::vector<std::u16string> parts;
  if (SplitPath(path, parts) != 0) return std::nullopt;
  base->parts.insert(base->parts.end(), parts.begin(), parts.end());
  return base;
}

RegKey* RegistryStore::FindAt(HKEY root, std::u16string_view path) const {
  auto p = Resolve(root, path);
  return p ? const_cast<RegistryStore*>(this)->Find(*p) : nullptr;
}

RegKey* RegistryStore::CreateAt(HKEY root, std::u16string_view path) {
  auto p = Resolve(root, path);
  if (!p) return nullptr;
  RegKey* key = Hive(p->hive);
  for (const auto& part : p->parts) key = Child(*key, part, nullptr, kSidAdministrators);
  return key;
}

SimSecurity RegistryStore::Security(const RegPath& path) {
  if (const RegKey* key = Find(path); key && key->security) return *key->security;
  // A user's hive belongs to that user ("S-1-5-21-...", and its "..._Classes" twin).
  std::string personal;
  if (path.hive == RegPath::Hive::kUsers && !path.parts.empty() &&
      path.parts[0].starts_with(u"S-1-5-21-")) {
    personal = Utf8(path.parts[0].substr(0, path.parts[0].find(u'_')));
  }
  return DefaultSecurity(ObjectKind::kKey, personal);
}

void RegistryStore::SetSecurity(HKEY root, std::u16string_view path, const SimSecurity& security) {
  if (RegKey* key = CreateAt(root, path)) key->security = std::make_shared<SimSecurity>(security);
}

std::optional<SimSecurity> RegistryStore::GetSecurity(HKEY root, std::u16string_view path) {
  const std::optional<RegPath> p = Resolve(root, path);
  if (!p || !Find(*p)) return std::nullopt;
  return Security(*p);
}

void RegistryStore::SetValue(HKEY root, std::u16string_view path, std::u16string_view name,
                             DWORD type, std::vector<std::uint8_t> bytes) {
  if (RegKey* key = CreateAt(root, path)) Put(*key, name, type, std::move(bytes));
}

void RegistryStore::SetString(HKEY root, std::u16string_view path, std::u16string_view name,
                              std::u16string_view text, DWORD type) {
  SetValue(root, path, name, type, Utf16LeBytes(text, true));
}

void RegistryStore::SetDword(HKEY root, std::u16string_view path, std::u16string_view name,
                             DWORD value) {
  SetValue(root, path, name, platform::kREG_DWORD, DwordBytes(value));
}

std::optional<RegValue> RegistryStore::GetValue(HKEY root, std::u16string_view path,
                                                std::u16string_view name) const {
  const RegKey* key = FindAt(root, path);
  if (!key) return std::nullopt;
  const RegValue* v = key->FindValue(name);
  if (!v) return std::nullopt;
  return *v;
}

std::optional<std::u16string> RegistryStore::GetString(HKEY root, std::u16string_view path,
                                                       std::u16string_view name) const {
  auto v = GetValue(root, path, name);
  if (!v || (v->type != platform::kREG_SZ && v->type != platform::kREG_EXPAND_SZ &&
             v->type != platform::kREG_MULTI_SZ)) {
    return std::nullopt;
  }
  return FromUtf16Le(v->data, /*stop_at_nul=*/true);
}

std::optional<DWORD> RegistryStore::GetDword(HKEY root, std::u16string_view path,
                                             std::u16string_view name) const {
  auto v = GetValue(root, path, name);
  if (!v || v->type != platform::kREG_DWORD || v->data.size() != 4) return std::nullopt;
  return static_cast<DWORD>(v->data[0] | (v->data[1] << 8) | (v->data[2] << 16) |
                            (static_cast<DWORD>(v->data[3]) << 24));
}

bool RegistryStore::KeyExists(HKEY root, std::u16string_view path) const {
  return FindAt(root, path) != nullptr;
}

bool RegistryStore::CreateKey(HKEY root, std::u16string_view path) {
  return CreateAt(root, path) != nullptr;
}

bool RegistryStore::DeleteValue(HKEY root, std::u16string_view path, std::u16string_view name) {
  RegKey* key = FindAt(root, path);
  if (!key) return false;
  for (auto it = key->values.begin(); it != key->values.end(); ++it) {
    if (EqualsNoCase(it->name, name)) {
      key->values.erase(it);
      return true;
    }
  }
  return false;
}

bool RegistryStore::DeleteKey(HKEY root, std::u16string_view path) {
  auto p = Resolve(root, path);
  return p && DeleteTree(*p);
}

std::vector<std::u16string> RegistryStore::SubKeyNames(HKEY root, std::u16string_view path) const {
  std::vector<std::u16string> names;
  if (const RegKey* key = FindAt(root, path)) {
    for (const auto& [upper, sub] : key->subkeys) names.push_back(sub->name);
  }
  return names;
}

std::vector<std::u16string> RegistryStore::ValueNames(HKEY root, std::u16string_view path) const {
  std::vector<std::u16string> names;
  if (const RegKey* key = FindAt(root, path)) {
    for (const auto& v : key->values) names.push_back(v.name);
  }
  return names;
}

void RegistryStore::DenyAccess(HKEY root, std::u16string_view path) {
  if (RegKey* key = CreateAt(root, path)) key->deny_changes = true;
}

void RegistryStore::DenyWriteOpen(HKEY root, std::u16string_view path) {
  if (RegKey* key = CreateAt(root, path)) key->deny_write_open = true;
}

void RegistryStore::AllowAccess(HKEY root, std::u16string_view path) {
  if (RegKey* key = FindAt(root, path)) {
    key->deny_changes = false;
    key->deny_write_open = false;
  }
}

void RegistryStore::AddDefaults() {
  constexpr HKEY kLM = platform::kHKEY_LOCAL_MACHINE;
  constexpr HKEY kCU = platform::kHKEY_CURRENT_USER;
  constexpr HKEY kU = platform::kHKEY_USERS;

  // What lives under SOFTWARE exists in both views on a 64-bit installation.
  for (std::u16string_view software : {u"SOFTWARE", u"SOFTWARE\\WOW6432Node"}) {
    const std::u16string sw(software);
    CreateKey(kLM, sw + u"\\Microsoft\\Windows\\CurrentVersion\\RunOnce");
    CreateKey(kLM, sw + u"\\Microsoft\\Windows\\CurrentVersion\\Run");
    const std::u16string nt = sw + u"\\Microsoft\\Windows NT\\CurrentVersion";
    SetString(kLM, nt, u"CurrentVersion", u"6.3");
    SetString(kLM, nt, u"CurrentBuild", u"19045");
    SetString(kLM, nt, u"CurrentBuildNumber", u"19045");
    SetDword(kLM, nt, u"CurrentMajorVersionNumber", 10);
    SetDword(kLM, nt, u"CurrentMinorVersionNumber", 0);
    SetString(kLM, nt, u"ProductName", u"Windows 10 Pro");
    SetString(kLM, nt, u"EditionID", u"Professional");
    SetString(kLM, nt, u"InstallationType", u"Client");
    SetString(kLM, nt, u"ReleaseId", u"2009");
    SetString(kLM, nt, u"DisplayVersion", u"22H2");
    SetDword(kLM, nt, u"UBR", 3803);
    SetString(kLM, nt, u"BuildLabEx", u"19041.1.amd64fre.vb_release.191206-1406");
    SetString(kLM, nt, u"SystemRoot", u"C:\\Windows");
    SetString(kLM, nt, u"RegisteredOwner", u"Admin");
    const std::u16string winlogon = nt + u"\\Winlogon";
    SetString(kLM, winlogon, u"Shell", u"explorer.exe");
    SetString(kLM, winlogon, u"Userinit", u"C:\\Windows\\system32\\userinit.exe,");
    SetString(kLM, winlogon, u"AutoAdminLogon", u"0");
    SetString(kLM, winlogon, u"DefaultUserName", u"Admin");
    SetString(kLM, winlogon, u"DefaultDomainName", u"KES-PC");
    CreateKey(kLM, sw + u"\\Microsoft\\Command Processor");
    SetDword(kLM, sw + u"\\Microsoft\\Command Processor", u"CompletionChar", 0x40);
    SetDword(kLM, sw + u"\\Microsoft\\Command Processor", u"EnableExtensions", 1);
  }
  CreateKey(kLM, u"SOFTWARE\\Classes");
  CreateKey(kLM, u"SOFTWARE\\Policies\\Microsoft\\Windows");

  const std::u16string_view safeboot = u"SYSTEM\\CurrentControlSet\\Control\\SafeBoot";
  SetString(kLM, safeboot, u"AlternateShell", u"cmd.exe");
  const std::pair<const char16_t*, const char16_t*> minimal[] = {
      {u"AppInfo", u"Service"},
      {u"Base", u"Driver Group"},
      {u"Boot Bus Extender", u"Driver Group"},
      {u"disk", u"Driver"},
      {u"EventLog", u"Service"},
      {u"{4D36E965-E325-11CE-BFC1-08002BE10318}", u"CD-ROM Drive"},
      {u"{4D36E967-E325-11CE-BFC1-08002BE10318}", u"DiskDrive"},
  };
  const std::pair<const char16_t*, const char16_t*> network_only[] = {
      {u"Dhcp", u"Service"},
      {u"Dnscache", u"Service"},
      {u"NDIS", u"Driver"},
      {u"{4D36E972-E325-11CE-BFC1-08002BE10318}", u"Net"},
      {u"{4D36E973-E325-11CE-BFC1-08002BE10318}", u"NetClient"},
      {u"{4D36E974-E325-11CE-BFC1-08002BE10318}", u"NetService"},
      {u"{4D36E975-E325-11CE-BFC1-08002BE10318}", u"NetTrans"},
  };
  for (std::u16string_view branch : {u"Minimal", u"Network"}) {
    const std::u16string base = std::u16string(safeboot) + u"\\" + std::u16string(branch);
    for (const auto& [name, kind] : minimal) SetString(kLM, base + u"\\" + name, u"", kind);
  }
  for (const auto& [name, kind] : network_only) {
    SetString(kLM, std::u16string(safeboot) + u"\\Network\\" + name, u"", kind);
  }
  SetString(kLM, u"SYSTEM\\CurrentControlSet\\Control", u"SystemBootDevice",
            u"multi(0)disk(0)rdisk(0)partition(2)");
  CreateKey(kLM, u"SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current");

  // The current user's hive (HKCU), the default profile and the system account's.
  CreateKey(kCU, u"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce");
  CreateKey(kCU, u"Software\\Microsoft\\Windows\\CurrentVersion\\Run");
  CreateKey(kCU, u"Software\\Classes");
  SetString(kCU, u"Environment", u"TEMP", u"%USERPROFILE%\\AppData\\Local\\Temp",
            platform::kREG_EXPAND_SZ);
  CreateKey(kU, u".DEFAULT\\Software");
  CreateKey(kU, u"S-1-5-18\\Software");
}

}  // namespace kes::sim
