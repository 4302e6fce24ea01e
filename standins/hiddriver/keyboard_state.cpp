#include "hiddriver/keyboard_state.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "hiddriver/report_decoding.h"

namespace torvo::vkb {
namespace {

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
