// Shared by the version tests: flags written as the names of their facts, and the cumulative
// minimum-flag lists of the client and server orders.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "framework/env/winver.h"
#include "platform/base/u16.h"

namespace kes::version_tests {

using winver::WinFlag;
using winver::WinFlags;

// Flags from a blank-separated list of fact names; an unknown name fails the test.
inline WinFlags Flags(const std::string& names) {
  WinFlags out;
  std::istringstream in(names);
  std::string name;
  while (in >> name) {
    const auto flag = winver::WinFlagByName(U16(name));
    EXPECT_TRUE(flag.has_value()) << "no flag named " << name;
    if (flag) out.set(static_cast<std::size_t>(*flag));
  }
  return out;
}

// The names of the set flags, as DescribeFlags gives them.
inline std::string Names(const WinFlags& flags) {
  return Utf8(winver::DescribeFlags(flags));
}

// The minimum flags, cumulative in their orders.
inline const std::string kC2000 = "Win2000_OrNewer";
inline const std::string kCXP = kC2000 + " WinXP_OrNewer";
inline const std::string kCVista = kCXP + " WinVista_OrNewer";
inline const std::string kC7 = kCVista + " Win7_OrNewer";
inline const std::string kC8 = kC7 + " Win8_OrNewer";
inline const std::string kC81 = kC8 + " Win81_OrNewer";
inline const std::string kC81u1 = kC81 + " Win81u1_OrNewer";
inline const std::string kC10 = kC81u1 + " Win10_OrNewer";
inline const std::string kS2000 = " WinServer2000_OrNewer";
inline const std::string kS2003 = kS2000 + " WinServer2003_OrNewer";
inline const std::string kS2003r2 = kS2003 + " WinServer2003r2_OrNewer";
inline const std::string kS2008 = kS2003r2 + " WinServer2008_OrNewer";
inline const std::string kS2008r2 = kS2008 + " WinServer2008r2_OrNewer";
inline const std::string kS2012 = kS2008r2 + " WinServer2012_OrNewer";
inline const std::string kS2012r2 = kS2012 + " WinServer2012r2_OrNewer";
inline const std::string kS2012r2u1 = kS2012r2 + " WinServer2012r2u1_OrNewer";
inline const std::string kS2016 = kS2012r2u1 + " WinServer2016_OrNewer";

}  // namespace kes::version_tests
