#include "menu/win32/menu_hook_win32.h"

#include "common/win32/shell_values_win32.h"
#include "common/exception_barrier.h"

namespace torvo::win32 {
namespace {

const wchar_t* OldProcProperty() {
  return reinterpret_cast<const wchar_t*>(kOldProcProperty);
}

WNDPROC PreviousProc(HWND hWnd) {
  return reinterpret_cast<WNDPROC>(GetPropW(hWnd, OldProcProperty()));
}

}  // namespace

FramedWindowRecords<HWND, CMenuWndHook> CMenuWndHook::recordMap;
// Static initialisation, before the application object runs.
FrameColors CMenuWndHook::frameColors = {GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNSHADOW),
                                         GetSysColor(COLOR_MENU)};

LRESULT CALLBACK CMenuWndHook::MenuCallWndProc(int nCode, WPARAM wParam, LPARAM lParam) {
  const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
  // Framing may allocate; a menu left unframed is the worst that may come of
  // running out of memory here, and the next hook runs in any case.
  GuardedCall(u"A menu window could not be framed\n", 0, [&] {
    FrameIfMenuWindow(nCode, call);
    return 0;
  });
  return CallNextHookEx(Shell().menuHook, nCode, wParam, lParam);
}

void CMenuWndHook::FrameIfMenuWindow(int nCode, const CWPSTRUCT* call) {
  if (call != nullptr && IsFramingMoment(nCode, call->message)) {
    HWND hWnd = call->hwnd;
    wchar_t name[10] = {};
    const int length = GetClassNameW(hWnd, name, 10);
    const std::u16string_view className(reinterpret_cast<const char16_t*>(name),
                                        length > 0 ? static_cast<std::size_t>(length) : 0);
    if (ShouldFrameWindow(className, GetPropW(hWnd, OldProcProperty()) != nullptr)) {
      AttachRecord(hWnd);
      const LONG_PTR previous = GetWindowLongPtrW(hWnd, GWLP_WNDPROC);
      if (previous != 0 &&
          SetPropW(hWnd, OldProcProperty(), reinterpret_cast<HANDLE>(previous)) != FALSE) {
        if (SetWindowLongPtrW(hWnd, GWLP_WNDPROC,
                              reinterpret_cast<LONG_PTR>(&CMenuWndHook::FramedMenuProc)) == 0) {
          RemovePropW(hWnd, OldProcProperty());
        }
      }
    }
  }
}

LRESULT CALLBACK CMenuWndHook::FramedMenuProc(HWND hWnd, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
  // Read once: a detach below removes the property, and the rest of this
  // message still belongs to the previous procedure.
  const WNDPROC previous = PreviousProc(hWnd);
  auto passOn = [&] {
    return previous != nullptr ? CallWindowProcW(previous, hWnd, message, wParam, lParam)
                               : DefWindowProcW(hWnd, message, wParam, lParam);
  };
  CMenuWndHook* record = recordMap.Find(hWnd);
  switch (ChooseFramedMenuAction(message, wParam, record != nullptr)) {
    case FramedMenuAction::kPaintFrameOnly: {
      HDC dc = GetWindowDC(hWnd);
      if (dc != nullptr) {
        DrawMenuFrame(record, dc);
        ReleaseDC(hWnd, dc);
      }
      return 0;
    }
    case FramedMenuAction::kPassOnThenPaintFrame: {
      const LRESULT result = passOn();
      DrawMenuFrame(record, reinterpret_cast<HDC>(wParam));
      return result;
    }
    case FramedMenuAction::kPassOnThenRepaintFrame: {
      const LRESULT result = passOn();
      HDC dc = GetWindowDC(hWnd);
      if (dc != nullptr) {
        DrawMenuFrame(record, dc);
        ReleaseDC(hWnd, dc);
      }
      return result;
    }
    case FramedMenuAction::kDetachThenPassOn:
      DetachRecord(record);
      return passOn();
    case FramedMenuAction::kPassOn:
      break;
  }
  return passOn();
}

CMenuWndHook* CMenuWndHook::AttachRecord(HWND hWnd) {
  return recordMap.Attach(hWnd);
}

void CMenuWndHook::DetachRecord(CMenuWndHook* record) {
  if (record == nullptr) return;
  HWND hWnd = record->hWnd;
  const WNDPROC previous = PreviousProc(hWnd);
  if (previous != nullptr) {
    SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    RemovePropW(hWnd, OldProcProperty());
  }
  recordMap.Remove(record);
}

void CMenuWndHook::DrawMenuFrame(const CMenuWndHook* record, HDC dc) {
  if (record == nullptr || dc == nullptr) return;
  RECT window{};
  if (!GetWindowRect(record->hWnd, &window)) return;
  std::vector<FrameFill> fills;
  const bool planned = GuardedCall(u"A menu frame could not be planned\n", false, [&] {
    fills = FrameRings(window.right - window.left, window.bottom - window.top, frameColors);
    return true;
  });
  if (!planned) return;
  HBRUSH brush = nullptr;
  COLORREF brushColor = 0;
  for (const FrameFill& fill : fills) {
    if (brush == nullptr || fill.color != brushColor) {
      if (brush != nullptr) DeleteObject(brush);
      brush = CreateSolidBrush(fill.color);
      brushColor = fill.color;
      if (brush == nullptr) return;
    }
    const RECT rect{fill.left, fill.top, fill.right, fill.bottom};
    FillRect(dc, &rect, brush);
  }
  if (brush != nullptr) DeleteObject(brush);
}

void InstallMenuHook(HINSTANCE instance) {
  ShellValues& process = Shell();
  if (process.menuHook != nullptr) return;
  CMenuWndHook::recordMap.Rehash(kRecordMapBuckets);
  process.menuHook = SetWindowsHookExW(WH_CALLWNDPROC, &CMenuWndHook::MenuCallWndProc, instance,
                                       GetCurrentThreadId());
}

}  // namespace torvo::win32
