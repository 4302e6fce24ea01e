// The hand-over of the upload worker's requests between the UI thread and
// the worker thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "settings/config_block.h"

namespace torvo {

// Requests that upload settings and so carry a copy of the block
// (REQ_APPLY, REQ_FULL_UPLOAD).
bool RequestUploadsSettings(std::uintptr_t request);

// The worker's requests as the UI thread posts them, queued beside the
// thread's message queue: the message carries only what its sender was
// asked (wParam the request, lParam its parameter), and the settings an
// upload sends travel here. Right before posting a request the UI thread
// queues it with a copy of its working block (Post); the worker takes the
// oldest entry for each request message it gets, served or dropped alike
// (TakeOldest). Requests queued behind a long upload therefore each upload
// the block they were posted with, however the UI thread changes its own
// block meanwhile. A slot switch carries no copy: its report names the slot
// in force when it goes out (DeviceFlags::activeSlot).
//
// An upload queued with the same settings as the one before shares its copy
// (84212 bytes): a configurator that applies again and again without change
// costs one block however many applies wait behind a busy keyboard. Uploads
// of different settings keep one copy each, since each is a change the
// keyboard must receive.
//
// Every request message is matched to the oldest entry, so a request message
// this program did not post (another process may post to any thread) serves
// the oldest queued request early, or, with nothing queued, nothing: no
// request is served twice or out of order. Entries still queued when the
// worker ends (WM_QUIT) go with the queue.
class WorkerRequests {
 public:
  struct Entry {
    std::uintptr_t request = 0;
    std::shared_ptr<const ConfigBlock> snapshot;  // null for a slot switch
  };

  // Queues `request` with what it uploads of `block`, then calls `post` (the
  // thread message). When `post` fails, the entry is removed again. Returns
  // the result of `post`.
  bool Post(std::uintptr_t request, const ConfigBlock& block, const std::function<bool()>& post);
  // The oldest entry, removed; nothing when none is queued.
  std::optional<Entry> TakeOldest();
  std::size_t Pending() const;

 private:
  std::shared_ptr<const ConfigBlock> Snapshot(const ConfigBlock& block);

  struct Queued {
    std::uint64_t id;
    Entry entry;
  };
  mutable std::mutex mutex_;
  std::uint64_t nextId_ = 1;
  std::deque<Queued> queued_;
  std::weak_ptr<const ConfigBlock> lastSnapshot_;
};

}  // namespace torvo
