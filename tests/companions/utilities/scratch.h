// Test helpers: a scratch path of the running test's own in the temporary folder (process id and
// test name keep tests that run side by side apart), and a file's whole content.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace tarvex::companions::utilities {

inline std::filesystem::path scratch_path(const std::string& suffix = "") {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  return std::filesystem::temp_directory_path() /
         (std::string("tarvex_") + test->test_suite_name() + "_" + test->name() + "_" +
          std::to_string(::getpid()) + suffix);
}

inline std::string file_text(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace tarvex::companions::utilities
