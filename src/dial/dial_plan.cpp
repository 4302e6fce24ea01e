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

}  // namespace torvo
