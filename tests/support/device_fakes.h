// Fakes for the device tests, benchmarks and fuzzers: a clock that only moves
// when the code under test sleeps, and a scripted keyboard that records every
// report with the fake time it arrived at. No GoogleTest here, so that the
// benchmark and the fuzz targets can use them too.
#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/clock.h"
#include "device/device_library.h"
#include "settings/config_block.h"

namespace torvo::testing {

class FakeClock : public Clock {
 public:
  void SleepMs(std::uint32_t ms) override {
    ++sleeps;
    const std::uint64_t end = now + ms;
    // Run every callback due before the sleep ends, at its own time.
    while (!callbacks.empty() && callbacks.begin()->first <= end) {
      auto node = callbacks.extract(callbacks.begin());
      if (node.key() > now) now = node.key();
      node.mapped()();
    }
    now = end;
  }
  std::uint64_t NowMs() override { return now; }
  // Runs `fn` once the fake time reaches `atMs` during a sleep.
  void At(std::uint64_t atMs, std::function<void()> fn) { callbacks.emplace(atMs, std::move(fn)); }

  std::uint64_t now = 0;
  int sleeps = 0;
  std::multimap<std::uint64_t, std::function<void()>> callbacks;
};

struct ReportRecord {
  bool set;  // SetFeature (true) or GetFeature (false)
  std::vector<std::uint8_t> bytes;
  std::uint64_t atMs;
};

// A keyboard answering feature reports: SetFeature succeeds unless told
// otherwise; the status report answers the scripted statuses in order, then
// `defaultStatus`. A status of -1 makes that GetFeature call fail.
class FakeDevice : public DeviceLibrary {
 public:
  explicit FakeDevice(Clock& clock) : clock_(clock) {}

  int OpenDevMonitor(WindowHandle, unsigned, unsigned) override { return 1; }
  int CloseDevMonitor() override { return 1; }
  int OpenFeatureDevice() override { return ++opens, 1; }
  int CloseFeatureDevice() override { return ++closes, 1; }
  int SetFeature(std::uint8_t* report, int length) override {
    log.push_back({true, std::vector<std::uint8_t>(report, report + length), clock_.NowMs()});
    if (onSet) onSet(log.back());
    if (length > 0 && failingIds.count(report[0]) != 0) return 0;
    return setResult;
  }
  int GetFeature(std::uint8_t* report, int length) override {
    log.push_back({false, std::vector<std::uint8_t>(report, report + length), clock_.NowMs()});
    int status = defaultStatus;
    if (!statuses.empty()) {
      status = statuses.front();
      statuses.pop_front();
    }
    if (status < 0) return 0;
    if (length > 1) report[1] = static_cast<std::uint8_t>(status);
    return 1;
  }

  // The reports sent with SetFeature, in order.
  std::vector<std::vector<std::uint8_t>> Sent() const {
    std::vector<std::vector<std::uint8_t>> out;
    for (const ReportRecord& r : log) {
      if (r.set) out.push_back(r.bytes);
    }
    return out;
  }
  int Polls() const {
    int n = 0;
    for (const ReportRecord& r : log) n += r.set ? 0 : 1;
    return n;
  }

  int setResult = 1;
  int defaultStatus = 1;
  std::deque<int> statuses;
  std::set<std::uint8_t> failingIds;  // SetFeature fails for reports with these IDs
  std::function<void(const ReportRecord&)> onSet;
  std::vector<ReportRecord> log;
  int opens = 0;
  int closes = 0;

 private:
  Clock& clock_;
};

inline void SetLabel(KeyAssignment& key, const std::u16string& text) {
  std::memset(key.label, 0, sizeof key.label);
  for (std::size_t i = 0; i < text.size() && i < std::size(key.label); ++i) key.label[i] = text[i];
}

// The parts of the default settings the device sees: slot 0 keys of type
// 0x30 class 8 on the number row, slots 1..3 with nine type-1 keys first,
// labels "1".."20" and "G1".."G20", dial function 1. Built here so that the
// device tests do not depend on the settings store.
inline std::unique_ptr<ConfigBlock> MakeDeviceTestBlock() {
  auto block = std::make_unique<ConfigBlock>();
  std::memset(block.get(), 0, sizeof(ConfigBlock));
  block->header.word1 = 4;
  block->header.word2 = 1;
  static constexpr std::uint8_t kSlot0Codes[20] = {0x1E, 0x1F, 0x20, 0x21, 0x22, 0x23, 0x24,
                                                   0x25, 0x26, 0x27, 0x63, 0x57, 0x2F, 0x30,
                                                   0x2E, 0x2D, 0,    0,    0,    0};
  static constexpr std::uint8_t kOtherCodes[20] = {0x1E, 0x1F, 0x20, 0x21, 0x22, 0x23, 0x24,
                                                   0x25, 0x26, 0x16, 0x2A, 0x38, 0x1D, 0x1B,
                                                   0x06, 0x19, 0,    0,    0,    0};
  for (int s = 0; s < kSlotCount; ++s) {
    ProfileRecord& p = block->slots[s];
    p.selectedFunction = 1;
    for (int k = 0; k < kKeysPerProfile; ++k) {
      KeyAssignment& key = p.keys[k];
      key.actionType = s == 0 ? 0x30 : (k < 9 ? 0x01 : 0x30);
      key.actionClass = s == 0 ? 8 : 9;
      key.keyCodes[0] = s == 0 ? kSlot0Codes[k] : kOtherCodes[k];
      std::u16string label = s == 0 ? u"" : u"G";
      for (char c : std::to_string(k + 1)) label.push_back(static_cast<char16_t>(c));
      SetLabel(key, label);
    }
  }
  return block;
}

}  // namespace torvo::testing
