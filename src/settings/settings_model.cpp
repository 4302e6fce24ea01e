#include "settings/settings_model.h"

#include <cstddef>
#include <cstring>

#include "common/trace.h"

namespace torvo {

const std::uint8_t kDefaultKeyCodeMap[kKeyCodeMapSize] = {
    0x29, 0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xDB, 0x46, 0x47,
    0x48, 0x35, 0x1E, 0x1F, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x2D, 0x2E, 0x2A,
    0x2B, 0x14, 0x1A, 0x08, 0x15, 0x17, 0x1C, 0x18, 0x0C, 0x12, 0x13, 0x2F, 0x30, 0x28, 0x39,
    0x04, 0x16, 0x07, 0x09, 0x0A, 0x0B, 0x0D, 0x0E, 0x0F, 0x33, 0x34, 0x31, 0xE1, 0x1D, 0x1B,
    0x06, 0x19, 0x05, 0x11, 0x10, 0x36, 0x37, 0x38, 0xE5, 0xE0, 0xDC, 0xE2, 0x2C, 0xE6, 0xE7,
    0x65, 0xE4, 0x49, 0x4C, 0x50, 0x4A, 0x4D, 0x52, 0x51, 0x4B, 0x4E, 0x4F, 0x53, 0x5F, 0x5C,
    0x59, 0x62, 0x54, 0x60, 0x5D, 0x5A, 0x55, 0x61, 0x5E, 0x5B, 0x63, 0x56, 0x57, 0x58,
};

namespace {

// First key code of each programmable key.
constexpr std::uint16_t kSlot0KeyCodes[kKeysPerProfile] = {
    0x1E, 0x1F, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27,
    0x63, 0x57, 0x2F, 0x30, 0x2E, 0x2D, 0x00, 0x00, 0x00, 0x00,
};
constexpr std::uint16_t kOtherSlotKeyCodes[kKeysPerProfile] = {
    0x1E, 0x1F, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x16,
    0x2A, 0x38, 0x1D, 0x1B, 0x06, 0x19, 0x00, 0x00, 0x00, 0x00,
};

// Writes "<prefix><number>" NUL-terminated; the labels are at most "G20".
void WriteLabel(char16_t (&label)[100], const char16_t* prefix, int number) {
  std::size_t pos = 0;
  for (; *prefix != u'\0'; ++prefix) label[pos++] = *prefix;
  if (number >= 10) label[pos++] = static_cast<char16_t>(u'0' + number / 10);
  label[pos++] = static_cast<char16_t>(u'0' + number % 10);
  label[pos] = u'\0';
}

// Header byte ranges cleared at start, [first, last] inclusive.
struct ByteRange {
  std::size_t first;
  std::size_t last;
};
constexpr ByteRange kClearedRuntimeRanges[] = {
    {628, 647}, {648, 651}, {652, 671}, {672, 691}, {692, 711}, {716, 735},
};

}  // namespace

void MakeDefaultProfile(ProfileRecord& record, int slot) {
  record.name[0] = u'\0';
  record.appPath[0] = u'\0';
  std::memcpy(record.keyCodeMap, kDefaultKeyCodeMap, sizeof(record.keyCodeMap));
  record.selectedFunction = 1;
  std::memset(record.keys, 0, sizeof(record.keys));
  const bool first = slot == 0;
  for (int k = 0; k < kKeysPerProfile; ++k) {
    KeyAssignment& key = record.keys[k];
    if (first) {
      key.actionType = 0x30;
      key.actionClass = 8;
      key.keyCodes[0] = kSlot0KeyCodes[k];
      WriteLabel(key.label, u"", k + 1);
    } else {
      key.actionType = k <= 8 ? 0x01 : 0x30;
      key.actionClass = 9;
      key.keyCodes[0] = kOtherSlotKeyCodes[k];
      WriteLabel(key.label, u"G", k + 1);
    }
  }
}

void MakeDefaultHeaderFields(ConfigHeader& header) {
  header.activeSlot = 0;
  header.word1 = 4;
  header.word2 = 1;
  for (std::int32_t& index : header.libraryIndex) index = 0;
}

void MakeDefaultBlock(ConfigBlock& block) {
  std::memset(&block, 0, sizeof(block));
  MakeDefaultHeaderFields(block.header);
  for (int s = 0; s < kSlotCount; ++s) MakeDefaultProfile(block.slots[s], s);
}

void ResetRuntimeFields(ConfigHeader& header) {
  std::memset(header.uploadFlags, 0, sizeof(header.uploadFlags));
  auto* bytes = reinterpret_cast<std::uint8_t*>(&header);
  for (const ByteRange& range : kClearedRuntimeRanges) {
    std::memset(bytes + range.first, 0, range.last - range.first + 1);
  }
}

bool ValidateActiveSlot(ConfigHeader& header) {
  if (header.activeSlot >= 0 && header.activeSlot < kSlotCount) return true;
  Trace(u"active slot out of range; slot 0 is used\n");
  header.activeSlot = 0;
  return false;
}

int ActiveSlotIndex(const ConfigHeader& header) {
  if (header.activeSlot >= 0 && header.activeSlot < kSlotCount) return header.activeSlot;
  return 0;
}

}  // namespace torvo
