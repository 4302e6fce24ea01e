#include "dial/win32/skin_win32.h"

namespace torvo::win32 {

void LoadSkin(HWND, const std::u16string&) {}

}  // namespace torvo::win32
