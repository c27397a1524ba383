// The workbook component on its own: cell values through saved files,
// added sheets with formats and charts, and templates Excel or another
// program wrote (the active sheet, every cell type, a calculation chain,
// packages that cannot be read). Number formats added to a template's own
// are checked on LibreOffice's template (WorkbookClientsTest).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <regex>

#include "common/Error.h"
#include "common/Text.h"
#include "output/DefaultTemplate.h"
#include "output/Workbook.h"
#include "tests/support/Package.h"
#include "tests/support/TempFolder.h"

namespace vireo {
namespace {

using testing::EditPart;
using testing::PartOf;
using testing::Parts;
using testing::SetPart;

const char kMain[] = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const char kRel[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const char kSheet[] = "xl/worksheets/sheet1.xml";
const char kRels[] = "xl/_rels/workbook.xml.rels";

Workbook Reopen(const Workbook& workbook) {
  return Workbook::OpenFromBytes(workbook.SaveToBytes(), "reopened.xlsx");
}

std::string SheetOf(const Workbook& workbook) {
  return PartOf(workbook.SaveToBytes(), kSheet);
}

// 5e-324 is the smallest denormal; 2^53 + 1 is written as 2^53 + 2, the
// double it rounds to.
const double kNumbers[] = {
    0.1 + 0.2,          1.0 / 7.0,          1e300,     DBL_MAX, -DBL_MAX, -0.0, 5e-324, DBL_MIN / 3,
    9007199254740993.0, 9007199254740991.0, 123.45678, -1e-300, 0.0};

void ExpectNumbersBitExact(const Workbook& workbook) {
  int row = 1;
  for (double v : kNumbers) {
    CellValue got = workbook.Get(row++, 2);
    ASSERT_EQ(got.kind, CellValue::Kind::Number) << v;
    EXPECT_EQ(std::bit_cast<std::uint64_t>(got.number), std::bit_cast<std::uint64_t>(v)) << v;
  }
}

// glibc finds locales in LOCPATH: build de_DE.UTF-8 there when the system
// has none installed, so the test runs on bare build machines too.
bool UseGermanLocale(const testing::TempFolder& dir) {
  if (std::setlocale(LC_ALL, "de_DE.UTF-8")) return true;
  const std::string command =
      "localedef -i de_DE -f UTF-8 " + (dir / "de_DE.UTF-8") + " >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0 && !std::filesystem::exists(dir / "de_DE.UTF-8"))
    return false;
  setenv("LOCPATH", dir.Path().c_str(), 1);
  return std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
}

TEST(WorkbookNumbers, bit_exact_after_saves_under_any_locale_and_non_finite_refused) {
  Workbook workbook = Workbook::CreateBlank();
  int row = 1;
  for (double v : kNumbers) workbook.SetNumber(row++, 2, v, "0.00000");
  ExpectNumbersBitExact(Reopen(Reopen(workbook)));
  for (double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
    EXPECT_THROW(workbook.SetNumber(1, 2, bad), Error);
    EXPECT_THROW(workbook.Set(20, 1, CellValue::Number(bad)), Error);
  }
  EXPECT_EQ(workbook.Get(1, 2), CellValue::Number(0.1 + 0.2));
  EXPECT_EQ(workbook.LastRow(), 13);
  const std::string sheet = SheetOf(workbook);
  EXPECT_NE(sheet.find("<v>0.30000000000000004</v>"), std::string::npos);

  // A German locale changes neither the cells nor the number texts.
  testing::TempFolder dir;
  if (!UseGermanLocale(dir)) GTEST_SKIP() << "no de_DE.UTF-8 locale";
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  const std::string german = SheetOf(workbook);
  ExpectNumbersBitExact(Reopen(workbook));
  EXPECT_EQ(FormatFixed(1.5, 2) + " " + DecimalText(2.75), "1.50 2.75");
  EXPECT_EQ(NumberFromText("2.75"), 2.75);
  std::setlocale(LC_ALL, "C");
  unsetenv("LOCPATH");
  EXPECT_EQ(german, sheet);
}

TEST(WorkbookText, escaped_on_save_and_read_back_exactly) {
  const std::pair<std::string, const char*> texts[] = {
      // written, and held in the sheet as
      {"line\r\nbreak", "line_x000D_\nbreak"},
      {"ctl\x01x\tab", "ctl_x0001_x\tab"},
      {std::string("nul\0z", 5), "nul_x0000_z"},
      {"_x0041_ literal", "_x005F_x0041_ literal"},
      {"  leading", "<t xml:space=\"preserve\">  leading</t>"},
      {"trailing ", "<t xml:space=\"preserve\">trailing </t>"},
      {"a < b & \"c\" > d", "a &lt; b &amp; \"c\" &gt; d"},
      {"\xF0\x9F\x98\x80 x\x7Fy", "\xF0\x9F\x98\x80 x\x7Fy"},
      {"a\xEF\xBF\xBE-\xEF\xBF\xBF", "a_xFFFE_-_xFFFF_"}};
  Workbook workbook = Workbook::CreateBlank();
  int row = 1;
  for (const auto& [text, held] : texts) workbook.SetText(row++, 1, text);
  workbook.SetText(row, 1, "caf\xE9 \x80");  // no UTF-8: taken as Windows-1252
  const Workbook reopened = Reopen(workbook);
  const std::string sheet = SheetOf(workbook);
  row = 1;
  for (const auto& [text, held] : texts) {
    EXPECT_EQ(reopened.Get(row++, 1), CellValue::Text(text)) << text;
    EXPECT_NE(sheet.find(held), std::string::npos) << held;
  }
  EXPECT_EQ(reopened.Get(row, 1), CellValue::Text("caf\xC3\xA9 \xE2\x82\xAC"));
}

TEST(WorkbookLimits, the_grid_and_text_length_at_their_limits_and_cells_in_order) {
  Workbook workbook = Workbook::CreateBlank();
  workbook.SetText(Workbook::kMaxRows, Workbook::kMaxColumns, "corner");
  workbook.SetNumber(3, 28, 7);
  workbook.SetText(2, 1, std::string(Workbook::kMaxTextLength, 'x'));
  std::string emoji;
  for (int i = 0; i < 16384; ++i) emoji += "\xF0\x9F\x98\x80";  // two UTF-16 units each
  EXPECT_THROW(workbook.SetText(3, 1, emoji), Error);
  EXPECT_THROW(workbook.SetText(3, 1, std::string(Workbook::kMaxTextLength + 1, 'x')), Error);
  EXPECT_TRUE(workbook.Get(3, 1).IsEmpty());
  workbook.SetText(3, 1, emoji.substr(4) + "x");
  workbook.SetNumber(3, 2, 2);
  for (auto [row, column] :
       {std::pair{0, 1}, {1, 0}, {Workbook::kMaxRows + 1, 1}, {1, Workbook::kMaxColumns + 1}}) {
    EXPECT_THROW(workbook.SetNumber(row, column, 1), Error);
    EXPECT_THROW(workbook.Get(row, column), Error);
  }
  const Workbook back = Reopen(workbook);
  EXPECT_EQ(back.Get(Workbook::kMaxRows, Workbook::kMaxColumns), CellValue::Text("corner"));
  EXPECT_EQ(back.Get(2, 1).text.size(), 32767u);
  EXPECT_EQ(back.Get(3, 28), CellValue::Number(7));
  // Rows and cells in order, as Excel requires, under a fresh dimension.
  const std::string sheet = SheetOf(workbook);
  const std::regex reference("<(row|c) r=\"(\\w+)\"");
  std::string order;
  for (std::sregex_iterator it(sheet.begin(), sheet.end(), reference), end; it != end; ++it)
    order += (*it)[2].str() + " ";
  EXPECT_EQ(order, "2 A2 3 A3 B3 AB3 1048576 XFD1048576 ");
  EXPECT_NE(sheet.find("<dimension ref=\"A2:XFD1048576\"/>"), std::string::npos);
}

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
  heights.AddChart({"Line", "Distance (m)", "RL (m)", 2, 4, 1, {2}, 1, 1, 4, 20, 12, {}, ""});
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
  EXPECT_EQ(testing::Missing(PartOf(bytes, "xl/styles.xml") + PartOf(bytes, "xl/workbook.xml"),
                             {"<fonts count=\"2\">", "<fills count=\"3\">", "<borders count=\"2\">",
                              "<cellXfs count=\"5\">", "localSheetId=\"1\">Heights!$1:$1<"}),
            "");

  Workbook reopened = Workbook::OpenFromBytes(bytes, "network.xlsx");
  EXPECT_EQ(reopened.SheetNames(),
            (std::vector<std::string>{"Summary", "Heights", "Observations"}));
  EXPECT_EQ(reopened.ActiveSheetName(), "Summary");
  EXPECT_EQ(reopened.Sheet("OBSERVATIONS").Get(1, 1), CellValue::Text("obs"));
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
  tall.ActiveSheet().AddChart({"", "", "", 1, 10001, 1, {2}, 0, 1, 4, 20, 12, {}, ""});
  EXPECT_THAT(PartOf(tall.SaveToBytes(), part),
              ::testing::HasSubstr("<c:f>Tall!$B$1:$B$10001</c:f></c:numRef>"));
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
  // Every cell names its place, as the report's readers have always found
  // it; a compact table leaves out what follows from the cell before.
  const std::string xml = PartOf(book.SaveToBytes(), "xl/worksheets/sheet2.xml");
  EXPECT_NE(xml.find("<c r=\"B3000\""), std::string::npos);

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

  Workbook compact = Workbook::CreateBlank();
  compact.AddSheet("Table").StreamRows(
      2, 2, 2, [](int, RowWriter& out) { out.Number(1, 1), out.Number(2, 2); }, {.compact = true});
  const std::string compactXml = PartOf(compact.SaveToBytes(), "xl/worksheets/sheet2.xml");
  EXPECT_NE(compactXml.find("<row r=\"3\""), std::string::npos);
  EXPECT_EQ(compactXml.find("<c r="), std::string::npos);
}

// A long sheet changed at its head takes over the stored stream of its
// rest: the part reads back whole (its CRC checked), byte for byte below the
// head, after one such save and after a second one.
TEST(WorkbookSheets, a_long_sheet_changed_at_its_head_keeps_its_rest_as_it_was) {
  Workbook book = Workbook::CreateBlank();
  book.AddSheet("Long").StreamRows(1, 40000, 2, [](int row, RowWriter& out) {
    out.Number(1, row * 0.001);
    out.Text(2, "P" + std::to_string(row));
  });
  std::string bytes = book.SaveToBytes();
  const std::string part = "xl/worksheets/sheet2.xml";
  const std::string before = PartOf(bytes, part);
  const std::string rest = before.substr(before.find("<row r=\"3\""));
  for (const char* text : {"changed", "changed again, to a longer text"}) {
    Workbook patched = Workbook::OpenFromBytes(bytes, "saved");
    patched.SheetHead("Long", 2).SetText(1, 2, text);
    bytes = patched.SaveToBytes();
    const std::string after = PartOf(bytes, part);
    EXPECT_EQ(after.substr(after.find("<row r=\"3\"")), rest) << text;
    Workbook saved = Workbook::OpenFromBytes(bytes, "patched");
    Worksheet reread = saved.Sheet("Long");
    EXPECT_EQ(reread.Get(1, 2), CellValue::Text(text));
    EXPECT_EQ(reread.Get(40000, 2), CellValue::Text("P40000"));
  }
}

// Rows written on several threads, deflated there in blocks, read back in
// their order.
TEST(WorkbookSheets, a_long_table_written_on_several_threads_reads_back_in_order) {
  Workbook book = Workbook::CreateBlank();
  book.AddSheet("Long").StreamRows(
      2, 20000, 2,
      [](int row, RowWriter& out) {
        out.Number(1, row * 0.001);
        out.Text(2, "P" + std::to_string(row));
      },
      {.compact = true, .concurrent = true});
  Workbook saved = Workbook::OpenFromBytes(book.SaveToBytes(), "saved");
  Worksheet sheet = saved.Sheet("Long");
  EXPECT_EQ(sheet.LastRow(), 20001);
  for (int row : {2, 4097, 4098, 8194, 20001}) {
    EXPECT_EQ(sheet.Get(row, 1), CellValue::Number(row * 0.001)) << row;
    EXPECT_EQ(sheet.Get(row, 2), CellValue::Text("P" + std::to_string(row))) << row;
  }
}

// The parts of a blank package whose sheet holds `sheetData`.
Parts TemplateParts(const std::string& sheetData) {
  Parts parts = testing::PartsOf(Workbook::CreateBlank().SaveToBytes());
  SetPart(parts, kSheet,
          std::string("<?xml version=\"1.0\"?>\n<worksheet xmlns=\"") + kMain + "\">" + sheetData +
              "</worksheet>");
  return parts;
}

std::string PackageWith(const std::string& sheetData) {
  return xlsx::BuildPackage(TemplateParts(sheetData));
}

Workbook OpenParts(const Parts& parts) {
  return Workbook::OpenFromBytes(xlsx::BuildPackage(parts), "t.xlsx");
}

// A new cell takes its column's look and a written one keeps its own, as
// Excel shows them (LibreOffice shows a column's look on a plain cell anyway,
// so the printed report cannot tell). The default template's distance
// columns F to H have style 2, the readings' B to E style 1.
TEST(WorkbookStyles, a_new_cell_takes_its_columns_style_and_a_written_one_keeps_its_own) {
  Workbook workbook = MakeDefaultTemplate();
  for (int column : {1, 2, 6}) workbook.SetNumber(20, column, 1.5);
  workbook.SetText(9, 1, "Ref.");
  EXPECT_EQ(testing::Missing(SheetOf(workbook), {"<c r=\"A20\"><v>", "<c r=\"B20\" s=\"1\">",
                                                 "<c r=\"F20\" s=\"2\">", "<c r=\"A9\" s=\"4\""}),
            "");
}

// A template as Excel or another program may write it: the report sheet
// second and active, found through an absolute target, written with a
// namespace prefix, holding shared strings (rich text too), a boolean, an
// error, formulas and an inline string.
const char* const kCells[] = {
    "<x:c r=\"A1\" t=\"s\"><x:v>0</x:v></x:c>",
    "<x:c r=\"B1\" t=\"s\" s=\"1\"><x:v>1</x:v></x:c>",
    "<x:c r=\"C1\" t=\"s\"><x:v>2</x:v></x:c>",
    "<x:c r=\"D1\" t=\"b\"><x:v>1</x:v></x:c>",
    "<x:c r=\"E1\" t=\"e\"><x:v>#DIV/0!</x:v></x:c>",
    "<x:c r=\"F1\" t=\"str\"><x:f>\"a\"&amp;\"b\"</x:f><x:v>ab</x:v></x:c>",
    "<x:c r=\"G1\"><x:f>1+1</x:f><x:v>2</x:v></x:c>",
    "<x:c r=\"H1\" t=\"inlineStr\"><x:is><x:t>in_x000D_line</x:t></x:is></x:c>"};

Parts TwoSheetParts(const std::string& activeTab = "1", const std::string& type = "worksheet") {
  Parts parts = TemplateParts("<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row></sheetData>");
  SetPart(parts, "xl/workbook.xml",
          std::string("<?xml version=\"1.0\"?>\n<workbook xmlns=\"") + kMain + "\" xmlns:r=\"" +
              kRel + "\"><bookViews><workbookView activeTab=\"" + activeTab +
              "\"/></bookViews><sheets><sheet name=\"First\" sheetId=\"1\" r:id=\"rId1\"/>"
              "<sheet name=\"Second\" sheetId=\"7\" r:id=\"rId9\"/></sheets></workbook>");
  EditPart(parts, kRels, "<Relationship ",
           std::string("<Relationship Id=\"rId9\" Type=\"") + kRel + "/" + type +
               "\" Target=\"/xl/worksheets/other.xml\"/><Relationship Id=\"rId3\" Type=\"" + kRel +
               "/sharedStrings\" Target=\"sharedStrings.xml\"/><Relationship ");
  std::string row;
  for (const char* cell : kCells) row += cell;
  SetPart(parts, "xl/worksheets/other.xml",
          std::string("<?xml version=\"1.0\"?>\n<x:worksheet xmlns:x=\"") + kMain +
              "\"><x:sheetData><x:row r=\"1\">" + row + "</x:row></x:sheetData></x:worksheet>");
  SetPart(parts, "xl/sharedStrings.xml",
          std::string("<sst xmlns=\"") + kMain +
              "\" count=\"3\" uniqueCount=\"3\"><si><t>plain</t></si>"
              "<si><r><rPr><b/></rPr><t>ri</t></r><r><t xml:space=\"preserve\">ch </t></r>"
              "<rPh sb=\"0\" eb=\"1\"><t>PHONETIC</t></rPh></si><si><t>esc_x0041_</t></si></sst>");
  return parts;
}

TEST(WorkbookTemplate, the_active_sheet_and_cells_of_every_type_read_and_kept_verbatim) {
  const std::string original = xlsx::BuildPackage(TwoSheetParts());
  Workbook workbook = Workbook::OpenFromBytes(original, "two.xlsx");
  EXPECT_EQ(workbook.ActiveSheetName(), "Second");
  const CellValue expected[] = {CellValue::Text("plain"),   CellValue::Text("rich "),
                                CellValue::Text("escA"),    CellValue::Number(1),
                                CellValue::Text("#DIV/0!"), CellValue::Text("ab"),
                                CellValue::Number(2),       CellValue::Text("in\rline")};
  for (int column = 1; column <= 8; ++column)
    EXPECT_EQ(workbook.Get(1, column), expected[column - 1]) << column;
  workbook.SetNumber(1, 7, 3);  // a formula overwritten by a plain number
  workbook.SetText(2, 3, "new");
  const std::string bytes = workbook.SaveToBytes();
  const std::string other = PartOf(bytes, "xl/worksheets/other.xml");
  for (int i = 0; i < 6; ++i) EXPECT_NE(other.find(kCells[i]), std::string::npos) << kCells[i];
  EXPECT_EQ(
      testing::Missing(other, {"<x:c r=\"G1\"><x:v>3</x:v></x:c>",
                               "<x:c r=\"C2\" t=\"inlineStr\"><x:is><x:t>new</x:t></x:is></x:c>"}),
      "");
  EXPECT_EQ(other.find("1+1"), std::string::npos);
  EXPECT_EQ(other.find("<c "), std::string::npos);  // every cell keeps the prefix
  EXPECT_EQ(PartOf(bytes, kSheet, true), PartOf(original, kSheet, true));
  // No third tab; an active chart sheet.
  EXPECT_THROW(OpenParts(TwoSheetParts("2")), Error);
  EXPECT_THROW(OpenParts(TwoSheetParts("1", "chartsheet")), Error);
}

TEST(WorkbookTemplate, calc_chain_removed_everywhere) {
  Parts parts =
      TemplateParts("<sheetData><row r=\"1\"><c r=\"A1\"><f>2*3</f><v>6</v></c></row></sheetData>");
  SetPart(parts, "xl/calcChain.xml",
          std::string("<calcChain xmlns=\"") + kMain + "\"><c r=\"A1\" i=\"1\"/></calcChain>");
  EditPart(parts, kRels, "</Relationships>",
           std::string("<Relationship Id=\"rId5\" Type=\"") + kRel +
               "/calcChain\" Target=\"calcChain.xml\"/></Relationships>");
  EditPart(parts, "[Content_Types].xml", "</Types>",
           "<Override PartName=\"/xl/calcChain.xml\" ContentType=\"application/"
           "vnd.openxmlformats-officedocument.spreadsheetml.calcChain+xml\"/></Types>");
  Workbook workbook = OpenParts(parts);
  workbook.SetNumber(1, 1, 1);
  const std::string saved = workbook.SaveToBytes();
  EXPECT_EQ(PartOf(saved, "xl/calcChain.xml"), "");
  EXPECT_EQ((PartOf(saved, kRels) + PartOf(saved, "[Content_Types].xml")).find("calcChain"),
            std::string::npos);
  EXPECT_NE(PartOf(saved, kRels).find("worksheets/sheet1.xml"), std::string::npos);
}

TEST(WorkbookErrors, unreadable_packages_are_refused_naming_file_and_cause) {
  Parts noWorkbook = TemplateParts("<sheetData/>");
  SetPart(noWorkbook, "xl/workbook.xml", "");
  Parts brokenWorkbook = TemplateParts("<sheetData/>");
  SetPart(brokenWorkbook, "xl/workbook.xml", "<workbook><sheets>");
  const std::pair<std::string, const char*> cases[] = {
      {"just text, not a zip", "not a zip archive"},
      {xlsx::BuildPackage(noWorkbook), "no xl/workbook.xml"},
      {xlsx::BuildPackage(brokenWorkbook), "broken XML in xl/workbook.xml"},
      {PackageWith("\n<sheetData><row></sheetData>"),
       "broken XML in xl/worksheets/sheet1.xml at line 3"},
      {PackageWith("<sheetData><row r=\"0\"/></sheetData>"), "row"},
      {PackageWith("<sheetData><row><c r=\"XFE1\"/></row></sheetData>"), "XFE1"},
  };
  for (const auto& [bytes, cause] : cases)
    EXPECT_THAT([&] { Workbook::OpenFromBytes(bytes, "bad.xlsx"); },
                ::testing::ThrowsMessage<Error>(::testing::AllOf(
                    ::testing::StartsWith("bad.xlsx: "), ::testing::HasSubstr(cause))));
  // A package cut short (a copy that did not finish) is never read as a
  // workbook with less in it. Damaged bytes are left to fuzz_workbook.
  const std::string good = MakeDefaultTemplate().SaveToBytes();
  for (std::size_t cut = 0; cut < good.size(); cut += 37)
    EXPECT_THROW(Workbook::OpenFromBytes(good.substr(0, cut), "cut.xlsx"), Error) << cut;
}

}  // namespace
}  // namespace vireo
