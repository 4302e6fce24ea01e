// The virtual keyboard's readable dump and the vkbctl command language.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <string>

#include "hiddriver/console_command.h"
#include "hiddriver/control_block.h"
#include "hiddriver/keyboard_state.h"
#include "hiddriver/state_dump.h"

namespace torvo::vkb {
namespace {

using Kind = ConsoleCommand::Kind;

TEST(VirtualKeyboardDump, ShowsStateProfilesAndMacros) {
  auto block = std::make_unique<ControlBlock>();
  InitControlBlock(*block, true);
  ASSERT_EQ(HandleOpenFeatureDevice(*block), 1);
  std::uint8_t table[104] = {0x08, 0x68, 0x00, 0x00, 0x02, 0x1E, 0x00, 0x00, 0x00,
                             0x02, 0xE2, 0x3D, 0x00, 0x00, 0x03, 0x02, 0x03, 0x00,
                             0x00, 0x0B, 0x05, 0x00, 0x00, 0x00, 0x02, 0xE0, 0x04};
  ASSERT_EQ(HandleSetFeature(*block, table, 104, 5).result, 1);
  std::uint8_t macro[130] = {0x09, 0x82, 0x00, 0x03, 0x01, 'h', 'i', '"', 0xE9};
  macro[29] = 2;
  const std::uint8_t pairs[] = {0x06, 0x02, 0x88, 0x04};
  std::copy(std::begin(pairs), std::end(pairs), macro + 30);
  ASSERT_EQ(HandleSetFeature(*block, macro, 130, 6).result, 1);
  std::uint8_t dial[8] = {0x0B, 0x08, 0x01, 0x04};
  ASSERT_EQ(HandleSetFeature(*block, dial, 8, 7).result, 1);
  SetStatusBehaviour(*block, StatusMode::kBusyThenReady, 2, false);

  const std::string dump = DumpState(*block);
  for (const char* expected : {
           "plugged: yes\n",
           "status: busy for 2 polls then ready (2 left)\n",
           "SetFeature 3 (answered 0: 0)",
           "profile 0: dial function 0, key tables 1\n",
           "  key 0: 02 1E 00 00 00  keys 1\n",
           "  key 1: 02 E2 3D 00 00  Left Alt + F4\n",
           "  key 2: 03 02 03 00 00  macro 3 (index 2)\n",
           "  key 3: 0B 05 00 00 00  action 0x0B with parameter 5\n",
           "  key 4: 02 E0 04 00 00  keys Left Control + A\n",
           "  key 5: 00 00 00 00 00  no action\n",
           "profile 1: dial function 4, key tables 0\n",
           "protocol errors: 0\n",
           "macro 3 (slot 0): repeat 1, name \"hi\\x22\\xE9\", 2 pairs, 1 steps\n",
           "  step 0: key 0x04 up, delay 640 ms\n",
       }) {
    EXPECT_NE(dump.find(expected), std::string::npos) << expected << "\nin:\n" << dump;
  }

  const std::string log = DumpReports(LogEntries(*block), false);
  EXPECT_NE(log.find("#1 t=5 set ok   len 104: 08 68 00 00 02 1E 00"), std::string::npos) << log;
  EXPECT_NE(log.find(" ...\n"), std::string::npos);
  EXPECT_EQ(DumpReports(LogEntries(*block), true).find(" ...\n"), std::string::npos);
}

TEST(VirtualKeyboardConsole, ParsesCommandsAndShortcuts) {
  const struct {
    const char* line;
    Kind kind;
    std::uint16_t eventClass, value;
  } events[] = {
      {"event 1000 3", Kind::kEvent, 0x1000, 3},
      {"event 0x7F00 0x0001", Kind::kEvent, 0x7F00, 1},
      {"switch 4", Kind::kEvent, 0x1000, 4},
      {"show", Kind::kEvent, 0x5000, 1},
      {"hide", Kind::kEvent, 0x5000, 2},
      {"gesture start", Kind::kEvent, 0x6000, 1},
      {"  gesture   end \r", Kind::kEvent, 0x6000, 2},
      {"preview 8", Kind::kEvent, 0x7000, 8},
      {"osk", Kind::kEvent, 0x4000, 1},
      {"key 19", Kind::kEvent, 0xA000, 19},
      {"value2000 9", Kind::kEvent, 0x2000, 9},
      {"value9000 0x10", Kind::kEvent, 0x9000, 16},
  };
  for (const auto& e : events) {
    const ConsoleCommand c = ParseConsoleCommand(e.line);
    EXPECT_EQ(c.kind, e.kind) << e.line;
    EXPECT_EQ(c.eventClass, e.eventClass) << e.line;
    EXPECT_EQ(c.value, e.value) << e.line;
  }

  EXPECT_TRUE(ParseConsoleCommand("plug").notify);
  EXPECT_FALSE(ParseConsoleCommand("unplug quiet").notify);
  EXPECT_EQ(ParseConsoleCommand("unplug quiet").kind, Kind::kUnplug);
  EXPECT_EQ(ParseConsoleCommand("connection 5").wParam, 5u);

  const ConsoleCommand busy = ParseConsoleCommand("status busy 2");
  EXPECT_EQ(busy.kind, Kind::kStatus);
  EXPECT_EQ(busy.mode, StatusMode::kBusyThenReady);
  EXPECT_EQ(busy.param, 2u);
  EXPECT_FALSE(busy.rearm);
  EXPECT_TRUE(ParseConsoleCommand("status busyeach 1").rearm);
  EXPECT_EQ(ParseConsoleCommand("status forever").mode, StatusMode::kBusyForever);
  EXPECT_EQ(ParseConsoleCommand("status setfail").mode, StatusMode::kSetFails);
  EXPECT_EQ(ParseConsoleCommand("status value 7").param, 7u);
  const ConsoleCommand getBlocks = ParseConsoleCommand("status getblocks 30000");
  EXPECT_EQ(getBlocks.kind, Kind::kStatus);
  EXPECT_EQ(getBlocks.mode, StatusMode::kGetBlocks);
  EXPECT_EQ(getBlocks.param, 30000u);
  EXPECT_EQ(ParseConsoleCommand("status setblocks 0").mode, StatusMode::kSetBlocks);
  EXPECT_EQ(ParseConsoleCommand("errors").kind, Kind::kErrors);
  StatusBehaviour status{};
  status.mode = static_cast<std::uint32_t>(StatusMode::kGetBlocks);
  status.blockMs = 300;
  EXPECT_EQ(DescribeStatus(status), "GetFeature blocks 300 ms");
  status.mode = static_cast<std::uint32_t>(StatusMode::kSetBlocks);
  status.blockMs = 0;
  EXPECT_EQ(DescribeStatus(status), "SetFeature blocks until the mode changes");
  EXPECT_FALSE(ParseConsoleCommand("reset unplugged").plugged);
  EXPECT_TRUE(ParseConsoleCommand("reports full").full);

  EXPECT_EQ(ParseConsoleCommand("").kind, Kind::kEmpty);
  EXPECT_EQ(ParseConsoleCommand("# note").kind, Kind::kEmpty);
  EXPECT_EQ(ParseConsoleCommand("exit").kind, Kind::kExit);
}

TEST(VirtualKeyboardConsole, RejectsBadArguments) {
  for (const char* line : {"switch 5",       "switch 0",         "switch",
                           "preview 9",      "event 1000",       "event 10000 1",
                           "event zz 1",     "event 1000 1x",    "status busy",
                           "status busy -1", "status setblocks", "status getblocks x",
                           "errors all",     "status value 256", "status sometimes",
                           "gesture middle", "plug loud",        "dump now",
                           "frobnicate",     "key 65536",        "connection 99999999999"}) {
    const ConsoleCommand c = ParseConsoleCommand(line);
    EXPECT_EQ(c.kind, Kind::kInvalid) << line;
    EXPECT_FALSE(c.error.empty()) << line;
  }
}

}  // namespace
}  // namespace torvo::vkb
