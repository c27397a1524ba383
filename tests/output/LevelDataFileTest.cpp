// The level data file's fixed layout; the worked example's records are
// checked end to end in ProcessFieldTest.
#include <gtest/gtest.h>

#include <algorithm>

#include "output/LevelDataFile.h"

using vireo::FormatElevationRecord;

TEST(LevelDataFile, header_is_nine_crlf_lines) {
  const std::string header = vireo::LevelDataHeader();
  EXPECT_EQ(header.substr(0, 24), "# Quarry Version 2.0.6\r\n");
  const std::string tail =
      "\r\n.Units  Meters\r\n.Sep    -\r\n.3D\r\n\r\n#  Elevation Difference Records\r\n"
      "#  Stations                             Diff    Dist  Descriptor\r\n";
  EXPECT_EQ(header.substr(header.size() - tail.size()), tail);
  EXPECT_EQ(std::count(header.begin(), header.end(), '\n'), 9);
  EXPECT_EQ(std::count(header.begin(), header.end(), '\r'), 9);
}

TEST(LevelDataFile, columns_move_only_where_the_values_outgrow_them) {
  const std::string gap(23, ' ');
  auto spaces = [](int n) { return std::string(static_cast<std::size_t>(n), ' '); };
  const std::pair<vireo::ElevationRecord, std::string> cases[] = {
      // Zero: no extra space, so everything after sits one column left.
      {{"A", "B", 1.0, 1.0, 49.8, 0, "A"},
       "L  A-B" + gap + spaces(9) + "0.00000 " + spaces(2) + "49   'A\r\n"},
      // A negative difference has its sign where a positive one has a space.
      {{"A", "B", 1.0, 1.5, 5, 4, "A"},
       "L  A-B" + gap + spaces(9) + "-0.50000 " + spaces(3) + "9   'A\r\n"},
      // Ten metres or more push the rest one column right; 100 m gets one pad.
      {{"A", "B", 11.0, 0.5, 60, 40.0, "A"},
       "L  A-B" + gap + spaces(10) + "10.50000 " + spaces(1) + "100   'A\r\n"},
      // Pairs beyond the table and four-digit distances get no pad, and the
      // pads never carry over from one record to the next.
      {{"STATION01", "STATION02", 1.5, 1.0, 600, 700, "S"},
       "L  STATION01-STATION02" + gap + spaces(1) + "0.50000 1300   'S\r\n"},
      {{"TP1", "TP2", 1.5, 1.0, 6, 7, "S"},
       "L  TP1-TP2" + gap + spaces(6) + "0.50000 " + spaces(2) + "13   'S\r\n"},
  };
  for (const auto& [record, line] : cases) EXPECT_EQ(FormatElevationRecord(record), line);
}

// The reader: records chain into runs; a pair the separator cannot split in
// one way is left out, unless a neighbour says which split is meant.
TEST(LevelDataFile, records_form_runs_where_they_chain) {
  const std::string text =
      "\xEF\xBB\xBF" + vireo::LevelDataHeader() +
      FormatElevationRecord({"BM-1", "TP1", 1.5, 0.25, 20.4, 21, "BM-1"}) +
      FormatElevationRecord({"TP1", "BM 2", 0.5, 1.5, 20, 20, "BM-1"}) +
      "L  Q-X-Y                           0.10000   40   'BM-1\r\n"  // no neighbour fits
      "L  C-D-1                          -0.20000   40   'BM-1\r\n"  // D-1 goes on below
      "L  D-1-E                           0.30000    0   'BM-1\r\n"
      "L  E-F      zero  10\r\n"
      "L  -G                              0.10000   10\r\n";
  EXPECT_TRUE(vireo::LooksLikeLevelData(text));
  const vireo::LevelDataContents contents = vireo::ReadLevelDataText(text);
  ASSERT_EQ(contents.runs.size(), 2u);
  ASSERT_EQ(contents.runs[0].size(), 2u);
  const vireo::LevelDataRecord& first = contents.runs[0][0];
  EXPECT_EQ(first.back + "|" + first.fore, "BM-1|TP1");
  EXPECT_EQ(first.fileLine, 10);
  EXPECT_DOUBLE_EQ(first.difference, 1.25);
  EXPECT_DOUBLE_EQ(first.length, 41);
  EXPECT_EQ(contents.runs[0][1].fore, "BM 2");
  ASSERT_EQ(contents.runs[1].size(), 2u);
  EXPECT_EQ(contents.runs[1][0].fore + "|" + contents.runs[1][1].back, "D-1|D-1");
  std::string lines;
  for (const vireo::RunWarning& w : contents.warnings) lines += std::to_string(w.line) + " ";
  EXPECT_EQ(lines, "12 13 15 16 ");
  EXPECT_FALSE(vireo::LooksLikeLevelData("\n\n  5 KD1 BM1"));
}
