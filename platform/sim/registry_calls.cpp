// The machine's registry interface over RegistryStore: handles, access rights, the WOW64 views
// and Windows' status codes. Like advapi32 it reports through the returned status only and
// never touches the last error.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "platform/base/u16.h"
#include "platform/sim/access_control.h"
#include "platform/sim/machine.h"
#include "platform/sim/registry_store.h"

namespace kes::sim {
namespace {
using namespace platform;  // NOLINT: Win32 names read best unqualified here

// An open key. It remembers the place as it was asked for and its view, so that relative opens
// below it stay in the same view; the stored key is looked up again on every use, and a key
// deleted meanwhile answers 1018 like Windows.
struct OpenRegKey final : KernelObject {
  RegPath path;
  bool view32 = false;
  DWORD access = 0;
};

constexpr DWORD kGENERIC_READ_ = 0x80000000u;
constexpr DWORD kGENERIC_WRITE_ = 0x40000000u;
constexpr DWORD kGENERIC_EXECUTE_ = 0x20000000u;
constexpr DWORD kGENERIC_ALL_ = 0x10000000u;
constexpr DWORD kMAXIMUM_ALLOWED_ = 0x02000000u;
constexpr DWORD kWriteRights = kKEY_SET_VALUE | kKEY_CREATE_SUB_KEY | kKEY_CREATE_LINK |
                               kKEY_DELETE | kKEY_WRITE_DAC | kKEY_WRITE_OWNER;

// Generic and maximum rights mapped onto the key rights they stand for.
DWORD MapAccess(DWORD sam) {
  DWORD access = sam & ~(kKEY_WOW64_64KEY | kKEY_WOW64_32KEY | kGENERIC_READ_ | kGENERIC_WRITE_ |
                         kGENERIC_EXECUTE_ | kGENERIC_ALL_ | kMAXIMUM_ALLOWED_);
  if (sam & (kGENERIC_READ_ | kGENERIC_EXECUTE_)) access |= kKEY_READ;
  if (sam & kGENERIC_WRITE_) access |= kKEY_WRITE;
  if (sam & (kGENERIC_ALL_ | kMAXIMUM_ALLOWED_)) access |= kKEY_ALL_ACCESS;
  return access;
}

std::u16string Text(const char16_t* s) {
  return s ? std::u16string(s) : std::u16string();
}

class SimRegistryApi final : public RegistryApi {
 public:
  explicit SimRegistryApi(Machine& m) : m_(m) {}

  LONG RegOpenKeyExW(HKEY key, const char16_t* sub_key, DWORD /*options*/, DWORD sam,
                     HKEY* result) override {
    if (auto e = m_.Gate("RegOpenKeyExW")) return static_cast<LONG>(*e);
    return Open(key, sub_key, sam, false, result, nullptr);
  }

  LONG RegCreateKeyExW(HKEY key, const char16_t* sub_key, const char16_t* /*class_name*/,
                       DWORD /*options*/, DWORD sam, HKEY* result, DWORD* disposition) override {
    if (auto e = m_.Gate("RegCreateKeyExW")) return static_cast<LONG>(*e);
    return Open(key, sub_key, sam, true, result, disposition);
  }

  LONG RegQueryValueExW(HKEY key, const char16_t* name, DWORD* type, void* data,
                        DWORD* size) override {
    if (auto e = m_.Gate("RegQueryValueExW")) return static_cast<LONG>(*e);
    RegKey* node = nullptr;
    if (LONG s = Use(key, kKEY_QUERY_VALUE, &node)) return s;
    if (data && !size) return static_cast<LONG>(kERROR_INVALID_PARAMETER);
    const RegValue* v = node->FindValue(Text(name));
    if (!v) return static_cast<LONG>(kERROR_FILE_NOT_FOUND);
    return CopyOut(*v, type, data, size);
  }

  LONG RegSetValueExW(HKEY key, const char16_t* name, DWORD type, const void* data,
                      DWORD size) override {
    if (auto e = m_.Gate("RegSetValueExW")) return static_cast<LONG>(*e);
    RegKey* node = nullptr;
    if (LONG s = Use(key, kKEY_SET_VALUE, &node)) return s;
    if (node->deny_changes) return static_cast<LONG>(kERROR_ACCESS_DENIED);
    if (!data && size) return static_cast<LONG>(kERROR_NOACCESS_);
    std::vector<std::uint8_t> bytes(size);
    if (size) std::memcpy(bytes.data(), data, size);
    const std::u16string value_name = Text(name);
    if (RegValue* v = node->FindValue(value_name)) {
      v->type = type;
      v->data = std::move(bytes);
    } else {
      node->values.push_back({value_name, type, std::move(bytes)});
    }
    return 0;
  }

  LONG RegDeleteValueW(HKEY key, const char16_t* name) override {
    if (auto e = m_.Gate("RegDeleteValueW")) return static_cast<LONG>(*e);
    RegKey* node = nullptr;
    if (LONG s = Use(key, kKEY_SET_VALUE, &node)) return s;
    const std::u16string value_name = Text(name);
    for (auto it = node->values.begin(); it != node->values.end(); ++it) {
      if (!EqualsNoCase(it->name, value_name)) continue;
      if (node->deny_changes) return static_cast<LONG>(kERROR_ACCESS_DENIED);
      node->values.erase(it);
      return 0;
    }
    return static_cast<LONG>(kERROR_FILE_NOT_FOUND);
  }

  LONG RegDeleteKeyExW(HKEY key, const char16_t* sub_key, DWORD sam) override {
    if (auto e = m_.Gate("RegDeleteKeyExW")) return static_cast<LONG>(*e);
    if ((sam & (kKEY_WOW64_64KEY | kKEY_WOW64_32KEY)) == (kKEY_WOW64_64KEY | kKEY_WOW64_32KEY)) {
      return static_cast<LONG>(kERROR_INVALID_PARAMETER);
    }
    RegPath path;
    bool view32 = false;
    if (LONG s = Place(key, sub_key, sam, &path, &view32)) return s;
    const RegPath stored = RegistryStore::InView(path, view32);
    if (stored.parts.empty()) return static_cast<LONG>(kERROR_ACCESS_DENIED);  // a hive root
    RegKey* node = store().Find(stored);
    if (!node) return static_cast<LONG>(kERROR_FILE_NOT_FOUND);
    RegPath parent_path = stored;
    parent_path.parts.pop_back();
    RegKey* parent = store().Find(parent_path);
    if (!node->subkeys.empty() || node->deny_changes || node->deny_write_open ||
        (parent && parent->deny_changes)) {
      return static_cast<LONG>(kERROR_ACCESS_DENIED);
    }
    store().DeleteTree(stored);
    return 0;
  }

  LONG RegEnumKeyExW(HKEY key, DWORD index, char16_t* name, DWORD* name_len) override {
    if (auto e = m_.Gate("RegEnumKeyExW")) return static_cast<LONG>(*e);
    RegKey* node = nullptr;
    if (LONG s = Use(key, kKEY_ENUMERATE_SUB_KEYS, &node)) return s;
    if (!name || !name_len) return static_cast<LONG>(kERROR_INVALID_PARAMETER);
    if (index >= node->subkeys.size()) return static_cast<LONG>(kERROR_NO_MORE_ITEMS);
    auto it = node->subkeys.begin();
    std::advance(it, index);
    return CopyName(it->second->name, name, name_len);
  }

  LONG RegEnumValueW(HKEY key, DWORD index, char16_t* name, DWORD* name_len, DWORD* type,
                     void* data, DWORD* size) override {
    if (auto e = m_.Gate("RegEnumValueW")) return static_cast<LONG>(*e);
    RegKey* node = nullptr;
    if (LONG s = Use(key, kKEY_QUERY_VALUE, &node)) return s;
    if (!name || !name_len || (data && !size)) return static_cast<LONG>(kERROR_INVALID_PARAMETER);
    if (index >= node->values.size()) return static_cast<LONG>(kERROR_NO_MORE_ITEMS);
    const RegValue& v = node->values[index];
    if (LONG s = CopyName(v.name, name, name_len)) return s;
    return CopyOut(v, type, data, size);
  }

  LONG RegGetKeySecurity(HKEY key, DWORD info, void* descriptor, DWORD* size) override {
    if (auto e = m_.Gate("RegGetKeySecurity")) return static_cast<LONG>(*e);
    RegKey* node = nullptr;
    if (LONG s = Use(key, kKEY_READ_CONTROL, &node)) return s;
    if (!size) return static_cast<LONG>(kERROR_INVALID_PARAMETER);
    const std::vector<std::uint8_t> bytes = SelfRelativeDescriptor(SecurityOf(key), info);
    if (!descriptor || *size < bytes.size()) {
      *size = static_cast<DWORD>(bytes.size());
      return static_cast<LONG>(kERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(descriptor, bytes.data(), bytes.size());
    *size = static_cast<DWORD>(bytes.size());
    return 0;
  }

  LONG RegSetKeySecurity(HKEY key, DWORD info, const void* descriptor) override {
    if (auto e = m_.Gate("RegSetKeySecurity")) return static_cast<LONG>(*e);
    RegKey* node = nullptr;
    if (LONG s = Use(key, RightsToChange(info), &node)) return s;
    SimSecurity security = SecurityOf(key);
    if (DWORD e = ApplyDescriptor(m_, descriptor, info, security)) return static_cast<LONG>(e);
    node->security = std::make_shared<SimSecurity>(std::move(security));
    return 0;
  }

  LONG RegCloseKey(HKEY key) override {
    if (auto e = m_.Gate("RegCloseKey")) return static_cast<LONG>(*e);
    if (RegistryStore::RootPath(key)) return 0;
    if (!m_.Lookup<OpenRegKey>(key)) return static_cast<LONG>(kERROR_INVALID_HANDLE);
    m_.RemoveHandle(key);
    return 0;
  }

 private:
  static constexpr DWORD kERROR_NOACCESS_ = 998;

  RegistryStore& store() { return m_.registry(); }

  // The owner and DACL of the key behind a handle (a root's default for a predefined one).
  SimSecurity SecurityOf(HKEY key) {
    if (auto root = RegistryStore::RootPath(key)) return store().Security(*root);
    const OpenRegKey* open = m_.Lookup<OpenRegKey>(key);
    return store().Security(RegistryStore::InView(open->path, open->view32));
  }

  // The view a call ends up in: only 64-bit Windows has two; an explicit flag wins, then the
  // view of the key the call starts from, then the process's own.
  bool View(DWORD sam, const OpenRegKey* base) const {
    if (!m_.facts.is_64bit) return false;
    if (sam & kKEY_WOW64_64KEY) return false;
    if (sam & kKEY_WOW64_32KEY) return true;
    if (base) return base->view32;
    return m_.facts.process_is_32bit;
  }

  // The place `sub_key` below `key` names, with its view.
  LONG Place(HKEY key, const char16_t* sub_key, DWORD sam, RegPath* path, bool* view32) {
    const OpenRegKey* base = nullptr;
    if (auto root = RegistryStore::RootPath(key)) {
      *path = *root;
    } else if ((base = m_.Lookup<OpenRegKey>(key)) != nullptr) {
      *path = base->path;
      if (!store().Find(RegistryStore::InView(*path, base->view32))) {
        return static_cast<LONG>(kERROR_KEY_DELETED);
      }
    } else {
      return static_cast<LONG>(kERROR_INVALID_HANDLE);
    }
    std::vector<std::u16string> parts;
    if (LONG s = RegistryStore::SplitPath(Text(sub_key), parts)) return s;
    path->parts.insert(path->parts.end(), parts.begin(), parts.end());
    *view32 = View(sam, base);
    return 0;
  }

  LONG Open(HKEY key, const char16_t* sub_key, DWORD sam, bool create, HKEY* result,
            DWORD* disposition) {
    if (!result) return static_cast<LONG>(kERROR_INVALID_PARAMETER);
    if ((sam & (kKEY_WOW64_64KEY | kKEY_WOW64_32KEY)) == (kKEY_WOW64_64KEY | kKEY_WOW64_32KEY)) {
      return static_cast<LONG>(kERROR_INVALID_PARAMETER);
    }
    auto opened = std::make_shared<OpenRegKey>();
    if (LONG s = Place(key, sub_key, sam, &opened->path, &opened->view32)) return s;
    const RegPath stored = RegistryStore::InView(opened->path, opened->view32);
    DWORD access = MapAccess(sam);
    RegKey* node = store().Find(stored);
    if (node && node->deny_write_open && (access & kWriteRights)) {
      return static_cast<LONG>(kERROR_ACCESS_DENIED);
    }
    bool created = false;
    if (!node) {
      if (!create) return static_cast<LONG>(kERROR_FILE_NOT_FOUND);
      if (LONG s = store().Create(stored, &node, &created)) return s;
    }
    // The key's DACL decides, once, which rights the handle carries.
    const DWORD ask = (sam & kMAXIMUM_ALLOWED_) ? kMAXIMUM_ALLOWED_ : access;
    if (!AccessCheck(m_, store().Security(stored), ObjectKind::kKey, ask, &access))
      return static_cast<LONG>(kERROR_ACCESS_DENIED);
    if (disposition) *disposition = created ? kREG_CREATED_NEW_KEY : kREG_OPENED_EXISTING_KEY;
    opened->access = access;
    *result = m_.AddHandle(std::move(opened));
    return 0;
  }

  // The stored key behind a handle that must carry `right`.
  LONG Use(HKEY key, DWORD right, RegKey** node) {
    if (auto root = RegistryStore::RootPath(key)) {
      *node = store().Find(*root);
      return *node ? 0 : static_cast<LONG>(kERROR_FILE_NOT_FOUND);
    }
    const OpenRegKey* open = m_.Lookup<OpenRegKey>(key);
    if (!open) return static_cast<LONG>(kERROR_INVALID_HANDLE);
    if (!(open->access & right)) return static_cast<LONG>(kERROR_ACCESS_DENIED);
    *node = store().Find(RegistryStore::InView(open->path, open->view32));
    return *node ? 0 : static_cast<LONG>(kERROR_KEY_DELETED);
  }

  static LONG CopyOut(const RegValue& v, DWORD* type, void* data, DWORD* size) {
    if (type) *type = v.type;
    const DWORD needed = static_cast<DWORD>(v.data.size());
    if (data) {
      if (*size < needed) {
        *size = needed;
        return static_cast<LONG>(kERROR_MORE_DATA);
      }
      if (needed) std::memcpy(data, v.data.data(), needed);
    }
    if (size) *size = needed;
    return 0;
  }

  static LONG CopyName(const std::u16string& text, char16_t* name, DWORD* name_len) {
    if (text.size() + 1 > *name_len) return static_cast<LONG>(kERROR_MORE_DATA);
    std::memcpy(name, text.data(), text.size() * sizeof(char16_t));
    name[text.size()] = 0;
    *name_len = static_cast<DWORD>(text.size());
    return 0;
  }

  Machine& m_;
};

}  // namespace

std::unique_ptr<platform::RegistryApi> MakeSimRegistry(Machine& m) {
  return std::make_unique<SimRegistryApi>(m);
}

}  // namespace kes::sim
