// A shared block written by another program and a run of device events,
// dial clicks, applies and foreground checks, all from arbitrary bytes,
// through the main window's core on fakes. Nothing may read outside a record
// (labels and paths without terminator, slots and functions out of range),
// and the working block must keep an active slot within 0..3.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "../native/device_fakes.h"
#include "../native/fakes.h"
#include "app/main_window_core.h"
#include "device/ansi_converter.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

class BytesBlock final : public torvo::SharedBlockPort {
 public:
  torvo::ShareCopy TryPublish(const torvo::ConfigBlock& block) override {
    std::memcpy(shared.get(), &block, sizeof(block));
    return torvo::ShareCopy::kCopied;
  }
  torvo::ShareCopy TryAdopt(torvo::ConfigBlock& config) override {
    std::memcpy(&config, shared.get(), sizeof(config));
    return torvo::ShareCopy::kCopied;
  }
  std::unique_ptr<torvo::ConfigBlock> shared = std::make_unique<torvo::ConfigBlock>();
};

class NoWindow final : public torvo::MainWindowActions {
 public:
  void ShowDialWindow() override {}
  void HideDialWindow() override {}
  void InvalidateDialWindow() override {}
  bool StartOnScreenKeyboard() override { return true; }
  bool PostWorkerRequest(std::uintptr_t, std::intptr_t) override { return true; }
  void OnConnectionChange(int) override {}
  void RunShareRetryTimer(bool) override {}
};

struct Reader {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t at = 0;
  bool More() const { return at < size; }
  std::uint8_t Byte() { return at < size ? data[at++] : 0; }
  std::uint32_t Word() {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = (value << 8) | Byte();
    return value;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace torvo;
  fakes::FakeFileSystem files;
  fakes::FakeUserFolders folders;
  SettingsEnvironment env{files, folders};
  fakes::RecordingDesktop desktop;
  desktop.windows[kConfiguratorTitle] = 1;
  desktop.windows[kOsdTitle] = 2;
  BytesBlock shared;
  // The block other programs wrote: the input repeated over its bytes.
  if (size == 0) return 0;
  auto* block = reinterpret_cast<std::uint8_t*>(shared.shared.get());
  for (std::size_t i = 0; i < kConfigBlockSize; ++i) block[i] = data[i % size];
  testing::FakeClock clock;
  testing::FakeDevice device(clock);
  DeviceFlags flags;
  flags.devicePresence = kDevicePresent;
  Cp1252Converter converter;
  DeviceProtocol protocol(device, clock, flags, converter);
  SettingsStore settings(env, shared, desktop, nullptr);
  settings.Load();
  DialState dial;
  NoWindow window;
  SimpleCaseInsensitiveText text;
  MainWindowCore core({settings, dial, desktop, shared, protocol, flags, window, text});
  core.SetOsdDataPath(u"C:\\osd.data");

  core.AdoptChangedSettings();
  Reader in{data, size};
  for (int step = 0; in.More() && step < 256; ++step) {
    switch (in.Byte() % 7) {
      case 0:
        core.HandleDeviceEvent(in.Word());
        break;
      case 1:
        core.ToggleDial();
        break;
      case 2:
        core.HideDial();
        break;
      case 3:
        core.CommitDialFunction(static_cast<std::int8_t>(in.Byte()));
        break;
      case 4:
        core.ApplyAllSetting(in.Byte());
        break;
      case 5: {
        std::u16string name;
        for (int i = in.Byte() % 12; i > 0; --i) name.push_back(static_cast<char16_t>(in.Byte()));
        core.FollowForegroundApplication(name);
        break;
      }
      default:
        core.AdoptChangedSettings();
        break;
    }
    Check(settings.config.header.activeSlot >= 0 && settings.config.header.activeSlot < 4);
    Check(dial.dialShown == 0 || dial.dialShown == 1);
    Check(dial.previewMode == 0 || dial.previewMode == 1);
  }
  return 0;
}
