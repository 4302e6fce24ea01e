// The shutdown's waits: when the closing report goes out a second time and
// how long it may wait then.
#include <gtest/gtest.h>

#include <optional>

#include "app/shutdown_budget.h"

namespace torvo {
namespace {

TEST(ShutdownBudgetTest, SecondClosingReportGetsWhatIsLeftOfTheBudget) {
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
      // What is left of 1600 ms since the destruction began...
      {true, true, 0, 1600},
      {true, true, 450, 1150},
      {true, true, 1499, 101},
      // ...and never less than 100 ms.
      {true, true, 1500, 100},
      {true, true, 1600, 100},
      {true, true, 5000, 100},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(
        SecondClosingReportWaitMs(row.workerWasBusy, row.closingReportReturned, row.elapsedMs),
        row.wait)
        << row.workerWasBusy << row.closingReportReturned << " after " << row.elapsedMs << " ms";
  }
  // The waits of a shutdown stay within two seconds with a bounded call's
  // grace (120 ms) behind each of the two reports.
  EXPECT_LE(kClosingReportWaitMs + kWorkerQuitWaitMs + 2 * 120u + kLastReportMinWaitMs, 2000u);
}

}  // namespace
}  // namespace torvo
