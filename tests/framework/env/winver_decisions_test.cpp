// The version decisions as pure functions of the numbers: releases outside the table, the order
// of the conditions of one version, the signed build number, Update 1 from "BuildLabEx", the
// product table and the WMI fallback texts, the editions before Vista and the boot mode.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "framework/env/winver.h"
#include "framework/env/winver_tables.h"
#include "platform/base/u16.h"
#include "tests/framework/env/winver_flags.h"

namespace kes::version_tests {
namespace {

TEST(WinVersionDecisions, CleanBootValuesOutsideTheThreeSetNoBootMode) {
  EXPECT_EQ(Names(winver::BootModeFlags(0)), "WinMode_Normal");
  EXPECT_EQ(Names(winver::BootModeFlags(1)), "WinMode_Safe");
  EXPECT_EQ(Names(winver::BootModeFlags(2)), "WinMode_SafeNet");
  EXPECT_TRUE(winver::BootModeFlags(3).none());
  EXPECT_TRUE(winver::BootModeFlags(-1).none());
}

TEST(WinVersionDecisions, VersionsWithoutAReleaseGetNoFlagsAndNoName) {
  const std::pair<std::uint32_t, std::uint32_t> versions[] = {{5, 3}, {6, 4}, {6, 9},  {7, 0},
                                                              {8, 1}, {9, 0}, {11, 0}, {3, 51}};
  for (const auto& [major, minor] : versions) {
    for (int product_type : {1, 2, 3}) {
      const auto d = winver::DecideRelease(major, minor, product_type, 0x8000, 1, true);
      EXPECT_TRUE(d.flags.none()) << major << "." << minor << " " << Names(d.flags);
      EXPECT_TRUE(d.name.empty()) << major << "." << minor;
    }
  }
  // Any minor version of 10 is still 10.
  EXPECT_EQ(winver::DecideRelease(10, 5, 1, 0, 0, false).name, u"Windows 10");
}

TEST(WinVersionDecisions, ConditionsOfOneVersionAreTriedInOrder) {
  // 5.1 domain controller: XP with the first server minimum.
  EXPECT_EQ(Names(winver::DecideRelease(5, 1, 2, 0, 0, false).flags),
            Names(Flags("WinXP " + kCXP + kS2000)));
  // The Home Server suite wins over the product type, even a workstation's.
  EXPECT_EQ(winver::DecideRelease(5, 2, 1, 0x8000, 0, false).name, u"Windows Home Server");
  EXPECT_EQ(winver::DecideRelease(6, 1, 1, 0x8000, 0, false).name, u"Windows Home Server 2011");
  // XP x64 is told apart by its product type before the R2 metric is looked at.
  EXPECT_EQ(Names(winver::DecideRelease(5, 2, 1, 0, 1, false).flags),
            Names(Flags("WinXP64 Win64bit " + kCXP)));
  // 5.0 server and domain controller.
  EXPECT_EQ(winver::DecideRelease(5, 0, 2, 0, 0, false).name, u"Windows Server 2000");
  // Update 1 only counts on 6.3.
  EXPECT_EQ(winver::DecideRelease(6, 2, 1, 0, 0, true).name, u"Windows 8");
}

TEST(WinVersionDecisions, BuildNumberIsItsLowWordReadAsSigned) {
  EXPECT_EQ(winver::BuildNumber16(19045), 19045);
  EXPECT_EQ(winver::BuildNumber16(32767), 32767);
  EXPECT_EQ(winver::BuildNumber16(32768), -32768);
  EXPECT_EQ(winver::BuildNumber16(40000), -25536);
  EXPECT_EQ(winver::BuildNumber16(0xFFFF), -1);
  // Windows 98 SE: 4.10 in the high word.
  EXPECT_EQ(winver::BuildNumber16(0x040A08AE), 2222);
}

TEST(WinVersionDecisions, Update1NeedsASecondFieldOf17031OrMore) {
  struct Case {
    const char16_t* lab;
    bool update1;
  };
  const Case cases[] = {
      {u"9600.17031.amd64fre.winblue_gdr.140221-1952", true},
      {u"9600.17050.x86fre.winblue_gdr.140305-1710", true},
      {u"9600.16384.amd64fre.winblue_rtm.130821-1623", false},
      {u"9600.17030.amd64fre", false},
      {u"9600.17031", true},
      {u"9600. 17031 .x", true},  // blanks around the number are allowed
      {u"9600", false},           // no second field
      {u"9600..17031", false},    // an empty second field is no number
      {u"9600.17031a.x", false},
      {u"9600.x17031", false},
      {u"9600.99999999999.x", false},  // beyond 32 bits
      {u"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(winver::HasUpdate1(c.lab), c.update1) << Utf8(c.lab);
}

TEST(WinVersionTables, ProductTableIsSortedAndHasExactlyTheListedNumbers) {
  const auto table = winver::ProductTable();
  ASSERT_EQ(table.size(), 92u);  // 91 texts; 0x36 and 0x37 share one
  std::set<std::u16string_view> texts;
  for (std::size_t i = 0; i < table.size(); ++i) {
    texts.insert(table[i].text);
    if (i > 0) {
      EXPECT_LT(table[i - 1].number, table[i].number) << "row " << i;
    }
  }
  EXPECT_EQ(texts.size(), 91u);
  std::set<std::uint32_t> unlisted = {0x39, 0x3A, 0x41, 0x4E, 0x61, 0x66, 0x7C, 0x7F, 0x80, 0x84};
  for (std::uint32_t n = 0x49; n <= 0x4B; ++n) unlisted.insert(n);
  for (std::uint32_t n = 0x51; n <= 0x53; ++n) unlisted.insert(n);
  for (std::uint32_t n = 0x55; n <= 0x5E; ++n) unlisted.insert(n);
  for (std::uint32_t n = 0x69; n <= 0x78; ++n) unlisted.insert(n);
  for (std::uint32_t n = 0; n <= 0x200; ++n) {
    const bool known = winver::ProductSKUText(n).has_value();
    EXPECT_EQ(known, n <= 0x85 && unlisted.count(n) == 0) << "0x" << std::hex << n;
  }
  EXPECT_FALSE(winver::ProductSKUText(0xABCDABCD).has_value());
  EXPECT_EQ(*winver::ProductSKUText(0x00), u"Undefined");
  EXPECT_EQ(*winver::ProductSKUText(0x37), u"Server For SB Solutions EM");
  EXPECT_EQ(*winver::ProductSKUText(0x85), u"Mobile Enterprise");
}

TEST(WinVersionDecisions, StarterAndMediaCenterProductsSetTheirEditionFlags) {
  for (std::uint32_t n : {0x0Bu, 0x2Fu, 0x42u})
    EXPECT_EQ(Names(winver::DecideProductEdition(n, u"", -1).flags), "WinEdition_Starter") << n;
  EXPECT_EQ(Names(winver::DecideProductEdition(0x67, u"", -1).flags), "WinEdition_MediaCenter");
  EXPECT_TRUE(winver::DecideProductEdition(0x30, u"", -1).flags.none());
  // A WMI answer is not looked at for a known number.
  EXPECT_EQ(winver::DecideProductEdition(0x30, u"Ultimate", 1).text, u"Pro");
}

TEST(WinVersionDecisions, UnknownProductNumbersAreNamedByWmiOrByTheirNumber) {
  struct Case {
    std::u16string_view answer;
    std::int32_t wmi_sku;
    std::u16string_view text;
  };
  const Case cases[] = {
      {u"", -1, u"Undefined (SKU Bit 57)"},
      {u"Ultimate", 1, u"Ultimate"},
      {u"Undefined (SKU Bit 57)", 57, u"Undefined (SKU Bit 57)"},
      {u"Undefined (SKU bit 0)", 0, u"Undefined (API SKU Bit 57 / WMI SKU bit 0)"},
      {u"Undefined (sku BIT 99)", 99, u"Undefined (API SKU Bit 57 / WMI SKU bit 99)"},
      {u"Undefined (SKU Bit 57)", -1, u"Undefined (SKU Bit 57)"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(winver::DecideProductEdition(0x39, c.answer, c.wmi_sku).text, c.text)
        << Utf8(c.answer);
}

TEST(WinVersionDecisions, LegacyEditionRules) {
  using In = winver::LegacyEditionInput;
  struct Case {
    const char* what;
    In in;
    std::u16string_view text;
    std::string flags;
  };
  auto prodspec = [](std::u16string_view product, bool ehtray = false) {
    In in;
    in.product_type = 1;
    in.prodspec_product = std::u16string(product);
    in.ehtray_exists = ehtray;
    return in;
  };
  auto metrics = [](int type, int r2, int tablet, int media, int starter) {
    In in;
    in.product_type = type;
    in.sm_serverr2 = r2;
    in.sm_tabletpc = tablet;
    in.sm_mediacenter = media;
    in.sm_starter = starter;
    in.prodspec_product = u"Windows XP Professional";
    return in;
  };
  auto build = [](int debug, int dbcs) {
    In in;
    in.product_type = 1;
    in.sm_debug = debug;
    in.sm_dbcsenabled = dbcs;
    in.prodspec_product = u"Windows XP Home Edition";
    return in;
  };
  const Case cases[] = {
      {"R2 domain controller", metrics(2, 1, 0, 0, 0), u"Windows Server 2003 R2", ""},
      {"plain domain controller", metrics(2, 0, 1, 1, 1), u"", ""},
      {"plain R2 server goes through the other rules", metrics(3, 1, 0, 0, 0), u"Professional", ""},
      {"tablet", metrics(1, 0, 1, 1, 1), u"Tablet PC Edition", "WinEdition_TabletPC"},
      {"media center", metrics(1, 0, 0, 1, 1), u"Media Center Edition", "WinEdition_MediaCenter"},
      {"starter", metrics(1, 0, 0, 0, 1), u"Starter Edition", "WinEdition_Starter"},
      {"no prodspec.ini", In{1}, u"Undefined Edition", ""},
      {"home", prodspec(u"Windows XP Home Edition"), u"Home Edition", ""},
      {"media", prodspec(u"windows xp MEDIA center"), u"Media Center Edition", ""},
      {"professional", prodspec(u"Windows XP Professional"), u"Professional", ""},
      {"professional with ehtray", prodspec(u"Windows XP Professional", true),
       u"Media Center Edition", ""},
      {"later match wins", prodspec(u"Home and Professional"), u"Professional", ""},
      {"nothing matches", prodspec(u"Windows Server 2003, Standard Edition"), u"", ""},
      {"debug build", build(1, 0), u"Home Edition (Debug Build)", "WinBuild_Debug"},
      {"DBCS debug build", build(1, 1), u"Home Edition (DBCS Debug Build)",
       "WinBuild_Debug WinBuild_DBCS"},
      {"DBCS build", build(0, 1), u"Home Edition (DBCS)", "WinBuild_DBCS"},
  };
  for (const Case& c : cases) {
    const auto d = winver::DecideLegacyEdition(c.in);
    EXPECT_EQ(d.text, c.text) << c.what;
    EXPECT_EQ(Names(d.flags), Names(Flags(c.flags))) << c.what;
  }
  EXPECT_FALSE(winver::NeedsProdSpec(metrics(2, 0, 0, 0, 0)));
  EXPECT_FALSE(winver::NeedsProdSpec(metrics(1, 0, 0, 1, 0)));
  EXPECT_TRUE(winver::NeedsProdSpec(metrics(3, 1, 0, 0, 0)));
}

}  // namespace
}  // namespace kes::version_tests
