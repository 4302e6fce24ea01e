// End-to-end test support under Windows/Wine: a private copy of the program
// folder, peer windows that record what they receive, and the real Torvo.exe
// started as a user would start it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace torvo::testing {

// Pumps this thread's messages until `condition` holds or `timeoutMs` passed.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);
// Pumps this thread's messages for `ms` (only to observe that nothing happens).
void PumpFor(DWORD ms);

// The committed private memory of `process` in KiB, added up region by
// region (Wine leaves the process counters' PrivateUsage at 0).
double CommittedPrivateRegionsKb(HANDLE process);

// The whole content of a file (empty when it cannot be opened), read while
// other programs may write, rename or delete it.
std::string ReadWholeFile(const std::wstring& path);

// The build's program folder (Torvo.exe, hiddriver.dll, lan.dll, skins\).
std::wstring DistFolder();

// A copy of the program folder in a fresh temporary folder, with recording
// stand-ins for the suite's OSD.exe and Config.exe.
class ProgramFolder {
 public:
  ProgramFolder();
  ~ProgramFolder();
  const std::wstring& Path() const { return path_; }  // ends with a backslash
  // Lines "<program>|<arguments>" written by the recording stand-ins.
  std::vector<std::wstring> Launches() const;
  int LaunchCount(const std::wstring& program) const;
  void Remove(const std::wstring& name) const;

 private:
  std::wstring path_;
};

struct RecordedMessage {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD tickMs;  // GetTickCount() when the window received it
};

// A top-level window of this thread with an exact title, recording every
// message of the private range, WM_COMMAND and WM_CLOSE (it does not close).
class PeerWindow {
 public:
  explicit PeerWindow(const wchar_t* title);
  ~PeerWindow();
  HWND Handle() const { return hwnd_; }
  const std::vector<RecordedMessage>& Messages() const { return messages_; }
  std::vector<UINT> MessageNumbers() const;
  int Count(UINT message) const;
  // Runs for each recorded message as it arrives (optional).
  std::function<void(const RecordedMessage&)> onMessage;

 private:
  static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
  HWND hwnd_ = nullptr;
  std::vector<RecordedMessage> messages_;
};

// Torvo.exe started from a program folder. The harness runs it under a small
// debugger loop of its own so that the program's debug traces are collected.
class TorvoProcess {
 public:
  TorvoProcess();
  ~TorvoProcess();
  TorvoProcess(const TorvoProcess&) = delete;
  TorvoProcess& operator=(const TorvoProcess&) = delete;
  bool Start(const ProgramFolder& folder, const std::wstring& arguments = L"");
  // Waits (pumping messages) for the process to end.
  bool WaitForExit(DWORD timeoutMs);
  bool Running() const;
  DWORD ExitCode() const;
  HANDLE ProcessHandle() const { return info_.hProcess; }
  DWORD ProcessId() const { return info_.dwProcessId; }
  // The main window "Zenqo_K27_Vistrane_Torv" of this process, or null.
  HWND MainWindow() const;
  bool WaitForMainWindow(DWORD timeoutMs);
  // Everything the process wrote through OutputDebugString so far.
  std::string Traces() const;
  bool WaitForTrace(const std::string& text, DWORD timeoutMs);
  // Exceptions that mean a fault: access violations (even when handled) and
  // every exception that reached the debugger unhandled.
  std::vector<DWORD> FaultExceptions() const;
  void Kill();

 private:
  static DWORD WINAPI DebugLoop(LPVOID self);

  PROCESS_INFORMATION info_{};
  std::wstring commandLine_;
  std::wstring folder_;
  HANDLE started_ = nullptr;
  HANDLE debugThread_ = nullptr;
  BOOL created_ = FALSE;
  mutable CRITICAL_SECTION lock_;
  std::string traces_;
  std::vector<DWORD> faults_;
};

// Ends any Torvo.exe left running by an earlier test.
void EndStrayInstances();

}  // namespace torvo::testing

namespace torvo::testing {

// The settings folder "<application data>\Vistrane\" made fresh for a test:
// a folder already there is moved aside and put back afterwards.
class SettingsArea {
 public:
  SettingsArea();
  ~SettingsArea();
  const std::wstring& Path() const { return path_; }  // ends with a backslash
  bool Exists() const;
  std::string Read(const std::wstring& name) const;
  bool Write(const std::wstring& name, const std::string& bytes) const;
  // Last-write time of a file, 0 when it does not exist.
  unsigned long long WriteTime(const std::wstring& name) const;

 private:
  std::wstring path_;
  std::wstring backup_;
};

}  // namespace torvo::testing
