#include "settings/win32/file_system_win32.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

namespace torvo {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 paths are passed as wchar_t");

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

// Largest piece handed to a single ReadFile/WriteFile call.
constexpr DWORD kChunk = 1u << 20;

class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() {
    if (valid()) ::CloseHandle(handle_);
  }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  // Closes now so that a failing close can be reported.
  bool Close() {
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return ::CloseHandle(handle) != FALSE;
  }

 private:
  HANDLE handle_;
};

// Opens `path` for reading; `result` tells why not when the handle is
// invalid. Only a missing file or folder means there is nothing to lose; a
// locked or forbidden file, a bad volume and the like may still hold
// settings.
HANDLE OpenForReading(const std::u16string& path, ReadResult& result) {
  HANDLE handle = ::CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  result = ReadResult::kRead;
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    result = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ReadResult::kNotFound
                                                                            : ReadResult::kFailed;
  }
  return handle;
}

class Win32FileReader final : public FileReader {
 public:
  explicit Win32FileReader(HANDLE handle) : file_(handle) {}
  bool ReadNext(std::uint8_t* into, std::size_t maxBytes, std::size_t& got) override {
    got = 0;
    while (got < maxBytes) {
      const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(maxBytes - got, kChunk));
      DWORD read = 0;
      if (!::ReadFile(file_.get(), into + got, piece, &read, nullptr)) {
        got = 0;
        return false;
      }
      if (read == 0) break;  // end of the file
      got += read;
    }
    return true;
  }

 private:
  FileHandle file_;
};

}  // namespace

ReadResult Win32FileSystem::OpenFileForReading(const std::u16string& path,
                                               std::unique_ptr<FileReader>& reader) {
  reader.reset();
  ReadResult result;
  HANDLE handle = OpenForReading(path, result);
  if (result != ReadResult::kRead) return result;
  try {
    reader = std::make_unique<Win32FileReader>(handle);
  } catch (const std::bad_alloc&) {
    ::CloseHandle(handle);
    return ReadResult::kFailed;
  }
  return ReadResult::kRead;
}

ReadResult Win32FileSystem::ReadFile(const std::u16string& path, std::size_t maxBytes,
                                     std::vector<std::uint8_t>& out) {
  out.clear();
  ReadResult opened;
  FileHandle file(OpenForReading(path, opened));
  if (opened != ReadResult::kRead) return opened;
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return ReadResult::kFailed;
  const std::uint64_t wanted =
      std::min<std::uint64_t>(static_cast<std::uint64_t>(size.QuadPart), maxBytes);
  if (wanted > out.max_size()) return ReadResult::kFailed;
  try {
    out.resize(static_cast<std::size_t>(wanted));
  } catch (const std::bad_alloc&) {
    out.clear();
    return ReadResult::kFailed;
  }
  std::size_t done = 0;
  while (done < out.size()) {
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(out.size() - done, kChunk));
    DWORD read = 0;
    if (!::ReadFile(file.get(), out.data() + done, piece, &read, nullptr)) {
      out.clear();
      return ReadResult::kFailed;
    }
    if (read == 0) break;  // the file became shorter while we read it
    done += read;
  }
  out.resize(done);
  return ReadResult::kRead;
}

bool Win32FileSystem::WriteFileDurably(const std::u16string& path, FilePieces pieces) {
  FileHandle file(::CreateFileW(Wide(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  for (const std::span<const std::uint8_t> bytes : pieces) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, kChunk));
      DWORD written = 0;
      if (!::WriteFile(file.get(), bytes.data() + done, piece, &written, nullptr) || written == 0) {
        return false;
      }
      done += written;
    }
  }
  if (!::FlushFileBuffers(file.get())) return false;
  return file.Close();
}

bool Win32FileSystem::MoveFileOver(const std::u16string& from, const std::u16string& to) {
  // One attempt: while another program has `to` open, the move is refused,
  // and the caller keeps the save and tries again later rather than holding
  // up the window here.
  return ::MoveFileExW(Wide(from), Wide(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) !=
         FALSE;
}

bool Win32FileSystem::RemoveFile(const std::u16string& path) {
  return ::DeleteFileW(Wide(path)) != FALSE;
}

bool Win32FileSystem::DirectoryExists(const std::u16string& path) {
  const DWORD attributes = ::GetFileAttributesW(Wide(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Win32FileSystem::CreateFolder(const std::u16string& path) {
  return ::CreateDirectoryW(Wide(path), nullptr) != FALSE;
}

bool Win32UserFolders::GetAppDataFolder(std::u16string& folder) {
  wchar_t buffer[MAX_PATH] = {};
  const HRESULT result =
      ::SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, buffer);
  if (FAILED(result)) return false;
  folder.assign(reinterpret_cast<const char16_t*>(buffer));
  return true;
}

std::u16string Win32UserFolders::GetProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return std::u16string();
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    if (path.size() >= 32768) return std::u16string();
    path.resize(path.size() * 2);
  }
  const std::size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return std::u16string();
  path.resize(slash + 1);
  return std::u16string(reinterpret_cast<const char16_t*>(path.c_str()), path.size());
}

}  // namespace torvo
