// Conversion of key labels to the system's ANSI code page, the character set
// the device shows macro names in. Windows uses the active code page; the
// portable converter stands in for it with Windows-1252.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace torvo {

class AnsiConverter {
 public:
  virtual ~AnsiConverter() = default;
  // Converts UTF-16 text to ANSI bytes. Characters the code page cannot
  // represent become '?'. The text holds no NUL.
  virtual std::string ToAnsi(std::u16string_view text) const = 0;
};

// Windows-1252, the code page of Western European Windows installations.
// Latin-1 letters written as a base letter followed by a combining accent are
// composed first (as WC_COMPOSITECHECK does); what remains unmappable is '?'.
class Cp1252Converter final : public AnsiConverter {
 public:
  std::string ToAnsi(std::u16string_view text) const override;
};

// Converts `text` and cuts it, at a character boundary, to at most maxBytes
// bytes. Never splits a surrogate pair, and keeps a combining mark with the
// letter before it.
std::string ToAnsiFitting(const AnsiConverter& converter, std::u16string_view text,
                          std::size_t maxBytes);

}  // namespace torvo
