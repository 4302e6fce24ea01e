// Stands in for a sibling program of the suite (OSD.exe, Config.exe) in
// tests: appends one line "<program name>|<argument text>" to launches.log in
// its own folder, then ends.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring self(path);
  const std::size_t slash = self.find_last_of(L'\\');
  const std::wstring folder = self.substr(0, slash + 1);
  const std::wstring name = self.substr(slash + 1);
  std::wstring line = name + L"|" + (arguments != nullptr ? arguments : L"") + L"\r\n";

  const std::wstring log = folder + L"launches.log";
  for (int attempt = 0; attempt < 50; ++attempt) {
    HANDLE file = CreateFileW(log.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      const int bytes =
          WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
      std::string utf8(static_cast<std::size_t>(bytes > 0 ? bytes - 1 : 0), '\0');
      WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, utf8.data(), bytes, nullptr, nullptr);
      DWORD written = 0;
      WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
      CloseHandle(file);
      return 0;
    }
    Sleep(20);  // another recorder holds the file
  }
  return 1;
}
