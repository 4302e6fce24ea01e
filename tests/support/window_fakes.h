// Fakes of the main window's own ports, for the native tests, the fuzz
// targets and the benchmarks. Header-only, no GoogleTest.
//
//   FakeSharedBlock   the shared block of the other programs in memory; can
//                     be made busy (every copy times out) or unavailable
//   FakeWindow        the window's actions, recorded; worker requests are
//                     accepted unless told otherwise
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "app/main_window_core.h"
#include "app/shared_block.h"
#include "settings/config_block.h"

namespace torvo::fakes {

// While `busy`, every copy times out; while not `available`, every copy is
// skipped. `copies` logs each attempt: P/A copied, p/a busy. The block
// starts zeroed.
class FakeSharedBlock final : public SharedBlockPort {
 public:
  ShareCopy TryPublish(const ConfigBlock& block) override {
    ++publishes;
    return Attempt('P', [&] { std::memcpy(shared.get(), &block, sizeof(block)); });
  }
  ShareCopy TryAdopt(ConfigBlock& config) override {
    ++adopts;
    return Attempt('A', [&] { std::memcpy(&config, shared.get(), sizeof(config)); });
  }
  std::unique_ptr<ConfigBlock> shared = std::make_unique<ConfigBlock>();
  bool available = true;
  bool busy = false;
  bool throwNext = false;  // the next copy throws std::bad_alloc, as a failed allocation would
  int publishes = 0;
  int adopts = 0;
  std::string copies;

 private:
  template <typename Copy>
  ShareCopy Attempt(char kind, Copy copy) {
    if (throwNext) {
      throwNext = false;
      throw std::bad_alloc();
    }
    if (busy) {
      copies.push_back(static_cast<char>(kind + ('a' - 'A')));
      return ShareCopy::kBusy;
    }
    if (!available) return ShareCopy::kSkipped;
    copies.push_back(kind);
    copy();
    return ShareCopy::kCopied;
  }
};

class FakeWindow final : public MainWindowActions {
 public:
  void ShowDialWindow() override { log.push_back("show"); }
  void HideDialWindow() override { log.push_back("hide"); }
  void InvalidateDialWindow() override { log.push_back("invalidate"); }
  bool StartOnScreenKeyboard() override { return log.push_back("osk"), true; }
  bool PostWorkerRequest(std::uintptr_t request, std::intptr_t parameter) override {
    requests.push_back({request, parameter});
    if (config != nullptr) requestedKeyCodes.push_back(config->slots[0].keys[0].keyCodes[0]);
    return acceptRequests;
  }
  void StartTimer(unsigned id, std::uint32_t periodMs) override {
    if (id == TIMER_SHARE_RETRY) timer.push_back(true);
    log.push_back("timer " + std::to_string(id) + " every " + std::to_string(periodMs));
  }
  void StopTimer(unsigned id) override {
    if (id == TIMER_SHARE_RETRY) timer.push_back(false);
    log.push_back("kill timer " + std::to_string(id));
  }
  void OpenFeatureDevice() override { log.push_back("open device"); }
  void CloseFeatureDevice() override { log.push_back("close device"); }
  void AddTrayIcon() override { log.push_back("tray icon"); }
  void RemoveTrayIcon() override { log.push_back("no tray icon"); }
  void ShowTrayMenu() override { log.push_back("tray menu"); }
  void BringForward(WindowHandle window) override {
    log.push_back("raise " + std::to_string(window));
  }
  void BringOwnWindowForward() override { log.push_back("raise own"); }

  std::vector<std::string> log;
  std::vector<std::pair<std::uintptr_t, std::intptr_t>> requests;
  bool acceptRequests = true;
  std::vector<bool> timer;  // the share mutex's retry timer: started, stopped
  // The settings a request was posted with (slot 0, key 0's first code).
  const ConfigBlock* config = nullptr;
  std::vector<std::uint16_t> requestedKeyCodes;
};

}  // namespace torvo::fakes
