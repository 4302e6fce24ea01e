#include "common/win32/dialog_framework_win32.h"

#include <unordered_map>

#include "common/exception_barrier.h"

namespace torvo::win32 {
namespace {
// The object whose window is being created on this thread: attached to the
// window at its first message, before WM_NCCREATE and WM_CREATE.
thread_local CDialogWindow* t_creating = nullptr;

// Menu objects holding a handle, and the popup menu last announced by
// WM_INITMENUPOPUP (the one being tracked).
std::unordered_map<HMENU, CMenu*>& AttachedMenus() {
  thread_local std::unordered_map<HMENU, CMenu*> menus;
  return menus;
}
thread_local HMENU t_trackedMenu = nullptr;

bool MenuHoldsItem(HMENU menu, UINT itemId) {
  if (GetMenuState(menu, itemId, MF_BYCOMMAND) != static_cast<UINT>(-1)) return true;
  // An item with a submenu is reported under the submenu's handle.
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    HMENU sub = GetSubMenu(menu, i);
    if (sub != nullptr && static_cast<UINT>(reinterpret_cast<UINT_PTR>(sub)) == itemId) return true;
  }
  return false;
}

// The object that measures an item: the tracked menu's, else the one whose
// menu holds an item of that id.
CMenu* MenuForItem(UINT itemId) {
  if (CMenu* tracked = CMenu::FromHandlePermanent(t_trackedMenu)) {
    if (MenuHoldsItem(t_trackedMenu, itemId)) return tracked;
  }
  for (const auto& [handle, menu] : AttachedMenus()) {
    if (MenuHoldsItem(handle, itemId)) return menu;
  }
  return nullptr;
}
}  // namespace

// ---------------------------------------------------------------------------

CMenu::~CMenu() {
  DestroyMenu();
}

BOOL CMenu::Attach(HMENU menu) {
  if (menu == nullptr || menu_ != nullptr) return FALSE;
  menu_ = menu;
  AttachedMenus()[menu] = this;
  return TRUE;
}

HMENU CMenu::Detach() {
  HMENU menu = menu_;
  if (menu != nullptr) {
    auto& menus = AttachedMenus();
    auto it = menus.find(menu);
    if (it != menus.end() && it->second == this) menus.erase(it);
    if (t_trackedMenu == menu) t_trackedMenu = nullptr;
  }
  menu_ = nullptr;
  return menu;
}

BOOL CMenu::DestroyMenu() {
  HMENU menu = Detach();
  return menu != nullptr ? ::DestroyMenu(menu) : FALSE;
}

void CMenu::MeasureItem(MEASUREITEMSTRUCT*) {}

void CMenu::DrawItem(DRAWITEMSTRUCT*) {}

CMenu* CMenu::FromHandlePermanent(HMENU menu) {
  if (menu == nullptr) return nullptr;
  const auto& menus = AttachedMenus();
  auto it = menus.find(menu);
  return it == menus.end() ? nullptr : it->second;
}

bool CMenu::RouteOwnerDraw(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITMENUPOPUP:
      t_trackedMenu = reinterpret_cast<HMENU>(wParam);
      return false;  // the default processing runs as well
    case WM_MEASUREITEM: {
      auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
      if (measure == nullptr || measure->CtlType != ODT_MENU) return false;
      CMenu* menu = MenuForItem(measure->itemID);
      if (menu == nullptr) return false;
      menu->MeasureItem(measure);
      return true;
    }
    case WM_DRAWITEM: {
      auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
      if (draw == nullptr || draw->CtlType != ODT_MENU) return false;
      CMenu* menu = FromHandlePermanent(reinterpret_cast<HMENU>(draw->hwndItem));
      if (menu == nullptr) return false;
      menu->DrawItem(draw);
      return true;
    }
    default:
      return false;
  }
}

// ---------------------------------------------------------------------------

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
  // A creation that could not run to its end fails; any other message whose
  // handling threw is dropped.
  const LRESULT failed = message == WM_CREATE ? -1 : 0;
  const LRESULT result =
      GuardedCall(u"An exception ended the handling of a window message; it is dropped\n", failed,
                  [&] { return Dispatch(message, wParam, lParam); });
  current_ = saved;
  if (message == WM_NCDESTROY && hwnd_ != nullptr) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    hwnd_ = nullptr;
  }
  return result;
}

LRESULT CDialogWindow::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
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
    case WM_INITMENUPOPUP:
    case WM_MEASUREITEM:
    case WM_DRAWITEM:
      // Items of the framework's menus are measured and drawn by their menu
      // objects; anything else goes through the map.
      if (CMenu::RouteOwnerDraw(message, wParam, lParam)) {
        result = TRUE;
      } else if (!OnMessage(message, wParam, lParam, result)) {
        result = Default();
      }
      break;
    default:
      if (!OnMessage(message, wParam, lParam, result)) result = Default();
      break;
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
