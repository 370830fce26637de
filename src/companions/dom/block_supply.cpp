#include "companions/dom/block_supply.h"

#include <algorithm>

namespace tarvex::companions::dom {

namespace {

std::unique_ptr<std::byte[]> allocate(std::size_t size) {
  return std::make_unique_for_overwrite<std::byte[]>(size);
}

// One write a page makes the system back the whole block; the contents are left to the caller.
void touch(std::byte* block, std::size_t size) {
  constexpr std::size_t kPage = 4096;  // the smallest page of the platforms we build for
  volatile std::byte* bytes = block;
  for (std::size_t at = 0; at < size; at += kPage) bytes[at] = std::byte{0};
}

}  // namespace

BlockSupply::~BlockSupply() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

std::unique_ptr<std::byte[]> BlockSupply::take(std::size_t size) {
  std::unique_lock lock(mutex_);
  auto found = std::find_if(lanes_.begin(), lanes_.end(),
                            [&](const Lane& lane) { return lane.size == size; });
  Lane& lane = found != lanes_.end() ? *found : lanes_.emplace_back();
  lane.size = size;
  ++lane.taken;
  // The block being made ready is the one to take: waiting costs less than making another.
  changed_.wait(lock, [&] { return !lane.busy; });
  std::unique_ptr<std::byte[]> block = std::move(lane.ready);
  if (lane.taken >= 2) {
    lane.wanted = true;
    if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
    changed_.notify_all();
  }
  lock.unlock();
  // None ready (the first blocks of a size, or the thread could not allocate): made here.
  return block ? std::move(block) : allocate(size);
}

void BlockSupply::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    Lane* lane = nullptr;
    changed_.wait(lock, [&] {
      auto wanted = std::find_if(lanes_.begin(), lanes_.end(),
                                 [](const Lane& l) { return l.wanted && !l.ready; });
      lane = wanted != lanes_.end() ? &*wanted : nullptr;
      return stop_ || lane;
    });
    if (stop_) return;
    lane->wanted = false;
    lane->busy = true;
    const std::size_t size = lane->size;
    lock.unlock();
    std::unique_ptr<std::byte[]> block;
    try {
      block = allocate(size);
      touch(block.get(), size);
    } catch (...) {
      // Left to take(), which allocates on the caller's thread and raises there.
    }
    lock.lock();
    lane->ready = std::move(block);
    lane->busy = false;
    changed_.notify_all();
  }
}

}  // namespace tarvex::companions::dom
