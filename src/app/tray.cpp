#include "app/tray.h"

#include "common/trace.h"

namespace torvo {
namespace {
constexpr std::intptr_t kLeftButtonDown = 0x0201;
constexpr std::intptr_t kRightButtonDown = 0x0204;

bool IsHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
}  // namespace

std::u16string TrayTipText(std::u16string_view text) {
  std::size_t length = text.size() < kTrayTipCapacity - 1 ? text.size() : kTrayTipCapacity - 1;
  // A pair cut in half would leave a lone surrogate in the tip.
  if (length < text.size() && length > 0 && IsHighSurrogate(text[length - 1])) --length;
  return std::u16string(text.substr(0, length));
}

TrayMouseAction TrayActionFor(std::intptr_t mouseMessage) {
  switch (mouseMessage) {
    case kLeftButtonDown:
      return TrayMouseAction::kRaiseAndOpenConfigurator;
    case kRightButtonDown:
      return TrayMouseAction::kShowMenu;
    default:
      return TrayMouseAction::kNone;
  }
}

Effects DecideTrayNotify(std::intptr_t mouseMessage) {
  switch (TrayActionFor(mouseMessage)) {
    case TrayMouseAction::kRaiseAndOpenConfigurator:
      return {effect::Simple(EffectKind::kBringOwnWindowForward),
              effect::Simple(EffectKind::kOpenConfigurator)};
    case TrayMouseAction::kShowMenu:
      return {effect::Simple(EffectKind::kShowTrayMenu)};
    case TrayMouseAction::kNone:
      break;
  }
  return {};
}

std::u16string ConfiguratorProgramPath(std::u16string_view programFolder) {
  std::u16string path(programFolder);
  path += u"Config.exe";
  return path;
}

void OpenOrRaiseConfigurator(Desktop& desktop, const std::function<void(WindowHandle)>& raise,
                             std::u16string_view programFolder) {
  Trace(u"CMonitorWnd OnCustomizer\n");
  const WindowHandle configurator = desktop.FindWindowByTitle(kConfiguratorTitle);
  if (configurator != 0) {
    Trace(u"CMonitorWnd OnCustomizer hWnd!=NULL\n");
    if (raise) raise(configurator);
    return;
  }
  Trace(u"CMonitorWnd OnCustomizer hWnd==NULL\n");
  desktop.StartProgram(ConfiguratorProgramPath(programFolder));
}

}  // namespace torvo
