#include "dial/dial_plan.h"

namespace torvo {

int ShownFunction(int currentFunction) {
  return currentFunction >= 1 && currentFunction <= 8 ? currentFunction : 0;
}

std::vector<DialDraw> PlanDial(int currentFunction, int previewMode,
                               const DialImagesPresent& present) {
  std::vector<DialDraw> plan;
  if (!present.dial) return plan;
  const int function = ShownFunction(currentFunction);
  plan.push_back({DialImageKind::kDial, 0, kWholeDial});
  const int centre = (function != 0 && previewMode == 0) ? function : 0;
  if (present.centre[static_cast<std::size_t>(centre)]) {
    plan.push_back({DialImageKind::kCentre, centre, kCentreSquare});
  }
  if (function != 0 && present.segment[static_cast<std::size_t>(function)]) {
    plan.push_back({DialImageKind::kSegment, function, kWholeDial});
  }
  return plan;
}

std::optional<PixelBox> VisibleBox(const std::uint32_t* pixels, int width, int height,
                                   std::ptrdiff_t rowStep) {
  int left = width;
  int right = -1;
  int top = height;
  int bottom = -1;
  for (int y = 0; y < height; ++y) {
    const std::uint32_t* row = pixels + static_cast<std::ptrdiff_t>(y) * rowStep;
    for (int x = 0; x < width; ++x) {
      if ((row[x] >> 24) == 0) continue;
      left = x < left ? x : left;
      right = x > right ? x : right;
      top = y < top ? y : top;
      bottom = y;
    }
  }
  if (right < 0) return std::nullopt;
  return PixelBox{left, top, right - left + 1, bottom - top + 1};
}

}  // namespace torvo
