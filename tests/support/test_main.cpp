// Test entry point: every test program runs with a fixed time zone, so that local times in
// tests mean the same on every machine, unless a test sets another one itself.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

int main(int argc, char** argv) {
  if (!std::getenv("TZ")) setenv("TZ", "Europe/Berlin", 1);
  tzset();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
