// The fixture of the end-to-end tests: a fresh settings area, a private
// program folder, the virtual keyboard plugged in, and Torvo.exe.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "harness.h"
#include "hiddriver/client/virtual_keyboard.h"
#include "hiddriver/report_checks.h"

namespace torvo::testing {

class TorvoTest : public ::testing::Test {
 protected:
  static constexpr DWORD kStartTimeoutMs = 20000;
  static constexpr DWORD kExitTimeoutMs = 5000;

  void SetUp() override {
    EndStrayInstances();
    ASSERT_TRUE(keyboard.Create(true));
  }

  void TearDown() override {
    if (torvo.Running() && torvo.MainWindow() != nullptr) {
      PostMessageW(torvo.MainWindow(), WM_COMMAND, 6002, 0);
      torvo.WaitForExit(kExitTimeoutMs);
    }
    CheckProtocolErrors();
  }

  // The keyboard refuses and logs every call the program should not make;
  // such an error fails the test unless the test expects it here, naming the
  // verdict and the report id (0x04 also stands for the status poll).
  void ExpectProtocolErrors(vkb::Verdict verdict, std::uint8_t reportId) {
    expectedErrors_.push_back({verdict, reportId});
  }

  void CheckProtocolErrors() {
    const std::uint32_t count = keyboard.ProtocolErrorCount();
    if (count == 0) return;
    const std::vector<vkb::ProtocolError> kept = keyboard.ProtocolErrors();
    bool unexpected = kept.size() < count && expectedErrors_.empty();
    for (const vkb::ProtocolError& error : kept) {
      bool expected = false;
      for (const ExpectedError& e : expectedErrors_) {
        expected = expected || (error.verdict == static_cast<std::uint32_t>(e.verdict) &&
                                error.reportId == e.reportId);
      }
      unexpected = unexpected || !expected;
    }
    if (unexpected) {
      ADD_FAILURE() << "the virtual keyboard logged protocol errors:\n"
                    << keyboard.DescribeProtocolErrors() << keyboard.DumpReportLog(false);
    }
  }

  // Starts Torvo.exe and waits until its creation handler has finished (it
  // starts the on-screen display last).
  void StartAndWaitForCreation(TorvoProcess& process, const std::wstring& arguments = L"") {
    const int launchesBefore = folder.LaunchCount(L"OSD.exe");
    ASSERT_TRUE(process.Start(folder, arguments));
    ASSERT_TRUE(
        WaitUntil([&] { return folder.LaunchCount(L"OSD.exe") > launchesBefore; }, kStartTimeoutMs))
        << process.Traces();
    ASSERT_TRUE(process.WaitForMainWindow(kStartTimeoutMs));
  }
  void StartAndWaitForCreation(const std::wstring& arguments = L"") {
    StartAndWaitForCreation(torvo, arguments);
  }

  // Waits until an upload has ended: its host-state (1, 0) report has been
  // sent and polled. Tests that unplug the keyboard wait for this first, or
  // the upload still running would send its last reports to a closed device.
  bool WaitForUploadEnd(std::uint32_t hostStateReports = 1, DWORD timeoutMs = 20000) {
    return WaitUntil(
        [&] {
          const auto log = keyboard.Reports();
          return keyboard.Model().hostStateReports >= hostStateReports && !log.empty() &&
                 log.back().kind == static_cast<std::uint8_t>(vkb::LogKind::kGet);
        },
        timeoutMs);
  }

  // Starts Torvo.exe with the keyboard plugged and waits for the end of the
  // start-up upload.
  void StartAndWaitForUpload() {
    StartAndWaitForCreation();
    ASSERT_TRUE(WaitForUploadEnd()) << keyboard.DumpReportLog(false);
  }

  // Ends the program with a message to its main window (6002, WM_CLOSE...).
  void ExitBy(TorvoProcess& process, UINT message, WPARAM wParam) {
    ASSERT_TRUE(PostMessageW(process.MainWindow(), message, wParam, 0));
    ASSERT_TRUE(process.WaitForExit(kExitTimeoutMs)) << process.Traces();
    EXPECT_EQ(process.ExitCode(), 0u);
  }
  void ExitBy(UINT message, WPARAM wParam) { ExitBy(torvo, message, wParam); }

  struct ExpectedError {
    vkb::Verdict verdict;
    std::uint8_t reportId;
  };
  std::vector<ExpectedError> expectedErrors_;

  vkb::VirtualKeyboard keyboard;
  SettingsArea area;
  ProgramFolder folder;
  TorvoProcess torvo;
};

}  // namespace torvo::testing
