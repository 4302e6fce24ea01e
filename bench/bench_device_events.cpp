// The cost of one device event that saves Config.data, natively: the main
// window's core with a POSIX file system under a temporary folder (each save
// writes a temporary file, flushes it and renames it over Config.data).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "device_event_rig.h"

namespace {

std::string Native(const std::u16string& path) {
  std::string out;
  for (char16_t c : path) out.push_back(c == u'\\' ? '/' : static_cast<char>(c));
  return out;
}

class PosixReader final : public torvo::FileReader {
 public:
  explicit PosixReader(int fd) : fd_(fd) {}
  ~PosixReader() override { close(fd_); }
  bool ReadNext(std::uint8_t* into, std::size_t maxBytes, std::size_t& got) override {
    const ssize_t n = read(fd_, into, maxBytes);
    got = n > 0 ? static_cast<std::size_t>(n) : 0;
    return n >= 0;
  }

 private:
  int fd_;
};

class PosixFileSystem final : public torvo::FileSystem {
 public:
  torvo::ReadResult ReadFile(const std::u16string& path, std::size_t maxBytes,
                             std::vector<std::uint8_t>& out) override {
    out.clear();
    const int fd = open(Native(path).c_str(), O_RDONLY);
    if (fd < 0) return torvo::ReadResult::kNotFound;
    out.resize(maxBytes);
    const ssize_t got = read(fd, out.data(), maxBytes);
    close(fd);
    if (got < 0) return out.clear(), torvo::ReadResult::kFailed;
    out.resize(static_cast<std::size_t>(got));
    return torvo::ReadResult::kRead;
  }
  torvo::ReadResult OpenFileForReading(const std::u16string& path,
                                       std::unique_ptr<torvo::FileReader>& reader) override {
    reader.reset();
    const int fd = open(Native(path).c_str(), O_RDONLY);
    if (fd < 0) return torvo::ReadResult::kNotFound;
    reader = std::make_unique<PosixReader>(fd);
    return torvo::ReadResult::kRead;
  }
  bool WriteFileDurably(const std::u16string& path, torvo::FilePieces pieces) override {
    const int fd = open(Native(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    bool ok = true;
    for (const auto piece : pieces) {
      ok = ok && write(fd, piece.data(), piece.size()) == static_cast<ssize_t>(piece.size());
    }
    ok = ok && fsync(fd) == 0;
    return close(fd) == 0 && ok;
  }
  bool MoveFileOver(const std::u16string& from, const std::u16string& to) override {
    return rename(Native(from).c_str(), Native(to).c_str()) == 0;
  }
  bool RemoveFile(const std::u16string& path) override { return unlink(Native(path).c_str()) == 0; }
  bool DirectoryExists(const std::u16string& path) override {
    struct stat info {};
    return stat(Native(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
  }
  bool CreateFolder(const std::u16string& path) override {
    return mkdir(Native(path).c_str(), 0755) == 0;
  }
};

}  // namespace

int main(int argc, char** argv) {
  const int events = argc > 1 ? std::atoi(argv[1]) : 2000;
  char pattern[] = "/tmp/torvo_bench_XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  std::u16string folder;
  for (const char* c = pattern; *c != '\0'; ++c) folder.push_back(static_cast<char16_t>(*c));
  PosixFileSystem files;
  torvo::bench::PrintEventTimes("native", events,
                                torvo::bench::TimeSavingEvents(files, folder, events));
  const std::string cleanup = std::string("rm -rf ") + pattern;
  return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
