// Sending feature reports and waiting for the keyboard to take them.
//
// Every report is handed to SetFeature and, only when the library accepted
// it, followed by the readiness poll on the calling thread. The poll sleeps in
// 100 ms slices and gives up as soon as the abort flag is raised, so an abort
// takes effect within one slice (apart from a library call in progress).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "common/clock.h"
#include "device/ansi_converter.h"
#include "device/device_library.h"
#include "device/device_state.h"
#include "settings/config_block.h"

namespace torvo {

// First waits of the readiness poll after each kind of report, and the pause
// between the steps of a full upload.
inline constexpr int kShortReportFirstWaitMs = 100;  // upload-start, active slot, dial, host
inline constexpr int kTableReportFirstWaitMs = 200;  // key table, macro
inline constexpr std::uint32_t kUploadStepPauseMs = 100;
inline constexpr std::uint32_t kPollSliceMs = 100;
inline constexpr int kPollAttempts = 10;

class DeviceProtocol {
 public:
  DeviceProtocol(DeviceLibrary& library, Clock& clock, DeviceFlags& flags,
                 const AnsiConverter& converter)
      : library_(library), clock_(clock), flags_(flags), converter_(converter) {}

  // Polls the status report until the device reports done (1) or gives up
  // (0): ten attempts, waiting firstWaitMs, 1000, 1500, then 2000 ms before
  // each. A failed GetFeature keeps the previous status; a status other than
  // done or busy ends the poll at once; the abort flag ends it within a slice.
  int WaitDeviceReady(int firstWaitMs);

  // Short reports. Each returns the poll's result, 0 when the report was not
  // sent. Reports that name the active slot are not sent when it is outside
  // 0..3. The upload-start and active-slot reports name the slot they are
  // given, the slot in force when they go out (which may differ from the
  // activeSlot of the block an upload was asked with).
  int SendUploadStart(int activeSlot);
  int SendActiveSlot(int activeSlot);
  int SendDialFunction(const ConfigBlock& block);
  // The same report for `function` of `activeSlot`, as a decision took them.
  int SendDialFunction(int activeSlot, std::uint8_t function);
  int SendHostState(bool hostActive, bool dialShown);

  // The key table of `slot`; the poll's result, 0 when not sent.
  int SendKeyTable(const ConfigBlock& block, int slot);
  // The macro of key `key` of `slot` when its action type is 3 (whatever its
  // action class): the poll's result, 0 when the report could not be sent, 1
  // when there is nothing to send.
  int SendMacro(const ConfigBlock& block, int slot, int key);

  // The full upload: the active-slot report naming `activeSlot`, then the
  // four key tables and the macros marked in uploadFlags of `block`, slot by
  // slot. Returns the last slot's result.
  int ApplyAllSettings(const ConfigBlock& block, int activeSlot);

 private:
  template <std::size_t N>
  int SendAndWait(std::array<std::uint8_t, N>& report, int firstWaitMs) {
    if (library_.SetFeature(report.data(), static_cast<int>(N)) == 0) return 0;
    return WaitDeviceReady(firstWaitMs);
  }
  // Sleeps `waitMs` rounded down to whole slices; false when the abort flag
  // was seen before a slice or after the last.
  bool SleepSliced(std::uint32_t waitMs);
  bool Aborted() const { return flags_.abortTransfer.load() != 0; }
  // The pause between the steps of an upload.
  void StepPause();

  DeviceLibrary& library_;
  Clock& clock_;
  DeviceFlags& flags_;
  const AnsiConverter& converter_;
};

}  // namespace torvo
