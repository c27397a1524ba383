#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "readers/DiniFormat.h"
#include "readers/FieldFile.h"

using vireo::ClassifyDiniLine;

namespace {
// The ruler lines: blanks are spaces, each line ends after its last
// non-blank character.
const std::string kStart = "                     Start-Line";
const std::string kHeight =
    "                 KD1     1001                                                                 "
    " "
    "Z       100.00000";
const std::string kReading =
    "                 KD1     1001                    Rb        1.23456                 12.345";

std::string With(std::string line, std::size_t column, const std::string& text) {
  if (line.size() < column - 1 + text.size()) line.resize(column - 1 + text.size(), ' ');
  line.replace(column - 1, text.size(), text);
  return line;
}
}  // namespace

TEST(FieldRecord, recognises_the_three_kinds_by_their_columns) {
  auto start = ClassifyDiniLine(kStart);
  EXPECT_TRUE(start.lineStart);
  EXPECT_FALSE(start.height);
  EXPECT_FALSE(start.reading);

  auto height = ClassifyDiniLine(kHeight);
  EXPECT_TRUE(height.height);
  EXPECT_EQ(height.heightText, "100.00000");
  EXPECT_FALSE(height.reading);
  EXPECT_FALSE(height.lineStart);

  auto reading = ClassifyDiniLine(kReading);
  ASSERT_TRUE(reading.reading);
  EXPECT_EQ(reading.reading->code, "Rb");
  EXPECT_EQ(reading.reading->pointId, "1001");
  EXPECT_EQ(reading.reading->value, 1.23456);
  EXPECT_TRUE(reading.reading->valueWasNumber);
  EXPECT_EQ(reading.reading->distance, "12.345");
}

TEST(FieldRecord, near_misses_are_not_records) {
  EXPECT_FALSE(ClassifyDiniLine(With(kReading, 30, "#####")).reading);
  EXPECT_FALSE(ClassifyDiniLine(With(kReading, 50, "rb")).reading);
  EXPECT_FALSE(ClassifyDiniLine(With(kReading, 18, "KD2")).reading);
  EXPECT_FALSE(ClassifyDiniLine(std::string(20, ' ') + "Start-Line").lineStart);  // column 21
  EXPECT_FALSE(ClassifyDiniLine(std::string(22, ' ') + "Start-Line").lineStart);  // column 23
  EXPECT_FALSE(ClassifyDiniLine("").reading);
}

TEST(FieldRecord, a_reading_that_is_no_number_is_zero_and_flagged) {
  auto blank = ClassifyDiniLine(With(kReading, 52, std::string(15, ' ')));
  ASSERT_TRUE(blank.reading);
  EXPECT_EQ(blank.reading->value, 0.0);
  EXPECT_FALSE(blank.reading->valueWasNumber);
  auto unit = ClassifyDiniLine(With(kReading, 52, "      1.23456 m"));
  ASSERT_TRUE(unit.reading);
  EXPECT_EQ(unit.reading->value, 0.0);
  EXPECT_FALSE(unit.reading->valueWasNumber);
}

TEST(FieldRecord, short_lines_give_short_fields) {
  auto sixty = ClassifyDiniLine(kReading.substr(0, 60));
  ASSERT_TRUE(sixty.reading);
  EXPECT_EQ(sixty.reading->distance, "");
  EXPECT_EQ(sixty.reading->value, 1.0);  // "1" is all that is left of the reading
  auto noId = ClassifyDiniLine(With(kReading, 21, std::string(9, ' ')));
  ASSERT_TRUE(noId.reading);
  EXPECT_EQ(noId.reading->pointId, "");
}

TEST(FieldRecord, a_real_dini_line_reads_with_its_units) {
  const std::string line =
      "For M5|Adr     4|KD1    SSM28      08:21:22    1|Rb        2.86253 m   |HD          5.490 m "
      "  |                      |";
  auto record = ClassifyDiniLine(line);
  ASSERT_TRUE(record.reading);
  EXPECT_EQ(record.reading->pointId, "SSM28");
  EXPECT_EQ(record.reading->value, 2.86253);
  EXPECT_EQ(record.reading->distance, "5.490");
}

// The bundled sample with its line start, height and four reading lines
// indented by one blank: each is named, and only those four readings are
// lost. In column, the sample and a reading the format skips are not named.
TEST(FieldRecord, marks_out_of_column_are_named_and_the_line_skipped) {
  std::ifstream in(std::string(VIREO_APP_DIR) + "/Field Data/LOOP_BFFB.dat", std::ios::binary);
  std::string line, plain, indented;
  for (int number = 1; std::getline(in, line); ++number) {
    plain += line + "\n";
    indented += (number >= 2 && number <= 7 ? " " : "") + line + "\n";
  }
  auto read = [](const std::string& text, std::vector<vireo::RunWarning>& warnings) {
    vireo::FieldRecordReader reader(warnings);
    long readings = 0;
    reader.Feed(text, [&](vireo::FieldRecord& r) { readings += r.reading.has_value(); });
    return readings;
  };
  std::vector<vireo::RunWarning> none, warnings;
  EXPECT_EQ(read(indented, warnings), read(plain, none) - 4);
  EXPECT_TRUE(none.empty());
  ASSERT_EQ(warnings.size(), 6u);
  const char* kinds[] = {"line start", "height", "reading", "reading", "reading", "reading"};
  for (long i = 0; i < 6; ++i) {
    EXPECT_EQ(warnings[i].line, 2 + i);
    EXPECT_NE(warnings[i].message.find(std::string("marks of a ") + kinds[i] + " record"),
              std::string::npos);
  }
  const std::string skipped = With(kReading, 30, "#####");
  EXPECT_EQ(vireo::OutOfColumnWarning(skipped, ClassifyDiniLine(skipped)), "");
}
