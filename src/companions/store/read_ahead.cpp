#include "companions/store/read_ahead.h"

#include <algorithm>
#include <utility>

namespace tarvex::companions::store {

using automation::Variant;

ReadAhead::ReadAhead(Read read, Interrupt interrupt, std::size_t cell_budget)
    : read_(std::move(read)),
      interrupt_(std::move(interrupt)),
      cell_budget_(cell_budget),
      thread_([this] { run(); }) {}

ReadAhead::~ReadAhead() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  interrupt_();
  thread_.join();
}

void ReadAhead::plan(std::vector<std::string> keys) {
  std::deque<Slot> dropped;
  {
    std::lock_guard lock(mutex_);
    dropped.swap(slots_);
    started_ = waiting_cells_ = waiting_slots_ = 0;
    for (std::string& key : keys) {
      Slot& slot = slots_.emplace_back();
      slot.id = next_id_++;
      slot.key = std::move(key);
    }
  }
  changed_.notify_all();
}

std::optional<Variant> ReadAhead::take(std::string_view key) {
  std::unique_lock lock(mutex_);
  auto found = std::find_if(slots_.begin(), slots_.end(),
                            [&](const Slot& slot) { return slot.key == key; });
  if (found == slots_.end()) return std::nullopt;
  for (auto passed = found - slots_.begin(); passed > 0; --passed) drop_front();
  changed_.wait(lock, [&] { return slots_.front().done; });
  Slot slot = std::move(slots_.front());
  drop_front();
  lock.unlock();
  changed_.notify_all();
  if (slot.error) std::rethrow_exception(slot.error);
  return std::move(slot.rows);
}

void ReadAhead::drop_front() {
  const Slot& front = slots_.front();
  if (front.started) --started_;
  if (front.done) {
    waiting_cells_ -= front.cells;
    --waiting_slots_;
  }
  slots_.pop_front();
}

ReadAhead::Slot* ReadAhead::find(std::uint64_t id) {
  if (slots_.empty() || id < slots_.front().id) return nullptr;
  const std::uint64_t index = id - slots_.front().id;
  return index < slots_.size() ? &slots_[index] : nullptr;
}

void ReadAhead::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] {
      if (stop_) return true;
      if (waiting_slots_ > 0 && waiting_cells_ >= cell_budget_) return false;
      return started_ < slots_.size();
    });
    if (stop_) return;
    // Slots are started in their order, so the started ones are the front of the queue.
    Slot& next = slots_[started_++];
    next.started = true;
    const std::uint64_t id = next.id;
    const std::string key = next.key;
    lock.unlock();

    Variant rows;
    std::exception_ptr error;
    try {
      rows = read_(key);
    } catch (...) {
      error = std::current_exception();
    }
    const std::size_t cells = rows.is_array() ? rows.as_array().size() : 0;

    lock.lock();
    Slot* slot = find(id);
    if (!slot) {
      // Planned away while it was read: nobody will take it.
      lock.unlock();
      rows = Variant();
      lock.lock();
      continue;
    }
    slot->rows = std::move(rows);
    slot->error = std::move(error);
    slot->cells = cells;
    slot->done = true;
    waiting_cells_ += cells;
    ++waiting_slots_;
    changed_.notify_all();
  }
}

}  // namespace tarvex::companions::store
