// The in-memory debug log and the system message texts the tracing facility looks up.
#include "tests/support/machine_fixture.h"

namespace kes::debug {
namespace {

class DebugLogTest : public MachineTest {
 protected:
  DebugState& St() { return *ctx.debug; }
};

TEST_F(DebugLogTest, EntriesEndWithOneEmptyLineAndEmptyOnesAreIgnored) {
  DebugLogAddEntry(u"first");
  DebugLogAddEntry(u"");
  DebugLogAddEntry(u"second\r\nline");
  EXPECT_EQ(DebugLogText(), u"first\r\n\r\nsecond\r\nline\r\n\r\n");
  EXPECT_EQ(St().log_used, 25);
  // However much the buffer has to grow for it, an entry comes back exactly as it went in.
  const std::u16string big(2500, u'd');
  DebugLogAddEntry(big);
  EXPECT_EQ(DebugLogText(), u"first\r\n\r\nsecond\r\nline\r\n\r\n" + big + u"\r\n\r\n");
}

TEST_F(DebugLogTest, SystemMessagesAreLookedUpOncePerCodeAndCache) {
  EXPECT_EQ(GetSystemMsg(5), u"Access is denied.");
  EXPECT_EQ(GetSystemMsg(5), u"Access is denied.");
  EXPECT_EQ(m.CallCount("FormatMessageW"), 1);
  // The second cache is separate.
  EXPECT_EQ(GetSystemMsg(5, true), u"Access is denied.");
  EXPECT_EQ(m.CallCount("FormatMessageW"), 2);
  EXPECT_EQ(GetSystemMsg(5, true), u"Access is denied.");
  EXPECT_EQ(m.CallCount("FormatMessageW"), 2);
  // A forced look-up asks again.
  EXPECT_EQ(GetSystemMsg(5, false, true), u"Access is denied.");
  EXPECT_EQ(m.CallCount("FormatMessageW"), 3);
  EXPECT_EQ(GetSystemMsg(2, false, false, true), u"[2=The system cannot find the file specified.]");
  // A logged API error reuses the cache.
  const std::int32_t id = ProcNew(Value(u"M"), u"P", u"Sub");
  const int before = m.CallCount("FormatMessageW");
  m.last_error = 2;
  dLogAPI(id, u"CreateFileW");
  m.last_error = 2;
  dLogAPI(id, u"CreateFileW");
  EXPECT_EQ(m.CallCount("FormatMessageW"), before);
}

TEST_F(DebugLogTest, UnknownCodesGiveTheFailureTextAndAreNotCached) {
  constexpr char16_t kFailure[] =
      u"FormatMessageW failure (lRet=0) Could not retrieve message from system!";
  m.last_error = 87;
  EXPECT_EQ(GetSystemMsg(123456), kFailure);
  EXPECT_EQ(GetSystemMsg(123456), kFailure);
  EXPECT_EQ(m.CallCount("FormatMessageW"), 2);
  // The look-up's own failure does not replace the caller's last error.
  EXPECT_EQ(m.last_error, 87u);
  // Nor does an injected failure poison the cache for later.
  m.InjectFault("FormatMessageW", 8, 3);
  EXPECT_EQ(GetSystemMsg(5), kFailure);
  EXPECT_EQ(GetSystemMsg(5), u"Access is denied.");
  // Logged with a failing look-up, the error line still names the number.
  const std::int32_t id = ProcNew(Value(u"M"), u"P", u"Sub");
  m.last_error = 123456;
  dLogAPI(id, u"Frob");
  EXPECT_TRUE(LogHas(u"Error: API=123456 ,Hex=(1E240) Desc=[FormatMessageW failure"));
}

TEST_F(DebugLogTest, DebuggerChannelOnlyWhenSwitchedOn) {
  OutputDebugStringRaw(u"hidden");
  EXPECT_TRUE(m.debug_output.empty());
  SetDebugLogSystemOutput(true);
  m.last_error = 122;
  OutputDebugStringRaw(u"shown");
  ASSERT_EQ(m.debug_output.size(), 1u);
  EXPECT_EQ(m.debug_output[0], u"shown");
  EXPECT_EQ(m.last_error, 122u);
}

}  // namespace
}  // namespace kes::debug
