#include "companions/store/read_ahead.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <initializer_list>
#include <map>
#include <mutex>
#include <string>

#include "automation/convert.h"

namespace tarvex::companions::store {
namespace {

using automation::Variant;

// Reads that answer each key with its own text and count how often each key was read.
class CountedReads {
 public:
  ReadAhead::Read read() {
    return [this](const std::string& key) {
      std::lock_guard lock(mutex_);
      ++reads_[key];
      read_.notify_all();
      return Variant(key);
    };
  }

  int count(const std::string& key) {
    std::lock_guard lock(mutex_);
    return reads_[key];
  }

  // Until every key was read at least once.
  void wait_for(std::initializer_list<const char*> keys) {
    std::unique_lock lock(mutex_);
    ASSERT_TRUE(read_.wait_for(lock, std::chrono::seconds(20), [&] {
      for (const char* key : keys)
        if (reads_[key] == 0) return false;
      return true;
    }));
  }

 private:
  std::mutex mutex_;
  std::condition_variable read_;
  std::map<std::string, int> reads_;
};

// A report plans a macro's steps and then the next macro's: what two plans share stays read,
// what a plan no longer holds is dropped, and every key gets its own rows.
TEST(read_ahead, a_new_plan_keeps_the_reads_it_begins_with_and_each_key_gets_its_own_rows) {
  CountedReads reads;
  ReadAhead ahead(reads.read(), [] {}, 1000);
  auto rows = [&](const std::string& key) {
    auto taken = ahead.take(key);
    return taken ? automation::to_text(*taken) : std::string("(not planned)");
  };

  auto each_gets_its_own = [&](std::initializer_list<const char*> keys) {
    for (const char* key : keys) EXPECT_EQ(rows(key), key);
  };

  ahead.plan({"a", "b", "c"});
  each_gets_its_own({"a"});
  reads.wait_for({"b", "c"});
  ahead.plan({"b", "c", "d"});
  each_gets_its_own({"b", "c", "d"});
  EXPECT_EQ(reads.count("b"), 1);
  EXPECT_EQ(reads.count("c"), 1);

  // Parting after its first key: the old tail goes, and a key of it planned again is read again.
  ahead.plan({"p", "q", "r"});
  reads.wait_for({"p", "q", "r"});
  ahead.plan({"p", "s", "q"});
  each_gets_its_own({"p", "s", "q"});
  EXPECT_EQ(reads.count("p"), 1);
  EXPECT_EQ(reads.count("q"), 2);
  EXPECT_EQ(rows("r"), "(not planned)");
}

}  // namespace
}  // namespace tarvex::companions::store
