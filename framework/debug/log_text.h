// Text building blocks shared by the tracing facility's own files (not for use elsewhere).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "framework/util/value.h"

namespace kes::debug {

// Appends DescribeValue(v, name) to out.
void AppendDescription(const Value& v, std::u16string_view name, std::u16string& out);
// Appends the list text of a name/value array (or of a single value) to out.
void AppendVarsText(const Value* items, std::size_t count, std::u16string& out);
// The same over the items a Proc hands in.
class VarItem;
void AppendVarsText(const VarItem* items, std::size_t count, std::u16string& out);
// CR LF, lone CR and lone LF written as "<CRLF>", "<CR>", "<LF>".
std::u16string EncodeLineBreaks(std::u16string_view text);
// NUL characters made visible as "<NULL>" (runs of them folded into "<M_NULL>").
void MakeNullsVisible(std::u16string& text);
// True when `expected` (one number, or numbers separated by commas) names `code`.
bool ExpectedErrorMatches(const Value& expected, std::int32_t code);
// The general date form of a date value (date part omitted at day 0, time part at midnight).
std::u16string GeneralDateText(double serial);

}  // namespace kes::debug
