// Comparing names without regard to letter case. The foreground rule must
// compare program names exactly as the system does (every script's letters,
// as lstrcmpiW folds them), so it asks this port; the Win32 shell answers
// with the system's comparison.
#pragma once

#include <string_view>

namespace torvo {

class CaseInsensitiveText {
 public:
  virtual ~CaseInsensitiveText() = default;
  // True when the two texts are equal without regard to letter case.
  virtual bool Equal(std::u16string_view a, std::u16string_view b) const = 0;
};

// A comparison that folds only ASCII, Latin-1, Latin Extended-A and the
// unaccented Greek and Cyrillic capitals: for tests, fuzzers and benchmarks
// that run without the system.
class SimpleCaseInsensitiveText final : public CaseInsensitiveText {
 public:
  bool Equal(std::u16string_view a, std::u16string_view b) const override;
};

}  // namespace torvo
