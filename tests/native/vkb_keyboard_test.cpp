// The virtual keyboard's portable core: report decoding into the model, the
// answers of SetFeature/GetFeature, the report log and the post queue.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "hiddriver/control_block.h"
#include "hiddriver/keyboard_state.h"
#include "hiddriver/report_decoding.h"
#include "hiddriver/state_dump.h"

namespace torvo::vkb {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Reports built by hand, byte for byte, independent of the program's encoders.
Bytes KeyTable(std::uint8_t slot) {
  Bytes r(104, 0);
  r[0] = 0x08;
  r[1] = 0x68;
  r[2] = slot;
  for (int k = 0; k < 20; ++k) {
    r[4 + 5 * k] = 0x02;
    r[5 + 5 * k] = static_cast<std::uint8_t>(0x1E + k);
    r[6 + 5 * k] = static_cast<std::uint8_t>(slot);
  }
  return r;
}

// A key table of slot `slot` whose keys in `macroKeys` are macro keys (index
// 7) and whose other keys are single key combinations.
Bytes KeyTableWithMacros(std::uint8_t slot, std::initializer_list<int> macroKeys) {
  Bytes r = KeyTable(slot);
  for (int k : macroKeys) {
    const std::uint8_t entry[5] = {0x03, 7, static_cast<std::uint8_t>(slot * 20 + k + 1), 0, 0};
    std::copy(std::begin(entry), std::end(entry), r.begin() + 4 + 5 * k);
  }
  return r;
}

Bytes MacroReport(std::uint8_t slot, std::uint8_t number, std::uint8_t repeat,
                  const std::string& name, const Bytes& pairs) {
  Bytes r(130, 0);
  r[0] = 0x09;
  r[1] = 0x82;
  r[2] = slot;
  r[3] = number;
  r[4] = repeat;
  std::memcpy(&r[5], name.data(), name.size());
  r[29] = static_cast<std::uint8_t>(pairs.size() / 2);
  std::copy(pairs.begin(), pairs.end(), r.begin() + 30);
  return r;
}

Bytes Short(std::uint8_t id, std::uint8_t b2, std::uint8_t b3) {
  return {id, 0x08, b2, b3, 0, 0, 0, 0};
}

class VirtualKeyboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitControlBlock(block(), true);
    ASSERT_EQ(HandleOpenFeatureDevice(block()), 1);
  }
  ControlBlock& block() { return *block_; }
  int Set(Bytes r) {
    return HandleSetFeature(block(), r.data(), static_cast<int>(r.size()), ++tick_).result;
  }
  // Polls the status report; -1 when GetFeature answers 0.
  int Poll() {
    std::uint8_t r[3] = {0x04, 0, 0};
    return HandleGetFeature(block(), r, 3, ++tick_).result != 0 ? r[1] : -1;
  }

  std::unique_ptr<ControlBlock> block_ = std::make_unique<ControlBlock>();
  std::uint32_t tick_ = 1000;
};

TEST_F(VirtualKeyboardTest, KeyTableFillsOnlyItsSlot) {
  ASSERT_EQ(Set(KeyTable(2)), 1);
  const SlotModel& slot = block().model.slots[2];
  EXPECT_EQ(slot.keyTableReports, 1u);
  for (int k = 0; k < 20; ++k) {
    const std::uint8_t expected[5] = {0x02, static_cast<std::uint8_t>(0x1E + k), 2, 0, 0};
    EXPECT_EQ(std::memcmp(slot.keys[k], expected, 5), 0) << "key " << k;
  }
  EXPECT_EQ(block().model.slots[1].keyTableReports, 0u);
  EXPECT_EQ(block().model.slots[1].keys[0][0], 0);
  EXPECT_EQ(block().model.slots[3].keys[19][0], 0);
  EXPECT_EQ(block().model.keyTableReports, 1u);
}

TEST_F(VirtualKeyboardTest, MacroDecodesLongDelayPairsDirectionAndName) {
  const Bytes pairs = {
      0x06, 0x02, 0x08, 0x04,  // 640 ms (6 x 100 + 8 x 5), key 0x04 down
      0x88, 0x04,              // 40 ms, key 0x04 up (bit 7 set)
      0x7F, 0x05,              // 635 ms, the longest delay without a long pair
      0x01, 0x02, 0x01, 0x02,  // two long pairs add up: 200 ms ...
      0x81, 0x06,              // ... + 5 ms, key 0x06 up
      0x01, 0xE0,              // key code 0xE0 is not taken for a long pair
  };
  const std::string name = "Copy \xE9t\xE9";  // ANSI bytes kept as sent
  ASSERT_EQ(Set(KeyTableWithMacros(1, {4})), 1);
  ASSERT_EQ(Set(MacroReport(1, 25, 3, name, pairs)), 1);

  const Macro& m = block().model.macros[24];
  EXPECT_EQ(m.present, 1);
  EXPECT_EQ(m.slot, 1);
  EXPECT_EQ(m.number, 25);
  EXPECT_EQ(m.repeat, 3);
  EXPECT_EQ(m.pairCount, 8);
  EXPECT_EQ(m.longPairCount, 3);
  EXPECT_EQ(m.trailingLongPair, 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.name)), name);
  ASSERT_EQ(m.stepCount, 5);
  const struct {
    std::uint8_t key, pressed;
    std::uint32_t delay;
  } expected[] = {{0x04, 1, 640}, {0x04, 0, 40}, {0x05, 1, 635}, {0x06, 0, 205}, {0xE0, 1, 5}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(m.steps[i].keyCode, expected[i].key) << "step " << i;
    EXPECT_EQ(m.steps[i].pressed, expected[i].pressed) << "step " << i;
    EXPECT_EQ(m.steps[i].delayMs, expected[i].delay) << "step " << i;
  }
  EXPECT_EQ(m.steps[3].longPairs, 2);
}

TEST_F(VirtualKeyboardTest, MacroEdgeShapes) {
  // A name of 23 bytes plus its NUL fills the field exactly.
  const std::string name23(23, 'N');
  ASSERT_EQ(Set(KeyTableWithMacros(0, {0, 1})), 1);
  ASSERT_EQ(Set(KeyTableWithMacros(3, {19})), 1);
  ASSERT_EQ(Set(MacroReport(3, 80, 1, name23, {0x06, 0x02, 0x08, 0x04})), 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(block().model.macros[79].name)), name23);

  // Eleven steps whose delays all exceed 635 ms: ten carry a long pair; 21 pairs.
  Bytes pairs;
  for (int i = 0; i < 11; ++i) {
    if (i < 10) pairs.insert(pairs.end(), {0x07, 0x02});
    pairs.insert(pairs.end(), {0x08, static_cast<std::uint8_t>(0x04 + i)});
  }
  ASSERT_EQ(Set(MacroReport(0, 1, 1, "", pairs)), 1);
  const Macro& m = block().model.macros[0];
  EXPECT_EQ(m.pairCount, 21);
  ASSERT_EQ(m.stepCount, 11);
  EXPECT_EQ(m.steps[9].delayMs, 740u);
  EXPECT_EQ(m.steps[10].delayMs, 40u);

  // A newer report for the same number replaces the old steps entirely.
  ASSERT_EQ(Set(MacroReport(0, 1, 2, "b", {0x01, 0x09})), 1);
  EXPECT_EQ(m.reports, 2u);
  EXPECT_EQ(m.repeat, 2);
  ASSERT_EQ(m.stepCount, 1);
  EXPECT_EQ(m.steps[1].keyCode, 0);  // nothing stale left behind
  EXPECT_EQ(m.longPairCount, 0);

  // No steps at all.
  ASSERT_EQ(Set(MacroReport(0, 2, 1, "", {})), 1);
  EXPECT_EQ(block().model.macros[1].stepCount, 0);
  EXPECT_EQ(block().model.macroReports, 4u);
}

TEST_F(VirtualKeyboardTest, SlotDialAndHostStateReports) {
  ASSERT_EQ(Set({0x04, 0x02, 0xFF, 0, 0, 0, 0, 0}), 1);  // upload start, slot 2
  EXPECT_EQ(block().model.activeSlot, 2);
  EXPECT_EQ(block().model.uploadStartReports, 1u);
  ASSERT_EQ(Set({0x05, 0x04, 0x03, 0x04}), 1);  // active slot 3
  EXPECT_EQ(block().model.activeSlot, 3);
  EXPECT_EQ(block().model.activeSlotReports, 1u);
  ASSERT_EQ(Set(Short(0x0B, 1, 6)), 1);  // dial function 6 in slot 1
  EXPECT_EQ(block().model.slots[1].dialFunction, 6);
  EXPECT_EQ(block().model.activeSlot, 3);  // the dial report does not switch slots
  ASSERT_EQ(Set(Short(0x10, 1, 1)), 1);
  EXPECT_EQ(block().model.hostActive, 1);
  EXPECT_EQ(block().model.hostDialShown, 1);
  ASSERT_EQ(Set(Short(0x10, 0, 0)), 1);
  EXPECT_EQ(block().model.hostActive, 0);
  EXPECT_EQ(block().model.hostStateReports, 2u);
}

TEST_F(VirtualKeyboardTest, MalformedReportsAreRefusedAsProtocolErrors) {
  // Slot 0 holds macro keys 0 and 1; key 2 is a key combination.
  ASSERT_EQ(Set(KeyTableWithMacros(0, {0, 1})), 1);
  Bytes longName = MacroReport(0, 1, 1, "", {});
  std::memset(&longName[5], 'x', 24);  // no NUL inside the 24 name bytes
  Bytes tooManyPairs = MacroReport(0, 1, 1, "", {});
  tooManyPairs[29] = 51;
  Bytes shortTable = KeyTable(0);
  shortTable.pop_back();
  Bytes badTableLength = KeyTable(0);
  badTableLength[1] = 0x67;
  Bytes afterPairs = MacroReport(0, 1, 1, "", {0x01, 0x04});
  afterPairs[32] = 0x05;  // the byte right after the one pair
  Bytes lastByte = MacroReport(0, 1, 1, "", {});
  lastByte[129] = 1;
  Bytes afterName = MacroReport(0, 1, 1, "ab", {});
  afterName[9] = 'z';  // after the name's NUL
  Bytes elevenLong, tenLong;
  for (int i = 0; i < 11; ++i) {
    elevenLong.insert(elevenLong.end(), {0x07, 0x02, 0x01, 0x04});
    if (i < 10) tenLong.insert(tenLong.end(), {0x07, 0x02, 0x01, 0x04});
  }
  auto entryTable = [](int k, std::initializer_list<std::uint8_t> entry) {
    Bytes r = KeyTable(1);
    std::copy(entry.begin(), entry.end(), r.begin() + 4 + 5 * k);
    return r;
  };
  const struct {
    const char* what;
    Bytes report;
    Verdict verdict;
  } cases[] = {
      {"unknown id", Short(0x07, 0, 0), Verdict::kUnknownReport},
      {"status id set with length 3", {0x04, 0x01, 0x00}, Verdict::kBadLength},
      {"upload start without 0xFF", {0x04, 0x01, 0x00, 0, 0, 0, 0, 0}, Verdict::kBadHeader},
      {"upload start slot 4", {0x04, 0x04, 0xFF, 0, 0, 0, 0, 0}, Verdict::kBadSlot},
      {"upload start byte 7", {0x04, 0x01, 0xFF, 0, 0, 0, 0, 1}, Verdict::kNonZeroPadding},
      {"active slot 4", {0x05, 0x04, 0x04, 0x04}, Verdict::kBadSlot},
      {"active slot length 8", {0x05, 0x04, 0x01, 0x04, 0, 0, 0, 0}, Verdict::kBadLength},
      {"key table 103 bytes", shortTable, Verdict::kBadLength},
      {"key table length byte", badTableLength, Verdict::kBadHeader},
      {"key table slot 9", KeyTable(9), Verdict::kBadSlot},
      {"macro entry naming another key", entryTable(3, {0x03, 1, 25, 0, 0}), Verdict::kBadKeyEntry},
      {"macro entry with a tail", entryTable(0, {0x03, 1, 21, 0, 9}), Verdict::kBadKeyEntry},
      {"plain entry with a payload", entryTable(0, {0x01, 0, 0, 1, 0}), Verdict::kBadKeyEntry},
      {"function 4", entryTable(0, {0x04, 4, 0, 0, 0}), Verdict::kBadKeyEntry},
      {"single key with a tail", entryTable(0, {0x06, 0x1E, 0x1F, 0, 0}), Verdict::kBadKeyEntry},
      {"parameter with a tail", entryTable(0, {0x0B, 5, 0, 0, 1}), Verdict::kBadKeyEntry},
      {"macro number 0", MacroReport(0, 0, 1, "", {}), Verdict::kBadMacroNumber},
      {"macro number 81", MacroReport(3, 81, 1, "", {}), Verdict::kBadMacroNumber},
      {"macro number of another slot", MacroReport(1, 20, 1, "", {}), Verdict::kBadMacroNumber},
      {"51 pairs", tooManyPairs, Verdict::kTooManyPairs},
      {"name not terminated", longName, Verdict::kNameNotTerminated},
      {"byte after the pairs", afterPairs, Verdict::kNonZeroPadding},
      {"last byte", lastByte, Verdict::kNonZeroPadding},
      {"byte after the name", afterName, Verdict::kNonZeroPadding},
      {"eleven long-delay pairs", MacroReport(0, 1, 1, "", elevenLong),
       Verdict::kTooManyLongDelays},
      {"ends on a long-delay pair", MacroReport(0, 2, 1, "", {0x01, 0x04, 0x07, 0x02}),
       Verdict::kDanglingLongDelay},
      {"dial slot 4", Short(0x0B, 4, 1), Verdict::kBadSlot},
      {"dial byte 4", {0x0B, 0x08, 0x01, 0x02, 0x01, 0, 0, 0}, Verdict::kNonZeroPadding},
      {"host state length 4", {0x10, 0x08, 0x01, 0x00}, Verdict::kBadLength},
      {"host state byte 6", {0x10, 0x08, 0x01, 0x00, 0, 0, 0x10, 0}, Verdict::kNonZeroPadding},
  };
  const KeyboardModel before = block().model;
  const std::uint32_t logBefore = block().logTotal;
  for (const auto& c : cases) {
    Bytes report = c.report;
    const auto answer =
        HandleSetFeature(block(), report.data(), static_cast<int>(report.size()), 1);
    EXPECT_EQ(answer.result, 0) << c.what;
    EXPECT_EQ(answer.verdict, c.verdict) << c.what;
    EXPECT_TRUE(IsProtocolError(answer.verdict)) << c.what;
    EXPECT_EQ(std::string(VerdictText(answer.verdict)).back(), '\n');
  }
  EXPECT_EQ(std::memcmp(&before, &block().model, sizeof(before)), 0);
  EXPECT_EQ(HandleSetFeature(block(), nullptr, 8, 1).verdict, Verdict::kNullBuffer);
  std::uint8_t one[1] = {0x10};
  EXPECT_EQ(HandleSetFeature(block(), one, 0, 1).verdict, Verdict::kBadLength);
  EXPECT_EQ(HandleSetFeature(block(), one, -5, 1).verdict, Verdict::kBadLength);
  const std::uint32_t calls = std::size(cases) + 3;
  EXPECT_EQ(block().counters.setFeature, calls + 1);
  EXPECT_EQ(block().counters.setRejected, calls);
  EXPECT_EQ(block().logTotal, logBefore + calls);  // rejected reports are logged too
  EXPECT_EQ(block().counters.protocolErrors, calls);

  // The ring keeps the newest errors, each pointing at its log entry.
  const auto errors = ProtocolErrors(block());
  ASSERT_EQ(errors.size(), static_cast<std::size_t>(kErrorCapacity));
  EXPECT_STREQ(errors.back().text, "set: length does not match its id");
  EXPECT_EQ(errors.back().sequence, LogEntries(block()).back().sequence);
  const ProtocolError& dial = errors[errors.size() - 7];
  EXPECT_EQ(dial.verdict, static_cast<std::uint32_t>(Verdict::kBadSlot));
  EXPECT_EQ(dial.reportId, 0x0B);
  EXPECT_STREQ(dial.text, "set 0x0B: slot outside 0..3");

  // Ten long-delay pairs are fine.
  EXPECT_EQ(Set(MacroReport(0, 1, 1, "", tenLong)), 1);
  EXPECT_EQ(block().model.macros[0].longPairCount, 10);
  EXPECT_EQ(block().counters.protocolErrors, calls);
}

TEST_F(VirtualKeyboardTest, ProtocolErrorsSayWhatWasWrong) {
  ASSERT_EQ(Set(KeyTableWithMacros(2, {5})), 1);
  Bytes wrongNumber = KeyTableWithMacros(2, {5});
  wrongNumber[4 + 5 * 5 + 2] = 47;  // key 5 names key 6's macro number
  EXPECT_EQ(Set(wrongNumber), 0);
  EXPECT_EQ(Set(MacroReport(2, 46, 1, "", {0x01, 0x04})), 1);
  const auto errors = ProtocolErrors(block());
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_STREQ(errors[0].text, "set 0x08: key entry stands for no action (key 5: 03 07 2F 00 00)");
}

TEST_F(VirtualKeyboardTest, AMacroForAKeyThatIsNotAMacroKeyIsStored) {
  // A macro report is well formed by its own bytes, whatever the key table
  // holds for its key: a key combination, or a slot with no table yet.
  ASSERT_EQ(Set(KeyTableWithMacros(2, {5})), 1);
  EXPECT_EQ(Set(MacroReport(2, 47, 3, "x", {0x01, 0x04})), 1);
  EXPECT_EQ(Set(MacroReport(3, 61, 1, "", {})), 1);
  EXPECT_EQ(Set(MacroReport(2, 46, 1, "", {0x01, 0x05})), 1);
  EXPECT_EQ(block().counters.protocolErrors, 0u);
  EXPECT_EQ(block().model.macros[46].present, 1);
  EXPECT_EQ(block().model.macros[46].repeat, 3);
  EXPECT_EQ(block().model.macros[46].steps[0].keyCode, 0x04);
  EXPECT_EQ(block().model.slots[2].actions[6].kind,
            static_cast<std::uint8_t>(KeyActionKind::kKeys));
  const std::string dump = DumpState(block());
  for (const char* expected :
       {"macro 47 (slot 2) for a key that is not a macro key: repeat 3",
        "macro 61 (slot 3) for a key that is not a macro key: ", "macro 46 (slot 2): repeat 1"}) {
    EXPECT_NE(dump.find(expected), std::string::npos) << expected << "\nin:\n" << dump;
  }
}

TEST_F(VirtualKeyboardTest, ReportsToAClosedDeviceAreProtocolErrors) {
  // Before the program opened the device.
  InitControlBlock(block(), true);
  EXPECT_EQ(Set(Short(0x10, 1, 0)), 0);
  EXPECT_EQ(Poll(), -1);
  ASSERT_EQ(block().counters.protocolErrors, 2u);
  EXPECT_STREQ(ProtocolErrors(block())[0].text, "set 0x10: feature device not open");
  EXPECT_STREQ(ProtocolErrors(block())[1].text, "get 0x04: feature device not open");
  EXPECT_EQ(block().model.hostStateReports, 0u);

  ASSERT_EQ(HandleOpenFeatureDevice(block()), 1);
  EXPECT_EQ(Set(Short(0x10, 1, 0)), 1);
  EXPECT_EQ(Poll(), 1);
  // After the program closed it, also while the keyboard stays plugged.
  HandleCloseFeatureDevice(block());
  EXPECT_EQ(Set(Short(0x10, 0, 0)), 0);
  EXPECT_EQ(block().counters.protocolErrors, 3u);
  EXPECT_EQ(block().model.hostStateReports, 1u);
}

TEST_F(VirtualKeyboardTest, UnpluggedAndFailingModesAreNoProtocolErrors) {
  EXPECT_EQ(block().featureOpen, 1u);
  ASSERT_TRUE(SetPlugged(block(), false, false));
  EXPECT_EQ(block().featureOpen, 0u);  // the device went away with its handle
  EXPECT_EQ(block().featureHandle, 1u);
  EXPECT_EQ(HandleOpenFeatureDevice(block()), 0);
  // The program still holds its handle and cannot know yet: calls fail.
  Bytes host = Short(0x10, 1, 0);
  EXPECT_EQ(HandleSetFeature(block(), host.data(), 8, 1).verdict, Verdict::kUnplugged);
  EXPECT_EQ(Poll(), -1);
  EXPECT_EQ(QueuedPosts(block()), 0u);  // not told without notify
  // Back again: the old handle stays dead until the device is opened again.
  ASSERT_TRUE(SetPlugged(block(), true, false));
  EXPECT_EQ(Set(Short(0x10, 1, 0)), 0);
  EXPECT_EQ(block().counters.protocolErrors, 0u);
  ASSERT_EQ(HandleOpenFeatureDevice(block()), 1);

  SetStatusBehaviour(block(), StatusMode::kSetFails, 0, false);
  EXPECT_EQ(Set(Short(0x10, 1, 0)), 0);
  EXPECT_EQ(block().model.hostStateReports, 0u);
  EXPECT_EQ(Poll(), 1);  // only SetFeature fails

  SetStatusBehaviour(block(), StatusMode::kGetFails, 0, false);
  EXPECT_EQ(Set(Short(0x10, 1, 0)), 1);
  EXPECT_EQ(Poll(), -1);
  EXPECT_EQ(block().counters.openFeatureDevice, 3u);
  EXPECT_EQ(block().counters.getRejected, 2u);
  EXPECT_EQ(block().counters.protocolErrors, 0u);
}

TEST_F(VirtualKeyboardTest, KeyEntriesDecodeIntoTheirActions) {
  Bytes table(104, 0);
  table[0] = 0x08;
  table[1] = 0x68;
  table[2] = 1;
  const std::uint8_t entries[][5] = {
      {0x00, 0, 0, 0, 0},          {0x01, 0, 0, 0, 0},          {0x02, 0x04, 0x05, 0, 0x06},
      {0x03, 2, 24, 0, 0},         {0x04, 3, 0, 0, 0},          {0x06, 0x3A, 0, 0, 0},
      {0x0B, 9, 0, 0, 0},          {0x31, 0, 0, 0, 0},          {0x02, 0xE2, 0x3D, 0, 0},
      {0x02, 0xE0, 0xE1, 0x29, 0}, {0x02, 0xE0, 0x06, 0, 0x07}, {0x02, 0, 0, 0, 0},
  };
  for (std::size_t k = 0; k < std::size(entries); ++k) {
    std::copy(std::begin(entries[k]), std::end(entries[k]), table.begin() + 4 + 5 * k);
  }
  ASSERT_EQ(Set(table), 1);
  const KeyAction* a = block().model.slots[1].actions;
  const auto kind = [](KeyActionKind k) { return static_cast<std::uint8_t>(k); };
  EXPECT_EQ(a[0].kind, kind(KeyActionKind::kPlain));
  EXPECT_EQ(a[0].code, 0);
  EXPECT_EQ(a[1].kind, kind(KeyActionKind::kPlain));
  EXPECT_EQ(a[1].code, 1);
  EXPECT_EQ(a[2].kind, kind(KeyActionKind::kKeys));
  EXPECT_EQ(std::memcmp(a[2].keys, "\x04\x05\x00\x06", 4), 0);
  EXPECT_EQ(a[2].combination, 0);
  EXPECT_EQ(a[3].kind, kind(KeyActionKind::kMacro));
  EXPECT_EQ(a[3].value, 2);
  EXPECT_EQ(a[3].macroNumber, 24);
  EXPECT_EQ(a[4].kind, kind(KeyActionKind::kFunction));
  EXPECT_EQ(a[4].value, 3);
  EXPECT_EQ(a[5].kind, kind(KeyActionKind::kSingleKey));
  EXPECT_EQ(a[5].value, 0x3A);
  EXPECT_EQ(a[6].kind, kind(KeyActionKind::kParameter));
  EXPECT_EQ(a[6].value, 9);
  EXPECT_EQ(a[7].kind, kind(KeyActionKind::kPlain));
  EXPECT_EQ(a[7].code, 0x31);
  ASSERT_NE(a[8].combination, 0);
  EXPECT_STREQ(FixedCombinations()[a[8].combination - 1].name, "Left Alt + F4");
  ASSERT_NE(a[9].combination, 0);
  EXPECT_STREQ(FixedCombinations()[a[9].combination - 1].name,
               "Left Control + Left Shift + Escape");
  EXPECT_EQ(a[10].combination, 0);  // a fifth byte makes it another combination
  EXPECT_EQ(a[11].kind, kind(KeyActionKind::kKeys));
  EXPECT_EQ(a[12].kind, kind(KeyActionKind::kPlain));  // zero entries to the end
  EXPECT_EQ(block().model.slots[0].actions[0].kind, kind(KeyActionKind::kNone));
}

TEST_F(VirtualKeyboardTest, BlockingModesBlockTheirCallForTheirTime) {
  EXPECT_FALSE(BeginBlock(block(), LogKind::kSet));  // ready: nothing blocks
  SetStatusBehaviour(block(), StatusMode::kSetBlocks, 3000, false);
  EXPECT_FALSE(StillBlocked(block(), LogKind::kGet, 0));
  ASSERT_TRUE(BeginBlock(block(), LogKind::kSet));
  EXPECT_EQ(block().counters.callsBlockedNow, 1u);
  EXPECT_TRUE(StillBlocked(block(), LogKind::kSet, 2999));
  EXPECT_FALSE(StillBlocked(block(), LogKind::kSet, 3000));
  EndBlock(block());
  EXPECT_EQ(block().counters.callsBlockedNow, 0u);
  EXPECT_EQ(block().counters.callsBlocked, 1u);
  // Once unblocked, the call goes on as with a ready keyboard.
  EXPECT_EQ(Set(Short(0x10, 1, 0)), 1);
  EXPECT_EQ(Poll(), 1);

  // Time 0: until the controller changes the mode.
  SetStatusBehaviour(block(), StatusMode::kGetBlocks, 0, false);
  ASSERT_TRUE(BeginBlock(block(), LogKind::kGet));
  EXPECT_TRUE(StillBlocked(block(), LogKind::kGet, 0xFFFFFFFFu));
  SetStatusBehaviour(block(), StatusMode::kReady, 0, false);
  EXPECT_FALSE(StillBlocked(block(), LogKind::kGet, 1));
  // A reset while a call blocks leaves no count behind.
  ResetControlBlock(block(), true);
  EndBlock(block());
  EXPECT_EQ(block().counters.callsBlockedNow, 0u);
}

TEST_F(VirtualKeyboardTest, StatusBehaviourSequences) {
  EXPECT_EQ(Poll(), 1);  // ready by default

  SetStatusBehaviour(block(), StatusMode::kBusyThenReady, 2, false);
  EXPECT_EQ(Poll(), 3);
  EXPECT_EQ(Poll(), 3);
  EXPECT_EQ(Poll(), 1);
  ASSERT_EQ(Set(Short(0x10, 1, 0)), 1);
  EXPECT_EQ(Poll(), 1);  // busy only once

  SetStatusBehaviour(block(), StatusMode::kBusyThenReady, 2, true);
  EXPECT_EQ(Poll(), 3);
  EXPECT_EQ(Poll(), 3);
  EXPECT_EQ(Poll(), 1);
  ASSERT_EQ(Set(Short(0x10, 1, 0)), 1);  // each accepted report re-arms
  EXPECT_EQ(Poll(), 3);
  EXPECT_EQ(Set(Short(0x10, 9, 9)), 1);
  EXPECT_EQ(Set({0x10}), 0);  // a rejected one does not
  EXPECT_EQ(Poll(), 3);
  EXPECT_EQ(Poll(), 3);
  EXPECT_EQ(Poll(), 1);

  SetStatusBehaviour(block(), StatusMode::kBusyForever, 0, false);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(Poll(), 3);
  SetStatusBehaviour(block(), StatusMode::kFixedValue, 7, false);
  EXPECT_EQ(Poll(), 7);
}

TEST_F(VirtualKeyboardTest, GetFeatureOnlyAnswersTheStatusReport) {
  std::uint8_t guard[4] = {0x04, 0xAA, 0xBB, 0xCC};
  EXPECT_EQ(HandleGetFeature(block(), guard, 2, 1).verdict, Verdict::kBadLength);
  EXPECT_EQ(guard[1], 0xAA);
  EXPECT_EQ(guard[2], 0xBB);  // nothing written past a short buffer
  std::uint8_t other[3] = {0x05, 0, 0};
  EXPECT_EQ(HandleGetFeature(block(), other, 3, 1).verdict, Verdict::kUnknownReport);
  EXPECT_EQ(HandleGetFeature(block(), nullptr, 3, 1).verdict, Verdict::kNullBuffer);
  std::uint8_t status[3] = {0x04, 0x55, 0x66};
  EXPECT_EQ(HandleGetFeature(block(), status, 3, 1).result, 1);
  EXPECT_EQ(status[1], 1);
  EXPECT_EQ(status[2], 0);
}

TEST_F(VirtualKeyboardTest, LogKeepsOrderOfSetsAndGets) {
  ASSERT_EQ(Set(KeyTable(0)), 1);
  ASSERT_EQ(Poll(), 1);
  ASSERT_EQ(Set({0x10}), 0);
  const auto log = LogEntries(block());
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].sequence, 1u);
  EXPECT_EQ(log[0].kind, static_cast<std::uint8_t>(LogKind::kSet));
  EXPECT_EQ(log[0].length, 104);
  EXPECT_EQ(log[0].bytes[103], 0);
  EXPECT_EQ(log[0].bytes[5], 0x1E);
  EXPECT_EQ(log[1].kind, static_cast<std::uint8_t>(LogKind::kGet));
  EXPECT_EQ(log[1].bytes[1], 1);  // the answered status
  EXPECT_EQ(log[2].result, 0);
  EXPECT_LT(log[0].tickMs, log[1].tickMs);

  // An oversized buffer is rejected and logged only up to the log's width.
  Bytes huge(5000, 0x08);
  EXPECT_EQ(Set(huge), 0);
  EXPECT_EQ(LogEntries(block()).back().length, 5000);
}

TEST_F(VirtualKeyboardTest, LogRingKeepsTheNewestEntriesInOrder) {
  for (int i = 0; i < kLogCapacity + 10; ++i) Poll();
  const auto log = LogEntries(block());
  ASSERT_EQ(log.size(), static_cast<std::size_t>(kLogCapacity));
  EXPECT_EQ(log.front().sequence, 11u);
  EXPECT_EQ(log.back().sequence, static_cast<std::uint32_t>(kLogCapacity + 10));
  for (std::size_t i = 1; i < log.size(); ++i) {
    ASSERT_EQ(log[i].sequence, log[i - 1].sequence + 1);
  }
}

TEST_F(VirtualKeyboardTest, PostQueueAndMonitorRegistration) {
  EXPECT_EQ(HandleOpenDevMonitor(block(), 0, 1325, 1326, 7), 0);  // no window
  EXPECT_EQ(block().monitorOpen, 0u);
  EXPECT_EQ(HandleOpenDevMonitor(block(), 0x10002, 1325, 1326, 7), 1);
  EXPECT_EQ(block().monitorWindow, 0x10002u);

  ASSERT_TRUE(SetPlugged(block(), false, true));
  ASSERT_TRUE(QueueInputEvent(block(), 0x1000, 3));
  ASSERT_TRUE(QueueConnection(block(), 5));
  QueuedPost post{};
  ASSERT_TRUE(PopPost(block(), post));
  EXPECT_EQ(post.kind, static_cast<std::uint32_t>(PostKind::kConnection));
  EXPECT_EQ(post.wParam, 0u);
  ASSERT_TRUE(PopPost(block(), post));
  EXPECT_EQ(post.kind, static_cast<std::uint32_t>(PostKind::kEvent));
  EXPECT_EQ(post.wParam, 0x1000u);
  EXPECT_EQ(post.lParam, 3u);
  ASSERT_TRUE(PopPost(block(), post));
  EXPECT_EQ(post.wParam, 5u);
  EXPECT_FALSE(PopPost(block(), post));

  for (int i = 0; i < kQueueCapacity; ++i) ASSERT_TRUE(QueueInputEvent(block(), 0x5000, 1));
  EXPECT_FALSE(QueueInputEvent(block(), 0x5000, 2));  // full: refused, not overwritten

  // Reset clears everything but the monitor registration.
  Set(KeyTable(1));
  ResetControlBlock(block(), true);
  EXPECT_EQ(QueuedPosts(block()), 0u);
  EXPECT_EQ(block().logTotal, 0u);
  EXPECT_EQ(block().model.slots[1].keyTableReports, 0u);
  EXPECT_EQ(block().counters.openDevMonitor, 0u);
  EXPECT_EQ(block().monitorWindow, 0x10002u);
  EXPECT_TRUE(IsValidBlock(block()));

  // Only the registering process closes the monitor; events queued for a
  // closed monitor never reach the next one.
  ASSERT_TRUE(QueueInputEvent(block(), 0x1000, 1));
  HandleCloseDevMonitor(block(), 8);
  EXPECT_EQ(block().monitorOpen, 1u);
  EXPECT_EQ(QueuedPosts(block()), 1u);
  HandleCloseDevMonitor(block(), 7);
  EXPECT_EQ(block().monitorOpen, 0u);
  EXPECT_EQ(block().monitorWindow, 0u);
  ASSERT_TRUE(QueueInputEvent(block(), 0x1000, 2));
  EXPECT_EQ(HandleOpenDevMonitor(block(), 0x20004, 1325, 1326, 9), 1);
  EXPECT_EQ(QueuedPosts(block()), 0u);
  EXPECT_EQ(block().counters.postsDropped, 2u);

  // Damaged queue indices are dropped instead of read out of range.
  block().queueTail = block().queueHead + 100000;
  EXPECT_FALSE(PopPost(block(), post));
  EXPECT_EQ(QueuedPosts(block()), 0u);
}

}  // namespace
}  // namespace torvo::vkb
