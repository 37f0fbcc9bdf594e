// What the program finds of its own state may have been changed by someone else, or broken:
// each malformed piece gets a log entry and an outcome that keeps the machine's way back.
#include <string>
#include <vector>

#include "app/dispatch.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using platform::kIDNO;
using platform::kIDYES;

class MalformedStateSafeElevated : public MachineTest {
 protected:
  MalformedStateSafeElevated() { MakeThirtyTwoBit(m); }
  void SetBootModeRaw(platform::DWORD type, std::vector<std::uint8_t> data) {
    m.registry().SetValue(kHKLM, kOwnKey, u"BootMode", type, std::move(data));
  }
  // "/remove" as the Safe Mode boot runs it: asked nothing, everything removed.
  void ExpectRemovedWithoutAQuestion(std::u16string_view logged) {
    m.bcd().Find(u"{current}")->elements[u"safeboot"] = u"Minimal";
    bool told = false;
    RunProgram(m, ProgramCommandLine(m, u"/remove"),
               [&](const Context&) { told = LogHas(logged); });
    EXPECT_TRUE(m.message_boxes.empty());
    EXPECT_FALSE(SafeBoot(m));
    EXPECT_FALSE(BootModeValue(m));
    EXPECT_TRUE(told) << Utf8(logged);
  }
};

TEST_F(MalformedStateSafeElevated, ABootModeOfTheWrongTypeIsAbsent) {
  SetBootModeRaw(platform::kREG_SZ, Utf16Bytes(std::u16string(u"2\0", 2)));
  ExpectRemovedWithoutAQuestion(u"The value is not a REG_DWORD of 4 bytes");
}

TEST_F(MalformedStateSafeElevated, ABootModeOutOfRangeIsAbsent) {
  SetBootModeRaw(platform::kREG_DWORD, {7, 0, 0, 0});
  ExpectRemovedWithoutAQuestion(u"BootMode names no Safe Mode variant; it is treated as absent.");
}

TEST_F(MalformedStateSafeElevated, AnOversizedOrEmptyBootModeIsAbsent) {
  SetBootModeRaw(platform::kREG_BINARY, std::vector<std::uint8_t>(64, 2));
  ExpectRemovedWithoutAQuestion(u"RegQueryValueExW REG_DWORD");
  SetBootModeRaw(platform::kREG_DWORD, {});
  ExpectRemovedWithoutAQuestion(u"The value is not a REG_DWORD of 4 bytes");
}

// Hooks someone else wrote under the program's names are replaced by the program's own, and the
// return to normal deletes them whatever they hold.
TEST_F(MalformedStateSafeElevated, ForeignHooksUnderTheProgramsNamesAreReplacedAndDeleted) {
  m.registry().SetString(kHKLM, kRunOnceKey, kEntryValue, u"C:\\Users\\Public\\evil.exe");
  m.registry().SetString(kHKLM, kCommandProcessorKey, u"Autorun", u"C:\\Users\\Public\\evil.cmd");
  m.message_box_answers = {kIDYES};
  Run(u"/safe");
  EXPECT_EQ(RunOnceEntry(m), kEntryData);
  m.message_box_answers = {kIDYES};
  Run(u"/safecmd");
  EXPECT_EQ(Autorun(m), kAutorunData);
  m.registry().SetString(kHKLM, kRunOnceKey, kEntryValue, u"C:\\Users\\Public\\evil.exe");
  m.message_box_answers = {kIDNO};
  Run(u"/normal");
  EXPECT_FALSE(RunOnceEntry(m));
  EXPECT_FALSE(Autorun(m));
}

// A folder where the marker script belongs: the command prompt's way back is not complete, so
// the configuration is taken back and the user told.
TEST_F(MalformedStateSafeElevated, AMarkerScriptPathThatIsAFolderFailsTheConfiguration) {
  m.fs().AddFolder(kMarker);
  m.message_box_answers = {kIDYES};
  Run(u"/safecmd");
  EXPECT_FALSE(SafeBoot(m));
  EXPECT_FALSE(Autorun(m));
  EXPECT_TRUE(m.shutdown_requests.empty());
  ASSERT_EQ(m.message_boxes.size(), 2u);
  EXPECT_EQ(m.message_boxes[1].text,
            std::u16string(kConfigFailedNotice) + u"\r\n\r\n" + std::u16string(kMarker));
}

// The repair recreates a missing SafeBoot branch; a branch that refuses the import is logged and
// the configuration goes on.
TEST_F(MalformedStateSafeElevated, AMissingSafeBootBranchIsRecreatedARefusedOneLogged) {
  m.registry().DeleteKey(kHKLM, kSafeBootKey);
  Run(u"/safenet-noreboot");
  EXPECT_TRUE(m.registry().KeyExists(kHKLM, std::u16string(kSafeBootKey) + u"\\Minimal"));
  EXPECT_EQ(SafeBoot(m), u"Network");

  m.bcd().Find(u"{current}")->elements.erase(u"safeboot");
  // reg.exe as a branch that refuses every key: "ERROR: Access is denied.", exit 1.
  m.AddProgram(u"C:\\Windows\\System32\\reg.exe",
               [](sim::Machine&, const std::u16string&) { return platform::DWORD{1}; });
  bool logged = false;
  RunProgram(m, ProgramCommandLine(m, u"/safenet-noreboot"), [&](const Context&) {
    logged =
        LogHas(u"The registry file could not be imported; the SafeBoot branch stays as it is.");
  });
  EXPECT_TRUE(logged);
  EXPECT_EQ(SafeBoot(m), u"Network");
}

}  // namespace
}  // namespace kes
