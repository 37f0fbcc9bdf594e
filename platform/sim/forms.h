// The simulated machine's forms: a form keeps the state a real window would show (caption,
// visibility, each control's state, menu bar, height, icons) and is driven by the scripted
// window actions of the machine.
#pragma once

#include <map>
#include <memory>

#include "platform/sim/machine.h"

namespace kes::sim {

class SimForm final : public platform::Form {
 public:
  SimForm(Machine& m, platform::HWND hwnd, const platform::FormLayout& layout,
          platform::FormEvents& events);
  ~SimForm() override;

  platform::HWND Hwnd() const override { return closed_ ? 0 : hwnd_; }
  int Dpi() const override { return dpi_; }
  void SetCaption(std::u16string_view caption) override;
  void Show(bool visible) override;
  bool Visible() const override { return !closed_ && visible_; }
  void SetControlVisible(int id, bool visible) override;
  void SetControlEnabled(int id, bool enabled) override;
  void SetControlBold(int id, bool bold) override;
  void SetControlChecked(int id, bool checked) override;
  bool ControlChecked(int id) const override;
  void SetMenuVisible(int menu_id, bool visible) override;
  int HeightTwips() const override { return state_.height_twips; }
  void SetHeightTwips(int height) override;
  void Close() override;
  bool Closed() const override { return closed_; }

  // WM_SETICON: returns the icon set before of that kind.
  platform::HANDLE SetIcon(platform::UINT kind, platform::HANDLE icon);
  // Plays one user action on the form as a person would: only a visible, enabled control
  // reacts. False when the action could not be done (control hidden, disabled or unknown).
  bool Play(const WindowAction& action);
  const FormSnapshot& State() const { return state_; }

 private:
  FormControlState* Control(int id);
  platform::ControlKind KindOf(int id) const;

  Machine& m_;
  platform::HWND hwnd_;
  platform::FormEvents& events_;
  int dpi_;
  std::map<int, platform::ControlKind> kinds_;
  std::map<int, int> menu_of_item_;  // menu item id -> its top-level menu id
  FormSnapshot state_;
  bool visible_ = false;
  bool closed_ = false;
};

}  // namespace kes::sim
