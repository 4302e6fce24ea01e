#include "menu/menu_item_list.h"

#include <utility>

namespace torvo {

CMenuItemList::~CMenuItemList() {
  // First to last, without recursing through the chain.
  std::unique_ptr<Entry> entry = std::move(first_);
  while (entry) entry = std::move(entry->next);
}

void CMenuItemList::Add(std::u16string_view text, std::uint32_t id, std::int32_t markColorFlag,
                        std::int32_t trademarkFlag) {
  auto entry = std::make_unique<Entry>();
  entry->text.assign(text);
  entry->id = id;
  entry->markColorFlag = markColorFlag;
  entry->trademarkFlag = trademarkFlag;
  Entry* added = entry.get();
  if (last_ == nullptr) {
    first_ = std::move(entry);
  } else {
    last_->next = std::move(entry);
  }
  last_ = added;
  ++count_;
}

const CMenuItemList::Entry* CMenuItemList::Find(std::uint32_t id) const {
  for (const Entry* entry = first_.get(); entry != nullptr; entry = entry->next.get()) {
    if (entry->id == id) return entry;
  }
  return nullptr;
}

MenuItemInfo CMenuItemList::Lookup(std::uint32_t id) const {
  const Entry* entry = Find(id);
  if (entry == nullptr) return {};
  return {entry->text, entry->markColorFlag, entry->trademarkFlag};
}

}  // namespace torvo
