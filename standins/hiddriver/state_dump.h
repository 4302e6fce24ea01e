// Readable text of the virtual keyboard's state, for people and test failures.
#pragma once

#include <string>
#include <vector>

#include "hiddriver/control_block.h"

namespace torvo::vkb {

// Plug state, status behaviour, counters, protocol errors, active slot, host
// state, each profile's dial function and key entries (hex and decoded), the
// received macros.
std::string DumpState(const ControlBlock& block);

// One line per log entry: sequence, tick, set/get, result, length, bytes (hex,
// shortened for long reports unless `full`).
std::string DumpReports(const std::vector<ReportLogEntry>& entries, bool full);

// What a decoded key entry stands for: "Left Alt + F4", "macro 4 (index 2)",
// "keys A + 1", "function 2", "no action"...
std::string DescribeKeyAction(const KeyAction& action);

// The protocol error count and the kept errors, one line each.
std::string DescribeProtocolErrors(const ControlBlock& block);

// "busy for 2 polls then ready (1 left)" and the like.
std::string DescribeStatus(const StatusBehaviour& status);

}  // namespace torvo::vkb
