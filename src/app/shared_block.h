// The settings block shared with the suite's other programs: a named memory
// block holding exactly one ConfigBlock, guarded by the share mutex. This is
// the part of it that needs no Windows: the port the main window copies
// through, what a wait for the mutex allows, and the bounds put on a block
// that other programs wrote.
#pragma once

#include <cstdint>
#include <string_view>

#include "common/messages.h"
#include "settings/config_block.h"
#include "settings/settings_store.h"

namespace torvo {

// What became of one copy between the working block and the shared block.
enum class ShareCopy {
  kCopied,
  kBusy,     // another program holds the share mutex: the copy may be tried again
  kSkipped,  // the copy cannot happen (no block, a failed or abandoned wait)
};

// TryPublish copies the working block into the shared block; TryAdopt
// replaces the working block by the shared one (bounded, see
// BoundAdoptedBlock). A busy copy changed nothing and says nothing: the
// caller decides when to try again and what waits for it.
class SharedBlockPort : public ConfigPublisher {
 public:
  virtual ShareCopy TryPublish(const ConfigBlock& block) = 0;
  virtual ShareCopy TryAdopt(ConfigBlock& config) = 0;
  bool Publish(const ConfigBlock& block) override {
    return TryPublish(block) == ShareCopy::kCopied;
  }
};

// How long one attempt at a copy waits for the share mutex. Another program
// holds it only for one copy of 84212 bytes, far less than this. A copy that
// times out is tried again later (see MainWindowCore), so the wait is kept
// short: the window answers its messages within this time even while a
// program keeps the mutex for good.
inline constexpr std::uint32_t kShareMutexWaitMs = 50;

enum class ShareMutexWait { kAcquired, kAbandoned, kTimedOut, kFailed };
enum class ShareCopyDirection { kPublish, kAdopt };

struct ShareMutexOutcome {
  ShareCopy result;
  bool release;               // the mutex is ours and must be released
  std::u16string_view trace;  // said when the copy is skipped or unusual
};

// What a wait result allows. A time-out is busy: nothing is copied and the
// copy is tried again later. An abandoned mutex is owned but its block may
// be half written by the program that died holding it: it is released so
// the suite's other programs are not locked out; a publish writes the whole
// block (which also repairs a half-written one), an adopt takes nothing from
// it. A failed wait skips the copy.
ShareMutexOutcome DecideShareMutexWait(ShareMutexWait wait, ShareCopyDirection direction);

// True when an existing mapping of `mappingBytes` holds a whole block.
bool SharedMappingHoldsBlock(std::uint64_t mappingBytes);

// Puts the bounds the rest of the program relies on onto a block that the
// suite's other programs wrote: an active slot outside 0..3 becomes 0 (as on
// loading Config.data). Other values (labels, paths, step counts, selected
// functions) are carried unchanged and bounded where they are read. False,
// with a trace, when something had to be changed.
bool BoundAdoptedBlock(ConfigBlock& block);

}  // namespace torvo
