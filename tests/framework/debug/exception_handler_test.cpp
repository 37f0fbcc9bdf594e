// Processor faults inside a traced step become error-handler events of the running procedure.
#include "framework/debug/exception_handler.h"
#include "framework/debug/proc.h"
#include "tests/support/machine_fixture.h"

namespace kes::debug {
namespace {

// The faults are real: the operands come from volatile locals so the compiler cannot see them
// coming, and the sanitizers are kept from reporting them before the processor does.
__attribute__((noinline, no_sanitize("address", "undefined"))) int ReadNull() {
  int* volatile p = nullptr;
  return *p;
}

__attribute__((noinline, no_sanitize("address", "undefined"))) int DivideByZero(int dividend) {
  volatile int divisor = 0;
  return dividend / divisor;
}

class FaultTest : public MachineTest {
 protected:
  void TearDown() override { UninstallExceptionHandler(); }
};

TEST_F(FaultTest, NullReadAndDivisionByZeroAreLoggedAndTheProcedureGoesOn) {
  InstallExceptionHandler(-1);
  ASSERT_TRUE(ExceptionHandlerInstalled());
  std::int32_t id = 0;
  int steps_after = 0;
  {
    Proc p(u"KestruneMain", u"DoSafe", Kind::Sub);
    id = p.id();
    volatile int sink = 0;
    EXPECT_FALSE(p.Step([&] { sink = ReadNull(); }, u"reading"));
    ++steps_after;
    EXPECT_FALSE(p.Step([&] { sink = DivideByZero(7); }, u"dividing"));
    ++steps_after;
    // A second fault of the same kind is caught as well (the signal is not left blocked).
    EXPECT_FALSE(p.Step([&] { sink = ReadNull(); }));
    EXPECT_TRUE(p.Step([&] { ++steps_after; }));
    EXPECT_EQ(sink, 0);
  }
  EXPECT_EQ(steps_after, 3);
  const auto events = Record(id).NewEnum();
  ASSERT_EQ(events.size(), 5u);
  for (int i : {1, 2, 3}) {
    EXPECT_EQ(events[i].EventType, Event_ErrorHandler);
    EXPECT_EQ(events[i].RuntimeErrorNum, 10000);
    EXPECT_EQ(events[i].RuntimeErrorSource, u"ExceptionHandler");
  }
  EXPECT_EQ(events[1].RuntimeErrorDesc, u"Access Violation");
  EXPECT_EQ(events[2].RuntimeErrorDesc, u"Integer Divide By Zero");
  EXPECT_EQ(events[4].EventType, Event_ProcExit);
  EXPECT_TRUE(
      LogHas(u"KestruneMain.DoSafe.ProcID=1.ProcEventID=2 <ErrHandler> "
             u"Error: RunTime=10000 ,Hex=(2710) Source=ExceptionHandler "
             u"Desc=[Integer Divide By Zero]"));
}

TEST_F(FaultTest, SelfTestPassesOnThisMachine) {
  EXPECT_EQ(RunFaultSelfTest(), 0);
  // It leaves the translation as it found it.
  EXPECT_FALSE(ExceptionHandlerInstalled());
}

TEST_F(FaultTest, InstallOnceUninstallOnlyWhenInstalled) {
  UninstallExceptionHandler();
  EXPECT_EQ(m.CallCount("RemoveProcessorFaultTranslator"), 0);
  InstallExceptionHandler(-1);
  InstallExceptionHandler(0);
  EXPECT_EQ(m.CallCount("InstallProcessorFaultTranslator"), 1);
  EXPECT_EQ(ctx.debug->exception_filter_result, 0);
  UninstallExceptionHandler();
  UninstallExceptionHandler();
  EXPECT_EQ(m.CallCount("RemoveProcessorFaultTranslator"), 1);
  EXPECT_FALSE(ExceptionHandlerInstalled());
}

TEST_F(FaultTest, RefusedInstallLeavesTheFlagOff) {
  m.InjectFault("InstallProcessorFaultTranslator", 5);
  InstallExceptionHandler(-1);
  EXPECT_FALSE(ExceptionHandlerInstalled());
  EXPECT_EQ(RunFaultSelfTest(), 2);
}

TEST_F(FaultTest, UnknownExceptionCodesAreNamedByTheirNumber) {
  EXPECT_EQ(GetExceptionDescription(0xE06D7363u), u"Unknown (&HE06D7363)");
  EXPECT_EQ(GetExceptionDescription(0xABCDu), u"Unknown (&H0000ABCD)");
  const RuntimeError err = ExceptionHandler(platform::ProcessorFault{0xC0000096u, 0x1234});
  EXPECT_EQ(err.number, 10000);
  EXPECT_EQ(err.source, u"ExceptionHandler");
  EXPECT_EQ(err.description, u"Privileged Instruction");
}

}  // namespace
}  // namespace kes::debug
