// GDI helpers every subsystem's shell draws with: solid fills and the Arial
// fonts of the menus.
#pragma once

#include <windows.h>

namespace torvo::win32 {

// Fills `rect` with one colour through a brush made and deleted for it.
void FillSolid(HDC dc, const RECT& rect, COLORREF color);

// An Arial font `height` pixels high (normal weight, ANSI character set,
// Swiss family); the caller deletes it. Null when it could not be made.
HFONT CreateArialFont(int height);

}  // namespace torvo::win32
