// Region-shaped child windows of the dial. CRgnWnd takes its shape from a
// mask bitmap when it is created and keeps one image per visual state;
// CRgnButton is a CRgnWnd that behaves as a push button: hover, pressed and
// disabled looks, MSG_BUTTON_HOVER to its parent when the pointer comes and
// goes, and WM_COMMAND when it is clicked inside its shape. The decisions
// are RgnWndLogic's and RgnButtonLogic's; these classes carry them out.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "common/messages.h"
#include "dial/rgn_button.h"
#include "dial/win32/picture_win32.h"

namespace torvo::win32 {

inline constexpr wchar_t kRgnButtonClassName[] = L"Rgn Button";
// The window class a shaped window falls back on when "Rgn Button" cannot
// be registered: plain attributes, the default window procedure.
inline constexpr wchar_t kDefaultWindowClassName[] = L"TorvoWnd";

class CRgnWnd {
 public:
  CRgnWnd();
  virtual ~CRgnWnd();
  CRgnWnd(const CRgnWnd&) = delete;
  CRgnWnd& operator=(const CRgnWnd&) = delete;

  // Creates the window as a child of `parent` with the class "Rgn Button"
  // (or, when that class cannot be registered, the default window class),
  // an empty title and `style`; it takes its shape from `maskPath` while it
  // is created. Whatever procedure the class has, the window's own is
  // attached before its first message. Returns false when the window could
  // not be created.
  bool Create(DWORD style, const RECT& rect, HWND parent, UINT id);
  // Replaces the four state images (normal, over, down, disabled) by the
  // parts of the four pictures under `rect` (the window's rectangle in the
  // pictures' coordinates) that lie on each picture.
  void SetBitmaps(const GdiBitmap& normal, const GdiBitmap& over, const GdiBitmap& down,
                  const GdiBitmap& disabled, const RECT& rect);
  HWND GetSafeHwnd() const { return hwnd_; }
  // Whether the shape region holds the point (client coordinates).
  bool HasRegion() const { return region_ != nullptr; }

  // Full path of the mask bitmap; set before the window is created.
  std::u16string maskPath;
  // Where the mask's top-left pixel lies in the window's client
  // coordinates; set before the window is created.
  POINT maskOrigin = {0, 0};

  // The registration of the window class, replaceable by tests.
  static inline ATOM(WINAPI* registerClassEx)(const WNDCLASSEXW*) = &RegisterClassExW;

 protected:
  explicit CRgnWnd(std::unique_ptr<RgnWndLogic> logic);
  RgnWndLogic& Logic() { return *logic_; }

 private:
  class Region final : public ButtonRegion {
   public:
    explicit Region(const HRGN& region) : region_(region) {}
    bool Contains(int x, int y) const override {
      return region_ != nullptr && PtInRegion(region_, x, y) != FALSE;
    }

   private:
    const HRGN& region_;
  };

  // The class to create the window with, registered if need be; null when
  // neither class can be registered.
  static const wchar_t* WindowClass(HINSTANCE instance);
  static LRESULT CALLBACK CreationHook(int code, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ClassWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  void ApplyMaskRegion();
  void Paint();
  MoveContext GatherMoveContext(WPARAM flags, POINT point) const;
  // Carries out the effects in order; the default handling's result is the
  // message's result.
  LRESULT CarryOut(const ButtonEffects& effects, UINT message, WPARAM wParam, LPARAM lParam);

  std::unique_ptr<RgnWndLogic> logic_;
  Region hitRegion_{region_};
  HWND hwnd_ = nullptr;
  HRGN region_ = nullptr;             // a copy of the window's shape, for hit tests
  WNDPROC classProcedure_ = nullptr;  // the class's own: the default handling
  GdiBitmap images_[4];               // normal, over, down, disabled
  POINT imageOrigins_[4] = {};        // where each image lands in the window
  GdiBitmap maskBitmap_;
};

class CRgnButton final : public CRgnWnd {
 public:
  CRgnButton();
  RgnButtonLogic& Button() { return static_cast<RgnButtonLogic&>(Logic()); }
};

}  // namespace torvo::win32
