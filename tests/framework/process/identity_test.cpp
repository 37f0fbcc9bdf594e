// Who the program runs as: administrator rights as the process token has them (a non-elevated
// administrator has none), the account's privilege level, Microsoft accounts (Windows 8 and
// later only), the system account and the preinstallation environment, and the user name.
#include <algorithm>

#include "framework/process/identity.h"
#include "platform/sim/accounts.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

class IdentityTest : public MachineTest {
 protected:
  IdentityTest() {
    AppEnv& e = StartupFacts();
    e.API_CheckTokenMembership = e.API_IsUserAnAdmin = true;
    e.Win8_OrNewer = true;
    e.Name_CurrentUser = u"Admin";
  }
  void TearDown() override {
    // Every SID and account record handed out was freed again.
    EXPECT_EQ(m.security_allocations, 0);
  }
  // A Windows 7 SP1 machine, as version detection would describe it.
  void MakeWindows7() {
    m.facts.version.dwMajorVersion = 6;
    m.facts.version.dwMinorVersion = 1;
    m.facts.version.dwBuildNumber = 7601;
    Env().Win8_OrNewer = false;
  }
};

// ---- administrator rights ---------------------------------------------------------------

TEST_F(IdentityTest, ElevatedAdministratorHasAdministratorRights) {
  EXPECT_TRUE(IsCurrentUserAnAdmin());
  bool failed = true;
  EXPECT_TRUE(CheckTokenForAdmin(failed));
  EXPECT_FALSE(failed);
  EXPECT_EQ(GetUserAccountType(u""), kAccountType_Administrator);
  EXPECT_TRUE(IsAdminAccount(u"  Admin "));
}

TEST_F(IdentityTest, NonElevatedAdministratorHasNoAdministratorRights) {
  sim::SignIn(m, u"Admin", sim::TokenKind::FilteredAdministrator);
  // The membership check sees the filtered token...
  EXPECT_FALSE(IsCurrentUserAnAdmin());
  bool failed = true;
  EXPECT_FALSE(CheckTokenForAdmin(failed));
  EXPECT_FALSE(failed);
  // ...and the account is an administrator account this process holds no rights of.
  EXPECT_EQ(GetUserAccountType(u""), kAccountType_AdministratorNotElevated);
  EXPECT_EQ(GetUserAccountType(u"Admin"), 1002);
  EXPECT_FALSE(IsAdminAccount(u"Admin"));
}

TEST_F(IdentityTest, StandardUsersAndGuestsHaveTheirOwnLevels) {
  sim::AddLocalAccount(m, u"Bob", false);
  sim::SignIn(m, u"Bob", sim::TokenKind::StandardUser);
  Env().Name_CurrentUser = u"Bob";
  EXPECT_FALSE(IsCurrentUserAnAdmin());
  EXPECT_EQ(GetUserAccountType(u""), kAccountType_User);
  EXPECT_EQ(GetUserAccountType(u"Guest"), kAccountType_Guest);
  // Asked from Bob's unelevated process, Admin is an administrator without rights here.
  EXPECT_EQ(GetUserAccountType(u"Admin"), kAccountType_AdministratorNotElevated);
}

TEST_F(IdentityTest, UnknownAccountIsAGuestWithTheReasonLogged) {
  EXPECT_EQ(GetUserAccountType(u"Nobody"), kAccountType_Guest);
  EXPECT_TRUE(LogHas(u"NetUserGetInfo failure!"));
  EXPECT_TRUE(LogHas(u"Nobody"));
  EXPECT_TRUE(LogHas(u"2221"));
  EXPECT_TRUE(LogHas(u"The user name could not be found."));
  EXPECT_FALSE(IsAdminAccount(u"Nobody"));
}

TEST_F(IdentityTest, WithoutCheckTokenMembershipTheAccountTypeDecides) {
  Env().API_CheckTokenMembership = false;
  EXPECT_TRUE(IsCurrentUserAnAdmin());
  EXPECT_TRUE(LogHas(u"CheckTokenMembership API is not available!"));
  EXPECT_EQ(m.CallCount("CheckTokenMembership"), 0);

  // The account type answers for a non-elevated administrator too: 1002 is no administrator.
  sim::SignIn(m, u"Admin", sim::TokenKind::FilteredAdministrator);
  EXPECT_FALSE(IsCurrentUserAnAdmin());

  // Without IsUserAnAdmin either, nothing can tell: no rights.
  sim::SignIn(m, u"Admin", sim::TokenKind::ElevatedAdministrator);
  Env().API_IsUserAnAdmin = false;
  EXPECT_FALSE(IsCurrentUserAnAdmin());
  EXPECT_TRUE(LogHas(u"IsUserAnAdmin API is not available!"));
}

TEST_F(IdentityTest, MembershipCallThatCannotRunFallsBackOnTheAccountType) {
  // The start-up probe found the entry point, but the call cannot reach it.
  auto& advapi = m.libraries[u"advapi32.dll"];
  advapi.erase(std::remove(advapi.begin(), advapi.end(), "CheckTokenMembership"), advapi.end());
  bool failed = false;
  EXPECT_FALSE(CheckTokenForAdmin(failed));
  EXPECT_TRUE(failed);
  EXPECT_TRUE(LogHas(u"Can't find DLL entry point CheckTokenMembership in advapi32"));

  EXPECT_TRUE(IsCurrentUserAnAdmin());
  EXPECT_TRUE(LogHas(u"Failed CheckTokenForAdmin API method!"));
  EXPECT_GE(m.CallCount("NetUserGetInfo"), 1);
}

TEST_F(IdentityTest, ASidThatCannotBeBuiltMeansNoRightsWithoutFallback) {
  m.InjectFault("AllocateAndInitializeSid", platform::kERROR_NOT_ENOUGH_MEMORY);
  bool failed = true;
  EXPECT_FALSE(CheckTokenForAdmin(failed));
  EXPECT_FALSE(failed);
  EXPECT_TRUE(LogHas(u"AllocateAndInitializeSid"));
  EXPECT_FALSE(IsCurrentUserAnAdmin());
  EXPECT_EQ(m.CallCount("CheckTokenMembership"), 0);
  EXPECT_EQ(m.CallCount("NetUserGetInfo"), 0);
}

TEST_F(IdentityTest, SystemAccountHasAdministratorRightsButNoLocalAccount) {
  sim::RunAsLocalSystem(m);
  EXPECT_TRUE(IsCurrentUserAnAdmin());
  // SYSTEM is not an account of the local account database.
  EXPECT_EQ(GetUserAccountType(u"SYSTEM"), kAccountType_Guest);
}

// ---- Microsoft accounts -----------------------------------------------------------------

TEST_F(IdentityTest, MicrosoftAccountIsRecognisedOnWindows8AndLater) {
  ASSERT_TRUE(sim::ConnectMicrosoftAccount(m, u"Admin", u"kestrune.user@outlook.com"));
  std::u16string principal = u"stale", provider = u"stale";
  EXPECT_TRUE(IsMicrosoftAccount(u"", principal, provider));
  EXPECT_EQ(principal, u"kestrune.user@outlook.com");
  EXPECT_EQ(provider, u"MicrosoftAccount");
  EXPECT_TRUE(IsMicrosoftAccount(u" admin ", principal, provider));

  // A plain local account is none, and its texts are cleared.
  sim::AddLocalAccount(m, u"Local", true);
  EXPECT_FALSE(IsMicrosoftAccount(u"Local", principal, provider));
  EXPECT_EQ(principal, u"");
  EXPECT_EQ(provider, u"");
}

TEST_F(IdentityTest, OnWindows7ThereAreNoMicrosoftAccountsAndNothingIsAsked) {
  MakeWindows7();
  ASSERT_TRUE(sim::ConnectMicrosoftAccount(m, u"Admin", u"kestrune.user@outlook.com"));
  std::u16string principal = u"stale", provider = u"stale";
  EXPECT_FALSE(IsMicrosoftAccount(u"", principal, provider));
  EXPECT_EQ(principal, u"");
  EXPECT_EQ(provider, u"");
  EXPECT_EQ(m.CallCount("NetUserGetInfo"), 0);
}

TEST_F(IdentityTest, AccountRecordThatCannotBeReadIsNoMicrosoftAccount) {
  std::u16string principal, provider;
  EXPECT_FALSE(IsMicrosoftAccount(u"Nobody", principal, provider));
  EXPECT_TRUE(LogHas(u"NetUserGetInfo failure!"));

  // A system that claims Windows 8 but has no level 24 (Wine answers so) is asked and refuses.
  m.facts.version.dwMajorVersion = 6;
  m.facts.version.dwMinorVersion = 1;
  ASSERT_TRUE(sim::ConnectMicrosoftAccount(m, u"Admin", u"kestrune.user@outlook.com"));
  EXPECT_FALSE(IsMicrosoftAccount(u"", principal, provider));
  EXPECT_TRUE(LogHas(u"The system call level is not correct."));
}

// ---- system account and user name ---------------------------------------------------------

TEST_F(IdentityTest, SystemAccountIsTheComputersOwnNameWithADollar) {
  EXPECT_FALSE(IsSystemAccount());
  sim::RunAsLocalSystem(m);
  EXPECT_TRUE(IsSystemAccount());
  m.SetEnv(u"USERNAME", u"kes-pc$");  // letter case does not matter
  EXPECT_TRUE(IsSystemAccount());
  m.SetEnv(u"USERNAME", u"KES-PC");  // the computer name alone is an ordinary user's name
  EXPECT_FALSE(IsSystemAccount());
}

TEST_F(IdentityTest, NoUserNameMeansTheSystemAccount) {
  m.environment.erase(u"USERNAME");
  EXPECT_TRUE(IsSystemAccount());
  m.SetEnv(u"USERNAME", u"");
  EXPECT_TRUE(IsSystemAccount());
}

TEST_F(IdentityTest, SystemDriveXMeansAPreinstallationEnvironmentForAnyUser) {
  m.SetEnv(u"SystemDrive", u"X:");
  EXPECT_TRUE(IsSystemAccount());
  m.SetEnv(u"SystemDrive", u"x:");
  EXPECT_TRUE(IsSystemAccount());
  // Only the drive itself counts, not a path on it or another drive.
  m.SetEnv(u"SystemDrive", u"X:\\");
  EXPECT_FALSE(IsSystemAccount());
  m.SetEnv(u"SystemDrive", u"D:");
  EXPECT_FALSE(IsSystemAccount());
}

TEST_F(IdentityTest, UserNameComesFromTheSystem) {
  EXPECT_EQ(GetMyUserName(), u"Admin");
  sim::RunAsLocalSystem(m);
  EXPECT_EQ(GetMyUserName(), u"SYSTEM");
  // A name that does not fit the 260 characters is refused by the system: empty, logged.
  sim::SignIn(m, std::u16string(260, u'n'), sim::TokenKind::StandardUser);
  EXPECT_EQ(GetMyUserName(), u"");
  EXPECT_TRUE(LogHas(u"GetUserNameW"));
  EXPECT_TRUE(LogHas(u"The data area passed to a system call is too small."));
}

}  // namespace
}  // namespace kes
