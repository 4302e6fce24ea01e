#include "harness.h"

#include <sstream>

#ifndef TORVO_DIST_DIR
#error TORVO_DIST_DIR must name the program folder of the build
#endif

namespace torvo::testing {
namespace {

constexpr wchar_t kTorvoTitle[] = L"Zenqo_K27_Vistrane_Torv";

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n - 1), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(), n);
  return out;
}

std::wstring TempFolder(const wchar_t* prefix) {
  wchar_t base[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, base);
  static LONG counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::wstring path = std::wstring(base) + prefix + std::to_wstring(GetCurrentProcessId()) +
                        L"_" + std::to_wstring(InterlockedIncrement(&counter)) + L"_" +
                        std::to_wstring(GetTickCount()) + L"\\";
    if (CreateDirectoryW(path.c_str(), nullptr)) return path;
  }
  return {};
}

void DeleteTree(const std::wstring& folder) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((folder + L"*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        DeleteTree(path + L"\\");
      } else {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(folder.c_str());
}

void CopyTree(const std::wstring& from, const std::wstring& to) {
  CreateDirectoryW(to.c_str(), nullptr);
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((from + L"*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      CopyTree(from + name + L"\\", to + name + L"\\");
    } else {
      CopyFileW((from + name).c_str(), (to + name).c_str(), FALSE);
    }
  } while (FindNextFileW(find, &data));
  FindClose(find);
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (condition()) return true;
    if (GetTickCount64() >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

void PumpFor(DWORD ms) {
  WaitUntil([] { return false; }, ms);
}

std::wstring DistFolder() {
  std::wstring path = Widen(TORVO_DIST_DIR);
  if (!path.empty() && path[0] == L'/') path = L"Z:" + path;  // a Unix path under Wine
  for (auto& c : path) {
    if (c == L'/') c = L'\\';
  }
  if (path.back() != L'\\') path += L'\\';
  return path;
}

// ---------------------------------------------------------------------------

ProgramFolder::ProgramFolder() : path_(TempFolder(L"torvo_prog_")) {
  const std::wstring dist = DistFolder();
  CopyTree(dist, path_);
  // The recording stand-in is built beside the test program.
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring folder(self);
  folder.erase(folder.find_last_of(L'\\') + 1);
  const std::wstring recorder = folder + L"torvo_recorder.exe";
  CopyFileW(recorder.c_str(), (path_ + L"OSD.exe").c_str(), FALSE);
  CopyFileW(recorder.c_str(), (path_ + L"Config.exe").c_str(), FALSE);
}

ProgramFolder::~ProgramFolder() {
  if (!path_.empty()) DeleteTree(path_);
}

std::vector<std::wstring> ProgramFolder::Launches() const {
  std::vector<std::wstring> lines;
  std::istringstream in(ReadWholeFile(path_ + L"launches.log"));
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(Widen(line));
  }
  return lines;
}

int ProgramFolder::LaunchCount(const std::wstring& program) const {
  int count = 0;
  for (const auto& line : Launches()) {
    if (line.rfind(program + L"|", 0) == 0) ++count;
  }
  return count;
}

void ProgramFolder::Remove(const std::wstring& name) const {
  DeleteFileW((path_ + name).c_str());
}

// ---------------------------------------------------------------------------

PeerWindow::PeerWindow(const wchar_t* title) {
  static const wchar_t kClass[] = L"TorvoTestPeerWindow";
  WNDCLASSW wc{};
  wc.lpfnWndProc = &PeerWindow::Proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kClass;
  RegisterClassW(&wc);  // fails harmlessly when already registered
  hwnd_ = CreateWindowExW(0, kClass, title, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                          GetModuleHandleW(nullptr), this);
}

PeerWindow::~PeerWindow() {
  if (hwnd_ != nullptr) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
}

LRESULT CALLBACK PeerWindow::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<PeerWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self != nullptr &&
      (message == WM_CLOSE || message == WM_COMMAND || (message >= WM_USER && message < 0x8000))) {
    self->messages_.push_back({message, wParam, lParam, GetTickCount()});
    if (self->onMessage) self->onMessage(self->messages_.back());
    return 0;  // a peer that records does not close
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

std::vector<UINT> PeerWindow::MessageNumbers() const {
  std::vector<UINT> numbers;
  for (const auto& m : messages_) numbers.push_back(m.message);
  return numbers;
}

int PeerWindow::Count(UINT message) const {
  int count = 0;
  for (const auto& m : messages_) count += m.message == message ? 1 : 0;
  return count;
}

// ---------------------------------------------------------------------------

TorvoProcess::TorvoProcess() {
  InitializeCriticalSection(&lock_);
}

TorvoProcess::~TorvoProcess() {
  if (info_.hProcess != nullptr && Running()) Kill();
  if (debugThread_ != nullptr) {
    WaitForSingleObject(debugThread_, 10000);
    CloseHandle(debugThread_);
  }
  if (started_ != nullptr) CloseHandle(started_);
  if (info_.hProcess != nullptr) CloseHandle(info_.hProcess);
  if (info_.hThread != nullptr) CloseHandle(info_.hThread);
  DeleteCriticalSection(&lock_);
}

bool TorvoProcess::Start(const ProgramFolder& folder, const std::wstring& arguments) {
  folder_ = folder.Path();
  commandLine_ = L"\"" + folder_ + L"Torvo.exe\"";
  if (!arguments.empty()) commandLine_ += L" " + arguments;
  started_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  // Debug events go to the thread that created the process: one thread
  // creates it and serves its events until it ends.
  debugThread_ = CreateThread(nullptr, 0, &TorvoProcess::DebugLoop, this, 0, nullptr);
  if (debugThread_ == nullptr) return false;
  WaitForSingleObject(started_, INFINITE);
  return created_ != FALSE;
}

DWORD WINAPI TorvoProcess::DebugLoop(LPVOID parameter) {
  auto* self = static_cast<TorvoProcess*>(parameter);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  self->created_ = CreateProcessW(nullptr, self->commandLine_.data(), nullptr, nullptr, FALSE,
                                  DEBUG_ONLY_THIS_PROCESS, nullptr, self->folder_.c_str(), &startup,
                                  &self->info_);
  SetEvent(self->started_);
  if (!self->created_) return 1;
  DebugSetProcessKillOnExit(TRUE);
  DEBUG_EVENT event;
  while (WaitForDebugEvent(&event, INFINITE)) {
    DWORD continueStatus = DBG_CONTINUE;
    bool ended = false;
    switch (event.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT:
        if (event.u.CreateProcessInfo.hFile != nullptr)
          CloseHandle(event.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (event.u.LoadDll.hFile != nullptr) CloseHandle(event.u.LoadDll.hFile);
        break;
      case EXCEPTION_DEBUG_EVENT: {
        const DWORD code = event.u.Exception.ExceptionRecord.ExceptionCode;
        if (code != EXCEPTION_BREAKPOINT) continueStatus = DBG_EXCEPTION_NOT_HANDLED;
        if (code == EXCEPTION_ACCESS_VIOLATION || event.u.Exception.dwFirstChance == 0) {
          EnterCriticalSection(&self->lock_);
          self->faults_.push_back(code);
          LeaveCriticalSection(&self->lock_);
        }
        break;
      }
      case OUTPUT_DEBUG_STRING_EVENT: {
        const OUTPUT_DEBUG_STRING_INFO& info = event.u.DebugString;
        const SIZE_T units = info.nDebugStringLength;
        std::string text;
        if (info.fUnicode) {
          std::wstring wide(units, L'\0');
          SIZE_T read = 0;
          ReadProcessMemory(self->info_.hProcess, info.lpDebugStringData, wide.data(),
                            units * sizeof(wchar_t), &read);
          wide.resize(read / sizeof(wchar_t));
          for (wchar_t c : wide) text.push_back(c < 0x80 ? static_cast<char>(c) : '?');
        } else {
          text.resize(units);
          SIZE_T read = 0;
          ReadProcessMemory(self->info_.hProcess, info.lpDebugStringData, text.data(), units,
                            &read);
          text.resize(read);
        }
        while (!text.empty() && text.back() == '\0') text.pop_back();
        EnterCriticalSection(&self->lock_);
        self->traces_ += text;
        LeaveCriticalSection(&self->lock_);
        break;
      }
      case EXIT_PROCESS_DEBUG_EVENT:
        ended = true;
        break;
      default:
        break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continueStatus);
    if (ended) break;
  }
  return 0;
}

std::vector<DWORD> TorvoProcess::FaultExceptions() const {
  EnterCriticalSection(&lock_);
  std::vector<DWORD> copy = faults_;
  LeaveCriticalSection(&lock_);
  return copy;
}

bool TorvoProcess::WaitForExit(DWORD timeoutMs) {
  return WaitUntil([this] { return !Running(); }, timeoutMs);
}

bool TorvoProcess::Running() const {
  return info_.hProcess != nullptr && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

DWORD TorvoProcess::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(info_.hProcess, &code);
  return code;
}

HWND TorvoProcess::MainWindow() const {
  HWND window = FindWindowW(nullptr, kTorvoTitle);
  if (window == nullptr) return nullptr;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  return pid == info_.dwProcessId ? window : nullptr;
}

bool TorvoProcess::WaitForMainWindow(DWORD timeoutMs) {
  return WaitUntil([this] { return MainWindow() != nullptr; }, timeoutMs);
}

std::string TorvoProcess::Traces() const {
  EnterCriticalSection(&lock_);
  std::string copy = traces_;
  LeaveCriticalSection(&lock_);
  return copy;
}

bool TorvoProcess::WaitForTrace(const std::string& text, DWORD timeoutMs) {
  return WaitUntil([&] { return Traces().find(text) != std::string::npos; }, timeoutMs);
}

void TorvoProcess::Kill() {
  TerminateProcess(info_.hProcess, 99);
  WaitForSingleObject(info_.hProcess, 5000);
}

void EndStrayInstances() {
  for (int attempt = 0; attempt < 5; ++attempt) {
    HWND window = FindWindowW(nullptr, kTorvoTitle);
    if (window == nullptr) return;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (process == nullptr) return;
    TerminateProcess(process, 98);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
  }
}

}  // namespace torvo::testing

#include <shlobj.h>

namespace torvo::testing {

SettingsArea::SettingsArea() {
  wchar_t appData[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, appData);
  const std::wstring base(appData);
  path_ = base + L"\\Vistrane\\";
  if (GetFileAttributesW(path_.c_str()) != INVALID_FILE_ATTRIBUTES) {
    backup_ = base + L"\\Vistrane.torvo-test-backup-" + std::to_wstring(GetCurrentProcessId());
    if (!MoveFileW(path_.c_str(), backup_.c_str())) {
      backup_.clear();
      DeleteTree(path_);
    }
  }
}

SettingsArea::~SettingsArea() {
  DeleteTree(path_);
  if (!backup_.empty()) MoveFileW(backup_.c_str(), path_.substr(0, path_.size() - 1).c_str());
}

bool SettingsArea::Exists() const {
  const DWORD attributes = GetFileAttributesW(path_.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string SettingsArea::Read(const std::wstring& name) const {
  return ReadWholeFile(path_ + name);
}

bool SettingsArea::Write(const std::wstring& name, const std::string& bytes) const {
  CreateDirectoryW(path_.c_str(), nullptr);
  HANDLE file = CreateFileW((path_ + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

unsigned long long SettingsArea::WriteTime(const std::wstring& name) const {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW((path_ + name).c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
         data.ftLastWriteTime.dwLowDateTime;
}

double CommittedPrivateRegionsKb(HANDLE process) {
  unsigned long long committed = 0;
  MEMORY_BASIC_INFORMATION region{};
  for (const char* address = nullptr;
       VirtualQueryEx(process, address, &region, sizeof(region)) == sizeof(region);
       address = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) committed += region.RegionSize;
    if (region.RegionSize == 0) break;
  }
  return static_cast<double>(committed) / 1024.0;
}

std::string ReadWholeFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string text;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    text.append(buffer, read);
  }
  CloseHandle(file);
  return text;
}

}  // namespace torvo::testing
