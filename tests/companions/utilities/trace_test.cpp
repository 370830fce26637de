// The trace and TraceUtility: destinations, the line format, whole lines from many threads,
// version texts and level names.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <thread>
#include <vector>

#include "automation/app.h"
#include "companions/utilities/trace.h"
#include "companions/utilities/trace_utility.h"
#include "support/test_support.h"

namespace tarvex::companions::utilities {
namespace {

class trace : public ::testing::Test {
 protected:
  void TearDown() override { set_trace_destination(TraceDestination::none()); }
  std::vector<std::string> lines() const {
    std::ifstream in(file_);
    std::vector<std::string> all;
    for (std::string line; std::getline(in, line);) all.push_back(line);
    return all;
  }
  void trace_message(const std::string& message, std::int32_t level = 4) {
    utility_.TraceMessage(message, level, "Tarvex_83", "Examiner", "GetMacroGUIDs");
  }

  TraceUtilityImpl utility_;
  test_support::ScratchDir dir_;
  std::string file_ = dir_.file("trace.log");
};

TEST_F(trace, lines_are_appended_one_a_message_while_a_destination_is_set) {
  std::ofstream(file_) << "earlier line\n";
  trace_message("before");
  EXPECT_FALSE(write_trace_line("nowhere"));
  set_trace_destination(TraceDestination::to_file(file_));
  trace_message("Reading macros");
  trace_message("two\r\nlines\nand\rmore", 17);
  const std::string bad = file_ + ".d/missing/trace.log";
  auto e = test_support::error_of([&] { set_trace_destination(TraceDestination::to_file(bad)); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->number(), 76);
  trace_message("still on");
  set_trace_destination(TraceDestination::none());
  trace_message("after");

  auto all = lines();
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(all[0], "earlier line");
  EXPECT_TRUE(
      std::regex_match(all[1], std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \[Detail\] )"
                                          R"(Tarvex_83\.Examiner\.GetMacroGUIDs: Reading macros)")))
      << all[1];
  EXPECT_TRUE(
      all[2].ends_with(R"([Level 17] Tarvex_83.Examiner.GetMacroGUIDs: two\nlines\nand\rmore)"))
      << all[2];
  EXPECT_TRUE(all[3].ends_with("still on"));
}

TEST_F(trace, lines_of_many_threads_stay_whole) {
  set_trace_destination(TraceDestination::to_file(file_));
  constexpr int kThreads = 8, kLines = 200;
  const std::string payload(500, 'x');
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kLines; ++i) write_trace_line(fmt::format("<{}:{}>", t, payload));
    });
  }
  for (auto& thread : threads) thread.join();
  auto all = lines();
  ASSERT_EQ(all.size(), static_cast<std::size_t>(kThreads * kLines));
  const std::regex whole(R"(<\d:x{500}>)");
  for (const std::string& line : all) ASSERT_TRUE(std::regex_match(line, whole)) << line;
}

}  // namespace
}  // namespace tarvex::companions::utilities
