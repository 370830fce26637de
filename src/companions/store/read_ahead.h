// Reading ahead on a thread of its own: while the caller turns one step's progress rows into its
// report, the rows of the steps it will ask for next are read. A report with step progress spends
// about a fifth of its time reading; this puts that time on the second core.
//
// The reads go through a connection of their own, used by the read-ahead's thread only. A read
// that fails keeps its error for the caller who takes it, so it fails exactly the step whose rows
// it is; rows read for a step that is never asked for are dropped.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "automation/variant.h"

namespace tarvex::companions::store {

class ReadAhead {
 public:
  // Runs on the read-ahead's thread: the rows of one key, or the empty variant.
  using Read = std::function<automation::Variant(const std::string& key)>;
  // Called from the thread that ends the read-ahead: makes a read in progress give up soon.
  using Interrupt = std::function<void()>;

  // Reads wait while the rows read and not yet taken hold `cell_budget` cells or more, unless
  // none are waiting at all: one key's rows are always read ahead, however many they are.
  ReadAhead(Read read, Interrupt interrupt, std::size_t cell_budget);
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The keys the caller will ask for next, in its order. Keys planned before stay planned, their
  // reads with them, as far as they begin the new plan in the same order; the rest of the old
  // plan is dropped.
  void plan(std::vector<std::string> keys);

  // The rows of `key` when it is planned: waits until they are read, drops the keys planned
  // before it (the caller has passed them by), and raises the read's error if it failed.
  // Nothing when `key` is not planned: the caller reads it itself.
  std::optional<automation::Variant> take(std::string_view key);

 private:
  struct Slot {
    std::uint64_t id = 0;
    std::string key;
    bool started = false;
    bool done = false;
    automation::Variant rows;
    std::exception_ptr error;
    std::size_t cells = 0;
  };

  void run();
  Slot* find(std::uint64_t id);
  // Out of the queue, with the counts that include it; its rows go with it.
  Slot take_front();
  Slot take_back();
  void forget(const Slot& slot);

  Read read_;
  Interrupt interrupt_;
  const std::size_t cell_budget_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Slot> slots_;  // planned, in the order they will be asked for; ids rise
  std::uint64_t next_id_ = 0;
  std::size_t started_ = 0;        // slots at the front whose read has begun
  std::size_t waiting_cells_ = 0;  // in slots read and not taken
  std::size_t waiting_slots_ = 0;
  bool stop_ = false;
  std::thread thread_;  // last: it starts once everything above is ready
};

}  // namespace tarvex::companions::store
