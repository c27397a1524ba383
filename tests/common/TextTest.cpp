#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <vector>

#include "common/Text.h"

using vireo::DecimalText;
using vireo::FormatFixed;
using vireo::NumberFromText;
using vireo::StrictNumber;

TEST(NumberFromText, reads_the_leading_number_and_ignores_the_rest) {
  EXPECT_EQ(NumberFromText("12.345"), 12.345);
  EXPECT_EQ(NumberFromText("12.345 m"), 12.345);
  EXPECT_EQ(NumberFromText("  -1.5e2x"), -150.0);
  EXPECT_EQ(NumberFromText("1 2 3"), 123.0);  // blanks inside are skipped
  EXPECT_EQ(NumberFromText("\t4\n.5"), 4.5);
  EXPECT_EQ(NumberFromText(".5"), 0.5);
  EXPECT_EQ(NumberFromText("7e"), 7.0);  // an exponent without digits is not one
  EXPECT_EQ(NumberFromText(""), 0.0);
  EXPECT_EQ(NumberFromText("m 12"), 0.0);
  EXPECT_EQ(NumberFromText("1,5"), 1.0);  // "." is the only decimal point
  EXPECT_TRUE(std::isinf(NumberFromText("1e400")));
  EXPECT_EQ(NumberFromText("1e-400"), 0.0);
  // Exponents too long for any integer type still keep their sign.
  EXPECT_EQ(NumberFromText("1e-99999999999999999999"), 0.0);
  EXPECT_EQ(NumberFromText("-0.001e-99999999999999999999"), 0.0);
  EXPECT_TRUE(std::isinf(NumberFromText("1e+99999999999999999999")));
  EXPECT_EQ(NumberFromText("0e99999999999999999999"), 0.0);
}

TEST(StrictNumber, accepts_only_complete_numbers) {
  EXPECT_EQ(StrictNumber(" 1.23456 "), 1.23456);
  EXPECT_EQ(StrictNumber("-2"), -2.0);
  EXPECT_FALSE(StrictNumber("1.23456 m"));
  EXPECT_FALSE(StrictNumber(""));
  EXPECT_FALSE(StrictNumber("   "));
  EXPECT_FALSE(StrictNumber("1e999"));
  EXPECT_FALSE(StrictNumber("abc"));
}

TEST(FormatFixed, rounds_half_away_from_zero_on_the_exact_value) {
  EXPECT_EQ(FormatFixed(0.125, 2), "0.13");  // exact tie
  EXPECT_EQ(FormatFixed(-0.125, 2), "-0.13");
  EXPECT_EQ(FormatFixed(2.675, 2), "2.67");        // 2.67499999... in binary
  EXPECT_EQ(FormatFixed(1.000005, 5), "1.00001");  // 1.0000050000000000...4 above the tie
  EXPECT_EQ(FormatFixed(0.299990000001, 5), "0.29999");
  EXPECT_EQ(FormatFixed(9.999996, 5), "10.00000");
  EXPECT_EQ(FormatFixed(0.0, 5), "0.00000");
  EXPECT_EQ(FormatFixed(0.5, 0), "1");
}

TEST(FormatFixed, never_shows_minus_zero) {
  EXPECT_EQ(FormatFixed(-0.0, 2), "0.00");
  EXPECT_EQ(FormatFixed(-0.000004, 5), "0.00000");
  EXPECT_EQ(FormatFixed(-0.000005, 5), "-0.00001");
  EXPECT_EQ(FormatFixed(-0.004, 2), "0.00");
}

TEST(DecimalText, gives_fifteen_digits_that_read_back) {
  EXPECT_EQ(DecimalText(100.29999), "100.29999");
  EXPECT_EQ(DecimalText(0.1 + 0.2), "0.3");
  EXPECT_EQ(DecimalText(-0.0), "0");
  EXPECT_EQ(DecimalText(41.2), "41.2");
  for (double v : {1.0 / 3, 123456.789012345, -1e-7, 5e20})
    EXPECT_NEAR(NumberFromText(DecimalText(v)), v, std::fabs(v) * 1e-14);
}

TEST(Conversions, do_not_depend_on_the_locale) {
  const char* previous = std::setlocale(LC_ALL, nullptr);
  std::string saved = previous ? previous : "C";
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "no German locale here";
  EXPECT_EQ(FormatFixed(1.5, 2), "1.50");
  EXPECT_EQ(DecimalText(2.75), "2.75");
  EXPECT_EQ(NumberFromText("2.75"), 2.75);
  std::setlocale(LC_ALL, saved.c_str());
}

TEST(ToUtf8, keeps_utf8_and_decodes_other_bytes_as_windows_1252) {
  EXPECT_EQ(vireo::ToUtf8("Müller"), "Müller");
  EXPECT_EQ(vireo::ToUtf8("M\xfcller"), "Müller");
  EXPECT_EQ(vireo::ToUtf8("\x80 5"), "€ 5");
  EXPECT_EQ(vireo::ToUtf8("\xc3"), "Ã");                   // a cut-off sequence
  EXPECT_EQ(vireo::ToUtf8("\xed\xa0\x80"), "í\xc2\xa0€");  // a surrogate is not UTF-8
}

TEST(LineSplitter, takes_crlf_lf_and_lone_cr_also_across_chunks) {
  std::vector<std::pair<std::string, long>> lines;
  auto take = [&](std::string_view text, long n) { lines.emplace_back(text, n); };
  vireo::LineSplitter splitter;
  splitter.Feed("a\r", take);
  splitter.Feed("\nb\rc\n\nd", take);
  splitter.Finish(take);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].first, "a");
  EXPECT_EQ(lines[1].first, "b");
  EXPECT_EQ(lines[2].first, "c");
  EXPECT_EQ(lines[3].first, "");
  EXPECT_EQ(lines[4].first, "d");
  EXPECT_EQ(lines[4].second, 5);
}
