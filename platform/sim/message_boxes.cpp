// Message boxes of the simulated machine: every box is recorded as the user would have seen it
// and answered from the scripted answers, or, when none is left, the way a user pressing
// Escape would answer it.
#include "platform/sim/forms.h"
#include "platform/sim/machine.h"
#include "platform/sim/shutdown.h"

#include <algorithm>
#include <cctype>

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

  HANDLE LoadImageA(HMODULE module, const char* name, UINT type, int, int, UINT) override {
    if (auto e = m_.Gate("LoadImageA")) {
      m_.last_error = *e;
      return 0;
    }
    constexpr DWORD kResourceNameNotFound = 1814;
    const std::string wanted = name ? name : "";
    const auto same = [&](const std::string& res) {
      return std::equal(res.begin(), res.end(), wanted.begin(), wanted.end(),
                        [](char a, char b) { return std::toupper(a) == std::toupper(b); });
    };
    const auto& icons = m_.icon_resources;
    if (module != 0 || type != kIMAGE_ICON || std::none_of(icons.begin(), icons.end(), same)) {
      m_.last_error = kResourceNameNotFound;
      return 0;
    }
    return next_image_ += 4;
  }

  std::intptr_t SendMessageW(HWND hwnd, UINT msg, std::uintptr_t wparam,
                             std::intptr_t lparam) override {
    if (auto e = m_.Gate("SendMessageW")) {
      m_.last_error = *e;
      return 0;
    }
    const auto it = m_.open_forms.find(hwnd);
    if (it == m_.open_forms.end()) {
      m_.last_error = 1400;  // ERROR_INVALID_WINDOW_HANDLE
      return 0;
    }
    if (msg != kWM_SETICON) return 0;
    auto* form = static_cast<SimForm*>(it->second);
    return static_cast<std::intptr_t>(
        form->SetIcon(static_cast<UINT>(wparam), static_cast<HANDLE>(lparam)));
  }

  HWND GetWindow(HWND, UINT) override {
    m_.Gate("GetWindow");
    return 0;  // the program's windows have no owner
  }

 private:
  Machine& m_;
  HANDLE next_image_ = 0x7000;
};

}  // namespace

std::unique_ptr<UiApi> MakeSimUi(Machine& m) {
  return std::make_unique<SimUiApi>(m);
}

}  // namespace kes::sim
