#include "menu_support.h"

#include <shellapi.h>
#include <winternl.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "harness.h"

namespace torvo::testing {
namespace {

struct MenuSearch {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK FindMenuWindow(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<MenuSearch*>(parameter);
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->processId && std::wstring(name) == L"#32768" && IsWindowVisible(window)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

using QueryInformationProcess = LONG(NTAPI*)(HANDLE, int, PVOID, ULONG, PULONG);

// Wine keeps a GDI handle table per process, reachable from its PEB (the
// same place Windows keeps it). Its entries are 24 bytes in 32-bit and 64-bit
// processes alike (a 64-bit object pointer first); a used entry has a
// non-zero type byte at offset 14.
long CountGdiHandleTable(HANDLE process) {
  auto query = reinterpret_cast<QueryInformationProcess>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
  if (query == nullptr) return -1;
  PROCESS_BASIC_INFORMATION basic{};
  ULONG length = 0;
  if (query(process, 0, &basic, sizeof(basic), &length) != 0) return -1;
  const std::size_t tableOffset = sizeof(void*) == 8 ? 0xF8 : 0x94;
  void* table = nullptr;
  SIZE_T read = 0;
  if (!ReadProcessMemory(process, reinterpret_cast<char*>(basic.PebBaseAddress) + tableOffset,
                         &table, sizeof(table), &read) ||
      table == nullptr) {
    return -1;
  }
  const std::size_t entrySize = 24;
  const std::size_t typeOffset = 14;
  const std::size_t entries = 0x10000;
  std::vector<unsigned char> bytes(entries * entrySize);
  if (!ReadProcessMemory(process, table, bytes.data(), bytes.size(), &read)) return -1;
  long count = 0;
  for (std::size_t i = 0; i < entries; ++i) {
    if (bytes[i * entrySize + typeOffset] != 0) ++count;
  }
  return count;
}

}  // namespace

HWND VisibleMenuWindowOf(DWORD processId) {
  MenuSearch search{processId, nullptr};
  EnumWindows(&FindMenuWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool TrayIconExists(HWND window) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = window;
  data.uID = 102;
  return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

COLORREF ScreenPixel(int x, int y) {
  HDC screen = GetDC(nullptr);
  const COLORREF color = GetPixel(screen, x, y);
  ReleaseDC(nullptr, screen);
  return color;
}

int DarkPixelsIn(const RECT& rect) {
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return 0;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  int dark = 0;
  const auto* pixels = static_cast<const std::uint32_t*>(bits);
  for (int i = 0; i < width * height; ++i) {
    const std::uint32_t p = pixels[i];
    if (((p & 0xFF) + ((p >> 8) & 0xFF) + ((p >> 16) & 0xFF)) < 3 * 128) ++dark;
  }
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return dark;
}

long GdiObjectCount(HANDLE process) {
  const DWORD counted = GetGuiResources(process, GR_GDIOBJECTS);
  if (counted != 0) return static_cast<long>(counted);
  return CountGdiHandleTable(process);
}

void PostKey(HWND window, WPARAM key) {
  PostMessageW(window, WM_KEYDOWN, key, 1);
  PostMessageW(window, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
}

void OfferScreenshot(const std::string& name) {
  const char* folder = std::getenv("TORVO_SCREENSHOT_DIR");
  if (folder == nullptr || *folder == '\0') return;
  std::wstring path = L"Z:";
  for (const char* c = folder; *c != '\0'; ++c)
    path += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
  path += L"\\" + std::wstring(name.begin(), name.end());
  HANDLE ready = CreateFileW((path + L".ready").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
  WaitUntil(
      [&] { return GetFileAttributesW((path + L".done").c_str()) != INVALID_FILE_ATTRIBUTES; },
      30000);
}

}  // namespace torvo::testing
