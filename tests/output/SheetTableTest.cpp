// Tables laid out for print on an added sheet: headings aligned as their
// values (text two indent steps in), columns as wide as their
// widest entry, spanned columns merged; merges and page breaks that cannot
// be written are refused. What LibreOffice makes of them:
// WorkbookClientsTest.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vireo
