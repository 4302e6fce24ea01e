#include "hiddriver/state_dump.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "hiddriver/report_decoding.h"

namespace torvo::vkb {
namespace {

void Append(std::string& out, const char* format, auto... args) {
  char line[256];
  const int n = std::snprintf(line, sizeof(line), format, args...);
  if (n > 0) out.append(line, static_cast<std::size_t>(std::min<int>(n, sizeof(line) - 1)));
}

void AppendHex(std::string& out, const std::uint8_t* bytes, int count) {
  for (int i = 0; i < count; ++i) {
    Append(out, i == 0 ? "%02X" : " %02X", static_cast<unsigned>(bytes[i]));
  }
}

// The macro name as text: printable ASCII as is, other bytes as \xNN, up to
// the first NUL.
std::string NameText(const std::uint8_t (&name)[kMacroNameBytes]) {
  std::string text;
  for (std::uint8_t c : name) {
    if (c == 0) break;
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      text.push_back(static_cast<char>(c));
    } else {
      Append(text, "\\x%02X", static_cast<unsigned>(c));
    }
  }
  return text;
}

// True when the key a macro's number stands for is, in the key table the
// keyboard holds, a macro key playing that number.
bool PlayedByItsKey(const KeyboardModel& model, const Macro& macro) {
  if (macro.number < 1 || macro.number > kMacroCount || macro.slot >= kSlots) return false;
  const KeyAction& action = model.slots[macro.slot].actions[(macro.number - 1) % kKeysPerSlot];
  return action.kind == static_cast<std::uint8_t>(KeyActionKind::kMacro) &&
         action.macroNumber == macro.number;
}

void DumpMacro(std::string& out, const Macro& macro, bool playedByItsKey) {
  Append(out, "macro %u (slot %u)%s: repeat %u, name \"%s\", %u pairs, %u steps%s\n",
         static_cast<unsigned>(macro.number), static_cast<unsigned>(macro.slot),
         playedByItsKey ? "" : " for a key that is not a macro key",
         static_cast<unsigned>(macro.repeat), NameText(macro.name).c_str(),
         static_cast<unsigned>(macro.pairCount), static_cast<unsigned>(macro.stepCount),
         macro.trailingLongPair != 0 ? ", ends with a long-delay pair" : "");
  for (int i = 0; i < macro.stepCount && i < kMaxMacroPairs; ++i) {
    const MacroStep& step = macro.steps[i];
    Append(out, "  step %d: key 0x%02X %s, delay %u ms\n", i, static_cast<unsigned>(step.keyCode),
           step.pressed != 0 ? "down" : "up", static_cast<unsigned>(step.delayMs));
  }
}

// Names of the usage codes of the keyboard page that key entries commonly
// carry; others are shown as hex.
std::string UsageName(std::uint8_t code) {
  static constexpr const char* kModifiers[] = {"Left Control", "Left Shift",    "Left Alt",
                                               "Left GUI",     "Right Control", "Right Shift",
                                               "Right Alt",    "Right GUI"};
  static constexpr const char* kControls[] = {"Enter", "Escape", "Backspace", "Tab", "Space"};
  std::string text;
  if (code >= 0x04 && code <= 0x1D) {
    text.push_back(static_cast<char>('A' + code - 0x04));
  } else if (code >= 0x1E && code <= 0x26) {
    text.push_back(static_cast<char>('1' + code - 0x1E));
  } else if (code == 0x27) {
    text = "0";
  } else if (code >= 0x28 && code <= 0x2C) {
    text = kControls[code - 0x28];
  } else if (code >= 0x3A && code <= 0x45) {
    Append(text, "F%d", code - 0x3A + 1);
  } else if (code >= 0xE0 && code <= 0xE7) {
    text = kModifiers[code - 0xE0];
  } else {
    Append(text, "0x%02X", static_cast<unsigned>(code));
  }
  return text;
}

}  // namespace

std::string DescribeKeyAction(const KeyAction& action) {
  std::string text;
  switch (static_cast<KeyActionKind>(action.kind)) {
    case KeyActionKind::kNone:
      return "not received";
    case KeyActionKind::kPlain:
      if (action.code == 0) return "no action";
      Append(text, "action 0x%02X", static_cast<unsigned>(action.code));
      return text;
    case KeyActionKind::kKeys: {
      const auto table = FixedCombinations();
      if (action.combination >= 1 && action.combination <= table.size()) {
        return table[action.combination - 1].name;
      }
      text = "keys";
      const char* separator = " ";
      for (std::uint8_t code : action.keys) {
        if (code == 0) continue;
        text += separator + UsageName(code);
        separator = " + ";
      }
      if (text == "keys") text += " (none)";
      return text;
    }
    case KeyActionKind::kMacro:
      Append(text, "macro %u (index %u)", static_cast<unsigned>(action.macroNumber),
             static_cast<unsigned>(action.value));
      return text;
    case KeyActionKind::kFunction:
      Append(text, "function %u", static_cast<unsigned>(action.value));
      return text;
    case KeyActionKind::kSingleKey:
      Append(text, "single key %s", UsageName(action.value).c_str());
      return text;
    case KeyActionKind::kParameter:
      Append(text, "action 0x0B with parameter %u", static_cast<unsigned>(action.value));
      return text;
  }
  Append(text, "unknown kind %u", static_cast<unsigned>(action.kind));
  return text;
}

std::string DescribeProtocolErrors(const ControlBlock& block) {
  std::string out;
  Append(out, "protocol errors: %u\n", block.counters.protocolErrors);
  for (const ProtocolError& error : ProtocolErrors(block)) {
    char text[kErrorTextBytes + 1] = {};
    std::memcpy(text, error.text, kErrorTextBytes);
    Append(out, "  #%u t=%u %s\n", error.sequence, error.tickMs, text);
  }
  return out;
}

std::string DescribeStatus(const StatusBehaviour& status) {
  std::string text;
  switch (static_cast<StatusMode>(status.mode)) {
    case StatusMode::kReady:
      return "ready";
    case StatusMode::kBusyThenReady:
      Append(text, "busy for %u polls then ready (%u left%s)", status.busyPolls,
             status.busyRemaining, status.rearmEachReport != 0 ? ", again after each report" : "");
      return text;
    case StatusMode::kBusyForever:
      return "busy forever";
    case StatusMode::kGetFails:
      return "GetFeature failing";
    case StatusMode::kSetFails:
      return "SetFeature failing";
    case StatusMode::kFixedValue:
      Append(text, "status %u", status.fixedStatus);
      return text;
    case StatusMode::kGetBlocks:
    case StatusMode::kSetBlocks: {
      const char* call = static_cast<StatusMode>(status.mode) == StatusMode::kGetBlocks
                             ? "GetFeature"
                             : "SetFeature";
      if (status.blockMs == 0) {
        Append(text, "%s blocks until the mode changes", call);
      } else {
        Append(text, "%s blocks %u ms", call, status.blockMs);
      }
      return text;
    }
  }
  Append(text, "unknown mode %u (answers ready)", status.mode);
  return text;
}

std::string DumpState(const ControlBlock& block) {
  std::string out;
  const CallCounters& c = block.counters;
  const KeyboardModel& m = block.model;
  Append(out, "plugged: %s\n", block.plugged != 0 ? "yes" : "no");
  Append(out, "feature device: %s\n",
         block.featureHandle == 0 ? "closed"
         : block.featureOpen != 0 ? "open"
                                  : "open, but the keyboard left since");
  Append(out, "monitor: %s, window 0x%" PRIX64 ", messages %u/%u\n",
         block.monitorOpen != 0 ? "open" : "closed", block.monitorWindow, block.eventMessage,
         block.connectionMessage);
  Append(out, "status: %s\n", DescribeStatus(block.status).c_str());
  Append(out,
         "calls: Open_DevMonitor %u, Close_DevMonitor %u, Open_FeatureDevice %u, "
         "Close_FeatureDevice %u\n",
         c.openDevMonitor, c.closeDevMonitor, c.openFeatureDevice, c.closeFeatureDevice);
  Append(out, "calls: SetFeature %u (answered 0: %u), GetFeature %u (answered 0: %u)\n",
         c.setFeature, c.setRejected, c.getFeature, c.getRejected);
  Append(out, "posts: events %u, connections %u, dropped %u, queued %u\n", c.eventsPosted,
         c.connectionsPosted, c.postsDropped, QueuedPosts(block));
  Append(out, "blocked calls: %u (now %u)\n", c.callsBlocked, c.callsBlockedNow);
  out += DescribeProtocolErrors(block);
  Append(out, "reports logged: %u\n", block.logTotal);
  Append(out,
         "reports: upload-start %u, active-slot %u, key-table %u, macro %u, dial-function %u, "
         "host-state %u\n",
         m.uploadStartReports, m.activeSlotReports, m.keyTableReports, m.macroReports,
         m.dialFunctionReports, m.hostStateReports);
  Append(out, "active slot: %u\n", static_cast<unsigned>(m.activeSlot));
  Append(out, "host state: active %u, dial shown %u\n", static_cast<unsigned>(m.hostActive),
         static_cast<unsigned>(m.hostDialShown));
  for (int s = 0; s < kSlots; ++s) {
    const SlotModel& slot = m.slots[s];
    Append(out, "profile %d: dial function %u, key tables %u\n", s,
           static_cast<unsigned>(slot.dialFunction), slot.keyTableReports);
    if (slot.keyTableReports == 0) continue;
    for (int k = 0; k < kKeysPerSlot; ++k) {
      Append(out, "  key %d: ", k);
      AppendHex(out, slot.keys[k], kKeyEntryBytes);
      out += "  " + DescribeKeyAction(slot.actions[k]) + "\n";
    }
  }
  for (const Macro& macro : m.macros) {
    if (macro.present != 0) DumpMacro(out, macro, PlayedByItsKey(m, macro));
  }
  return out;
}

std::string DumpReports(const std::vector<ReportLogEntry>& entries, bool full) {
  std::string out;
  for (const ReportLogEntry& e : entries) {
    Append(out, "#%u t=%u %s %s len %d:", e.sequence, e.tickMs,
           e.kind == static_cast<std::uint8_t>(LogKind::kGet) ? "get" : "set",
           e.result != 0 ? "ok  " : "fail", static_cast<int>(e.length));
    const int stored = std::clamp(static_cast<int>(e.length), 0, kLogBytes);
    const int shown = full ? stored : std::min(stored, 16);
    if (shown > 0) out += " ";
    AppendHex(out, e.bytes, shown);
    if (shown < stored) out += " ...";
    out += "\n";
  }
  return out;
}

}  // namespace torvo::vkb
