// The dial's skin: "skin_scroll.ini" in the skin folder, its images and the
// eight sector masks. Loading fills the window's skin paths and regions; the
// dial window arrives later, and until then nothing is loaded.
#pragma once

#include <windows.h>

#include <string>

namespace torvo::win32 {

void LoadSkin(HWND window, const std::u16string& skinFolder);

}  // namespace torvo::win32
