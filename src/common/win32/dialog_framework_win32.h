// A small dialog framework: a modal dialog built from a dialog resource whose
// window class is our own, so that the window procedure sees every message,
// WM_CREATE included, before DefDlgProcW does. Derived classes override the
// framework handlers (OnCreate, OnDestroy, OnInitDialog, OnCommand, OnTimer)
// and route further messages through a message map (see MessageMapEntry).
#pragma once

#include <windows.h>

#include <cstddef>

namespace torvo::win32 {

// The framework's popup menu: holds a platform menu handle and destroys that
// menu when it is destroyed. While a menu object holds a handle, the owner
// window of a tracked menu routes the owner-draw requests of its items
// (WM_MEASUREITEM and WM_DRAWITEM with ODT_MENU) to MeasureItem and DrawItem
// of the object whose menu is being tracked. UI thread only.
class CMenu {
 public:
  CMenu() = default;
  virtual ~CMenu();
  CMenu(const CMenu&) = delete;
  CMenu& operator=(const CMenu&) = delete;

  BOOL Attach(HMENU menu);
  HMENU Detach();
  BOOL DestroyMenu();
  HMENU GetSafeHmenu() const { return menu_; }

  virtual void MeasureItem(MEASUREITEMSTRUCT* measure);
  virtual void DrawItem(DRAWITEMSTRUCT* draw);

  // The object holding this handle on this thread, or null.
  static CMenu* FromHandlePermanent(HMENU menu);
  // Owner-draw routing for an owner window: WM_INITMENUPOPUP names the menu
  // about to be tracked; WM_MEASUREITEM and WM_DRAWITEM of menu items go to
  // its object. Returns true when the request was a menu's and was served.
  static bool RouteOwnerDraw(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  HMENU menu_ = nullptr;
};

class CDialogWindow {
 public:
  // Window class named in the CLASS statement of every dialog template that
  // this framework runs.
  static constexpr wchar_t kDialogClassName[] = L"TorvoDialogClass";

  CDialogWindow(HINSTANCE instance, UINT templateId);
  virtual ~CDialogWindow();
  CDialogWindow(const CDialogWindow&) = delete;
  CDialogWindow& operator=(const CDialogWindow&) = delete;

  // Runs the dialog modally; returns when it has been destroyed (the value
  // given to EndDialog) or -1 when its creation failed.
  INT_PTR DoModal(HWND owner = nullptr);
  HWND GetSafeHwnd() const { return hwnd_; }
  HINSTANCE Instance() const { return instance_; }

  // Registers the window class (once per process); DoModal calls it.
  static bool RegisterDialogClass(HINSTANCE instance);

 protected:
  // WM_CREATE: return 0 to create the window, -1 to make creation fail.
  virtual int OnCreate(CREATESTRUCTW* createStruct);
  virtual void OnDestroy();
  virtual BOOL OnInitDialog();
  // Every WM_COMMAND. Return TRUE when handled. The default dispatches the
  // message map's command entries and ends the dialog on IDOK and IDCANCEL.
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  virtual void OnTimer(UINT_PTR id);
  // The message map: return true and set `result` when the message was
  // handled; false lets the default processing run.
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // The default processing of the message being handled (DefDlgProcW).
  LRESULT Default();
  void EndDialog(INT_PTR result);

 private:
  struct CurrentMessage {
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
  };

  static LRESULT CALLBACK ClassWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // The handler of one message, by kind.
  LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

  HINSTANCE instance_;
  UINT templateId_;
  HWND hwnd_ = nullptr;
  CurrentMessage current_;
  bool destroyHandled_ = false;
};

// A message map: a static table of entries that route a message (or a range
// of WM_COMMAND ids) to a member function taking (WPARAM, LPARAM).
template <typename T>
struct MessageMapEntry {
  UINT message;
  UINT firstId;  // WM_COMMAND only: the range of command ids
  UINT lastId;
  LRESULT (T::*handler)(WPARAM, LPARAM);
};

template <typename T, std::size_t N>
bool DispatchMessageMap(T& target, const MessageMapEntry<T> (&map)[N], UINT message, WPARAM wParam,
                        LPARAM lParam, LRESULT& result) {
  for (const auto& entry : map) {
    if (entry.message != message) continue;
    if (message == WM_COMMAND) {
      const UINT id = LOWORD(wParam);
      if (id < entry.firstId || id > entry.lastId) continue;
    }
    result = (target.*entry.handler)(wParam, lParam);
    return true;
  }
  return false;
}

}  // namespace torvo::win32
