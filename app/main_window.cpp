#include "app/main_window.h"

#include <string>

#include "app/accounts.h"
#include "app/dispatch.h"
#include "app/safeboot.h"
#include "framework/debug/proc.h"
#include "framework/env/environment.h"
#include "framework/env/startup_helpers.h"
#include "framework/process/shutdown.h"
#include "framework/registry/access.h"

namespace kes {
namespace {

using debug::Kind;
using debug::Proc;
using platform::ControlKind;

constexpr std::u16string_view kModule = u"KestruneUI";
constexpr int kSM_CYMENU = 15;

constexpr std::u16string_view kRestoreTip = u"(重新启动后, Kestrune 将删除临时配置并恢复正常启动.)";

constexpr std::u16string_view kF8Note = u"\r\n\r\n在启动时已启用 F8 键.";
constexpr std::u16string_view kNormalConfigured = u"Windows 现在已配置为正常启动.";
constexpr std::u16string_view kSafeConfigured =
    u"已对系统进行了修改, 您可在准备好后手动重新启动.\r\n\r\n"
    u"请不要从当前位置删除 Kestrune.exe !  (一旦进入 \"安全模式\", Kestrune.exe "
    u"将自动再次运行以恢复 \"正常模式\" 操作!)";
constexpr std::u16string_view kNoChanges = u"未对系统进行安全模式修改.";
constexpr std::u16string_view kDisableF8Question =
    u"此选项在启动期间禁用 F8 键 (默认设置).  当启用后, F8 键用于调用启动菜单, "
    u"允许您在正常模式和安全模式之间选择, 但启动时间将增加几秒钟.\r\n\r\n启动时禁用 F8 键?";
constexpr std::u16string_view kF8Disabled = u"F8 键已被禁用.";

platform::ControlLayout Control(int id, ControlKind kind, std::u16string_view caption, int left,
                                int top, int width, int height, int tab_index,
                                std::u16string_view tip = u"", bool bold = false) {
  return {id,   kind,      std::u16string(caption), left, top, width, height,
          bold, tab_index, std::u16string(tip)};
}

}  // namespace

platform::FormLayout MainWindowLayout() {
  using enum ControlKind;
  platform::FormLayout f;
  f.caption = u"Kestrune";
  f.client_width = 9495;
  f.client_height = 4320;
  f.font_name = u"Tahoma";
  f.font_centipoints = 975;
  f.controls = {
      Control(LabelId(2), kLabel, u"选择引导模式:", 240, 360, 2775, 375, 6, u"", true),
      Control(OptSafeModeId(3), kOption, u"正常模式", 360, 840, 2055, 375, 0),
      Control(LabelId(6), kLabel, u"(正常启动 Windows)", 600, 1200, 3015, 240, 11, kRestoreTip),
      Control(OptSafeModeId(0), kOption, u"安全模式", 360, 1680, 1815, 375, 1),
      Control(LabelId(3), kLabel, u"(仅加载基本驱动程序和服务)", 600, 2040, 3975, 240, 8,
              kRestoreTip),
      Control(OptSafeModeId(1), kOption, u"带网络的安全模式", 360, 2520, 3615, 375, 2),
      Control(LabelId(4), kLabel, u"(添加网络支持和互联网功能)", 600, 2880, 5175, 240, 9,
              kRestoreTip),
      Control(OptSafeModeId(2), kOption, u"仅带命令提示符的安全模式", 360, 3360, 4695, 375, 3),
      Control(LabelId(5), kLabel, u"(不加载 Windows 资源管理器, 图形界面)", 600, 3720, 5535, 240,
              10, kRestoreTip),
      Control(LabelId(7), kLabel,
              u"\"安全模式\" 选项仅以最少的功能启动 Windows, 并且不会自动启动其它任何软件, "
              u"这在故障排除, 修复和恶意软件删除方案中非常有用 (但不推荐在正常情况下使用).",
              3120, 240, 6375, 1080, 12, kRestoreTip),
      Control(LabelId(1), kLabel,
              u"Kestrune 将临时修改 Windows 的 \"启动\" 配置, 并将自动以您选择的 \"安全模式\" "
              u"重新启动 Windows.",
              4440, 1320, 4935, 840, 7, kRestoreTip),
      Control(kChkEnableF8Menu, kCheckBox, u"同时启用 F8 启动键", 6360, 2160, 2895, 375, 13,
              u"在加载 Windows 之前允许 F8 键调用启动菜单; 这将增加一两秒钟的启动时间."),
      Control(CmdDoId(1), kButton, u"仅配置 (不重新启动)", 6240, 2640, 3015, 615, 4,
              u"以您选择的 \"模式\" 配置 Windows 的临时启动配置, "
              u"并允许您在稍后方便的时候重新启动 Windows."),
      Control(CmdDoId(0), kButton, u"重启 Windows", 6240, 3360, 3015, 735, 5,
              u"以您选择的 \"模式\" 重新启动 Windows, 并强制关闭任何已打开的应用程序而无需等待, "
              u"任何未保存的数据都将丢失!",
              true),
  };
  f.menus = {{kMenuOptions, u"选项", {{kMenuDisableF8, u"禁用 F8 启动键"}}}};
  return f;
}

KestruneUI::KestruneUI() : form_(OS().forms.CreateForm(MainWindowLayout(), *this)) {}

KestruneUI::~KestruneUI() = default;

void KestruneUI::Form_Load() {
  Proc p(kModule, u"Form_Load", Kind::Sub);
  platform::Form& f = *form_;
  p.Step([&] { SetIconFromRes(f.Hwnd(), u"a1", false); });
  p.Step([&] { f.SetCaption(Ctx().env->AppTitle_WithVersionPretty); });

  std::int32_t menu_height = 0;
  p.Step([&] { menu_height = (1440 / f.Dpi()) * OS().sys.GetSystemMetrics(kSM_CYMENU); });
  p.Created({u"lMenuHeight", menu_height});

  p.Step([&] {
    // The legacy boot menu switch is only offered where bcdedit's boot menu policy exists.
    if (Ctx().env->Win8_OrNewer) return;
    f.SetControlVisible(kChkEnableF8Menu, false);
    f.SetMenuVisible(kMenuOptions, false);
    f.SetHeightTwips(f.HeightTwips() - menu_height);
  });

  bool on_network = false;
  p.Step([&] { on_network = AbortOnUNCPath(); });
  std::int16_t selected = 0;
  if (on_network) {
    // The program cannot be reached from a Safe Mode boot: only the way back stays open.
    selected = kNormalModeOption;
    p.Step([&] {
      for (int i = 0; i <= 2; ++i) f.SetControlEnabled(OptSafeModeId(i), false);
      for (int n = 3; n <= 5; ++n) f.SetControlEnabled(LabelId(n), false);
    });
  } else if (!Ctx().env->WinMode_Normal) {
    selected = kNormalModeOption;
  }
  p.Step([&] { f.SetControlChecked(OptSafeModeId(selected), true); });
  p.Step([&] { optSafeMode_Click(selected); });
}

void KestruneUI::optSafeMode_Click(std::int16_t index) {
  Proc p(kModule, u"optSafeMode_Click", Kind::Sub);
  p.Args({u"Index", index});
  p.Step([&] {
    for (int i = 0; i <= 3; ++i) form_->SetControlBold(OptSafeModeId(i), false);
    form_->SetControlBold(OptSafeModeId(index), true);
  });
}

void KestruneUI::Menu_DisableF8_Click() {
  Proc p(kModule, u"Menu_DisableF8_Click", Kind::Sub);
  p.Step([&] {
    if (ShowMessage(kDisableF8Question, kStyleYesNoQuestion) != platform::kIDYES) return;
    DisableF8Menu();
    ShowMessage(kF8Disabled, kStyleOk);
  });
}

void KestruneUI::cmdDo_Click(std::int16_t index) {
  Proc p(kModule, u"cmdDo_Click", Kind::Sub);
  p.Args({u"Index", index});
  platform::Form& f = *form_;
  p.Step([&] { f.Show(false); });
  const bool enable_f8 = f.ControlChecked(kChkEnableF8Menu);
  const bool restart = index == 0;
  p.Created({u"bEnableF8", enable_f8, u"bRestart", restart});

  if (f.ControlChecked(OptSafeModeId(kNormalModeOption))) {
    bool normal = true;
    p.Step([&] { normal = RemoveMods(true); });
    if (!normal) {
      // The user has been told that the program retries on the next boot; nothing may claim a
      // normal boot now.
      Unload();
      return;
    }
    std::u16string note;
    if (enable_f8) {
      p.Step([&] { EnableF8Menu(); });
      note = kF8Note;
    }
    p.Step([&] {
      if (!restart) {
        ShowMessage(std::u16string(kNormalConfigured) + note, kStyleOk);
      } else if (ShowMessage(kNormalRestartPrompt, kStyleYesNoQuestion, kNormalRestartTitle) ==
                 platform::kIDYES) {
        RestartWindows(kForcedShutdown);
      } else {
        ShowMessage(std::u16string(kNormalNextTime) + note, kStyleOk);
      }
    });
    Unload();
    return;
  }

  bool temp_admin = false;
  p.Step([&] { temp_admin = MicrosoftAccountCheck(); });
  // A configuration that did not take is treated like a declined restart: nothing recorded,
  // and the window comes back.
  bool configured = false;
  for (int i = 0; i < kNormalModeOption; ++i) {
    const std::optional<SafeMode> mode = SafeModeFromOption(i);
    if (!mode || !f.ControlChecked(OptSafeModeId(i))) continue;
    p.Step([&] {
      configured = ConfigureSafeMode(
          *mode, {.restart = restart, .enable_f8 = enable_f8, .temp_admin = temp_admin});
    });
    if (configured) {
      p.Step([&] {
        RegWriteValue(platform::kHKEY_LOCAL_MACHINE, kKestruneKey, u"BootMode",
                      platform::kREG_DWORD, Value(BootModeValue(*mode)));
      });
    }
  }
  p.Created({u"bConfigured", configured});

  if (!configured || (restart && Ctx().RestartDeclined)) {
    Ctx().RestartDeclined = false;
    p.Step([&] { RegDeleteValue(platform::kHKEY_LOCAL_MACHINE, kKestruneKey, u"BootMode"); });
    p.Step([&] { ShowMessage(kNoChanges, kStyleOk); });
    p.Step([&] { f.Show(true); });
    return;
  }
  if (!restart) p.Step([&] { ShowMessage(kSafeConfigured, kStyleOk); });
  Unload();
}

void KestruneUI::OnClick(int control_id) {
  if (control_id >= OptSafeModeId(0) && control_id <= OptSafeModeId(3)) {
    optSafeMode_Click(static_cast<std::int16_t>(control_id - kOptSafeModeBase));
  } else if (control_id == CmdDoId(0) || control_id == CmdDoId(1)) {
    cmdDo_Click(static_cast<std::int16_t>(control_id - kCmdDoBase));
  }
}

void KestruneUI::OnMenu(int item_id) {
  if (item_id == kMenuDisableF8) Menu_DisableF8_Click();
}

void KestruneUI::OnClose() {}

void KestruneUI::Unload() {
  form_->Close();
}

void ShowMainWindow() {
  Proc p(kModule, u"ShowMainWindow", Kind::Sub);
  p.Step([&] {
    auto* ui = dynamic_cast<KestruneUI*>(Ctx().main_window.get());
    if (ui && ui->Loaded() && !ui->form()->Closed()) {
      ui->form()->Show(true);
      return;
    }
    auto fresh = std::make_unique<KestruneUI>();
    if (!fresh->Loaded()) {
      p.LogAPI(u"CreateWindowExW");
      return;
    }
    ui = fresh.get();
    Ctx().main_window = std::move(fresh);
    ui->Form_Load();
    ui->form()->Show(true);
  });
}

}  // namespace kes
