// The command language of vkbctl, the virtual keyboard's console: one command
// per line, parsed into what the console has to do.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "hiddriver/control_block.h"

namespace torvo::vkb {

struct ConsoleCommand {
  enum class Kind {
    kEmpty,
    kInvalid,  // `error` says why
    kPlug,     // notify: post the connection message
    kUnplug,
    kEvent,       // eventClass, value
    kConnection,  // wParam
    kStatus,      // mode, param, rearm
    kReset,       // plugged
    kDump,
    kErrors,   // the protocol errors
    kReports,  // full: every byte
    kHelp,
    kExit,
  };
  Kind kind = Kind::kEmpty;
  bool notify = true;
  bool plugged = true;
  bool full = false;
  std::uint16_t eventClass = 0;
  std::uint16_t value = 0;
  std::uint32_t wParam = 0;
  StatusMode mode = StatusMode::kReady;
  std::uint32_t param = 0;
  bool rearm = false;
  std::string error;
};

ConsoleCommand ParseConsoleCommand(std::string_view line);

// The help text, one command per line.
const char* ConsoleHelp();

}  // namespace torvo::vkb
