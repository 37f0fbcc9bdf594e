// The data of the Windows version detection: the release table (which release a version record
// names, and which minimum flags it implies) and the product table of GetProductInfo numbers.
// Internal to winver.cpp and its tests.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "framework/env/winver.h"

namespace kes::winver {

// When a row of the release table applies, besides major and minor; rows of one version are
// tried in order and the first that applies wins.
enum class ReleaseCondition {
  kAlways,
  kWorkstation,         // product type 1
  kDomainController,    // product type 2
  kHomeServerSuite,     // suite mask has 0x8000
  kNoServerR2,          // SM_SERVERR2 is 0
  kWorkstationUpdate1,  // product type 1 and Update 1 installed
  kUpdate1,             // Update 1 installed
};

struct ReleaseRow {
  std::uint32_t major;
  int minor;  // -1: any minor version
  ReleaseCondition condition;
  WinFlag release;
  std::optional<WinFlag> also;  // a second flag the release sets (WinHomeServer_Any, Win64bit)
  std::u16string_view name;
  // How many minimum flags of the client order (Win2000_OrNewer, WinXP_OrNewer, ...) and of the
  // server order (WinServer2000_OrNewer, WinServer2003_OrNewer, ...) the release sets, counted
  // from the first of each order.
  int client_minimums;
  int server_minimums;
};

std::span<const ReleaseRow> ReleaseTable();

// The minimum flags in their orders: client 2000, XP, Vista, 7, 8, 8.1, 8.1 Update 1, 10;
// server 2000, 2003, 2003 R2, 2008, 2008 R2, 2012, 2012 R2, 2012 R2 Update 1, 2016.
std::span<const WinFlag> ClientMinimumOrder();
std::span<const WinFlag> ServerMinimumOrder();

struct ProductRow {
  std::uint32_t number;
  std::u16string_view text;
};
// Ordered by number; 0x36 and 0x37 share one text, so the 91 texts take 92 rows.
std::span<const ProductRow> ProductTable();

}  // namespace kes::winver
