// Drives the program folder's Torvo.exe and the virtual keyboard through the
// scenes of the README's pictures, for scripts/screenshots: the tray with the
// program's icon, the dial at rest, the dial during a selection gesture, the
// dial's context menu, and the tray menu before and after it. Clicks are real
// mouse input (SendInput) where a person would click.
//
// For each scene it writes "<folder>/<name>.ready" holding the screen
// rectangle worth keeping, "left top right bottom", and optionally the name
// of an earlier scene whose picture this one must differ from; then it waits
// for the watcher on the same display to take the picture and create
// "<folder>/<name>.done". Scenes whose name starts with "_" are references
// only, not kept. The dial is a per-pixel-alpha window that a screen read
// from inside Wine does not see, so the watcher, which reads the X display,
// is the one to tell when the dial's new content is on screen.
// Usage: torvo_screenshot_steps <Unix folder>; exit code 0 when every scene
// was offered and taken.
#include <windows.h>

#include <cstdio>
#include <string>

#include "harness.h"
#include "hiddriver/client/virtual_keyboard.h"
#include "menu_support.h"

namespace {

using torvo::testing::WaitUntil;

constexpr wchar_t kTorvoTitle[] = L"Zenqo_K27_Vistrane_Torv";
constexpr COLORREF kMenuBlue = 0x00CC7A00;
constexpr DWORD kStepTimeoutMs = 20000;
constexpr DWORD kPictureTimeoutMs = 60000;

void Fail(const char* what) {
  std::fprintf(stderr, "torvo_screenshot_steps: %s\n", what);
}

RECT WindowRect(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

bool SameRect(const RECT& a, const RECT& b) {
  return EqualRect(&a, &b) != FALSE;
}

RECT Union(const RECT& a, const RECT& b) {
  RECT both{};
  UnionRect(&both, &a, &b);
  return both;
}

// Real mouse input: the pointer moves onto the point, as a hand on the
// mouse would move it, and the right button goes down or up there.
bool MoveTo(int x, int y) {
  SetCursorPos(x, y);
  INPUT move{};
  move.type = INPUT_MOUSE;
  move.mi.dx = static_cast<LONG>((x * 65535LL) / (GetSystemMetrics(SM_CXSCREEN) - 1));
  move.mi.dy = static_cast<LONG>((y * 65535LL) / (GetSystemMetrics(SM_CYSCREEN) - 1));
  move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  return SendInput(1, &move, sizeof(INPUT)) == 1 && WaitUntil(
                                                        [&] {
                                                          POINT p{};
                                                          GetCursorPos(&p);
                                                          return p.x == x && p.y == y;
                                                        },
                                                        2000);
}

bool RightButton(bool down) {
  INPUT button{};
  button.type = INPUT_MOUSE;
  button.mi.dwFlags = down ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP;
  return SendInput(1, &button, sizeof(INPUT)) == 1;
}

bool HasClass(HWND window, const wchar_t* name) {
  wchar_t found[64] = {};
  GetClassNameW(window, found, 64);
  return std::wstring(found) == name;
}

struct TraySearch {
  const wchar_t* windowClass;
  const wchar_t* iconClass;
  HWND found;
};

BOOL CALLBACK FindVisibleOfClass(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<TraySearch*>(parameter);
  if (HasClass(window, search->iconClass) && IsWindowVisible(window)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// The notification area's window and the program's icon inside it. Without a
// system tray on the X display, Wine shows the icons in a tray window of its
// own, one child window per icon: the X driver's standalone tray, or the
// shell's tray window in Wine's newer versions.
struct Tray {
  HWND window = nullptr;
  HWND icon = nullptr;
};

Tray FindTray() {
  static const TraySearch kKinds[] = {
      {L"__winex11_standalone_tray", L"__winex11_tray_icon", nullptr},
      {L"Shell_TrayWnd", L"__wine_tray_icon", nullptr},
  };
  for (TraySearch search : kKinds) {
    for (HWND window = FindWindowW(search.windowClass, nullptr); window != nullptr;
         window = FindWindowExW(nullptr, window, search.windowClass, nullptr)) {
      if (!IsWindowVisible(window)) continue;
      EnumChildWindows(window, FindVisibleOfClass, reinterpret_cast<LPARAM>(&search));
      if (search.found != nullptr) return Tray{window, search.found};
    }
  }
  return Tray{};
}

class Watcher {
 public:
  explicit Watcher(const char* unixFolder) {
    folder_ = L"Z:";
    for (const char* c = unixFolder; *c != '\0'; ++c) {
      folder_ += *c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*c));
    }
    if (folder_.back() != L'\\') folder_ += L'\\';
  }

  // Announces a scene with the rectangle to keep and waits for its picture;
  // with `differsFrom`, the picture is taken once the rectangle on screen
  // differs from that earlier scene's.
  bool Offer(const char* name, const RECT& keep, const char* differsFrom = "") {
    const std::wstring base =
        folder_ + std::wstring(name, name + std::char_traits<char>::length(name));
    char text[96];
    const int length = std::snprintf(text, sizeof(text), "%ld %ld %ld %ld %s\n", keep.left,
                                     keep.top, keep.right, keep.bottom, differsFrom);
    DeleteFileW((base + L".done").c_str());
    // Written under a temporary name and moved, so the watcher never reads half a line.
    const std::wstring partial = base + L".part";
    HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(file);
    if (!MoveFileExW(partial.c_str(), (base + L".ready").c_str(), MOVEFILE_REPLACE_EXISTING)) {
      return false;
    }
    std::printf("scene %s: %ld,%ld to %ld,%ld\n", name, keep.left, keep.top, keep.right,
                keep.bottom);
    std::fflush(stdout);
    return WaitUntil(
        [&] { return GetFileAttributesW((base + L".done").c_str()) != INVALID_FILE_ATTRIBUTES; },
        kPictureTimeoutMs);
  }

 private:
  std::wstring folder_;
};

class Scenes {
 public:
  explicit Scenes(Watcher& watcher) : watcher_(watcher) {}
  ~Scenes() { End(); }

  bool Run() {
    if (!keyboard_.Create(true)) return Failed("the virtual keyboard's control block did not open");
    if (!Start()) return false;
    return TrayScene() && TrayMenu("tray_menu_first", false) && DialAtRest() &&
           DialDuringGesture() && DialMenu() && TrayMenu("tray_menu", true);
  }

 private:
  bool Failed(const char* what) {
    Fail(what);
    return false;
  }

  bool Start() {
    const std::wstring dist = torvo::testing::DistFolder();
    std::wstring commandLine = L"\"" + dist + L"Torvo.exe\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        dist.c_str(), &startup, &process_)) {
      return Failed("Torvo.exe did not start");
    }
    if (!WaitUntil([&] { return (main_ = MainWindowOfProcess()) != nullptr; }, kStepTimeoutMs)) {
      return Failed("Torvo.exe showed no main window");
    }
    if (!WaitUntil([&] { return torvo::testing::TrayIconExists(main_); }, kStepTimeoutMs)) {
      return Failed("Torvo.exe added no tray icon");
    }
    // The start-up upload ends with the host-state report; the dial's
    // events are taken after it.
    if (!WaitUntil([&] { return keyboard_.Model().hostStateReports >= 1; }, kStepTimeoutMs)) {
      return Failed("the start-up upload did not end");
    }
    return true;
  }

  HWND MainWindowOfProcess() const {
    HWND window = FindWindowW(nullptr, kTorvoTitle);
    DWORD owner = 0;
    if (window != nullptr) GetWindowThreadProcessId(window, &owner);
    return owner == process_.dwProcessId ? window : nullptr;
  }

  bool TrayScene() {
    if (!WaitUntil([&] { return (tray_ = FindTray()).icon != nullptr; }, kStepTimeoutMs)) {
      return Failed("no tray window with an icon: is an X system tray taking the icons?");
    }
    return watcher_.Offer("tray", WindowRect(tray_.window));
  }

  // Where the dial shows. The program places it by the full-screen client
  // height, which Wine without a window manager reports larger than the
  // screen; the dial then hangs below the screen's edge, where on Windows it
  // sits above the taskbar. For the pictures it is lifted into the screen.
  RECT DialOnScreen() const {
    RECT rect = WindowRect(main_);
    const int below = rect.bottom - GetSystemMetrics(SM_CYSCREEN);
    if (below > 0) OffsetRect(&rect, 0, -below);
    return rect;
  }

  bool DialAtRest() {
    const RECT dial = DialOnScreen();
    // The screen where the dial will show, before it does.
    if (!watcher_.Offer("_dial_hidden", dial)) return false;
    if (!keyboard_.SendInputEvent(0x5000, 1)) return Failed("the show event was not taken");
    if (!WaitUntil([&] { return IsWindowVisible(main_) != FALSE; }, kStepTimeoutMs)) {
      return Failed("the dial did not show");
    }
    SetWindowPos(main_, nullptr, dial.left, dial.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (!WaitUntil([&] { return SameRect(dial, WindowRect(main_)); }, kStepTimeoutMs)) {
      return Failed("the dial did not move into the screen");
    }
    return watcher_.Offer("dial", dial, "_dial_hidden");
  }

  // Each event is one composition, shown at once: a picture that differs
  // from the one before shows the event's result. The gesture previews
  // brackets (5) and ends there, which selects them.
  bool DialDuringGesture() {
    const RECT dial = WindowRect(main_);
    if (!keyboard_.SendInputEvent(0x6000, 1) ||
        !watcher_.Offer("_dial_gesture_start", dial, "dial")) {
      return Failed("the dial did not start the gesture");
    }
    if (!keyboard_.SendInputEvent(0x7000, 5) ||
        !watcher_.Offer("dial_gesture", dial, "_dial_gesture_start")) {
      return Failed("the dial did not preview a function");
    }
    if (!keyboard_.SendInputEvent(0x6000, 2) ||
        !watcher_.Offer("_dial_gesture_end", dial, "dial_gesture")) {
      return Failed("the gesture did not end");
    }
    return true;
  }

  // The menu window of Torvo.exe once its items are drawn (dark text on the
  // light menu), and with `blue`, framed in the dial menu's blue.
  HWND WaitForMenu(bool blue) {
    HWND menu = nullptr;
    WaitUntil(
        [&] {
          menu = torvo::testing::VisibleMenuWindowOf(process_.dwProcessId);
          if (menu == nullptr) return false;
          const RECT rect = WindowRect(menu);
          const RECT inside{rect.left + 3, rect.top + 3, rect.right - 3, rect.bottom - 3};
          return (!blue || torvo::testing::ScreenPixel(rect.left, rect.top) == kMenuBlue) &&
                 torvo::testing::DarkPixelsIn(inside) > 10;
        },
        kStepTimeoutMs);
    return menu;
  }

  // Escape pressed on the keyboard, as a person closes a menu. (A key posted
  // to the menu window closes it too, but under Wine the next real click
  // then reaches no window.)
  bool CloseMenu(HWND menu) {
    INPUT keys[2]{};
    keys[0].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = VK_ESCAPE;
    keys[1].type = INPUT_KEYBOARD;
    keys[1].ki.wVk = VK_ESCAPE;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    return SendInput(2, keys, sizeof(INPUT)) == 2 &&
           WaitUntil([&] { return !IsWindow(menu) || !IsWindowVisible(menu); }, kStepTimeoutMs);
  }

  // A right click at `point` opens a menu (with `blue`, framed in blue); its
  // picture keeps `around` as well. With `holdUntilOpen` the button is let go
  // only once the menu shows (a menu that opens on the press and tracks the
  // left button may otherwise take the release as a click elsewhere). A menu
  // that did not open, or closed before its picture was taken, is tried again.
  bool MenuScene(const char* name, POINT point, const RECT& around, bool blue, bool holdUntilOpen) {
    for (int attempt = 0; attempt < 3; ++attempt) {
      if (!MoveTo(point.x, point.y) || !RightButton(true)) {
        return Failed("the right click was not sent");
      }
      if (!holdUntilOpen) RightButton(false);
      HWND menu = WaitForMenu(blue);
      if (holdUntilOpen) RightButton(false);
      if (menu == nullptr) {
        std::printf("scene %s: no menu opened; once more\n", name);
        continue;
      }
      const RECT rect = WindowRect(menu);
      if (!watcher_.Offer(name, Union(around, rect))) return false;
      const bool stayed = IsWindowVisible(menu) && SameRect(rect, WindowRect(menu));
      if (stayed) return CloseMenu(menu) || Failed("the menu did not close");
      std::printf("scene %s: the menu closed before its picture; once more\n", name);
      WaitUntil(
          [&] { return torvo::testing::VisibleMenuWindowOf(process_.dwProcessId) == nullptr; },
          kStepTimeoutMs);
    }
    return Failed(blue ? "no menu stayed open in the blue frame" : "no menu stayed open");
  }

  bool DialMenu() {
    // The centre of the dial belongs to the main window (the sectors are buttons).
    const RECT dial = WindowRect(main_);
    return MenuScene("dial_menu", {(dial.left + dial.right) / 2, (dial.top + dial.bottom) / 2},
                     dial, true, false);
  }

  // The tray menu, framed in the colours in force: before the dial's menu
  // has been opened, and after it (blue).
  bool TrayMenu(const char* name, bool afterDialMenu) {
    const RECT icon = WindowRect(tray_.icon);
    return MenuScene(name, {(icon.left + icon.right) / 2, (icon.top + icon.bottom) / 2},
                     WindowRect(tray_.window), afterDialMenu, true);
  }

  // Ends Torvo.exe by its exit command, as its tray menu would.
  void End() {
    if (process_.hProcess == nullptr) return;
    if (main_ != nullptr) PostMessageW(main_, WM_COMMAND, 6002, 0);
    if (WaitForSingleObject(process_.hProcess, 10000) != WAIT_OBJECT_0) {
      TerminateProcess(process_.hProcess, 1);
    }
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
    process_ = PROCESS_INFORMATION{};
  }

  Watcher& watcher_;
  torvo::vkb::VirtualKeyboard keyboard_;
  PROCESS_INFORMATION process_{};
  HWND main_ = nullptr;
  Tray tray_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    Fail("usage: torvo_screenshot_steps <Unix folder for the scene files>");
    return 2;
  }
  torvo::testing::EndStrayInstances();
  // A fresh settings folder for the pictures; the one there comes back after.
  torvo::testing::SettingsArea settings;
  Watcher watcher(argv[1]);
  Scenes scenes(watcher);
  return scenes.Run() ? 0 : 1;
}
