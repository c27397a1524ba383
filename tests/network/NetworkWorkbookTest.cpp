// The network workbook's tables continue on further sheets when they are
// longer than a sheet holds (here with short sheets).
#include <gtest/gtest.h>

#include "network/NetworkWorkbook.h"

using namespace vireo;

TEST(NetworkWorkbook, long_tables_continue_on_sheets_with_the_same_headings) {
  EXPECT_EQ(ContinuedSheetNames("Observations", kRowsPerSheet).size(), 1u);
  EXPECT_EQ(ContinuedSheetNames("Observations", kRowsPerSheet + 1),
            (std::vector<std::string>{"Observations", "Observations (2)"}));

  NetworkInput input;
  input.path = "/job/LONG.dat";
  LevelledLine& line = input.lines.emplace_back();
  for (int k = 0; k < 45; ++k)
    line.setups.push_back({k + 1, k == 0 ? "A" : "T" + std::to_string(k),
                           k == 44 ? "B" : "T" + std::to_string(k + 1), 0.01 * k, 40});
  const NetworkAdjustment result =
      AdjustNetwork({input}, {{"A", 10, {}, "--fixed", 0}, {"B", 19.9, 2.0, "--fixed", 0}});
  ASSERT_EQ(result.observations.size(), 46u);
  Workbook saved = Workbook::OpenFromBytes(NetworkWorkbook(result, "long", 20).SaveToBytes(), "");
  EXPECT_EQ(saved.SheetNames(),
            (std::vector<std::string>{"Summary", "Heights", "Observations", "Observations (2)",
                                      "Observations (3)", "Sections", "Loops"}));
  int row = 0;
  for (const char* name : {"Observations", "Observations (2)", "Observations (3)"}) {
    Worksheet sheet = saved.Sheet(name);
    EXPECT_EQ(sheet.Get(1, 4).text, "To") << name;
    for (int r = 2; r <= sheet.LastRow(); ++r, ++row)
      EXPECT_EQ(sheet.Get(r, 2).number, result.observations[row].fieldLine) << name << r;
  }
  EXPECT_EQ(row, 46);
  EXPECT_EQ(saved.Sheet("Observations (3)").Get(7, 4).text, "B");  // the weighted benchmark
}
