// The mask scan of the dial's buttons on a 1000 x 1000 noisy mask (each
// pixel white or not at random, so runs are short and rectangles many),
// bottom-up as the platform's sections are. Prints the median throughput in
// megapixels per second over many scans; the goal is at least 500.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include "dial/mask_region.h"

int main() {
  constexpr int kSide = 1000;
  constexpr int kRuns = 41;
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(kSide) * kSide * 4);
  std::mt19937 random(12345);
  for (std::size_t i = 0; i < pixels.size(); i += 4) {
    const bool white = (random() & 1) != 0;
    const std::uint8_t value = white ? 0xFF : static_cast<std::uint8_t>(random() % 255);
    pixels[i] = value;
    pixels[i + 1] = white ? 0xFF : static_cast<std::uint8_t>(random());
    pixels[i + 2] = white ? 0xFF : static_cast<std::uint8_t>(random());
    pixels[i + 3] = static_cast<std::uint8_t>(random());
  }
  torvo::MaskPixels mask;
  mask.topRow = pixels.data() + static_cast<std::size_t>(kSide - 1) * kSide * 4;
  mask.rowStep = -static_cast<std::ptrdiff_t>(kSide) * 4;
  mask.width = kSide;
  mask.height = kSide;

  std::vector<double> rates;
  std::uint64_t rects = 0;
  int batches = 0;
  torvo::RegionBuilder builder;
  for (int run = 0; run < kRuns; ++run) {
    rects = 0;
    batches = 0;
    const auto start = std::chrono::steady_clock::now();
    torvo::ScanMask(mask, builder, [&](torvo::RegionBuilder& batch) {
      rects += batch.Count();
      ++batches;
    });
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    rates.push_back(kSide * static_cast<double>(kSide) / 1e6 / seconds.count());
  }
  std::sort(rates.begin(), rates.end());
  std::printf("noisy %dx%d mask: %llu rectangles in %d batches\n", kSide, kSide,
              static_cast<unsigned long long>(rects), batches);
  std::printf("median %.0f Mpixel/s (min %.0f, max %.0f; goal >= 500)\n", rates[kRuns / 2],
              rates.front(), rates.back());
  return 0;
}
