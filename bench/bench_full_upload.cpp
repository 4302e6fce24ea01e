// The full upload (REQ_FULL_UPLOAD) of the default settings against an
// in-process keyboard that is always ready, on the real clock. Prints the
// wall time and its ratio to the protocol's floor: the sum of the fixed first
// waits and pauses, measured by running the same upload on a clock that only
// adds up the sleeps. The goal is a ratio of at most 1.02.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "common/clock.h"
#include "device/ansi_converter.h"
#include "device/device_library.h"
#include "device/device_protocol.h"
#include "device/upload_worker.h"
#include "device_fakes.h"
#include "fakes.h"
#include "settings/settings_model.h"

namespace {

int RunUpload(torvo::Clock& clock, const torvo::ConfigBlock& block) {
  torvo::testing::FakeDevice device(clock);  // always ready
  torvo::DeviceFlags flags;
  flags.devicePresence = torvo::kDevicePresent;
  torvo::Cp1252Converter converter;
  torvo::DeviceProtocol protocol(device, clock, flags, converter);
  torvo::fakes::RecordingDesktop desktop;  // no configurator to tell
  torvo::WorkerRequests requests;
  torvo::UploadWorker worker(protocol, flags, desktop, requests);
  requests.Post(torvo::REQ_FULL_UPLOAD, block, [] { return true; });
  worker.OnThreadMessage(torvo::MSG_WORKER_REQUEST, torvo::REQ_FULL_UPLOAD, 0);
  return static_cast<int>(device.Sent().size());
}

}  // namespace

int main() {
  auto block = std::make_unique<torvo::ConfigBlock>();
  std::memset(block.get(), 0, sizeof(torvo::ConfigBlock));
  torvo::MakeDefaultBlock(*block);

  torvo::testing::FakeClock sum;  // adds up the time slept instead of sleeping
  const int reports = RunUpload(sum, *block);
  const double floorMs = static_cast<double>(sum.now);
  std::printf("full upload of the default settings: %d reports, floor %.0f ms\n", reports, floorMs);

  torvo::SystemClock clock;
  double worst = 0;
  for (int run = 1; run <= 5; ++run) {
    const auto start = std::chrono::steady_clock::now();
    RunUpload(clock, *block);
    const std::chrono::duration<double, std::milli> wall = std::chrono::steady_clock::now() - start;
    const double ratio = wall.count() / floorMs;
    worst = ratio > worst ? ratio : worst;
    std::printf("run %d: %.1f ms, %.4f x floor\n", run, wall.count(), ratio);
  }
  std::printf("worst: %.4f x floor (goal <= 1.02)\n", worst);
  return 0;
}
