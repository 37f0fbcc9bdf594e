// Hostile argument texts: the switches mutated (letter case, blanks, quotes, NULs, very long
// texts, lone surrogates, other scripts). A text that is not a switch must end the program
// without a crash and without a change to the registry, the files (the debug log aside) or the
// boot store. The sanitizer build plays a share of the texts; the optimized build
// (lifecycle_model, KES_FUZZ_TEXTS) plays them all.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tests/model/lifecycle_model.h"
#include "tests/support/machine_fixture.h"

namespace kes::lifecycle_model {
namespace {

constexpr std::size_t kDefaultTexts = 2000;

const std::u16string_view kSwitches[] = {
    u"/reboot", u"/restart", u"/normal",  u"/deletetempadminuser", u"/remove", u"/undo",
    u"/safe",   u"/safecmd", u"/safenet", u"/safenet-noreboot"};

// What the program reads of a command line: Windows ends it at the first NUL; the text after the
// program's own (quoted) path and one blank, spaces trimmed, compared without ASCII letter case.
bool IsSwitch(std::u16string_view text) {
  text = text.substr(0, text.find(u'\0'));
  const std::u16string lower = LowerCase(Trim(text));
  for (std::u16string_view s : kSwitches)
    if (lower == s) return true;
  return false;
}

std::u16string Mutate(std::mt19937& rng) {
  auto pick = [&rng](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
  std::u16string t(kSwitches[pick(std::size(kSwitches))]);
  const int rounds = 1 + static_cast<int>(pick(4));
  for (int r = 0; r < rounds; ++r) {
    const std::size_t at = t.empty() ? 0 : pick(t.size() + 1);
    switch (pick(12)) {
      case 0:  // letter case
        for (char16_t& c : t)
          if (pick(2) && c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
        break;
      case 1:
        t.insert(at, std::u16string(1 + pick(3), u' '));
        break;
      case 2:
        t.insert(at, pick(2) ? u"\t" : u"\u3000");  // tab, ideographic space
        break;
      case 3:
        t = pick(2) ? u"\"" + t + u"\"" : t.insert(at, u"\"");
        break;
      case 4:
        t.insert(at, std::u16string(1, u'\0'));
        break;
      case 5: {  // very long
        std::u16string long_text;
        while (long_text.size() < 20000 + pick(50000)) long_text += t;
        t = long_text;
        break;
      }
      case 6:  // a lone surrogate
        t.insert(at, std::u16string(1, static_cast<char16_t>(0xD800 + pick(0x800))));
        break;
      case 7:  // other scripts
        t.insert(at, pick(2) ? u"安全模式" : u"безопасный");
        break;
      case 8:  // look-alikes of '/' and letters
        if (!t.empty()) t[0] = pick(2) ? u'\uFF0F' : u'-';
        break;
      case 9:
        t += u" " + std::u16string(kSwitches[pick(std::size(kSwitches))]);
        break;
      case 10:
        if (!t.empty()) t.erase(at == t.size() ? at - 1 : at, 1);
        break;
      default:
        t.insert(at, std::u16string(1, static_cast<char16_t>(1 + pick(0xFFFE))));
        break;
    }
  }
  return t;
}

TEST(DispatchFuzzSafeElevated, NoTextButASwitchChangesAnything) {
  const char* wanted = std::getenv("KES_FUZZ_TEXTS");
  const std::size_t count = wanted ? std::strtoul(wanted, nullptr, 10) : kDefaultTexts;
  std::unique_ptr<sim::Machine> m = MakeMachine("win10-msa");
  const std::uint64_t before = Digest(*m);
  std::mt19937 rng(20261207);
  std::size_t played = 0, switches = 0, changes = 0, longest = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::u16string text = Mutate(rng);
    if (IsSwitch(text)) {
      ++switches;
      continue;
    }
    m->message_box_answers.clear();
    RunProgram(*m, u"\"C:\\Tools\\Kestrune.exe\" " + text);
    ++played;
    longest = std::max(longest, text.size());
    if (Digest(*m) != before) {
      ++changes;
      ADD_FAILURE() << "the text changed the machine: " << Utf8(text.substr(0, 200));
      m = MakeMachine("win10-msa");
    }
  }
  std::printf(
      "[dispatch fuzz] texts: %zu, of them switches (not played): %zu, played: %zu, "
      "longest: %zu characters, changes: %zu\n",
      count, switches, played, longest, changes);
}

}  // namespace
}  // namespace kes::lifecycle_model
