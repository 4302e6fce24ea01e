#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fakes.h"
#include "settings/settings_model.h"

namespace torvo {
namespace {

using fakes::Bytes;

Bytes ImageOf(const ConfigBlock& block) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&block);
  return Bytes(bytes, bytes + sizeof(block));
}

void Put16(Bytes& image, std::size_t offset, std::uint16_t value) {
  image[offset] = static_cast<std::uint8_t>(value);
  image[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutText(Bytes& image, std::size_t offset, const std::string& text) {
  for (char c : text) {
    Put16(image, offset, static_cast<std::uint16_t>(c));
    offset += 2;
  }
}

// The default block written out by byte offsets, independently of the
// structure declarations, so that a field at a wrong place is caught.
Bytes ExpectedDefaultImage() {
  Bytes image(84212, 0);
  image[4] = 4;  // word1
  image[8] = 1;  // word2
  const std::uint8_t keyCodeMap[104] = {
      0x29, 0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xDB, 0x46, 0x47,
      0x48, 0x35, 0x1E, 0x1F, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x2D, 0x2E, 0x2A,
      0x2B, 0x14, 0x1A, 0x08, 0x15, 0x17, 0x1C, 0x18, 0x0C, 0x12, 0x13, 0x2F, 0x30, 0x28, 0x39,
      0x04, 0x16, 0x07, 0x09, 0x0A, 0x0B, 0x0D, 0x0E, 0x0F, 0x33, 0x34, 0x31, 0xE1, 0x1D, 0x1B,
      0x06, 0x19, 0x05, 0x11, 0x10, 0x36, 0x37, 0x38, 0xE5, 0xE0, 0xDC, 0xE2, 0x2C, 0xE6, 0xE7,
      0x65, 0xE4, 0x49, 0x4C, 0x50, 0x4A, 0x4D, 0x52, 0x51, 0x4B, 0x4E, 0x4F, 0x53, 0x5F, 0x5C,
      0x59, 0x62, 0x54, 0x60, 0x5D, 0x5A, 0x55, 0x61, 0x5E, 0x5B, 0x63, 0x56, 0x57, 0x58};
  const std::uint16_t codes0[20] = {0x1E, 0x1F, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27,
                                    0x63, 0x57, 0x2F, 0x30, 0x2E, 0x2D, 0,    0,    0,    0};
  const std::uint16_t codesG[20] = {0x1E, 0x1F, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x16,
                                    0x2A, 0x38, 0x1D, 0x1B, 0x06, 0x19, 0,    0,    0,    0};
  for (int s = 0; s < 4; ++s) {
    const std::size_t base = 756 + static_cast<std::size_t>(s) * 20864;
    image[base + 1548] = 1;  // selectedFunction
    std::memcpy(&image[base + 1800], keyCodeMap, sizeof(keyCodeMap));
    for (int k = 0; k < 20; ++k) {
      const std::size_t key = base + 1904 + static_cast<std::size_t>(k) * 948;
      if (s == 0) {
        image[key + 1] = 0x30;
        image[key + 2] = 8;
        Put16(image, key + 14, codes0[k]);
        PutText(image, key + 22, std::to_string(k + 1));
      } else {
        image[key + 1] = k <= 8 ? 0x01 : 0x30;
        image[key + 2] = 9;
        Put16(image, key + 14, codesG[k]);
        PutText(image, key + 22, "G" + std::to_string(k + 1));
      }
    }
  }
  return image;
}

TEST(SettingsModel, DefaultBlockMatchesTheRecordImageByteForByte) {
  auto block = std::make_unique<ConfigBlock>();
  std::memset(block.get(), 0x5A, sizeof(ConfigBlock));  // every byte must be written
  MakeDefaultBlock(*block);
  const Bytes actual = ImageOf(*block);
  const Bytes expected = ExpectedDefaultImage();
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(actual[i], expected[i]) << "byte " << i;
  }
}

TEST(SettingsModel, ResetRuntimeFieldsClearsExactlyTheRunRanges) {
  ConfigHeader header;
  auto* bytes = reinterpret_cast<std::uint8_t*>(&header);
  for (std::size_t i = 0; i < sizeof(header); ++i) bytes[i] = static_cast<std::uint8_t>(i | 1);
  ResetRuntimeFields(header);
  for (std::size_t i = 0; i < sizeof(header); ++i) {
    const bool cleared = (i >= 28 && i <= 711) || (i >= 716 && i <= 735);
    EXPECT_EQ(bytes[i], cleared ? 0 : static_cast<std::uint8_t>(i | 1)) << "byte " << i;
  }
}

TEST(SettingsModel, ActiveSlotOutsideTheFourSlotsBecomesSlotZeroWithATrace) {
  for (std::int32_t bad : {-1, 4, 1000, INT32_MIN, INT32_MAX}) {
    fakes::TraceRecorder traces;
    ConfigHeader header{};
    header.activeSlot = bad;
    EXPECT_EQ(ActiveSlotIndex(header), 0);
    EXPECT_FALSE(ValidateActiveSlot(header));
    EXPECT_EQ(header.activeSlot, 0);
    EXPECT_EQ(traces.traces.size(), 1u);
  }
  for (std::int32_t good : {0, 1, 2, 3}) {
    fakes::TraceRecorder traces;
    ConfigHeader header{};
    header.activeSlot = good;
    EXPECT_TRUE(ValidateActiveSlot(header));
    EXPECT_EQ(header.activeSlot, good);
    EXPECT_EQ(ActiveSlotIndex(header), good);
    EXPECT_TRUE(traces.traces.empty());
  }
}

}  // namespace
}  // namespace torvo
