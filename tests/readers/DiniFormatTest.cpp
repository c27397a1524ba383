// The DiNi M5 reader: each record kind only at its columns, and lines with
// a record's marks out of column named.
#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "common/Text.h"
#include "readers/DiniFormat.h"
#include "readers/FieldFile.h"

using vireo::ClassifyDiniLine;

namespace {
// The ruler lines: blanks are spaces, each line ends after its last
// non-blank character.
std::string With(std::string line, std::size_t column, const std::string& text) {
  if (line.size() < column - 1 + text.size()) line.resize(column - 1 + text.size(), ' ');
  line.replace(column - 1, text.size(), text);
  return line;
}
const std::string kStart = "                     Start-Line";
const std::string kReading =
    "                 KD1     1001                    Rb        1.23456                 12.345";
const std::string kHeight = With(kReading.substr(0, 29), 96, "Z       100.00000");
}  // namespace

// What a line is read as: "S" line start, "H" and the height, the code,
// point, value ("?" when the text is no number) and distance of a reading.
std::string Read(const std::string& line) {
  const auto r = ClassifyDiniLine(line);
  std::string out = std::string(r.lineStart ? "S" : "") + (r.height ? "H" + r.heightText : "");
  if (r.reading)
    out += r.reading->code + " " + r.reading->pointId + " " +
           (r.reading->valueWasNumber ? vireo::FormatFixed(r.reading->value, 5) : "?") + " " +
           r.reading->distance;
  return out;
}

TEST(FieldRecord, reads_each_kind_only_at_its_columns) {
  const std::pair<std::string, const char*> cases[] = {
      {kStart, "S"},
      {kHeight, "H100.00000"},
      {kReading, "Rb 1001 1.23456 12.345"},
      // Near misses are no records.
      {With(kReading, 30, "#####"), ""},
      {With(kReading, 50, "rb"), ""},
      {With(kReading, 18, "KD2"), ""},
      {std::string(20, ' ') + "Start-Line", ""},  // column 21
      {std::string(22, ' ') + "Start-Line", ""},  // column 23
      {"", ""},
      // A reading that is no number is 0 and flagged; short lines give
      // short fields.
      {With(kReading, 52, std::string(15, ' ')), "Rb 1001 ? 12.345"},
      {With(kReading, 52, "      1.23456 m"), "Rb 1001 ? 12.345"},
      {kReading.substr(0, 60), "Rb 1001 1.00000 "},
      {With(kReading, 21, std::string(9, ' ')), "Rb  1.23456 12.345"},
      // A real DiNi line with its units.
      {"For M5|Adr     4|KD1    SSM28      08:21:22    1|Rb        2.86253 m   |HD          "
       "5.490 m   |                      |",
       "Rb SSM28 2.86253 5.490"}};
  for (const auto& [line, read] : cases) EXPECT_EQ(Read(line), read) << line;
  EXPECT_EQ(ClassifyDiniLine(With(kReading, 52, "      1.23456 m")).reading->value, 0.0);
  // German codes, an intermediate sight, and a code no level writes named.
  EXPECT_EQ(Read(With(kReading, 50, "Lz")), "Rz 1001 1.23456 12.345");
  const std::string odd = With(kReading, 50, "Rx");
  EXPECT_EQ(vireo::UnknownCodeWarning(odd, ClassifyDiniLine(odd)).substr(0, 22),
            "the record's code \"Rx\"");
  EXPECT_EQ(vireo::UnknownCodeWarning(kReading, ClassifyDiniLine(kReading)), "");
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
  auto read = [](const std::string& text, vireo::Warnings& warnings) {
    vireo::FieldRecordReader reader(warnings);
    long readings = 0;
    reader.Feed(text, [&](vireo::FieldRecord& r) { readings += r.reading.has_value(); });
    return readings;
  };
  vireo::Warnings none, warnings;
  EXPECT_EQ(read(indented, warnings), read(plain, none) - 4);
  EXPECT_TRUE(none.empty());
  std::string named;  // each warning's line and the kind of record it names
  for (const auto& w : warnings) {
    const auto kind = w.message.find("marks of a ") + 11;
    named += std::to_string(w.line) + " " +
             w.message.substr(kind, w.message.find(" record") - kind) + ", ";
  }
  EXPECT_EQ(named, "2 line start, 3 height, 4 reading, 5 reading, 6 reading, 7 reading, ");
  const std::string skipped = With(kReading, 30, "#####");
  EXPECT_EQ(vireo::FindOutOfColumn(skipped, ClassifyDiniLine(skipped)).warning, "");
}

// The end record's count of set-ups: read where it is a whole number a
// line can hold; the fuzzer's 1e57 is no count.
TEST(FieldRecord, an_end_record_count_is_read_only_as_a_whole_number_of_set_ups) {
  const std::string kd2 =
      "For M5|Adr    65|KD2     PM58       12         1|Db         549.41 m   |Df         "
      "547.25 m   |Z       190.15227 m   |";
  const vireo::FieldRecord record = ClassifyDiniLine(kd2);
  ASSERT_TRUE(record.lineEnd && record.lineEnd->setups);
  EXPECT_EQ(*record.lineEnd->setups, 12);
  EXPECT_EQ(record.lineEnd->endHeightText, "190.15227");
  std::string absurd = kd2;
  absurd.replace(29, 14, "          1e57");  // columns 30-43
  EXPECT_FALSE(ClassifyDiniLine(absurd).lineEnd->setups.has_value());
}
