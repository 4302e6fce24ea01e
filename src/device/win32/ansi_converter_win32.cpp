#include "device/win32/ansi_converter_win32.h"

#include <windows.h>

#include <climits>

namespace torvo {
namespace {

int Convert(DWORD flags, const wchar_t* text, int length, char* out, int outSize) {
  return WideCharToMultiByte(CP_ACP, flags, text, length, out, outSize, nullptr, nullptr);
}

}  // namespace

std::string Win32AnsiConverter::ToAnsi(std::u16string_view text) const {
  if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX)) return std::string();
  static_assert(sizeof(wchar_t) == sizeof(char16_t));
  const auto* source = reinterpret_cast<const wchar_t*>(text.data());
  const int length = static_cast<int>(text.size());
  // Composite characters are composed first. Code pages that refuse the flag
  // (UTF-8 as the system code page) convert without it.
  DWORD flags = WC_COMPOSITECHECK;
  int size = Convert(flags, source, length, nullptr, 0);
  if (size == 0 && GetLastError() == ERROR_INVALID_FLAGS) {
    flags = 0;
    size = Convert(flags, source, length, nullptr, 0);
  }
  if (size <= 0) return std::string();
  std::string out(static_cast<std::size_t>(size), '\0');
  size = Convert(flags, source, length, out.data(), size);
  out.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
  return out;
}

}  // namespace torvo
