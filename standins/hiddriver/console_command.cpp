#include "hiddriver/console_command.h"

#include <charconv>
#include <optional>
#include <vector>

namespace torvo::vkb {
namespace {

using Kind = ConsoleCommand::Kind;

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

// Parses a whole word as a number in `base` (a "0x" prefix always means hex).
std::optional<std::uint32_t> Number(std::string_view word, int base, std::uint32_t max) {
  if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
    word.remove_prefix(2);
    base = 16;
  }
  std::uint32_t value = 0;
  const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value, base);
  if (ec != std::errc() || end != word.data() + word.size() || value > max) return std::nullopt;
  return value;
}

ConsoleCommand Invalid(std::string error) {
  ConsoleCommand command;
  command.kind = Kind::kInvalid;
  command.error = std::move(error);
  return command;
}

ConsoleCommand Event(std::uint16_t eventClass, std::uint16_t value) {
  ConsoleCommand command;
  command.kind = Kind::kEvent;
  command.eventClass = eventClass;
  command.value = value;
  return command;
}

// "<word> <n>" shortcuts that send one event of a fixed class.
ConsoleCommand Shortcut(const std::vector<std::string_view>& w, std::uint16_t eventClass,
                        std::uint32_t min, std::uint32_t max, const char* usage) {
  if (w.size() != 2) return Invalid(usage);
  const auto n = Number(w[1], 10, max);
  if (!n || *n < min) return Invalid(usage);
  return Event(eventClass, static_cast<std::uint16_t>(*n));
}

ConsoleCommand Status(const std::vector<std::string_view>& w) {
  constexpr const char* kUsage =
      "usage: status ready|busy <n>|busyeach <n>|forever|getfail|setfail|value <n>|"
      "getblocks <ms>|setblocks <ms>";
  if (w.size() < 2) return Invalid(kUsage);
  ConsoleCommand command;
  command.kind = Kind::kStatus;
  const std::string_view what = w[1];
  if (what == "ready" || what == "forever" || what == "getfail" || what == "setfail") {
    if (w.size() != 2) return Invalid(kUsage);
    command.mode = what == "ready"     ? StatusMode::kReady
                   : what == "forever" ? StatusMode::kBusyForever
                   : what == "getfail" ? StatusMode::kGetFails
                                       : StatusMode::kSetFails;
    return command;
  }
  if (what == "getblocks" || what == "setblocks") {
    if (w.size() != 3) return Invalid(kUsage);
    const auto ms = Number(w[2], 10, 0xFFFFFFFFu);
    if (!ms) return Invalid(kUsage);
    command.mode = what == "getblocks" ? StatusMode::kGetBlocks : StatusMode::kSetBlocks;
    command.param = *ms;
    return command;
  }
  if (what == "busy" || what == "busyeach" || what == "value") {
    if (w.size() != 3) return Invalid(kUsage);
    const auto n = Number(w[2], 10, what == "value" ? 255 : 1000000);
    if (!n) return Invalid(kUsage);
    command.mode = what == "value" ? StatusMode::kFixedValue : StatusMode::kBusyThenReady;
    command.param = *n;
    command.rearm = what == "busyeach";
    return command;
  }
  return Invalid(kUsage);
}

}  // namespace

ConsoleCommand ParseConsoleCommand(std::string_view line) {
  const std::vector<std::string_view> w = Words(line);
  ConsoleCommand command;
  if (w.empty() || w[0].front() == '#') return command;
  const std::string_view verb = w[0];

  if (verb == "plug" || verb == "unplug") {
    if (w.size() > 2 || (w.size() == 2 && w[1] != "quiet")) {
      return Invalid("usage: plug|unplug [quiet]");
    }
    command.kind = verb == "plug" ? Kind::kPlug : Kind::kUnplug;
    command.notify = w.size() == 1;
    return command;
  }
  if (verb == "event") {
    constexpr const char* kUsage = "usage: event <class hex> <value hex>";
    if (w.size() != 3) return Invalid(kUsage);
    const auto eventClass = Number(w[1], 16, 0xFFFF);
    const auto value = Number(w[2], 16, 0xFFFF);
    if (!eventClass || !value) return Invalid(kUsage);
    return Event(static_cast<std::uint16_t>(*eventClass), static_cast<std::uint16_t>(*value));
  }
  if (verb == "connection") {
    constexpr const char* kUsage = "usage: connection <wParam>";
    if (w.size() != 2) return Invalid(kUsage);
    const auto wParam = Number(w[1], 10, 0xFFFFFFFFu);
    if (!wParam) return Invalid(kUsage);
    command.kind = Kind::kConnection;
    command.wParam = *wParam;
    return command;
  }
  if (verb == "switch") return Shortcut(w, 0x1000, 1, 4, "usage: switch <1-4>");
  if (verb == "preview") return Shortcut(w, 0x7000, 1, 8, "usage: preview <1-8>");
  if (verb == "key") return Shortcut(w, 0xA000, 0, 0xFFFF, "usage: key <n>");
  if (verb == "value2000") return Shortcut(w, 0x2000, 0, 0xFFFF, "usage: value2000 <n>");
  if (verb == "value3000") return Shortcut(w, 0x3000, 0, 0xFFFF, "usage: value3000 <n>");
  if (verb == "value9000") return Shortcut(w, 0x9000, 0, 0xFFFF, "usage: value9000 <n>");
  if (verb == "show" || verb == "hide" || verb == "osk") {
    if (w.size() != 1) return Invalid("usage: show | hide | osk");
    if (verb == "osk") return Event(0x4000, 1);
    return Event(0x5000, verb == "show" ? 1 : 2);
  }
  if (verb == "gesture") {
    if (w.size() != 2 || (w[1] != "start" && w[1] != "end")) {
      return Invalid("usage: gesture start|end");
    }
    return Event(0x6000, w[1] == "start" ? 1 : 2);
  }
  if (verb == "status") return Status(w);
  if (verb == "reset") {
    if (w.size() > 2 || (w.size() == 2 && w[1] != "plugged" && w[1] != "unplugged")) {
      return Invalid("usage: reset [plugged|unplugged]");
    }
    command.kind = Kind::kReset;
    command.plugged = w.size() == 1 || w[1] == "plugged";
    return command;
  }
  if (verb == "reports") {
    if (w.size() > 2 || (w.size() == 2 && w[1] != "full")) return Invalid("usage: reports [full]");
    command.kind = Kind::kReports;
    command.full = w.size() == 2;
    return command;
  }
  if (w.size() == 1) {
    if (verb == "dump") command.kind = Kind::kDump;
    if (verb == "errors") command.kind = Kind::kErrors;
    if (verb == "help" || verb == "?") command.kind = Kind::kHelp;
    if (verb == "exit" || verb == "quit") command.kind = Kind::kExit;
    if (command.kind != Kind::kEmpty) return command;
  }
  return Invalid("unknown command (try help)");
}

const char* ConsoleHelp() {
  return "plug | unplug [quiet]       plug or unplug (quiet: without telling Torvo)\n"
         "event <class hex> <value hex>  post one input event, e.g. event 1000 2\n"
         "connection <wParam>         post the connection message with a raw wParam\n"
         "switch <1-4>                the device switched its profile\n"
         "show | hide                 show or hide the dial\n"
         "gesture start|end           dial selection gesture\n"
         "preview <1-8>               the dial points at a function\n"
         "osk                         on-screen keyboard request\n"
         "key <n>                     a programmable key with a text was used\n"
         "value2000|value3000|value9000 <n>  value events of the active slot\n"
         "status ready|busy <n>|busyeach <n>|forever|getfail|setfail|value <n>\n"
         "status getblocks|setblocks <ms>  GetFeature/SetFeature block that long\n"
         "                            (0: until the status changes again)\n"
         "errors                      the protocol errors the keyboard logged\n"
         "reset [plugged|unplugged]   clear log, counters, model and status\n"
         "dump                        the whole state\n"
         "reports [full]              the report log\n"
         "help | exit\n";
}

}  // namespace torvo::vkb
