// The settings block shared with the suite's other programs: the file mapping
// "Zenqo_K27_Vistrane_Share_Data" of 84212 bytes, guarded by the share mutex.
#pragma once

#include <windows.h>

#include "settings/config_block.h"

namespace torvo::win32 {

// Creates or opens the mapping and maps it; non-zero when the block exists.
// The shared block arrives later: until then it is not created, `mapping` and
// `view` stay null, and every copy to or from it does nothing.
int CreateSharedBlock(HANDLE& mapping, ConfigBlock*& view);

}  // namespace torvo::win32
