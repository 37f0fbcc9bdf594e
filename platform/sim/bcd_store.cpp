#include "platform/sim/bcd_store.h"

#include <utility>

#include "platform/base/u16.h"

namespace kes::sim {
namespace {

constexpr char16_t kLoaderId[] = u"{9dea862c-5cdd-4e70-acc1-f32b344d4795}";

}  // namespace

BcdStore::BcdStore() {
  AddEntry(BcdEntry{kLoaderId, u"Windows 10", {}}, true);
  current_id = default_id;
}

BcdEntry* BcdStore::Find(std::u16string_view identifier) {
  return const_cast<BcdEntry*>(std::as_const(*this).Find(identifier));
}

const BcdEntry* BcdStore::Find(std::u16string_view identifier) const {
  std::u16string key = LowerCase(identifier);
  if (key == u"{current}") key = current_id;
  if (key == u"{default}") key = default_id;
  const auto it = entries.find(key);
  return it == entries.end() ? nullptr : &it->second;
}

std::optional<std::u16string> BcdStore::Get(std::u16string_view identifier,
                                            std::u16string_view element) const {
  const BcdEntry* e = Find(identifier);
  if (!e) return std::nullopt;
  const auto it = e->elements.find(LowerCase(element));
  if (it == e->elements.end()) return std::nullopt;
  return it->second;
}

void BcdStore::AddEntry(BcdEntry entry, bool make_default) {
  const std::u16string key = LowerCase(entry.identifier);
  entries[key] = std::move(entry);
  if (make_default) default_id = key;
}

std::u16string BcdStore::Serialize() const {
  std::u16string out = u"Windows Boot Manager\r\ndefault " + default_id + u"\r\n";
  for (const auto& [key, entry] : entries) {
    out += u"\r\nWindows Boot Loader\r\nidentifier " +
           (key == current_id ? std::u16string(u"{current}") : entry.identifier) +
           u"\r\ndescription " + entry.description + u"\r\n";
    for (const auto& [name, value] : entry.elements) out += name + u" " + value + u"\r\n";
  }
  return out;
}

int BcdStore::NextCleanBoot() const {
  const std::optional<std::u16string> mode = Get(u"{default}", u"safeboot");
  if (!mode) return 0;
  if (*mode == u"Minimal") return 1;
  if (*mode == u"Network") return 2;
  return 0;
}

bool BcdStore::NextBootAlternateShell() const {
  return NextCleanBoot() == 1 &&
         Get(u"{default}", u"safebootalternateshell").value_or(u"No") == u"Yes";
}

}  // namespace kes::sim
