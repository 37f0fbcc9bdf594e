// The temporary administrator for users who sign in with a Microsoft account: offered and
// created only where it is needed (normal mode, Windows 8 and later, a Microsoft account),
// automatic sign-in cleared so the logon screen lets the user pick it, and removed again after
// the return to normal mode - at once by a regular user, or scheduled for the next sign-in when
// the temporary account itself is signed in.
#include <algorithm>

#include "app/accounts.h"
#include "platform/sim/accounts.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using platform::kHKEY_CURRENT_USER;
using platform::kHKEY_LOCAL_MACHINE;

const std::u16string kWinlogon = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const std::u16string kPolicies = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const std::u16string kUserSwitch =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Authentication\\LogonUI\\UserSwitch";

const std::u16string kOfferTempAdmin =
    u"您似乎已登录 Microsoft 帐户, 并且您的密码可能无法在安全模式下运行.\r\n\r\n"
    u"是否要创建一个临时管理员帐户? 以便在您的帐户被锁定的情况下使用 在安全模式?  (强力推荐!)";
const std::u16string kOfferLogoff =
    u"We're back in Normal Mode; are you finished with the temporary admin user?  This "
    u"temporary user will be deleted when you login to your regular user account.\r\n\r\n"
    u"Click YES to Logout.";

// cmd and net from the system folder, cmd without its start hooks.
std::u16string ThroughCmd(std::u16string_view net_args) {
  return u"C:\\Windows\\System32\\cmd.exe /d /c \"C:\\Windows\\System32\\net.exe " +
         std::u16string(net_args) + u"\"";
}
const std::u16string kAddUser = ThroughCmd(u"user Kestrune_TempAdmin /Add");
const std::u16string kAddToAdmins =
    ThroughCmd(u"localgroup Administrators Kestrune_TempAdmin /Add");
const std::u16string kDeleteUser = ThroughCmd(u"user Kestrune_TempAdmin /Delete");

// The auto-logon rows in the order they must be applied, for Windows 8 and later.
const std::vector<std::u16string> kAutoLogonRowsWin8 = {
    u"write hklm AutoAdminLogon",          u"delete hklm HideFastUserSwitching",
    u"delete hklm DisableLockWorkstation", u"delete hkcu HideFastUserSwitching",
    u"delete hkcu DisableLockWorkstation", u"delete hklm DefaultPassword",
    u"delete hklm ForceAutoLogon",         u"write hklm Enabled",
};

class AccountsTest : public MachineTest {
 protected:
  // Windows 10 whose signed-in administrator "Admin" is connected to a Microsoft account.
  void StartWindows10WithMicrosoftAccount(sim::BootMode mode = sim::BootMode::kNormal) {
    Use("win10", mode);
    ASSERT_TRUE(sim::ConnectMicrosoftAccount(m, u"Admin", u"someone@outlook.com"));
    Start();
  }
  // Signed in as the temporary administrator, its name written in another letter case.
  void StartAsTempAdmin(sim::BootMode mode) {
    Use("win10", mode);
    sim::AddLocalAccount(m, u"Kestrune_TempAdmin", true);
    sim::SignIn(m, u"KESTRUNE_TEMPADMIN", sim::TokenKind::ElevatedAdministrator);
    Start();
    ASSERT_EQ(Env().Name_CurrentUser, u"KESTRUNE_TEMPADMIN");
  }
  // Automatic sign-in as someone set it up: every value the procedure removes is there.
  void SeedAutoLogon() {
    auto& r = m.registry();
    r.SetString(kHKEY_LOCAL_MACHINE, kWinlogon, u"AutoAdminLogon", u"1");
    r.SetString(kHKEY_LOCAL_MACHINE, kWinlogon, u"DefaultPassword", u"secret");
    r.SetString(kHKEY_LOCAL_MACHINE, kWinlogon, u"ForceAutoLogon", u"1");
    for (platform::HKEY root : {kHKEY_LOCAL_MACHINE, kHKEY_CURRENT_USER}) {
      r.SetDword(root, kPolicies, u"HideFastUserSwitching", 1);
      r.SetDword(root, kPolicies, u"DisableLockWorkstation", 1);
    }
  }
  // The registry rows written or deleted, in order, as "write|delete root value".
  std::vector<std::u16string> RegistryRows() const {
    std::vector<std::u16string> rows;
    for (const debug::AppProc* p : AllRegistryCalls()) {
      const std::u16string verb = p->ProcName() == u"RegWriteValue" ? u"write " : u"delete ";
      rows.push_back(verb + Field(p->Vars_Passed_ByVal(), u"RootHKEY") + u" " +
                     Field(p->Vars_Passed_ByVal(), u"sValueName"));
    }
    return rows;
  }
  std::vector<const debug::AppProc*> AllRegistryCalls() const {
    return Calls({u"RegWriteValue", u"RegDeleteValue"});
  }
  bool AccountExists(std::u16string_view name) const {
    return sim::FindAccount(m, name) != nullptr;
  }
  void ExpectAutoLogonCleared(bool win8) {
    auto& r = m.registry();
    EXPECT_EQ(r.GetString(kHKEY_LOCAL_MACHINE, kWinlogon, u"AutoAdminLogon"), u"0");
    EXPECT_FALSE(r.GetValue(kHKEY_LOCAL_MACHINE, kWinlogon, u"DefaultPassword"));
    EXPECT_FALSE(r.GetValue(kHKEY_LOCAL_MACHINE, kWinlogon, u"ForceAutoLogon"));
    for (platform::HKEY root : {kHKEY_LOCAL_MACHINE, kHKEY_CURRENT_USER}) {
      EXPECT_FALSE(r.GetValue(root, kPolicies, u"HideFastUserSwitching"));
      EXPECT_FALSE(r.GetValue(root, kPolicies, u"DisableLockWorkstation"));
    }
    if (win8) {
      EXPECT_EQ(r.GetDword(kHKEY_LOCAL_MACHINE, kUserSwitch, u"Enabled"), 1u);
    }
  }
  // Nothing was asked, started or written.
  void ExpectNothingAtAll() const {
    EXPECT_TRUE(m.message_boxes.empty());
    EXPECT_TRUE(StartedByProgram().empty());
    EXPECT_TRUE(AllRegistryCalls().empty());
    EXPECT_TRUE(Calls(u"AddMeToRunOnce").empty());
    EXPECT_FALSE(AccountExists(kTempAdminUser));
  }
};

// ---- offering it -------------------------------------------------------------------------

TEST_F(AccountsTest, MicrosoftAccountUserIsOfferedTheTemporaryAdministrator) {
  StartWindows10WithMicrosoftAccount();
  m.message_box_answers = {platform::kIDYES, platform::kIDNO};
  EXPECT_TRUE(MicrosoftAccountCheck());
  EXPECT_FALSE(MicrosoftAccountCheck());
  ASSERT_EQ(m.message_boxes.size(), 2u);
  EXPECT_EQ(m.message_boxes[0].text, kOfferTempAdmin);
  EXPECT_EQ(m.message_boxes[0].caption, u"Kestrune");
  EXPECT_EQ(m.message_boxes[0].style, 36u);
}

// ---- creating it -------------------------------------------------------------------------

TEST_F(AccountsTest, CreatesTheAccountAsAdministratorAndClearsAutoLogonInOrder) {
  StartWindows10WithMicrosoftAccount();
  SeedAutoLogon();
  CreateTempAdminUser();

  EXPECT_EQ(StartedByProgram(), (std::vector<std::u16string>{kAddUser, kAddToAdmins}));
  const sim::SimAccount* account = sim::FindAccount(m, kTempAdminUser);
  ASSERT_NE(account, nullptr);
  EXPECT_EQ(account->name, kTempAdminUser);
  EXPECT_TRUE(account->password.empty());
  EXPECT_TRUE(sim::IsGroupMember(m, u"Administrators", kTempAdminUser));
  EXPECT_EQ(RegistryRows(), kAutoLogonRowsWin8);
  ExpectAutoLogonCleared(true);
  EXPECT_TRUE(m.message_boxes.empty());
}

TEST_F(AccountsTest, AnAccountThatAlreadyExistsIsOnlyLoggedAndTheRestStillHappens) {
  StartWindows10WithMicrosoftAccount();
  sim::AddLocalAccount(m, u"Kestrune_TempAdmin", false);
  CreateTempAdminUser();
  // "net user ... /Add" refused the existing account (exit code 2, in ShellX's record)...
  const auto shells = Calls(u"ShellX");
  ASSERT_EQ(shells.size(), 2u);
  EXPECT_EQ(Field(shells[0]->Vars_Returned_ByRef(), u"lErrLvl"), u"2");
  // ...and the membership and the auto-logon rows followed regardless.
  EXPECT_TRUE(sim::IsGroupMember(m, u"Administrators", kTempAdminUser));
  EXPECT_EQ(RegistryRows(), kAutoLogonRowsWin8);
}

// ---- deleting it -------------------------------------------------------------------------

TEST_F(AccountsTest, RegularUserDeletesTheAccountAtOnce) {
  StartWindows10WithMicrosoftAccount();
  CreateTempAdminUser();
  ASSERT_TRUE(AccountExists(kTempAdminUser));
  const std::size_t before = StartedByProgram().size();

  DeleteTempAdminUser();
  const std::vector<std::u16string> started = StartedByProgram();
  EXPECT_EQ(std::vector<std::u16string>(started.begin() + before, started.end()),
            std::vector<std::u16string>{kDeleteUser});
  EXPECT_FALSE(AccountExists(kTempAdminUser));
  EXPECT_FALSE(sim::IsGroupMember(m, u"Administrators", kTempAdminUser));
  EXPECT_TRUE(Calls(u"AddMeToRunOnce").empty());
  EXPECT_TRUE(m.message_boxes.empty());
}

TEST_F(AccountsTest, DeletingAMissingAccountIsStillAskedForAndOnlyLogged) {
  Use("win10");
  Start();
  DeleteTempAdminUser();
  EXPECT_EQ(StartedByProgram(), std::vector<std::u16string>{kDeleteUser});
  EXPECT_EQ(Field(Calls(u"ShellX")[0]->Vars_Returned_ByRef(), u"lErrLvl"), u"2");
}

TEST_F(AccountsTest, SignedInAsTheTemporaryAccountSchedulesItsDeletionAndOffersLogoff) {
  StartAsTempAdmin(sim::BootMode::kNormal);
  SeedAutoLogon();
  m.message_box_answers = {platform::kIDYES};
  DeleteTempAdminUser();

  // Not deleted while signed in: the program runs again at the next sign-in to do it.
  EXPECT_TRUE(AccountExists(kTempAdminUser));
  EXPECT_EQ(Field(ArgsOfOnlyCall(u"AddMeToRunOnce"), u"sParam"), u"/DeleteTempAdminUser");
  EXPECT_EQ(Field(ArgsOfOnlyCall(u"AddMeToRunOnce"), u"sEntryName"),
            u"Quorlen Kestrune Mod (Delete Temp Admin User)");
  const auto entry = m.registry().GetString(kHKEY_LOCAL_MACHINE, kRunOnceKey,
                                            u"*Quorlen Kestrune Mod (Delete Temp Admin User)");
  ASSERT_TRUE(entry);
  EXPECT_TRUE(entry->ends_with(u"\"C:\\Tools\\Kestrune.exe\" /DeleteTempAdminUser"))
      << Utf8(*entry);
  ExpectAutoLogonCleared(true);
  ASSERT_EQ(m.message_boxes.size(), 1u);
  EXPECT_EQ(m.message_boxes[0].text, kOfferLogoff);
  EXPECT_EQ(m.message_boxes[0].style, 36u);
  // Yes: a forced logoff.
  ASSERT_EQ(m.shutdown_requests.size(), 1u);
  EXPECT_EQ(m.shutdown_requests[0].kind, sim::ShutdownRequest::Kind::kLogoff);
  EXPECT_EQ(m.shutdown_requests[0].flags, 4u);
  EXPECT_TRUE(StartedByProgram().empty());
}

TEST_F(AccountsTest, SignedInAsTheTemporaryAccountAnsweringNoStaysSignedIn) {
  StartAsTempAdmin(sim::BootMode::kNormal);
  m.message_box_answers = {platform::kIDNO};
  DeleteTempAdminUser();
  EXPECT_EQ(m.message_boxes.size(), 1u);
  EXPECT_TRUE(m.shutdown_requests.empty());
  EXPECT_EQ(Calls(u"AddMeToRunOnce").size(), 1u);
}

TEST_F(AccountsTest, SignedInAsTheTemporaryAccountInSafeModeSchedulesWithoutAsking) {
  StartAsTempAdmin(sim::BootMode::kSafe);
  SeedAutoLogon();
  DeleteTempAdminUser();
  EXPECT_EQ(Calls(u"AddMeToRunOnce").size(), 1u);
  ExpectAutoLogonCleared(true);
  EXPECT_TRUE(m.message_boxes.empty());
  EXPECT_TRUE(m.shutdown_requests.empty());
  EXPECT_TRUE(AccountExists(kTempAdminUser));
}

// ---- through the switches ---------------------------------------------------------------

TEST_F(AccountsTest, SafeModeSwitchCreatesItBeforeTheBootSettingAndNormalDeletesIt) {
  Use("win10");
  ASSERT_TRUE(sim::ConnectMicrosoftAccount(m, u"Admin", u"someone@outlook.com"));
  SeedAutoLogon();
  m.message_box_answers = {platform::kIDYES};  // restart now
  Run(u"/safenet");

  ASSERT_TRUE(AccountExists(kTempAdminUser));
  EXPECT_TRUE(sim::IsGroupMember(m, u"Administrators", kTempAdminUser));
  ExpectAutoLogonCleared(true);
  const std::vector<std::u16string>& ran = m.started_command_lines;
  const auto at = [&](std::u16string_view line) {
    return std::find(ran.begin(), ran.end(), line) - ran.begin();
  };
  ASSERT_LT(at(kAddToAdmins), static_cast<std::ptrdiff_t>(ran.size()));
  EXPECT_LT(at(kAddUser), at(kAddToAdmins));
  EXPECT_LT(at(kAddToAdmins), at(u"bcdedit.exe /set safeboot network"));
  ASSERT_EQ(m.shutdown_requests.size(), 1u);

  // Back in normal mode, the regular user returns to normal boots: the account goes.
  m.message_box_answers = {platform::kIDNO};  // no restart now
  Run(u"/normal");
  EXPECT_FALSE(AccountExists(kTempAdminUser));
  EXPECT_FALSE(sim::IsGroupMember(m, u"Administrators", kTempAdminUser));
}

// ---- where none of it applies ---------------------------------------------------------------

TEST_F(AccountsTest, NothingAtAllOnWindows7) {
  Use("win7");
  Start();
  EXPECT_FALSE(MicrosoftAccountCheck());
  CreateTempAdminUser();
  DeleteTempAdminUser();
  ExpectNothingAtAll();
  // Windows 7 has no Microsoft accounts: the question is not even put to the system.
  EXPECT_TRUE(Calls(u"IsMicrosoftAccount").empty());
}

TEST_F(AccountsTest, NothingAtAllInSafeMode) {
  StartWindows10WithMicrosoftAccount(sim::BootMode::kSafeNetwork);
  ASSERT_FALSE(Env().WinMode_Normal);
  EXPECT_FALSE(MicrosoftAccountCheck());
  CreateTempAdminUser();
  ExpectNothingAtAll();
}

TEST_F(AccountsTest, NothingAtAllForALocalAccount) {
  Use("win10");
  Start();
  EXPECT_FALSE(MicrosoftAccountCheck());
  CreateTempAdminUser();
  ExpectNothingAtAll();
}

// ---- the auto-logon rows -------------------------------------------------------------------

TEST_F(AccountsTest, OnVistaForceAutoLogonGoesButUserSwitchingIsNotWritten) {
  Use("vista");
  Start();
  SeedAutoLogon();
  RemoveWindowsAutoLogon();
  std::vector<std::u16string> rows = kAutoLogonRowsWin8;
  rows.pop_back();
  EXPECT_EQ(RegistryRows(), rows);
  ExpectAutoLogonCleared(false);
  EXPECT_FALSE(m.registry().KeyExists(kHKEY_LOCAL_MACHINE, kUserSwitch));
}

TEST_F(AccountsTest, ARefusedRowIsLoggedAndTheRemainingRowsAreStillApplied) {
  Use("win10");
  Start();
  SeedAutoLogon();
  m.registry().DenyAccess(kHKEY_LOCAL_MACHINE, kPolicies);
  RemoveWindowsAutoLogon();

  EXPECT_EQ(RegistryRows(), kAutoLogonRowsWin8);
  // The guarded values stay, and the log says they could not be removed...
  EXPECT_TRUE(m.registry().GetValue(kHKEY_LOCAL_MACHINE, kPolicies, u"HideFastUserSwitching"));
  EXPECT_EQ(Calls(u"RegDeleteValue")[0]->Vars_Function_Result(), u"Boolean=False");
  EXPECT_TRUE(LogHas(u"Attempting to obtain ownership/permissions over the registry key..."));
  // ...while everything after them was applied.
  EXPECT_FALSE(m.registry().GetValue(kHKEY_CURRENT_USER, kPolicies, u"HideFastUserSwitching"));
  EXPECT_FALSE(m.registry().GetValue(kHKEY_LOCAL_MACHINE, kWinlogon, u"DefaultPassword"));
  EXPECT_EQ(m.registry().GetDword(kHKEY_LOCAL_MACHINE, kUserSwitch, u"Enabled"), 1u);
}

}  // namespace
}  // namespace kes
