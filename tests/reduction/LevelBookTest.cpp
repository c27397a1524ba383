// Single-run lines reduced as a level book: the same survey written as
// DiNi BF and aBF (English and German) and as GSI-8 and GSI-16 gives the
// same book, every level agrees with the level's own heights, and a GSI
// closing block is the closure.
#include <gtest/gtest.h>

#include <cmath>

#include "common/Text.h"
#include "examples/GsiFileWriter.h"
#include "reduction/LevelBook.h"
#include "reduction/SurveyBuilder.h"
#include "tests/support/FieldFiles.h"

using namespace vireo;
using namespace vireo::testing;

namespace {

std::string SingleRunJob(const std::string& method, bool loop = true) {
  examples::SimulationOptions options;
  options.seed = 7;
  options.lines = 2;
  options.setupsPerLine = 12;
  options.method = method;
  options.intermediates = 2;
  options.closedLoop = loop;
  return examples::SimulateFieldFile(options);
}

// The DiNi codes a level set to German writes.
std::string German(std::string text) {
  for (auto [english, german] :
       {std::pair{"|Rb ", "|Lr "}, {"|Rf ", "|Lv "}, {"|Rz ", "|Lz "}, {"|HD ", "|E  "}})
    for (std::size_t at = text.find(english); at != std::string::npos; at = text.find(english))
      text.replace(at, 4, german);
  return text;
}

// Every sight as "point kind level adjusted", the book as a reader sees it.
std::string BookText(const Survey& survey) {
  std::string out;
  for (const SingleRunLine& line : survey.singleRunLines)
    for (const BookSetup& setup : line.setups)
      for (const BookSight& s : setup.sights)
        out += s.point + " " + std::to_string(static_cast<int>(s.kind)) + " " +
               DecimalText(s.reducedLevel) + " " +
               (s.adjustedLevel ? DecimalText(*s.adjustedLevel) : "-") + "\n";
  return out;
}

}  // namespace

TEST(LevelBook, a_hand_booked_line_with_an_intermediate_sight) {
  // Start 100.000, B 1.500, IS 2.000, F 0.500 onto T, then back to A.
  std::string text = examples::M5Line(0, "TO  Start-Line       BF       1", "", "", "", "", "") +
                     "\r\n" + HeightLine("A", "100.00000") + "\r\n";
  text += ReadingLine("A", "Rb", 1.5, "10") + "\r\n" + ReadingLine("S", "Rz", 2.0, "4") + "\r\n" +
          ReadingLine("T", "Rf", 0.5, "10") + "\r\n";
  text +=
      ReadingLine("T", "Rb", 0.7, "20") + "\r\n" + ReadingLine("A", "Rf", 1.70003, "20") + "\r\n";
  Warnings warnings;
  const Survey survey = SurveyOfText(text, warnings);
  ASSERT_EQ(survey.singleRunLines.size(), 1u);
  const SingleRunLine& line = survey.singleRunLines[0];
  ASSERT_EQ(line.setups.size(), 2u);
  EXPECT_DOUBLE_EQ(line.setups[0].collimation, 101.5);
  EXPECT_DOUBLE_EQ(line.setups[0].sights[1].reducedLevel, 99.5);
  EXPECT_DOUBLE_EQ(line.setups[0].Fore().reducedLevel, 101.0);
  EXPECT_NEAR(line.setups[1].Fore().reducedLevel, 99.99997, 1e-9);
  // A loop of 60 m that closes 0.03 mm low: the fore sight on T (20 of 60
  // m walked) takes a third of it, the intermediate sight its back point's
  // nothing, the end all of it.
  ASSERT_TRUE(line.closure.loop && line.closure.misclose);
  EXPECT_NEAR(*line.closure.misclose, 0.00003, 1e-9);
  EXPECT_DOUBLE_EQ(*line.setups[0].sights[1].adjustedLevel, 99.5);
  EXPECT_DOUBLE_EQ(*line.setups[0].Fore().adjustedLevel, 101.00001);
  EXPECT_DOUBLE_EQ(*line.setups[1].Fore().adjustedLevel, 100.0);
  EXPECT_EQ(survey.AccountedReadings(), survey.readings);
  const BookSums sums = SumLevelBook(line);
  EXPECT_TRUE(sums.Agree());
  EXPECT_NEAR(sums.backSights - sums.foreSights, -0.00003, 1e-9);
}

TEST(LevelBook, one_survey_gives_one_book_in_every_format_and_language) {
  for (const char* method : {"BF", "aBF"}) {
    SCOPED_TRACE(method);
    const std::string dini = SingleRunJob(method);
    Warnings w1, w2, w3, w4;
    const std::string english = BookText(SurveyOfText(dini, w1));
    EXPECT_EQ(std::count(english.begin(), english.end(), '\n'), 2 * 12 * 4);
    EXPECT_EQ(BookText(SurveyOfText(German(dini), w2)), english);
    EXPECT_EQ(BookText(SurveyOfText(examples::GsiFromDini(dini, examples::GsiWidth::Gsi8), w3)),
              english);
    EXPECT_EQ(BookText(SurveyOfText(examples::GsiFromDini(dini, examples::GsiWidth::Gsi16), w4)),
              english);
  }
}

TEST(LevelBook, every_level_agrees_with_the_levels_own_heights) {
  Warnings warnings;
  const Survey survey = SurveyOfText(
      examples::GsiFromDini(SingleRunJob("BF", false), examples::GsiWidth::Gsi8), warnings);
  long compared = 0;
  for (const SingleRunLine& line : survey.singleRunLines)
    for (const BookSetup& setup : line.setups)
      for (const BookSight& s : setup.sights)
        if (s.levelHeight) {
          EXPECT_NEAR(s.reducedLevel, *s.levelHeight, 0.000011) << s.point;
          ++compared;
        }
  EXPECT_EQ(compared, 2 * 12 * 3);
  EXPECT_EQ(survey.AccountedReadings(), survey.readings);
  EXPECT_EQ(survey.readings, 2 * 12 * 4);
}

TEST(LevelBook, a_closing_block_is_the_closure_and_its_misclosure_is_read) {
  Warnings warnings;
  const Survey survey =
      SurveyOfText(examples::GsiFromDini(SingleRunJob("BF"), examples::GsiWidth::Gsi16), warnings);
  for (const SingleRunLine& line : survey.singleRunLines) {
    ASSERT_TRUE(line.closure.misclose && line.closure.levelMisclose && line.closure.knownEnd);
    EXPECT_GT(line.closure.closingBlockLine, 0);
    EXPECT_TRUE(line.closure.loop);
    EXPECT_NEAR(*line.closure.misclose, -*line.closure.levelMisclose, 0.0000101);
    EXPECT_NEAR(*line.setups.back().Fore().adjustedLevel, *line.closure.knownEnd, 1e-9);
  }
}

TEST(LevelBook, a_double_run_intermediate_sight_and_its_height_leave_the_run_alone) {
  std::string text = StartLine() + "\r\n" + HeightLine("A", "10.00000") + "\r\n";
  text += SetupLines("A", "B", 1.5, 1.5, 1.0, 1.0);
  text += ReadingLine("S", "Rz", 2.0, "4") + "\r\n" + HeightLine("S", "9.50000") + "\r\n";
  text += SetupLines("B", "C", 1.5, 1.5, 1.0, 1.0);
  Warnings warnings;
  const Survey survey = SurveyOfText(text, warnings);
  EXPECT_EQ(survey.ReducedSetupCount(), 2);
  EXPECT_TRUE(survey.unopened.empty());
  ASSERT_EQ(survey.notReduced.size(), 1u);
  EXPECT_EQ(survey.notReduced[0].reason, NotReducedReason::IntermediateSight);
  EXPECT_EQ(survey.AccountedReadings(), survey.readings);
}
