// The system calls this program's window, hook and thread procedures from its
// own frames, which no C++ exception may cross. Each such procedure runs its
// body through GuardedCall: an exception (std::bad_alloc above all) ends only
// the work at hand, with a trace, and the procedure answers `fallback`.
#pragma once

#include <exception>
#include <new>
#include <string_view>
#include <utility>

namespace torvo {

// Writes `trace` (a fixed text ending in "\n"); never throws, even when
// memory has run out.
void TraceCaughtException(std::u16string_view trace) noexcept;

template <typename Result, typename Body>
Result GuardedCall(std::u16string_view trace, Result fallback, Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    TraceCaughtException(trace);
  }
  return fallback;
}

}  // namespace torvo
