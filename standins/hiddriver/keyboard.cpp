#include "hiddriver/keyboard.h"

#include <cstdio>
#include <cstring>

namespace torvo::vkb {
namespace {

constexpr int kUploadStartLength = 8;
constexpr int kActiveSlotLength = 4;
constexpr int kKeyTableLength = 104;
constexpr int kMacroLength = 130;
constexpr int kShortReportLength = 8;  // dial function, host state
constexpr int kStatusGetLength = 3;

constexpr int kMacroNameOffset = 5;
constexpr int kMacroPairCountOffset = 29;
constexpr int kMacroPairsOffset = 30;

bool ValidSlot(std::uint8_t slot) {
  return slot < kSlots;
}

bool AllZero(const std::uint8_t* bytes, int count) {
  for (int i = 0; i < count; ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

void SetDetail(std::string* detail, const char* format, auto... args) {
  if (detail == nullptr) return;
  char text[kErrorTextBytes];
  std::snprintf(text, sizeof(text), format, args...);
  *detail = text;
}

Verdict CheckUploadStart(const std::uint8_t* r, int length) {
  if (length != kUploadStartLength) return Verdict::kBadLength;
  if (r[2] != 0xFF) return Verdict::kBadHeader;
  if (!ValidSlot(r[1])) return Verdict::kBadSlot;
  if (!AllZero(r + 3, kUploadStartLength - 3)) return Verdict::kNonZeroPadding;
  return Verdict::kAccepted;
}

Verdict CheckActiveSlot(const std::uint8_t* r, int length) {
  if (length != kActiveSlotLength) return Verdict::kBadLength;
  if (r[1] != 0x04 || r[3] != 0x04) return Verdict::kBadHeader;
  if (!ValidSlot(r[2])) return Verdict::kBadSlot;
  return Verdict::kAccepted;
}

Verdict CheckKeyTable(const std::uint8_t* r, int length, std::string* detail) {
  if (length != kKeyTableLength) return Verdict::kBadLength;
  if (r[1] != kKeyTableLength || r[3] != 0) return Verdict::kBadHeader;
  if (!ValidSlot(r[2])) return Verdict::kBadSlot;
  for (int k = 0; k < kKeysPerSlot; ++k) {
    std::uint8_t entry[kKeyEntryBytes];
    std::memcpy(entry, r + 4 + kKeyEntryBytes * k, kKeyEntryBytes);
    bool valid = false;
    DecodeKeyEntry(entry, r[2], k, valid);
    if (!valid) {
      SetDetail(detail, "key %d: %02X %02X %02X %02X %02X", k, entry[0], entry[1], entry[2],
                entry[3], entry[4]);
      return Verdict::kBadKeyEntry;
    }
  }
  return Verdict::kAccepted;
}

Verdict CheckMacro(const std::uint8_t* r, int length, std::string* detail) {
  if (length != kMacroLength) return Verdict::kBadLength;
  if (r[1] != kMacroLength) return Verdict::kBadHeader;
  if (!ValidSlot(r[2])) return Verdict::kBadSlot;
  // The number is slot * 20 + key + 1, so it names its slot.
  const int number = r[3];
  if (number < 1 || number > kMacroCount || (number - 1) / kKeysPerSlot != r[2]) {
    SetDetail(detail, "macro %d in slot %d", number, r[2]);
    return Verdict::kBadMacroNumber;
  }
  const int pairCount = r[kMacroPairCountOffset];
  if (pairCount > kMaxMacroPairs) {
    SetDetail(detail, "macro %d: %d pairs", number, pairCount);
    return Verdict::kTooManyPairs;
  }
  const auto* nul =
      static_cast<const std::uint8_t*>(std::memchr(r + kMacroNameOffset, 0, kMacroNameBytes));
  if (nul == nullptr) return Verdict::kNameNotTerminated;
  const int pairsEnd = kMacroPairsOffset + 2 * pairCount;
  if (!AllZero(nul, static_cast<int>(r + kMacroPairCountOffset - nul)) ||
      !AllZero(r + pairsEnd, kMacroLength - pairsEnd)) {
    SetDetail(detail, "macro %d with %d pairs", number, pairCount);
    return Verdict::kNonZeroPadding;
  }
  int longPairs = 0;
  for (int i = 0; i < pairCount; ++i) {
    if (r[kMacroPairsOffset + 2 * i + 1] == kLongDelayKey) ++longPairs;
  }
  if (longPairs > kMaxLongDelayPairs) {
    SetDetail(detail, "macro %d: %d long-delay pairs", number, longPairs);
    return Verdict::kTooManyLongDelays;
  }
  if (pairCount > 0 && r[kMacroPairsOffset + 2 * pairCount - 1] == kLongDelayKey) {
    SetDetail(detail, "macro %d: pair %d of %d", number, pairCount, pairCount);
    return Verdict::kDanglingLongDelay;
  }
  // A macro report stands on its own bytes: the keyboard stores it whatever
  // the key table holds for its key (a key that is not a macro key keeps its
  // entry and does not play it).
  return Verdict::kAccepted;
}

Verdict CheckShortReport(const std::uint8_t* r, int length, bool slotInByte2) {
  if (length != kShortReportLength) return Verdict::kBadLength;
  if (r[1] != kShortReportLength) return Verdict::kBadHeader;
  if (slotInByte2 && !ValidSlot(r[2])) return Verdict::kBadSlot;
  if (!AllZero(r + 4, kShortReportLength - 4)) return Verdict::kNonZeroPadding;
  return Verdict::kAccepted;
}

Verdict Check(const std::uint8_t* r, int length, std::string* detail) {
  if (r == nullptr) return Verdict::kNullBuffer;
  if (length < 1) return Verdict::kBadLength;
  switch (r[0]) {
    case kReportStatus:
      return CheckUploadStart(r, length);
    case kReportActiveSlot:
      return CheckActiveSlot(r, length);
    case kReportKeyTable:
      return CheckKeyTable(r, length, detail);
    case kReportMacro:
      return CheckMacro(r, length, detail);
    case kReportDialFunction:
      return CheckShortReport(r, length, true);
    case kReportHostState:
      return CheckShortReport(r, length, false);
    default:
      return Verdict::kUnknownReport;
  }
}

// Decodes the pairs of a checked macro report into its steps. A long-delay
// pair (quotient, 0x02) adds quotient x 100 ms to the next step's delay.
void DecodeMacro(Macro& macro, const std::uint8_t* r) {
  const std::uint8_t slot = r[2];
  const std::uint8_t number = r[3];
  const std::uint32_t reports = macro.reports;
  std::memset(&macro, 0, sizeof(macro));
  macro.present = 1;
  macro.slot = slot;
  macro.number = number;
  macro.repeat = r[4];
  macro.reports = reports + 1;
  std::memcpy(macro.name, r + kMacroNameOffset, kMacroNameBytes);
  macro.pairCount = r[kMacroPairCountOffset];
  std::memcpy(macro.pairs, r + kMacroPairsOffset, 2u * macro.pairCount);

  std::uint32_t pendingHundreds = 0;
  std::uint8_t pendingLongPairs = 0;
  for (int i = 0; i < macro.pairCount; ++i) {
    const std::uint8_t delayByte = macro.pairs[2 * i];
    const std::uint8_t keyByte = macro.pairs[2 * i + 1];
    if (keyByte == kLongDelayKey) {
      pendingHundreds += delayByte;
      ++pendingLongPairs;
      ++macro.longPairCount;
      continue;
    }
    MacroStep& step = macro.steps[macro.stepCount++];
    step.keyCode = keyByte;
    step.pressed = (delayByte & 0x80) == 0 ? 1 : 0;
    step.longPairs = pendingLongPairs;
    step.delayMs = (delayByte & 0x7Fu) * 5u + 100u * pendingHundreds;
    pendingHundreds = 0;
    pendingLongPairs = 0;
  }
  macro.trailingLongPair = pendingLongPairs != 0 ? 1 : 0;
}

void Apply(KeyboardModel& model, const std::uint8_t* r) {
  switch (r[0]) {
    case kReportStatus:
      model.activeSlot = r[1];
      ++model.uploadStartReports;
      break;
    case kReportActiveSlot:
      model.activeSlot = r[2];
      ++model.activeSlotReports;
      break;
    case kReportKeyTable: {
      SlotModel& slot = model.slots[r[2]];
      std::memcpy(slot.keys, r + 4, sizeof(slot.keys));
      for (int k = 0; k < kKeysPerSlot; ++k) {
        bool valid = false;
        slot.actions[k] = DecodeKeyEntry(slot.keys[k], r[2], k, valid);
      }
      ++slot.keyTableReports;
      ++model.keyTableReports;
      break;
    }
    case kReportMacro:
      DecodeMacro(model.macros[r[3] - 1], r);
      ++model.macroReports;
      break;
    case kReportDialFunction: {
      SlotModel& slot = model.slots[r[2]];
      slot.dialFunction = r[3];
      ++slot.dialFunctionReports;
      ++model.dialFunctionReports;
      break;
    }
    case kReportHostState:
      model.hostActive = r[2];
      model.hostDialShown = r[3];
      ++model.hostStateReports;
      break;
    default:
      break;
  }
}

// "set 0x09: <phrase>: <detail>", the text a protocol error keeps.
std::string ErrorText(LogKind kind, const std::uint8_t* report, int length, Verdict verdict,
                      const std::string& detail) {
  char head[32];
  if (report != nullptr && length > 0) {
    std::snprintf(head, sizeof(head), "%s 0x%02X: ", kind == LogKind::kGet ? "get" : "set",
                  static_cast<unsigned>(report[0]));
  } else {
    std::snprintf(head, sizeof(head), "%s: ", kind == LogKind::kGet ? "get" : "set");
  }
  std::string text = head;
  text += VerdictPhrase(verdict);
  if (!detail.empty()) text += " (" + detail + ")";
  return text;
}

void RecordProtocolError(ControlBlock& block, LogKind kind, std::uint32_t tickMs,
                         const std::uint8_t* report, int length, Verdict verdict,
                         const std::string& detail) {
  if (!IsProtocolError(verdict)) return;
  const std::uint8_t id = report != nullptr && length > 0 ? report[0] : 0;
  AppendProtocolError(block, static_cast<std::uint32_t>(verdict), kind, tickMs, id,
                      ErrorText(kind, report, length, verdict, detail).c_str());
}

std::uint8_t NextStatus(StatusBehaviour& status) {
  switch (static_cast<StatusMode>(status.mode)) {
    case StatusMode::kBusyThenReady:
      if (status.busyRemaining > 0) {
        --status.busyRemaining;
        return kStatusBusy;
      }
      return kStatusDone;
    case StatusMode::kBusyForever:
      return kStatusBusy;
    case StatusMode::kFixedValue:
      return static_cast<std::uint8_t>(status.fixedStatus);
    default:
      return kStatusDone;
  }
}

// Events nobody listened for are lost, as with a real device: posts queued
// while no monitor was registered never reach a later one.
void DropQueuedPosts(ControlBlock& block) {
  block.counters.postsDropped += QueuedPosts(block) <= kQueueCapacity ? QueuedPosts(block) : 0;
  block.queueHead = block.queueTail;
}

}  // namespace

const char* VerdictPhrase(Verdict verdict) {
  switch (verdict) {
    case Verdict::kAccepted:
      return "accepted";
    case Verdict::kNullBuffer:
      return "no buffer";
    case Verdict::kUnplugged:
      return "keyboard unplugged";
    case Verdict::kSetFailing:
      return "SetFeature failing as asked by the controller";
    case Verdict::kGetFailing:
      return "GetFeature failing as asked by the controller";
    case Verdict::kBadLength:
      return "length does not match its id";
    case Verdict::kUnknownReport:
      return "unknown report id";
    case Verdict::kBadHeader:
      return "wrong constant bytes";
    case Verdict::kBadSlot:
      return "slot outside 0..3";
    case Verdict::kBadMacroNumber:
      return "macro number outside its slot";
    case Verdict::kTooManyPairs:
      return "more than 50 macro pairs";
    case Verdict::kNameNotTerminated:
      return "macro name not terminated";
    case Verdict::kNotOpen:
      return "feature device not open";
    case Verdict::kNonZeroPadding:
      return "bytes after the content are not zero";
    case Verdict::kTooManyLongDelays:
      return "more than ten long-delay pairs";
    case Verdict::kDanglingLongDelay:
      return "macro ends with a long-delay pair";
    case Verdict::kBadKeyEntry:
      return "key entry stands for no action";
  }
  return "unknown verdict";
}

const char* VerdictText(Verdict verdict) {
  switch (verdict) {
    case Verdict::kAccepted:
      return "hiddriver: report accepted\n";
    case Verdict::kNullBuffer:
      return "hiddriver: report rejected: no buffer\n";
    case Verdict::kUnplugged:
      return "hiddriver: report rejected: keyboard unplugged\n";
    case Verdict::kSetFailing:
      return "hiddriver: SetFeature failing as asked by the controller\n";
    case Verdict::kGetFailing:
      return "hiddriver: GetFeature failing as asked by the controller\n";
    case Verdict::kBadLength:
      return "hiddriver: report rejected: length does not match its id\n";
    case Verdict::kUnknownReport:
      return "hiddriver: report rejected: unknown report id\n";
    case Verdict::kBadHeader:
      return "hiddriver: report rejected: wrong constant bytes\n";
    case Verdict::kBadSlot:
      return "hiddriver: report rejected: slot outside 0..3\n";
    case Verdict::kBadMacroNumber:
      return "hiddriver: report rejected: macro number outside its slot\n";
    case Verdict::kTooManyPairs:
      return "hiddriver: report rejected: more than 50 macro pairs\n";
    case Verdict::kNameNotTerminated:
      return "hiddriver: report rejected: macro name not terminated\n";
    case Verdict::kNotOpen:
      return "hiddriver: report rejected: feature device not open\n";
    case Verdict::kNonZeroPadding:
      return "hiddriver: report rejected: bytes after the content are not zero\n";
    case Verdict::kTooManyLongDelays:
      return "hiddriver: report rejected: more than ten long-delay pairs\n";
    case Verdict::kDanglingLongDelay:
      return "hiddriver: report rejected: macro ends with a long-delay pair\n";
    case Verdict::kBadKeyEntry:
      return "hiddriver: report rejected: key entry stands for no action\n";
  }
  return "hiddriver: report rejected\n";
}

bool IsProtocolError(Verdict verdict) {
  switch (verdict) {
    case Verdict::kAccepted:
    case Verdict::kUnplugged:
    case Verdict::kSetFailing:
    case Verdict::kGetFailing:
      return false;
    default:
      return true;
  }
}

std::span<const FixedCombination> FixedCombinations() {
  // Usage codes of the keyboard page: E0 Left Control, E1 Left Shift,
  // E2 Left Alt, E3 Left GUI; 06 C, 07 D, 08 E, 19 V, 1B X, 1D Z, 29 Escape,
  // 2B Tab, 3D F4.
  static constexpr FixedCombination kTable[] = {
      {{0xE2, 0x3D, 0, 0}, "Left Alt + F4"},
      {{0xE3, 0x07, 0, 0}, "Left GUI + D"},
      {{0xE0, 0x06, 0, 0}, "Left Control + C"},
      {{0xE0, 0x1B, 0, 0}, "Left Control + X"},
      {{0xE0, 0x19, 0, 0}, "Left Control + V"},
      {{0xE0, 0x1D, 0, 0}, "Left Control + Z"},
      {{0xE2, 0x2B, 0, 0}, "Left Alt + Tab"},
      {{0xE3, 0x08, 0, 0}, "Left GUI + E"},
      {{0xE0, 0xE1, 0x29, 0}, "Left Control + Left Shift + Escape"},
  };
  return kTable;
}

KeyAction DecodeKeyEntry(const std::uint8_t (&entry)[kKeyEntryBytes], int slot, int key,
                         bool& valid) {
  KeyAction action{};
  action.code = entry[0];
  const bool tailZero = AllZero(entry + 2, kKeyEntryBytes - 2);
  switch (entry[0]) {
    case 0x02: {
      action.kind = static_cast<std::uint8_t>(KeyActionKind::kKeys);
      std::memcpy(action.keys, entry + 1, sizeof(action.keys));
      const auto table = FixedCombinations();
      for (std::size_t i = 0; i < table.size(); ++i) {
        if (std::memcmp(table[i].keys, action.keys, sizeof(action.keys)) == 0) {
          action.combination = static_cast<std::uint8_t>(i + 1);
        }
      }
      valid = true;
      break;
    }
    case 0x03:
      action.kind = static_cast<std::uint8_t>(KeyActionKind::kMacro);
      action.value = entry[1];
      action.macroNumber = entry[2];
      valid = entry[2] == slot * kKeysPerSlot + key + 1 && entry[3] == 0 && entry[4] == 0;
      break;
    case 0x04:
      action.kind = static_cast<std::uint8_t>(KeyActionKind::kFunction);
      action.value = entry[1];
      valid = entry[1] <= 3 && tailZero;
      break;
    case 0x06:
      action.kind = static_cast<std::uint8_t>(KeyActionKind::kSingleKey);
      action.value = entry[1];
      valid = tailZero;
      break;
    case 0x0B:
      action.kind = static_cast<std::uint8_t>(KeyActionKind::kParameter);
      action.value = entry[1];
      valid = tailZero;
      break;
    default:
      action.kind = static_cast<std::uint8_t>(KeyActionKind::kPlain);
      valid = entry[1] == 0 && tailZero;
      break;
  }
  return action;
}

Verdict DecodeReport(KeyboardModel& model, const std::uint8_t* report, int length,
                     std::string* detail) {
  const Verdict verdict = Check(report, length, detail);
  if (verdict == Verdict::kAccepted) Apply(model, report);
  return verdict;
}

FeatureAnswer HandleSetFeature(ControlBlock& block, const std::uint8_t* report, int length,
                               std::uint32_t tickMs) {
  ++block.counters.setFeature;
  Verdict verdict;
  std::string detail;
  if (report == nullptr) {
    verdict = Verdict::kNullBuffer;
  } else if (block.featureHandle == 0) {
    verdict = Verdict::kNotOpen;
  } else if (block.plugged == 0 || block.featureOpen == 0) {
    verdict = Verdict::kUnplugged;  // the handle outlived the keyboard
  } else if (block.status.mode == static_cast<std::uint32_t>(StatusMode::kSetFails)) {
    verdict = Verdict::kSetFailing;
  } else {
    verdict = DecodeReport(block.model, report, length, &detail);
  }
  const int result = verdict == Verdict::kAccepted ? 1 : 0;
  if (result == 0) {
    ++block.counters.setRejected;
  } else if (block.status.mode == static_cast<std::uint32_t>(StatusMode::kBusyThenReady) &&
             block.status.rearmEachReport != 0) {
    block.status.busyRemaining = block.status.busyPolls;
  }
  RecordProtocolError(block, LogKind::kSet, tickMs, report, length, verdict, detail);
  AppendLog(block, LogKind::kSet, tickMs, report, length, result);
  return {result, verdict};
}

FeatureAnswer HandleGetFeature(ControlBlock& block, std::uint8_t* report, int length,
                               std::uint32_t tickMs) {
  ++block.counters.getFeature;
  Verdict verdict = Verdict::kAccepted;
  if (report == nullptr) {
    verdict = Verdict::kNullBuffer;
  } else if (block.featureHandle == 0) {
    verdict = Verdict::kNotOpen;
  } else if (block.plugged == 0 || block.featureOpen == 0) {
    verdict = Verdict::kUnplugged;
  } else if (block.status.mode == static_cast<std::uint32_t>(StatusMode::kGetFails)) {
    verdict = Verdict::kGetFailing;
  } else if (length != kStatusGetLength) {
    verdict = Verdict::kBadLength;
  } else if (report[0] != kReportStatus) {
    verdict = Verdict::kUnknownReport;
  } else {
    report[1] = NextStatus(block.status);
    report[2] = 0;
  }
  const int result = verdict == Verdict::kAccepted ? 1 : 0;
  if (result == 0) ++block.counters.getRejected;
  RecordProtocolError(block, LogKind::kGet, tickMs, report, length, verdict, {});
  AppendLog(block, LogKind::kGet, tickMs, report, length, result);
  return {result, verdict};
}

// The program's handle: opened only while the keyboard is plugged; a handle
// kept over an unplug stays unusable until the program opens the device again.
int HandleOpenFeatureDevice(ControlBlock& block) {
  ++block.counters.openFeatureDevice;
  if (block.plugged == 0) return 0;
  block.featureHandle = 1;
  block.featureOpen = 1;
  return 1;
}

int HandleCloseFeatureDevice(ControlBlock& block) {
  ++block.counters.closeFeatureDevice;
  block.featureHandle = 0;
  block.featureOpen = 0;
  return 1;
}

int HandleOpenDevMonitor(ControlBlock& block, std::uint64_t window, std::uint32_t eventMessage,
                         std::uint32_t connectionMessage, std::uint32_t processId) {
  ++block.counters.openDevMonitor;
  if (window == 0) return 0;
  DropQueuedPosts(block);
  block.monitorOpen = 1;
  block.monitorWindow = window;
  block.monitorProcess = processId;
  block.eventMessage = eventMessage;
  block.connectionMessage = connectionMessage;
  return 1;
}

int HandleCloseDevMonitor(ControlBlock& block, std::uint32_t processId) {
  ++block.counters.closeDevMonitor;
  if (block.monitorOpen != 0 && block.monitorProcess == processId) {
    DropQueuedPosts(block);
    block.monitorOpen = 0;
    block.monitorWindow = 0;
    block.monitorProcess = 0;
  }
  return 1;
}

void SetStatusBehaviour(ControlBlock& block, StatusMode mode, std::uint32_t param,
                        bool rearmEachReport) {
  StatusBehaviour& status = block.status;
  std::memset(&status, 0, sizeof(status));
  status.mode = static_cast<std::uint32_t>(mode);
  if (mode == StatusMode::kBusyThenReady) {
    status.busyPolls = param;
    status.busyRemaining = param;
    status.rearmEachReport = rearmEachReport ? 1 : 0;
  } else if (mode == StatusMode::kFixedValue) {
    status.fixedStatus = param & 0xFF;
  } else if (mode == StatusMode::kGetBlocks || mode == StatusMode::kSetBlocks) {
    status.blockMs = param;
  }
}

bool SetPlugged(ControlBlock& block, bool plugged, bool notify) {
  block.plugged = plugged ? 1 : 0;
  if (!plugged) block.featureOpen = 0;
  if (!notify) return true;
  return PushPost(block, PostKind::kConnection, plugged ? 1 : 0, 0);
}

bool StillBlocked(const ControlBlock& block, LogKind kind, std::uint32_t elapsedMs) {
  const StatusMode blocking =
      kind == LogKind::kGet ? StatusMode::kGetBlocks : StatusMode::kSetBlocks;
  if (block.status.mode != static_cast<std::uint32_t>(blocking)) return false;
  return block.status.blockMs == 0 || elapsedMs < block.status.blockMs;
}

bool BeginBlock(ControlBlock& block, LogKind kind) {
  if (!StillBlocked(block, kind, 0)) return false;
  ++block.counters.callsBlocked;
  ++block.counters.callsBlockedNow;
  return true;
}

void EndBlock(ControlBlock& block) {
  // A reset during the block has already cleared the count.
  if (block.counters.callsBlockedNow > 0) --block.counters.callsBlockedNow;
}

bool QueueInputEvent(ControlBlock& block, std::uint16_t eventClass, std::uint16_t value) {
  return PushPost(block, PostKind::kEvent, eventClass, value);
}

bool QueueConnection(ControlBlock& block, std::uint32_t wParam) {
  return PushPost(block, PostKind::kConnection, wParam, 0);
}

}  // namespace torvo::vkb
