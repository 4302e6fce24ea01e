// Checks shared by the fuzz targets: a failed check aborts, which libFuzzer
// reports as a finding with its input.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <span>

#include "device/reports.h"

namespace torvo::fuzz {

inline void Check(bool condition) {
  if (!condition) std::abort();
}

// A report as the keyboard must receive it: its length, header, slot and
// macro number within range, a macro's name ending inside its bytes, no
// more than 50 pairs, zero bytes after them and no delay byte of 0.
inline void CheckReport(std::span<const std::uint8_t> r) {
  Check(!r.empty());
  switch (r[0]) {
    case 0x04:
    case 0x0B:
    case 0x10:
      Check(r.size() == 8);
      break;
    case 0x05:
      Check(r.size() == 4 && r[2] < 4);
      break;
    case 0x08:
      Check(r.size() == 104 && r[1] == 0x68 && r[2] < 4);
      break;
    case 0x09: {
      Check(r.size() == 130 && r[1] == 0x82 && r[2] < 4);
      Check(r[3] >= 1 && r[3] <= 80 && r[4] != 0);
      Check(r[28] == 0);  // the name ends inside its 24 bytes
      const int pairs = r[kMacroPairCountOffset];
      Check(pairs <= 50);
      for (std::size_t i = kMacroPairsOffset + 2 * pairs; i < r.size(); ++i) Check(r[i] == 0);
      // No delay byte is 0: a step waits at least 1 unit, a long-delay pair
      // at least 6 hundreds.
      for (int i = 0; i < pairs; ++i) Check(r[kMacroPairsOffset + 2 * i] != 0);
      break;
    }
    default:
      Check(false);
  }
}

}  // namespace torvo::fuzz
