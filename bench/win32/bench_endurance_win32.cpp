// A day of use compressed: one Torvo.exe driven for a given time by a mixed,
// seeded workload at a human pace (device events of every class, applies
// from a configurator that counts its answers, foreground switches between
// windows of this program and of two child processes, clicks on the dial and
// on the tray icon, menus opened and closed with real input, arrivals and
// removals of the keyboard, the share mutex held now and then). It prints the
// process's figures after a warm-up and at the end, with the goal of each,
// and ends with exit code 1 when a goal is missed.
//
//   bench_endurance_win32 [--minutes N | --seconds N] [--seed S] [--warmup N]
#include <windows.h>
// After windows.h, which they build on.
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "harness.h"
#include "hiddriver/client/virtual_keyboard.h"
#include "hiddriver/report_checks.h"
#include "menu_support.h"
#include "peer_block.h"
#include "settings/config_block.h"
#include "settings/settings_model.h"

namespace {

using torvo::ConfigBlock;
using torvo::testing::PeerBlock;
using torvo::testing::PeerWindow;
using torvo::testing::PumpFor;
using torvo::testing::RecordedMessage;
using torvo::testing::WaitUntil;

constexpr wchar_t kChildNames[2][24] = {L"endure_peer_a.exe", L"endure_peer_b.exe"};
// An apply the configurator waits for longer than this counts as unanswered.
constexpr ULONGLONG kAnswerDeadlineMs = 30000;

// The slack allowed between the figures after the warm-up and at the end:
// small constants, far below what one leak per action would add over a run.
constexpr double kMemorySlackKb = 1024;
constexpr long kGdiSlack = 4;
constexpr long kUserSlack = 2;
constexpr long kHandleSlack = 8;
constexpr long kThreadSlack = 1;
constexpr double kWorstAnswerGoalMs = 100;

// ---------------------------------------------------------------------------
// The figures of the process.

struct Figures {
  double privateKb = 0;
  long gdi = 0;
  long user = 0;
  long handles = 0;
  long threads = 0;
  std::vector<long> gdiByType;  // where the GDI table was read
};

const char* memorySource = "PrivateUsage";
const char* userSource = "GetGuiResources";

double CommittedPrivateKb(HANDLE process) {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof(counters);
  if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                           sizeof(counters)) &&
      counters.PrivateUsage != 0) {
    return static_cast<double>(counters.PrivateUsage) / 1024.0;
  }
  // Wine leaves PrivateUsage at 0: add up the committed private regions.
  memorySource = "committed private regions (VirtualQueryEx)";
  return torvo::testing::CommittedPrivateRegionsKb(process);
}

using QueryInformation = LONG(NTAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
using QuerySystemInformation = LONG(NTAPI*)(int, PVOID, ULONG, PULONG);

FARPROC NtFunction(const char* name) {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name);
}

// Wine's GDI handle table of a process, reached from its PEB as the menu
// tests do (24-byte entries, the object type at offset 14): used objects by
// type (1 DC, 4 region, 5 bitmap, 8 palette, 10 font, 16 brush, 48 pen...).
bool GdiTypes(HANDLE process, std::vector<long>& byType) {
  struct BasicInformation {
    LONG exitStatus;
    void* peb;
    ULONG_PTR reserved[4];
  } basic{};
  auto query = reinterpret_cast<QueryInformation>(
      reinterpret_cast<void*>(NtFunction("NtQueryInformationProcess")));
  ULONG length = 0;
  if (query == nullptr || query(process, 0, &basic, sizeof(basic), &length) != 0) return false;
  void* table = nullptr;
  SIZE_T read = 0;
  const std::size_t tableOffset = sizeof(void*) == 8 ? 0xF8 : 0x94;
  if (!ReadProcessMemory(process, static_cast<char*>(basic.peb) + tableOffset, &table,
                         sizeof(table), &read) ||
      table == nullptr) {
    return false;
  }
  static std::vector<unsigned char> bytes(0x10000 * 24);
  if (!ReadProcessMemory(process, table, bytes.data(), bytes.size(), &read)) return false;
  byType.assign(256, 0);
  for (std::size_t i = 0; i < 0x10000; ++i) ++byType[bytes[i * 24 + 14]];
  byType[0] = 0;
  return true;
}

long GdiObjects(HANDLE process, std::vector<long>* byType) {
  const DWORD counted = GetGuiResources(process, GR_GDIOBJECTS);
  if (counted != 0) return static_cast<long>(counted);
  std::vector<long> types;
  if (!GdiTypes(process, types)) return -1;
  long total = 0;
  for (long n : types) total += n;
  if (byType != nullptr) *byType = types;
  return total;
}

const char* handleSource = "GetProcessHandleCount";

// Kernel handles of a process: GetProcessHandleCount, or where it counts
// none (Wine), the system's handle list for that process.
long KernelHandles(HANDLE process) {
  DWORD counted = 0;
  if (GetProcessHandleCount(process, &counted) && counted != 0) return static_cast<long>(counted);
  handleSource = "system handle list (Wine's GetProcessHandleCount gives 0)";
  struct Entry {
    ULONG ownerId;
    BYTE type;
    BYTE flags;
    USHORT value;
    void* object;
    ULONG access;
  };
  auto query = reinterpret_cast<QuerySystemInformation>(
      reinterpret_cast<void*>(NtFunction("NtQuerySystemInformation")));
  if (query == nullptr) return -1;
  static std::vector<unsigned char> buffer(1 << 16);
  for (int attempt = 0; attempt < 8; ++attempt) {
    ULONG needed = 0;
    const LONG status = query(16, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status == 0) {
      ULONG_PTR count = 0;
      std::memcpy(&count, buffer.data(), sizeof(ULONG));
      const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(ULONG_PTR));
      long mine = 0;
      const DWORD id = GetProcessId(process);
      for (ULONG_PTR i = 0; i < count; ++i) mine += entries[i].ownerId == id ? 1 : 0;
      return mine;
    }
    buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed + 4096));
  }
  return -1;
}

struct WindowCount {
  DWORD processId;
  long count;
};

BOOL CALLBACK CountWindow(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<WindowCount*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->processId) ++search->count;
  return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM parameter) {
  CountWindow(window, parameter);
  EnumChildWindows(window, &CountWindow, parameter);
  return TRUE;
}

long UserObjects(HANDLE process) {
  const DWORD counted = GetGuiResources(process, GR_USEROBJECTS);
  if (counted != 0) return static_cast<long>(counted);
  // Wine does not count USER objects: count the process's windows instead.
  userSource = "windows of the process (Wine counts no USER objects)";
  WindowCount search{GetProcessId(process), 0};
  EnumWindows(&CountTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.count;
}

long ThreadCount(DWORD processId) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  long count = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == processId) ++count;
  }
  CloseHandle(snapshot);
  return count;
}

Figures Measure(HANDLE process, bool withMemory) {
  Figures f;
  if (withMemory) f.privateKb = CommittedPrivateKb(process);
  f.gdi = GdiObjects(process, withMemory ? &f.gdiByType : nullptr);
  f.user = UserObjects(process);
  f.handles = KernelHandles(process);
  f.threads = ThreadCount(GetProcessId(process));
  return f;
}

void SetText(char16_t* field, std::size_t capacity, const std::wstring& text) {
  std::memset(field, 0, capacity * sizeof(char16_t));
  for (std::size_t i = 0; i < text.size() && i + 1 < capacity; ++i) field[i] = text[i];
}

// ---------------------------------------------------------------------------
// The configurator: counts the applies it waits for and their answers.

class Configurator {
 public:
  Configurator() : window_(L"Vistrane") {
    window_.onMessage = [this](const RecordedMessage& m) { OnMessage(m); };
  }
  HWND Handle() const { return window_.Handle(); }
  // An apply sent; `answerExpected` says whether the rules promise a 1256.
  void Sent(bool answerExpected) {
    ++sent;
    if (answerExpected) waiting_.push_back(GetTickCount64());
  }
  bool Waiting() const { return !waiting_.empty(); }
  // Applies waited for past the deadline count as unanswered.
  void Expire() {
    while (!waiting_.empty() && GetTickCount64() - waiting_.front() > kAnswerDeadlineMs) {
      waiting_.pop_front();
      ++unanswered;
    }
  }
  void GiveUpWaiting() {
    unanswered += static_cast<long>(waiting_.size());
    waiting_.clear();
  }
  long Outstanding() const { return static_cast<long>(waiting_.size()); }

  long sent = 0;
  long answers = 0;
  long lateAnswers = 0;  // a 1256 no apply waited for (an apply the removal let go)
  long releasedByRemoval = 0;
  long unanswered = 0;
  long closeNotices = 0;  // 1042, each followed by WM_CLOSE
  long closes = 0;

 private:
  void OnMessage(const RecordedMessage& m) {
    if (m.message == 1256) {
      ++answers;
      if (waiting_.empty()) {
        ++lateAnswers;
      } else {
        waiting_.pop_front();
      }
    } else if (m.message == 1042) {
      // The device left: the configurator is closed, nothing waits any more.
      ++closeNotices;
      releasedByRemoval += static_cast<long>(waiting_.size());
      waiting_.clear();
    } else if (m.message == WM_CLOSE) {
      ++closes;
    }
  }

  PeerWindow window_;
  std::deque<ULONGLONG> waiting_;
};

// ---------------------------------------------------------------------------
// Windows to bring to the foreground: this program's own and the children's.

HWND MakeOwnWindow(const wchar_t* title, int x, int y) {
  static const wchar_t kClass[] = L"TorvoEndureWindow";
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kClass;
  RegisterClassW(&wc);
  HWND window = CreateWindowExW(0, kClass, title, WS_POPUP | WS_VISIBLE, x, y, 220, 150, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
  UpdateWindow(window);
  return window;
}

// The child: one window until the parent ends or the window is closed.
int RunChild(DWORD parentId, const wchar_t* title, int x, int y) {
  HANDLE parent = OpenProcess(SYNCHRONIZE, FALSE, parentId);
  HWND window = MakeOwnWindow(title, x, y);
  for (;;) {
    const DWORD woke =
        MsgWaitForMultipleObjects(parent != nullptr ? 1 : 0, &parent, FALSE, INFINITE, QS_ALLINPUT);
    if (woke == WAIT_OBJECT_0 && parent != nullptr) break;
    MSG msg;
    bool quit = false;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT || (msg.hwnd == window && msg.message == WM_CLOSE)) quit = true;
      DispatchMessageW(&msg);
    }
    if (quit || !IsWindow(window)) break;
  }
  return 0;
}

struct Child {
  std::wstring path;
  PROCESS_INFORMATION info{};
  HWND window = nullptr;
};

bool StartChild(Child& child, const std::wstring& folder, const wchar_t* name, int x, int y) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  child.path = folder + name;
  if (!CopyFileW(self, child.path.c_str(), FALSE)) return false;
  std::wstring title = std::wstring(L"endure child ") + name;
  std::wstring command = L"\"" + child.path + L"\" --child " +
                         std::to_wstring(GetCurrentProcessId()) + L" " + std::to_wstring(x) + L" " +
                         std::to_wstring(y) + L" \"" + title + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &child.info)) {
    return false;
  }
  return WaitUntil([&] { return (child.window = FindWindowW(nullptr, title.c_str())) != nullptr; },
                   20000);
}

void EndChild(Child& child) {
  if (child.info.hProcess == nullptr) return;
  if (child.window != nullptr) PostMessageW(child.window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(child.info.hProcess, 5000) != WAIT_OBJECT_0) {
    TerminateProcess(child.info.hProcess, 1);
    WaitForSingleObject(child.info.hProcess, 5000);
  }
  CloseHandle(child.info.hProcess);
  CloseHandle(child.info.hThread);
  DeleteFileW(child.path.c_str());
}

// ---------------------------------------------------------------------------
// Real input.

void MoveTo(POINT p) {
  SetCursorPos(p.x, p.y);
  WaitUntil(
      [&] {
        POINT at{};
        GetCursorPos(&at);
        return at.x == p.x && at.y == p.y;
      },
      1000);
}

void Click(POINT p, bool right) {
  MoveTo(p);
  INPUT inputs[2] = {};
  inputs[0].type = inputs[1].type = INPUT_MOUSE;
  inputs[0].mi.dwFlags = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
  inputs[1].mi.dwFlags = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
  SendInput(2, inputs, sizeof(INPUT));
}

void PressKey(WORD key) {
  INPUT inputs[2] = {};
  inputs[0].type = inputs[1].type = INPUT_KEYBOARD;
  inputs[0].ki.wVk = inputs[1].ki.wVk = key;
  inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, inputs, sizeof(INPUT));
}

POINT Centre(const RECT& r) {
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// The program's icon in Wine's notification area (its stand-alone tray
// window, as there is no desktop shell on the test display).
bool TrayIconPoint(POINT& at) {
  HWND tray = FindWindowW(L"__winex11_standalone_tray", nullptr);
  if (tray == nullptr || !IsWindowVisible(tray)) return false;
  HWND icon = FindWindowExW(tray, nullptr, L"__winex11_tray_icon", nullptr);
  if (icon == nullptr || !IsWindowVisible(icon)) return false;
  RECT r{};
  GetWindowRect(icon, &r);
  at = Centre(r);
  return true;
}

// ---------------------------------------------------------------------------
// The run.

enum class Presence { kPresent, kRemoving, kAbsent, kArriving };

enum Action {
  kSlotSwitch,
  kValue,
  kKeyText,
  kShowHide,
  kGesture,
  kApplyAll,
  kApplySlot,
  kSettingsChanged,
  kForeground,
  kDialClick,
  kDialMenu,
  kTrayMenu,
  kHoldMutex,
  kUnplug,
  kPlug,
  kActionCount
};
constexpr const char* kActionNames[kActionCount] = {"slot switch 0x1000",
                                                    "value 0x2000/0x3000/0x9000",
                                                    "key text 0xA000",
                                                    "dial show/hide 0x5000",
                                                    "gesture 0x6000/0x7000",
                                                    "apply 1224 wParam 0",
                                                    "apply 1224 wParam 3",
                                                    "1226/1227",
                                                    "foreground switch",
                                                    "dial sector click",
                                                    "dial menu",
                                                    "tray menu",
                                                    "share mutex held",
                                                    "unplug",
                                                    "plug"};
constexpr int kWeights[kActionCount] = {10, 10, 8, 6, 6, 6, 3, 4, 8, 6, 3, 3, 0, 0, 0};

struct Options {
  ULONGLONG runMs = 60000;
  ULONGLONG warmupMs = 20000;
  unsigned seed = 1;
};

class Endurance {
 public:
  explicit Endurance(const Options& options) : options_(options), random_(options.seed) {}
  int Run();

 private:
  bool Present() const { return presence_ == Presence::kPresent; }
  bool Answers(DWORD ms = 5000) const {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(main_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, ms, &result) != 0;
  }
  int Pick(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }
  void Gap(int lowMs, int highMs) { PumpFor(static_cast<DWORD>(lowMs + Pick(highMs - lowMs + 1))); }
  void Event(std::uint16_t eventClass, std::uint16_t value) {
    keyboard_.SendInputEvent(eventClass, value);
  }

  void Do(Action action);
  void Apply(WPARAM wParam);
  void ChangeKeys(ConfigBlock& block);
  bool OpenAndCloseMenu(POINT at);
  void HoldMutex();
  void Unplug();
  void Plug();
  void FollowPresence();
  void ReadProtocolErrors();
  bool Settle();
  void StartMonitor();
  void StopMonitor();
  std::size_t KeyboardLogTotal() const;
  // Waits until the keyboard has received nothing for `quietMs`, at most
  // `deadlineMs`.
  void WaitForQuietKeyboard(ULONGLONG quietMs, DWORD deadlineMs) const;

  Options options_;
  std::mt19937 random_;
  torvo::vkb::VirtualKeyboard keyboard_;
  HWND main_ = nullptr;
  DWORD torvoId_ = 0;
  std::unique_ptr<PeerBlock> shared_;
  std::unique_ptr<Configurator> configurator_;
  std::vector<HWND> foregroundWindows_;
  Presence presence_ = Presence::kPresent;
  ULONGLONG presenceSince_ = 0;
  ULONGLONG absentForMs_ = 0;
  ULONGLONG nextUnplug_ = 0;
  ULONGLONG nextHold_ = 0;
  long noticesSeen_ = 0;
  // Protocol errors, read as they come (the keyboard keeps only the newest).
  DWORD lastRemovalTick_ = 0;
  std::uint32_t errorsSeen_ = 0;
  std::uint32_t lastErrorSequence_ = 0;
  long refusals_ = 0;
  long unexpectedErrors_ = 0;
  long unexpectedById_[256] = {};
  long unexpectedWhileAbsent_ = 0;
  long menuFallbacks_ = 0;
  long clicksWhileAbsent_ = 0;
  bool everySectorClicked_ = false;
  long menusOpened_ = 0;
  long done_[kActionCount] = {};

  // What grows with which action, after the warm-up.
  bool attributing_ = false;
  Figures last_{};
  long growth_[kActionCount][4] = {};
  HANDLE process_ = nullptr;

  // The WM_NULL probe, every second from its own thread.
  std::thread monitor_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> measuring_{false};
  std::atomic<int> current_{-1};
  std::atomic<long> probes_{0};
  std::atomic<long> slowProbes_{0};
  std::atomic<double> worstMs_{0};
  std::atomic<double> worstWarmupMs_{0};
  std::atomic<int> worstAction_{-1};
};

void Endurance::StartMonitor() {
  monitor_ = std::thread([this] {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    while (!stop_.load()) {
      LARGE_INTEGER before, after;
      DWORD_PTR result = 0;
      const int action = current_.load();
      QueryPerformanceCounter(&before);
      const bool answered =
          SendMessageTimeoutW(main_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result) != 0;
      QueryPerformanceCounter(&after);
      double ms = 1000.0 * static_cast<double>(after.QuadPart - before.QuadPart) /
                  static_cast<double>(frequency.QuadPart);
      if (!answered) ms = std::max(ms, 5000.0);
      if (measuring_.load()) {
        ++probes_;
        if (ms > kWorstAnswerGoalMs) ++slowProbes_;
        if (ms > worstMs_.load()) {
          worstMs_ = ms;
          worstAction_ = action;
        }
      } else if (ms > worstWarmupMs_.load()) {
        worstWarmupMs_ = ms;
      }
      Sleep(1000);
    }
  });
}

void Endurance::StopMonitor() {
  stop_ = true;
  if (monitor_.joinable()) monitor_.join();
}

std::size_t Endurance::KeyboardLogTotal() const {
  std::size_t total = 0;
  keyboard_.Read([&](const torvo::vkb::ControlBlock& block) { total = block.logTotal; });
  return total;
}

void Endurance::WaitForQuietKeyboard(ULONGLONG quietMs, DWORD deadlineMs) const {
  std::size_t seen = KeyboardLogTotal();
  ULONGLONG quietSince = GetTickCount64();
  WaitUntil(
      [&] {
        const std::size_t now = KeyboardLogTotal();
        if (now != seen) {
          seen = now;
          quietSince = GetTickCount64();
        }
        return GetTickCount64() - quietSince >= quietMs;
      },
      deadlineMs);
}

void Endurance::ChangeKeys(ConfigBlock& block) {
  const int slot = std::clamp(block.header.activeSlot, 0, 3);
  torvo::ProfileRecord& profile = block.slots[slot];
  for (int n = 1 + Pick(3); n > 0; --n) {
    profile.keys[Pick(20)].keyCodes[0] = static_cast<std::uint16_t>(0x04 + Pick(26));
  }
  if (Pick(3) == 0) {
    // A macro on one of the keys that carry no text.
    const int k = 8 + Pick(12);
    torvo::KeyAssignment& key = profile.keys[k];
    key.actionType = 3;
    SetText(key.label, 100, L"M" + std::to_wstring(k));
    key.repeatCount = static_cast<std::uint8_t>(1 + Pick(3));
    const int presses = 1 + Pick(4);
    key.stepCount = static_cast<std::uint16_t>(2 * presses);
    for (int i = 0; i < presses; ++i) {
      const auto code = static_cast<std::uint8_t>(0x04 + Pick(26));
      const auto delay = static_cast<std::uint16_t>(20 + Pick(60));
      key.steps[2 * i] = {code, 1, delay};
      key.steps[2 * i + 1] = {code, 0, delay};
    }
    block.header.uploadFlags[slot][k] = 1;
  }
}

// An apply from the configurator, with the expectation its rules give: with
// the device present a slot-only apply gets no answer and a whole apply gets
// one after the upload; with the device absent every apply is answered at
// once. A configurator waits for a whole apply's answer before it applies
// again (its buttons are disabled until then).
void Endurance::Apply(WPARAM wParam) {
  if (presence_ == Presence::kRemoving) return;
  // Late in the arrival pause the device may count as present any moment.
  if (presence_ == Presence::kArriving && GetTickCount64() - presenceSince_ > 5000) return;
  if (configurator_->Waiting()) return;
  if (wParam == 0) shared_->Edit([&](ConfigBlock& block) { ChangeKeys(block); });
  configurator_->Sent(wParam == 0 || !Present());
  PostMessageW(main_, 1224, wParam, 0);
}

bool Endurance::OpenAndCloseMenu(POINT at) {
  Click(at, true);
  HWND menu = nullptr;
  if (!WaitUntil([&] { return (menu = torvo::testing::VisibleMenuWindowOf(torvoId_)) != nullptr; },
                 3000)) {
    return false;
  }
  ++menusOpened_;
  Gap(200, 600);
  auto closed = [&] { return !IsWindow(menu) || !IsWindowVisible(menu); };
  if (Pick(2) == 0) {
    PressKey(VK_ESCAPE);
  } else {
    RECT r{};
    GetWindowRect(foregroundWindows_[0], &r);
    Click(Centre(r), false);  // a click elsewhere
  }
  if (!WaitUntil(closed, 2000)) {
    ++menuFallbacks_;
    torvo::testing::PostKey(menu, VK_ESCAPE);
    WaitUntil(closed, 3000);
  }
  return true;
}

void Endurance::HoldMutex() {
  if (!shared_->Lock()) return;
  const ULONGLONG until = GetTickCount64() + 1000 + static_cast<ULONGLONG>(Pick(1001));
  // Something that needs the block arrives while it is held.
  if (Pick(2) == 0) {
    PostMessageW(main_, static_cast<UINT>(1226 + Pick(2)), 0, 0);
  } else if (Present()) {
    Event(0x2000, static_cast<std::uint16_t>(1 + Pick(8)));
  }
  while (GetTickCount64() < until) PumpFor(50);
  shared_->Unlock();
}

void Endurance::Unplug() {
  // Now and then during an upload: the worker then sends the rest of its
  // request to the closed device, which the keyboard refuses (not open), as
  // the program's contract on removal has it.
  const bool midUpload = Pick(3) == 0 && !configurator_->Waiting();
  if (midUpload) {
    const std::size_t before = KeyboardLogTotal();
    Apply(0);
    WaitUntil([&] { return KeyboardLogTotal() > before + 2; }, 3000);
  } else {
    // Otherwise once every apply is answered and the keyboard has been
    // quiet for half a second.
    WaitUntil([&] { return !configurator_->Waiting(); }, 10000);
    WaitForQuietKeyboard(500, 5000);
  }
  ReadProtocolErrors();
  lastRemovalTick_ = GetTickCount();
  keyboard_.SetPlugged(false, true);
  presence_ = Presence::kRemoving;
  presenceSince_ = GetTickCount64();
  absentForMs_ = 2000 + static_cast<ULONGLONG>(Pick(4000));
}

void Endurance::Plug() {
  keyboard_.SetPlugged(true, true);
  presence_ = Presence::kArriving;
  presenceSince_ = GetTickCount64();
}

// Follows the device's presence as the program sees it.
void Endurance::FollowPresence() {
  const ULONGLONG now = GetTickCount64();
  if (presence_ == Presence::kRemoving && configurator_->closeNotices > noticesSeen_) {
    noticesSeen_ = configurator_->closeNotices;
    presence_ = Presence::kAbsent;
    presenceSince_ = now;
  } else if (presence_ == Presence::kAbsent && now - presenceSince_ >= absentForMs_) {
    Plug();
    ++done_[kPlug];
  } else if (presence_ == Presence::kArriving && keyboard_.IsFeatureOpen() && Answers()) {
    // Opened after the pause, within the same handler that made it present.
    presence_ = Presence::kPresent;
    presenceSince_ = now;
  }
}

// Sorts the errors logged since the last call. The worker's reports (active
// slot, key tables, macros, host state) refused as sent to a closed device
// within 3 s of a removal are the rest of a request the removal cut short,
// which the program's contract on removal lets run on; every other error is
// unexpected.
void Endurance::ReadProtocolErrors() {
  const std::uint32_t total = keyboard_.ProtocolErrorCount();
  if (total == errorsSeen_) return;
  const auto kept = keyboard_.ProtocolErrors();
  std::uint32_t sorted = 0;
  for (const auto& e : kept) {
    if (e.sequence <= lastErrorSequence_) continue;
    lastErrorSequence_ = e.sequence;
    ++sorted;
    const bool workerReport =
        e.reportId == 0x05 || e.reportId == 0x08 || e.reportId == 0x09 || e.reportId == 0x10;
    if (e.verdict == static_cast<std::uint32_t>(torvo::vkb::Verdict::kNotOpen) && workerReport &&
        lastRemovalTick_ != 0 && e.tickMs - lastRemovalTick_ <= 3000) {
      ++refusals_;
      continue;
    }
    ++unexpectedErrors_;
    ++unexpectedById_[e.reportId];
    if (!Present()) ++unexpectedWhileAbsent_;
  }
  // More than the keyboard keeps came in at once: the others are unknown.
  if (total - errorsSeen_ > sorted) unexpectedErrors_ += total - errorsSeen_ - sorted;
  errorsSeen_ = total;
}

void Endurance::Do(Action action) {
  switch (action) {
    case kSlotSwitch:
      Event(0x1000, static_cast<std::uint16_t>(1 + Pick(4)));
      break;
    case kValue: {
      static constexpr std::uint16_t kClasses[] = {0x2000, 0x3000, 0x9000};
      const std::uint16_t eventClass = kClasses[Pick(3)];
      Event(eventClass, static_cast<std::uint16_t>(eventClass == 0x2000 ? 1 + Pick(8) : Pick(256)));
      break;
    }
    case kKeyText:
      Event(0xA000, static_cast<std::uint16_t>(Pick(10)));  // keys 0..7 carry texts
      break;
    case kShowHide:
      Event(0x5000, static_cast<std::uint16_t>(IsWindowVisible(main_) ? 2 : 1));
      break;
    case kGesture:
      Event(0x6000, 1);
      for (int n = 1 + Pick(3); n > 0; --n) {
        Gap(60, 200);
        Event(0x7000, static_cast<std::uint16_t>(Pick(9)));
      }
      Gap(60, 200);
      Event(0x6000, 2);
      break;
    case kApplyAll:
      Apply(0);
      break;
    case kApplySlot:
      Apply(3);
      break;
    case kSettingsChanged:
      shared_->Edit([&](ConfigBlock& block) {
        SetText(block.slots[Pick(4)].name, 250, L"Profile " + std::to_wstring(Pick(1000)));
      });
      PostMessageW(main_, static_cast<UINT>(1226 + Pick(2)), 0, 0);
      break;
    case kForeground:
      SetForegroundWindow(foregroundWindows_[static_cast<std::size_t>(
          Pick(static_cast<int>(foregroundWindows_.size())))]);
      break;
    case kDialClick: {
      std::vector<POINT> sectors;
      for (HWND b = FindWindowExW(main_, nullptr, L"Rgn Button", nullptr); b != nullptr;
           b = FindWindowExW(main_, b, L"Rgn Button", nullptr)) {
        RECT r{};
        GetWindowRect(b, &r);
        const POINT c = Centre(r);
        if (c.y < GetSystemMetrics(SM_CYSCREEN) && c.x < GetSystemMetrics(SM_CXSCREEN)) {
          sectors.push_back(c);
        }
      }
      if (IsWindowVisible(main_) && !sectors.empty()) {
        if (!Present()) ++clicksWhileAbsent_;
        if (!everySectorClicked_) {
          // Once, in the warm-up: every sector, each making its pictures.
          for (const POINT& sector : sectors) {
            Click(sector, false);
            Gap(150, 300);
          }
          everySectorClicked_ = true;
        } else {
          Click(sectors[static_cast<std::size_t>(Pick(static_cast<int>(sectors.size())))], false);
        }
      }
      break;
    }
    case kDialMenu:
      if (IsWindowVisible(main_)) {
        RECT r{};
        GetWindowRect(main_, &r);
        OpenAndCloseMenu(Centre(r));
      }
      break;
    case kTrayMenu: {
      POINT icon{};
      if (Present() && TrayIconPoint(icon)) OpenAndCloseMenu(icon);
      break;
    }
    case kHoldMutex:
      HoldMutex();
      break;
    case kUnplug:
      Unplug();
      break;
    default:
      break;
  }
}

// The same state at both measurements: no menu, the keyboard present and
// quiet, the dial hidden, every apply answered.
bool Endurance::Settle() {
  const ULONGLONG deadline = GetTickCount64() + 40000;
  while (GetTickCount64() < deadline) {
    FollowPresence();
    if (HWND menu = torvo::testing::VisibleMenuWindowOf(torvoId_)) {
      torvo::testing::PostKey(menu, VK_ESCAPE);
    }
    if (Present() && IsWindowVisible(main_)) Event(0x5000, 2);
    if (Present() && !configurator_->Waiting() && !IsWindowVisible(main_)) break;
    PumpFor(200);
  }
  if (!Present()) return false;
  WaitForQuietKeyboard(1500, 15000);
  PumpFor(500);
  return Answers();
}

int Endurance::Run() {
  torvo::testing::EndStrayInstances();
  if (!keyboard_.Create(true)) return std::puts("virtual keyboard not available"), 1;
  torvo::testing::SettingsArea area;
  torvo::testing::ProgramFolder folder;

  // Slots 1..3 follow this program and its two children; keys 0..7 carry
  // texts for the on-screen display.
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring selfName(self);
  selfName.erase(0, selfName.find_last_of(L'\\') + 1);
  auto block = std::make_unique<ConfigBlock>();
  torvo::MakeDefaultBlock(*block);
  const std::wstring apps[4] = {L"", selfName, kChildNames[0], kChildNames[1]};
  for (int s = 0; s < 4; ++s) {
    SetText(block->slots[s].appPath, 500, apps[s]);
    for (int k = 0; k < 8; ++k) {
      block->slots[s].keys[k].actionClass = 3;
      block->slots[s].keys[k].actionType = 2;
      SetText(block->slots[s].keys[k].label, 100,
              L"Key " + std::to_wstring(s) + L"." + std::to_wstring(k));
    }
  }
  area.Write(L"Config.data",
             std::string(reinterpret_cast<const char*>(block.get()), sizeof(ConfigBlock)));

  foregroundWindows_.push_back(MakeOwnWindow(L"endure window 1", 100, 120));
  foregroundWindows_.push_back(MakeOwnWindow(L"endure window 2", 360, 120));
  Child children[2];
  for (int i = 0; i < 2; ++i) {
    if (!StartChild(children[i], folder.Path(), kChildNames[i], 100 + 260 * i, 320)) {
      return std::puts("a child process did not start"), 1;
    }
    foregroundWindows_.push_back(children[i].window);
  }
  configurator_ = std::make_unique<Configurator>();
  PeerWindow osd(L"Zenqo_K27_Vistrane_OSD");

  torvo::testing::TorvoProcess torvo;
  if (!torvo.Start(folder) || !torvo.WaitForMainWindow(20000)) {
    return std::puts("Torvo.exe did not start"), 1;
  }
  main_ = torvo.MainWindow();
  torvoId_ = torvo.ProcessId();
  process_ = torvo.ProcessHandle();
  if (!WaitUntil([&] { return keyboard_.Model().hostStateReports >= 1; }, 20000)) {
    return std::puts("the start-up upload did not end"), 1;
  }
  shared_ = std::make_unique<PeerBlock>();
  if (!shared_->Valid()) return std::puts("the shared block is missing"), 1;

  std::printf("seed %u, %llu s after a warm-up of %llu s\n", options_.seed, options_.runMs / 1000,
              options_.warmupMs / 1000);
  std::fflush(stdout);
  StartMonitor();
  const ULONGLONG begin = GetTickCount64();
  nextUnplug_ = begin + 12000 + static_cast<ULONGLONG>(Pick(10000));
  nextHold_ = begin + 5000 + static_cast<ULONGLONG>(Pick(10000));
  int totalWeight = 0;
  for (int w : kWeights) totalWeight += w;

  int covered = 0;
  Figures start{};
  bool warm = false;
  ULONGLONG end = 0;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    if (!warm && now - begin >= options_.warmupMs) {
      current_ = -1;
      if (!Settle()) return std::puts("Torvo.exe did not settle after the warm-up"), 1;
      start = Measure(process_, true);
      last_ = start;
      warm = true;
      attributing_ = true;
      measuring_ = true;
      end = GetTickCount64() + options_.runMs;
      nextUnplug_ = std::max(nextUnplug_, GetTickCount64() + 5000);
      continue;
    }
    if (warm && now >= end) break;
    FollowPresence();
    configurator_->Expire();
    Action action;
    if (Present() && now >= nextUnplug_) {
      action = kUnplug;
      nextUnplug_ = now + 30000 + static_cast<ULONGLONG>(Pick(20000));
    } else if (now >= nextHold_) {
      action = kHoldMutex;
      nextHold_ = now + 15000 + static_cast<ULONGLONG>(Pick(10000));
    } else if (covered < kHoldMutex) {
      // The warm-up first does every kind of action once, so that what the
      // program creates on first use exists before the first measurement.
      action = static_cast<Action>(covered++);
      if (action <= kGesture && !Present()) continue;
    } else {
      int r = Pick(totalWeight);
      int a = 0;
      while (r >= kWeights[a]) r -= kWeights[a++];
      action = static_cast<Action>(a);
      // A removed keyboard sends no events.
      if (action <= kGesture && !Present()) continue;
    }
    current_ = action;
    Do(action);
    ++done_[action];
    Gap(150, 450);
    ReadProtocolErrors();
    if (attributing_) {
      const Figures now2 = Measure(process_, false);
      growth_[action][0] += now2.gdi - last_.gdi;
      growth_[action][1] += now2.user - last_.user;
      growth_[action][2] += now2.handles - last_.handles;
      growth_[action][3] += now2.threads - last_.threads;
      last_ = now2;
    }
    if (!torvo.Running()) break;
  }
  attributing_ = false;
  measuring_ = false;
  current_ = -1;
  const bool settled = torvo.Running() && Settle();
  const Figures finish = Measure(process_, true);
  configurator_->GiveUpWaiting();
  StopMonitor();

  ReadProtocolErrors();
  const std::uint32_t errors = keyboard_.ProtocolErrorCount();
  const long refusals = refusals_;
  const long unexpectedErrors = unexpectedErrors_;

  std::printf("\nworkload:");
  for (int a = 0; a < kActionCount; ++a)
    std::printf("%s %s %ld", a ? "," : "", kActionNames[a], done_[a]);
  std::printf(
      "\nmenus opened %ld (%ld closed only by a posted Escape); applies sent %ld, answered "
      "%ld, let go by a removal %ld, late answers %ld; removals seen %ld (%ld WM_CLOSE)\n",
      menusOpened_, menuFallbacks_, configurator_->sent, configurator_->answers,
      configurator_->releasedByRemoval, configurator_->lateAnswers, configurator_->closeNotices,
      configurator_->closes);
  const auto model = keyboard_.Model();
  std::printf(
      "keyboard: %u active-slot, %u key-table, %u macro, %u dial-function reports; dial "
      "sector clicks while it was away: %ld\n",
      model.activeSlotReports, model.keyTableReports, model.macroReports, model.dialFunctionReports,
      clicksWhileAbsent_);
  std::printf("memory: %s; USER objects: %s; kernel handles: %s\n", memorySource, userSource,
              handleSource);
  if (start.gdiByType.size() == 256 && finish.gdiByType.size() == 256) {
    std::printf("GDI objects by type (start -> end):");
    for (int t = 1; t < 256; ++t) {
      if (start.gdiByType[t] != 0 || finish.gdiByType[t] != 0) {
        std::printf(" 0x%02X %ld -> %ld;", t, start.gdiByType[t], finish.gdiByType[t]);
      }
    }
    std::printf("\n");
  }
  std::printf("\n");

  bool ok = settled;
  auto row = [&](const char* name, double a, double b, double slack) {
    const bool met = b <= a + slack;
    ok = ok && met;
    std::printf("%-28s %10.0f %10.0f   end <= start + %-5.0f %s\n", name, a, b, slack,
                met ? "met" : "MISSED");
  };
  std::printf("%-28s %10s %10s   %s\n", "figure", "start", "end", "goal");
  row("committed private (KB)", start.privateKb, finish.privateKb, kMemorySlackKb);
  row("GDI objects", start.gdi, finish.gdi, kGdiSlack);
  row("USER objects", start.user, finish.user, kUserSlack);
  row("kernel handles", start.handles, finish.handles, kHandleSlack);
  row("threads", start.threads, finish.threads, kThreadSlack);
  auto count = [&](const char* name, long value, const char* goal) {
    ok = ok && value == 0;
    std::printf("%-28s %10s %10ld   %-21s %s\n", name, "", value, goal,
                value == 0 ? "met" : "MISSED");
  };
  count("protocol errors", unexpectedErrors, "0");
  std::printf("  (%u logged, %ld of them the rest of a request cut short by a removal)\n", errors,
              refusals);
  if (unexpectedErrors > 0) {
    std::printf("  unexpected, by report id:");
    for (int id = 0; id < 256; ++id) {
      if (unexpectedById_[id] != 0) std::printf(" 0x%02X %ld;", id, unexpectedById_[id]);
    }
    std::printf(" %ld of them while the keyboard was away\n", unexpectedWhileAbsent_);
  }
  count("unanswered applies", configurator_->unanswered, "0");
  const double worst = worstMs_.load();
  const bool quick = worst <= kWorstAnswerGoalMs;
  ok = ok && quick;
  std::printf("%-28s %10s %10.1f   <= %-18.0f %s\n", "worst WM_NULL (ms)", "", worst,
              kWorstAnswerGoalMs, quick ? "met" : "MISSED");
  std::printf("  (%ld probes, %ld over the goal, worst during: %s; warm-up worst %.1f ms)\n",
              probes_.load(), slowProbes_.load(),
              worstAction_.load() >= 0 ? kActionNames[worstAction_.load()] : "a pause",
              worstWarmupMs_.load());
  count("faults in Torvo.exe", static_cast<long>(torvo.FaultExceptions().size()), "0");
  if (!settled) std::puts("Torvo.exe did not settle at the end (menus, dial, applies, keyboard)");
  if (unexpectedErrors > 0) std::printf("%s", keyboard_.DescribeProtocolErrors().c_str());

  if (!ok) {
    std::puts("\nchange after each kind of action (GDI, USER, handles, threads):");
    for (int a = 0; a < kActionCount; ++a) {
      std::printf("  %-28s %+5ld %+5ld %+5ld %+5ld\n", kActionNames[a], growth_[a][0],
                  growth_[a][1], growth_[a][2], growth_[a][3]);
    }
  }
  PostMessageW(main_, WM_COMMAND, 6002, 0);
  if (!torvo.WaitForExit(10000)) torvo.Kill();
  for (Child& child : children) EndChild(child);
  for (HWND w : {foregroundWindows_[0], foregroundWindows_[1]}) DestroyWindow(w);
  std::printf("\n%s\n", ok ? "every goal met" : "a goal was missed");
  return ok ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 6 && std::wstring(argv[1]) == L"--child") {
    return RunChild(static_cast<DWORD>(_wtoi(argv[2])), argv[5], _wtoi(argv[3]), _wtoi(argv[4]));
  }
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::wstring flag = argv[i];
    const unsigned long long value = wcstoull(argv[i + 1], nullptr, 10);
    if (flag == L"--minutes") {
      options.runMs = value * 60000;
    } else if (flag == L"--seconds") {
      options.runMs = value * 1000;
    } else if (flag == L"--seed") {
      options.seed = static_cast<unsigned>(value);
    } else if (flag == L"--warmup") {
      options.warmupMs = value * 1000;
    } else {
      std::fwprintf(stderr,
                    L"usage: bench_endurance_win32 [--minutes N | --seconds N] [--seed S] "
                    L"[--warmup N]\n");
      return 2;
    }
  }
  return Endurance(options).Run();
}
