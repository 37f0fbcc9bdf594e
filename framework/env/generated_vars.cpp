// The generated-string table of App_Common and its hand-over to the debug log.
#include <array>
#include <string_view>

#include "framework/debug/tracing.h"
#include "framework/env/common_state.h"
#include "framework/env/context.h"
#include "framework/env/startup_helpers.h"

namespace kes {
namespace {

// Slot numbers of the table. The texts are the debug log's labels: short, distinct per event
// type and per field, so that a log reads the same on every machine.
enum Slot : int {
  kEntry = 1,
  kTagNormal,
  kTagVerbose,
  kTagEnter,
  kTagExit,
  kTagErrorHandler,
  kTagApiError,
  kTagOther,
  kTypeNormal,
  kTypeVerbose,
  kTypeErrorHandler,
  kTypeApiError,
  kTypeOther,
  kProcEntered,
  kProcExited,
  kFieldMessage,
  kFieldVariables,
  kFieldByVal,
  kFieldByRef,
  kFieldCreated,
  kError,
  kErrorApi,
  kErrorRuntime,
  kErrorHex,
  kErrorSource,
  kErrorText,
  kSeparatorInner,
  kLastLabel = kSeparatorInner,
};

struct SlotText {
  int slot;
  std::u16string_view text;
};

constexpr std::array<SlotText, kLastLabel> kTexts = {{
    {kEntry, u"Event"},
    {kTagNormal, u"[NRM]"},
    {kTagVerbose, u"[VRB]"},
    {kTagEnter, u"[ENT]"},
    {kTagExit, u"[EXT]"},
    {kTagErrorHandler, u"[ERR]"},
    {kTagApiError, u"[API]"},
    {kTagOther, u"[???]"},
    {kTypeNormal, u" <Normal> "},
    {kTypeVerbose, u" <Verbose> "},
    {kTypeErrorHandler, u" <ErrHandler> "},
    {kTypeApiError, u" <APIError> "},
    {kTypeOther, u" <Other> "},
    {kProcEntered, u" >> Entered"},
    {kProcExited, u" << Exited"},
    {kFieldMessage, u"Msg=["},
    {kFieldVariables, u"Vars=["},
    {kFieldByVal, u"ByVal=["},
    {kFieldByRef, u"ByRef=["},
    {kFieldCreated, u"Created=["},
    {kError, u"Error: "},
    {kErrorApi, u"API="},
    {kErrorRuntime, u"RunTime="},
    {kErrorHex, u"Hex=("},
    {kErrorSource, u"Source="},
    {kErrorText, u"Desc=["},
    {kSeparatorInner, u"|#|"},
}};

}  // namespace

void InitAppGeneratedVars() {
  auto& table = Ctx().common->GeneratedStrings;
  for (auto& s : table) s.clear();
  // Slots 1..64 belong to the framework; those past the last label are kept free.
  for (const SlotText& t : kTexts) table[t.slot] = std::u16string(t.text);
  SetAppGeneratedVars();
}

void SetAppGeneratedVars() {
  const auto& t = Ctx().common->GeneratedStrings;
  debug::LogLabels l;
  l.entry = t[kEntry];
  l.tag_normal = t[kTagNormal];
  l.tag_verbose = t[kTagVerbose];
  l.tag_enter = t[kTagEnter];
  l.tag_exit = t[kTagExit];
  l.tag_error_handler = t[kTagErrorHandler];
  l.tag_api_error = t[kTagApiError];
  l.tag_other = t[kTagOther];
  l.type_normal = t[kTypeNormal];
  l.type_verbose = t[kTypeVerbose];
  l.type_error_handler = t[kTypeErrorHandler];
  l.type_api_error = t[kTypeApiError];
  l.type_other = t[kTypeOther];
  l.proc_entered = t[kProcEntered];
  l.proc_exited = t[kProcExited];
  l.field_message = t[kFieldMessage];
  l.field_variables = t[kFieldVariables];
  l.field_by_val = t[kFieldByVal];
  l.field_by_ref = t[kFieldByRef];
  l.field_created = t[kFieldCreated];
  l.error = t[kError];
  l.error_api = t[kErrorApi];
  l.error_runtime = t[kErrorRuntime];
  l.error_hex = t[kErrorHex];
  l.error_source = t[kErrorSource];
  l.error_text = t[kErrorText];
  l.separator_inner = t[kSeparatorInner];
  debug::SetLogLabels(l);
}

}  // namespace kes
