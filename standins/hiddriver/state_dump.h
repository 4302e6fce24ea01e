// Readable text of the virtual keyboard's state, for people and test failures.
#pragma once

#include <string>
#include <vector>

#include "hiddriver/control_block.h"

namespace torvo::vkb {

// Plug state, status behaviour, counters, active slot, host state, each
// profile's key entries in hex and dial function, the received macros.
std::string DumpState(const ControlBlock& block);

// One line per log entry: sequence, tick, set/get, result, length, bytes (hex,
// shortened for long reports unless `full`).
std::string DumpReports(const std::vector<ReportLogEntry>& entries, bool full);

// "busy for 2 polls then ready (1 left)" and the like.
std::string DescribeStatus(const StatusBehaviour& status);

}  // namespace torvo::vkb
