// Tables laid out for print on an added sheet: headings aligned as their
// values, one indent step in from their edge, columns as wide as their widest entry,
// spanned columns merged; merges and page breaks that cannot be written are
// refused. What LibreOffice makes of them: WorkbookClientsTest.
#include <gtest/gtest.h>

#include <regex>

#include "common/Error.h"
#include "output/SheetTable.h"
#include "tests/support/Package.h"

namespace vireo {
namespace {

// The width of column `column` in a sheet part; 0 when it has none.
double ColumnWidth(const std::string& sheet, int column) {
  std::smatch m;
  const std::regex col("<col min=\"" + std::to_string(column) + "\" max=\"" +
                       std::to_string(column) + "\" width=\"([0-9.]+)\"");
  return std::regex_search(sheet, m, col) ? std::stod(m[1]) : 0;
}

// The alignment element of the cell format cell `ref` uses.
std::string AlignmentOf(const std::string& bytes, const std::string& ref) {
  const std::string format = testing::CellFormatXml(bytes, "xl/worksheets/sheet2.xml", ref);
  const auto at = format.find("<alignment");
  return at == std::string::npos ? "" : format.substr(at, format.find("/>", at) + 2 - at);
}

TEST(SheetTable, headings_stand_as_their_values_and_columns_fit_the_widest_entry) {
  Workbook book = Workbook::CreateBlank();
  Worksheet sheet = book.AddSheet("Table");
  ColumnWidths widths;
  SheetTable table(sheet, widths, 1,
                   {{"Point", ColumnKind::Text},
                    {"Height (m)", ColumnKind::Number},
                    {"Remark", ColumnKind::Text, 2},
                    {"r", ColumnKind::Number}});
  table.Text(2, 1, "BENCHMARK-NORTH-1");
  table.Number(2, 2, -1234.56789, {.numberFormat = "0.00000", .redFill = true});
  table.Text(2, 3, "levelled twice on two days by another crew");
  table.Number(2, 5, 0.5, {.numberFormat = "0.000"});
  widths.Apply(sheet);
  const std::string bytes = book.SaveToBytes();
  const std::string part = testing::PartOf(bytes, "xl/worksheets/sheet2.xml");

  EXPECT_EQ(AlignmentOf(bytes, "A1"), "<alignment horizontal=\"left\" indent=\"1\"/>");
  EXPECT_EQ(AlignmentOf(bytes, "B1"), "<alignment horizontal=\"right\" indent=\"1\"/>");
  EXPECT_EQ(AlignmentOf(bytes, "A2"), AlignmentOf(bytes, "A1"));
  EXPECT_EQ(AlignmentOf(bytes, "B2"), AlignmentOf(bytes, "B1"));
  // Each column holds its widest entry: the value, or a heading wider than
  // it; a spanned remark widens the last of its columns only.
  EXPECT_GE(ColumnWidth(part, 1), PrintedWidth("BENCHMARK-NORTH-1") + 1.5);
  EXPECT_GE(ColumnWidth(part, 2), PrintedWidth("-1234.56789") + 1);
  EXPECT_LT(ColumnWidth(part, 2), PrintedWidth("-1234.56789") + 5);
  EXPECT_GE(ColumnWidth(part, 5), 6);
  EXPECT_EQ(ColumnWidth(part, 3), 6);
  EXPECT_GE(ColumnWidth(part, 3) + ColumnWidth(part, 4),
            PrintedWidth("levelled twice on two days by another crew"));
  EXPECT_NE(part.find("<mergeCells count=\"2\"><mergeCell ref=\"C1:D1\"/>"
                      "<mergeCell ref=\"C2:D2\"/></mergeCells><pageMargins"),
            std::string::npos)
      << part;
}

TEST(SheetTable, merges_and_page_breaks_that_cannot_be_written_are_refused) {
  Workbook book = Workbook::Create({"Sheet"});
  Worksheet sheet = book.ActiveSheet();
  sheet.MergeCells(2, 1, 3, 4);
  EXPECT_THROW(sheet.MergeCells(3, 4, 3, 6), Error);  // overlaps
  EXPECT_THROW(sheet.MergeCells(5, 5, 5, 5), Error);  // one cell
  EXPECT_THROW(sheet.MergeCells(5, 6, 5, 2), Error);  // reversed
  PageSetup page;
  page.rowBreaks = {10, 10};
  EXPECT_THROW(sheet.SetPageSetup(page), Error);
  page.rowBreaks = {1};
  EXPECT_THROW(sheet.SetPageSetup(page), Error);
  page.rowBreaks = {10, 40};
  sheet.SetPageSetup(page);
  EXPECT_NE(testing::PartOf(book.SaveToBytes(), "xl/worksheets/sheet1.xml")
                .find("<rowBreaks count=\"2\" manualBreakCount=\"2\"><brk id=\"9\" max=\"16383\" "
                      "man=\"1\"/><brk id=\"39\" max=\"16383\" man=\"1\"/></rowBreaks>"),
            std::string::npos);
  // A template's own sheet keeps its layout.
  Workbook own = Workbook::OpenFromBytes(Workbook::CreateBlank().SaveToBytes(), "own.xlsx");
  EXPECT_THROW(own.ActiveSheet().MergeCells(1, 1, 1, 2), Error);
}

}  // namespace
}  // namespace vireo
