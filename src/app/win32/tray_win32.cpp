#include "app/win32/tray_win32.h"

#include <cstring>

#include "common/win32/language_win32.h"
#include "common/win32/text_win32.h"
#include "common/win32/window_win32.h"

namespace torvo::win32 {
namespace {

constexpr UINT kTrayFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;

}  // namespace

void TrackTrayMenu(HWND window) {
  SetForegroundWindow(GetLastActivePopup(window));
  HMENU menu = CreatePopupMenu();
  if (menu == nullptr) return;
  AppendMenuW(menu, MF_STRING, ID_OPEN_CONFIGURATOR, LanguageText(kOpenConfiguratorTextId).c_str());
  SetMenuDefaultItem(menu, ID_OPEN_CONFIGURATOR, FALSE);
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, ID_EXIT, LanguageText(kExitTextId).c_str());
  POINT pointer{};
  GetCursorPos(&pointer);
  TrackPopupMenu(menu, 0, pointer.x, pointer.y, 0, window, nullptr);
  // Lets the menu close properly when the user clicks elsewhere.
  PostMessageW(window, WM_NULL, 0, 0);
  DestroyMenu(menu);
}

CTrayIcon::~CTrayIcon() {
  ReleaseIcon();
}

void CTrayIcon::ReleaseIcon() {
  if (icon_ != nullptr) {
    DestroyIcon(icon_);
    icon_ = nullptr;
  }
}

void CTrayIcon::Add(HWND window) {
  trayIcon_ = NOTIFYICONDATAW{};
  trayIcon_.cbSize = sizeof(trayIcon_);
  trayIcon_.hWnd = window;

  wchar_t programPath[520] = {};
  GetModuleFileNameW(nullptr, programPath, 520);
  SHFILEINFOW info{};
  SHGetFileInfoW(programPath, FILE_ATTRIBUTE_NORMAL, &info, sizeof(info),
                 SHGFI_ICON | SHGFI_SMALLICON);
  // A second add (another arrival) replaces the icon kept for the first.
  ReleaseIcon();
  icon_ = info.hIcon;
  trayIcon_.hIcon = icon_;

  trayIcon_.uFlags = kTrayFlags;
  trayIcon_.uID = kTrayIconId;
  trayIcon_.uCallbackMessage = MSG_TRAY_NOTIFY;
  const std::u16string tip = TrayTipText(U16(LanguageText(kTrayTipTextId).c_str()));
  static_assert(sizeof(trayIcon_.szTip) / sizeof(trayIcon_.szTip[0]) == kTrayTipCapacity);
  std::memcpy(trayIcon_.szTip, tip.data(), tip.size() * sizeof(char16_t));
  trayIcon_.szTip[tip.size()] = L'\0';

  // An icon still showing (an arrival without a removal before it) is
  // updated in place.
  if (!Shell_NotifyIconW(NIM_ADD, &trayIcon_)) Shell_NotifyIconW(NIM_MODIFY, &trayIcon_);
  shown_ = true;
}

void CTrayIcon::Remove(HWND window) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = window;
  data.uID = kTrayIconId;
  data.uCallbackMessage = MSG_TRAY_NOTIFY;
  Shell_NotifyIconW(NIM_DELETE, &data);
  shown_ = false;
  trayIcon_ = NOTIFYICONDATAW{};
  ReleaseIcon();
}

void CTrayIcon::OnTaskbarCreated(HWND window) {
  if (shown_) Add(window);
}

UINT TaskbarCreatedMessage() {
  static const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
  return message;
}

}  // namespace torvo::win32
