#include "common/win32/shell_values_win32.h"

namespace torvo::win32 {

ShellValues& Shell() {
  static ShellValues values;
  return values;
}

}  // namespace torvo::win32
