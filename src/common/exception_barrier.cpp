#include "common/exception_barrier.h"

#include "common/trace.h"

namespace torvo {

void TraceCaughtException(std::u16string_view trace) noexcept {
  try {
    Trace(trace);
  } catch (...) {
    // Not even the trace could be written (out of memory): nothing more to do.
  }
}

}  // namespace torvo
