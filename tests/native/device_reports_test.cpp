#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "device/ansi_converter.h"
#include "device/reports.h"
#include "device_fakes.h"
#include "settings/settings_model.h"

namespace torvo {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using Bytes = std::vector<std::uint8_t>;
using testing::SetLabel;

template <std::size_t N>
Bytes ToBytes(const std::array<std::uint8_t, N>& a) {
  return Bytes(a.begin(), a.end());
}

// Pairs of a macro report, as (delay byte, key byte).
std::vector<std::pair<int, int>> Pairs(const MacroReport& r) {
  std::vector<std::pair<int, int>> out;
  for (int i = 0; i < r[kMacroPairCountOffset]; ++i) {
    out.emplace_back(r[kMacroPairsOffset + 2 * i], r[kMacroPairsOffset + 2 * i + 1]);
  }
  return out;
}

// A code page of two bytes per character outside ASCII, as the East Asian
// code pages have: a cut must never leave half of such a character.
class DoubleByteConverter : public AnsiConverter {
 public:
  std::string ToAnsi(std::u16string_view text) const override {
    std::string out;
    for (char16_t c : text) {
      if (c < 0x80) {
        out.push_back(static_cast<char>(c));
      } else {
        out.push_back(static_cast<char>(0x81 + (c >> 8) % 0x7E));
        out.push_back(static_cast<char>(0x40 + (c & 0x3F)));
      }
    }
    return out;
  }
};

class MacroTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(&key, 0, sizeof key);
    key.actionType = 3;
  }
  void SetSteps(const std::vector<MacroStep>& steps) {
    key.stepCount = static_cast<std::uint16_t>(steps.size());
    for (std::size_t i = 0; i < steps.size(); ++i) key.steps[i] = steps[i];
  }
  MacroReport Build(int slot = 0, int keyIndex = 0, MacroFit* fit = nullptr) {
    return BuildMacroReport(key, slot, keyIndex, cp1252, fit);
  }

  KeyAssignment key;
  Cp1252Converter cp1252;
};

TEST(DeviceReportsTest, ShortReportsAreZeroFilledAtTheirLengths) {
  EXPECT_THAT(ToBytes(BuildStatusRequest()), ElementsAre(0x04, 0, 0));
  EXPECT_THAT(ToBytes(BuildUploadStartReport(2)), ElementsAre(0x04, 2, 0xFF, 0, 0, 0, 0, 0));
  EXPECT_THAT(ToBytes(BuildActiveSlotReport(3)), ElementsAre(0x05, 0x04, 3, 0x04));
  EXPECT_THAT(ToBytes(BuildDialFunctionReport(1, 7)), ElementsAre(0x0B, 8, 1, 7, 0, 0, 0, 0));
  EXPECT_THAT(ToBytes(BuildHostStateReport(true, false)), ElementsAre(0x10, 8, 1, 0, 0, 0, 0, 0));
  EXPECT_THAT(ToBytes(BuildHostStateReport(false, true)), ElementsAre(0x10, 8, 0, 1, 0, 0, 0, 0));
}

TEST(DeviceReportsTest, KeyEntriesFollowTheConditionsInOrder) {
  KeyAssignment k{};
  k.keyCodes[0] = 0x1204;  // only the low byte is a usage code
  k.keyCodes[1] = 0x05;
  k.keyCodes[2] = 0x06;
  k.keyCodes[3] = 0x07;
  k.macroIndex = 9;
  k.actionParam = 0x33;
  auto entry = [&](int type, int cls, int slot = 0, int index = 0) {
    k.actionType = static_cast<std::uint8_t>(type);
    k.actionClass = static_cast<std::uint8_t>(cls);
    return ToBytes(EncodeKeyEntry(k, slot, index));
  };
  // Class 4 wins over every type, a macro type included.
  EXPECT_THAT(entry(3, 4), ElementsAre(0x06, 0x04, 0, 0, 0));
  EXPECT_THAT(entry(1, 8), ElementsAre(0x01, 0, 0, 0, 0));
  EXPECT_THAT(entry(2, 8), ElementsAre(0x02, 0x04, 0x05, 0x06, 0x07));
  EXPECT_THAT(entry(0x30, 8), ElementsAre(0x02, 0x04, 0x05, 0x06, 0x07));
  EXPECT_THAT(entry(3, 8, 3, 19), ElementsAre(0x03, 9, 80, 0, 0));
  EXPECT_THAT(entry(3, 8, 1, 4), ElementsAre(0x03, 9, 25, 0, 0));
  EXPECT_THAT(entry(11, 8), ElementsAre(0x0B, 0x33, 0, 0, 0));
  EXPECT_THAT(entry(16, 8), ElementsAre(0x04, 1, 0, 0, 0));
  EXPECT_THAT(entry(17, 8), ElementsAre(0x04, 2, 0, 0, 0));
  EXPECT_THAT(entry(18, 8), ElementsAre(0x04, 3, 0, 0, 0));
  EXPECT_THAT(entry(0x42, 8), ElementsAre(0x02, 0xE0, 0xE1, 0x29, 0));
  // Anything else passes its type on alone.
  EXPECT_THAT(entry(0, 8), ElementsAre(0, 0, 0, 0, 0));
  EXPECT_THAT(entry(0x77, 8), ElementsAre(0x77, 0, 0, 0, 0));
  EXPECT_THAT(entry(0x32, 8), ElementsAre(0x32, 0, 0, 0, 0));
}

TEST(DeviceReportsTest, DefaultSlotZeroKeyTable) {
  const std::uint8_t codes[20] = {0x1E, 0x1F, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27,
                                  0x63, 0x57, 0x2F, 0x30, 0x2E, 0x2D, 0,    0,    0,    0};
  Bytes expected = {0x08, 0x68, 0, 0};
  for (std::uint8_t c : codes) expected.insert(expected.end(), {0x02, c, 0, 0, 0});

  auto handBuilt = testing::MakeDeviceTestBlock();
  EXPECT_THAT(ToBytes(BuildKeyTableReport(handBuilt->slots[0], 0)), ElementsAreArray(expected));

  // The settings store's own defaults give the same table.
  auto defaults = std::make_unique<ConfigBlock>();
  std::memset(defaults.get(), 0, sizeof(ConfigBlock));
  MakeDefaultBlock(*defaults);
  EXPECT_THAT(ToBytes(BuildKeyTableReport(defaults->slots[0], 0)), ElementsAreArray(expected));
  KeyTableReport slot2 = BuildKeyTableReport(defaults->slots[2], 2);
  EXPECT_EQ(slot2[2], 2);
  EXPECT_THAT(Bytes(slot2.begin() + 4, slot2.begin() + 9), ElementsAre(0x01, 0, 0, 0, 0));
  EXPECT_THAT(Bytes(slot2.begin() + 49, slot2.begin() + 54), ElementsAre(0x02, 0x16, 0, 0, 0));
}

TEST_F(MacroTest, HeaderFieldsAndRepeat) {
  key.repeatCount = 0;
  SetLabel(key, u"Mac");
  MacroReport r = Build(2, 6);
  EXPECT_THAT(Bytes(r.begin(), r.begin() + 9), ElementsAre(0x09, 0x82, 2, 47, 1, 'M', 'a', 'c', 0));
  EXPECT_EQ(r[kMacroPairCountOffset], 0);  // no steps, no pairs
  key.repeatCount = 5;
  EXPECT_EQ(Build()[4], 5);
}

TEST_F(MacroTest, DelaysComeFromThePreviousStepAndTheFirstTakesTheLast) {
  // Step i carries the delay of step i-1; step 0 that of the last step.
  SetSteps({{0x04, 1, 12}, {0x05, 0, 0}, {0x06, 1, 6}, {0x07, 2, 7}});
  EXPECT_THAT(Pairs(Build()), ElementsAre(std::pair(2, 0x04),           // 7 ms, of the last step
                                          std::pair(0x80 | 3, 0x05),    // 12 ms, released
                                          std::pair(1, 0x06),           // 0 ms
                                          std::pair(0x80 | 1, 0x07)));  // 6 ms, state 2
}

TEST_F(MacroTest, DelayRounding) {
  EXPECT_EQ(MacroDelayByte(0, 1), 1);
  EXPECT_EQ(MacroDelayByte(6, 1), 1);
  EXPECT_EQ(MacroDelayByte(7, 1), 2);
  EXPECT_EQ(MacroDelayByte(12, 1), 3);
  EXPECT_EQ(MacroDelayByte(635, 1), 127);
  EXPECT_EQ(MacroDelayByte(40, 0), 0x88);
  EXPECT_EQ(MacroDelayByte(40, 255), 0x88);
}

TEST_F(MacroTest, LongDelayBecomesAPairOfHundreds) {
  SetSteps({{0x04, 1, 640}, {0x05, 0, 640}});
  EXPECT_THAT(Pairs(Build()), ElementsAre(std::pair(6, 0x02), std::pair(8, 0x04),
                                          std::pair(6, 0x02), std::pair(0x88, 0x05)));
  // 635 ms is not long yet; 636 is.
  SetSteps({{0x04, 1, 635}});
  EXPECT_THAT(Pairs(Build()), ElementsAre(std::pair(127, 0x04)));
  SetSteps({{0x04, 1, 636}});
  EXPECT_THAT(Pairs(Build()), ElementsAre(std::pair(6, 0x02), std::pair(7, 0x04)));
}

TEST_F(MacroTest, AtMostTenLongDelayPairs) {
  std::vector<MacroStep> steps(11, MacroStep{0x04, 1, 1000});
  SetSteps(steps);
  MacroReport r = Build();
  EXPECT_EQ(r[kMacroPairCountOffset], 21);
  auto pairs = Pairs(r);
  int longPairs = 0;
  for (auto [delay, code] : pairs) longPairs += code == 0x02 && delay == 10 ? 1 : 0;
  EXPECT_EQ(longPairs, 10);
  // The eleventh step keeps only the remainder (0 -> 1).
  EXPECT_EQ(pairs.back(), std::pair(1, 0x04));
  EXPECT_EQ(pairs[pairs.size() - 2], std::pair(1, 0x04));
}

TEST_F(MacroTest, LongDelayQuotientAbove255IsSentAs255) {
  SetSteps({{0x04, 1, 65535}});
  EXPECT_THAT(Pairs(Build()), ElementsAre(std::pair(255, 0x02), std::pair(7, 0x04)));
}

TEST_F(MacroTest, OversizedMacrosStayInsideTheReport) {
  // More than fifty pairs: the first fifty are sent.
  std::vector<MacroStep> steps;
  for (int i = 0; i < 60; ++i) steps.push_back({static_cast<std::uint8_t>(i + 1), 1, 0});
  SetSteps(steps);
  MacroFit fit;
  MacroReport r = Build(0, 0, &fit);
  EXPECT_TRUE(fit.pairsCut);
  EXPECT_EQ(r[kMacroPairCountOffset], 50);
  EXPECT_EQ(r[129], 50);  // key byte of pair 50, the report's last byte
  // A step whose long-delay pair would fit as the 50th but whose key pair
  // would not is left out whole: the macro ends on a key pair.
  std::vector<MacroStep> longSteps(49, MacroStep{0x04, 1, 0});
  longSteps.push_back({0x09, 1, 0});
  longSteps.push_back({0x0A, 1, 0});
  longSteps[48].delayMs = 700;
  SetSteps(longSteps);
  r = Build(0, 0, &fit);
  EXPECT_TRUE(fit.pairsCut);
  EXPECT_EQ(r[kMacroPairCountOffset], 49);
  EXPECT_EQ(Pairs(r).back(), std::pair(1, 0x04));
  EXPECT_EQ(r[kMacroPairsOffset + 2 * 49], 0);  // nothing after the count's pairs
  EXPECT_EQ(r[kMacroPairsOffset + 2 * 49 + 1], 0);
  // The same step fits whole as the 49th and 50th pair of the last step.
  longSteps.erase(longSteps.begin());
  longSteps.pop_back();
  SetSteps(longSteps);
  r = Build(0, 0, &fit);
  EXPECT_FALSE(fit.pairsCut);
  EXPECT_EQ(r[kMacroPairCountOffset], 50);
  EXPECT_EQ(Pairs(r)[48], std::pair(7, 0x02));
  EXPECT_EQ(Pairs(r)[49], std::pair(1, 0x09));

  // A step count beyond the record's capacity reads only its 180 steps.
  std::memset(key.steps, 0, sizeof key.steps);
  key.stepCount = 0xFFFF;
  key.steps[kMaxMacroSteps - 1].delayMs = 12;  // the last real step
  r = Build(0, 0, &fit);
  EXPECT_TRUE(fit.stepsLimited);
  EXPECT_EQ(r[kMacroPairCountOffset], 50);
  EXPECT_EQ(r[kMacroPairsOffset], 0x83);  // the first step took step 179's delay (12 ms)
}

TEST_F(MacroTest, LabelIsNulTerminatedInside24Bytes) {
  const std::u16string exact = u"ABCDEFGHIJKLMNOPQRSTUVW";  // 23 bytes
  SetLabel(key, exact);
  MacroFit fit;
  MacroReport r = Build(0, 0, &fit);
  EXPECT_FALSE(fit.labelCut);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r[5]), 23), "ABCDEFGHIJKLMNOPQRSTUVW");
  EXPECT_EQ(r[28], 0);

  // A label filling its whole array without a terminator is cut to 23 bytes.
  for (auto& c : key.label) c = u'x';
  r = Build(0, 0, &fit);
  EXPECT_TRUE(fit.labelCut);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r[5]), 23), std::string(23, 'x'));
  EXPECT_EQ(r[28], 0);
  EXPECT_EQ(r[29], 0);  // pair count untouched
}

TEST_F(MacroTest, LabelCutNeverSplitsACharacter) {
  DoubleByteConverter dbcs;
  // 11 ASCII + 7 double-byte characters = 25 bytes: the cut keeps 11 + 12.
  SetLabel(key, u"abcdefghijk\u4E00\u4E01\u4E02\u4E03\u4E04\u4E05\u4E06");
  MacroFit fit;
  MacroReport r = BuildMacroReport(key, 0, 0, dbcs, &fit);
  EXPECT_TRUE(fit.labelCut);
  EXPECT_NE(r[5 + 22], 0);
  EXPECT_EQ(r[5 + 23], 0);
  // 12 ASCII + 6 double-byte = 24 bytes: the last character goes whole.
  SetLabel(key, u"abcdefghijkl\u4E00\u4E01\u4E02\u4E03\u4E04\u4E05");
  r = BuildMacroReport(key, 0, 0, dbcs, &fit);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r[5])).size(), 22u);

  // Neither a surrogate pair nor a letter and its accent are torn apart.
  EXPECT_EQ(ToAnsiFitting(cp1252, u"abcdefghijklmnopqrstuv\U0001F600", 23),
            "abcdefghijklmnopqrstuv?");
  EXPECT_EQ(ToAnsiFitting(cp1252, u"abcdefghijklmnopqrstuvw\U0001F600", 23),
            "abcdefghijklmnopqrstuvw");
  EXPECT_EQ(ToAnsiFitting(dbcs, u"abcdefghijklmnopqrstuv\u0065\u0301", 23),
            "abcdefghijklmnopqrstuv");
}

TEST(DeviceAnsiTest, Cp1252Conversion) {
  Cp1252Converter c;
  EXPECT_EQ(c.ToAnsi(u"Caf\u00E9 \u20AC5"),
            "Caf\xE9 \x80"
            "5");
  EXPECT_EQ(c.ToAnsi(u"Cafe\u0301 E\u0308 s\u030C"), "Caf\xE9 \xCB \x9A");
  EXPECT_EQ(c.ToAnsi(u"\u4E2D\U0001F600\u0301"), "???");
  EXPECT_EQ(c.ToAnsi(u"\u0081\u0085"), "\x81?");
}

}  // namespace
}  // namespace torvo
