#include "platform/win32/form.h"

#include <commctrl.h>

#include <algorithm>

namespace kes::win32 {
namespace {

using platform::ControlKind;

// A fixed-size window like a dialog: caption, system menu and minimize box, no sizing border.
constexpr DWORD kFormStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = 0;
// Long tips wrap at this width (pixels at 96 dpi) and stay up long enough to be read.
constexpr int kTipWidth96 = 360;
constexpr WORD kTipShowMillis = 30000;

bool Usable(HWND hwnd) {
  return hwnd && ::IsWindow(hwnd) && ::IsWindowVisible(hwnd) && ::IsWindowEnabled(hwnd);
}

}  // namespace

Win32Form::Win32Form(Win32FormApi& api, const platform::FormLayout& layout,
                     platform::FormEvents& events)
    : api_(api), layout_(layout), events_(events) {}

Win32Form::~Win32Form() {
  destroying_ = true;
  if (!closed_ && hwnd_) ::DestroyWindow(hwnd_);
  // A window that was never made leaves its menu and fonts to us.
  if (menu_bar_) ::DestroyMenu(menu_bar_);
  if (font_) ::DeleteObject(font_);
  if (bold_font_) ::DeleteObject(bold_font_);
}

bool Win32Form::Create() {
  const ATOM atom = api_.FormClass();
  if (!atom) return false;
  BuildMenu();
  // Made without a size: the size depends on the DPI of the monitor the window lands on.
  ::CreateWindowExW(kFormExStyle, MAKEINTATOM(atom), W(layout_.caption.c_str()), kFormStyle,
                    CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr, menu_bar_,
                    ::GetModuleHandleW(nullptr), this);
  if (!hwnd_ || closed_) {
    closed_ = true;
    hwnd_ = nullptr;
    return false;
  }
  dpi_ = api_.WindowDpi(hwnd_);
  MakeFonts(dpi_);
  CreateControls();
  int width = 0;
  int height = 0;
  ClientSizeToWindow(&width, &height);
  ::SetWindowPos(hwnd_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  return true;
}

void Win32Form::BuildMenu() {
  if (layout_.menus.empty()) return;
  menu_bar_ = ::CreateMenu();
  if (!menu_bar_) return;
  for (const platform::MenuLayout& m : layout_.menus) {
    HMENU popup = ::CreatePopupMenu();
    if (!popup) continue;
    for (const platform::MenuItemLayout& item : m.items) {
      ::AppendMenuW(popup, MF_STRING, static_cast<UINT_PTR>(item.id), W(item.caption.c_str()));
    }
    if (!::AppendMenuW(menu_bar_, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(popup),
                       W(m.caption.c_str()))) {
      ::DestroyMenu(popup);
      continue;
    }
    menus_.push_back({m.id, popup, m.caption, true});
  }
}

// Creation order is tab order, so the z-order that Tab follows is the layout's. Every control
// that is not an option starts a group of its own, which ends the run of options before it:
// the arrow keys then move only between the options.
void Win32Form::CreateControls() {
  std::vector<platform::ControlLayout> ordered = layout_.controls;
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const auto& a, const auto& b) { return a.tab_index < b.tab_index; });
  HINSTANCE inst = ::GetModuleHandleW(nullptr);
  bool after_option = false;
  for (const platform::ControlLayout& c : ordered) {
    const wchar_t* cls = L"BUTTON";
    DWORD style = WS_CHILD | WS_VISIBLE;
    switch (c.kind) {
      case ControlKind::kLabel:
        // SS_NOTIFY lets the tooltip see the pointer over a label; SS_LEFT wraps words.
        cls = L"STATIC";
        style |= SS_LEFT | SS_NOTIFY | WS_GROUP;
        break;
      case ControlKind::kOption:
        style |= BS_AUTORADIOBUTTON;
        if (!after_option) style |= WS_GROUP | WS_TABSTOP;
        break;
      case ControlKind::kCheckBox:
        style |= BS_AUTOCHECKBOX | WS_GROUP | WS_TABSTOP;
        break;
      case ControlKind::kButton:
        // BS_NOTIFY reports focus changes, so the focused button can be the default one.
        style |= BS_PUSHBUTTON | BS_NOTIFY | WS_GROUP | WS_TABSTOP;
        break;
    }
    after_option = c.kind == ControlKind::kOption;
    Control control{c, nullptr, c.bold};
    control.hwnd = ::CreateWindowExW(
        0, cls, W(c.caption.c_str()), style, Px(c.left), Px(c.top), Px(c.width), Px(c.height),
        hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), inst, nullptr);
    if (control.hwnd) {
      ::SendMessageW(control.hwnd, WM_SETFONT,
                     reinterpret_cast<WPARAM>(control.bold ? bold_font_ : font_), FALSE);
    }
    controls_.push_back(std::move(control));
  }
}

// The tips are made once the window is up: the first window does not need them, and the tip
// window is a top-level window of its own.
void Win32Form::CreateTips() {
  if (tips_made_) return;
  tips_made_ = true;
  if (std::none_of(controls_.begin(), controls_.end(),
                   [](const Control& c) { return c.hwnd && !c.layout.tip.empty(); })) {
    return;
  }
  tooltip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                               WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                               ::GetModuleHandleW(nullptr), nullptr);
  if (!tooltip_) return;
  ::SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, ::MulDiv(kTipWidth96, dpi_, 96));
  ::SendMessageW(tooltip_, TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(kTipShowMillis, 0));
  for (const Control& c : controls_) {
    if (c.hwnd && !c.layout.tip.empty()) AddTip(c);
  }
}

void Win32Form::AddTip(const Control& c) {
  TTTOOLINFOW ti{};
  // The size before lpReserved: accepted by every common-controls version.
  ti.cbSize = TTTOOLINFOW_V2_SIZE;
  ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  ti.hwnd = hwnd_;
  ti.uId = reinterpret_cast<UINT_PTR>(c.hwnd);
  ti.lpszText = const_cast<wchar_t*>(W(c.layout.tip.c_str()));  // copied by the control
  ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

std::vector<HFONT> Win32Form::MakeFonts(UINT dpi) {
  const int height = -::MulDiv(layout_.font_centipoints, static_cast<int>(dpi), 7200);
  auto make = [&](int weight) {
    return ::CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                         OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                         DEFAULT_PITCH | FF_DONTCARE, W(layout_.font_name.c_str()));
  };
  std::vector<HFONT> old;
  if (font_) old.push_back(font_);
  if (bold_font_) old.push_back(bold_font_);
  font_ = make(FW_NORMAL);
  bold_font_ = make(FW_BOLD);
  return old;
}

void Win32Form::PlaceControls() {
  for (const Control& c : controls_) {
    if (!c.hwnd) continue;
    const platform::ControlLayout& l = c.layout;
    ::SetWindowPos(c.hwnd, nullptr, Px(l.left), Px(l.top), Px(l.width), Px(l.height),
                   SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void Win32Form::ClientSizeToWindow(int* width, int* height) const {
  RECT r{0, 0, Px(layout_.client_width), Px(layout_.client_height)};
  api_.AdjustRect(r, kFormStyle, ::GetMenu(hwnd_) != nullptr, kFormExStyle, dpi_);
  *width = r.right - r.left;
  *height = r.bottom - r.top;
}

void Win32Form::CentreOnMonitor() {
  RECT wr;
  MONITORINFO mi{};
  mi.cbSize = sizeof(mi);
  if (!::GetWindowRect(hwnd_, &wr) ||
      !::GetMonitorInfoW(::MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY), &mi)) {
    return;
  }
  const RECT& work = mi.rcWork;
  const int w = wr.right - wr.left;
  const int h = wr.bottom - wr.top;
  // Never above or left of the work area, so the caption stays reachable.
  const int x = std::max<int>(work.left, work.left + (work.right - work.left - w) / 2);
  const int y = std::max<int>(work.top, work.top + (work.bottom - work.top - h) / 2);
  ::SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Keyboard use starts on the chosen option, as the chosen mode is what the buttons act on.
void Win32Form::FocusStart() {
  HWND target = nullptr;
  for (const Control& c : controls_) {
    if (c.layout.kind == ControlKind::kOption && Usable(c.hwnd) &&
        ::SendMessageW(c.hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED) {
      target = c.hwnd;
      break;
    }
  }
  if (!target) target = ::GetNextDlgTabItem(hwnd_, nullptr, FALSE);
  if (target) {
    ::SetFocus(target);
    saved_focus_ = target;
  }
}

// As in a dialog, the push button with the focus is the default one (drawn so, and pressed by
// Enter); without a focused push button there is none.
void Win32Form::MarkDefaultButton(HWND focused) {
  for (const Control& c : controls_) {
    if (c.layout.kind != ControlKind::kButton || !c.hwnd) continue;
    const LONG_PTR style = ::GetWindowLongPtrW(c.hwnd, GWL_STYLE);
    const LONG_PTR type = c.hwnd == focused ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
    if ((style & BS_TYPEMASK) == type) continue;
    ::SendMessageW(c.hwnd, BM_SETSTYLE, static_cast<WPARAM>((style & 0xFFFF & ~BS_TYPEMASK) | type),
                   TRUE);
  }
}

Win32Form::Control* Win32Form::Find(int id) {
  for (Control& c : controls_)
    if (c.layout.id == id) return c.hwnd ? &c : nullptr;
  return nullptr;
}

const Win32Form::Control* Win32Form::Find(int id) const {
  return const_cast<Win32Form*>(this)->Find(id);
}

const Win32Form::Control* Win32Form::FindByHwnd(HWND hwnd) const {
  if (!hwnd) return nullptr;
  for (const Control& c : controls_)
    if (c.hwnd == hwnd) return &c;
  return nullptr;
}

void Win32Form::SetCaption(std::u16string_view caption) {
  if (closed_) return;
  const std::u16string text(caption);
  ::SetWindowTextW(hwnd_, W(text.c_str()));
}

void Win32Form::Show(bool visible) {
  if (closed_) return;
  if (!visible) {
    ::ShowWindow(hwnd_, SW_HIDE);
    return;
  }
  if (!shown_once_) {
    CentreOnMonitor();
    shown_once_ = true;
  }
  ::ShowWindow(hwnd_, SW_SHOW);
  ::SetForegroundWindow(hwnd_);
  FocusStart();
  CreateTips();
}

bool Win32Form::Visible() const {
  return !closed_ && ::IsWindowVisible(hwnd_);
}

void Win32Form::SetControlVisible(int id, bool visible) {
  if (Control* c = closed_ ? nullptr : Find(id)) ::ShowWindow(c->hwnd, visible ? SW_SHOW : SW_HIDE);
}

void Win32Form::SetControlEnabled(int id, bool enabled) {
  if (Control* c = closed_ ? nullptr : Find(id)) ::EnableWindow(c->hwnd, enabled);
}

void Win32Form::SetControlBold(int id, bool bold) {
  Control* c = closed_ ? nullptr : Find(id);
  if (!c || c->bold == bold) return;
  c->bold = bold;
  ::SendMessageW(c->hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(bold ? bold_font_ : font_), TRUE);
}

void Win32Form::SetControlChecked(int id, bool checked) {
  Control* c = closed_ ? nullptr : Find(id);
  if (!c) return;
  if (c->layout.kind == ControlKind::kOption) {
    if (checked) {
      for (const Control& other : controls_) {
        if (other.layout.kind == ControlKind::kOption && other.hwnd && other.hwnd != c->hwnd)
          ::SendMessageW(other.hwnd, BM_SETCHECK, BST_UNCHECKED, 0);
      }
      checked_option_ = id;
    } else if (checked_option_ == id) {
      checked_option_ = 0;
    }
  }
  ::SendMessageW(c->hwnd, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool Win32Form::ControlChecked(int id) const {
  const Control* c = closed_ ? nullptr : Find(id);
  return c && c->layout.kind != ControlKind::kLabel &&
         ::SendMessageW(c->hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// The popups stay ours while off the bar, so a menu shown again keeps its place in the layout's
// order. SetMenu keeps the outer window rectangle: the client area grows or shrinks instead.
void Win32Form::SetMenuVisible(int menu_id, bool visible) {
  if (closed_ || !menu_bar_) return;
  int position = 0;
  Menu* menu = nullptr;
  for (Menu& m : menus_) {
    if (m.id == menu_id) {
      menu = &m;
      break;
    }
    if (m.shown) ++position;
  }
  if (!menu || menu->shown == visible) return;
  if (visible) {
    if (!::InsertMenuW(menu_bar_, static_cast<UINT>(position), MF_BYPOSITION | MF_POPUP | MF_STRING,
                       reinterpret_cast<UINT_PTR>(menu->popup), W(menu->caption.c_str()))) {
      return;
    }
  } else if (!::RemoveMenu(menu_bar_, static_cast<UINT>(position), MF_BYPOSITION)) {
    return;
  }
  menu->shown = visible;
  const bool any = std::any_of(menus_.begin(), menus_.end(), [](const Menu& m) { return m.shown; });
  HMENU attached = ::GetMenu(hwnd_);
  if (!any && attached) ::SetMenu(hwnd_, nullptr);
  if (any && !attached) ::SetMenu(hwnd_, menu_bar_);
  ::DrawMenuBar(hwnd_);
}

int Win32Form::HeightTwips() const {
  RECT r;
  if (closed_ || !::GetWindowRect(hwnd_, &r)) return 0;
  return ::MulDiv(r.bottom - r.top, 1440, static_cast<int>(dpi_));
}

void Win32Form::SetHeightTwips(int height) {
  RECT r;
  if (closed_ || !::GetWindowRect(hwnd_, &r)) return;
  ::SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, Px(height),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Form::Close() {
  if (!closed_ && hwnd_) ::DestroyWindow(hwnd_);
}

LRESULT CALLBACK Win32Form::WndProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_NCCREATE) {
    auto* form =
        static_cast<Win32Form*>(reinterpret_cast<const CREATESTRUCTW*>(lparam)->lpCreateParams);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    form->hwnd_ = hwnd;
    form->api_.FormOpened(hwnd);
  }
  auto* form = reinterpret_cast<Win32Form*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!form) return ::DefWindowProcW(hwnd, msg, wparam, lparam);
  return form->Handle(msg, wparam, lparam);
}

// Event handlers may hide, show or close the form and may even release it: nothing of the form
// is touched after an event has been raised.
LRESULT Win32Form::Handle(UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_COMMAND:
      return OnCommand(wparam, lparam);
    case DM_GETDEFID: {
      const Control* c = FindByHwnd(::GetFocus());
      if (c && c->layout.kind == ControlKind::kButton && ::IsWindowEnabled(c->hwnd))
        return MAKELRESULT(static_cast<WORD>(c->layout.id), DC_HASDEFID);
      return 0;
    }
    case WM_ACTIVATE:
      OnActivate(LOWORD(wparam) != WA_INACTIVE);
      return 0;
    case WM_SETFOCUS:
      OnActivate(true);
      return 0;
    case WM_DPICHANGED:
      OnDpiChanged(HIWORD(wparam), *reinterpret_cast<const RECT*>(lparam));
      return 0;
    case WM_CLOSE: {
      if (destroying_) return 0;
      HWND self = hwnd_;
      events_.OnClose();
      if (::IsWindow(self)) ::DestroyWindow(self);
      return 0;
    }
    case WM_DESTROY:
      // Menus off the bar are not destroyed with the window.
      for (Menu& m : menus_) {
        if (!m.shown) ::DestroyMenu(m.popup);
      }
      if (::GetMenu(hwnd_) != menu_bar_) ::DestroyMenu(menu_bar_);
      menu_bar_ = nullptr;
      break;
    case WM_NCDESTROY:
      OnNcDestroy();
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(hwnd_, msg, wparam, lparam);
}

LRESULT Win32Form::OnCommand(WPARAM wparam, LPARAM lparam) {
  if (destroying_) return 0;
  const UINT code = HIWORD(wparam);
  HWND from = reinterpret_cast<HWND>(lparam);
  if (!from) {
    // A menu item; the IDOK and IDCANCEL that the dialog keys send have no item.
    const int id = LOWORD(wparam);
    if (code != 0) return 0;
    for (const platform::MenuLayout& m : layout_.menus) {
      for (const platform::MenuItemLayout& item : m.items) {
        if (static_cast<WORD>(item.id) == id) {
          events_.OnMenu(item.id);
          return 0;
        }
      }
    }
    return 0;
  }
  const Control* c = FindByHwnd(from);
  if (!c) return 0;
  const int id = c->layout.id;
  switch (c->layout.kind) {
    case ControlKind::kLabel:
      return 0;
    case ControlKind::kButton:
      if (code == BN_SETFOCUS) MarkDefaultButton(from);
      if (code == BN_KILLFOCUS) MarkDefaultButton(nullptr);
      if (code == BN_CLICKED) events_.OnClick(id);
      return 0;
    case ControlKind::kOption:
      // Only a change of mode is a click: a click on the chosen option changes nothing.
      if (code != BN_CLICKED || checked_option_ == id ||
          ::SendMessageW(from, BM_GETCHECK, 0, 0) != BST_CHECKED) {
        return 0;
      }
      checked_option_ = id;
      events_.OnClick(id);
      return 0;
    case ControlKind::kCheckBox:
      if (code == BN_CLICKED) events_.OnClick(id);
      return 0;
  }
  return 0;
}

// A top-level window does not remember its focused control as a dialog does; without this a
// message box or a switch to another program would leave the keyboard nowhere.
void Win32Form::OnActivate(bool active) {
  if (!active) {
    HWND focus = ::GetFocus();
    if (focus && ::IsChild(hwnd_, focus)) saved_focus_ = focus;
    return;
  }
  if (::IsIconic(hwnd_)) return;
  if (Usable(saved_focus_) && ::IsChild(hwnd_, saved_focus_)) {
    ::SetFocus(saved_focus_);
  } else {
    FocusStart();
  }
}

void Win32Form::OnDpiChanged(UINT dpi, const RECT& suggested) {
  dpi_ = dpi ? dpi : dpi_;
  const std::vector<HFONT> old = MakeFonts(dpi_);
  for (const Control& c : controls_) {
    if (c.hwnd) {
      ::SendMessageW(c.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(c.bold ? bold_font_ : font_),
                     FALSE);
    }
  }
  PlaceControls();
  if (tooltip_) ::SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, ::MulDiv(kTipWidth96, dpi_, 96));
  ::SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  for (HFONT f : old) ::DeleteObject(f);
  ::InvalidateRect(hwnd_, nullptr, TRUE);
}

// The controls and the tooltip are gone by now; what is left is ours to release.
void Win32Form::OnNcDestroy() {
  api_.FormClosed(hwnd_);
  ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  ::DefWindowProcW(hwnd_, WM_NCDESTROY, 0, 0);
  closed_ = true;
  tooltip_ = nullptr;
  saved_focus_ = nullptr;
  for (Control& c : controls_) c.hwnd = nullptr;
  if (font_) ::DeleteObject(font_);
  if (bold_font_) ::DeleteObject(bold_font_);
  font_ = nullptr;
  bold_font_ = nullptr;
}

}  // namespace kes::win32
