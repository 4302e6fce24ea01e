#include "app/shared_block.h"

#include "common/trace.h"
#include "settings/settings_model.h"

namespace torvo {

ShareMutexOutcome DecideShareMutexWait(ShareMutexWait wait, ShareCopyDirection direction) {
  switch (wait) {
    case ShareMutexWait::kAcquired:
      return {ShareCopy::kCopied, true, {}};
    case ShareMutexWait::kAbandoned:
      if (direction == ShareCopyDirection::kPublish) {
        return {ShareCopy::kCopied, true,
                u"Share mutex was abandoned; the shared block is written whole\n"};
      }
      return {ShareCopy::kSkipped, true, u"Share mutex was abandoned; this copy is skipped\n"};
    case ShareMutexWait::kTimedOut:
      return {ShareCopy::kBusy, false, {}};
    case ShareMutexWait::kFailed:
      break;
  }
  return {ShareCopy::kSkipped, false, u"Share mutex wait failed; this copy is skipped\n"};
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
