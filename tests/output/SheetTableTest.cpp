// Tables laid out for print on an added sheet: headings aligned as their
// values (text two indent steps in), columns as wide as their
// widest entry, spanned columns merged; merges and page breaks that cannot
// be written are refused. What LibreOffice makes of them:
// WorkbookClientsTest.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <regex>

#include "common/Error.h"
#include "output/SheetTable.h"
#include "tests/support/Package.h"

namespace vireo {
namespace {

TEST(SheetTable, headings_stand_as_their_values_and_columns_fit_the_widest_entry) {
  Workbook book = Workbook::CreateBlank();
  Worksheet sheet = book.AddSheet("Table");
  ColumnWidths widths;
  SheetTable table(sheet, widths, 1,
                   {{"Point", ColumnKind::Text},
                    {"Height (m)", ColumnKind::Number},
                    {"Remark", ColumnKind::Text, 2}});
  table.Text(2, 1, "BENCHMARK-NORTH-1");
  table.Number(2, 2, -1234.56789, {.numberFormat = "0.00000", .redFill = true});
  table.Text(2, 3, "levelled twice on two days by another crew");
  widths.Apply(sheet);
  const std::string bytes = book.SaveToBytes(), part = "xl/worksheets/sheet2.xml";
  auto alignment = [&](const char* ref) {
    const std::string xf = testing::CellFormatXml(bytes, part, ref);
    return xf.substr(xf.find("<alignment"),
                     xf.find("/>", xf.find("<alignment")) + 2 - xf.find("<alignment"));
  };
  EXPECT_EQ(alignment("A1"), "<alignment horizontal=\"left\" indent=\"2\"/>");
  EXPECT_EQ(alignment("B1"), "<alignment horizontal=\"right\"/>");
  EXPECT_EQ(alignment("A2"), alignment("A1"));
  EXPECT_EQ(alignment("B2"), alignment("B1"));
  // Each column holds its widest entry; a spanned remark widens the last of
  // its columns only.
  const std::string sheetXml = testing::PartOf(bytes, part);
  auto width = [&](int column) {
    std::smatch m;
    const std::string c = std::to_string(column);
    return std::regex_search(
               sheetXml, m,
               std::regex("<col min=\"" + c + "\" max=\"" + c + "\" width=\"([0-9.]+)"))
               ? std::stod(m[1])
               : 0;
  };
  EXPECT_GT(width(1), PrintedWidth("BENCHMARK-NORTH-1") + 1.5);
  EXPECT_GT(width(2), PrintedWidth("-1234.56789") + 1.5);
  EXPECT_LT(width(2), PrintedWidth("-1234.56789") + 6);
  EXPECT_EQ(width(3), 6);
  EXPECT_GT(width(3) + width(4), PrintedWidth("levelled twice on two days by another crew"));
  EXPECT_NE(sheetXml.find("<mergeCells count=\"2\"><mergeCell ref=\"C1:D1\"/>"
                          "<mergeCell ref=\"C2:D2\"/></mergeCells><pageMargins"),
            std::string::npos);
}

TEST(SheetTable, merges_and_page_breaks_that_cannot_be_written_are_refused) {
  Workbook book = Workbook::Create({"Sheet"});
  Worksheet sheet = book.ActiveSheet();
  sheet.MergeCells(2, 1, 3, 4);
  EXPECT_THROW(sheet.MergeCells(3, 4, 3, 6), Error);  // overlaps
  EXPECT_THROW(sheet.MergeCells(5, 5, 5, 5), Error);  // one cell
  PageSetup page;
  page.rowBreaks = {10, 10};
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

// A heading repeated where a table goes on to a new page looks as the
// table's own, and AppliedSpan is what Apply sets.
TEST(SheetTable, a_repeated_heading_is_the_heading_again_and_the_applied_span_what_apply_sets) {
  Workbook book = Workbook::CreateBlank();
  Worksheet sheet = book.AddSheet("Table");
  ColumnWidths widths, early;
  const std::vector<TableColumn> columns = {{"Point", ColumnKind::Text},
                                            {"Height (m)", ColumnKind::Number},
                                            {"Remark", ColumnKind::Text, 2}};
  FitHeadings(early, columns);
  SheetTable table(sheet, widths, 1, columns);
  table.Text(2, 3, "a remark as wide as two columns and more");
  table.Text(3, 3, "short");
  table.RepeatHeading(4);
  for (int column = 1; column <= 4; ++column) {
    EXPECT_EQ(sheet.Get(4, column), sheet.Get(1, column)) << column;
    EXPECT_EQ(sheet.StyleAt(4, column), sheet.StyleAt(1, column)) << column;
  }
  // The headings fitted before a table is written need what its heading
  // row needs.
  ColumnWidths headings;
  SheetTable(book.AddSheet("Headings"), headings, 1, columns);
  for (int last = 1; last <= 5; ++last)
    EXPECT_DOUBLE_EQ(early.AppliedSpan(last), headings.AppliedSpan(last)) << last;
  const double span = widths.AppliedSpan(5);  // column 5 not fitted: 6
  widths.Apply(sheet);
  const std::string part = testing::PartOf(book.SaveToBytes(), "xl/worksheets/sheet2.xml");
  double applied = 0;
  const std::regex width("<col min=\"\\d+\" max=\"\\d+\" width=\"([0-9.]+)");
  for (auto it = std::sregex_iterator(part.begin(), part.end(), width);
       it != std::sregex_iterator(); ++it)
    applied += std::stod((*it)[1]);
  EXPECT_DOUBLE_EQ(span, applied + 6);
}

// The rows a printed page surely holds: fewer than Excel prints (A4
// landscape, narrow margins, one page wide: 6.77 inches of 15-point rows
// at the scale that fits the columns into 11.19 inches, to a whole
// percent), by no more than a tenth, and never fewer for wider columns.
TEST(SheetTable, rows_per_printed_page_are_fewer_than_excel_prints_and_grow_with_the_columns) {
  PageSetup page;
  page.landscape = true;
  page.fitToWidth = true;
  page.margins = kNarrowMargins;
  page.footer = "&RPage &P";
  auto excel = [](double width) {
    // Excel shrinks a sheet to 10 % at the least.
    const double scale = std::clamp(std::floor(100 * 11.19 / (width * 7 / 96)) / 100, 0.1, 1.0);
    return static_cast<int>(std::floor(6.77 * 72 / (15 * scale)));
  };
  EXPECT_EQ(RowsPerPrintedPage(page, 50), 30);        // 32 rows at full size
  EXPECT_EQ(RowsPerPrintedPage(page, 262.2, 1), 52);  // 56 rows at 58 %
  int last = 0;
  for (double width = 20; width < 3000; width += 0.7) {
    const int rows = RowsPerPrintedPage(page, width);
    EXPECT_LE(rows, excel(width)) << width;
    EXPECT_GE(rows, 0.9 * excel(width) - 1) << width;
    EXPECT_GE(rows, last) << width;
    last = rows;
  }
  // Letter paper upright, without fitting: 9.5 inches, 45 rows.
  PageSetup letter;
  letter.paperSize = 1;
  EXPECT_EQ(RowsPerPrintedPage(letter, 500, 2), 43 - 2);
}

}  // namespace
}  // namespace vireo
