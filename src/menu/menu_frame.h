// The decisions of the menu-window hook: which windows it frames, what the
// framed window's procedure does with each message, the records of framed
// windows and the three one-pixel rings of the frame.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "menu/ex_menu_core.h"

namespace torvo {

// Class name of the platform's popup menu windows, compared exactly.
inline constexpr char16_t kPopupMenuClassName[] = u"#32768";
// Window property holding a framed window's previous window procedure.
inline constexpr char16_t kOldProcProperty[] = u"CoolMenu_oldProc";
// Messages after which a popup menu window is framed: WM_CREATE, and the
// message a menu window receives when it is sized for its items.
inline constexpr unsigned kMsgCreate = 0x0001;
inline constexpr unsigned kMsgMenuSizeWindow = 0x01E2;
inline constexpr std::size_t kRecordMapBuckets = 1000;

// The frame colours, outer ring first.
using FrameColors = std::array<ColorRef, 3>;
// What the dial's context menu sets before it opens; they stay for every
// later menu of the thread.
inline constexpr FrameColors kDialMenuFrameColors = {kMenuBlue, kMenuWhite, kMenuWhite};

// The hook looks at a window only for these messages, with code HC_ACTION (0).
bool IsFramingMoment(int code, unsigned message);
// `className` is what the platform returned for the window (at most 9 units).
bool IsPopupMenuClass(std::u16string_view className);
// A popup menu window not yet carrying the property is framed.
bool ShouldFrameWindow(std::u16string_view className, bool hasOldProcProperty);

enum class FramedMenuAction {
  kPassOn,                // the previous procedure, unchanged
  kPaintFrameOnly,        // WM_NCPAINT with a record: the rings, result 0
  kPassOnThenPaintFrame,  // WM_PRINT with a record: the rings over the image
  // WM_PAINT with a record: the rings again over what the menu painted, for
  // menus that paint their own border inside the client area (Wine does);
  // where the border is the non-client area this repaints the same pixels.
  kPassOnThenRepaintFrame,
  kDetachThenPassOn,  // hidden or destroyed: the previous procedure back first
};
FramedMenuAction ChooseFramedMenuAction(unsigned message, std::uintptr_t wParam, bool hasRecord);

// One filled one-pixel-wide rectangle of a ring.
struct FrameFill {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  ColorRef color = 0;
  bool operator==(const FrameFill&) const = default;
};
// The rings along the inside of a window of this size, outer first: each
// ring is its top row, left column, right column and bottom row. Rows and
// columns left empty by a window smaller than the frame are not listed.
std::vector<FrameFill> FrameRings(int width, int height, const FrameColors& colors);

// One record per framed window, owned by the map: attaching a window that
// has a record gives that record back.
template <typename Handle, typename Record>
class FramedWindowRecords {
 public:
  explicit FramedWindowRecords(std::size_t buckets = kRecordMapBuckets) : map_(buckets) {}
  Record* Attach(Handle window) {
    auto& slot = map_[window];
    if (!slot) slot = std::make_unique<Record>(Record{window});
    return slot.get();
  }
  Record* Find(Handle window) const {
    auto it = map_.find(window);
    return it == map_.end() ? nullptr : it->second.get();
  }
  // Removes and deletes the record of this window (if it is the map's).
  void Remove(const Record* record) {
    if (record == nullptr) return;
    auto it = map_.find(record->hWnd);
    if (it != map_.end() && it->second.get() == record) map_.erase(it);
  }
  std::size_t Size() const { return map_.size(); }
  std::size_t BucketCount() const { return map_.bucket_count(); }
  void Rehash(std::size_t buckets) { map_.rehash(buckets); }

 private:
  std::unordered_map<Handle, std::unique_ptr<Record>> map_;
};

}  // namespace torvo
