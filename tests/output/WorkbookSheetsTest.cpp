// More than one sheet: cells of any worksheet, sheets added with formats,
// page setup and a chart, and chart caches that follow the cells.
#include <gtest/gtest.h>

#include "common/Error.h"
#include "output/Workbook.h"
#include "tests/support/Package.h"

namespace vireo {
namespace {

using testing::PartOf;

// The value cached for point `index` of the cache under formula `ref`.
std::string Cached(const std::string& chart, const std::string& ref, int index) {
  const std::string pt = "<c:pt idx=\"" + std::to_string(index) + "\"><c:v>";
  const auto at = chart.find(pt, chart.find("<c:f>" + ref + "</c:f>")) + pt.size();
  return chart.substr(at, chart.find('<', at) - at);
}

// The shape of the network adjustment's workbook.
Workbook NetworkWorkbook() {
  Workbook workbook = Workbook::Create({"Summary", "Heights"});
  Worksheet heights = workbook.Sheet("heights");
  heights.SetColumns(1, 2, 12, {.numberFormat = "0.000"});
  heights.SetText(1, 2, "Level", {.bold = true, .ruleBelow = true});
  for (int row = 2; row <= 4; ++row) {
    heights.SetNumber(row, 1, 100.0 * row);
    heights.SetNumber(row, 2, 50 + row / 8.0);
  }
  ScatterChart chart{"Line", "Distance (m)", "RL (m)", 2, 4, 1, {2}, 1, 1, 4, 20, 12};
  heights.AddChart(chart);
  PageSetup page;
  page.landscape = true;
  page.firstTitleRow = page.lastTitleRow = 1;
  heights.SetPageSetup(page);
  return workbook;
}

TEST(WorkbookSheets, added_sheets_keep_order_cells_and_formats_after_a_reopen) {
  Workbook workbook = NetworkWorkbook();
  Worksheet summary = workbook.ActiveSheet();
  const CellFormat all{.numberFormat = "0.00", .bold = true, .redFill = true, .ruleBelow = true};
  summary.SetNumber(1, 1, 0.5, all);
  summary.SetNumber(2, 1, 0.25, all);
  summary.SetText(3, 1, "flag", {.redFill = true});
  workbook.AddSheet("Observations").SetText(1, 1, "obs");
  EXPECT_THROW(workbook.AddSheet("SUMMARY"), Error);
  EXPECT_THROW(workbook.AddSheet("a/b"), Error);
  const std::string bytes = workbook.SaveToBytes();

  // One bold font, one red fill, one rule; each combination one cell format.
  const std::string styles = PartOf(bytes, "xl/styles.xml");
  for (const char* count : {"<fonts count=\"2\">", "<fills count=\"3\">", "<borders count=\"2\">",
                            "<cellXfs count=\"5\">"})
    EXPECT_NE(styles.find(count), std::string::npos) << count << styles;
  EXPECT_NE(PartOf(bytes, "xl/workbook.xml").find("localSheetId=\"1\">Heights!$1:$1<"),
            std::string::npos);

  Workbook reopened = Workbook::OpenFromBytes(bytes, "network.xlsx");
  EXPECT_EQ(reopened.SheetNames(),
            (std::vector<std::string>{"Summary", "Heights", "Observations"}));
  EXPECT_EQ(reopened.ActiveSheetName(), "Summary");
  EXPECT_EQ(reopened.Sheet("OBSERVATIONS").Get(1, 1), CellValue::Text("obs"));
  EXPECT_EQ(reopened.Sheet("Heights").Get(3, 2), CellValue::Number(50.375));
  // A sheet of an opened package keeps its layout; a missing one is named.
  EXPECT_THROW(reopened.Sheet("Heights").SetColumns(1, 1, 5), Error);
  EXPECT_THROW(reopened.Sheet("Nothing"), Error);
}

TEST(WorkbookSheets, chart_caches_follow_the_cells_at_every_save) {
  const std::string first = NetworkWorkbook().SaveToBytes();
  const char* part = "xl/charts/chart1.xml";
  EXPECT_EQ(Cached(PartOf(first, part), "Heights!$B$1", 0), "Level");
  EXPECT_EQ(Cached(PartOf(first, part), "Heights!$B$2:$B$4", 1), "50.375");

  Workbook reopened = Workbook::OpenFromBytes(first, "first.xlsx");
  reopened.Sheet("Heights").SetNumber(3, 2, 49.5);
  const std::string second = reopened.SaveToBytes();
  EXPECT_EQ(Cached(PartOf(second, part), "Heights!$B$2:$B$4", 1), "49.5");
  EXPECT_EQ(Cached(PartOf(second, part), "Heights!$A$2:$A$4", 2), "400");

  // The same values written again leave the chart part as it was.
  Workbook again = Workbook::OpenFromBytes(second, "second.xlsx");
  again.Sheet("Heights").SetNumber(3, 2, 49.5);
  EXPECT_EQ(PartOf(again.SaveToBytes(), part, true), PartOf(second, part, true));

  // Series of more than 10,000 points keep only their references.
  Workbook tall = Workbook::Create({"Tall"});
  tall.ActiveSheet().AddChart({"", "", "", 1, 10001, 1, {2}, 0, 1, 4, 20, 12});
  const std::string chart = PartOf(tall.SaveToBytes(), part);
  EXPECT_NE(chart.find("<c:f>Tall!$B$1:$B$10001</c:f></c:numRef>"), std::string::npos) << chart;
}

// A long table streamed at save time reads back like written cells, and the
// head of a long sheet is changed without reading, or losing, the rest.
TEST(WorkbookSheets, streamed_rows_and_a_sheet_read_only_at_its_head) {
  Workbook book = Workbook::CreateBlank();
  Worksheet table = book.AddSheet("Table");
  table.SetText(1, 1, "Title", {.bold = true});
  const CellStyleId red = table.StyleFor(2, {.numberFormat = "0.00", .redFill = true});
  table.StreamRows(2, 5000, 3, [red](int row, RowWriter& out) {
    out.Number(1, row);
    if (row % 1000 == 0) out.Number(2, row / 7.0, red);
    out.Text(3, row == 2 ? " <edge> " : "n\xe9");
  });
  EXPECT_THROW(table.StreamRows(1, 1, 1, [](int, RowWriter&) {}), Error);  // above a held row
  Workbook saved = Workbook::OpenFromBytes(book.SaveToBytes(), "saved");
  Worksheet whole = saved.Sheet("Table");
  EXPECT_EQ(whole.LastRow(), 5001);
  EXPECT_EQ(whole.Get(5001, 1), CellValue::Number(5001));
  EXPECT_EQ(whole.Get(3000, 2), CellValue::Number(3000 / 7.0));
  EXPECT_EQ(whole.Get(2, 3), CellValue::Text(" <edge> "));
  EXPECT_EQ(whole.Get(3, 3), CellValue::Text("n\xc3\xa9"));

  Workbook patched = Workbook::OpenFromBytes(book.SaveToBytes(), "saved");
  Worksheet head = patched.SheetHead("Table", 3);
  EXPECT_EQ(head.Get(1, 1), CellValue::Text("Title"));
  head.SetText(2, 1, "changed");
  EXPECT_THROW(head.SetNumber(4, 1, 1), Error);
  EXPECT_THROW(patched.Sheet("Table"), Error);  // its changed head would be lost
  Workbook reread = Workbook::OpenFromBytes(patched.SaveToBytes(), "patched");
  Worksheet after = reread.Sheet("Table");
  EXPECT_EQ(after.Get(2, 1), CellValue::Text("changed"));
  for (int row : {3, 4, 4000, 5001}) EXPECT_EQ(after.Get(row, 1), whole.Get(row, 1)) << row;
  EXPECT_EQ(after.Get(4000, 2), whole.Get(4000, 2));
}

}  // namespace
}  // namespace vireo
