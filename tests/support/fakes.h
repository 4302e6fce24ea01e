// Reusable fakes of the core's ports for the native tests, the fuzz targets and
// the benchmarks. Header-only, no GoogleTest.
//
//   FakeFileSystem    in-memory files and folders, with injected failures and
//                     a simulated crash after any number of steps
//   FakeUserFolders   application-data and program folders
//   RecordingDesktop  windows by title, every post, start and ini write
//   RecordingPublisher  every block published to the shared memory
//   TraceRecorder     collects the traces written while it lives
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/desktop.h"
#include "common/file_system.h"
#include "common/trace.h"
#include "settings/config_block.h"
#include "settings/settings_folder.h"
#include "settings/settings_store.h"

namespace torvo::fakes {

using Bytes = std::vector<std::uint8_t>;

// Files and folders in memory. Every call is one step, counted in `steps()`.
// Steps can be made to fail (`FailStep`; a failed read is kFailed), paths to
// exist but be unreadable (`unreadable`: reads give kFailed, as a locked or
// forbidden file does, while writes and moves over them still work), files
// to be held open by another program (`held`: a move over them fails), and
// the whole disk can stop after N steps (`CrashAfterSteps`): the step that
// would come next and every later one changes nothing and fails, as if the
// machine had lost power. A WriteFileDurably that is cut short leaves the
// first half of its bytes, as a real disk may.
class FakeFileSystem final : public FileSystem {
 public:
  std::map<std::u16string, Bytes> files;
  std::set<std::u16string> directories;
  std::set<std::u16string> unreadable;  // ReadFile gives kFailed for these paths
  // Files another program has open: a move over them is refused.
  std::set<std::u16string> held;
  std::vector<std::string> log;  // one line per step, e.g. "replace"

  void FailStep(int step) { failingSteps_.insert(step); }
  void CrashAfterSteps(int steps) { crashAfter_ = steps; }
  // Power back on: no more crash, failures kept.
  void Restart() { crashAfter_ = -1; }
  int steps() const { return steps_; }

  bool HasFile(const std::u16string& path) const { return files.count(path) != 0; }

  ReadResult ReadFile(const std::u16string& path, std::size_t maxBytes, Bytes& out) override {
    out.clear();
    if (!Step("read")) return ReadResult::kFailed;
    if (unreadable.count(path) != 0) return ReadResult::kFailed;
    auto it = files.find(path);
    if (it == files.end()) return ReadResult::kNotFound;
    const std::size_t count = std::min(maxBytes, it->second.size());
    out.assign(it->second.begin(), it->second.begin() + static_cast<std::ptrdiff_t>(count));
    return ReadResult::kRead;
  }

  // Opening is one step ("open"), each piece read another ("read"). The
  // reader sees the file as it was when opened. `largestRead` is the most
  // any reader asked for at once; `readerOutOfMemoryAt` makes that read
  // (counted from 0 over all readers) throw std::bad_alloc.
  ReadResult OpenFileForReading(const std::u16string& path,
                                std::unique_ptr<FileReader>& reader) override {
    reader.reset();
    if (!Step("open")) return ReadResult::kFailed;
    if (unreadable.count(path) != 0) return ReadResult::kFailed;
    auto it = files.find(path);
    if (it == files.end()) return ReadResult::kNotFound;
    reader = std::make_unique<Reader>(*this, it->second);
    return ReadResult::kRead;
  }
  std::size_t largestRead = 0;
  int readerOutOfMemoryAt = -1;

  bool WriteFileDurably(const std::u16string& path, FilePieces pieces) override {
    Bytes bytes;
    for (const auto piece : pieces) bytes.insert(bytes.end(), piece.begin(), piece.end());
    const bool crashedNow = crashAfter_ >= 0 && steps_ == crashAfter_;
    if (!Step("write")) {
      if (crashedNow) files[path] = Bytes(bytes.begin(), bytes.begin() + bytes.size() / 2);
      return false;
    }
    files[path] = std::move(bytes);
    return true;
  }

  bool MoveFileOver(const std::u16string& from, const std::u16string& to) override {
    if (!Step("replace")) return false;
    if (held.count(to) != 0) return false;
    auto it = files.find(from);
    if (it == files.end()) return false;
    Bytes moved = std::move(it->second);
    files.erase(it);
    files[to] = std::move(moved);
    return true;
  }

  bool RemoveFile(const std::u16string& path) override {
    if (!Step("remove")) return false;
    return files.erase(path) != 0;
  }

  bool DirectoryExists(const std::u16string& path) override {
    if (!Step("exists")) return false;
    return directories.count(path) != 0;
  }

  bool CreateFolder(const std::u16string& path) override {
    if (!Step("mkdir")) return false;
    return directories.insert(path).second;
  }

 private:
  class Reader final : public FileReader {
   public:
    Reader(FakeFileSystem& owner, Bytes bytes) : owner_(owner), bytes_(std::move(bytes)) {}
    bool ReadNext(std::uint8_t* into, std::size_t maxBytes, std::size_t& got) override {
      got = 0;
      owner_.largestRead = std::max(owner_.largestRead, maxBytes);
      if (owner_.readsByReaders_++ == owner_.readerOutOfMemoryAt) throw std::bad_alloc();
      if (!owner_.Step("read")) return false;
      got = std::min(maxBytes, bytes_.size() - offset_);
      std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset_), got, into);
      offset_ += got;
      return true;
    }

   private:
    FakeFileSystem& owner_;
    Bytes bytes_;
    std::size_t offset_ = 0;
  };

  bool Step(const char* name) {
    const int step = steps_++;
    log.emplace_back(name);
    if (crashAfter_ >= 0 && step >= crashAfter_) return false;
    return failingSteps_.count(step) == 0;
  }

  int steps_ = 0;
  int readsByReaders_ = 0;
  int crashAfter_ = -1;
  std::set<int> failingSteps_;
};

class FakeUserFolders final : public UserFolders {
 public:
  bool hasAppData = true;
  std::u16string appData = u"C:\\Users\\kim\\AppData\\Roaming";
  std::u16string programFolder = u"C:\\Program Files\\Torvo\\";

  bool GetAppDataFolder(std::u16string& folder) override {
    if (!hasAppData) return false;
    folder = appData;
    return true;
  }
  std::u16string GetProgramFolder() override { return programFolder; }
};

class RecordingDesktop final : public Desktop {
 public:
  struct Post {
    WindowHandle window;
    unsigned message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
    bool operator==(const Post&) const = default;
  };

  std::map<std::u16string, WindowHandle> windows;  // title -> handle
  std::vector<Post> posts;
  std::vector<std::u16string> startedPrograms;
  std::vector<std::vector<std::u16string>> iniWrites;  // file, section, key, value

  WindowHandle FindWindowByTitle(const std::u16string& title) override {
    auto it = windows.find(title);
    return it == windows.end() ? 0 : it->second;
  }
  bool PostMessageTo(WindowHandle window, unsigned message, std::uintptr_t wParam,
                     std::intptr_t lParam) override {
    posts.push_back({window, message, wParam, lParam});
    return window != 0;
  }
  bool StartProgram(const std::u16string& path) override {
    startedPrograms.push_back(path);
    return true;
  }
  bool WriteIniString(const std::u16string& file, const std::u16string& section,
                      const std::u16string& key, const std::u16string& value) override {
    iniWrites.push_back({file, section, key, value});
    return true;
  }
};

// Keeps a copy of every published block; `succeed` false makes Publish fail
// as a failed mutex wait or a missing mapping would. `onPublish` runs inside
// Publish (for checks of what had happened before).
class RecordingPublisher final : public ConfigPublisher {
 public:
  bool succeed = true;
  std::vector<Bytes> published;
  std::function<void()> onPublish;

  bool Publish(const ConfigBlock& block) override {
    if (onPublish) onPublish();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&block);
    published.emplace_back(bytes, bytes + sizeof(block));
    return succeed;
  }
};

// Installs a trace sink for its lifetime and keeps every trace.
class TraceRecorder {
 public:
  TraceRecorder() {
    SetTraceSink([this](std::u16string_view text) { traces.emplace_back(text); });
  }
  ~TraceRecorder() { SetTraceSink(nullptr); }
  TraceRecorder(const TraceRecorder&) = delete;
  TraceRecorder& operator=(const TraceRecorder&) = delete;

  bool Contains(std::u16string_view text) const {
    return std::find(traces.begin(), traces.end(), text) != traces.end();
  }
  int Count(std::u16string_view text) const {
    return static_cast<int>(std::count(traces.begin(), traces.end(), text));
  }

  std::vector<std::u16string> traces;
};

}  // namespace torvo::fakes
