// One device event that saves Config.data, timed through the main window's
// core on a real file system: the decision, the copy into the shared block
// (here plain memory), the posts (recorded, not sent) and the atomic rewrite
// of Config.data. Shared by the native and the Windows benchmark.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "app/main_window_core.h"
#include "common/clock.h"
#include "device/ansi_converter.h"
#include "device/device_library.h"
#include "settings/settings_store.h"

namespace torvo::bench {

class BenchFolders final : public UserFolders {
 public:
  explicit BenchFolders(std::u16string folder) : folder_(std::move(folder)) {}
  bool GetAppDataFolder(std::u16string& folder) override {
    folder = folder_;
    return true;
  }
  std::u16string GetProgramFolder() override { return folder_ + u"\\"; }

 private:
  std::u16string folder_;
};

class CountingDesktop final : public Desktop {
 public:
  WindowHandle FindWindowByTitle(const std::u16string&) override { return 1; }
  bool PostMessageTo(WindowHandle, unsigned, std::uintptr_t, std::intptr_t) override {
    return ++posts, true;
  }
  bool StartProgram(const std::u16string&) override { return true; }
  bool WriteIniString(const std::u16string&, const std::u16string&, const std::u16string&,
                      const std::u16string&) override {
    return true;
  }
  long posts = 0;
};

class MemoryBlock final : public SharedBlockPort {
 public:
  ShareCopy TryPublish(const ConfigBlock& block) override {
    std::memcpy(shared_.get(), &block, sizeof(block));
    return ShareCopy::kCopied;
  }
  ShareCopy TryAdopt(ConfigBlock& config) override {
    std::memcpy(&config, shared_.get(), sizeof(config));
    return ShareCopy::kCopied;
  }

 private:
  std::unique_ptr<ConfigBlock> shared_ = std::make_unique<ConfigBlock>();
};

class IdleDevice final : public DeviceLibrary {
 public:
  int OpenDevMonitor(WindowHandle, unsigned, unsigned) override { return 1; }
  int CloseDevMonitor() override { return 1; }
  int OpenFeatureDevice() override { return 1; }
  int CloseFeatureDevice() override { return 1; }
  int SetFeature(std::uint8_t*, int) override { return 1; }
  int GetFeature(std::uint8_t* report, int length) override {
    if (length > 1) report[1] = 1;
    return 1;
  }
};

class NoSleepClock final : public Clock {
 public:
  void SleepMs(std::uint32_t ms) override { now_ += ms; }
  std::uint64_t NowMs() override { return now_; }

 private:
  std::uint64_t now_ = 0;
};

class NoWindow final : public MainWindowActions {
 public:
  void ShowDialWindow() override {}
  void HideDialWindow() override {}
  void InvalidateDialWindow() override {}
  bool StartOnScreenKeyboard() override { return true; }
  bool PostWorkerRequest(std::uintptr_t, std::intptr_t) override { return true; }
  void OnConnectionChange(int) override {}
  void RunShareRetryTimer(bool) override {}
};

struct EventTimes {
  double medianUs = 0;
  double worstUs = 0;
  double meanUs = 0;
};

// Runs `events` device events that each save Config.data (reported values
// of class 0x2000 and slot switches, alternating) and times each.
inline EventTimes TimeSavingEvents(FileSystem& files, UserFolders& folders, int events) {
  SettingsEnvironment env{files, folders};
  CountingDesktop desktop;
  MemoryBlock shared;
  IdleDevice device;
  NoSleepClock clock;
  DeviceFlags flags;
  Cp1252Converter converter;
  DeviceProtocol protocol(device, clock, flags, converter);
  SettingsStore settings(env, shared, desktop, nullptr);
  settings.Load();
  DialState dial;
  NoWindow window;
  SimpleCaseInsensitiveText text;
  MainWindowCore core({settings, dial, desktop, shared, protocol, flags, window, text});

  std::vector<double> times;
  times.reserve(static_cast<std::size_t>(events));
  for (int i = 0; i < events; ++i) {
    const std::uint32_t code =
        (i % 2 == 0) ? 0x20000001u + static_cast<std::uint32_t>(i % 8) : 0x10000001u + (i / 2) % 4;
    const auto start = std::chrono::steady_clock::now();
    core.HandleDeviceEvent(code);
    const auto end = std::chrono::steady_clock::now();
    times.push_back(std::chrono::duration<double, std::micro>(end - start).count());
  }
  EventTimes result;
  if (times.empty()) return result;
  double sum = 0;
  for (double t : times) sum += t;
  result.meanUs = sum / static_cast<double>(times.size());
  result.worstUs = *std::max_element(times.begin(), times.end());
  std::nth_element(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(times.size() / 2),
                   times.end());
  result.medianUs = times[times.size() / 2];
  return result;
}

inline void PrintEventTimes(const char* where, int events, const EventTimes& t) {
  std::printf(
      "%s: %d device events that save Config.data: median %.1f us, mean %.1f us, worst %.1f us\n",
      where, events, t.medianUs, t.meanUs, t.worstUs);
}

}  // namespace torvo::bench
