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

#include "dial/rgn_button.h"
#include "dial/win32/picture_win32.h"

namespace torvo::win32 {

inline constexpr UINT MSG_BUTTON_HOVER = 1124;
inline constexpr wchar_t kRgnButtonClassName[] = L"Rgn Button";

class CRgnWnd {
 public:
  CRgnWnd();
  virtual ~CRgnWnd();
  CRgnWnd(const CRgnWnd&) = delete;
  CRgnWnd& operator=(const CRgnWnd&) = delete;

  // Creates the window as a child of `parent` with the class "Rgn Button",
  // an empty title and `style`; it takes its shape from `maskPath` while it
  // is created. Returns false when the window could not be created.
  bool Create(DWORD style, const RECT& rect, HWND parent, UINT id);
  // Replaces the four state images (normal, over, down, disabled) by the
  // parts of the four pictures under `rect`.
  void SetBitmaps(const GdiBitmap& normal, const GdiBitmap& over, const GdiBitmap& down,
                  const GdiBitmap& disabled, const RECT& rect);
  HWND GetSafeHwnd() const { return hwnd_; }
  // Whether the shape region holds the point (client coordinates).
  bool HasRegion() const { return region_ != nullptr; }

  // Full path of the mask bitmap; set before the window is created.
  std::u16string maskPath;

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

  static bool RegisterClass(HINSTANCE instance);
  static LRESULT CALLBACK ClassWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
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
  HRGN region_ = nullptr;  // a copy of the window's shape, for hit tests
  GdiBitmap images_[4];    // normal, over, down, disabled
  GdiBitmap maskBitmap_;
};

class CRgnButton final : public CRgnWnd {
 public:
  CRgnButton();
  RgnButtonLogic& Button() { return static_cast<RgnButtonLogic&>(Logic()); }
};

}  // namespace torvo::win32
