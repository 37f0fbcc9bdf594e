// Message boxes of the simulated machine: every box is recorded as the user would have seen it
// and answered from the scripted answers, or, when none is left, the way a user pressing
// Escape would answer it.
#include "platform/sim/machine.h"
#include "platform/sim/shutdown.h"

namespace kes::sim {
namespace {

using namespace platform;  // NOLINT: Win32 names read best unqualified here

// The answer of Escape: Cancel where the box has one, No on a Yes/No box (which has no Cancel
// button), OK on an OK box.
int UnscriptedAnswer(UINT style) {
  switch (style & 0xF) {
    case kMB_OK:
      return kIDOK;
    case kMB_YESNO:
      return kIDNO;
    default:
      return kIDCANCEL;
  }
}

class SimUiApi final : public UiApi {
 public:
  explicit SimUiApi(Machine& m) : m_(m) {}

  int MessageBoxW(HWND, const char16_t* text, const char16_t* caption, UINT type) override {
    if (auto e = m_.Gate("MessageBoxW")) {
      m_.last_error = *e;
      return 0;
    }
    int answer = UnscriptedAnswer(type);
    if (!m_.message_box_answers.empty()) {
      answer = m_.message_box_answers.front();
      m_.message_box_answers.pop_front();
    }
    // A null caption shows Windows' own title.
    m_.message_boxes.push_back({text ? text : u"", caption ? caption : u"Error", type, answer});
    return answer;
  }

  void InitCommonControls() override { m_.Gate("InitCommonControls"); }

  bool PumpPendingMessages() override {
    m_.Gate("PumpPendingMessages");
    return true;
  }

  BOOL ExitWindowsEx(UINT flags, DWORD reason) override {
    return SimExitWindowsEx(m_, flags, reason);
  }

 private:
  Machine& m_;
};

}  // namespace

std::unique_ptr<UiApi> MakeSimUi(Machine& m) {
  return std::make_unique<SimUiApi>(m);
}

}  // namespace kes::sim
