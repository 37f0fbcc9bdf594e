// The in-memory debug log and the system message texts the tracing facility looks up.
#include <gtest/gtest.h>

#include <string>

#include "framework/debug/tracing.h"
#include "framework/debug/tracing_state.h"
#include "framework/env/context.h"
#include "platform/sim/machine.h"

namespace kes::debug {
namespace {

class DebugLogTest : public ::testing::Test {
 protected:
  void SetUp() override { InitDebugModuleVars(); }

  DebugState& St() { return *ctx_.debug; }
  std::size_t Capacity() { return St().log.size(); }

  sim::Machine machine_;
  Context ctx_{machine_.platform()};
  ContextScope scope_{ctx_};
};

TEST_F(DebugLogTest, EntriesEndWithOneEmptyLineAndEmptyOnesAreIgnored) {
  DebugLogAddEntry(u"first");
  DebugLogAddEntry(u"");
  DebugLogAddEntry(u"second\r\nline");
  EXPECT_EQ(DebugLogText(), u"first\r\n\r\nsecond\r\nline\r\n\r\n");
  EXPECT_EQ(St().log_used, 25);
}

TEST_F(DebugLogTest, BufferGrowsInWholeChunksAndNeverPerEntry) {
  EXPECT_EQ(Capacity(), 0u);
  DebugLogAddEntry(std::u16string(995, u'a'));  // 999 with its CR LF CR LF
  EXPECT_EQ(Capacity(), 1000u);
  DebugLogAddEntry(u"b");
  EXPECT_EQ(Capacity(), 2000u);
  for (int i = 0; i < 100; ++i) DebugLogAddEntry(u"c");  // 500 more: still room
  EXPECT_EQ(Capacity(), 2000u);
  DebugLogAddEntry(std::u16string(2500, u'd'));  // one step, however large the entry
  EXPECT_EQ(Capacity(), 5000u);
  EXPECT_EQ(St().log_used, 999 + 5 + 500 + 2504);
  // The spare capacity is blank, the text is exact.
  EXPECT_EQ(St().log.back(), u' ');
  const std::u16string text = DebugLogText();
  EXPECT_EQ(text.size(), 4008u);
  EXPECT_EQ(text.substr(text.size() - 6), u"dd\r\n\r\n");
}

TEST_F(DebugLogTest, AnEntryThatFillsTheBufferExactlyStillGrowsByTheRule) {
  // used + length exceeds the capacity by a whole chunk: one chunk more than that is added.
  DebugLogAddEntry(std::u16string(996, u'a'));
  EXPECT_EQ(Capacity(), 2000u);
}

TEST_F(DebugLogTest, SystemMessagesAreLookedUpOncePerCodeAndCache) {
  EXPECT_EQ(GetSystemMsg(5), u"Access is denied.");
  EXPECT_EQ(GetSystemMsg(5), u"Access is denied.");
  EXPECT_EQ(machine_.CallCount("FormatMessageW"), 1);
  // The second cache is separate.
  EXPECT_EQ(GetSystemMsg(5, true), u"Access is denied.");
  EXPECT_EQ(machine_.CallCount("FormatMessageW"), 2);
  EXPECT_EQ(GetSystemMsg(5, true), u"Access is denied.");
  EXPECT_EQ(machine_.CallCount("FormatMessageW"), 2);
  // A forced look-up asks again.
  EXPECT_EQ(GetSystemMsg(5, false, true), u"Access is denied.");
  EXPECT_EQ(machine_.CallCount("FormatMessageW"), 3);
  EXPECT_EQ(GetSystemMsg(2, false, false, true), u"[2=The system cannot find the file specified.]");
  // A logged API error reuses the cache.
  const std::int32_t id = ProcNew(Value(u"M"), u"P", u"Sub");
  const int before = machine_.CallCount("FormatMessageW");
  machine_.last_error = 2;
  dLogAPI(id, u"CreateFileW");
  machine_.last_error = 2;
  dLogAPI(id, u"CreateFileW");
  EXPECT_EQ(machine_.CallCount("FormatMessageW"), before);
}

TEST_F(DebugLogTest, UnknownCodesGiveTheFailureTextAndAreNotCached) {
  constexpr char16_t kFailure[] =
      u"FormatMessageW failure (lRet=0) Could not retrieve message from system!";
  machine_.last_error = 87;
  EXPECT_EQ(GetSystemMsg(123456), kFailure);
  EXPECT_EQ(GetSystemMsg(123456), kFailure);
  EXPECT_EQ(machine_.CallCount("FormatMessageW"), 2);
  // The look-up's own failure does not replace the caller's last error.
  EXPECT_EQ(machine_.last_error, 87u);
  // Nor does an injected failure poison the cache for later.
  machine_.InjectFault("FormatMessageW", 8, 3);
  EXPECT_EQ(GetSystemMsg(5), kFailure);
  EXPECT_EQ(GetSystemMsg(5), u"Access is denied.");
  // Logged with a failing look-up, the error line still names the number.
  const std::int32_t id = ProcNew(Value(u"M"), u"P", u"Sub");
  machine_.last_error = 123456;
  dLogAPI(id, u"Frob");
  EXPECT_NE(DebugLogText().find(u"Error: API=123456 ,Hex=(1E240) Desc=[FormatMessageW failure"),
            std::u16string::npos);
}

TEST_F(DebugLogTest, DebuggerChannelOnlyWhenSwitchedOn) {
  OutputDebugStringRaw(u"hidden");
  EXPECT_TRUE(machine_.debug_output.empty());
  SetDebugLogSystemOutput(true);
  machine_.last_error = 122;
  OutputDebugStringRaw(u"shown");
  ASSERT_EQ(machine_.debug_output.size(), 1u);
  EXPECT_EQ(machine_.debug_output[0], u"shown");
  EXPECT_EQ(machine_.last_error, 122u);
}

TEST_F(DebugLogTest, ConstructDebugMsgFlowEventsAndErrorLines) {
  EXPECT_EQ(ConstructDebugMsg(Event_ProcEnter, u"M.P.ProcID=3", u"ignored", u"v", 2, 5, u"", 0, u"",
                              u"", false, u"", u"", u""),
            u"M.P.ProcID=3 >> Entered");
  EXPECT_EQ(ConstructDebugMsg(Event_ProcExit, u"M.P.ProcID=3", u"", u"", 0, 0, u"", 0, u"", u"",
                              false, u"", u"", u""),
            u"M.P.ProcID=3 << Exited");
  // An empty API text is looked up; an unlisted type gets its own label.
  EXPECT_EQ(
      ConstructDebugMsg(64, u"id", u"", u"", 0, 5, u"", 0, u"", u"", true, u"a", u"b", u"c\nd"),
      u"id <Other> ByVal=[a]\r\nid <Other> ByRef=[b]\r\nid <Other> Created=[c<LF>d]\r\n"
      u"id <Other> Error: API=5 Desc=[Access is denied.]");
  EXPECT_EQ(ConstructDebugMsg(Event_Normal, u"id", u"", u"", 0, -5, u"neg", 10, u"ten", u"", true,
                              u"", u"", u""),
            u"id <Normal> Error: API=-5 Desc=[neg]\r\nid <Normal> Error: RunTime=10 ,Hex=(A) "
            u"Desc=[ten]");
}

}  // namespace
}  // namespace kes::debug
