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
  std::vector<Slot> dropped;  // their rows are freed after the lock is let go
  {
    std::lock_guard lock(mutex_);
    auto first = keys.empty() ? slots_.end()
                              : std::find_if(slots_.begin(), slots_.end(),
                                             [&](const Slot& slot) { return slot.key == keys[0]; });
    for (auto passed = first - slots_.begin(); passed > 0; --passed) {
      dropped.push_back(take_front());
    }
    std::size_t kept = 0;
    while (kept < slots_.size() && kept < keys.size() && slots_[kept].key == keys[kept]) ++kept;
    while (slots_.size() > kept) dropped.push_back(take_back());
    for (std::size_t k = kept; k < keys.size(); ++k) {
      Slot& slot = slots_.emplace_back();
      slot.id = next_id_++;
      slot.key = std::move(keys[k]);
    }
  }
  changed_.notify_all();
}

std::optional<Variant> ReadAhead::take(std::string_view key) {
  std::vector<Slot> passed;  // as in plan(): freed after the lock
  std::unique_lock lock(mutex_);
  auto found =
      std::find_if(slots_.begin(), slots_.end(), [&](const Slot& slot) { return slot.key == key; });
  if (found == slots_.end()) return std::nullopt;
  for (auto n = found - slots_.begin(); n > 0; --n) passed.push_back(take_front());
  changed_.wait(lock, [&] { return slots_.front().done; });
  Slot slot = take_front();
  lock.unlock();
  changed_.notify_all();
  if (slot.error) std::rethrow_exception(slot.error);
  return std::move(slot.rows);
}

void ReadAhead::forget(const Slot& slot) {
  if (slot.started) --started_;
  if (slot.done) {
    waiting_cells_ -= slot.cells;
    --waiting_slots_;
  }
}

ReadAhead::Slot ReadAhead::take_front() {
  forget(slots_.front());
  Slot slot = std::move(slots_.front());
  slots_.pop_front();
  return slot;
}

ReadAhead::Slot ReadAhead::take_back() {
  forget(slots_.back());
  Slot slot = std::move(slots_.back());
  slots_.pop_back();
  return slot;
}

// Slots leave from both ends, so their ids have gaps: found by search.
ReadAhead::Slot* ReadAhead::find(std::uint64_t id) {
  auto slot = std::lower_bound(slots_.begin(), slots_.end(), id,
                               [](const Slot& s, std::uint64_t wanted) { return s.id < wanted; });
  return slot != slots_.end() && slot->id == id ? &*slot : nullptr;
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
