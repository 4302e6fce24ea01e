// A whole skin from arbitrary bytes: "skin_scroll.ini" as text (sections,
// keys, values of any length, read as GetPrivateProfileStringW reads them
// into 4096 characters), the sizes of the four state pictures, and the
// headers of the eight mask files. Every kept path fits its 500-character
// field and starts with the skin folder; every button that gets a window
// lies on the dial, its mask's corner at or before the window's, and each
// cut-out lies on its picture; a mask header is accepted only within bounds.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "dial/skin_bounds.h"
#include "dial/skin_description.h"
#include "report_checks.h"

namespace {

using torvo::fuzz::Check;

// Ini text: "[section]" lines and "key=value" lines, the first of a key in
// its section winning, values cut to 4095 characters.
class TextIni final : public torvo::SkinIni {
 public:
  explicit TextIni(const std::u16string& text) {
    std::u16string section;
    std::size_t start = 0;
    while (start <= text.size()) {
      std::size_t end = text.find(u'\n', start);
      if (end == std::u16string::npos) end = text.size();
      std::u16string line = text.substr(start, end - start);
      if (!line.empty() && line.back() == u'\r') line.pop_back();
      if (!line.empty() && line.front() == u'[') {
        section = line.substr(1, line.find(u']') == std::u16string::npos ? std::u16string::npos
                                                                         : line.find(u']') - 1);
      } else if (const std::size_t equals = line.find(u'='); equals != std::u16string::npos) {
        values_.emplace(std::make_pair(section, line.substr(0, equals)),
                        line.substr(equals + 1, 4095));
      }
      start = end + 1;
    }
  }
  std::u16string GetString(std::u16string_view section, std::u16string_view key) override {
    const auto found = values_.find({std::u16string(section), std::u16string(key)});
    return found == values_.end() ? std::u16string() : found->second;
  }

 private:
  std::map<std::pair<std::u16string, std::u16string>, std::u16string> values_;
};

void CheckPath(const std::optional<std::u16string>& path, const std::u16string& folder) {
  if (!path) return;
  Check(path->size() <= torvo::kMaxImagePathLength);
  Check(path->compare(0, folder.size(), folder) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 8) return 0;
  // The first eight bytes: the state pictures' sizes (1..1000 pixels a side).
  const int width = 1 + (data[0] | data[1] << 8) % 1000;
  const int height = 1 + (data[2] | data[3] << 8) % 1000;
  // Then the mask headers, 54 bytes each as far as the input goes, then
  // the ini text (one byte a character, so that short inputs reach keys).
  const std::size_t maskBytes = std::min<std::size_t>(size - 8, (data[4] % 9) * 54);
  for (std::size_t at = 0; at < maskBytes; at += 54) {
    const std::size_t count = std::min<std::size_t>(54, maskBytes - at);
    const torvo::BitmapFileCheck check =
        torvo::CheckBitmapFile(data + 8 + at, count, data[5] * 1024u + count);
    if (check.verdict == torvo::BitmapFileVerdict::kAccepted) {
      Check(check.width >= 1 && check.width <= torvo::kMaxSkinPictureSide);
      Check(check.height >= 1 && check.height <= torvo::kMaxSkinPictureSide);
    }
  }
  std::u16string text;
  for (std::size_t i = 8 + maskBytes; i < size; ++i) text.push_back(data[i]);
  // The skin folder may be long too: the paths must still fit.
  const std::u16string folder = u"C:\\Program Files\\Torvo\\skins\\" +
                                std::u16string(static_cast<std::size_t>(data[6]) * 2, u'x') + u"\\";
  TextIni ini(text);
  const torvo::SkinDescription skin = torvo::ReadSkinDescription(folder, ini);
  for (const auto& path : skin.statePicturePaths) CheckPath(path, folder);
  CheckPath(skin.dialImagePath, folder);
  for (const auto& path : skin.centreImagePaths) CheckPath(path, folder);
  for (const auto& path : skin.segmentImagePaths) CheckPath(path, folder);
  for (const torvo::SkinButton& button : skin.buttons) {
    const auto [placement, onDial] = torvo::PlaceButton(button.rect, width, height);
    const torvo::ButtonRect& w = placement.window;
    Check(w.left >= 0 && w.top >= 0 && w.right <= width && w.bottom <= height);
    Check(onDial ? w.left < w.right && w.top < w.bottom : w.left == w.right && w.top == w.bottom);
    Check(placement.maskLeft <= 0 && placement.maskTop <= 0);
    if (const auto cut = torvo::CutOutOf(w, 1 + data[7], 1 + data[7] / 2)) {
      Check(cut->source.left >= 0 && cut->source.top >= 0);
      Check(cut->source.right <= 1 + data[7] && cut->source.bottom <= 1 + data[7] / 2);
      Check(cut->left >= 0 && cut->top >= 0);
    }
  }
  return 0;
}
