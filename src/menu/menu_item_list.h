// The texts and marks of an owner-drawn menu's items, looked up by the id
// each item holds in the platform menu.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace torvo {

// What a menu item draws: its text and its "TM" mark flags.
struct MenuItemInfo {
  std::u16string_view text;
  // 1: the "TM" mark is light blue; any other value: the item's text colour.
  std::int32_t markColorFlag = -1;
  // 1: a small "TM" mark follows the text; any other value: no mark.
  std::int32_t trademarkFlag = 0;
};

// A singly linked list of entries in the order they were added. It owns its
// entries and frees them first to last.
class CMenuItemList {
 public:
  struct Entry {
    std::u16string text;
    std::uint32_t id = 0;
    std::int32_t markColorFlag = -1;
    std::int32_t trademarkFlag = 0;
    std::unique_ptr<Entry> next;
  };

  CMenuItemList() = default;
  virtual ~CMenuItemList();
  CMenuItemList(const CMenuItemList&) = delete;
  CMenuItemList& operator=(const CMenuItemList&) = delete;

  void Add(std::u16string_view text, std::uint32_t id, std::int32_t markColorFlag,
           std::int32_t trademarkFlag);
  // The first entry with this id, or null.
  const Entry* Find(std::uint32_t id) const;
  // The first entry's values, or the empty text, mark colour flag -1 and
  // trademark flag 0 for an id without an entry.
  MenuItemInfo Lookup(std::uint32_t id) const;
  std::size_t Count() const { return count_; }
  const Entry* First() const { return first_.get(); }

 private:
  std::unique_ptr<Entry> first_;
  Entry* last_ = nullptr;
  std::size_t count_ = 0;
};

}  // namespace torvo
