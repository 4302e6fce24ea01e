#include "device/device_protocol.h"

#include "common/trace.h"
#include "device/reports.h"

namespace torvo {
namespace {

std::uint32_t AttemptWaitMs(int attempt, int firstWaitMs) {
  if (attempt == 0) return firstWaitMs > 0 ? static_cast<std::uint32_t>(firstWaitMs) : 0;
  if (attempt == 1) return 1000;
  if (attempt == 2) return 1500;
  return 2000;
}

bool CheckActiveSlot(std::int64_t activeSlot) {
  if (IsValidSlot(activeSlot)) return true;
  Trace(u"The active slot of the settings is outside 0..3; the report is not sent\n");
  return false;
}

}  // namespace

bool DeviceProtocol::SleepSliced(std::uint32_t waitMs) {
  const std::uint32_t slices = waitMs / kPollSliceMs;
  // Each slice ends at a fixed point after the start, so time a sleep
  // overshoots is taken off the next slice instead of adding up.
  const std::uint64_t start = clock_.NowMs();
  for (std::uint32_t i = 0; i < slices; ++i) {
    if (Aborted()) return false;
    const std::uint64_t sliceEnd = start + std::uint64_t{i + 1} * kPollSliceMs;
    const std::uint64_t now = clock_.NowMs();
    if (sliceEnd > now) clock_.SleepMs(static_cast<std::uint32_t>(sliceEnd - now));
  }
  return !Aborted();
}

void DeviceProtocol::StepPause() {
  // At shutdown the program is about to tell the device that it leaves: an
  // upload still running sends its last reports without pausing between
  // them, so that it ends promptly.
  if (flags_.stopRequested.load() != 0) return;
  clock_.SleepMs(kUploadStepPauseMs);
}

int DeviceProtocol::WaitDeviceReady(int firstWaitMs) {
  std::uint8_t status = 0;
  for (int attempt = 0; attempt < kPollAttempts; ++attempt) {
    if (!SleepSliced(AttemptWaitMs(attempt, firstWaitMs))) return 0;
    StatusReport report = BuildStatusRequest();
    const bool answered = library_.GetFeature(report.data(), static_cast<int>(report.size())) != 0;
    if (answered) status = report[1];
    if (status != kStatusBusy) return answered && status == kStatusDone ? 1 : 0;
  }
  return 0;
}

int DeviceProtocol::SendUploadStart(int activeSlot) {
  if (!CheckActiveSlot(activeSlot)) return 0;
  UploadStartReport report = BuildUploadStartReport(activeSlot);
  return SendAndWait(report, kShortReportFirstWaitMs);
}

int DeviceProtocol::SendActiveSlot(int activeSlot) {
  if (!CheckActiveSlot(activeSlot)) return 0;
  ActiveSlotReport report = BuildActiveSlotReport(activeSlot);
  return SendAndWait(report, kShortReportFirstWaitMs);
}

int DeviceProtocol::SendDialFunction(const ConfigBlock& block) {
  if (!CheckActiveSlot(block.header.activeSlot)) return 0;
  const int slot = block.header.activeSlot;
  return SendDialFunction(slot, block.slots[slot].selectedFunction);
}

int DeviceProtocol::SendDialFunction(int activeSlot, std::uint8_t function) {
  if (!CheckActiveSlot(activeSlot)) return 0;
  DialFunctionReport report = BuildDialFunctionReport(activeSlot, function);
  return SendAndWait(report, kShortReportFirstWaitMs);
}

int DeviceProtocol::SendHostState(bool hostActive, bool dialShown) {
  HostStateReport report = BuildHostStateReport(hostActive, dialShown);
  return SendAndWait(report, kShortReportFirstWaitMs);
}

int DeviceProtocol::SendKeyTable(const ConfigBlock& block, int slot) {
  if (!IsValidSlot(slot)) {
    Trace(u"Key table asked for a slot outside 0..3; nothing is sent\n");
    return 0;
  }
  KeyTableReport report = BuildKeyTableReport(block.slots[slot], slot);
  return SendAndWait(report, kTableReportFirstWaitMs);
}

int DeviceProtocol::SendMacro(const ConfigBlock& block, int slot, int key) {
  if (!IsValidSlot(slot) || !IsValidKey(key)) {
    Trace(u"Macro asked for a slot or key outside the profile; nothing is sent\n");
    return 0;
  }
  const KeyAssignment& assignment = block.slots[slot].keys[key];
  // The action type alone decides: a key of action class 4 keeps its
  // single-key entry in the key table, and its macro is sent all the same.
  if (assignment.actionType != 3) return 1;
  MacroFit fit;
  MacroReport report = BuildMacroReport(assignment, slot, key, converter_, &fit);
  if (fit.stepsLimited) Trace(u"Macro step count above 180; only 180 steps are read\n");
  if (fit.pairsCut)
    Trace(u"Macro needs more than 50 pairs; it is cut after its last whole step that fits\n");
  if (fit.labelCut) Trace(u"Macro name longer than 23 bytes; it is cut to fit\n");
  return SendAndWait(report, kTableReportFirstWaitMs);
}

int DeviceProtocol::ApplyAllSettings(const ConfigBlock& block, int activeSlot) {
  SendActiveSlot(activeSlot);
  StepPause();

  for (int slot = 0; slot < kSlotCount; ++slot) {
    SendKeyTable(block, slot);  // the result of a key table does not matter
    StepPause();
  }

  int result = 1;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    result = 1;
    for (int key = 0; key < kKeysPerProfile; ++key) {
      if (block.header.uploadFlags[slot][key] == 1) result = SendMacro(block, slot, key);
      if (Aborted()) {
        // An abort ends this slot's macros; each later slot still looks at
        // its key 0 before it stops.
        result = 0;
        break;
      }
    }
    StepPause();
  }
  return result;
}

}  // namespace torvo
