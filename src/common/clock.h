// Time as the core sees it: real on Windows, fake in native tests.
#pragma once

#include <cstdint>

namespace torvo {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual void SleepMs(std::uint32_t ms) = 0;
  virtual std::uint64_t NowMs() = 0;
};

// Sleeps with std::this_thread and reads std::chrono::steady_clock.
class SystemClock final : public Clock {
 public:
  void SleepMs(std::uint32_t ms) override;
  std::uint64_t NowMs() override;
};

}  // namespace torvo
