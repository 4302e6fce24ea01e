// The settings block shared by Config.data, the shared memory block and the
// main window's working copy. Every record is a fixed little-endian image
// exchanged with the suite's other programs, so the layout below is pinned
// byte for byte; bytes this program does not interpret are kept as "carried"
// arrays and copied unchanged.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace torvo {

static_assert(std::endian::native == std::endian::little,
              "the settings records are little-endian images");

constexpr int kSlotCount = 4;
constexpr int kKeysPerProfile = 20;
constexpr int kMaxMacroSteps = 180;
constexpr int kKeyCodeMapSize = 104;
constexpr int kUploadFlagRows = 5;
constexpr int kUploadFlagColumns = 30;

#pragma pack(push, 1)

struct MacroStep {
  std::uint8_t keyCode;   // HID keyboard usage code
  std::uint8_t keyState;  // 1 is told apart from every other value
  std::uint16_t delayMs;  // delay after this step
};

struct KeyAssignment {
  std::uint8_t carried0;
  std::uint8_t actionType;
  std::uint8_t actionClass;
  std::uint8_t carried3[5];
  std::uint8_t macroIndex;
  std::uint8_t carried9[3];
  std::uint8_t actionParam;
  std::uint8_t carried13;
  std::uint16_t keyCodes[4];
  char16_t label[100];
  std::uint16_t stepCount;   // at most kMaxMacroSteps in a valid record
  std::uint8_t repeatCount;  // 0 counts as 1
  std::uint8_t carried225[3];
  MacroStep steps[kMaxMacroSteps];
};

struct ProfileRecord {
  char16_t name[250];
  char16_t appPath[500];
  std::uint8_t carried1500[16];
  std::int32_t eventValue9000;
  std::uint8_t carried1520[16];
  std::int32_t eventValue3000;
  std::uint8_t carried1540[8];
  std::uint8_t selectedFunction;  // dial function 1..8
  std::uint8_t carried1549[203];
  std::int32_t eventValue2000;
  std::uint8_t carried1756[44];
  std::uint8_t keyCodeMap[kKeyCodeMapSize];
  KeyAssignment keys[kKeysPerProfile];
};

struct ConfigHeader {
  std::int32_t activeSlot;
  std::int32_t word1;
  std::int32_t word2;
  std::int32_t libraryIndex[kSlotCount];
  std::int32_t uploadFlags[kUploadFlagRows][kUploadFlagColumns];
  std::uint8_t runtimeWords[128];
};

struct ConfigBlock {
  ConfigHeader header;
  ProfileRecord slots[kSlotCount];
};

#pragma pack(pop)

static_assert(sizeof(MacroStep) == 4);
static_assert(sizeof(KeyAssignment) == 948);
static_assert(sizeof(ProfileRecord) == 20864);
static_assert(sizeof(ConfigHeader) == 756);
static_assert(sizeof(ConfigBlock) == 84212);

static_assert(offsetof(KeyAssignment, actionType) == 1);
static_assert(offsetof(KeyAssignment, actionClass) == 2);
static_assert(offsetof(KeyAssignment, macroIndex) == 8);
static_assert(offsetof(KeyAssignment, actionParam) == 12);
static_assert(offsetof(KeyAssignment, keyCodes) == 14);
static_assert(offsetof(KeyAssignment, label) == 22);
static_assert(offsetof(KeyAssignment, stepCount) == 222);
static_assert(offsetof(KeyAssignment, repeatCount) == 224);
static_assert(offsetof(KeyAssignment, steps) == 228);

static_assert(offsetof(ProfileRecord, appPath) == 500);
static_assert(offsetof(ProfileRecord, eventValue9000) == 1516);
static_assert(offsetof(ProfileRecord, eventValue3000) == 1536);
static_assert(offsetof(ProfileRecord, selectedFunction) == 1548);
static_assert(offsetof(ProfileRecord, eventValue2000) == 1752);
static_assert(offsetof(ProfileRecord, keyCodeMap) == 1800);
static_assert(offsetof(ProfileRecord, keys) == 1904);

static_assert(offsetof(ConfigHeader, word1) == 4);
static_assert(offsetof(ConfigHeader, word2) == 8);
static_assert(offsetof(ConfigHeader, libraryIndex) == 12);
static_assert(offsetof(ConfigHeader, uploadFlags) == 28);
static_assert(offsetof(ConfigHeader, runtimeWords) == 628);
static_assert(offsetof(ConfigBlock, slots) == 756);

constexpr std::size_t kConfigBlockSize = sizeof(ConfigBlock);
constexpr std::size_t kProfileRecordSize = sizeof(ProfileRecord);

}  // namespace torvo
