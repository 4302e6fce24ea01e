// The program's report encoders against the virtual keyboard's decoder: random
// settings go out through BuildKeyTableReport, BuildMacroReport and
// BuildDialFunctionReport and must come back, as the keyboard reads them, as
// the actions, macros and dial functions this test expects from the settings
// themselves (never from the encoder's bytes).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "device/ansi_converter.h"
#include "device/reports.h"
#include "hiddriver/control_block.h"
#include "hiddriver/keyboard_state.h"
#include "hiddriver/report_decoding.h"
#include "hiddriver/state_dump.h"
#include "settings/config_block.h"

namespace torvo {
namespace {

using vkb::KeyAction;
using vkb::KeyActionKind;

// The shortcut action types and the keys the keyboard must receive for them
// (usage codes of the keyboard page, modifier first).
struct Shortcut {
  std::uint8_t actionType;
  std::uint8_t keys[4];
  const char* name;
};
constexpr Shortcut kShortcuts[] = {
    {0x31, {0xE2, 0x3D, 0, 0}, "Left Alt + F4"},
    {0x34, {0xE3, 0x07, 0, 0}, "Left GUI + D"},
    {0x3A, {0xE0, 0x06, 0, 0}, "Left Control + C"},
    {0x3B, {0xE0, 0x1B, 0, 0}, "Left Control + X"},
    {0x3C, {0xE0, 0x19, 0, 0}, "Left Control + V"},
    {0x3D, {0xE0, 0x1D, 0, 0}, "Left Control + Z"},
    {0x40, {0xE2, 0x2B, 0, 0}, "Left Alt + Tab"},
    {0x41, {0xE3, 0x08, 0, 0}, "Left GUI + E"},
    {0x42, {0xE0, 0xE1, 0x29, 0}, "Left Control + Left Shift + Escape"},
};

struct ExpectedAction {
  KeyActionKind kind;
  std::uint8_t code = 0;  // kPlain
  std::uint8_t value = 0;
  std::uint8_t macroNumber = 0;
  std::uint8_t keys[4] = {};
  const char* shortcut = nullptr;
};

std::uint8_t Lo(std::uint16_t code) {
  return static_cast<std::uint8_t>(code & 0xFF);
}

ExpectedAction Expect(const KeyAssignment& key, int slot, int k) {
  ExpectedAction e{KeyActionKind::kPlain};
  if (key.actionClass == 4) {
    e.kind = KeyActionKind::kSingleKey;
    e.value = Lo(key.keyCodes[0]);
    return e;
  }
  for (const Shortcut& s : kShortcuts) {
    if (s.actionType == key.actionType) {
      e.kind = KeyActionKind::kKeys;
      std::memcpy(e.keys, s.keys, 4);
      e.shortcut = s.name;
      return e;
    }
  }
  switch (key.actionType) {
    case 2:
    case 0x30:
      e.kind = KeyActionKind::kKeys;
      for (int i = 0; i < 4; ++i) e.keys[i] = Lo(key.keyCodes[i]);
      break;
    case 3:
      e.kind = KeyActionKind::kMacro;
      e.value = key.macroIndex;
      e.macroNumber = static_cast<std::uint8_t>(slot * 20 + k + 1);
      break;
    case 11:
      e.kind = KeyActionKind::kParameter;
      e.value = key.actionParam;
      break;
    case 16:
    case 17:
    case 18:
      e.kind = KeyActionKind::kFunction;
      e.value = static_cast<std::uint8_t>(key.actionType - 15);
      break;
    // Other action types travel as the entry kind of the same number; 4 and
    // 6 are kinds with a payload, which they arrive with empty.
    case 4:
      e.kind = KeyActionKind::kFunction;
      break;
    case 6:
      e.kind = KeyActionKind::kSingleKey;
      break;
    default:
      e.code = key.actionType;
      break;
  }
  return e;
}

struct ExpectedStep {
  std::uint8_t keyCode;
  bool pressed;
  std::uint32_t delayMs;
  int pairs;  // pairs the step takes in the report (1, or 2 with a long-delay pair)
};

// The steps a macro key must arrive as. The pause before step i is the delay
// of step i - 1 (of the last step for step 0). Pauses over 635 ms travel as
// hundreds (at most 255) in a long-delay pair, for the first ten such pauses
// only, and the rest in 5 ms units rounded half up at 2 ms, at least one
// unit. Steps that do not fit 50 pairs whole are left out.
std::vector<ExpectedStep> ExpectSteps(const KeyAssignment& key) {
  const int n = std::min<int>(key.stepCount, kMaxMacroSteps);
  std::vector<ExpectedStep> steps;
  int longPairs = 0;
  int pairs = 0;
  for (int i = 0; i < n; ++i) {
    const unsigned pause = key.steps[i == 0 ? n - 1 : i - 1].delayMs;
    unsigned hundreds = 0;
    unsigned rest = pause;
    bool longPair = false;
    if (pause > 635) {
      rest = pause % 100;
      if (longPairs < 10) {
        longPair = true;
        hundreds = std::min(pause / 100, 255u);
      }
    }
    const int stepPairs = longPair ? 2 : 1;
    if (pairs + stepPairs > 50) break;
    pairs += stepPairs;
    longPairs += longPair ? 1 : 0;
    const unsigned units = std::max(1u, rest / 5 + (rest % 5 >= 2 ? 1 : 0));
    const std::uint32_t delay = hundreds * 100 + units * 5;
    // Within the rounding of the pause, as long as nothing had to be dropped.
    if (pause <= 635 || (longPair && pause < 25600)) {
      EXPECT_LE(delay, pause + 5);
      EXPECT_GE(delay + 1, pause);
    }
    steps.push_back({key.steps[i].keyCode, key.steps[i].keyState == 1, delay, stepPairs});
  }
  return steps;
}

// The macro name: the label's characters (ASCII and Latin-1 letters here,
// the same bytes in Windows-1252), at most 23 of them.
std::string ExpectName(const KeyAssignment& key) {
  std::string name;
  for (char16_t c : key.label) {
    if (c == 0 || name.size() == 23) break;
    name.push_back(static_cast<char>(c));
  }
  return name;
}

class RandomSettings {
 public:
  explicit RandomSettings(std::uint32_t seed) : random_(seed) {}

  int Int(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

  void FillProfile(ProfileRecord& profile) {
    std::memset(&profile, 0, sizeof(profile));
    profile.selectedFunction = static_cast<std::uint8_t>(Int(1, 8));
    for (KeyAssignment& key : profile.keys) FillKey(key);
  }

 private:
  void FillKey(KeyAssignment& key) {
    static constexpr std::uint8_t kTypes[] = {
        0,    1,    2,    0x30, 3,    3,    3, 11, 16, 17,   18,   0x31, 0x34, 0x3A,
        0x3B, 0x3C, 0x3D, 0x40, 0x41, 0x42, 4, 6,  5,  0x20, 0x43, 0x7F, 0x80, 0xFF};
    key.actionType = kTypes[Int(0, static_cast<int>(std::size(kTypes)) - 1)];
    key.actionClass = static_cast<std::uint8_t>(Int(0, 9) == 0 ? 4 : Int(5, 12));
    key.macroIndex = static_cast<std::uint8_t>(Int(0, 255));
    key.actionParam = static_cast<std::uint8_t>(Int(0, 255));
    for (std::uint16_t& code : key.keyCodes) {
      code = Int(0, 3) == 0 ? 0 : static_cast<std::uint16_t>(Int(0, 0xFFFF));
    }
    key.repeatCount = static_cast<std::uint8_t>(Int(0, 3) == 0 ? 0 : Int(1, 255));
    const int labelLength = Int(0, 3) == 0 ? Int(24, 60) : Int(0, 23);
    for (int i = 0; i < labelLength; ++i) {
      key.label[i] = static_cast<char16_t>(Int(0, 4) == 0 ? Int(0xA0, 0xFF) : Int(0x20, 0x7E));
    }
    const int length = Int(0, 4);
    key.stepCount = static_cast<std::uint16_t>(length == 0   ? 0
                                               : length == 4 ? Int(30, kMaxMacroSteps)
                                                             : Int(1, 24));
    for (int i = 0; i < key.stepCount; ++i) {
      MacroStep& step = key.steps[i];
      // Key byte 0x02 marks a long-delay pair on the wire; no step plays it.
      do {
        step.keyCode = static_cast<std::uint8_t>(Int(0, 255));
      } while (step.keyCode == 0x02);
      step.keyState = static_cast<std::uint8_t>(Int(0, 3));
      const int kind = Int(0, 9);
      step.delayMs = static_cast<std::uint16_t>(kind < 5   ? Int(0, 40)
                                                : kind < 7 ? Int(41, 635)
                                                : kind < 9 ? Int(636, 9999)
                                                           : Int(10000, 65535));
    }
  }

  std::mt19937 random_;
};

class ReportRoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    vkb::InitControlBlock(*block_, true);
    ASSERT_EQ(vkb::HandleOpenFeatureDevice(*block_), 1);
  }

  template <typename Report>
  void Send(const Report& report) {
    std::vector<std::uint8_t> bytes(report.begin(), report.end());
    const auto answer =
        vkb::HandleSetFeature(*block_, bytes.data(), static_cast<int>(bytes.size()), ++tick_);
    ASSERT_EQ(answer.result, 1) << vkb::VerdictText(answer.verdict)
                                << vkb::DescribeProtocolErrors(*block_);
  }

  void CheckAction(const KeyAction& got, const ExpectedAction& e, int slot, int k) {
    SCOPED_TRACE("slot " + std::to_string(slot) + " key " + std::to_string(k) + ": " +
                 vkb::DescribeKeyAction(got));
    ASSERT_EQ(got.kind, static_cast<std::uint8_t>(e.kind));
    switch (e.kind) {
      case KeyActionKind::kPlain:
        EXPECT_EQ(got.code, e.code);
        break;
      case KeyActionKind::kKeys:
        EXPECT_EQ(std::memcmp(got.keys, e.keys, 4), 0);
        if (e.shortcut != nullptr) {
          ASSERT_NE(got.combination, 0);
          EXPECT_STREQ(vkb::FixedCombinations()[got.combination - 1].name, e.shortcut);
          EXPECT_EQ(vkb::DescribeKeyAction(got), e.shortcut);
        }
        break;
      case KeyActionKind::kMacro:
        EXPECT_EQ(got.macroNumber, e.macroNumber);
        EXPECT_EQ(got.value, e.value);
        break;
      default:
        EXPECT_EQ(got.value, e.value);
        break;
    }
  }

  void CheckMacro(const KeyAssignment& key, int slot, int k) {
    SCOPED_TRACE("macro of slot " + std::to_string(slot) + " key " + std::to_string(k));
    const vkb::Macro& m = block_->model.macros[slot * 20 + k];
    ASSERT_EQ(m.present, 1);
    EXPECT_EQ(m.slot, slot);
    EXPECT_EQ(m.repeat, key.repeatCount == 0 ? 1 : key.repeatCount);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.name)), ExpectName(key));
    const std::vector<ExpectedStep> steps = ExpectSteps(key);
    ASSERT_EQ(m.stepCount, steps.size());
    int pairs = 0;
    for (std::size_t i = 0; i < steps.size(); ++i) {
      EXPECT_EQ(m.steps[i].keyCode, steps[i].keyCode) << "step " << i;
      EXPECT_EQ(m.steps[i].pressed != 0, steps[i].pressed) << "step " << i;
      EXPECT_EQ(m.steps[i].delayMs, steps[i].delayMs) << "step " << i;
      pairs += steps[i].pairs;
    }
    EXPECT_EQ(m.pairCount, pairs);
  }

  std::unique_ptr<vkb::ControlBlock> block_ = std::make_unique<vkb::ControlBlock>();
  std::uint32_t tick_ = 0;
  Cp1252Converter converter_;
};

TEST_F(ReportRoundTrip, RandomSettingsArriveAsTheirActionsMacrosAndDialFunctions) {
  RandomSettings random(20261208);
  auto profiles = std::make_unique<ProfileRecord[]>(kSlotCount);
  std::set<std::uint8_t> shortcutsSeen;
  int macrosChecked = 0;
  int cutMacros = 0;
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const int activeSlot = random.Int(0, 3);
    Send(BuildUploadStartReport(activeSlot));
    Send(BuildActiveSlotReport(activeSlot));
    for (int s = 0; s < kSlotCount; ++s) {
      random.FillProfile(profiles[s]);
      Send(BuildKeyTableReport(profiles[s], s));
      Send(BuildDialFunctionReport(s, profiles[s].selectedFunction));
    }
    for (int s = 0; s < kSlotCount; ++s) {
      for (int k = 0; k < kKeysPerProfile; ++k) {
        // Every key of action type 3 gets its macro, whatever its class (a
        // key of class 4 keeps its single-key entry all the same).
        const KeyAssignment& key = profiles[s].keys[k];
        if (key.actionType != 3) continue;
        Send(BuildMacroReport(key, s, k, converter_));
      }
    }
    ASSERT_EQ(block_->counters.protocolErrors, 0u) << vkb::DescribeProtocolErrors(*block_);
    EXPECT_EQ(block_->model.activeSlot, activeSlot);

    for (int s = 0; s < kSlotCount; ++s) {
      EXPECT_EQ(block_->model.slots[s].dialFunction, profiles[s].selectedFunction);
      for (int k = 0; k < kKeysPerProfile; ++k) {
        const KeyAssignment& key = profiles[s].keys[k];
        CheckAction(block_->model.slots[s].actions[k], Expect(key, s, k), s, k);
        if (key.actionClass != 4 && key.actionType >= 0x31) shortcutsSeen.insert(key.actionType);
        if (key.actionType == 3) {
          CheckMacro(key, s, k);
          ++macrosChecked;
          cutMacros += ExpectSteps(key).size() < key.stepCount ? 1 : 0;
        }
      }
    }
    if (HasFatalFailure()) return;
  }
  for (const Shortcut& s : kShortcuts) {
    EXPECT_TRUE(shortcutsSeen.count(s.actionType)) << "shortcut " << s.name << " never drawn";
  }
  EXPECT_GT(macrosChecked, 1000);
  EXPECT_GT(cutMacros, 50);  // macros longer than one report were among them
}

TEST_F(ReportRoundTrip, EveryShortcutArrivesAsItsKeys) {
  ProfileRecord profile{};
  for (std::size_t i = 0; i < std::size(kShortcuts); ++i) {
    profile.keys[i].actionType = kShortcuts[i].actionType;
    profile.keys[i].keyCodes[0] = 0x1E;  // what the key held before does not count
  }
  Send(BuildKeyTableReport(profile, 2));
  for (std::size_t i = 0; i < std::size(kShortcuts); ++i) {
    CheckAction(block_->model.slots[2].actions[i], Expect(profile.keys[i], 2, static_cast<int>(i)),
                2, static_cast<int>(i));
  }
}

}  // namespace
}  // namespace torvo
