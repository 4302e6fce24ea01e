#include "device/win32/device_link_win32.h"

namespace torvo::win32 {

DeviceLinkValues& DeviceLink() {
  static DeviceLinkValues values;
  return values;
}

}  // namespace torvo::win32
