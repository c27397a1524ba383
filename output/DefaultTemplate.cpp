#include "output/DefaultTemplate.h"

namespace vireo {
namespace {

constexpr const char* kReadings = "0.00000";  // readings, means, rises, falls, levels (m)
constexpr const char* kDistances = "0.000";   // sight distances (m)

}  // namespace

std::string DefaultTemplateBytes() {
  Workbook workbook = Workbook::Create({"Report"});
  Worksheet sheet = workbook.ActiveSheet();
  // Widths in characters: the reference column, the readings and distances,
  // the two level columns. New cells take their column's number format.
  sheet.SetColumns(1, 1, 12.7109375);
  sheet.SetColumns(2, 5, 12.7109375, {.numberFormat = kReadings});
  sheet.SetColumns(6, 8, 12.7109375, {.numberFormat = kDistances});
  sheet.SetColumns(9, 12, 12.7109375, {.numberFormat = kReadings});
  sheet.SetColumns(13, 14, 13.7109375, {.numberFormat = kReadings});
  // The header block and the first heading row carry their look in empty
  // cells; the run gives later heading rows the look of this one.
  for (int row = 1; row <= 4; ++row) sheet.SetFormat(row, 1, {.bold = true});
  for (int column = 1; column <= static_cast<int>(kReportColumnHeadings.size()); ++column)
    sheet.SetFormat(kReportHeadingRow, column, {.bold = true, .ruleBelow = true});
  // All fourteen columns on one landscape page wide, the heading row on top
  // of every page.
  PageSetup page;
  page.landscape = true;
  page.fitToWidth = true;
  page.firstTitleRow = page.lastTitleRow = kReportHeadingRow;
  page.margins = kNarrowMargins;
  page.footer = "&L&F&RPage &P of &N";
  sheet.SetPageSetup(page);
  return workbook.SaveToBytes();
}

Workbook MakeDefaultTemplate() {
  return Workbook::OpenFromBytes(DefaultTemplateBytes(), "Existing.xlsx");
}

}  // namespace vireo
