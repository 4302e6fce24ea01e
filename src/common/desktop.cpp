#include "common/desktop.h"

namespace torvo {

bool WindowOpen(Desktop& desktop, const std::u16string& title) {
  return desktop.FindWindowByTitle(title) != 0;
}

bool PostToWindow(Desktop& desktop, const std::u16string& title, unsigned message,
                  std::uintptr_t wParam, std::intptr_t lParam) {
  const WindowHandle window = desktop.FindWindowByTitle(title);
  if (window == 0) return false;
  desktop.PostMessageTo(window, message, wParam, lParam);
  return true;
}

}  // namespace torvo
