// Saved workbooks checked by real readers: xmllint for every XML part,
// LibreOffice for the values, openpyxl for sheets, print titles and the
// chart, and a template made by LibreOffice itself.
#include <gtest/gtest.h>

#include <regex>

#include "output/Workbook.h"
#include "tests/support/Clients.h"

namespace vireo {
namespace {

using testing::Convert;
using testing::OnPath;
using testing::ReadFile;
using testing::TempFolder;

// CSV in UTF-8 with the cells as shown, so number formats can be checked.
const char kCsv[] = "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true";

Workbook TrickyWorkbook() {
  Workbook workbook = Workbook::CreateBlank();
  workbook.SetText(1, 1, "Ref.");
  workbook.SetText(1, 2, "ctl\x01\x02 and \x1F");
  workbook.SetText(1, 3, "cr\rlf\n");
  workbook.SetText(1, 4, " _x0041_ & <tag> ");
  workbook.SetText(1, 5, "caf\xE9");
  workbook.SetNumber(2, 1, 1.0 / 7.0, "0.00000");
  workbook.SetNumber(2, 2, -0.0);
  workbook.SetNumber(2, 3, 1e300);
  workbook.SetNumber(3, 1, 123.456789, "0.00000");
  // An added sheet whose name needs quotes in references, with a chart of
  // two axes, aligned and merged cells and a page break.
  Worksheet line = workbook.AddSheet("Line 2's");
  line.SetText(1, 2, "RL & <level>", {.bold = true, .redFill = true, .ruleBelow = true});
  line.SetText(1, 3, "mm", {.align = Align::Left, .indent = 1});
  line.SetFormat(1, 4, {.align = Align::Left, .indent = 1});
  line.MergeCells(1, 3, 1, 4);
  for (int row = 2; row <= 5; ++row) {
    line.SetNumber(row, 1, row * 10.0, "0.000");
    line.SetNumber(row, 2, 100 + row / 3.0, {.numberFormat = "0.00000", .redFill = row == 3});
    line.SetNumber(row, 3, row - 3.5, {.numberFormat = "0.00", .align = Align::Right});
  }
  line.AddChart({"A & B", "Distance (m)", "RL (m)", 2, 5, 1, {2}, 1, 2, 4, 20, 12, {3}, "mm"});
  PageSetup page;
  page.firstTitleRow = page.lastTitleRow = 1;
  page.rowBreaks = {4};
  page.footer = "&L&F&RPage &P of &N";
  line.SetPageSetup(page);
  return workbook;
}

// xmllint and LibreOffice read hostile texts of a whole report in
// HostileInputTest and this workbook's numbers in the template test below.
TEST(WorkbookClients, openpyxl_reads_sheets_print_titles_chart_and_formats) {
  if (testing::Shell("/usr/bin/python3 -c 'import openpyxl'") != 0) GTEST_SKIP() << "no openpyxl";
  TempFolder dir;
  const std::string path = dir / "tricky.xlsx";
  TrickyWorkbook().Save(path);
  testing::WriteFile(
      dir / "read.py",
      "import openpyxl, sys\n"
      "wb = openpyxl.load_workbook(sys.argv[1])\n"
      "ws = wb[\"Line 2's\"]\n"
      "print(wb.sheetnames, wb.active.title, ws.print_title_rows, len(ws._charts),\n"
      "      ws['B1'].value, ws['B1'].font.b, ws['B3'].fill.fgColor.rgb, ws['B3'].number_format,\n"
      "      file=open(sys.argv[2], 'w'))\n");
  ASSERT_EQ(testing::Shell("/usr/bin/python3 " + (dir / "read.py") + " " + path + " " +
                           (dir / "out.txt")),
            0);
  EXPECT_EQ(ReadFile(dir / "out.txt"),
            "['Sheet1', \"Line 2's\"] Sheet1 $1:$1 1 RL & <level> True FFFF8080 0.00000\n");
}

// The workbook above, saved again by LibreOffice, is a template as another
// program writes it: its own styles, shared strings, a chart and a second
// sheet. Changing a few cells changes only the parts that hold them.
TEST(WorkbookClients, a_template_libre_office_wrote_keeps_its_content) {
  if (!OnPath("soffice") || !OnPath("xmllint")) GTEST_SKIP() << "no LibreOffice or xmllint";
  TempFolder dir;
  TrickyWorkbook().Save(dir / "made.xlsx");
  const std::string templatePath =
      Convert(dir / "lo", dir / "made.xlsx", "xlsx:Calc MS Excel 2007 XML");
  const std::string original = ReadFile(templatePath);
  ASSERT_FALSE(original.empty());
  // LibreOffice read the layout of the added sheet and wrote it back.
  const std::string sheet2 = testing::PartOf(original, "xl/worksheets/sheet2.xml");
  EXPECT_EQ(testing::Missing(sheet2, {"<mergeCell ref=\"C1:D1\"/>", "<brk id=\"3\""}), "")
      << sheet2;
  EXPECT_EQ(testing::Missing(testing::PartOf(original, "xl/styles.xml"),
                             {"horizontal=\"left\" vertical=\"bottom\" textRotation=\"0\" "
                              "wrapText=\"false\" indent=\"1\"",
                              "horizontal=\"right\""}),
            "");
  const std::string chart = testing::PartOf(original, "xl/charts/chart1.xml");
  EXPECT_EQ(testing::Count(chart, "<c:scatterChart>"), 2) << chart;
  EXPECT_EQ(testing::Missing(chart, {"<c:axPos val=\"r\"/>", "<c:crosses val=\"max\"/>"}), "")
      << chart;

  Workbook workbook = Workbook::Open(templatePath);
  EXPECT_EQ(workbook.ActiveSheetName(), "Sheet1");
  EXPECT_EQ(workbook.Get(1, 1), CellValue::Text("Ref."));
  EXPECT_EQ(workbook.Sheet("Line 2's").Get(1, 2), CellValue::Text("RL & <level>"));
  workbook.SetNumber(2, 5, 7.123456789, "0.0000");  // a format LibreOffice's styles lack
  workbook.SetText(4, 1, "added _x0041_ & <tag>\x01");
  workbook.AddSheet("Profile").SetText(1, 1, "new sheet");
  const std::string result = dir / "result.xlsx";
  workbook.Save(result);
  const std::string saved = ReadFile(result);

  EXPECT_EQ(testing::PartsXmllintRefuses(saved, dir.Path()), "");
  const std::string changed =
      "xl/worksheets/sheet1.xml xl/styles.xml xl/workbook.xml xl/_rels/workbook.xml.rels "
      "[Content_Types].xml";
  for (const auto& [name, data] : testing::PartsOf(original, true))
    EXPECT_TRUE(changed.find(name) != std::string::npos ||
                testing::PartOf(saved, name, true) == data)
        << name;
  // Around its cells the sheet is LibreOffice's: views, columns, page setup.
  auto around = [](const std::string& package) {
    const std::string sheet = std::regex_replace(
        testing::PartOf(package, "xl/worksheets/sheet1.xml"), std::regex("<dimension[^>]*>"), "");
    return sheet.substr(0, sheet.find("<sheetData")) + sheet.substr(sheet.find("</sheetData>"));
  };
  EXPECT_EQ(around(saved), around(original));
  const std::string csv = ReadFile(Convert(dir.Path(), result, kCsv));
  // The texts as written, through LibreOffice and back; the template's own
  // number formats and the new one each shown as they should be.
  EXPECT_EQ(testing::Missing(
                csv, {"Ref.,ctl\x01\x02 and \x1F,\"cr\nlf\n\", _x0041_ & <tag> ,caf\xC3\xA9",
                      "0.14286,0,1E+300,,7.1235\n123.45679,", "\nadded _x0041_ & <tag>\x01,"}),
            "");
  EXPECT_EQ(Workbook::Open(result).Sheet("Profile").Get(1, 1), CellValue::Text("new sheet"));
}

}  // namespace
}  // namespace vireo
