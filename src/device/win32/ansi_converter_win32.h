// Key labels in the system's ANSI code page, as WideCharToMultiByte gives
// them.
#pragma once

#include "device/ansi_converter.h"

namespace torvo {

class Win32AnsiConverter final : public AnsiConverter {
 public:
  std::string ToAnsi(std::u16string_view text) const override;
};

}  // namespace torvo
