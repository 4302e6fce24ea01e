// Whole-file access for the settings store. Every operation is a single step
// that either happens or not, so that the atomic replace built on top of it
// can be tested against a file system that stops after any step.
//
// The names avoid CreateDirectory, ReplaceFile and the like: <windows.h>
// defines those as macros, which would rename the members in every file that
// includes both headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace torvo {

// What a ReadFile found. kNotFound means there is no such file (nor folder
// on its path); kFailed means a file may well be there but could not be read
// (locked, access denied, I/O error, out of memory). Only kNotFound allows a
// caller to create the file without losing what it holds.
enum class ReadResult { kRead, kNotFound, kFailed };

// A file opened for reading from its start, piece by piece, so that a large
// file need not be held in memory whole.
class FileReader {
 public:
  virtual ~FileReader() = default;
  // Reads the next at most `maxBytes` into `into`; `got` is how many came,
  // 0 at the end of the file. False when the read failed (`got` is then 0).
  virtual bool ReadNext(std::uint8_t* into, std::size_t maxBytes, std::size_t& got) = 0;
};

// The bytes of a file written in pieces, in order.
using FilePieces = std::span<const std::span<const std::uint8_t>>;

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Reads at most maxBytes from the start of the file. Unless the result is
  // kRead, `out` holds nothing.
  virtual ReadResult ReadFile(const std::u16string& path, std::size_t maxBytes,
                              std::vector<std::uint8_t>& out) = 0;
  // Opens `path` for reading piece by piece: kRead with `reader` set, else
  // why not (as ReadFile tells it) and `reader` null.
  virtual ReadResult OpenFileForReading(const std::u16string& path,
                                        std::unique_ptr<FileReader>& reader) = 0;
  // Creates or truncates `path`, writes every byte of the pieces in order,
  // flushes it to the disk and closes it. False on any failure (the file may
  // then be partial).
  virtual bool WriteFileDurably(const std::u16string& path, FilePieces pieces) = 0;
  // Moves `from` over `to` in one step, replacing `to` if it exists.
  virtual bool MoveFileOver(const std::u16string& from, const std::u16string& to) = 0;
  virtual bool RemoveFile(const std::u16string& path) = 0;
  virtual bool DirectoryExists(const std::u16string& path) = 0;
  virtual bool CreateFolder(const std::u16string& path) = 0;
};

}  // namespace torvo
