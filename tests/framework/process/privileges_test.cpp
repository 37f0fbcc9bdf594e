// Switching privileges of the program's own token: the first procedure that enables a privilege
// owns it and only that procedure can disable it again, privileges the account does not hold
// are reported, values outside the table are refused, LUIDs are looked up once, and the token
// handle is always closed.
#include "framework/process/privileges.h"
#include "platform/sim/accounts.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

constexpr char16_t kShutdown[] = u"SeShutdownPrivilege";
constexpr char16_t kDebug[] = u"SeDebugPrivilege";

// Procedure IDs of two callers, as the tracing facility would hand them out.
const Value kRestartProc = std::int32_t{7};
const Value kProcessQueryProc = std::int32_t{9};

class PrivilegesTest : public MachineTest {
 protected:
  PrivilegesTest() { StartupFacts(); }
  void TearDown() override {
    // Every request closes the token it opened, whatever happened.
    EXPECT_EQ(m.OpenHandleCount(), handles_before);
  }

  bool Enabled(const std::u16string& name) const {
    const auto it = m.token.privileges.find(name);
    return it != m.token.privileges.end() && it->second;
  }
  // How often the text occurs in the log written since the last Mark().
  int Count(std::u16string_view text) const { return LogCount(text, mark_); }
  void Mark() { mark_ = debug::DebugLogText().size(); }

  std::size_t handles_before = m.OpenHandleCount();
  std::size_t mark_ = 0;
};

TEST_F(PrivilegesTest, FirstEnablerOwnsThePrivilegeAndOnlyItCanDisableIt) {
  ASSERT_FALSE(Enabled(kShutdown));
  EXPECT_TRUE(SetPrivilegeToken(kRestartProc, kPrivType_Shutdown, true));
  EXPECT_TRUE(Enabled(kShutdown));
  EXPECT_EQ(Count(u"Added to enabled privilege collection."), 1);
  EXPECT_EQ(Count(u"Complete Success (All privileges were adjusted.)"), 1);

  // A second procedure enabling it adjusts the token too but does not become the owner.
  EXPECT_TRUE(SetPrivilegeToken(kProcessQueryProc, kPrivType_Shutdown, true));
  EXPECT_EQ(Count(u"Privilege should already be enabled but is NOT; continuing to enable..."), 1);
  EXPECT_EQ(Count(u"Not updating existing item within the enabled privilege collection."), 1);
  EXPECT_EQ(Count(u"Added to enabled privilege collection."), 1);

  // ...so its disable request is refused and the privilege stays on for the owner.
  const int adjustments = m.CallCount("AdjustTokenPrivileges");
  EXPECT_FALSE(SetPrivilegeToken(kProcessQueryProc, kPrivType_Shutdown, false));
  EXPECT_EQ(
      Count(u"Aborting; call to disable privilege was NOT made by the originating procedure!"), 1);
  EXPECT_TRUE(Enabled(kShutdown));
  EXPECT_EQ(m.CallCount("AdjustTokenPrivileges"), adjustments);

  // The owner disables it and gives up ownership.
  EXPECT_TRUE(SetPrivilegeToken(kRestartProc, kPrivType_Shutdown, false));
  EXPECT_FALSE(Enabled(kShutdown));
  EXPECT_EQ(Count(u"Continuing to disable privilege; call to disable privilege was made by the "
                  u"originating procedure."),
            1);
  EXPECT_EQ(Count(u"Flagged to remove from enabled privilege collection."), 1);
  EXPECT_EQ(Count(u"Removing from enabled privilege collection."), 1);
  EXPECT_FALSE(ctx.privileges.enabled_by.contains(kShutdown));

  // Once nobody owns it, the next enabler becomes the owner.
  EXPECT_TRUE(SetPrivilegeToken(kProcessQueryProc, kPrivType_Shutdown, true));
  EXPECT_EQ(ctx.privileges.enabled_by.at(kShutdown), u"9");

  // The name was looked up once for the whole run.
  EXPECT_EQ(m.CallCount("LookupPrivilegeValueA"), 1);
}

TEST_F(PrivilegesTest, OwnerIsComparedAsTextIgnoringCase) {
  EXPECT_TRUE(SetPrivilegeToken(Value(u"Proc_A"), kPrivType_Debug, true));
  EXPECT_TRUE(SetPrivilegeToken(Value(u"PROC_a"), kPrivType_Debug, false));
  EXPECT_FALSE(Enabled(kDebug));
  // A number and its text are the same caller.
  EXPECT_TRUE(SetPrivilegeToken(kRestartProc, kPrivType_Debug, true));
  EXPECT_TRUE(SetPrivilegeToken(Value(u"7"), kPrivType_Debug, false));
}

TEST_F(PrivilegesTest, DisablingAPrivilegeNeverEnabledHereAdjustsTheToken) {
  m.token.privileges[kDebug] = true;  // enabled by someone else before the program ran
  EXPECT_TRUE(SetPrivilegeToken(kProcessQueryProc, kPrivType_Debug, false));
  EXPECT_FALSE(Enabled(kDebug));
  EXPECT_EQ(Count(u"Not flagged to remove from enabled privilege collection."), 1);
  EXPECT_EQ(Count(u"Aborting"), 0);
  EXPECT_TRUE(ctx.privileges.enabled_by.empty());
}

TEST_F(PrivilegesTest, APrivilegeTheAccountDoesNotHoldIsReportedAndNotOwned) {
  // A member of Administrators without elevation holds neither SeDebugPrivilege...
  sim::SignIn(m, u"Admin", sim::TokenKind::FilteredAdministrator);
  EXPECT_FALSE(SetPrivilegeToken(kRestartProc, kPrivType_Debug, true));
  EXPECT_EQ(Count(u"Failure (Not all privileges were adjusted.)"), 1);
  // The system's own answer is in the log too.
  EXPECT_EQ(Count(u"AdjustTokenPrivileges Success"), 1);
  EXPECT_EQ(Count(u"Not all privileges or groups referenced are assigned to the caller."), 1);
  EXPECT_FALSE(m.token.privileges.contains(kDebug));
  EXPECT_TRUE(ctx.privileges.enabled_by.empty());

  // ...but it does hold SeShutdownPrivilege.
  EXPECT_TRUE(SetPrivilegeToken(kRestartProc, kPrivType_Shutdown, true));
  EXPECT_TRUE(Enabled(kShutdown));

  // Not even the system account holds SeCreateTokenPrivilege (9).
  sim::RunAsLocalSystem(m);
  EXPECT_FALSE(SetPrivilegeToken(kRestartProc, 9, true));
}

TEST_F(PrivilegesTest, PrivTypeOutsideTheTableIsRefusedBeforeTouchingTheToken) {
  for (const std::int32_t bad : {36, -1, 1000}) {
    Mark();
    EXPECT_FALSE(SetPrivilegeToken(kRestartProc, bad, true)) << bad;
    EXPECT_EQ(Count(u"Aborting; GetLUIDForPrivilege/LookupPrivilegeValueA Failure"), 1) << bad;
  }
  EXPECT_EQ(m.CallCount("LookupPrivilegeValueA"), 0);
  EXPECT_EQ(m.CallCount("AdjustTokenPrivileges"), 0);
  EXPECT_TRUE(ctx.privileges.enabled_by.empty());
}

TEST_F(PrivilegesTest, RestoreAndBackupPairIsOneRequestUnderItsOwnName) {
  EXPECT_TRUE(SetPrivilegeToken(kRestartProc, kPrivType_RestoreAndBackup, true));
  EXPECT_TRUE(Enabled(u"SeRestorePrivilege"));
  EXPECT_TRUE(Enabled(u"SeBackupPrivilege"));
  EXPECT_EQ(ctx.privileges.enabled_by.at(u"SeRestorePrivilege_SeBackupPrivilege"), u"7");
  EXPECT_EQ(m.CallCount("LookupPrivilegeValueA"), 2);

  // The pair's own lookups are not remembered: it asks again...
  EXPECT_FALSE(SetPrivilegeToken(kProcessQueryProc, kPrivType_RestoreAndBackup, false));
  EXPECT_EQ(m.CallCount("LookupPrivilegeValueA"), 4);
  EXPECT_TRUE(SetPrivilegeToken(kRestartProc, kPrivType_RestoreAndBackup, false));
  EXPECT_FALSE(Enabled(u"SeRestorePrivilege"));
  EXPECT_FALSE(Enabled(u"SeBackupPrivilege"));
  EXPECT_EQ(m.CallCount("LookupPrivilegeValueA"), 6);

  // ...until single requests have looked both names up.
  EXPECT_TRUE(SetPrivilegeToken(kRestartProc, kPrivType_Restore, true));
  EXPECT_TRUE(SetPrivilegeToken(kRestartProc, kPrivType_Backup, true));
  EXPECT_EQ(m.CallCount("LookupPrivilegeValueA"), 8);
  EXPECT_TRUE(SetPrivilegeToken(kRestartProc, kPrivType_RestoreAndBackup, true));
  EXPECT_EQ(m.CallCount("LookupPrivilegeValueA"), 8);
}

TEST_F(PrivilegesTest, AFailedLookupGivesUpAndIsAskedAgainNextTime) {
  // SeUnsolicitedInputPrivilege has a name in the table but no privilege behind it.
  EXPECT_FALSE(SetPrivilegeToken(kRestartProc, 35, true));
  EXPECT_EQ(Count(u"Msg=[LookupPrivilegeValueA Failure]"), 1);
  EXPECT_EQ(Count(u"A specified privilege does not exist."), 1);
  EXPECT_EQ(Count(u"Aborting; GetLUIDForPrivilege/LookupPrivilegeValueA Failure"), 1);
  EXPECT_FALSE(SetPrivilegeToken(kRestartProc, 35, true));
  EXPECT_EQ(m.CallCount("LookupPrivilegeValueA"), 2);
  EXPECT_EQ(m.CallCount("AdjustTokenPrivileges"), 0);

  // A lookup of the pair that fails stops at once, naming the constant it was after.
  Mark();
  m.InjectFault("LookupPrivilegeValueA", platform::kRPC_S_SERVER_UNAVAILABLE, 4);
  EXPECT_FALSE(SetPrivilegeToken(kRestartProc, kPrivType_RestoreAndBackup, true));
  EXPECT_EQ(Count(u"SE_BACKUP_NAME"), 1);
  EXPECT_FALSE(Enabled(u"SeRestorePrivilege"));
}

TEST_F(PrivilegesTest, EveryTableNameIsAPrivilegeWindowsKnows) {
  for (std::int32_t type = 1; type <= kPrivType_Last; ++type) {
    platform::LUID luid;
    platform::TOKEN_PRIVILEGES tp;
    const bool known = GetLUIDForPrivilege(PrivilegeName(type), luid, tp, u"");
    EXPECT_EQ(known, type != 35) << Utf8(PrivilegeName(type));
    EXPECT_EQ(tp.PrivilegeCount, known ? 1u : 0u);
  }
  EXPECT_EQ(PrivilegeName(0), u"");
  EXPECT_EQ(PrivilegeName(kPrivType_Last + 1), u"");
}

TEST_F(PrivilegesTest, GetLUIDForPrivilegeAppendsUpToTheBuffersCapacity) {
  platform::TOKEN_PRIVILEGES tp;
  platform::LUID slot;
  EXPECT_TRUE(GetLUIDForPrivilege(kShutdown, slot, tp, u""));
  EXPECT_TRUE(GetLUIDForPrivilege(kShutdown, slot, tp, u""));
  EXPECT_EQ(tp.PrivilegeCount, 2u);
  EXPECT_EQ(tp.Privileges[1].Luid.LowPart, slot.LowPart);
  EXPECT_NE(slot.LowPart, 0u);
  tp.PrivilegeCount = platform::kTokenPrivilegesCapacity;
  EXPECT_FALSE(GetLUIDForPrivilege(kShutdown, slot, tp, u""));
  EXPECT_EQ(tp.PrivilegeCount, platform::kTokenPrivilegesCapacity);
  EXPECT_EQ(Count(u"The token privileges buffer is full; not added."), 1);

  // Another computer that cannot be reached.
  EXPECT_FALSE(GetLUIDForPrivilege(kDebug, slot, tp, u"\\\\FAR-AWAY"));
  EXPECT_EQ(Count(u"The RPC server is unavailable."), 1);
}

TEST_F(PrivilegesTest, FailedAdjustmentOrTokenLeavesNoOwner) {
  m.InjectFault("AdjustTokenPrivileges", platform::kERROR_ACCESS_DENIED, 1);
  EXPECT_FALSE(SetPrivilegeToken(kRestartProc, kPrivType_Shutdown, true));
  EXPECT_EQ(Count(u"AdjustTokenPrivileges Failure"), 1);
  EXPECT_TRUE(ctx.privileges.enabled_by.empty());
  EXPECT_FALSE(Enabled(kShutdown));

  // A token that does not open shows up as the failed adjustment of no token.
  Mark();
  m.InjectFault("OpenProcessToken", platform::kERROR_ACCESS_DENIED,
                m.CallCount("OpenProcessToken") + 1);
  EXPECT_FALSE(SetPrivilegeToken(kRestartProc, kPrivType_Shutdown, true));
  EXPECT_EQ(Count(u"AdjustTokenPrivileges Failure"), 1);
  EXPECT_EQ(Count(u"The handle is invalid."), 1);
  EXPECT_TRUE(ctx.privileges.enabled_by.empty());

  // The next request works.
  EXPECT_TRUE(SetPrivilegeToken(kRestartProc, kPrivType_Shutdown, true));
}

}  // namespace
}  // namespace kes
