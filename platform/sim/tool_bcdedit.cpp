// bcdedit.exe of the simulated machine (see bcd_store.h for what it understands).
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/u16.h"
#include "platform/sim/bcd_store.h"
#include "platform/sim/file_system.h"
#include "platform/sim/tools.h"

namespace kes::sim {
namespace {

constexpr char16_t kDone[] = u"The operation completed successfully.";
constexpr char16_t kBadParameter[] = u"The parameter is incorrect.";

DWORD Fail(Machine& m, std::u16string_view what, std::u16string_view why) {
  m.console_output.push_back(std::u16string(what) + u"\r\n" + std::u16string(why) +
                             u"\r\n\r\nRun \"bcdedit /?\" for command line assistance.");
  return 1;
}

DWORD Done(Machine& m) {
  m.console_output.push_back(kDone);
  return 0;
}

// The value as the store keeps it for an element bcdedit knows; nullopt for an unknown element
// or a value that element does not take.
std::optional<std::u16string> Normalize(std::u16string_view element, std::u16string_view value) {
  const std::u16string v = LowerCase(value);
  if (element == u"safeboot") {
    if (v == u"minimal") return u"Minimal";
    if (v == u"network") return u"Network";
    if (v == u"dsrepair") return u"DsRepair";
    return std::nullopt;
  }
  if (element == u"safebootalternateshell") {
    if (v == u"true" || v == u"yes" || v == u"on" || v == u"1") return u"Yes";
    if (v == u"false" || v == u"no" || v == u"off" || v == u"0") return u"No";
    return std::nullopt;
  }
  if (element == u"bootmenupolicy") {
    if (v == u"legacy") return u"Legacy";
    if (v == u"standard") return u"Standard";
    return std::nullopt;
  }
  return std::nullopt;
}

bool KnownElement(std::u16string_view element) {
  return element == u"safeboot" || element == u"safebootalternateshell" ||
         element == u"bootmenupolicy";
}

// The folder part of a full path; "" when the text has no backslash.
std::u16string FolderOf(std::u16string_view path) {
  const std::size_t slash = path.rfind(u'\\');
  if (slash == std::u16string_view::npos) return u"";
  return std::u16string(path.substr(0, slash + 1));
}

}  // namespace

DWORD RunBcdedit(Machine& m, const std::u16string& command_line) {
  if (auto e = m.Gate("bcdedit.exe")) return *e;
  BcdStore& store = m.bcd();
  if (!m.token.elevated && !m.token.local_system) {
    return Fail(m, u"The boot configuration data store could not be opened.", u"Access is denied.");
  }
  const std::vector<std::u16string> args = SplitCommandLine(command_line);
  const std::u16string verb = args.size() > 1 ? LowerCase(args[1]) : u"";

  if (verb == u"/export") {
    if (args.size() != 3) return Fail(m, u"The export command is not valid.", kBadParameter);
    if (auto it = store.failing.find(u"export"); it != store.failing.end()) {
      Fail(m, u"An error occurred while attempting to export the store.", u"Access is denied.");
      return it->second;
    }
    const std::u16string& file = args[2];
    const std::u16string folder = FolderOf(file);
    if (folder.empty() || !m.fs().IsFolder(folder)) {
      return Fail(m,
                  u"An error occurred while attempting to export the store to the specified file.",
                  u"The system cannot find the path specified.");
    }
    m.fs().Remove(file);
    if (!m.fs().AddFileUtf16(file, store.Serialize())) {
      return Fail(m,
                  u"An error occurred while attempting to export the store to the specified file.",
                  u"Access is denied.");
    }
    return Done(m);
  }

  if (verb == u"/set" || verb == u"/deletevalue") {
    const bool set = verb == u"/set";
    std::size_t i = 2;
    std::u16string id = u"{current}";
    if (i < args.size() && args[i].starts_with(u"{")) id = args[i++];
    const std::size_t wanted = set ? 2 : 1;
    if (args.size() - i != wanted) {
      return Fail(m,
                  set ? u"The set command specified is not valid."
                      : u"The deletevalue command specified is not valid.",
                  kBadParameter);
    }
    const std::u16string element = LowerCase(args[i]);
    BcdEntry* entry = store.Find(id);
    if (!entry) {
      return Fail(m, u"An error occurred while attempting to reference the specified entry.",
                  u"The system cannot find the file specified.");
    }
    if (!KnownElement(element)) {
      return Fail(m,
                  u"The element data type specified is not recognized, or does not apply to "
                  u"the specified entry.",
                  kBadParameter);
    }
    const std::u16string what = verb.substr(1) + u" " + element;
    if (auto it = store.failing.find(what); it != store.failing.end()) {
      Fail(m,
           set ? u"An error has occurred setting the element data."
               : u"An error has occurred deleting the element data.",
           u"Access is denied.");
      return it->second;
    }
    if (set) {
      const std::optional<std::u16string> value = Normalize(element, args[i + 1]);
      if (!value) return Fail(m, u"The element data is not valid.", kBadParameter);
      entry->elements[element] = *value;
      return Done(m);
    }
    if (entry->elements.erase(element) == 0) {
      return Fail(m, u"An error has occurred deleting the element data.", u"Element not found.");
    }
    return Done(m);
  }

  if (verb == u"/enum") {
    // One entry and its elements, the way bcdedit lists them: names padded to a column.
    const std::u16string id = args.size() > 2 ? args[2] : u"{current}";
    const BcdEntry* entry = store.Find(id);
    if (!entry || args.size() > 3) {
      return Fail(m, u"The boot configuration data store could not be opened.",
                  u"The system cannot find the file specified.");
    }
    std::u16string text =
        u"Windows Boot Loader\r\n-------------------\r\nidentifier              " + id;
    for (const auto& [name, value] : entry->elements) {
      std::u16string line = name;
      line.resize(std::max<std::size_t>(line.size() + 1, 24), u' ');
      text += u"\r\n" + line + value;
    }
    m.console_output.push_back(text);
    return 0;
  }

  return Fail(m, u"The command specified is not valid.", kBadParameter);
}

}  // namespace kes::sim
