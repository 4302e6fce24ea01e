// The shutdown's waits: when the closing report goes out a second time and
// how long each wait may take.
#include <gtest/gtest.h>

#include <optional>

#include "app/shutdown_budget.h"

namespace torvo {
namespace {

TEST(ShutdownBudgetTest, EachWaitGetsWhatIsLeftBeforeItsDeadline) {
  struct Row {
    bool workerWasBusy;
    bool closingReportReturned;
    std::uint64_t elapsedMs;
    std::optional<std::uint32_t> wait;
  };
  const Row rows[] = {
      // An idle worker sent nothing after the first closing report.
      {false, true, 0, std::nullopt},
      {false, false, 500, std::nullopt},
      // A first report still stuck in the library: a second would wait for it.
      {true, false, 500, std::nullopt},
      // What is left until the device calls' deadline...
      {true, true, 700, 1600},
      {true, true, 2199, 101},
      // ...and never less than 100 ms.
      {true, true, 2200, 100},
      {true, true, 5000, 100},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(
        SecondClosingReportWaitMs(row.workerWasBusy, row.closingReportReturned, row.elapsedMs),
        row.wait)
        << row.workerWasBusy << row.closingReportReturned << " after " << row.elapsedMs << " ms";
  }
  EXPECT_EQ(WaitBefore(kClosingReportDeadlineMs, 0), 1300u);
  EXPECT_EQ(WaitBefore(kWorkerStopDeadlineMs, 1420), 580u);
  EXPECT_EQ(WaitBefore(kWorkerStopDeadlineMs, 2500), 0u);

  // A slow library (600 ms a call) has its closing report and poll answered
  // in time: the report, the poll's first wait, the status read.
  EXPECT_GE(kClosingReportDeadlineMs, 600u + 100u + 600u);
  // Every device wait, with its grace, ends well within the bound.
  EXPECT_LE(kLibraryCloseDeadlineMs + kAbortGraceMs + 200u, kShutdownBoundMs);
  EXPECT_LT(kClosingReportDeadlineMs, kWorkerStopDeadlineMs);
  EXPECT_LT(kWorkerStopDeadlineMs, kDeviceCallsDeadlineMs);
  EXPECT_LT(kDeviceCallsDeadlineMs, kLibraryCloseDeadlineMs);
}

}  // namespace
}  // namespace torvo
