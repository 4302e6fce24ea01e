// A stream of worker requests, arrivals, removals and aborts from arbitrary
// bytes, on a scripted keyboard and a fake clock: requests queued behind
// each other, a removal or an abort at any moment of an upload, requests the
// program did not post. Every report stays well formed, no request starts
// while the device is not present, the worker ends each request idle, and
// once every message is taken no request is left queued.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <utility>

#include "device_fakes.h"
#include "fakes.h"
#include "app/presence_tracker.h"
#include "device/device_protocol.h"
#include "device/upload_worker.h"
#include "report_checks.h"

namespace {

using torvo::fuzz::Check;
using torvo::fuzz::CheckReport;

struct Bytes {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t at = 0;
  bool More() const { return at < size; }
  std::uint8_t Next() { return at < size ? data[at++] : 0; }
};

// The program's two threads as the window and the worker thread run them,
// one step at a time.
struct Stream {
  torvo::testing::FakeClock clock;
  torvo::testing::FakeDevice device{clock};
  torvo::DeviceFlags flags;
  torvo::Cp1252Converter converter;
  torvo::DeviceProtocol protocol{device, clock, flags, converter};
  torvo::fakes::RecordingDesktop desktop;
  torvo::WorkerRequests requests;
  torvo::UploadWorker worker{protocol, flags, desktop, requests};
  torvo::PresenceTracker presence{flags};
  std::deque<std::uintptr_t> messages;  // the worker thread's queue
  std::unique_ptr<torvo::ConfigBlock> block = torvo::testing::MakeDeviceTestBlock();

  // As the window posts: only while the device is present.
  void Post(std::uintptr_t request) {
    if (flags.devicePresence != torvo::kDevicePresent) return;
    flags.activeSlot = block->header.activeSlot;
    requests.Post(request, *block, [&] {
      messages.push_back(request);
      return true;
    });
  }

  // What the window does with the tracker's answers that concern the
  // device and the worker; the timers, tray and windows do not matter here.
  void CarryOut(const torvo::Effects& effects) {
    for (const torvo::Effect& e : effects) {
      switch (e.kind) {
        case torvo::EffectKind::kOpenFeatureDevice:
          device.OpenFeatureDevice();
          presence.OnFeatureDeviceOpened();
          break;
        case torvo::EffectKind::kPostWorkerRequest:
          Post(e.wParam);
          break;
        case torvo::EffectKind::kCloseFeatureDevice:
          device.CloseFeatureDevice();
          break;
        default:
          break;
      }
    }
  }

  void Connection(int value) {
    CarryOut(presence.OnConnectionChange(value));
    // The arrival pause ends at once here.
    if (value == torvo::PresenceTracker::kArrived) CarryOut(presence.OnArrivalPauseElapsed(presence.ArrivalNumber()));
  }

  // The worker takes its next message; UI events may fall inside it.
  void Serve(std::uintptr_t request) {
    const bool present = flags.devicePresence == torvo::kDevicePresent;
    const std::size_t before = device.log.size();
    worker.OnThreadMessage(torvo::MSG_WORKER_REQUEST, request, 0);
    if (!present) Check(device.log.size() == before);
    Check(flags.workerBusy == 0);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Stream s;
  s.flags.devicePresence = torvo::kDevicePresent;
  Bytes in{data, size};
  s.device.defaultStatus = in.Next() % 4;  // done, busy for ever, or odd answers
  for (int step = 0; in.More() && step < 64; ++step) {
    const std::uint8_t op = in.Next();
    switch (op % 8) {
      case 0:
      case 1:
        s.Post(1 + in.Next() % 3);
        break;
      case 2:
        if (!s.messages.empty()) {
          const std::uintptr_t request = s.messages.front();
          s.messages.pop_front();
          s.Serve(request);
        }
        break;
      case 3:  // a removal, now or during the next upload
        if ((op & 0x80) != 0) {
          s.clock.At(s.clock.now + 50u * in.Next(),
                     [&s] { s.Connection(torvo::PresenceTracker::kRemoved); });
        } else {
          s.Connection(torvo::PresenceTracker::kRemoved);
        }
        break;
      case 4:
        s.Connection(torvo::PresenceTracker::kArrived);
        break;
      case 5:  // an abort raised while the worker is busy, as shutdown does
        s.clock.At(s.clock.now + 50u * in.Next(), [&s] {
          if (s.flags.workerBusy == 1) s.flags.abortTransfer = 1;
        });
        break;
      case 6:  // a request message nobody queued a request for
        s.Serve(1 + in.Next() % 3);
        break;
      default: {  // the settings change: a byte of the block, the slot in range or not
        const std::size_t offset = (in.Next() << 8 | in.Next()) * 2 % sizeof(torvo::ConfigBlock);
        reinterpret_cast<std::uint8_t*>(s.block.get())[offset] = in.Next();
        s.device.statuses.push_back(in.Next() % 5 - 1);
        break;
      }
    }
  }
  while (!s.messages.empty()) {
    const std::uintptr_t request = s.messages.front();
    s.messages.pop_front();
    s.Serve(request);
  }
  Check(s.requests.Pending() == 0);
  for (const auto& record : s.device.log) {
    if (record.set) CheckReport(record.bytes);
  }
  return 0;
}
