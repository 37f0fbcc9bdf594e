#include "platform/sim/forms.h"

#include <algorithm>

namespace kes::sim {
namespace {

using platform::ControlKind;

// Caption bar and fixed frame of a dialog-like window, in pixels at 96 dpi.
constexpr int kCaptionPixels = 23;
constexpr int kFramePixels = 3;
constexpr int kSM_CYMENU = 15;

int PixelsToTwips(int pixels, int dpi) {
  return pixels * 1440 / dpi;
}

class SimFormApi final : public platform::FormApi {
 public:
  explicit SimFormApi(Machine& m) : m_(m) {}

  std::unique_ptr<platform::Form> CreateForm(const platform::FormLayout& layout,
                                             platform::FormEvents& events) override {
    if (auto e = m_.Gate("CreateWindowExW")) {
      m_.last_error = *e;
      return nullptr;
    }
    return std::make_unique<SimForm>(m_, next_hwnd_ += 0x10, layout, events);
  }

  // Each scripted action goes to the open form; with none left the user closes the window.
  void RunForms() override {
    while (!m_.open_forms.empty()) {
      if (m_.Gate("GetMessageW")) return;
      auto* form = static_cast<SimForm*>(m_.open_forms.begin()->second);
      if (m_.window_actions.empty()) {
        form->Play({WindowAction::Kind::kClose, 0});
        continue;
      }
      const WindowAction action = m_.window_actions.front();
      m_.window_actions.pop_front();
      form->Play(action);
    }
  }

 private:
  Machine& m_;
  platform::HWND next_hwnd_ = 0x20000;
};

}  // namespace

SimForm::SimForm(Machine& m, platform::HWND hwnd, const platform::FormLayout& layout,
                 platform::FormEvents& events)
    : m_(m), hwnd_(hwnd), events_(events), dpi_(m.dpi) {
  state_.caption = layout.caption;
  for (const platform::ControlLayout& c : layout.controls) {
    kinds_[c.id] = c.kind;
    state_.controls[c.id] = {c.caption, true, true, c.bold, false};
  }
  for (const platform::MenuLayout& menu : layout.menus) {
    state_.menus.push_back(menu.id);
    for (const platform::MenuItemLayout& item : menu.items) menu_of_item_[item.id] = menu.id;
  }
  const auto metric = m.facts.system_metrics.find(kSM_CYMENU);
  const int menu_pixels = metric == m.facts.system_metrics.end() ? 20 : metric->second;
  const int chrome = kCaptionPixels + 2 * kFramePixels + (layout.menus.empty() ? 0 : menu_pixels);
  state_.height_twips = layout.client_height + PixelsToTwips(chrome, 96);
  m_.open_forms[hwnd_] = this;
}

SimForm::~SimForm() {
  m_.open_forms.erase(hwnd_);
}

void SimForm::SetCaption(std::u16string_view caption) {
  if (!closed_) state_.caption = caption;
}

void SimForm::Show(bool visible) {
  if (closed_) return;
  visible_ = visible;
  if (visible) m_.shown_forms.push_back(state_);
}

FormControlState* SimForm::Control(int id) {
  auto it = state_.controls.find(id);
  return closed_ || it == state_.controls.end() ? nullptr : &it->second;
}

ControlKind SimForm::KindOf(int id) const {
  auto it = kinds_.find(id);
  return it == kinds_.end() ? ControlKind::kLabel : it->second;
}

void SimForm::SetControlVisible(int id, bool visible) {
  if (auto* c = Control(id)) c->visible = visible;
}

void SimForm::SetControlEnabled(int id, bool enabled) {
  if (auto* c = Control(id)) c->enabled = enabled;
}

void SimForm::SetControlBold(int id, bool bold) {
  if (auto* c = Control(id)) c->bold = bold;
}

void SimForm::SetControlChecked(int id, bool checked) {
  auto* c = Control(id);
  if (!c) return;
  if (checked && KindOf(id) == ControlKind::kOption) {
    for (auto& [other, state] : state_.controls)
      if (KindOf(other) == ControlKind::kOption) state.checked = false;
  }
  c->checked = checked;
}

bool SimForm::ControlChecked(int id) const {
  auto it = state_.controls.find(id);
  return !closed_ && it != state_.controls.end() && it->second.checked;
}

void SimForm::SetMenuVisible(int menu_id, bool visible) {
  if (closed_) return;
  auto& menus = state_.menus;
  const auto it = std::find(menus.begin(), menus.end(), menu_id);
  if (visible && it == menus.end()) menus.push_back(menu_id);
  if (!visible && it != menus.end()) menus.erase(it);
}

void SimForm::SetHeightTwips(int height) {
  if (!closed_) state_.height_twips = height;
}

void SimForm::Close() {
  if (closed_) return;
  closed_ = true;
  visible_ = false;
  m_.open_forms.erase(hwnd_);
}

platform::HANDLE SimForm::SetIcon(platform::UINT kind, platform::HANDLE icon) {
  platform::HANDLE& slot = kind == platform::kICON_BIG ? state_.big_icon : state_.small_icon;
  const platform::HANDLE before = slot;
  slot = icon;
  return before;
}

bool SimForm::Play(const WindowAction& action) {
  if (closed_) return false;
  switch (action.kind) {
    case WindowAction::Kind::kClose:
      events_.OnClose();
      Close();
      return true;
    case WindowAction::Kind::kMenu: {
      const auto it = menu_of_item_.find(action.id);
      if (!visible_ || it == menu_of_item_.end()) return false;
      const auto& menus = state_.menus;
      if (std::find(menus.begin(), menus.end(), it->second) == menus.end()) return false;
      events_.OnMenu(action.id);
      return true;
    }
    case WindowAction::Kind::kClick: {
      FormControlState* c = Control(action.id);
      if (!visible_ || !c || !c->visible || !c->enabled) return false;
      switch (KindOf(action.id)) {
        case ControlKind::kLabel:
          return false;
        case ControlKind::kOption:
          SetControlChecked(action.id, true);
          break;
        case ControlKind::kCheckBox:
          c->checked = !c->checked;
          break;
        case ControlKind::kButton:
          break;
      }
      events_.OnClick(action.id);
      return true;
    }
  }
  return false;
}

std::unique_ptr<platform::FormApi> MakeSimForms(Machine& m) {
  return std::make_unique<SimFormApi>(m);
}

}  // namespace kes::sim
