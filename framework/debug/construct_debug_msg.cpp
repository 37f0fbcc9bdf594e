// The text of one logged event: a head naming the procedure and the event, then one line per
// field that has something to show.
#include "framework/debug/log_text.h"
#include "framework/debug/tracing.h"
#include "framework/debug/tracing_state.h"
#include "platform/base/u16.h"

namespace kes::debug {
namespace {

// Replaces every non-overlapping occurrence, left to right, as a classic Replace does.
void ReplaceAll(std::u16string& text, std::u16string_view from, std::u16string_view to) {
  std::u16string out;
  std::size_t pos = 0;
  while (true) {
    const std::size_t hit = text.find(from, pos);
    if (hit == std::u16string::npos) break;
    out.append(text, pos, hit - pos);
    out += to;
    pos = hit + from.size();
  }
  if (pos == 0) return;
  out.append(text, pos, std::u16string::npos);
  text = std::move(out);
}

const std::u16string& TypeLabel(const LogLabels& l, std::int32_t type) {
  switch (type) {
    case Event_Normal:
      return l.type_normal;
    case Event_Verbose:
      return l.type_verbose;
    case Event_ErrorHandler:
      return l.type_error_handler;
    case Event_APICallError:
      return l.type_api_error;
    default:
      return l.type_other;
  }
}

// " ,{hex label}{HEX}) " for numbers above 9; small and negative numbers read the same in both.
void AppendHexPart(const LogLabels& l, std::int32_t n, std::u16string& out) {
  if (n <= 9) return;
  out += u',';
  out += l.error_hex;
  out += Hex(static_cast<std::uint32_t>(n));
  out += u") ";
}

}  // namespace

std::u16string EncodeLineBreaks(std::u16string_view text) {
  if (text.find_first_of(u"\r\n") == std::u16string_view::npos) return std::u16string(text);
  std::u16string out;
  out.reserve(text.size() + 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
      out += u"<CRLF>";
      ++i;
    } else if (c == u'\r') {
      out += u"<CR>";
    } else if (c == u'\n') {
      out += u"<LF>";
    } else {
      out += c;
    }
  }
  return out;
}

void MakeNullsVisible(std::u16string& text) {
  if (text.find(u'\0') == std::u16string::npos) return;
  ReplaceAll(text, std::u16string_view(u"\0", 1), u"<NULL>");
  // Runs of NULs (fixed-size buffers, double-NUL lists) fold into one marker.
  while (text.find(u"<NULL><NULL>") != std::u16string::npos) {
    ReplaceAll(text, u"<NULL><NULL>", u"<M_NULL>");
  }
  while (text.find(u"<M_NULL><M_NULL>") != std::u16string::npos) {
    ReplaceAll(text, u"<M_NULL><M_NULL>", u"<M_NULL>");
  }
}

std::u16string ConstructDebugMsg(std::int32_t lEventType, std::u16string_view sIdentifier,
                                 std::u16string_view sMsg, std::u16string_view sVariables,
                                 std::int32_t lProcEventNo, std::int32_t lAPINum,
                                 std::u16string_view sAPIText, std::int32_t lRTNum,
                                 std::u16string_view sRTDesc, std::u16string_view sRTSource,
                                 bool /*bIsError*/, std::u16string_view sByVal,
                                 std::u16string_view sByRef, std::u16string_view sCreated) {
  std::u16string out;
  try {
    const LogLabels& l = State().labels;
    if (lEventType == Event_ProcEnter || lEventType == Event_ProcExit) {
      out = std::u16string(sIdentifier) +
            (lEventType == Event_ProcEnter ? l.proc_entered : l.proc_exited);
      MakeNullsVisible(out);
      return out;
    }
    std::u16string head(sIdentifier);
    if (lProcEventNo != 0) head += u".ProcEventID=" + Dec(lProcEventNo);
    head += TypeLabel(l, lEventType);

    auto line = [&]() -> std::u16string& {
      if (!out.empty()) out += u"\r\n";
      out += head;
      return out;
    };
    auto field = [&](const std::u16string& label, std::u16string_view value, bool encode) {
      if (value.empty()) return;
      line() += label;
      if (encode) {
        out += EncodeLineBreaks(value);
      } else {
        out += value;
      }
      out += u']';
    };
    field(l.field_message, sMsg, false);
    field(l.field_variables, sVariables, true);
    field(l.field_by_val, sByVal, true);
    field(l.field_by_ref, sByRef, true);
    field(l.field_created, sCreated, true);

    if (lAPINum != 0) {
      line() += l.error + l.error_api + Dec(lAPINum) + u" ";
      AppendHexPart(l, lAPINum, out);
      out += l.error_text;
      out += sAPIText.empty() ? GetSystemMsg(lAPINum) : std::u16string(sAPIText);
      out += u']';
    }
    if (lRTNum != 0) {
      line() += l.error + l.error_runtime + Dec(lRTNum) + u" ";
      AppendHexPart(l, lRTNum, out);
      if (!sRTSource.empty()) {
        out += l.error_source;
        out += sRTSource;
        out += u' ';
      }
      out += l.error_text;
      out += sRTDesc;
      out += u']';
    }
    if (out.empty()) line() += l.field_message + u"No Msg Passed!]";
    MakeNullsVisible(out);
  } catch (...) {
  }
  return out;
}

}  // namespace kes::debug
