#include "app/win32/foreground_win32.h"

#include <tlhelp32.h>

#include "settings/foreground_rule.h"

namespace torvo::win32 {
namespace {

std::u16string U16Of(const wchar_t* text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text));
}

}  // namespace

std::optional<std::u16string> ExecutableNameBySnapshot(DWORD processId) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return std::nullopt;
  std::optional<std::u16string> name;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID == processId) {
      entry.szExeFile[MAX_PATH - 1] = L'\0';
      name = std::u16string(FileNameOfPath(U16Of(entry.szExeFile)));
      break;
    }
  }
  CloseHandle(snapshot);
  return name;
}

std::optional<std::u16string> ExecutableNameByQuery(DWORD processId) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (process == nullptr) return std::nullopt;
  wchar_t path[MAX_PATH * 2] = {};
  DWORD length = static_cast<DWORD>(std::size(path));
  const BOOL ok = QueryFullProcessImageNameW(process, 0, path, &length);
  CloseHandle(process);
  if (!ok || length == 0) return std::nullopt;
  return std::u16string(FileNameOfPath(U16Of(path)));
}

bool Win32CaseInsensitiveText::Equal(std::u16string_view a, std::u16string_view b) const {
  // lstrcmpiW stops at a terminator, so a text with a NUL inside would be
  // compared by its first part only: such texts are never equal.
  if (a.find(u'\0') != std::u16string_view::npos || b.find(u'\0') != std::u16string_view::npos) {
    return false;
  }
  const std::wstring first(a.begin(), a.end());
  const std::wstring second(b.begin(), b.end());
  return lstrcmpiW(first.c_str(), second.c_str()) == 0;
}

std::optional<std::u16string> ForegroundExecutableName() {
  HWND foreground = GetForegroundWindow();
  if (foreground == nullptr) return std::nullopt;
  DWORD processId = 0;
  GetWindowThreadProcessId(foreground, &processId);
  if (processId == 0) return std::nullopt;
  if (auto name = ExecutableNameByQuery(processId)) return name;
  return ExecutableNameBySnapshot(processId);
}

}  // namespace torvo::win32
