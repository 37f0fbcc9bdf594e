// A form on the real machine: one top-level window of plain user32 controls, laid out from
// design-time twips for the window's own DPI, with a menu bar, tooltips and dialog-style keyboard
// navigation. Internal to platform/win32 (forms.cpp runs the message loop).
#pragma once

#include "platform/win32/windows_support.h"

#include <set>
#include <vector>

#include "platform/api/form_api.h"

namespace kes::win32 {

class Win32Form;

// Owns what every form of this process shares: the window class, the DPI entry points that newer
// Windows versions add, and the set of open forms that keeps the message loop running.
class Win32FormApi final : public platform::FormApi {
 public:
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

  Win32FormApi();

  std::unique_ptr<platform::Form> CreateForm(const platform::FormLayout& layout,
                                             platform::FormEvents& events) override;
  void RunForms() override;

  // The window class of every form; registered on first use. Null atom (last error set) when
  // registration failed.
  ATOM FormClass();
  // Dots per inch of a window: its own on Windows 10 1607 and later, the desktop's before.
  UINT WindowDpi(HWND hwnd) const;
  // Outer window rectangle for a client rectangle at a DPI; false (last error set) on failure.
  bool AdjustRect(RECT& rect, DWORD style, bool menu, DWORD ex_style, UINT dpi) const;

  // The forms that keep RunForms going: a form enters on WM_NCCREATE and leaves on WM_NCDESTROY.
  void FormOpened(HWND hwnd) { open_.insert(hwnd); }
  void FormClosed(HWND hwnd) { open_.erase(hwnd); }
  bool IsOpenForm(HWND hwnd) const { return open_.count(hwnd) != 0; }

 private:
  ATOM atom_ = 0;
  GetDpiForWindowFn get_dpi_for_window_ = nullptr;
  AdjustWindowRectExForDpiFn adjust_for_dpi_ = nullptr;
  std::set<HWND> open_;
};

class Win32Form final : public platform::Form {
 public:
  // Keeps the layout; nothing is made before Create.
  Win32Form(Win32FormApi& api, const platform::FormLayout& layout, platform::FormEvents& events);
  // Destroys a window still open without raising events.
  ~Win32Form() override;

  // Makes the window hidden with its menu and controls; their tips come with the first Show.
  // False (last error set) when the window itself could not be made; a control or tip that fails
  // is left out.
  bool Create();

  platform::HWND Hwnd() const override {
    return closed_ ? 0 : reinterpret_cast<platform::HWND>(hwnd_);
  }
  int Dpi() const override { return static_cast<int>(dpi_); }
  void SetCaption(std::u16string_view caption) override;
  void Show(bool visible) override;
  bool Visible() const override;
  void SetControlVisible(int id, bool visible) override;
  void SetControlEnabled(int id, bool enabled) override;
  void SetControlBold(int id, bool bold) override;
  void SetControlChecked(int id, bool checked) override;
  bool ControlChecked(int id) const override;
  void SetMenuVisible(int menu_id, bool visible) override;
  int HeightTwips() const override;
  void SetHeightTwips(int height) override;
  void Close() override;
  bool Closed() const override { return closed_; }

  // The window procedure of every form; finds the form through the window's user data.
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

 private:
  struct Control {
    platform::ControlLayout layout;
    HWND hwnd = nullptr;
    bool bold = false;
  };
  struct Menu {
    int id = 0;
    HMENU popup = nullptr;
    std::u16string caption;
    bool shown = true;
  };

  LRESULT Handle(UINT msg, WPARAM wparam, LPARAM lparam);
  LRESULT OnCommand(WPARAM wparam, LPARAM lparam);
  void OnActivate(bool active);
  void OnDpiChanged(UINT dpi, const RECT& suggested);
  void OnNcDestroy();

  void BuildMenu();
  void CreateControls();
  void CreateTips();
  void AddTip(const Control& c);
  // One regular and one bold font for the DPI; the fonts they replace are returned for the
  // caller to delete once no control uses them.
  std::vector<HFONT> MakeFonts(UINT dpi);
  void PlaceControls();
  void ClientSizeToWindow(int* width, int* height) const;
  void CentreOnMonitor();
  void FocusStart();
  void MarkDefaultButton(HWND focused);
  Control* Find(int id);
  const Control* Find(int id) const;
  const Control* FindByHwnd(HWND hwnd) const;
  int Px(int twips) const { return ::MulDiv(twips, static_cast<int>(dpi_), 1440); }

  Win32FormApi& api_;
  platform::FormLayout layout_;
  platform::FormEvents& events_;
  HWND hwnd_ = nullptr;
  HWND tooltip_ = nullptr;
  HMENU menu_bar_ = nullptr;
  std::vector<Menu> menus_;
  std::vector<Control> controls_;  // in tab order
  HFONT font_ = nullptr;
  HFONT bold_font_ = nullptr;
  UINT dpi_ = 96;
  HWND saved_focus_ = nullptr;
  int checked_option_ = 0;  // the option last seen checked; 0: none
  bool shown_once_ = false;
  bool tips_made_ = false;
  bool closed_ = false;
  bool destroying_ = false;  // the destructor runs: no more events
};

}  // namespace kes::win32
