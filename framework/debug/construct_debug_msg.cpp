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

std::u16string ConstructDebugMsg(std::int32_t event_type, std::u16string_view identifier,
                                 std::u16string_view message, std::u16string_view variables,
                                 std::int32_t proc_event_no, std::int32_t api_num,
                                 std::u16string_view api_text, std::int32_t runtime_num,
                                 std::u16string_view runtime_desc,
                                 std::u16string_view runtime_source, bool /*bIsError*/,
                                 std::u16string_view by_val, std::u16string_view by_ref,
                                 std::u16string_view created) {
  std::u16string out;
  try {
    const LogLabels& l = State().labels;
    if (event_type == Event_ProcEnter || event_type == Event_ProcExit) {
      out = std::u16string(identifier) +
            (event_type == Event_ProcEnter ? l.proc_entered : l.proc_exited);
      MakeNullsVisible(out);
      return out;
    }
    std::u16string head(identifier);
    if (proc_event_no != 0) head += u".ProcEventID=" + Dec(proc_event_no);
    head += TypeLabel(l, event_type);

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
    field(l.field_message, message, false);
    field(l.field_variables, variables, true);
    field(l.field_by_val, by_val, true);
    field(l.field_by_ref, by_ref, true);
    field(l.field_created, created, true);

    if (api_num != 0) {
      line() += l.error + l.error_api + Dec(api_num) + u" ";
      AppendHexPart(l, api_num, out);
      out += l.error_text;
      out += api_text.empty() ? GetSystemMsg(api_num) : std::u16string(api_text);
      out += u']';
    }
    if (runtime_num != 0) {
      line() += l.error + l.error_runtime + Dec(runtime_num) + u" ";
      AppendHexPart(l, runtime_num, out);
      if (!runtime_source.empty()) {
        out += l.error_source;
        out += runtime_source;
        out += u' ';
      }
      out += l.error_text;
      out += runtime_desc;
      out += u']';
    }
    if (out.empty()) line() += l.field_message + u"No Msg Passed!]";
    MakeNullsVisible(out);
  } catch (...) {
  }
  return out;
}

}  // namespace kes::debug
