// vkbctl: a console for people to drive the virtual keyboard while Torvo.exe
// runs. Reads one command per line from stdin until "exit" or end of input.
#include <windows.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "hiddriver/client/virtual_keyboard.h"
#include "hiddriver/console_command.h"
#include "hiddriver/state_dump.h"

namespace {

using torvo::vkb::ConsoleCommand;
using torvo::vkb::VirtualKeyboard;

constexpr const char* kPrompt = "vkb> ";

void Answer(bool ok, const char* failure = "error: the virtual keyboard did not take it") {
  std::cout << (ok ? "ok" : failure) << "\n";
}

// Carries out one command; false when the console should end.
bool Run(VirtualKeyboard& keyboard, const ConsoleCommand& command) {
  using Kind = ConsoleCommand::Kind;
  switch (command.kind) {
    case Kind::kEmpty:
      break;
    case Kind::kInvalid:
      std::cout << "error: " << command.error << "\n";
      break;
    case Kind::kPlug:
    case Kind::kUnplug:
      Answer(keyboard.SetPlugged(command.kind == Kind::kPlug, command.notify));
      break;
    case Kind::kEvent:
      Answer(keyboard.SendInputEvent(command.eventClass, command.value),
             "error: event queue full or keyboard not reachable");
      break;
    case Kind::kConnection:
      Answer(keyboard.SendConnection(command.wParam),
             "error: event queue full or keyboard not reachable");
      break;
    case Kind::kStatus:
      if (keyboard.SetStatusBehaviour(command.mode, command.param, command.rearm)) {
        std::cout << "status: " << torvo::vkb::DescribeStatus(keyboard.Status()) << "\n";
      } else {
        Answer(false);
      }
      break;
    case Kind::kReset:
      Answer(keyboard.Reset(command.plugged));
      break;
    case Kind::kDump:
      std::cout << keyboard.Dump();
      break;
    case Kind::kErrors:
      std::cout << keyboard.DescribeProtocolErrors();
      break;
    case Kind::kReports: {
      const std::string log = keyboard.DumpReportLog(command.full);
      std::cout << (log.empty() ? "no reports\n" : log);
      break;
    }
    case Kind::kHelp:
      std::cout << torvo::vkb::ConsoleHelp();
      break;
    case Kind::kExit:
      return false;
  }
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // "--unplugged": a block created by this console starts unplugged.
  // "--end-torvo": when the console ends, ask Torvo.exe to end too (its exit
  // command), as its tray menu would.
  bool plugged = true;
  bool endTorvo = false;
  for (int i = 1; i < argc; ++i) {
    if (std::wstring(argv[i]) == L"--unplugged") plugged = false;
    if (std::wstring(argv[i]) == L"--end-torvo") endTorvo = true;
  }
  VirtualKeyboard keyboard;
  if (!keyboard.Open(plugged)) {
    std::cerr << "vkbctl: cannot open the virtual keyboard's control block\n";
    return 1;
  }
  std::cout << (keyboard.CreatedBlock() ? "virtual keyboard created, " : "virtual keyboard open, ")
            << (keyboard.IsPlugged() ? "plugged" : "unplugged") << "\n";
  std::string line;
  for (;;) {
    std::cout << kPrompt << std::flush;
    if (!std::getline(std::cin, line)) break;
    if (!Run(keyboard, torvo::vkb::ParseConsoleCommand(line))) break;
    std::cout << std::flush;
  }
  std::cout << "\n";
  if (endTorvo) {
    if (HWND torvo = FindWindowW(nullptr, L"Zenqo_K27_Vistrane_Torv")) {
      PostMessageW(torvo, WM_COMMAND, 6002, 0);
      std::cout << "asked Torvo.exe to end\n";
    }
  }
  return 0;
}
