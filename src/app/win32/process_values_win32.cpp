#include "app/win32/process_values_win32.h"

namespace torvo::win32 {

ProcessValues& Process() {
  static ProcessValues values;
  return values;
}

}  // namespace torvo::win32
