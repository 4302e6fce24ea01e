#include "dial/win32/rgn_button_win32.h"

#include "common/win32/text_win32.h"
#include "common/exception_barrier.h"
#include "common/trace.h"

namespace torvo::win32 {

CRgnWnd::CRgnWnd() : CRgnWnd(std::make_unique<RgnWndLogic>()) {}

CRgnWnd::CRgnWnd(std::unique_ptr<RgnWndLogic> logic) : logic_(std::move(logic)) {
  logic_->SetRegion(&hitRegion_);
}

CRgnWnd::~CRgnWnd() {
  if (hwnd_ != nullptr) {
    // The window outlives this object only if its parent was not destroyed
    // first; it must no longer reach it.
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
    hwnd_ = nullptr;
  }
  if (region_ != nullptr) DeleteObject(region_);
}

CRgnButton::CRgnButton() : CRgnWnd(std::make_unique<RgnButtonLogic>()) {}

namespace {

// The window whose procedure the creation hook attaches; one creation at a
// time on a thread.
thread_local CRgnWnd* creatingWindow = nullptr;

bool RegisterWindowClass(HINSTANCE instance, const wchar_t* name, UINT style) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof(existing);
  if (GetClassInfoExW(instance, name, &existing)) return true;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.style = style;
  // The window's own procedure is attached when it is created.
  wc.lpfnWndProc = &DefWindowProcW;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.lpszClassName = name;
  return CRgnWnd::registerClassEx(&wc) != 0;
}

}  // namespace

const wchar_t* CRgnWnd::WindowClass(HINSTANCE instance) {
  if (RegisterWindowClass(instance, kRgnButtonClassName, CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS)) {
    return kRgnButtonClassName;
  }
  Trace(u"The region button window class could not be registered; the default class is used\n");
  if (RegisterWindowClass(instance, kDefaultWindowClassName,
                          CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS)) {
    return kDefaultWindowClassName;
  }
  return nullptr;
}

bool CRgnWnd::Create(DWORD style, const RECT& rect, HWND parent, UINT id) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  if (hwnd_ != nullptr || creatingWindow != nullptr) return false;
  const wchar_t* className = WindowClass(instance);
  if (className == nullptr) {
    Trace(u"A region button has no window class and is not created\n");
    return false;
  }
  // The hook attaches this object's procedure before the window's first
  // message, whatever procedure its class has.
  HHOOK hook = SetWindowsHookExW(WH_CBT, &CRgnWnd::CreationHook, nullptr, GetCurrentThreadId());
  if (hook == nullptr) {
    Trace(u"A region button could not watch its creation and is not created\n");
    return false;
  }
  creatingWindow = this;
  HWND created = CreateWindowExW(
      0, className, L"", style, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
      parent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), instance, this);
  creatingWindow = nullptr;
  UnhookWindowsHookEx(hook);
  if (created != nullptr && hwnd_ != created) {
    // Not attached: a window this object cannot run must not stay behind.
    DestroyWindow(created);
  }
  return hwnd_ != nullptr;
}

LRESULT CALLBACK CRgnWnd::CreationHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND && creatingWindow != nullptr) {
    const auto* create = reinterpret_cast<CBT_CREATEWNDW*>(lParam);
    if (create->lpcs != nullptr && create->lpcs->lpCreateParams == creatingWindow) {
      CRgnWnd* self = creatingWindow;
      creatingWindow = nullptr;
      HWND hwnd = reinterpret_cast<HWND>(wParam);
      self->hwnd_ = hwnd;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
      self->classProcedure_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
          hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CRgnWnd::ClassWindowProc)));
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK CRgnWnd::ClassWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<CRgnWnd*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr || self->hwnd_ != hwnd) return DefWindowProcW(hwnd, message, wParam, lParam);
  // A button whose creation could not run to its end is not made; any other
  // message whose handling threw is dropped.
  return GuardedCall(u"An exception ended the handling of a dial button's message; it is dropped\n",
                     LRESULT{message == WM_CREATE ? -1 : 0},
                     [&] { return self->WindowProc(message, wParam, lParam); });
}

LRESULT CRgnWnd::Default(UINT message, WPARAM wParam, LPARAM lParam) {
  if (classProcedure_ == nullptr) return DefWindowProcW(hwnd_, message, wParam, lParam);
  return CallWindowProcW(classProcedure_, hwnd_, message, wParam, lParam);
}

LRESULT CRgnWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  const POINT point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
  switch (message) {
    case WM_CREATE:
      if (Default(message, wParam, lParam) == -1) return -1;
      ApplyMaskRegion();
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      return CarryOut(logic_->OnLButtonDown(point.x, point.y), message, wParam, lParam);
    case WM_LBUTTONUP:
      return CarryOut(logic_->OnLButtonUp(point.x, point.y, GetParent(hwnd_) != nullptr), message,
                      wParam, lParam);
    case WM_MOUSEMOVE:
      return CarryOut(logic_->OnMouseMove(point.x, point.y, GatherMoveContext(wParam, point)),
                      message, wParam, lParam);
    case WM_PAINT:
      Paint();
      return 0;
    case WM_NCDESTROY: {
      HWND hwnd = hwnd_;
      const WNDPROC classProcedure = classProcedure_;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      classProcedure_ = nullptr;
      return classProcedure != nullptr
                 ? CallWindowProcW(classProcedure, hwnd, message, wParam, lParam)
                 : DefWindowProcW(hwnd, message, wParam, lParam);
    }
    default:
      return Default(message, wParam, lParam);
  }
}

void CRgnWnd::ApplyMaskRegion() {
  maskBitmap_.Reset();
  // The header is checked first: a damaged or oversized mask is not loaded.
  if (!MaskFileAcceptable(maskPath)) return;
  maskBitmap_.Reset(
      static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), W(maskPath), IMAGE_BITMAP, 0, 0,
                                      LR_CREATEDIBSECTION | LR_LOADFROMFILE)));
  HRGN shape = BitmapToRegion(maskBitmap_.Get());
  if (shape == nullptr) return;
  if ((maskOrigin.x != 0 || maskOrigin.y != 0) &&
      OffsetRgn(shape, maskOrigin.x, maskOrigin.y) == ERROR) {
    DeleteObject(shape);
    return;
  }
  if (region_ != nullptr) DeleteObject(region_);
  region_ = CreateRectRgn(0, 0, 0, 0);
  if (region_ != nullptr) CombineRgn(region_, shape, nullptr, RGN_COPY);
  // The window owns `shape` from here on.
  if (SetWindowRgn(hwnd_, shape, TRUE) == 0) DeleteObject(shape);
}

void CRgnWnd::SetBitmaps(const GdiBitmap& normal, const GdiBitmap& over, const GdiBitmap& down,
                         const GdiBitmap& disabled, const RECT& rect) {
  for (GdiBitmap& image : images_) image.Reset();
  if (hwnd_ == nullptr) return;
  HDC windowDc = GetDC(hwnd_);
  if (windowDc == nullptr) return;
  const GdiBitmap* pictures[4] = {&normal, &over, &down, &disabled};
  for (int i = 0; i < 4; ++i) {
    imageOrigins_[i] = CopyBitmapRect(windowDc, *pictures[i], images_[i], rect);
  }
  ReleaseDC(hwnd_, windowDc);
}

void CRgnWnd::Paint() {
  PAINTSTRUCT paint{};
  HDC paintDc = BeginPaint(hwnd_, &paint);
  if (paintDc == nullptr) return;
  const StateImages present = {static_cast<bool>(images_[0]), static_cast<bool>(images_[1]),
                               static_cast<bool>(images_[2]), static_cast<bool>(images_[3])};
  const int index = logic_->OnPaint(IsWindowEnabled(hwnd_) != FALSE, present);
  if (index >= 0) {
    HBITMAP image = images_[index].Get();
    BITMAP info{};
    HDC memoryDc = CreateCompatibleDC(paintDc);
    if (memoryDc != nullptr && GetObjectW(image, sizeof(info), &info) != 0) {
      HGDIOBJ old = SelectObject(memoryDc, image);
      const POINT at = imageOrigins_[index];
      BitBlt(paintDc, at.x, at.y, info.bmWidth, info.bmHeight, memoryDc, 0, 0, SRCCOPY);
      SelectObject(memoryDc, old);
    }
    if (memoryDc != nullptr) DeleteDC(memoryDc);
  }
  EndPaint(hwnd_, &paint);
}

MoveContext CRgnWnd::GatherMoveContext(WPARAM flags, POINT point) const {
  MoveContext context;
  context.leftButtonDown = (flags & MK_LBUTTON) != 0;
  context.activeWindowExists = GetActiveWindow() != nullptr;
  HWND owner = GetWindow(hwnd_, GW_OWNER);
  if (owner == nullptr) owner = GetParent(hwnd_);
  context.hasOwnerOrParent = owner != nullptr;
  context.captureHeldBySelf = GetCapture() == hwnd_;
  POINT screen = point;
  ClientToScreen(hwnd_, &screen);
  HWND under = WindowFromPoint(screen);
  context.underPointer = under == nullptr ? MoveContext::UnderPointer::kNone
                         : under == hwnd_ ? MoveContext::UnderPointer::kSelf
                                          : MoveContext::UnderPointer::kOther;
  return context;
}

LRESULT CRgnWnd::CarryOut(const ButtonEffects& effects, UINT message, WPARAM wParam,
                          LPARAM lParam) {
  HWND hwnd = hwnd_;
  const LPARAM code = logic_->HoverNotifyCode();
  LRESULT result = 0;
  for (const ButtonEffect effect : effects) {
    switch (effect) {
      case ButtonEffect::kSetCapture:
        SetCapture(hwnd);
        break;
      case ButtonEffect::kReleaseCapture:
        if (GetCapture() == hwnd) ReleaseCapture();
        break;
      case ButtonEffect::kInvalidate:
        InvalidateRect(hwnd, nullptr, TRUE);
        break;
      case ButtonEffect::kPostHoverEnter:
        PostMessageW(GetParent(hwnd), MSG_BUTTON_HOVER, 1, code);
        break;
      case ButtonEffect::kPostHoverLeave:
        PostMessageW(GetParent(hwnd), MSG_BUTTON_HOVER, 0, code);
        break;
      case ButtonEffect::kDefault:
        result = Default(message, wParam, lParam);
        break;
      case ButtonEffect::kSendCommand:
        if (HWND parent = GetParent(hwnd)) {
          SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), 0),
                       reinterpret_cast<LPARAM>(hwnd));
        }
        break;
    }
  }
  return result;
}

}  // namespace torvo::win32
