// The number texts and rounding take short cuts on the common values; these tests hold them to
// the printf rules they stand for, on values at the rounding boundaries and at random.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "automation/convert.h"

namespace tarvex::automation {
namespace {

std::string printf_g15(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  std::string text(buffer);
  for (char& c : text) {
    if (c == 'e') c = 'E';
  }
  return text;
}

double printf_rounded(double value, int decimals) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return std::strtod(buffer, nullptr);
}

// Doubles of every magnitude, from random bit patterns, plus values that need all 15 digits.
std::vector<double> sample_doubles() {
  std::vector<double> values{0.1,
                             1.0 / 3,
                             2.0 / 3,
                             1e15,
                             1e16,
                             123456789012345678.0,
                             5e-324,
                             1e-5,
                             1e-4,
                             -1.5e-7,
                             1e21,
                             999999999999999.9,
                             9999999999999.99,
                             -0.01,
                             12.5,
                             0.99999999999999989,
                             std::numeric_limits<double>::max()};
  std::mt19937_64 random(20260105);
  for (int i = 0; i < 20000; ++i) {
    std::uint64_t bits = random();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    if (std::isfinite(value)) values.push_back(value);
    values.push_back(std::ldexp(static_cast<double>(random() % 2000001) - 1000000, -10));
    // Hundredths of every size up to past fifteen digits, and their binary neighbours.
    const auto k = static_cast<std::int64_t>(random() % ((std::uint64_t{1} << (random() % 60)) + 1));
    const double hundredths = static_cast<double>(random() % 2 ? k : -k) / 100;
    values.push_back(hundredths);
    values.push_back(std::nextafter(hundredths, INFINITY));
  }
  return values;
}

TEST(number_text_fast_path, agrees_with_printf_on_fifteen_significant_digits) {
  for (double value : sample_doubles()) {
    if (value == 0) continue;
    ASSERT_EQ(number_text(value), printf_g15(value)) << value;
  }
}

TEST(round_half_even_fast_path, agrees_with_printf_near_halves_and_at_random) {
  std::vector<double> values = sample_doubles();
  std::mt19937_64 random(42);
  // Decimal halves and their binary neighbours: the values whose rounding the short cut must
  // leave to printf.
  for (int decimals = 0; decimals <= 6; ++decimals) {
    const double scale = std::pow(10.0, decimals);
    for (int i = 0; i < 2000; ++i) {
      const double half =
          (static_cast<double>(static_cast<std::int64_t>(random() % 2000000) - 1000000) + 0.5) /
          scale;
      values.push_back(half);
      values.push_back(std::nextafter(half, INFINITY));
      values.push_back(std::nextafter(half, -INFINITY));
    }
  }
  values.insert(values.end(), {-0.0, 0.0, -0.001, 0.001, 0.125, -0.125, 2.675, 1.005, 1e300});
  for (int decimals : {0, 1, 2, 3, 6, 15, 16}) {
    for (double value : values) {
      const double expected = printf_rounded(value, decimals);
      const double actual = round_half_even(value, decimals);
      ASSERT_EQ(actual, expected) << value << " to " << decimals;
      ASSERT_EQ(std::signbit(actual), std::signbit(expected)) << value << " to " << decimals;
    }
  }
}

}  // namespace
}  // namespace tarvex::automation
