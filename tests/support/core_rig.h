// The main window's core on the shared fakes, for the fuzz targets and the
// benchmarks: a device that answers at once on a clock that does not sleep,
// the desktop and the shared block in memory, the window's actions
// recorded. The settings live in `env`, which the caller provides (a disk in
// memory, a real folder, or a disk that keeps nothing); nothing is loaded
// until the caller says so, so that the shared block can be prepared first.
#pragma once

#include "app/dial_state.h"
#include "app/main_window_core.h"
#include "common/text_comparison.h"
#include "device/ansi_converter.h"
#include "device/device_protocol.h"
#include "device/device_state.h"
#include "device_fakes.h"
#include "fakes.h"
#include "settings/settings_store.h"
#include "window_fakes.h"

namespace torvo::fakes {

struct CoreRig {
  explicit CoreRig(SettingsEnvironment& env) : settings(env, shared, desktop, nullptr) {}

  testing::FakeClock clock;
  testing::FakeDevice device{clock};
  DeviceFlags flags;
  Cp1252Converter converter;
  DeviceProtocol protocol{device, clock, flags, converter};
  RecordingDesktop desktop;
  FakeSharedBlock shared;
  SettingsStore settings;
  DialState dial;
  FakeWindow window;
  SimpleCaseInsensitiveText text;
  MainWindowCore core{{settings, dial, desktop, shared, protocol, flags, window, text}};
};

}  // namespace torvo::fakes
