#include "hiddriver/keyboard.h"

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

Verdict CheckUploadStart(const std::uint8_t* r, int length) {
  if (length != kUploadStartLength) return Verdict::kBadLength;
  if (r[2] != 0xFF) return Verdict::kBadHeader;
  if (!ValidSlot(r[1])) return Verdict::kBadSlot;
  return Verdict::kAccepted;
}

Verdict CheckActiveSlot(const std::uint8_t* r, int length) {
  if (length != kActiveSlotLength) return Verdict::kBadLength;
  if (r[1] != 0x04 || r[3] != 0x04) return Verdict::kBadHeader;
  if (!ValidSlot(r[2])) return Verdict::kBadSlot;
  return Verdict::kAccepted;
}

Verdict CheckKeyTable(const std::uint8_t* r, int length) {
  if (length != kKeyTableLength) return Verdict::kBadLength;
  if (r[1] != kKeyTableLength || r[3] != 0) return Verdict::kBadHeader;
  if (!ValidSlot(r[2])) return Verdict::kBadSlot;
  return Verdict::kAccepted;
}

Verdict CheckMacro(const std::uint8_t* r, int length) {
  if (length != kMacroLength) return Verdict::kBadLength;
  if (r[1] != kMacroLength) return Verdict::kBadHeader;
  if (!ValidSlot(r[2])) return Verdict::kBadSlot;
  // The number is slot * 20 + key + 1, so it names its slot.
  const int number = r[3];
  if (number < 1 || number > kMacroCount || (number - 1) / kKeysPerSlot != r[2]) {
    return Verdict::kBadMacroNumber;
  }
  if (r[kMacroPairCountOffset] > kMaxMacroPairs) return Verdict::kTooManyPairs;
  if (std::memchr(r + kMacroNameOffset, 0, kMacroNameBytes) == nullptr) {
    return Verdict::kNameNotTerminated;
  }
  return Verdict::kAccepted;
}

Verdict CheckShortReport(const std::uint8_t* r, int length, bool slotInByte2) {
  if (length != kShortReportLength) return Verdict::kBadLength;
  if (r[1] != kShortReportLength) return Verdict::kBadHeader;
  if (slotInByte2 && !ValidSlot(r[2])) return Verdict::kBadSlot;
  return Verdict::kAccepted;
}

Verdict Check(const std::uint8_t* r, int length) {
  if (r == nullptr) return Verdict::kNullBuffer;
  if (length < 1) return Verdict::kBadLength;
  switch (r[0]) {
    case kReportStatus:
      return CheckUploadStart(r, length);
    case kReportActiveSlot:
      return CheckActiveSlot(r, length);
    case kReportKeyTable:
      return CheckKeyTable(r, length);
    case kReportMacro:
      return CheckMacro(r, length);
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
  }
  return "hiddriver: report rejected\n";
}

Verdict DecodeReport(KeyboardModel& model, const std::uint8_t* report, int length) {
  const Verdict verdict = Check(report, length);
  if (verdict == Verdict::kAccepted) Apply(model, report);
  return verdict;
}

FeatureAnswer HandleSetFeature(ControlBlock& block, const std::uint8_t* report, int length,
                               std::uint32_t tickMs) {
  ++block.counters.setFeature;
  Verdict verdict;
  if (report == nullptr) {
    verdict = Verdict::kNullBuffer;
  } else if (block.plugged == 0) {
    verdict = Verdict::kUnplugged;
  } else if (block.status.mode == static_cast<std::uint32_t>(StatusMode::kSetFails)) {
    verdict = Verdict::kSetFailing;
  } else {
    verdict = DecodeReport(block.model, report, length);
  }
  const int result = verdict == Verdict::kAccepted ? 1 : 0;
  if (result == 0) {
    ++block.counters.setRejected;
  } else if (block.status.mode == static_cast<std::uint32_t>(StatusMode::kBusyThenReady) &&
             block.status.rearmEachReport != 0) {
    block.status.busyRemaining = block.status.busyPolls;
  }
  AppendLog(block, LogKind::kSet, tickMs, report, length, result);
  return {result, verdict};
}

FeatureAnswer HandleGetFeature(ControlBlock& block, std::uint8_t* report, int length,
                               std::uint32_t tickMs) {
  ++block.counters.getFeature;
  Verdict verdict = Verdict::kAccepted;
  if (report == nullptr) {
    verdict = Verdict::kNullBuffer;
  } else if (block.plugged == 0) {
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
  AppendLog(block, LogKind::kGet, tickMs, report, length, result);
  return {result, verdict};
}

int HandleOpenFeatureDevice(ControlBlock& block) {
  ++block.counters.openFeatureDevice;
  if (block.plugged == 0) return 0;
  block.featureOpen = 1;
  return 1;
}

int HandleCloseFeatureDevice(ControlBlock& block) {
  ++block.counters.closeFeatureDevice;
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
  }
}

bool SetPlugged(ControlBlock& block, bool plugged, bool notify) {
  block.plugged = plugged ? 1 : 0;
  if (!plugged) block.featureOpen = 0;
  if (!notify) return true;
  return PushPost(block, PostKind::kConnection, plugged ? 1 : 0, 0);
}

bool QueueInputEvent(ControlBlock& block, std::uint16_t eventClass, std::uint16_t value) {
  return PushPost(block, PostKind::kEvent, eventClass, value);
}

bool QueueConnection(ControlBlock& block, std::uint32_t wParam) {
  return PushPost(block, PostKind::kConnection, wParam, 0);
}

}  // namespace torvo::vkb
