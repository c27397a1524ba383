// The survey model: every reading record of a file accounted for, and the
// five-decimal rounding against the report's own text.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "common/Text.h"
#include "reduction/SurveyBuilder.h"
#include "reduction/Tolerance.h"
#include "tests/support/FieldFiles.h"

using namespace vireo;
using namespace vireo::testing;

namespace {

std::string NotReducedText(const Survey& survey) {
  std::string out;
  for (const NotReduced& n : survey.notReduced)
    out += std::to_string(n.firstLine) + "-" + std::to_string(n.lastLine) + " " +
           ReasonText(n.reason) + (n.takenAsZero ? " (as 0)" : "") + "; ";
  return out;
}

}  // namespace

TEST(SurveyModel, every_reading_is_reduced_or_listed_with_its_reason) {
  const std::string no = std::string(17, ' ') + "KD1" + std::string(29, ' ') + "Rb";
  std::string text = StartLine() + "\r\n" + HeightLine("A", "10.00000") + "\r\n";  // 1-2
  text += SetupLines("A", "B", 1.5, 1.5, 1.0, 1.0);                                // 3-6
  text += ReadingLine("", "Rf", 1.0, "5") + "\r\n";                                // 7
  text += SetupLines("B", "C", 1.5, 1.5, 1.0, 1.0);                                // 8-11
  text += ReadingLine("C", "Rb", 1.2, "5") + "\r\n" + ReadingLine("D", "Rf", 1.1, "5") + "\r\n" +
          ReadingLine("D", "Rf", 1.1, "5") + "\r\n" + ReadingLine("X", "Rb", 1.2, "5") +
          "\r\n";  // 12-15: the back sight is not read twice
  text += ReadingLine("D", "Rb", 1.0, "5") + "\r\n" + ReadingLine("E", "Rf", 1.0, "5") + "\r\n" +
          ReadingLine("F", "Rf", 1.0, "5") + "\r\n" + ReadingLine("D", "Rb", 1.0, "5") +
          "\r\n";  // 16-19: the fore sight is not read twice
  std::string nan = SetupLines("D", "G", 1.5, 1.5, 1.0, 1.0);  // 20-23, FS1 not a number
  nan.replace(nan.find("1.00000"), 7, "1.0x000");
  text += nan + " " + no + "\r\n";  // 24: out of column
  text += ReadingLine("G", "Rb", 1.5, "5") + "\r\n" + ReadingLine("H", "Rf", 1.5, "5") + "\r\n";
  Warnings warnings;
  const Survey survey = SurveyOfText(text, warnings);
  EXPECT_EQ(survey.SetupCount(), 4);  // the report records the unpaired back sight's set-up
  EXPECT_EQ(survey.ReducedSetupCount(), 3);
  EXPECT_EQ(NotReducedText(survey),
            "7-7 no point id; 12-15 unpaired back sight; 16-19 dropped set-up (no paired fore "
            "sight); 21-21 not a number (as 0); 24-24 out of column; 25-26 leftover (no complete "
            "set-up at the end of the file); ");
  EXPECT_EQ(survey.readings, 24);
  EXPECT_EQ(survey.AccountedReadings(), survey.readings);
}

TEST(SurveyModel, rounding_to_five_decimals_agrees_with_the_reports_text) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> level(-10000, 10000);
  auto expect = [](double value) {
    const double fast = RoundedToFiveDecimals(value);
    const double text = NumberFromText(FormatFixed(value, 5));
    EXPECT_EQ(std::memcmp(&fast, &text, sizeof fast), 0) << DecimalText(value);
  };
  for (int i = 0; i < 200000; ++i) {
    expect(level(random));
    const long units = static_cast<long>(random() % 20000001) - 10000000;
    expect((static_cast<double>(units) + 0.5) / 100000);  // ties, and next to them
    expect(static_cast<double>(units) / 100000);
  }
  for (double value : {0.0, -0.0, -0.000004, 0.000005, 1.000025, 0.125, 1e-300, 9e10, 1e11, 1e300})
    expect(value);
}
