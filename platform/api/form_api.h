// Forms: top-level windows built from a layout of plain controls (labels, option buttons, check
// boxes, push buttons) and one menu bar, in the manner of a dialog designer. The program keeps
// the layout and every decision; the backend only builds the window, reports what the user
// did and shows what it is told. platform/win32 builds a real window of common controls;
// platform/sim keeps the state and plays scripted user actions.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace kes::platform {

enum class ControlKind {
  kLabel,     // static text, never takes the focus
  kOption,    // option (radio) button; all options of a form form one group
  kCheckBox,  // two-state check box
  kButton,    // push button
};

// One control. Positions are design-time twips (1/1440 inch) within the client area; the
// backend converts them for the window's DPI.
struct ControlLayout {
  int id = 0;  // unique within the form, also the control's window identifier
  ControlKind kind = ControlKind::kLabel;
  std::u16string caption;
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool bold = false;
  int tab_index = 0;   // keyboard order; labels keep theirs but are skipped
  std::u16string tip;  // shown when the pointer rests on the control; empty: none
};

// One top-level menu of the menu bar with its items.
struct MenuItemLayout {
  int id = 0;
  std::u16string caption;
};
struct MenuLayout {
  int id = 0;
  std::u16string caption;
  std::vector<MenuItemLayout> items;
};

struct FormLayout {
  std::u16string caption;
  int client_width = 0;  // twips
  int client_height = 0;
  std::u16string font_name;  // every control's font
  int font_centipoints = 0;  // 975 = 9.75 pt
  std::vector<ControlLayout> controls;
  std::vector<MenuLayout> menus;
};

// What the user did to a form. Called on the thread that runs the forms, one event at a time;
// a handler may show message boxes, hide, show or close the form.
class FormEvents {
 public:
  virtual ~FormEvents() = default;
  // An option was chosen, a check box toggled or a button pressed (mouse, Space or Enter).
  virtual void OnClick(int control_id) = 0;
  // A menu item was chosen.
  virtual void OnMenu(int item_id) = 0;
  // The user closed the window (close box, Alt+F4); the form is closed after this returns.
  virtual void OnClose() = 0;
};

// A form as created. Closing it (Close, or the user) destroys the window for good; calls on a
// closed form do nothing.
class Form {
 public:
  virtual ~Form() = default;
  // The window handle (for window messages such as WM_SETICON); 0 once closed.
  virtual HWND Hwnd() const = 0;
  // Dots per inch of the window (96 at 100 %); the twips of the layout scale with it.
  virtual int Dpi() const = 0;
  virtual void SetCaption(std::u16string_view caption) = 0;
  // Shows the form (activated, centred on first showing) or hides it.
  virtual void Show(bool visible) = 0;
  virtual bool Visible() const = 0;
  virtual void SetControlVisible(int id, bool visible) = 0;
  virtual void SetControlEnabled(int id, bool enabled) = 0;
  virtual void SetControlBold(int id, bool bold) = 0;
  // Selects an option (clearing the other options) or ticks a check box; false clears it.
  // No event is raised.
  virtual void SetControlChecked(int id, bool checked) = 0;
  virtual bool ControlChecked(int id) const = 0;
  // Shows or removes a top-level menu; the menu bar goes when no menu is left. The outer height
  // of the window does not change (the client area grows by the menu bar).
  virtual void SetMenuVisible(int menu_id, bool visible) = 0;
  // Outer height of the window (frame, caption and menu bar included), in twips.
  virtual int HeightTwips() const = 0;
  virtual void SetHeightTwips(int height) = 0;
  // Destroys the window.
  virtual void Close() = 0;
  virtual bool Closed() const = 0;
};

class FormApi {
 public:
  virtual ~FormApi() = default;
  // Creates the window hidden, with its controls, menu and tips. nullptr (last error set) when
  // the window could not be made. `events` must outlive the form.
  virtual std::unique_ptr<Form> CreateForm(const FormLayout& layout, FormEvents& events) = 0;
  // Runs the message loop while a form is open; returns when the last one has been closed (at
  // once when none is open).
  virtual void RunForms() = 0;
};

}  // namespace kes::platform
