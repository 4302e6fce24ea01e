// Controls the virtual keyboard (the stand-in hiddriver.dll) from another
// process: plug state, status behaviour, input events to the monitor window,
// and read-back of everything the keyboard received. Used by the Win32 tests
// and by vkbctl.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hiddriver/control_block.h"

namespace torvo::vkb {

class VirtualKeyboard {
 public:
  VirtualKeyboard();
  ~VirtualKeyboard();
  VirtualKeyboard(const VirtualKeyboard&) = delete;
  VirtualKeyboard& operator=(const VirtualKeyboard&) = delete;

  // Opens the control channel; when nobody has created it yet, creates it
  // with the keyboard plugged or not. Keeping it open keeps the state alive.
  bool Open(bool pluggedIfCreated = true);
  // Opens the channel and starts from a clean state (Reset(plugged)), with
  // the feature device closed: for a start before the program runs.
  bool Create(bool plugged);
  void Close();
  bool IsOpen() const;
  // True when the last Open created the block (no one had it open).
  bool CreatedBlock() const { return created_; }

  // Clears log, counters, model, status behaviour and queued posts.
  bool Reset(bool plugged);
  // With `notify`, posts the connection message (1 arrived, 0 left) to the
  // monitor window through the library's delivery thread; without, only
  // changes the state (e.g. before Torvo.exe starts).
  bool SetPlugged(bool plugged, bool notify = true);
  // Posts the event message: wParam = class, lParam = value.
  bool SendInputEvent(std::uint16_t eventClass, std::uint16_t value);
  // Posts the connection message with a raw wParam (e.g. 5).
  bool SendConnection(std::uint32_t wParam);
  // `param`: busy poll count (kBusyThenReady), status byte (kFixedValue), or
  // how long a call blocks in ms (kGetBlocks, kSetBlocks; 0: until the mode
  // changes, so switching back to kReady ends a block early).
  bool SetStatusBehaviour(StatusMode mode, std::uint32_t param = 0, bool rearmEachReport = false);

  // Copies of the state; empty/zero when the channel is not open.
  std::vector<ReportLogEntry> Reports() const;
  // Only the set reports that were accepted, as byte strings.
  std::vector<std::vector<std::uint8_t>> AcceptedSetReports() const;
  KeyboardModel Model() const;
  CallCounters Counters() const;
  StatusBehaviour Status() const;
  bool IsPlugged() const;
  bool IsFeatureOpen() const;
  // The monitor window registered by Open_DevMonitor (0 when none).
  std::uint64_t MonitorWindow() const;
  std::uint32_t QueuedPostCount() const;
  // Calls the program should never have made (reports to a closed device,
  // malformed reports...), as the keyboard refused them: the newest ones
  // kept, and how many there were in all.
  std::vector<ProtocolError> ProtocolErrors() const;
  std::uint32_t ProtocolErrorCount() const;
  // One line per kept error, with the count ("protocol errors: 0" when none).
  std::string DescribeProtocolErrors() const;
  // Calls blocked in a blocking mode at this moment.
  std::uint32_t BlockedCalls() const;
  std::string Dump() const;
  std::string DumpReportLog(bool full) const;

  // Runs `read` on the block under the mutex; false when it could not.
  bool Read(const std::function<void(const ControlBlock&)>& read) const;

  // Polls `predicate` every 15 ms until it is true or `timeoutMs` passed;
  // returns its last answer.
  static bool WaitUntil(const std::function<bool()>& predicate, std::uint32_t timeoutMs);
  // Waits until the delivery thread has taken every queued post.
  bool WaitForDelivery(std::uint32_t timeoutMs) const;

 private:
  bool Modify(const std::function<bool(ControlBlock&)>& change);

  struct Channel;
  std::unique_ptr<Channel> channel_;
  bool created_ = false;
};

}  // namespace torvo::vkb
