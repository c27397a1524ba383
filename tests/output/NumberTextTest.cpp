// A number cell's text is what std::to_chars writes, byte for byte (the
// report's cells are compared so), whichever way it is made.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <random>
#include <string>

#include "output/internal/Sheet.h"

namespace {

std::string Shortest(double value) {
  char text[64];
  return std::string(text, vireo::xlsx::PutShortest(text, text + sizeof text, value));
}

std::string ToChars(double value) {
  char text[64];
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

TEST(NumberText, is_the_shortest_text_to_chars_writes) {
  for (double v : {0.0, -0.0, 0.001, -0.001, 0.00099, 0.0001, 1.0, 10.0, 100000.0, 1856.0, 999999.0,
                   999999.99999, 1e6, 0.1 + 0.2, 89.8402036, -1.12217, 123456.123456789, 1e-300})
    EXPECT_EQ(Shortest(v), ToChars(v)) << ToChars(v);
  std::mt19937_64 random(5);
  for (int i = 0; i < 200000; ++i) {
    // Values rounded to 0..9 decimals as the sheets hold them, and raw doubles.
    const double raw = static_cast<double>(static_cast<long long>(random() % 2000000000000) -
                                           1000000000000) /
                       std::pow(10.0, 2 + static_cast<int>(random() % 10));
    const double scale = std::pow(10.0, static_cast<int>(random() % 10));
    const double v = i % 4 == 0 ? raw : std::round(raw * scale) / scale;
    ASSERT_EQ(Shortest(v), ToChars(v)) << ToChars(v);
  }
}

}  // namespace
