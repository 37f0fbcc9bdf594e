// KestruneUI: the main window. It offers the four boot modes, the F8 boot menu check box, the
// two buttons (restart now, or configure only) and the menu item that switches the F8 menu off.
// All work is done by the safe-boot, account and shutdown procedures; the window records the
// chosen mode in "BootMode" so that the next-boot question knows the user chose it. The window
// itself is a platform form: this module holds its layout, its state and its event handlers.
#pragma once

#include <cstdint>
#include <memory>

#include "framework/env/context.h"
#include "platform/api/form_api.h"

namespace kes {

// Control identifiers of the main window. The option array optSafeMode(0..3) and the button
// array cmdDo(0..1) keep their indices in the identifier.
inline constexpr int kOptSafeModeBase = 100;  // optSafeMode(i) = kOptSafeModeBase + i
inline constexpr int kCmdDoBase = 200;        // cmdDo(i) = kCmdDoBase + i
inline constexpr int kChkEnableF8Menu = 300;
inline constexpr int kLabelBase = 400;  // LabelN = kLabelBase + N (1..7)
inline constexpr int kMenuOptions = 500;
inline constexpr int kMenuDisableF8 = 501;

inline constexpr int OptSafeModeId(int index) {
  return kOptSafeModeBase + index;
}
inline constexpr int CmdDoId(int index) {
  return kCmdDoBase + index;
}
inline constexpr int LabelId(int n) {
  return kLabelBase + n;
}

// The design-time layout: captions, tips, twips positions, fonts and tab order.
platform::FormLayout MainWindowLayout();

class KestruneUI final : public platform::FormEvents, public LoadedWindow {
 public:
  // Creates the window hidden; Loaded() tells whether that worked.
  KestruneUI();
  ~KestruneUI() override;
  bool Loaded() const { return form_ != nullptr; }
  platform::Form* form() const { return form_.get(); }

  // Traced event handlers (module "KestruneUI"); none reports a result, none lets a failure out.
  // Sets icon and title, fits the window to the Windows release and preselects a mode (only the
  // return to normal boot when the program runs from a network location).
  void Form_Load();
  // Shows the chosen mode in bold.
  void optSafeMode_Click(std::int16_t index);
  // Configures the chosen mode; `index` 0 also restarts, 1 only configures. Unloads the window
  // after a completed action and shows it again after a declined or failed one.
  void cmdDo_Click(std::int16_t index);
  // Asks, then switches the F8 boot menu off.
  void Menu_DisableF8_Click();

  void OnClick(int control_id) override;
  void OnMenu(int item_id) override;
  void OnClose() override;

 private:
  void Unload();

  std::unique_ptr<platform::Form> form_;
};

// Loads the main window when it is not loaded (or was unloaded) and shows it. A window that
// cannot be created is logged; the program then ends as it would after closing it.
void ShowMainWindow();

}  // namespace kes
