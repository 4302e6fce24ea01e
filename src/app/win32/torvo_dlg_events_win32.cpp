// The main window's reactions to the dial, the configurator and the device:
// each handler unpacks its message into a call of the core (MainWindowCore)
// and the window performs what only it can do.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "app/win32/shared_block_win32.h"
#include "app/win32/torvo_dlg_win32.h"
#include "common/trace.h"
#include "common/win32/window_win32.h"

namespace torvo::win32 {
// ---------------------------------------------------------------------------
// Message handlers

LRESULT CTorvoDlg::OnLButtonDown(WPARAM, LPARAM lParam) {
  // A press anywhere on the dial moves the window.
  const LPARAM point =
      MAKELPARAM(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
  PostMessageW(GetSafeHwnd(), WM_NCLBUTTONDOWN, HTCAPTION, point);
  return Default();
}

LRESULT CTorvoDlg::OnToggleDial(WPARAM, LPARAM) {
  core_.ToggleDial();
  return 0;
}

LRESULT CTorvoDlg::OnHideDial(WPARAM, LPARAM) {
  core_.HideDial();
  return 0;
}

LRESULT CTorvoDlg::OnApplyAllSetting(WPARAM wParam, LPARAM) {
  core_.ApplyAllSetting(wParam);
  return 0;
}

LRESULT CTorvoDlg::OnSettingsChanged(WPARAM, LPARAM) {
  core_.AdoptChangedSettings();
  return 0;
}

BOOL CTorvoDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
  if (lParam != 0) {
    const int button = ButtonIndexForHandle(reinterpret_cast<HWND>(lParam));
    // A click on the dial's button for a function (1..8).
    if (button >= 0) core_.CommitDialFunction(button + 1);
  }
  return CDialogWindow::OnCommand(wParam, lParam);
}

// ---------------------------------------------------------------------------
// The shared block

ShareCopy CTorvoDlg::SharedBlockPublisher::TryPublish(const ConfigBlock& block) {
  return CopyUnderShareMutex(owner_.shareMutex_, owner_.sharedConfig_, &block,
                             ShareCopyDirection::kPublish);
}

ShareCopy CTorvoDlg::SharedBlockPublisher::TryAdopt(ConfigBlock& config) {
  return CopyUnderShareMutex(owner_.shareMutex_, &config, owner_.sharedConfig_,
                             ShareCopyDirection::kAdopt);
}

// ---------------------------------------------------------------------------
// What the core asks of the window

void CTorvoDlg::WindowActions::ShowDialWindow() {
  HWND hwnd = owner_.GetSafeHwnd();
  PlaceDialAtLowerRight(hwnd);
  ShowWindow(hwnd, SW_SHOW);
}

void CTorvoDlg::WindowActions::HideDialWindow() {
  ShowWindow(owner_.GetSafeHwnd(), SW_HIDE);
}

void CTorvoDlg::WindowActions::InvalidateDialWindow() {
  InvalidateRect(owner_.GetSafeHwnd(), nullptr, TRUE);
}

bool CTorvoDlg::WindowActions::StartOnScreenKeyboard() {
  HWND hwnd = owner_.GetSafeHwnd();
  const auto start = [hwnd](const wchar_t* program) {
    return reinterpret_cast<INT_PTR>(
               ShellExecuteW(hwnd, nullptr, program, nullptr, nullptr, SW_SHOWNORMAL)) > 32;
  };
  // A 32-bit program on 64-bit Windows sees the 32-bit system folder, which
  // has no osk.exe: it is reached through the "Sysnative" alias instead.
  BOOL wow64 = FALSE;
  if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) {
    wchar_t windows[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
      const std::wstring native = std::wstring(windows) + L"\\Sysnative\\osk.exe";
      if (GetFileAttributesW(native.c_str()) != INVALID_FILE_ATTRIBUTES && start(native.c_str())) {
        return true;
      }
    }
  }
  return start(L"osk.exe");
}

bool CTorvoDlg::WindowActions::PostWorkerRequest(std::uintptr_t request, std::intptr_t parameter) {
  // Only while the device is open and present; the worker does not read
  // `parameter` (it carries what the sender was asked).
  if (!DevicePresent(DeviceLink().deviceFlags)) {
    Trace(u"The device is not open; the upload request is not posted\n");
    return false;
  }
  return owner_.workerThread_.Post(request, parameter, owner_.config_);
}

void CTorvoDlg::WindowActions::StartTimer(unsigned id, std::uint32_t periodMs) {
  SetTimer(owner_.GetSafeHwnd(), id, periodMs, nullptr);
}

void CTorvoDlg::WindowActions::StopTimer(unsigned id) {
  KillTimer(owner_.GetSafeHwnd(), id);
}

void CTorvoDlg::WindowActions::OpenFeatureDevice() {
  DeviceLink().deviceLibrary.OpenFeatureDevice();
}

void CTorvoDlg::WindowActions::CloseFeatureDevice() {
  DeviceLink().deviceLibrary.CloseFeatureDevice();
}

void CTorvoDlg::WindowActions::AddTrayIcon() {
  owner_.trayIcon_.Add(owner_.GetSafeHwnd());
}

void CTorvoDlg::WindowActions::RemoveTrayIcon() {
  owner_.trayIcon_.Remove(owner_.GetSafeHwnd());
}

void CTorvoDlg::WindowActions::ShowTrayMenu() {
  win32::TrackTrayMenu(owner_.GetSafeHwnd());
}

void CTorvoDlg::WindowActions::BringForward(WindowHandle window) {
  win32::RaiseWindow(reinterpret_cast<HWND>(window));
}

void CTorvoDlg::WindowActions::BringOwnWindowForward() {
  win32::RaiseWindow(GetLastActivePopup(owner_.GetSafeHwnd()));
}

}  // namespace torvo::win32
