// The shared settings block as the suite's other programs see it: the
// mapping and the share mutex opened by name, read and written whole or
// changed in place under the mutex. Used by the end-to-end tests and the
// benchmarks that play the configurator.
#pragma once

#include <windows.h>

#include <cstring>
#include <memory>

#include "settings/config_block.h"

namespace torvo::testing {

inline constexpr wchar_t kShareData[] = L"Zenqo_K27_Vistrane_Share_Data";
inline constexpr wchar_t kShareMutex[] = L"Zenqo_K27_Vistrane_Share_Mutex";

class PeerBlock {
 public:
  PeerBlock() {
    mapping_ = OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, kShareData);
    if (mapping_ != nullptr) {
      view_ = static_cast<ConfigBlock*>(
          MapViewOfFile(mapping_, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0));
    }
    mutex_ = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kShareMutex);
  }
  ~PeerBlock() {
    if (view_ != nullptr) UnmapViewOfFile(view_);
    if (mapping_ != nullptr) CloseHandle(mapping_);
    if (mutex_ != nullptr) CloseHandle(mutex_);
  }
  PeerBlock(const PeerBlock&) = delete;
  PeerBlock& operator=(const PeerBlock&) = delete;

  bool Valid() const { return view_ != nullptr && mutex_ != nullptr; }
  HANDLE Mapping() const { return mapping_; }
  HANDLE Mutex() const { return mutex_; }
  bool Lock() const { return WaitForSingleObject(mutex_, 5000) == WAIT_OBJECT_0; }
  void Unlock() const { ReleaseMutex(mutex_); }

  std::unique_ptr<ConfigBlock> Read() const {
    auto block = std::make_unique<ConfigBlock>();
    const bool locked = Lock();
    std::memcpy(block.get(), view_, sizeof(ConfigBlock));
    if (locked) Unlock();
    return block;
  }
  void Write(const ConfigBlock& block) const {
    const bool locked = Lock();
    std::memcpy(view_, &block, sizeof(ConfigBlock));
    if (locked) Unlock();
  }
  // Changes the block in place under the mutex, as the configurator does.
  template <typename Change>
  bool Edit(Change change) const {
    if (!Lock()) return false;
    change(*view_);
    Unlock();
    return true;
  }

 private:
  HANDLE mapping_ = nullptr;
  ConfigBlock* view_ = nullptr;
  HANDLE mutex_ = nullptr;
};

}  // namespace torvo::testing
