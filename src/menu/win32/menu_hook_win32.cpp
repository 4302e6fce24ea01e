#include "menu/win32/menu_hook_win32.h"

#include <unordered_map>

#include "app/win32/process_values_win32.h"

namespace torvo::win32 {
namespace {
// Framed menu windows and what the hook keeps for each of them.
std::unordered_map<HWND, WNDPROC>& RecordMap() {
  static std::unordered_map<HWND, WNDPROC> map;
  return map;
}
}  // namespace

LRESULT CALLBACK MenuCallWndProc(int code, WPARAM wParam, LPARAM lParam) {
  return CallNextHookEx(Process().menuHook, code, wParam, lParam);
}

void InstallMenuHook(HINSTANCE instance) {
  if (Process().menuHook != nullptr) return;
  RecordMap().reserve(1000);
  Process().menuHook =
      SetWindowsHookExW(WH_CALLWNDPROC, &MenuCallWndProc, instance, GetCurrentThreadId());
}

}  // namespace torvo::win32
