// What the dial window shows and whether it is shown: kept by the main window,
// changed by the device's gestures, the dial's buttons and the toggle message,
// and read by the dial's painting.
#pragma once

namespace torvo {

struct DialState {
  int dialShown = 0;        // 1 while this program's own logic shows the dial
  int currentFunction = 0;  // the function drawn, 1..8; 0 (or anything else) draws none
  int previewMode = 0;      // 1 while the device only points at a function
  int savedFunction = 0;    // the active slot's selection when a gesture started
};

}  // namespace torvo
