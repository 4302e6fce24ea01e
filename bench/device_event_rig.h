// One device event that saves Config.data, timed through the main window's
// core on a real file system: the decision, the copy into the shared block
// (here plain memory), the posts (recorded, not sent) and the atomic rewrite
// of Config.data. The other ports are the tests' fakes: an always-ready
// device on a clock that does not sleep. Shared by the native and the
// Windows benchmark.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "app/main_window_core.h"
#include "core_rig.h"
#include "fakes.h"
#include "settings/settings_store.h"

namespace torvo::bench {

struct EventTimes {
  double medianUs = 0;
  double worstUs = 0;
  double meanUs = 0;
};

// Runs `events` device events that each save Config.data (reported values
// of class 0x2000 and slot switches, alternating) in the settings folder
// under `folder` and times each.
inline EventTimes TimeSavingEvents(FileSystem& files, const std::u16string& folder, int events) {
  fakes::FakeUserFolders folders;  // the settings and the program folder: `folder`
  folders.appData = folder;
  folders.programFolder = folder + u"\\";
  SettingsEnvironment env{files, folders};
  fakes::CoreRig rig(env);
  rig.desktop.windows[kConfiguratorTitle] = 1;
  rig.desktop.windows[kOsdTitle] = 1;
  rig.settings.Load();
  MainWindowCore& core = rig.core;

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
  // The goal is the main window's: no message waits more than 100 ms for an
  // answer (as in the endurance run).
  std::printf(
      "%s: %d device events that save Config.data: median %.1f us, mean %.1f us, worst %.1f us "
      "(goal: worst <= 100 ms)\n",
      where, events, t.medianUs, t.meanUs, t.worstUs);
}

}  // namespace torvo::bench
