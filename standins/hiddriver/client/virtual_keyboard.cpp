#include "hiddriver/client/virtual_keyboard.h"

#include <windows.h>

#include "hiddriver/dll/control_channel.h"
#include "hiddriver/keyboard_state.h"
#include "hiddriver/state_dump.h"

namespace torvo::vkb {

struct VirtualKeyboard::Channel {
  ControlChannel channel;
};

VirtualKeyboard::VirtualKeyboard() : channel_(std::make_unique<Channel>()) {}
VirtualKeyboard::~VirtualKeyboard() = default;

bool VirtualKeyboard::Open(bool pluggedIfCreated) {
  created_ = false;
  if (!channel_->channel.Open(pluggedIfCreated, &created_)) {
    OutputDebugStringW(L"vkb client: cannot open the virtual keyboard's control block\n");
    return false;
  }
  return true;
}

bool VirtualKeyboard::Create(bool plugged) {
  return Open(plugged) && Modify([plugged](ControlBlock& block) {
           ResetControlBlock(block, plugged);
           // A fresh start: no program holds the device open, so a report
           // before its Open_FeatureDevice counts as a protocol error even
           // when an earlier program ended without closing it.
           block.featureHandle = 0;
           block.featureOpen = 0;
           return true;
         });
}

void VirtualKeyboard::Close() {
  channel_->channel.Close();
}

bool VirtualKeyboard::IsOpen() const {
  return channel_->channel.IsOpen();
}

bool VirtualKeyboard::Modify(const std::function<bool(ControlBlock&)>& change) {
  bool result = false;
  {
    ChannelLock lock(channel_->channel);
    if (lock.block() == nullptr) return false;
    result = change(*lock.block());
  }
  channel_->channel.Wake();
  return result;
}

bool VirtualKeyboard::Read(const std::function<void(const ControlBlock&)>& read) const {
  ChannelLock lock(channel_->channel);
  if (lock.block() == nullptr) return false;
  read(*lock.block());
  return true;
}

bool VirtualKeyboard::Reset(bool plugged) {
  return Modify([plugged](ControlBlock& block) {
    ResetControlBlock(block, plugged);
    return true;
  });
}

bool VirtualKeyboard::SetPlugged(bool plugged, bool notify) {
  return Modify([=](ControlBlock& block) { return vkb::SetPlugged(block, plugged, notify); });
}

bool VirtualKeyboard::SendInputEvent(std::uint16_t eventClass, std::uint16_t value) {
  return Modify([=](ControlBlock& block) { return QueueInputEvent(block, eventClass, value); });
}

bool VirtualKeyboard::SendConnection(std::uint32_t wParam) {
  return Modify([=](ControlBlock& block) { return QueueConnection(block, wParam); });
}

bool VirtualKeyboard::SetStatusBehaviour(StatusMode mode, std::uint32_t param,
                                         bool rearmEachReport) {
  return Modify([=](ControlBlock& block) {
    vkb::SetStatusBehaviour(block, mode, param, rearmEachReport);
    return true;
  });
}

std::vector<ReportLogEntry> VirtualKeyboard::Reports() const {
  std::vector<ReportLogEntry> entries;
  Read([&](const ControlBlock& block) { entries = LogEntries(block); });
  return entries;
}

std::vector<std::vector<std::uint8_t>> VirtualKeyboard::AcceptedSetReports() const {
  std::vector<std::vector<std::uint8_t>> reports;
  for (const ReportLogEntry& e : Reports()) {
    if (e.kind != static_cast<std::uint8_t>(LogKind::kSet) || e.result == 0) continue;
    const int stored = e.length < kLogBytes ? static_cast<int>(e.length) : kLogBytes;
    reports.emplace_back(e.bytes, e.bytes + stored);
  }
  return reports;
}

KeyboardModel VirtualKeyboard::Model() const {
  KeyboardModel model{};
  Read([&](const ControlBlock& block) { model = block.model; });
  return model;
}

CallCounters VirtualKeyboard::Counters() const {
  CallCounters counters{};
  Read([&](const ControlBlock& block) { counters = block.counters; });
  return counters;
}

StatusBehaviour VirtualKeyboard::Status() const {
  StatusBehaviour status{};
  Read([&](const ControlBlock& block) { status = block.status; });
  return status;
}

bool VirtualKeyboard::IsPlugged() const {
  bool plugged = false;
  Read([&](const ControlBlock& block) { plugged = block.plugged != 0; });
  return plugged;
}

bool VirtualKeyboard::IsFeatureOpen() const {
  bool open = false;
  Read([&](const ControlBlock& block) { open = block.featureOpen != 0; });
  return open;
}

std::uint64_t VirtualKeyboard::MonitorWindow() const {
  std::uint64_t window = 0;
  Read([&](const ControlBlock& block) {
    window = block.monitorOpen != 0 ? block.monitorWindow : 0;
  });
  return window;
}

std::uint32_t VirtualKeyboard::QueuedPostCount() const {
  std::uint32_t count = 0;
  Read([&](const ControlBlock& block) { count = QueuedPosts(block); });
  return count;
}

std::vector<ProtocolError> VirtualKeyboard::ProtocolErrors() const {
  std::vector<ProtocolError> errors;
  Read([&](const ControlBlock& block) { errors = vkb::ProtocolErrors(block); });
  return errors;
}

std::uint32_t VirtualKeyboard::ProtocolErrorCount() const {
  std::uint32_t count = 0;
  Read([&](const ControlBlock& block) { count = block.counters.protocolErrors; });
  return count;
}

std::string VirtualKeyboard::DescribeProtocolErrors() const {
  std::string text = "virtual keyboard not reachable\n";
  Read([&](const ControlBlock& block) { text = vkb::DescribeProtocolErrors(block); });
  return text;
}

std::uint32_t VirtualKeyboard::BlockedCalls() const {
  std::uint32_t count = 0;
  Read([&](const ControlBlock& block) { count = block.counters.callsBlockedNow; });
  return count;
}

std::string VirtualKeyboard::Dump() const {
  std::string text = "virtual keyboard not reachable\n";
  Read([&](const ControlBlock& block) { text = DumpState(block); });
  return text;
}

std::string VirtualKeyboard::DumpReportLog(bool full) const {
  return DumpReports(Reports(), full);
}

bool VirtualKeyboard::WaitUntil(const std::function<bool()>& predicate, std::uint32_t timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (predicate()) return true;
    if (GetTickCount64() >= deadline) return predicate();
    Sleep(15);
  }
}

bool VirtualKeyboard::WaitForDelivery(std::uint32_t timeoutMs) const {
  return WaitUntil([this] { return QueuedPostCount() == 0; }, timeoutMs);
}

}  // namespace torvo::vkb
