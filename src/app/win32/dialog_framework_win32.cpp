#include "app/win32/dialog_framework_win32.h"

namespace torvo::win32 {
namespace {
// The object whose window is being created on this thread: attached to the
// window at its first message, before WM_NCCREATE and WM_CREATE.
thread_local CDialogWindow* t_creating = nullptr;
}  // namespace

CDialogWindow::CDialogWindow(HINSTANCE instance, UINT templateId)
    : instance_(instance), templateId_(templateId) {}

CDialogWindow::~CDialogWindow() {
  if (hwnd_ != nullptr) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    hwnd_ = nullptr;
  }
}

bool CDialogWindow::RegisterDialogClass(HINSTANCE instance) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof(existing);
  if (GetClassInfoExW(instance, kDialogClassName, &existing)) return true;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = &CDialogWindow::ClassWindowProc;
  wc.cbWndExtra = DLGWINDOWEXTRA;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.lpszClassName = kDialogClassName;
  return RegisterClassExW(&wc) != 0;
}

INT_PTR CDialogWindow::DoModal(HWND owner) {
  if (!RegisterDialogClass(instance_)) return -1;
  t_creating = this;
  destroyHandled_ = false;
  const INT_PTR result = DialogBoxParamW(instance_, MAKEINTRESOURCEW(templateId_), owner,
                                         &CDialogWindow::DialogProc, 0);
  t_creating = nullptr;
  hwnd_ = nullptr;
  return result;
}

LRESULT CALLBACK CDialogWindow::ClassWindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
  auto* self = reinterpret_cast<CDialogWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr && t_creating != nullptr) {
    self = t_creating;
    t_creating = nullptr;
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  if (self == nullptr) return DefDlgProcW(hwnd, message, wParam, lParam);
  return self->WindowProc(message, wParam, lParam);
}

INT_PTR CALLBACK CDialogWindow::DialogProc(HWND, UINT, WPARAM, LPARAM) {
  // Every message reaches the object through the class window procedure
  // first; the dialog procedure only has to exist so that the dialog manager
  // sends WM_INITDIALOG.
  return FALSE;
}

LRESULT CDialogWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  const CurrentMessage saved = current_;
  current_ = {message, wParam, lParam};
  LRESULT result = 0;
  switch (message) {
    case WM_CREATE:
      result = OnCreate(reinterpret_cast<CREATESTRUCTW*>(lParam));
      break;
    case WM_DESTROY:
      destroyHandled_ = true;
      OnDestroy();
      break;
    case WM_NCDESTROY:
      // A window whose WM_CREATE returned -1 is destroyed without WM_DESTROY
      // on some platforms (Wine); the destruction handler runs all the same.
      if (!destroyHandled_) {
        destroyHandled_ = true;
        current_ = {WM_DESTROY, 0, 0};
        OnDestroy();
        current_ = {message, wParam, lParam};
      }
      result = Default();
      break;
    case WM_INITDIALOG:
      result = OnInitDialog();
      break;
    case WM_TIMER:
      OnTimer(static_cast<UINT_PTR>(wParam));
      break;
    case WM_COMMAND:
      if (!OnCommand(wParam, lParam)) result = Default();
      break;
    default:
      if (!OnMessage(message, wParam, lParam, result)) result = Default();
      break;
  }
  current_ = saved;
  if (message == WM_NCDESTROY && hwnd_ != nullptr) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    hwnd_ = nullptr;
  }
  return result;
}

LRESULT CDialogWindow::Default() {
  return DefDlgProcW(hwnd_, current_.message, current_.wParam, current_.lParam);
}

int CDialogWindow::OnCreate(CREATESTRUCTW*) {
  return static_cast<int>(Default());
}

void CDialogWindow::OnDestroy() {
  Default();
}

BOOL CDialogWindow::OnInitDialog() {
  return TRUE;
}

BOOL CDialogWindow::OnCommand(WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (OnMessage(WM_COMMAND, wParam, lParam, result)) return TRUE;
  switch (LOWORD(wParam)) {
    case IDOK:
      EndDialog(IDOK);
      return TRUE;
    case IDCANCEL:
      EndDialog(IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

void CDialogWindow::OnTimer(UINT_PTR) {
  Default();
}

bool CDialogWindow::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) {
  return false;
}

void CDialogWindow::EndDialog(INT_PTR result) {
  if (hwnd_ != nullptr) ::EndDialog(hwnd_, result);
}

}  // namespace torvo::win32
