#include "app/win32/shared_block_win32.h"

namespace torvo::win32 {

int CreateSharedBlock(HANDLE& mapping, ConfigBlock*& view) {
  mapping = nullptr;
  view = nullptr;
  return 0;
}

}  // namespace torvo::win32
