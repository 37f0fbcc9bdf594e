// subinacl.exe of the Windows Resource Kit: takes ownership of keys, files and folders and grants
// rights on them. It runs with backup and restore rights, so neither the object's DACL nor its
// owner stops it; it only needs the object to exist.
#include "platform/sim/tool_subinacl.h"

#include <functional>
#include <optional>

#include "platform/base/u16.h"
#include "platform/sim/access_control.h"
#include "platform/sim/file_system.h"
#include "platform/sim/reg_file.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/tools.h"

namespace kes::sim {
namespace {

using platform::DWORD;

// The change one run makes: a new owner, or full control for a SID (replacing its explicit
// allow entry, put in front of the other explicit ones).
struct Change {
  bool owner = false;
  std::string sid;
};

void Apply(const Change& c, ObjectKind kind, SimSecurity& s) {
  if (c.owner) {
    s.owner = c.sid;
    return;
  }
  std::erase_if(s.dacl, [&](const SimAce& a) {
    return !a.Inherited() && a.type == platform::kACCESS_ALLOWED_ACE_TYPE && a.sid == c.sid;
  });
  const std::uint8_t reach = kind == ObjectKind::kFile ? 0
                             : kind == ObjectKind::kKey
                                 ? platform::kCONTAINER_INHERIT_ACE
                                 : platform::kCONTAINER_INHERIT_ACE | platform::kOBJECT_INHERIT_ACE;
  const DWORD all = kind == ObjectKind::kKey ? DWORD{platform::kKEY_ALL_ACCESS} : kFileAllAccess;
  s.dacl.insert(s.dacl.begin(), {platform::kACCESS_ALLOWED_ACE_TYPE, reach, all, c.sid});
}

// The key at "HKEY_...\path" and, with `below`, every key under it.
bool ChangeKeys(Machine& m, std::u16string_view text, bool below, const Change& c) {
  const std::size_t slash = text.find(u'\\');
  const auto root = RootByName(text.substr(0, slash));
  const std::u16string path(slash == std::u16string_view::npos ? u"" : text.substr(slash + 1));
  RegistryStore& store = m.registry();
  if (!root || !store.KeyExists(*root, path)) return false;
  std::function<void(const std::u16string&, bool)> visit = [&](const std::u16string& key,
                                                               bool self) {
    if (self) {
      SimSecurity s = *store.GetSecurity(*root, key);
      Apply(c, ObjectKind::kKey, s);
      store.SetSecurity(*root, key, s);
    }
    if (!below) return;
    for (const std::u16string& sub : store.SubKeyNames(*root, key))
      visit(key.empty() ? sub : key + u"\\" + sub, true);
  };
  visit(path, true);
  return true;
}

bool ChangeFile(Machine& m, const std::u16string& path, bool below, const Change& c) {
  FileSystem& fs = m.fs();
  const std::optional<SimSecurity> found = fs.GetSecurity(path);
  if (!found) return false;
  const bool folder = fs.IsFolder(path);
  if (!below) {
    SimSecurity s = *found;
    Apply(c, folder ? ObjectKind::kFolder : ObjectKind::kFile, s);
    return fs.SetSecurity(path, s);
  }
  for (const std::u16string& name : fs.List(path)) {
    const std::u16string child = path + u"\\" + name;
    ChangeFile(m, child, false, c);
    if (fs.IsFolder(child)) ChangeFile(m, child, true, c);
  }
  return true;
}

}  // namespace

DWORD RunSubInAcl(Machine& m, const std::u16string& command_line) {
  const std::vector<std::u16string> args = SplitCommandLine(command_line);
  if (args.size() != 4) return 1;
  const std::u16string object_kind = LowerCase(args[1]);
  const std::u16string& object = args[2];
  const std::u16string action = LowerCase(args[3]);
  Change c;
  std::u16string account;
  if (action.starts_with(u"/setowner=")) {
    c.owner = true;
    account = args[3].substr(10);
  } else if (action.starts_with(u"/grant=") && (action.ends_with(u"=f"))) {
    account = args[3].substr(7, args[3].size() - 9);
  } else {
    return 1;
  }
  const std::optional<AccountSid> sid = LookupAccount(m, account);
  if (!sid) return 1;
  c.sid = sid->sid;
  bool done = false;
  if (object_kind == u"/keyreg") {
    done = ChangeKeys(m, object, false, c);
  } else if (object_kind == u"/subkeyreg") {
    done = ChangeKeys(m, object, true, c);
  } else if (object_kind == u"/file") {
    done = ChangeFile(m, object, false, c);
  } else if (object_kind == u"/subdirectories" && object.ends_with(u"\\*.*")) {
    done = ChangeFile(m, object.substr(0, object.size() - 4), true, c);
  }
  return done ? 0 : 1;
}

void InstallSubInAcl(Machine& m, std::u16string_view path) {
  m.fs().AddFile(path, std::string_view("MZ"));
  m.AddProgram(path, RunSubInAcl);
}

}  // namespace kes::sim
