// Procedure tracing: records, variable lists, events and how they (and the values behind them)
// read in the debug log.
#include <limits>
#include <stdexcept>

#include "framework/debug/proc.h"
#include "tests/support/machine_fixture.h"

namespace kes::debug {
namespace {

using namespace std::string_literals;

class TracingTest : public MachineTest {
 protected:
  DebugState& St() { return *ctx.debug; }
  AppProcEvent LastEvent(std::int32_t id) { return Record(id).NewEnum().back(); }
  void FailWithRuntimeError(std::int32_t number, std::u16string desc, std::u16string source) {
    SetRuntimeError({number, std::move(desc), std::move(source)});
  }
};

// ---- records -----------------------------------------------------------------------------------

TEST_F(TracingTest, ProceduresGetConsecutiveIdsAndKeepTheirFlowEvents) {
  const std::int32_t a = ProcNew(Value(u"App_Time"), u"NowUTC", u"Function");
  const std::int32_t b = ProcNew(Value(u"App_Registry"), u"RegKeyExist", u"Sub");
  const std::int32_t c = ProcNew(Value(u"App_Env"), u"AppEXE", u"Property");
  const std::int32_t d = ProcNew(Value(u"X"), u"Y", u"sub");  // kinds compare exactly
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);
  EXPECT_EQ(c, 3);
  EXPECT_EQ(d, 4);
  EXPECT_EQ(Record(a).KindCode(), ProcKind_Function);
  EXPECT_EQ(Record(b).KindCode(), ProcKind_Sub);
  EXPECT_EQ(Record(c).KindCode(), ProcKind_Property);
  EXPECT_EQ(Record(d).KindCode(), ProcKind_Unknown);
  EXPECT_EQ(GetProcedureTypeAsString(Record(d).KindCode()), u"Unknown");
  EXPECT_EQ(Record(a).ProcedureSource(), u"App_Time.NowUTC");

  ProcExit(b);
  ProcExit(b);  // a second exit is one more flow event; the record stays registered
  EXPECT_TRUE(ProcExists(b));
  EXPECT_FALSE(ProcExists(5));
  EXPECT_FALSE(ProcExists(0));
  EXPECT_FALSE(ProcExists(-1));

  const auto events = Record(b).NewEnum();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].EventType, Event_ProcEnter);
  EXPECT_EQ(events[0].Procedure_EventID, 1);
  EXPECT_EQ(events[0].Global_EventID, 2);
  EXPECT_EQ(events[0].EventTime, 0);
  EXPECT_EQ(events[1].EventType, Event_ProcExit);
  EXPECT_EQ(events[1].Global_EventID, 5);
  EXPECT_EQ(Record(b).EventCount_NonFlow(), 0);
  EXPECT_EQ(St().TotalProcedures, 4);
  EXPECT_EQ(St().ProceduresExited, 2);
  // Entry and exit live only in the records.
  EXPECT_EQ(DebugLogText(), u"");
}

TEST_F(TracingTest, ProcScopeRegistersAndAlwaysCloses) {
  std::int32_t id = 0;
  {
    Proc p(u"App_Strings", u"StripPath", Kind::Function);
    id = p.id();
    p.Args({u"sFullPathAndFileName", u"C:\\a\\b.txt"});
    p.Result(Value(u"b.txt"));
  }
  const AppProc& rec = Record(id);
  EXPECT_EQ(rec.KindCode(), ProcKind_Function);
  EXPECT_EQ(rec.Vars_Passed_ByVal(), u"sFullPathAndFileName.String=C:\\a\\b.txt");
  EXPECT_EQ(rec.Vars_Function_Result(), u"String=b.txt");
  EXPECT_EQ(rec.NewEnum().back().EventType, Event_ProcExit);
}

TEST_F(TracingTest, NestedProceduresKeepTheirOwnVariableLists) {
  std::int32_t outer_id = 0, inner_id = 0;
  {
    Proc outer(u"App_Registry", u"RegReadValue", Kind::Function);
    outer_id = outer.id();
    outer.Args({u"sKeyPath", u"SOFTWARE\\Quorlen\\Kestrune", u"sValueName", u"BootMode"});
    {
      Proc inner(u"App_Registry", u"AddRegFlagWOW64", Kind::Function);
      inner_id = inner.id();
      inner.Args({u"lFlags", std::int32_t{0x20019}});
      inner.Result(Value(std::int32_t{0x20119}));
    }
    outer.Created({u"hKey", std::int32_t{0}});
    // An error event shows the parameters registered so far.
    outer.Log(u"", Event_ErrorHandler);
    outer.Result(Value(std::int32_t{2}));
  }
  EXPECT_EQ(Record(outer_id).Vars_Passed_ByVal(),
            u"sKeyPath.String=SOFTWARE\\Quorlen\\Kestrune<|#|>sValueName.String=BootMode");
  EXPECT_EQ(Record(outer_id).Vars_Created(), u"hKey.LongInteger=0");
  EXPECT_EQ(Record(outer_id).Vars_Function_Result(), u"LongInteger=2");
  EXPECT_EQ(Record(inner_id).Vars_Passed_ByVal(), u"lFlags.LongInteger=131097");
  EXPECT_EQ(Record(inner_id).Vars_Function_Result(), u"LongInteger=131353");
  EXPECT_TRUE(LogHas(u"<ErrHandler> Created=[hKey.LongInteger=0]"));
  EXPECT_TRUE(LogHas(u"<ErrHandler> ByVal=[sKeyPath.String="));
}

TEST_F(TracingTest, VariableListsAreDescribedAndReplacedPerKind) {
  const std::int32_t id = ProcNew(Value(u"M"), u"P", u"Function");
  ProcVar(id, Var_FunctionReturn, {Value(true)});
  ProcVar(id, Var_PassedByVal, {Value(u"sFile"), Value(u"C:\\a.txt")});
  ProcVar(id, Var_Created, {Value(u"sFile"), Value(u"")});
  ProcVar(id, Var_PassedByRef,
          {Value(u"lCount"), Value(std::int32_t{3}), Value(u"bFound"), Value(false)});
  EXPECT_EQ(Record(id).Vars_Function_Result(), u"Boolean=True");
  EXPECT_EQ(Record(id).Vars_Passed_ByVal(), u"sFile.String=C:\\a.txt");
  EXPECT_EQ(Record(id).Vars_Created(), u"sFile.String=NA");
  EXPECT_EQ(Record(id).Vars_Passed_ByRef(), u"lCount.LongInteger=3<|#|>bFound.Boolean=False");

  // A later list of the same kind replaces the earlier one; the others stay.
  ProcVar(id, Var_PassedByVal, {Value(u"sFile"), Value(u"D:\\b.txt")});
  EXPECT_EQ(Record(id).Vars_Passed_ByVal(), u"sFile.String=D:\\b.txt");
  EXPECT_EQ(Record(id).Vars_Function_Result(), u"Boolean=True");
  EXPECT_EQ(Record(id).Vars_Passed_ByRef(), u"lCount.LongInteger=3<|#|>bFound.Boolean=False");
  // A code that names no field stores nothing.
  ProcVar(id, 3, {Value(u"x")});
  EXPECT_EQ(Record(id).Vars_Passed_ByVal(), u"sFile.String=D:\\b.txt");
  EXPECT_EQ(Record(id).Vars_Returned_ByRef(), u"");

  // A name without its value is shown, not dropped.
  EXPECT_EQ(VarsToText({Value(u"sA"), Value(u"1"), Value(u"sB")}),
            u"sA.String=1<|#|>sB.Empty=Uninitialized");
  EXPECT_EQ(VarsToText({}), u"");
}

TEST_F(TracingTest, ValuesAreNamedByTheirType) {
  EXPECT_EQ(DescribeValue(Value(), u""), u"Empty=Uninitialized");
  EXPECT_EQ(DescribeValue(Value::Null(), u"v"), u"v.Null=No Valid Data");
  EXPECT_EQ(DescribeValue(Value(std::int64_t{1} << 40), u""), u"LongLong=1099511627776");
  EXPECT_EQ(DescribeValue(Value(0.1), u""), u"Double=0.1");
  EXPECT_EQ(DescribeValue(Value(Currency{125000}), u""), u"Currency=12.5");
  EXPECT_EQ(DescribeValue(Value(Currency{-30000}), u""), u"Currency=-3");
  EXPECT_EQ(DescribeValue(Value(Date{42430 + 52205.0 / 86400}), u"dt"),
            u"dt.Date=2016-03-01 14:30:05");
  EXPECT_EQ(DescribeValue(Value(Date{42430.0}), u""), u"Date=2016-03-01");
  EXPECT_EQ(DescribeValue(Value(kes::Record{}), u""), u"UDT=NA");
  EXPECT_EQ(DescribeValue(Value(Array{VarType::String, {Value(u"a")}}), u"vList"),
            u"vList.StringArray=NA");
  // No name is known for 64-bit integer arrays: the tag number tells what it was.
  EXPECT_EQ(DescribeValue(Value(Array{VarType::LongLong, {}}), u""), u"UnknownType_8212=NA");

  EXPECT_EQ(ValueToText(Value(u"App_Time")), u"App_Time");
  EXPECT_EQ(ValueToText(Value(ObjectRef{u"App_Env"})), u"App_Env");
  EXPECT_EQ(ValueToText(Value(Date{0.5})), u"12:00:00");
  EXPECT_EQ(ValueToText(Value()), u"");
}

// ---- events ------------------------------------------------------------------------------------

TEST_F(TracingTest, EntryHasTimeTagAndFieldLinesAndEndsWithOneEmptyLine) {
  const std::int32_t id = ProcNew(Value(u"App_Time"), u"NowUTC", u"Function");
  dLog(id, u"Something happened", Event_Normal, u"lBias=480");
  EXPECT_EQ(DebugLogText(),
            u"14:30:05:123 [NRM] Event\r\n"
            u"App_Time.NowUTC.ProcID=1.ProcEventID=1 <Normal> Msg=[Something happened]\r\n"
            u"App_Time.NowUTC.ProcID=1.ProcEventID=1 <Normal> Vars=[lBias=480]\r\n\r\n");
  const AppProcEvent e = LastEvent(id);
  EXPECT_EQ(e.Procedure_EventID, 2);  // after the entry event
  EXPECT_EQ(e.Global_NonFlow_EventID, 1);
  EXPECT_EQ(e.EventType_EventID, 1);
  EXPECT_EQ(e.EventTime, 143005123);
  EXPECT_FALSE(e.IsError);
  EXPECT_EQ(St().NormalEvents, 1);

  // Nothing to show still says so.
  dLog(id, u"", Event_Normal);
  EXPECT_TRUE(
      LogHas(u"App_Time.NowUTC.ProcID=1.ProcEventID=2 <Normal> Msg=[No Msg Passed!]\r\n"
             u"\r\n"));
}

TEST_F(TracingTest, ExpectedErrorsAreDemotedToVerboseButStayErrors) {
  const std::int32_t id = ProcNew(Value(u"App_FS"), u"FileExists", u"Function");
  FailWithRuntimeError(53, u"File not found", u"App_FS");
  dLog(id, u"Open failed", Event_Normal, u"", Value(u"5,53"));
  // Verbose events are not written while DebugLog_Verbose is off...
  EXPECT_EQ(DebugLogText(), u"");
  const AppProcEvent e = LastEvent(id);
  EXPECT_EQ(e.EventType, Event_Verbose);
  EXPECT_TRUE(e.IsError);
  EXPECT_EQ(e.RuntimeErrorNum, 0);
  EXPECT_EQ(e.EventInfo, u"Open failed  Expected VBError=53 Desc=File not found Source=App_FS");
  EXPECT_EQ(St().VerboseEvents, 1);
  EXPECT_EQ(St().NormalEvents, 0);
  EXPECT_EQ(St().Errors_Outside_ErrorHandler, 1);
  EXPECT_EQ(Record(id).EventCount_ErrorsOutsideHandler(), 1);
  EXPECT_EQ(CurrentRuntimeError().number, 0);

  // ...and are written once it is on.
  SetDebugLogVerbose(true);
  m.last_error = 5;
  dLog(id, u"", Event_Normal, u"", Value(), Value(std::int32_t{5}));
  EXPECT_TRUE(
      LogHas(u" [VRB] Event\r\nApp_FS.FileExists.ProcID=1.ProcEventID=2 <Verbose> "
             u"Msg=[Expected APIError=5 (Access is denied.)]"));
  EXPECT_EQ(LastEvent(id).APIErrorNum, 0);

  // Items are numbers, not substrings.
  FailWithRuntimeError(5, u"Invalid procedure call", u"");
  dLog(id, u"x", Event_Normal, u"", Value(u"15, 50"));
  EXPECT_EQ(LastEvent(id).EventType, Event_Normal);
  EXPECT_EQ(LastEvent(id).RuntimeErrorNum, 5);
  FailWithRuntimeError(5, u"Invalid procedure call", u"");
  dLog(id, u"x", Event_Normal, u"", Value(u" 5 "));
  EXPECT_EQ(LastEvent(id).EventType, Event_Verbose);
}

TEST_F(TracingTest, ErrorNumbersShowHexOnlyAboveNine) {
  const std::int32_t id = ProcNew(Value(u"App_Privileges"), u"EnablePrivilege", u"Function");
  m.last_error = 5;
  EXPECT_EQ(dLogAPI(id, u"OpenProcessToken"), 5);
  EXPECT_TRUE(
      LogHas(u" [API] Event\r\n"
             u"App_Privileges.EnablePrivilege.ProcID=1.ProcEventID=1 <APIError> "
             u"Msg=[OpenProcessToken]\r\n"
             u"App_Privileges.EnablePrivilege.ProcID=1.ProcEventID=1 <APIError> "
             u"Error: API=5 Desc=[Access is denied.]\r\n\r\n"));
  m.last_error = 1314;
  EXPECT_EQ(dLogAPI(id, u"AdjustTokenPrivileges"), 1314);
  EXPECT_TRUE(
      LogHas(u"Error: API=1314 ,Hex=(522) Desc=[A required privilege is not held by the "
             u"client.]"));
  FailWithRuntimeError(-2147024891, u"Automation error", u"WbemScripting");
  dLog(id, u"Query failed", Event_Normal);
  EXPECT_TRUE(LogHas(u"Error: RunTime=-2147024891 Source=WbemScripting Desc=[Automation error]"));
  FailWithRuntimeError(9, u"Subscript out of range", u"");
  dLog(id, u"", Event_Normal);
  EXPECT_TRUE(LogHas(u"Error: RunTime=9 Desc=[Subscript out of range]"));

  // Logging consumed the error: nothing is left for the next call.
  EXPECT_EQ(m.last_error, 0u);
  EXPECT_EQ(dLogAPI(id, u"CloseHandle"), 0);
  EXPECT_EQ(St().APICallErrorEvents, 2);
  EXPECT_EQ(Record(id).EventCount_APIErrors(), 2);
  EXPECT_EQ(St().Errors_Outside_ErrorHandler, 2);
}

TEST_F(TracingTest, OwnNameAsSourceIsLeftOut) {
  const std::int32_t id = ProcNew(Value(u"KestruneMain"), u"DoSafe", u"Sub");
  FailWithRuntimeError(91, u"Object variable not set", u"  KESTRUNE ");
  dLog(id, u"a", Event_Normal);
  FailWithRuntimeError(91, u"Object variable not set", u"Kestrune2");
  dLog(id, u"b", Event_Normal);
  EXPECT_TRUE(LogHas(u"Error: RunTime=91 ,Hex=(5B) Desc=[Object variable not set]"));
  EXPECT_TRUE(
      LogHas(u"Error: RunTime=91 ,Hex=(5B) Source=Kestrune2 Desc=[Object variable not "
             u"set]"));
  EXPECT_EQ(Record(id).NewEnum()[1].RuntimeErrorSource, u"");
}

TEST_F(TracingTest, LineBreaksStayInMessagesAndAreMarkedInVariables) {
  const std::int32_t id = ProcNew(Value(u"M"), u"P", u"Sub");
  dLog(id, u"line1\r\nline2", Event_Normal, u"a\r\nb\rc\nd");
  EXPECT_TRUE(LogHas(u"<Normal> Msg=[line1\r\nline2]\r\n"));
  EXPECT_TRUE(LogHas(u"<Normal> Vars=[a<CRLF>b<CR>c<LF>d]"));
}

TEST_F(TracingTest, NulCharactersAreMadeVisible) {
  const std::int32_t id = ProcNew(Value(u"M"), u"P", u"Sub");
  dLog(id, u"a\0b\0c"s, Event_Normal);
  dLog(id, u"d\0\0e"s, Event_Normal);
  dLog(id, u"f\0"s, Event_Normal);
  dLog(id, u"g\0\0\0\0h"s, Event_Normal);
  EXPECT_TRUE(LogHas(u"Msg=[a<NULL>b<NULL>c]"));
  EXPECT_TRUE(LogHas(u"Msg=[d<M_NULL>e]"));
  EXPECT_TRUE(LogHas(u"Msg=[f<NULL>]"));
  EXPECT_TRUE(LogHas(u"Msg=[g<M_NULL>h]"));
}

TEST_F(TracingTest, IdMinusOneLogsWithoutARecord) {
  const std::int32_t id = ProcNew(Value(u"M"), u"P", u"Sub");
  dLog(-1, u"Pre-CSIDL_PERSONAL", Event_Normal);
  EXPECT_EQ(DebugLogText(),
            u"14:30:05:123 [NRM] Event\r\n-1 <Normal> Msg=[Pre-CSIDL_PERSONAL]\r\n"
            u"\r\n");
  EXPECT_EQ(Record(id).EventCount(), 1);
  EXPECT_EQ(St().procs.size(), 1u);
}

TEST_F(TracingTest, UnregisteredIdsAreReportedOnTheDebuggerChannel) {
  SetDebugLogSystemOutput(true);
  SetDebugLogVerbose(true);
  dLog(99, u"lost", Event_Normal);
  EXPECT_TRUE(LogHas(u"[NRM] Event\r\nErr-0.ProcID=99 <Normal> Msg=[lost]\r\n\r\n"));
  ASSERT_EQ(m.debug_output.size(), 2u);
  EXPECT_EQ(m.debug_output[0],
            u"[]  App_Debug.dLog <Normal> Msg=[Procedure does not exist!]\r\n"
            u"[]  App_Debug.dLog <Normal> Vars=[ProcedureID=99]\r\n");
  EXPECT_EQ(m.debug_output[1], u"[]  Err-0.ProcID=99 <Normal> Msg=[lost]\r\n");

  m.debug_output.clear();
  ProcExit(77);
  ProcVar(55, Var_PassedByVal, {Value(u"sA"), Value(u"x\r\ny")});
  ProcVar(55, Var_FunctionReturn, {});
  ProcVar(-1, Var_PassedByVal, {Value(u"sA"), Value(u"x")});
  ASSERT_EQ(m.debug_output.size(), 3u);
  EXPECT_EQ(m.debug_output[0],
            u"[]  App_Debug.ProcExit <Normal> Msg=[Procedure ID [77] does not exist!]\r\n");
  EXPECT_EQ(m.debug_output[1],
            u"ProcVar:  ProcID [55] does not exist!  Variables_PassedByVal=[sA.String=x<CRLF>y]");
  EXPECT_EQ(m.debug_output[2], u"ProcVar:  ProcID [55] does not exist!");
  EXPECT_TRUE(St().procs.empty());

  // The facility's own problems need both switches; ProcVar's need only the channel.
  m.debug_output.clear();
  SetDebugLogVerbose(false);
  ProcExit(77);
  ProcVar(55, Var_Created, {Value(u"x")});
  ASSERT_EQ(m.debug_output.size(), 1u);
  EXPECT_EQ(m.debug_output[0],
            u"ProcVar:  ProcID [55] does not exist!  Variables_Created=[String=x]");
  SetDebugLogSystemOutput(false);
  ProcVar(55, Var_Created, {Value(u"x")});
  EXPECT_EQ(m.debug_output.size(), 1u);
}

TEST_F(TracingTest, DebuggerCopyMarksEveryIdentifierAndHasNoTimeLine) {
  const std::int32_t id = ProcNew(Value(u"App_Time"), u"NowUTC", u"Function");
  dLog(id, u"quiet", Event_Normal);
  EXPECT_TRUE(m.debug_output.empty());

  SetDebugLogSystemOutput(true);
  dLog(id, u"see app_time.nowutc.procid=1 here", Event_Normal, u"v=1");
  ASSERT_EQ(m.debug_output.size(), 1u);
  EXPECT_EQ(m.debug_output[0],
            u"[]  App_Time.NowUTC.ProcID=1.ProcEventID=2 <Normal> Msg=[see []  "
            u"app_time.nowutc.procid=1 here]\r\n"
            u"[]  App_Time.NowUTC.ProcID=1.ProcEventID=2 <Normal> Vars=[v=1]\r\n");
  St().DebugLog_SystemOutput_Prefix = u"KES";
  dLog(id, u"x", Event_Normal);
  EXPECT_EQ(m.debug_output[1],
            u"[KES]  App_Time.NowUTC.ProcID=1.ProcEventID=3 <Normal> Msg=[x]\r\n");
  // Verbose events stay off both outputs unless DebugLog_Verbose.
  dLog(id, u"detail", Event_Verbose);
  EXPECT_EQ(m.debug_output.size(), 2u);
  EXPECT_FALSE(LogHas(u"detail"));
}

TEST_F(TracingTest, ConstructDebugMsgFlowEventsAndErrorLines) {
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

// ---- the error handler -------------------------------------------------------------------------

TEST_F(TracingTest, FailedStepsBecomeErrorHandlerEventsAndTheProcedureGoesOn) {
  std::int32_t id = 0;
  int reached = 0;
  {
    Proc p(u"App_FS", u"CopyFileEx", Kind::Function);
    id = p.id();
    p.Args({u"sSource", u"C:\\a.txt"});
    EXPECT_FALSE(p.Step(
        [] {
          throw RuntimeErrorException{{76, u"Path not found", u"App_FS"}};
        },
        u"Copying"));
    ++reached;
    EXPECT_FALSE(p.Step([] { throw std::runtime_error("bad state"); }));
    ++reached;
    EXPECT_FALSE(p.Step([] { throw std::bad_alloc(); }));
    ++reached;
    EXPECT_TRUE(p.Step([&] { ++reached; }));
  }
  EXPECT_EQ(reached, 4);
  const auto events = Record(id).NewEnum();
  ASSERT_EQ(events.size(), 5u);  // entry, three failures, exit
  EXPECT_EQ(events[1].EventType, Event_ErrorHandler);
  EXPECT_EQ(events[1].RuntimeErrorNum, 76);
  EXPECT_EQ(events[1].RuntimeErrorDesc, u"Path not found");
  EXPECT_EQ(events[1].RuntimeErrorSource, u"App_FS");
  EXPECT_EQ(events[1].EventInfo, u"Copying");
  EXPECT_FALSE(events[1].IsError);  // handled errors are counted as such, not as stray ones
  EXPECT_EQ(events[2].RuntimeErrorNum, 51);
  EXPECT_EQ(events[2].RuntimeErrorDesc, u"Internal error: bad state");
  EXPECT_EQ(events[3].RuntimeErrorNum, 7);
  EXPECT_EQ(events[3].RuntimeErrorDesc, u"Out of memory");
  EXPECT_EQ(events[4].EventType, Event_ProcExit);
  EXPECT_EQ(St().ErrorHandlerEvents, 3);
  EXPECT_EQ(Record(id).EventCount_ErrorHandler(), 3);
  EXPECT_EQ(St().Errors_Outside_ErrorHandler, 0);
  // Handler entries carry the procedure's parameters.
  EXPECT_TRUE(
      LogHas(u"[ERR] Event\r\n"
             u"App_FS.CopyFileEx.ProcID=1.ProcEventID=1 <ErrHandler> Msg=[Copying]\r\n"
             u"App_FS.CopyFileEx.ProcID=1.ProcEventID=1 <ErrHandler> "
             u"ByVal=[sSource.String=C:\\a.txt]\r\n"
             u"App_FS.CopyFileEx.ProcID=1.ProcEventID=1 <ErrHandler> "
             u"Error: RunTime=76 ,Hex=(4C) Source=App_FS Desc=[Path not found]\r\n\r\n"));
  EXPECT_EQ(CurrentRuntimeError().number, 0);
}

TEST_F(TracingTest, ErrorHandlerReturnsTheSystemErrorFirst) {
  const std::int32_t id = ProcNew(Value(u"M"), u"P", u"Function");
  FailWithRuntimeError(5, u"Invalid procedure call", u"");
  EXPECT_EQ(dLogErrHandler(id, u""), 5);
  m.last_error = 32;
  FailWithRuntimeError(70, u"Permission denied", u"");
  EXPECT_EQ(dLogErrHandler(id, u"copy"), 32);
  const AppProcEvent e = LastEvent(id);
  EXPECT_EQ(e.APIErrorNum, 32);
  EXPECT_EQ(e.RuntimeErrorNum, 70);
  EXPECT_FALSE(e.IsError);
  EXPECT_TRUE(
      LogHas(u"Error: API=32 ,Hex=(20) Desc=[The process cannot access the file because "
             u"it is being used by another process.]"));
  EXPECT_EQ(m.last_error, 0u);
  EXPECT_EQ(dLogErrHandler(id, u"nothing"), 0);
}

// ---- failures inside the facility --------------------------------------------------------------

TEST_F(TracingTest, CounterOverflowEndsTheCallQuietly) {
  St().TotalProcedures = std::numeric_limits<std::int32_t>::max();
  EXPECT_EQ(ProcNew(Value(u"M"), u"P", u"Sub"), 0);
  EXPECT_TRUE(St().procs.empty());
  {
    Proc p(u"M", u"Q", Kind::Sub);  // works on, unregistered
    EXPECT_EQ(p.id(), 0);
    p.Args({u"a", 1});
  }

  St().TotalProcedures = 0;
  const std::int32_t id = ProcNew(Value(u"M"), u"P", u"Sub");
  EXPECT_EQ(id, 1);
  St().NormalEvents = std::numeric_limits<std::int32_t>::max();
  m.last_error = 5;
  FailWithRuntimeError(9, u"x", u"");
  dLog(id, u"lost to the overflow", Event_Normal);
  EXPECT_FALSE(LogHas(u"lost to the overflow"));
  // The errors are consumed all the same.
  EXPECT_EQ(m.last_error, 0u);
  EXPECT_EQ(CurrentRuntimeError().number, 0);
}

TEST_F(TracingTest, CleanupEmptiesTheRegistryButKeepsTheLog) {
  const std::int32_t id = ProcNew(Value(u"M"), u"P", u"Sub");
  dLog(id, u"kept", Event_Normal);
  CleanupDebug();
  EXPECT_FALSE(ProcExists(id));
  EXPECT_TRUE(LogHas(u"Msg=[kept]"));
  EXPECT_EQ(ProcNew(Value(u"M"), u"Again", u"Sub"), 1);
}

TEST_F(TracingTest, RecordAnswersQuestionsAboutItsEvents) {
  const std::int32_t id = ProcNew(Value(u"M"), u"P", u"Sub");
  dLog(id, u"one", Event_Normal);
  m.last_error = 2;
  dLogAPI(id, u"CreateFileW");
  ProcExit(id);
  const AppProc& rec = Record(id);
  EXPECT_EQ(rec.EventCount(), 4);
  EXPECT_EQ(rec.EventCount_By_EventType(kNonFlowEventTypes), 2);
  EXPECT_EQ(rec.EventCount_By_EventType(Event_ProcEnter | Event_ProcExit), 2);
  EXPECT_TRUE(rec.EventExists(4));
  EXPECT_FALSE(rec.EventExists(5));
  EXPECT_EQ(rec.ProcedureEventObject(2)->EventInfo, u"one");
  std::int32_t api = -1, vb = -1;
  const auto last = rec.LastErrorEvent(&api, &vb);
  ASSERT_TRUE(last.has_value());
  EXPECT_EQ(last->Procedure_EventID, 3);
  EXPECT_EQ(api, 2);
  EXPECT_EQ(vb, 0);
  const std::u16string dump = rec.Dump_Event(u"", kNonFlowEventTypes);
  EXPECT_NE(dump.find(u"M.P.ProcID=1.ProcEventID=3 Type=32"), std::u16string::npos);
  EXPECT_EQ(dump.find(u"Type=4"), std::u16string::npos);
}

TEST_F(TracingTest, LabelsComeFromStartUp) {
  LogLabels labels;
  labels.entry = u"Evt";
  labels.tag_normal = u"(N)";
  labels.type_normal = u" | ";
  labels.field_message = u"M:[";
  labels.separator_inner = u"##";
  SetLogLabels(labels);
  EXPECT_EQ(VarSeparator(), u"<##> ");
  const std::int32_t id = ProcNew(Value(u"M"), u"P", u"Sub");
  dLog(id, u"hi", Event_Normal);
  EXPECT_EQ(DebugLogText(), u"14:30:05:123 (N) Evt\r\nM.P.ProcID=1.ProcEventID=1 | M:[hi]\r\n\r\n");
  labels.separator_inner = u"LONGER";
  SetLogLabels(labels);
  EXPECT_EQ(VarSeparator(), u"<LONG");
}

TEST_F(TracingTest, TimeTexts) {
  std::u16string text;
  std::int32_t number = 0;
  TimeStampNow(text, number, true);
  EXPECT_EQ(text, u"14:30:05:123");
  EXPECT_EQ(number, 143005123);
  TimeStampNow(text, number, false);
  EXPECT_EQ(text, u"14:30:05");
  EXPECT_EQ(number, 143005);
  EXPECT_EQ(PerfTimer_MakeTimePretty(3723004, true), u"01:02:03.004");
  EXPECT_EQ(PerfTimer_MakeTimePretty(3723004, false), u"01:02:03");
}

}  // namespace
}  // namespace kes::debug
