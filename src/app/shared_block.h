// The settings block shared with the suite's other programs: a named memory
// block holding exactly one ConfigBlock, guarded by the share mutex. This is
// the part of it that needs no Windows: the port the main window copies
// through, what a wait for the mutex allows, and the bounds put on a block
// that other programs wrote.
#pragma once

#include <cstdint>
#include <string_view>

#include "settings/config_block.h"
#include "settings/settings_store.h"

namespace torvo {

// Publish copies the working block into the shared block; Adopt replaces the
// working block by the shared one (bounded, see BoundAdoptedBlock). Both
// answer false when nothing was copied.
class SharedBlockPort : public ConfigPublisher {
 public:
  virtual bool Adopt(ConfigBlock& config) = 0;
};

// How long a copy waits for the share mutex. Another program holds it only
// for one copy of 84212 bytes; two seconds cover that many times over on a
// loaded machine, and stay well below the five seconds after which the
// system counts a window as not responding, so a program that keeps the
// mutex for good costs this window two seconds per copy, not its life.
inline constexpr std::uint32_t kShareMutexWaitMs = 2000;

enum class ShareMutexWait { kAcquired, kAbandoned, kTimedOut, kFailed };

struct ShareMutexOutcome {
  bool copy;                  // the copy may run
  bool release;               // the mutex is ours and must be released
  std::u16string_view trace;  // said when the copy is skipped
};

// What a wait result allows. An abandoned mutex is owned but its block may
// be half written by the program that died holding it: no copy, but the
// mutex is released so the suite's other programs are not locked out.
ShareMutexOutcome DecideShareMutexWait(ShareMutexWait wait);

// True when an existing mapping of `mappingBytes` holds a whole block.
bool SharedMappingHoldsBlock(std::uint64_t mappingBytes);

// Puts the bounds the rest of the program relies on onto a block that the
// suite's other programs wrote: an active slot outside 0..3 becomes 0 (as on
// loading Config.data). Other values (labels, paths, step counts, selected
// functions) are carried unchanged and bounded where they are read. False,
// with a trace, when something had to be changed.
bool BoundAdoptedBlock(ConfigBlock& block);

}  // namespace torvo
