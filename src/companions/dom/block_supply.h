// Memory for a growing tree, a block at a time. Fresh memory costs its first touch: the kernel
// clears every page when it is first written, and a virtual machine's host may only back the page
// then. A tree of ten million report rows spent a tenth of its building time there, on the
// thread that builds it. So once the tree asks for a second block of a size, the next block of
// that size is allocated and touched on a thread of the supply's own while the tree fills the
// one it has; a small tree never starts that thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace tarvex::companions::dom {

class BlockSupply {
 public:
  BlockSupply() = default;
  // Ends the thread; blocks made ready and not taken are freed.
  ~BlockSupply();
  BlockSupply(const BlockSupply&) = delete;
  BlockSupply& operator=(const BlockSupply&) = delete;

  // A block of `size` bytes, uninitialised, for objects of trivial types; raises what operator
  // new raises. A block is handed out once and is the caller's alone.
  std::unique_ptr<std::byte[]> take(std::size_t size);

 private:
  struct Lane {
    std::size_t size = 0;
    unsigned taken = 0;
    bool wanted = false;  // the next block is to be made ready
    bool busy = false;    // the thread is making it ready
    std::unique_ptr<std::byte[]> ready;
  };

  void run();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Lane> lanes_;  // one a size asked for; a deque keeps the thread's lane in place
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace tarvex::companions::dom
