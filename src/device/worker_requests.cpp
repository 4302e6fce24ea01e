#include "device/worker_requests.h"

#include <cstring>
#include <utility>

#include "common/messages.h"

namespace torvo {

bool RequestUploadsSettings(std::uintptr_t request) {
  return request == REQ_APPLY || request == REQ_FULL_UPLOAD;
}

bool WorkerRequests::Post(std::uintptr_t request, const ConfigBlock& block,
                          const std::function<bool()>& post) {
  Entry entry{request, nullptr};
  if (RequestUploadsSettings(request)) entry.snapshot = Snapshot(block);
  std::uint64_t id = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    id = nextId_++;
    queued_.push_back({id, std::move(entry)});
  }
  // Queued before the message goes out: the worker may take the message at
  // once.
  if (post()) return true;
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = queued_.begin(); it != queued_.end(); ++it) {
    if (it->id == id) {
      queued_.erase(it);
      break;
    }
  }
  return false;
}

std::shared_ptr<const ConfigBlock> WorkerRequests::Snapshot(const ConfigBlock& block) {
  std::shared_ptr<const ConfigBlock> last;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    last = lastSnapshot_.lock();
  }
  if (last != nullptr && std::memcmp(last.get(), &block, sizeof(block)) == 0) return last;
  auto snapshot = std::make_shared<const ConfigBlock>(block);
  std::lock_guard<std::mutex> lock(mutex_);
  lastSnapshot_ = snapshot;
  return snapshot;
}

std::optional<WorkerRequests::Entry> WorkerRequests::TakeOldest() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (queued_.empty()) return std::nullopt;
  Entry entry = std::move(queued_.front().entry);
  queued_.pop_front();
  return entry;
}

std::size_t WorkerRequests::Pending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return queued_.size();
}

}  // namespace torvo
