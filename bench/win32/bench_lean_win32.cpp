// Torvo.exe beside a plain C program that starts the same way and shows the
// same dial the same way (bench/reference/lean_reference.c), started
// alternately, three times each, with the same skin, the same virtual
// keyboard and the same prefix. Best of three each, and as ratios:
// - process start to the first feature report the keyboard receives; goal:
//   at most 1.03 x the reference;
// - resident memory once the start-up upload has ended (the host-state
//   report received, then one second idle); goal: at most 1.10 x;
// - private memory: resident anonymous pages (/proc under Wine) and the
//   committed private regions.
// A third program runs in turn with them: the reference taking, at the same
// points of its start, the steps Torvo.exe takes beyond the dial and the
// device (the menu hook, the common controls, the settings folder, the
// worker thread, the tray icon from the program file's shell icon, the start
// of OSD.exe), which measures what those steps cost.
// Then where Torvo's resident memory beyond each of them goes: every
// mapping of /proc/<pid>/smaps of the Wine process, named by its file (a
// Windows module, a Unix library, a font) or, for anonymous memory, by what
// the Windows side says its region is (an image copied into memory, a
// mapped section, a thread's stack, a heap, other private memory, or
// memory only the Unix side knows).
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"
#include "hiddriver/client/virtual_keyboard.h"

namespace {

constexpr double kStartGoalRatio = 1.03;
constexpr double kResidentGoalRatio = 1.10;
constexpr wchar_t kReferenceName[] = L"lean_reference.exe";

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

std::string LowerA(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string BaseName(const std::string& path) {
  const std::size_t at = path.find_last_of("/\\");
  return at == std::string::npos ? path : path.substr(at + 1);
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string LoadAverage() {
  std::string line = torvo::testing::ReadWholeFile(L"Z:\\proc\\loadavg");
  const std::size_t end = line.find('\n');
  if (end != std::string::npos) line.erase(end);
  return line.empty() ? "unknown" : line;
}

// The Unix process id of the Wine process running `program` in our prefix,
// or an empty text (not under Wine).
std::wstring UnixProcessOf(const std::wstring& program) {
  wchar_t prefix[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"WINEPREFIX", prefix, MAX_PATH) == 0) return {};
  const std::string wantPrefix = "WINEPREFIX=" + Narrow(prefix) + "\n";
  const std::wstring wantProgram = Lower(program);
  std::wstring result;
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW(L"Z:\\proc\\*", &found);
  if (search == INVALID_HANDLE_VALUE) return {};
  do {
    const std::wstring pid = found.cFileName;
    if (pid.empty() || !std::all_of(pid.begin(), pid.end(), iswdigit)) continue;
    const std::wstring folder = L"Z:\\proc\\" + pid + L"\\";
    std::string line = torvo::testing::ReadWholeFile(folder + L"cmdline");
    std::replace(line.begin(), line.end(), '\0', ' ');
    std::string environment = torvo::testing::ReadWholeFile(folder + L"environ");
    std::replace(environment.begin(), environment.end(), '\0', '\n');
    if (Lower(std::wstring(line.begin(), line.end())).find(wantProgram) != std::wstring::npos &&
        (environment + "\n").find(wantPrefix) != std::string::npos) {
      result = pid;
    }
  } while (result.empty() && FindNextFileW(search, &found));
  FindClose(search);
  return result;
}

// ---------------------------------------------------------------------------
// What the Windows side knows of the process's regions.

struct ThreadBasicInfo {
  LONG exitStatus;
  PVOID tebBaseAddress;
  PVOID uniqueProcess;
  PVOID uniqueThread;
  ULONG_PTR affinityMask;
  LONG priority;
  LONG basePriority;
};

using QueryThreadFn = LONG(NTAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
using QueryProcessFn = LONG(NTAPI*)(HANDLE, int, PVOID, ULONG, PULONG);

const void* AllocationBaseOf(HANDLE process, const void* address) {
  MEMORY_BASIC_INFORMATION region{};
  if (VirtualQueryEx(process, address, &region, sizeof(region)) != sizeof(region)) return nullptr;
  return region.AllocationBase;
}

struct WindowsRegions {
  std::set<const void*> stacks;  // allocation bases of the threads' stacks
  std::set<const void*> tebs;    // allocation bases of the threads' TEBs
  std::set<const void*> heaps;   // allocation bases of the process's heaps

  void Gather(HANDLE process, DWORD processId) {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto queryThread = reinterpret_cast<QueryThreadFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryInformationThread")));
    auto queryProcess = reinterpret_cast<QueryProcessFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryInformationProcess")));
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    if (queryThread != nullptr && snapshot != INVALID_HANDLE_VALUE &&
        Thread32First(snapshot, &entry)) {
      do {
        if (entry.th32OwnerProcessID != processId) continue;
        HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
        ThreadBasicInfo info{};
        NT_TIB tib{};
        if (thread != nullptr &&
            queryThread(thread, 0 /* ThreadBasicInformation */, &info, sizeof(info), nullptr) >=
                0 &&
            ReadProcessMemory(process, info.tebBaseAddress, &tib, sizeof(tib), nullptr)) {
          stacks.insert(AllocationBaseOf(process, static_cast<char*>(tib.StackBase) - 1));
          tebs.insert(AllocationBaseOf(process, info.tebBaseAddress));
        }
        if (thread != nullptr) CloseHandle(thread);
      } while (Thread32Next(snapshot, &entry));
    }
    if (snapshot != INVALID_HANDLE_VALUE) CloseHandle(snapshot);
    // The PEB's heap list: its count and array sit at fixed offsets.
    PROCESS_BASIC_INFORMATION basic{};
    if (queryProcess == nullptr || queryProcess(process, 0 /* ProcessBasicInformation */, &basic,
                                                sizeof(basic), nullptr) < 0) {
      return;
    }
    constexpr std::size_t kHeapCountOffset = sizeof(void*) == 8 ? 0xE8 : 0x88;
    constexpr std::size_t kHeapArrayOffset = sizeof(void*) == 8 ? 0xF0 : 0x90;
    const char* peb = reinterpret_cast<const char*>(basic.PebBaseAddress);
    ULONG count = 0;
    void* array = nullptr;
    if (!ReadProcessMemory(process, peb + kHeapCountOffset, &count, sizeof(count), nullptr) ||
        !ReadProcessMemory(process, peb + kHeapArrayOffset, &array, sizeof(array), nullptr) ||
        count == 0 || count > 256) {
      return;
    }
    std::vector<void*> handles(count);
    if (ReadProcessMemory(process, array, handles.data(), count * sizeof(void*), nullptr)) {
      for (void* heap : handles) heaps.insert(AllocationBaseOf(process, heap));
    }
  }

  // The kind of an anonymous Unix mapping, as the Windows side sees it.
  std::string KindOf(HANDLE process, std::uintptr_t address) const {
    MEMORY_BASIC_INFORMATION region{};
    const void* at = reinterpret_cast<const void*>(address);
    if (VirtualQueryEx(process, at, &region, sizeof(region)) != sizeof(region) ||
        region.State == MEM_FREE) {
      return "anonymous, Unix side only (Wine's and X11's own allocations)";
    }
    if (region.Type == MEM_IMAGE || region.Type == MEM_MAPPED) {
      wchar_t name[MAX_PATH] = {};
      const std::string file =
          GetMappedFileNameW(process, const_cast<void*>(at), name, MAX_PATH) > 0
              ? LowerA(BaseName(Narrow(name)))
              : std::string("?");
      return region.Type == MEM_IMAGE ? "image " + file + " (copied into memory)"
                                      : "mapped section " + file;
    }
    if (stacks.count(region.AllocationBase) != 0) return "thread stacks";
    if (tebs.count(region.AllocationBase) != 0) return "thread TEBs";
    if (heaps.count(region.AllocationBase) != 0) return "heaps (their first segment)";
    return "private, other (heap growth, large blocks, DIB sections, Wine's tables)";
  }
};

// ---------------------------------------------------------------------------
// One start.

struct Memory {
  double residentKb = -1;
  double anonymousKb = -1;
  double committedPrivateKb = -1;
  std::map<std::string, double> residentByKind;  // KiB
};

// The resident memory of each kind, from /proc/<pid>/smaps.
// With TORVO_LEAN_REGIONS set, every mapping of 64 KiB resident or more is
// printed as well.
std::map<std::string, double> ResidentByKind(const std::wstring& unixPid, HANDLE process,
                                             const WindowsRegions& regions) {
  const bool listRegions = GetEnvironmentVariableW(L"TORVO_LEAN_REGIONS", nullptr, 0) > 0;
  std::string range;
  std::map<std::string, double> kinds;
  std::istringstream smaps(torvo::testing::ReadWholeFile(L"Z:\\proc\\" + unixPid + L"\\smaps"));
  std::string line;
  std::string kind;
  while (std::getline(smaps, line)) {
    if (line.empty()) continue;
    const std::size_t dash = line.find('-');
    const bool header =
        dash != std::string::npos && dash > 0 &&
        std::all_of(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(dash),
                    [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
    if (header) {
      const std::uintptr_t start = std::strtoull(line.c_str(), nullptr, 16);
      // Fields: range, permissions, offset, device, inode, path (optional).
      std::istringstream fields(line);
      std::string permissions, offset, device, inode, path;
      fields >> range >> permissions >> offset >> device >> inode;
      std::getline(fields, path);
      path.erase(0, path.find_first_not_of(' '));
      const std::string lower = LowerA(path);
      const std::string name = BaseName(lower);
      if (path.empty()) {
        kind = regions.KindOf(process, start);
      } else if (lower == "[heap]") {
        kind = "anonymous, Unix side only (Wine's and X11's own allocations)";
      } else if (lower.front() == '[') {
        kind = "kernel " + lower;
      } else if (EndsWith(name, ".dll") || EndsWith(name, ".exe") || EndsWith(name, ".drv") ||
                 EndsWith(name, ".ocx")) {
        kind = "image " + name;
      } else if (name.find(".so") != std::string::npos ||
                 name.find("preloader") != std::string::npos || name == "wine" ||
                 name == "wine64") {
        kind = "Unix library " + name;
      } else if (EndsWith(name, ".ttf") || EndsWith(name, ".ttc") || EndsWith(name, ".fon") ||
                 EndsWith(name, ".otf")) {
        kind = "font " + name;
      } else if (lower.find("/dev/shm") != std::string::npos ||
                 lower.find("memfd:") != std::string::npos ||
                 lower.find("(deleted)") != std::string::npos) {
        kind = "shared memory (wineserver, X11)";
      } else {
        kind = "file " + name;
      }
      continue;
    }
    if (line.rfind("Rss:", 0) == 0 && !kind.empty()) {
      const double kb = std::atof(line.c_str() + 4);
      kinds[kind] += kb;
      if (listRegions && kb >= 64)
        std::printf("    %s %6.0f KiB  %s\n", range.c_str(), kb, kind.c_str());
    }
  }
  return kinds;
}

Memory MemoryOf(HANDLE process, DWORD processId, const std::wstring& program) {
  Memory memory;
  memory.committedPrivateKb = torvo::testing::CommittedPrivateRegionsKb(process);
  const std::wstring unixPid = UnixProcessOf(program);
  if (!unixPid.empty()) {
    const std::string status = torvo::testing::ReadWholeFile(L"Z:\\proc\\" + unixPid + L"\\status");
    auto field = [&](const char* name) {
      const std::size_t at = status.find(name);
      return at == std::string::npos ? -1.0 : std::atof(status.c_str() + at + std::strlen(name));
    };
    memory.residentKb = field("VmRSS:");
    memory.anonymousKb = field("RssAnon:");
    WindowsRegions regions;
    regions.Gather(process, processId);
    memory.residentByKind = ResidentByKind(unixPid, process, regions);
    return memory;
  }
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof(counters);
  if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                           sizeof(counters))) {
    memory.residentKb = static_cast<double>(counters.WorkingSetSize) / 1024.0;
    memory.anonymousKb = static_cast<double>(counters.PrivateUsage) / 1024.0;
  }
  return memory;
}

struct Start {
  double titledMs = -1;       // process created -> main window titled
  double firstReportMs = -1;  // process created -> first report received
  Memory memory;
};

// The reference program, built beside this benchmark.
std::wstring ReferenceProgram() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring folder(self);
  folder.erase(folder.find_last_of(L'\\') + 1);
  return folder + kReferenceName;
}

// The programs measured: Torvo.exe, the reference, and the reference with
// the steps that Torvo.exe takes beyond showing the dial and reaching the
// device (its argument "steps": the menu hook, the common controls, the
// settings folder, the worker thread, the tray icon from the program file's
// shell icon, the start of OSD.exe).
enum class Program { kTorvo, kReference, kReferenceWithSteps };

const char* NameOf(Program program) {
  switch (program) {
    case Program::kTorvo:
      return "Torvo.exe";
    case Program::kReference:
      return "reference";
    case Program::kReferenceWithSteps:
      return "reference + steps";
  }
  return "?";
}

bool StartOnce(Program which, Start& figures) {
  torvo::testing::EndStrayInstances();
  torvo::vkb::VirtualKeyboard keyboard;
  if (!keyboard.Create(true)) return std::puts("virtual keyboard not available"), false;
  torvo::testing::SettingsArea area;
  torvo::testing::ProgramFolder folder;
  std::wstring program = folder.Path() + L"Torvo.exe";
  if (which != Program::kTorvo) {
    program = folder.Path() + kReferenceName;
    if (!CopyFileW(ReferenceProgram().c_str(), program.c_str(), FALSE)) {
      return std::puts("the reference program is missing"), false;
    }
  }
  std::wstring commandLine = L"\"" + program + L"\"";
  if (which == Program::kReferenceWithSteps) commandLine += L" steps";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  const DWORD startTick = GetTickCount();
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.Path().c_str(), &startup, &info)) {
    return std::puts("the program could not be started"), false;
  }
  // A tight poll for the main window's title (set first thing in the
  // creation handler), then the wait for the first report.
  DWORD titledTick = 0;
  while (titledTick == 0 && GetTickCount() - startTick < 20000 &&
         WaitForSingleObject(info.hProcess, 1) == WAIT_TIMEOUT) {
    if (FindWindowW(nullptr, L"Zenqo_K27_Vistrane_Torv") != nullptr) titledTick = GetTickCount();
  }
  if (titledTick != 0) figures.titledMs = static_cast<double>(titledTick - startTick);
  const bool reported =
      torvo::vkb::VirtualKeyboard::WaitUntil([&] { return !keyboard.Reports().empty(); }, 20000);
  if (reported) {
    figures.firstReportMs = static_cast<double>(keyboard.Reports().front().tickMs - startTick);
  }
  // Memory once the start-up upload has ended and the process is idle.
  if (torvo::vkb::VirtualKeyboard::WaitUntil([&] { return keyboard.Model().hostStateReports >= 1; },
                                             30000)) {
    Sleep(1000);
    figures.memory = MemoryOf(info.hProcess, info.dwProcessId, program);
  }
  HWND main = FindWindowW(nullptr, L"Zenqo_K27_Vistrane_Torv");
  if (main != nullptr) PostMessageW(main, WM_COMMAND, 6002, 0);  // the tray menu's Exit
  if (WaitForSingleObject(info.hProcess, 10000) != WAIT_OBJECT_0) {
    TerminateProcess(info.hProcess, 99);
    WaitForSingleObject(info.hProcess, 5000);
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return reported && figures.memory.residentKb >= 0;
}

// The start with the least resident memory, and the best of each figure.
struct Best {
  double titledMs = -1;
  double firstReportMs = -1;
  double residentKb = -1;
  double anonymousKb = -1;
  double committedPrivateKb = -1;
  const Start* leanest = nullptr;
};

void KeepLower(double& best, double value) {
  if (value >= 0 && (best < 0 || value < best)) best = value;
}

Best BestOf(const std::vector<Start>& starts) {
  Best best;
  for (const Start& s : starts) {
    KeepLower(best.titledMs, s.titledMs);
    KeepLower(best.firstReportMs, s.firstReportMs);
    KeepLower(best.anonymousKb, s.memory.anonymousKb);
    KeepLower(best.committedPrivateKb, s.memory.committedPrivateKb);
    if (best.residentKb < 0 || s.memory.residentKb < best.residentKb) {
      best.residentKb = s.memory.residentKb;
      best.leanest = &s;
    }
  }
  return best;
}

double Ratio(double torvo, double reference) {
  return torvo >= 0 && reference > 0 ? torvo / reference : -1;
}

// Where Torvo's resident memory beyond the reference's goes, kind by kind,
// in the leanest start of each.
void PrintAccounting(const Start& torvo, const Start& reference, const char* referenceName) {
  std::map<std::string, std::pair<double, double>> kinds;
  for (const auto& [kind, kb] : torvo.memory.residentByKind) kinds[kind].first = kb;
  for (const auto& [kind, kb] : reference.memory.residentByKind) kinds[kind].second = kb;
  std::vector<std::pair<double, std::string>> order;
  for (const auto& [kind, pair] : kinds) order.emplace_back(pair.first - pair.second, kind);
  std::sort(order.begin(), order.end(),
            [](const auto& a, const auto& b) { return std::fabs(a.first) > std::fabs(b.first); });
  std::printf("\nresident memory by kind (KiB), Torvo.exe - %s, the leanest start of each:\n",
              referenceName);
  std::printf("  %9s %9s %9s  %s\n", "Torvo", "other", "beyond", "kind");
  double named = 0;
  double small = 0;
  for (const auto& [difference, kind] : order) {
    const auto& pair = kinds[kind];
    if (std::fabs(difference) < 32) {
      small += difference;
      continue;
    }
    named += difference;
    std::printf("  %9.0f %9.0f %+9.0f  %s\n", pair.first, pair.second, difference, kind.c_str());
  }
  std::printf("  %9s %9s %+9.0f  every other kind (under 32 KiB each)\n", "", "", small);
  std::printf("  total beyond: %+.0f KiB (VmRSS: %+.0f KiB)\n", named + small,
              torvo.memory.residentKb - reference.memory.residentKb);
}

}  // namespace

int wmain() {
  std::printf("load average at start: %s\n", LoadAverage().c_str());
  const Program programs[3] = {Program::kTorvo, Program::kReference, Program::kReferenceWithSteps};
  std::vector<Start> starts[3];
  // Alternately, the order turned each round, so that no program always
  // runs right after the same other one.
  for (int round = 1; round <= 3; ++round) {
    for (int turn = 0; turn < 3; ++turn) {
      const int index = (turn + round - 1) % 3;
      Start figures;
      const char* name = NameOf(programs[index]);
      if (!StartOnce(programs[index], figures)) {
        std::printf("round %d, %s: no start-up upload measured\n", round, name);
        continue;
      }
      std::printf(
          "round %d, %-17s: titled %4.0f ms, first report %5.0f ms, resident %6.0f KiB, "
          "anonymous %6.0f KiB, committed private %6.0f KiB\n",
          round, name, figures.titledMs, figures.firstReportMs, figures.memory.residentKb,
          figures.memory.anonymousKb, figures.memory.committedPrivateKb);
      starts[index].push_back(figures);
    }
  }
  std::printf("load average at end: %s\n", LoadAverage().c_str());
  if (starts[0].empty() || starts[1].empty()) return 1;
  const Best torvo = BestOf(starts[0]);
  const Best reference = BestOf(starts[1]);
  const Best steps = BestOf(starts[2]);
  std::printf("\nbest of three          %10s %10s %17s  ratio  goal  ratio to reference + steps\n",
              "Torvo.exe", "reference", "reference + steps");
  auto row = [&](const char* what, double t, double r, double p, double scale, const char* unit,
                 double goal) {
    std::printf("%-22s %7.*f %-3s %6.*f %-3s %13.*f %-3s  %.3f  ", what, scale > 1 ? 1 : 0,
                t / scale, unit, scale > 1 ? 1 : 0, r / scale, unit, scale > 1 ? 1 : 0, p / scale,
                unit, Ratio(t, r));
    if (goal > 0) {
      std::printf("<= %.2f", goal);
    } else {
      std::printf("      ");
    }
    std::printf("  %.3f\n", Ratio(t, p));
  };
  row("start to window titled", torvo.titledMs, reference.titledMs, steps.titledMs, 1, "ms", 0);
  row("start to first report", torvo.firstReportMs, reference.firstReportMs, steps.firstReportMs, 1,
      "ms", kStartGoalRatio);
  row("resident memory", torvo.residentKb, reference.residentKb, steps.residentKb, 1024, "MiB",
      kResidentGoalRatio);
  row("anonymous (resident)", torvo.anonymousKb, reference.anonymousKb, steps.anonymousKb, 1024,
      "MiB", 0);
  row("committed private", torvo.committedPrivateKb, reference.committedPrivateKb,
      steps.committedPrivateKb, 1024, "MiB", 0);
  if (torvo.leanest != nullptr && reference.leanest != nullptr &&
      !torvo.leanest->memory.residentByKind.empty()) {
    PrintAccounting(*torvo.leanest, *reference.leanest, "reference");
    if (steps.leanest != nullptr) {
      PrintAccounting(*torvo.leanest, *steps.leanest, "reference + steps");
    }
  }
  return 0;
}
