// The settings block shared with the suite's other programs: the file mapping
// "Zenqo_K27_Vistrane_Share_Data" of 84212 bytes, guarded by the share mutex.
#pragma once

#include <windows.h>

#include "app/shared_block.h"
#include "settings/config_block.h"

namespace torvo::win32 {

// Creates or opens the mapping and maps it; non-zero when the block exists.
// A new mapping is readable and writable by the user's own processes and
// SYSTEM only. A mapping of that name that already exists but is smaller
// than a block is not used: the result is 0 and `mapping` and `view` stay
// null, as when nothing could be created.
int CreateSharedBlock(HANDLE& mapping, ConfigBlock*& view);

// Copies one whole block from `from` to `to` while holding the share mutex,
// waiting for it at most kShareMutexWaitMs; what each wait result allows is
// DecideShareMutexWait's. kBusy (the wait timed out) copies nothing and says
// nothing: the caller tries again. No block: kSkipped.
ShareCopy CopyUnderShareMutex(HANDLE shareMutex, ConfigBlock* to, const ConfigBlock* from,
                              ShareCopyDirection direction);

// The size in bytes of the mapping behind `mapping`, whose view starts at
// `view`: the section's own size when the system tells it, else the size of
// the view's region. 0 when unknown.
unsigned long long SharedMappingSize(HANDLE mapping, const void* view);

}  // namespace torvo::win32
