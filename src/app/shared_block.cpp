#include "app/shared_block.h"

#include "common/trace.h"
#include "settings/settings_model.h"

namespace torvo {

ShareMutexOutcome DecideShareMutexWait(ShareMutexWait wait) {
  switch (wait) {
    case ShareMutexWait::kAcquired:
      return {true, true, {}};
    case ShareMutexWait::kAbandoned:
      return {false, true, u"Share mutex was abandoned; this copy is skipped\n"};
    case ShareMutexWait::kTimedOut:
      return {false, false, u"Share mutex wait timed out; this copy is skipped\n"};
    case ShareMutexWait::kFailed:
      break;
  }
  return {false, false, u"Share mutex wait failed; this copy is skipped\n"};
}

bool SharedMappingHoldsBlock(std::uint64_t mappingBytes) {
  return mappingBytes >= kConfigBlockSize;
}

bool BoundAdoptedBlock(ConfigBlock& block) {
  if (block.header.activeSlot >= 0 && block.header.activeSlot < kSlotCount) return true;
  Trace(u"The shared block names an active slot out of range; slot 0 is used\n");
  block.header.activeSlot = 0;
  return false;
}

}  // namespace torvo
