// Debug traces: fixed English texts ending in "\n". On Windows they go to the
// debugger output; native tests install a sink that records them.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace torvo {

using TraceSink = std::function<void(std::u16string_view)>;

// Installs the process-wide sink (set once at start, before any thread runs).
// An empty sink drops traces.
void SetTraceSink(TraceSink sink);
void Trace(std::u16string_view text);

// Converts ASCII/UTF-8 text to UTF-16 for traces that carry a value.
std::u16string ToU16(std::string_view text);

}  // namespace torvo
