// Arbitrary settings blocks through every report encoder and through the
// worker's requests on a scripted keyboard and a fake clock. Whatever the
// block holds, every report keeps its length, its counts and its terminator,
// and nothing is read or written outside the block or a report.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "device_fakes.h"
#include "report_checks.h"
#include "device/device_protocol.h"
#include "device/reports.h"
#include "device/upload_worker.h"
#include "fakes.h"

namespace {

using torvo::fuzz::Check;
using torvo::fuzz::CheckReport;
using torvo::testing::FakeClock;
using torvo::testing::FakeDevice;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  auto block = std::make_unique<torvo::ConfigBlock>();
  auto* bytes = reinterpret_cast<std::uint8_t*>(block.get());
  const std::size_t blockSize = sizeof(torvo::ConfigBlock);
  // Even first byte: the input is the block's start, the rest stays zero.
  // Odd: the input is repeated over the whole block, so that short inputs
  // reach every slot and key.
  const std::uint8_t* body = data + 1;
  const std::size_t bodySize = size - 1;
  std::memset(bytes, 0, blockSize);
  if ((data[0] & 1) == 0) {
    std::memcpy(bytes, body, std::min(bodySize, blockSize));
  } else {
    for (std::size_t i = 0; i < blockSize; i += bodySize) {
      std::memcpy(bytes + i, body, std::min(bodySize, blockSize - i));
    }
  }

  // Every encoder on its own: the four key tables, and the macros of every
  // key of one slot (which one, the input's length says; the upload below
  // builds the marked macros of all four).
  torvo::Cp1252Converter converter;
  const int macroSlot = static_cast<int>(bodySize % torvo::kSlotCount);
  for (int s = 0; s < torvo::kSlotCount; ++s) {
    auto table = torvo::BuildKeyTableReport(block->slots[s], s);
    CheckReport(table);
    for (int k = 0; s == macroSlot && k < torvo::kKeysPerProfile; ++k) {
      auto macro = torvo::BuildMacroReport(block->slots[s].keys[k], s, k, converter);
      CheckReport(macro);
    }
  }

  // The worker's requests against a keyboard whose answers come from the
  // input too: done, busy, failing or odd statuses, and an abort at a time
  // the input chooses.
  FakeClock clock;
  FakeDevice device(clock);
  torvo::DeviceFlags flags;
  flags.devicePresence = torvo::kDevicePresent;
  for (std::size_t i = 0; i < std::min<std::size_t>(bodySize, 64); ++i) {
    device.statuses.push_back((body[i] & 7) == 7 ? -1 : body[i] & 3);
  }
  device.defaultStatus = (data[0] >> 1) & 3;
  if ((data[0] & 0x40) != 0) {
    clock.At((data[0] >> 2) * 500ull, [&flags] { flags.abortTransfer = 1; });
  }
  torvo::DeviceProtocol protocol(device, clock, flags, converter);
  torvo::fakes::RecordingDesktop desktop;
  desktop.windows[torvo::kConfiguratorTitle] = 1;
  torvo::WorkerRequests requests;
  const std::shared_ptr<const torvo::ConfigBlock> snapshot(std::move(block));
  // The slot in force is the block's, in or out of range.
  flags.activeSlot = snapshot->header.activeSlot;
  torvo::UploadWorker worker(protocol, flags, desktop, requests);
  // A full upload, or an apply and a slot switch: each input runs one
  // upload of the block, which is where the time goes.
  const bool full = (data[0] & 0x80) != 0;
  for (unsigned request : {torvo::REQ_FULL_UPLOAD, torvo::REQ_APPLY, torvo::REQ_SWITCH_SLOT}) {
    if ((request == torvo::REQ_FULL_UPLOAD) != full) continue;
    requests.Post(request, *snapshot, [] { return true; });
    worker.OnThreadMessage(torvo::MSG_WORKER_REQUEST, request, 0);
  }
  protocol.SendDialFunction(*snapshot);
  for (const auto& r : device.log) {
    if (r.set) CheckReport(r.bytes);
  }
  Check(flags.workerBusy == 0);
  return 0;
}
