// The virtual keyboard's shared control block: one fixed-layout structure in a
// named file mapping, shared by the stand-in device library (inside Torvo.exe)
// and its controllers (tests, vkbctl). Only fixed-width integers, every 64-bit
// field 8-aligned, so 32- and 64-bit processes see the same bytes. Every
// access happens under the channel's named mutex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace torvo::vkb {

inline constexpr std::uint32_t kBlockMagic = 0x424B5654;  // "TVKB"
inline constexpr std::uint32_t kBlockVersion = 2;

inline constexpr int kSlots = 4;
inline constexpr int kKeysPerSlot = 20;
inline constexpr int kKeyEntryBytes = 5;
inline constexpr int kMacroCount = kSlots * kKeysPerSlot;  // macro numbers 1..80
inline constexpr int kMacroNameBytes = 24;
inline constexpr int kMaxMacroPairs = 50;
inline constexpr int kLogCapacity = 4096;
inline constexpr int kLogBytes = 132;  // the longest report (130) fits whole
inline constexpr int kQueueCapacity = 256;
inline constexpr int kMaxLongDelayPairs = 10;
inline constexpr int kErrorCapacity = 16;    // protocol errors kept (the newest)
inline constexpr int kErrorTextBytes = 116;  // NUL included

inline constexpr std::uint32_t kDefaultEventMessage = 1325;
inline constexpr std::uint32_t kDefaultConnectionMessage = 1326;

enum class StatusMode : std::uint32_t {
  kReady = 0,          // every status poll answers 1 (done)
  kBusyThenReady = 1,  // busyPolls polls answer 3 (busy), then 1
  kBusyForever = 2,    // every poll answers 3
  kGetFails = 3,       // GetFeature fails
  kSetFails = 4,       // SetFeature fails
  kFixedValue = 5,     // every poll answers fixedStatus
  kGetBlocks = 6,      // GetFeature blocks blockMs (0: until the mode changes), then ready
  kSetBlocks = 7,      // SetFeature blocks blockMs (0: until the mode changes), then ready
};

struct StatusBehaviour {
  std::uint32_t mode;             // StatusMode
  std::uint32_t busyPolls;        // kBusyThenReady: busy answers before ready
  std::uint32_t busyRemaining;    // busy answers still to give
  std::uint32_t rearmEachReport;  // 1: every accepted report re-arms busyPolls
  std::uint32_t fixedStatus;      // kFixedValue: the status byte answered
  std::uint32_t blockMs;          // kGetBlocks/kSetBlocks: how long a call blocks
};
static_assert(sizeof(StatusBehaviour) == 24);

struct CallCounters {
  std::uint32_t openDevMonitor;
  std::uint32_t closeDevMonitor;
  std::uint32_t openFeatureDevice;
  std::uint32_t closeFeatureDevice;
  std::uint32_t setFeature;
  std::uint32_t getFeature;
  std::uint32_t setRejected;  // SetFeature calls answered 0
  std::uint32_t getRejected;  // GetFeature calls answered 0
  std::uint32_t eventsPosted;
  std::uint32_t connectionsPosted;
  std::uint32_t postsDropped;     // no monitor window, or the post failed
  std::uint32_t protocolErrors;   // calls the program should never have made
  std::uint32_t callsBlocked;     // calls that blocked in a blocking mode
  std::uint32_t callsBlockedNow;  // calls blocked at this moment
  std::uint32_t reserved[2];
};
static_assert(sizeof(CallCounters) == 64);

struct MacroStep {
  std::uint8_t keyCode;
  std::uint8_t pressed;    // 1: key goes down (delay byte bit 7 clear)
  std::uint8_t longPairs;  // long-delay pairs that preceded this step
  std::uint8_t reserved;
  std::uint32_t delayMs;  // delay carried by this step's pairs
};
static_assert(sizeof(MacroStep) == 8);

struct Macro {
  std::uint8_t present;  // 1 once a macro report for this number arrived
  std::uint8_t slot;
  std::uint8_t number;  // 1..80
  std::uint8_t repeat;
  std::uint8_t pairCount;
  std::uint8_t stepCount;
  std::uint8_t longPairCount;
  std::uint8_t trailingLongPair;  // 1: the last pair was a long-delay pair
  std::uint32_t reports;          // macro reports received for this number
  std::uint32_t reserved;
  std::uint8_t name[kMacroNameBytes];  // ANSI bytes as sent
  std::uint8_t pairs[2 * kMaxMacroPairs];
  MacroStep steps[kMaxMacroPairs];
};
static_assert(sizeof(Macro) == 540);

// What a key-table entry stands for, as the keyboard reads it. The entry's
// first byte is its kind; the kinds with a payload are listed below, every
// other kind is a plain action without one.
enum class KeyActionKind : std::uint8_t {
  kNone = 0,       // no key table received for the slot yet
  kPlain = 1,      // `code` alone (code 0: the key does nothing)
  kKeys = 2,       // code 0x02: up to four usage codes played together
  kMacro = 3,      // code 0x03: plays macro `macroNumber`, `value` = macro index
  kFunction = 4,   // code 0x04: built-in function `value` (0..3)
  kSingleKey = 5,  // code 0x06: the single usage code `value`
  kParameter = 6,  // code 0x0B: action with parameter `value`
};

struct KeyAction {
  std::uint8_t kind;         // KeyActionKind
  std::uint8_t code;         // the entry's first byte
  std::uint8_t value;        // see KeyActionKind
  std::uint8_t macroNumber;  // kMacro: 1..80
  std::uint8_t keys[4];      // kKeys: usage codes in entry order, 0 = none
  std::uint8_t combination;  // kKeys: 1 + index in the fixed combinations, 0 = none
  std::uint8_t reserved[3];
};
static_assert(sizeof(KeyAction) == 12);

struct SlotModel {
  std::uint8_t keys[kKeysPerSlot][kKeyEntryBytes];  // the entries as received
  std::uint8_t dialFunction;
  std::uint8_t reserved[3];
  std::uint32_t keyTableReports;
  std::uint32_t dialFunctionReports;
  KeyAction actions[kKeysPerSlot];  // the entries decoded
};
static_assert(sizeof(SlotModel) == 112 + 12 * kKeysPerSlot);

struct KeyboardModel {
  std::uint8_t activeSlot;
  std::uint8_t hostActive;
  std::uint8_t hostDialShown;
  std::uint8_t reserved0;
  std::uint32_t uploadStartReports;
  std::uint32_t activeSlotReports;
  std::uint32_t keyTableReports;
  std::uint32_t macroReports;
  std::uint32_t dialFunctionReports;
  std::uint32_t hostStateReports;
  std::uint32_t reserved1;
  SlotModel slots[kSlots];
  Macro macros[kMacroCount];  // index = macro number - 1
};
static_assert(sizeof(KeyboardModel) == 32 + 4 * sizeof(SlotModel) + 80 * 540);

enum class LogKind : std::uint8_t { kSet = 1, kGet = 2 };

struct ReportLogEntry {
  std::uint32_t sequence;  // 1, 2, ... over the block's life (since Reset)
  std::uint32_t tickMs;
  std::int32_t length;  // length the caller passed
  std::uint8_t kind;    // LogKind
  std::uint8_t result;  // what the call answered (0 or 1)
  std::uint8_t reserved[2];
  std::uint8_t bytes[kLogBytes];  // first bytes of the buffer (after a get: as answered)
};
static_assert(sizeof(ReportLogEntry) == 148);

// One call the program should not have made, as the keyboard refused it.
struct ProtocolError {
  std::uint32_t sequence;  // the call's entry in the report log
  std::uint32_t tickMs;
  std::uint32_t verdict;  // Verdict (report_checks.h)
  std::uint8_t kind;      // LogKind
  std::uint8_t reportId;  // first byte of the buffer (0 without one)
  std::uint8_t reserved[2];
  char text[kErrorTextBytes];  // what was wrong, NUL-terminated, no "\n"
};
static_assert(sizeof(ProtocolError) == 132);

enum class PostKind : std::uint32_t { kEvent = 0, kConnection = 1 };

struct QueuedPost {
  std::uint32_t kind;  // PostKind
  std::uint32_t wParam;
  std::uint32_t lParam;
  std::uint32_t reserved;
};
static_assert(sizeof(QueuedPost) == 16);

struct ControlBlock {
  std::uint32_t magic;
  std::uint32_t version;
  std::uint32_t size;
  std::uint32_t featureHandle;  // 1 from Open_FeatureDevice until Close_FeatureDevice
  std::uint32_t plugged;
  std::uint32_t featureOpen;  // the handle is open and the keyboard usable through it
  std::uint32_t monitorOpen;
  std::uint32_t monitorProcess;  // process id of the Open_DevMonitor caller
  std::uint64_t monitorWindow;   // HWND of the monitor window, 0 = none
  std::uint32_t eventMessage;
  std::uint32_t connectionMessage;
  StatusBehaviour status;
  CallCounters counters;
  std::uint32_t queueHead;  // next post to deliver (counts up, wraps)
  std::uint32_t queueTail;  // next free place
  QueuedPost queue[kQueueCapacity];
  std::uint32_t logTotal;  // entries ever appended; the ring keeps the last kLogCapacity
  std::uint32_t reserved1;
  ReportLogEntry log[kLogCapacity];
  ProtocolError errors[kErrorCapacity];  // ring of the newest, counters.protocolErrors in all
  KeyboardModel model;
};
static_assert(offsetof(ControlBlock, monitorWindow) == 32);
static_assert(offsetof(ControlBlock, status) == 48);
static_assert(offsetof(ControlBlock, counters) == 72);
static_assert(offsetof(ControlBlock, queueHead) == 136);
static_assert(offsetof(ControlBlock, queue) == 144);
static_assert(offsetof(ControlBlock, logTotal) == 144 + 16 * kQueueCapacity);
static_assert(offsetof(ControlBlock, log) == 152 + 16 * kQueueCapacity);
static_assert(offsetof(ControlBlock, errors) == 152 + 16 * kQueueCapacity + 148 * kLogCapacity);
static_assert(offsetof(ControlBlock, model) ==
              152 + 16 * kQueueCapacity + 148 * kLogCapacity + 132 * kErrorCapacity);
static_assert(sizeof(ControlBlock) == 152 + 16 * kQueueCapacity + 148 * kLogCapacity +
                                          132 * kErrorCapacity + sizeof(KeyboardModel));
static_assert(sizeof(ControlBlock) % 8 == 0);

// Fills a fresh block: status ready, no monitor, empty log, model and queue.
void InitControlBlock(ControlBlock& block, bool plugged);
// True when the block carries this layout's magic, version and size.
bool IsValidBlock(const ControlBlock& block);
// Clears log, counters, model, status behaviour and queued posts; keeps the
// monitor registration (the program may be running) and sets `plugged`.
void ResetControlBlock(ControlBlock& block, bool plugged);

// Queues a post for the library's delivery thread; false when the queue is full.
bool PushPost(ControlBlock& block, PostKind kind, std::uint32_t wParam, std::uint32_t lParam);
bool PopPost(ControlBlock& block, QueuedPost& post);
std::uint32_t QueuedPosts(const ControlBlock& block);

// Appends one report to the log ring (bytes may be null when length <= 0).
void AppendLog(ControlBlock& block, LogKind kind, std::uint32_t tickMs, const std::uint8_t* bytes,
               int length, int result);
// The entries still in the ring, oldest first.
std::vector<ReportLogEntry> LogEntries(const ControlBlock& block);

// Records one protocol error (counted, kept in the ring of the newest).
void AppendProtocolError(ControlBlock& block, std::uint32_t verdict, LogKind kind,
                         std::uint32_t tickMs, std::uint8_t reportId, const char* text);
// The protocol errors still in the ring, oldest first.
std::vector<ProtocolError> ProtocolErrors(const ControlBlock& block);

}  // namespace torvo::vkb
