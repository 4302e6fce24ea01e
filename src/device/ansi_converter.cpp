#include "device/ansi_converter.h"

#include <cstdint>

namespace torvo {
namespace {

struct Composition {
  char16_t base;
  char16_t mark;
  char16_t composed;
};

// Letters the code page holds precomposed, by base letter and combining mark.
constexpr Composition kCompositions[] = {
    {u'A', 0x300, 0xC0},  {u'A', 0x301, 0xC1}, {u'A', 0x302, 0xC2},  {u'A', 0x303, 0xC3},
    {u'A', 0x308, 0xC4},  {u'A', 0x30A, 0xC5}, {u'C', 0x327, 0xC7},  {u'E', 0x300, 0xC8},
    {u'E', 0x301, 0xC9},  {u'E', 0x302, 0xCA}, {u'E', 0x308, 0xCB},  {u'I', 0x300, 0xCC},
    {u'I', 0x301, 0xCD},  {u'I', 0x302, 0xCE}, {u'I', 0x308, 0xCF},  {u'N', 0x303, 0xD1},
    {u'O', 0x300, 0xD2},  {u'O', 0x301, 0xD3}, {u'O', 0x302, 0xD4},  {u'O', 0x303, 0xD5},
    {u'O', 0x308, 0xD6},  {u'U', 0x300, 0xD9}, {u'U', 0x301, 0xDA},  {u'U', 0x302, 0xDB},
    {u'U', 0x308, 0xDC},  {u'Y', 0x301, 0xDD}, {u'S', 0x30C, 0x160}, {u'Z', 0x30C, 0x17D},
    {u'Y', 0x308, 0x178}, {u'y', 0x308, 0xFF},
};

bool IsCombiningMark(char16_t c) {
  return c >= 0x300 && c <= 0x36F;
}
bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

char16_t Compose(char16_t base, char16_t mark) {
  for (const Composition& c : kCompositions) {
    if (c.base == base && c.mark == mark) return c.composed;
    // Lower-case Latin-1 letters sit 0x20 above their capitals.
    if (c.composed >= 0xC0 && c.composed <= 0xDD && c.base + 0x20 == base && c.mark == mark) {
      return static_cast<char16_t>(c.composed + 0x20);
    }
  }
  if (mark == 0x30C && base == u's') return 0x161;
  if (mark == 0x30C && base == u'z') return 0x17E;
  return 0;
}

// The code page byte of `c`, or 0 when the code page has none.
std::uint8_t ToCp1252(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<std::uint8_t>(c);
  // The five bytes the code page leaves undefined round-trip as themselves.
  if (c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D) {
    return static_cast<std::uint8_t>(c);
  }
  // The other characters of bytes 0x80..0x9F.
  switch (c) {
    case 0x20AC:
      return 0x80;
    case 0x201A:
      return 0x82;
    case 0x0192:
      return 0x83;
    case 0x201E:
      return 0x84;
    case 0x2026:
      return 0x85;
    case 0x2020:
      return 0x86;
    case 0x2021:
      return 0x87;
    case 0x02C6:
      return 0x88;
    case 0x2030:
      return 0x89;
    case 0x0160:
      return 0x8A;
    case 0x2039:
      return 0x8B;
    case 0x0152:
      return 0x8C;
    case 0x017D:
      return 0x8E;
    case 0x2018:
      return 0x91;
    case 0x2019:
      return 0x92;
    case 0x201C:
      return 0x93;
    case 0x201D:
      return 0x94;
    case 0x2022:
      return 0x95;
    case 0x2013:
      return 0x96;
    case 0x2014:
      return 0x97;
    case 0x02DC:
      return 0x98;
    case 0x2122:
      return 0x99;
    case 0x0161:
      return 0x9A;
    case 0x203A:
      return 0x9B;
    case 0x0153:
      return 0x9C;
    case 0x017E:
      return 0x9E;
    case 0x0178:
      return 0x9F;
    default:
      return 0;
  }
}

}  // namespace

std::string Cp1252Converter::ToAnsi(std::u16string_view text) const {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (i + 1 < text.size() && IsCombiningMark(text[i + 1])) {
      char16_t composed = Compose(c, text[i + 1]);
      if (composed != 0) {
        out.push_back(static_cast<char>(ToCp1252(composed)));
        ++i;
        continue;
      }
    }
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      out.push_back('?');  // one character outside the code page
      ++i;
      continue;
    }
    std::uint8_t b = ToCp1252(c);
    out.push_back(b != 0 || c == 0 ? static_cast<char>(b) : '?');
  }
  return out;
}

std::string ToAnsiFitting(const AnsiConverter& converter, std::u16string_view text,
                          std::size_t maxBytes) {
  std::string whole = converter.ToAnsi(text);
  if (whole.size() <= maxBytes) return whole;
  // Try ever shorter prefixes that end on a character boundary; a converter
  // of a multi-byte code page then never leaves half a character behind.
  // Every character but a combining mark takes at least one byte, so no
  // prefix with more than maxBytes of them can fit: start below that.
  std::size_t start = text.size() - 1;
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IsCombiningMark(text[i]) ||
        (IsLowSurrogate(text[i]) && i > 0 && IsHighSurrogate(text[i - 1]))) {
      continue;
    }
    if (++characters > maxBytes + 1) {
      start = i;
      break;
    }
  }
  for (std::size_t n = start; n > 0; --n) {
    if (IsLowSurrogate(text[n]) && IsHighSurrogate(text[n - 1])) continue;
    if (IsCombiningMark(text[n])) continue;
    std::string part = converter.ToAnsi(text.substr(0, n));
    if (part.size() <= maxBytes) return part;
  }
  return std::string();
}

}  // namespace torvo
