#include "hiddriver/control_block.h"

#include <algorithm>
#include <cstring>

namespace torvo::vkb {

void InitControlBlock(ControlBlock& block, bool plugged) {
  std::memset(&block, 0, sizeof(block));
  block.magic = kBlockMagic;
  block.version = kBlockVersion;
  block.size = sizeof(ControlBlock);
  block.plugged = plugged ? 1 : 0;
  block.eventMessage = kDefaultEventMessage;
  block.connectionMessage = kDefaultConnectionMessage;
  block.status.mode = static_cast<std::uint32_t>(StatusMode::kReady);
}

bool IsValidBlock(const ControlBlock& block) {
  return block.magic == kBlockMagic && block.version == kBlockVersion &&
         block.size == sizeof(ControlBlock);
}

void ResetControlBlock(ControlBlock& block, bool plugged) {
  const std::uint32_t featureHandle = block.featureHandle;
  const std::uint32_t featureOpen = block.featureOpen;
  const std::uint32_t monitorOpen = block.monitorOpen;
  const std::uint32_t monitorProcess = block.monitorProcess;
  const std::uint64_t monitorWindow = block.monitorWindow;
  const std::uint32_t eventMessage = block.eventMessage;
  const std::uint32_t connectionMessage = block.connectionMessage;
  InitControlBlock(block, plugged);
  block.featureHandle = featureHandle;
  block.featureOpen = plugged ? featureOpen : 0;
  block.monitorOpen = monitorOpen;
  block.monitorProcess = monitorProcess;
  block.monitorWindow = monitorWindow;
  block.eventMessage = eventMessage;
  block.connectionMessage = connectionMessage;
}

std::uint32_t QueuedPosts(const ControlBlock& block) {
  return block.queueTail - block.queueHead;
}

bool PushPost(ControlBlock& block, PostKind kind, std::uint32_t wParam, std::uint32_t lParam) {
  if (QueuedPosts(block) >= kQueueCapacity) return false;
  QueuedPost& post = block.queue[block.queueTail % kQueueCapacity];
  post.kind = static_cast<std::uint32_t>(kind);
  post.wParam = wParam;
  post.lParam = lParam;
  post.reserved = 0;
  ++block.queueTail;
  return true;
}

bool PopPost(ControlBlock& block, QueuedPost& post) {
  const std::uint32_t queued = QueuedPosts(block);
  if (queued == 0) return false;
  if (queued > kQueueCapacity) {
    // Inconsistent indices (a damaged block): forget the queue rather than
    // deliver garbage.
    block.queueHead = block.queueTail;
    return false;
  }
  post = block.queue[block.queueHead % kQueueCapacity];
  ++block.queueHead;
  return true;
}

void AppendLog(ControlBlock& block, LogKind kind, std::uint32_t tickMs, const std::uint8_t* bytes,
               int length, int result) {
  ReportLogEntry& entry = block.log[block.logTotal % kLogCapacity];
  std::memset(&entry, 0, sizeof(entry));
  ++block.logTotal;
  entry.sequence = block.logTotal;
  entry.tickMs = tickMs;
  entry.length = length;
  entry.kind = static_cast<std::uint8_t>(kind);
  entry.result = result != 0 ? 1 : 0;
  if (bytes != nullptr && length > 0) {
    std::memcpy(entry.bytes, bytes, static_cast<std::size_t>(std::min(length, kLogBytes)));
  }
}

std::vector<ReportLogEntry> LogEntries(const ControlBlock& block) {
  const std::uint32_t count = std::min<std::uint32_t>(block.logTotal, kLogCapacity);
  std::vector<ReportLogEntry> entries;
  entries.reserve(count);
  for (std::uint32_t i = block.logTotal - count; i != block.logTotal; ++i) {
    entries.push_back(block.log[i % kLogCapacity]);
  }
  return entries;
}

void AppendProtocolError(ControlBlock& block, std::uint32_t verdict, LogKind kind,
                         std::uint32_t tickMs, std::uint8_t reportId, const char* text) {
  ProtocolError& error = block.errors[block.counters.protocolErrors % kErrorCapacity];
  std::memset(&error, 0, sizeof(error));
  ++block.counters.protocolErrors;
  error.sequence = block.logTotal + 1;  // the call is logged right after
  error.tickMs = tickMs;
  error.verdict = verdict;
  error.kind = static_cast<std::uint8_t>(kind);
  error.reportId = reportId;
  if (text != nullptr) {
    std::size_t n = 0;
    while (n + 1 < sizeof(error.text) && text[n] != '\0' && text[n] != '\n') {
      error.text[n] = text[n];
      ++n;
    }
  }
}

std::vector<ProtocolError> ProtocolErrors(const ControlBlock& block) {
  const std::uint32_t total = block.counters.protocolErrors;
  const std::uint32_t count = std::min<std::uint32_t>(total, kErrorCapacity);
  std::vector<ProtocolError> errors;
  errors.reserve(count);
  for (std::uint32_t i = total - count; i != total; ++i) {
    errors.push_back(block.errors[i % kErrorCapacity]);
  }
  return errors;
}

}  // namespace torvo::vkb
