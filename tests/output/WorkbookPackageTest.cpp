// Templates another program wrote: styles, the active sheet, other cell
// types, parts kept or removed, and packages that cannot be read.
#include <gtest/gtest.h>

#include "common/Error.h"
#include "output/DefaultTemplate.h"
#include "output/Workbook.h"
#include "tests/support/Package.h"

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

// A custom number format 170, a bold centred xf 1 and an xf 2 in format 170.
const char kTemplateStyles[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
    "<numFmts count=\"1\"><numFmt numFmtId=\"170\" formatCode=\"0.0\"/></numFmts>"
    "<fonts count=\"2\"><font><sz val=\"11\"/></font><font><b/><sz val=\"11\"/></font></fonts>"
    "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
    "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
    "<borders count=\"1\"><border/></borders>"
    "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" "
    "borderId=\"0\"/></cellStyleXfs>"
    "<cellXfs count=\"3\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
    "<xf numFmtId=\"0\" fontId=\"1\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyFont=\"1\">"
    "<alignment horizontal=\"center\"/></xf>"
    "<xf numFmtId=\"170\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" "
    "applyNumberFormat=\"1\"/>"
    "</cellXfs></styleSheet>";

std::string SheetXml(const std::string& sheetData, const std::string& before = "",
                     const std::string& after = "") {
  return std::string("<?xml version=\"1.0\"?>\n<worksheet xmlns=\"") + kMain + "\" xmlns:r=\"" +
         kRel + "\">" + before + sheetData + after + "</worksheet>";
}

// The parts of a blank package with this sheet and, if given, these styles.
Parts TemplateParts(const std::string& sheet, const std::string& styles = "") {
  Parts parts = testing::PartsOf(Workbook::CreateBlank().SaveToBytes());
  SetPart(parts, kSheet, sheet);
  if (!styles.empty()) SetPart(parts, "xl/styles.xml", styles);
  return parts;
}

// A package of a blank workbook with this sheet data.
std::string PackageWith(const std::string& sheetData) {
  return xlsx::BuildPackage(TemplateParts(SheetXml(sheetData)));
}

Workbook OpenParts(const Parts& parts) {
  return Workbook::OpenFromBytes(xlsx::BuildPackage(parts), "t.xlsx");
}

std::string SavedSheet(const Workbook& workbook) {
  return PartOf(workbook.SaveToBytes(), kSheet);
}

TEST(WorkbookStyles, number_formats_added_once_above_the_templates_and_reused) {
  Workbook workbook = OpenParts(TemplateParts(
      SheetXml("<sheetData><row r=\"1\"><c r=\"A1\" s=\"1\"><v>1</v></c></row></sheetData>"),
      kTemplateStyles));
  workbook.SetNumber(1, 1, 1.5, "0.00000");  // bold: a bold xf with the format
  workbook.SetNumber(2, 1, 2.5, "0.00000");  // plain
  workbook.SetNumber(3, 1, 3.5, "0.00000");  // plain again: reused
  workbook.SetNumber(4, 1, 4.5, "0.0");      // the template's own format and xf
  EXPECT_THROW(workbook.SetNumber(5, 1, 1, std::string("0\x01", 2)), Error);
  const std::string bytes = workbook.SaveToBytes();
  // The template's styles with one format and two cell formats (bold and
  // plain) added at the ends.
  std::string expected = kTemplateStyles;
  const char* xf = "<xf numFmtId=\"171\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"";
  for (const auto& [from, to] : std::initializer_list<std::pair<std::string, std::string>>{
           {"?>\n", "?>"},
           {"<numFmts count=\"1\">", "<numFmts count=\"2\">"},
           {"</numFmts>", "<numFmt numFmtId=\"171\" formatCode=\"0.00000\"/></numFmts>"},
           {"<cellXfs count=\"3\">", "<cellXfs count=\"5\">"},
           {"</cellXfs>", testing::Replaced(xf, "fontId=\"0\"", "fontId=\"1\"") +
                              " applyFont=\"1\" applyNumberFormat=\"1\"><alignment "
                              "horizontal=\"center\"/></xf>" +
                              xf + " applyNumberFormat=\"1\"/></cellXfs>"}})
    expected.replace(expected.find(from), from.size(), to);
  const std::string styles = PartOf(bytes, "xl/styles.xml");
  EXPECT_EQ(styles, expected);
  EXPECT_EQ(
      testing::Missing(PartOf(bytes, kSheet), {"<c r=\"A1\" s=\"3\">", "<c r=\"A2\" s=\"4\">",
                                               "<c r=\"A3\" s=\"4\">", "<c r=\"A4\" s=\"2\">"}),
      "");
  EXPECT_TRUE(workbook.Get(5, 1).IsEmpty());

  // Reopened: the format is found, not added again.
  Workbook again = Workbook::OpenFromBytes(bytes, "again.xlsx");
  again.SetNumber(9, 1, 1, "0.00000");
  EXPECT_EQ(PartOf(again.SaveToBytes(), "xl/styles.xml"), styles);
  // A blank workbook's first own format takes the first custom id.
  Workbook blank = Workbook::CreateBlank();
  blank.SetNumber(1, 1, 1, "0.00000");
  EXPECT_NE(PartOf(blank.SaveToBytes(), "xl/styles.xml")
                .find("<numFmt numFmtId=\"164\" formatCode=\"0.00000\"/>"),
            std::string::npos);
}

TEST(WorkbookStyles, new_cells_take_row_then_column_style_and_overwritten_keep_theirs) {
  Workbook workbook = OpenParts(TemplateParts(
      SheetXml("<sheetData><row r=\"3\" spans=\"1:3\" s=\"1\" customFormat=\"1\" ht=\"20\" "
               "customHeight=\"1\"><c r=\"A3\" s=\"2\"><v>1</v></c></row>"
               "<row r=\"4\" s=\"1\"><c r=\"A4\"><v>1</v></c></row></sheetData>",
               "<dimension ref=\"A3:A4\"/><cols><col min=\"3\" max=\"4\" width=\"9\" style=\"2\" "
               "customWidth=\"1\"/></cols>"),
      kTemplateStyles));
  workbook.SetNumber(3, 1, 5);  // existing: keeps s=2
  workbook.SetNumber(3, 3, 5);  // row style wins over column style
  workbook.SetNumber(4, 2, 5);  // row 4 has s but no customFormat
  workbook.SetNumber(4, 4, 5);  // column style
  workbook.SetNumber(7, 9, 5);  // nothing: 0
  // Row attributes survive, spans (now stale) does not.
  const std::string out = SavedSheet(workbook);
  EXPECT_EQ(testing::Missing(out, {"<c r=\"A3\" s=\"2\"><v>5</v>", "<c r=\"C3\" s=\"1\"><v>5</v>",
                                   "<c r=\"B4\"><v>5</v>", "<c r=\"D4\" s=\"2\"><v>5</v>",
                                   "<c r=\"I7\"><v>5</v>", "<dimension ref=\"A3:I7\"/>",
                                   "<row r=\"3\" s=\"1\" customFormat=\"1\" ht=\"20\" "
                                   "customHeight=\"1\">"}),
            "");
  EXPECT_EQ(out.find("spans"), std::string::npos);
}

// Two sheets, the second active, found through an absolute target and
// written with a namespace prefix.
Parts TwoSheetParts(const std::string& activeTab = "1", const std::string& type = "worksheet") {
  Parts parts =
      TemplateParts(SheetXml("<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row></sheetData>"));
  SetPart(parts, "xl/workbook.xml",
          std::string("<?xml version=\"1.0\"?>\n<workbook xmlns=\"") + kMain + "\" xmlns:r=\"" +
              kRel + "\"><bookViews><workbookView activeTab=\"" + activeTab +
              "\"/></bookViews><sheets><sheet name=\"First\" sheetId=\"1\" r:id=\"rId1\"/>"
              "<sheet name=\"Second\" sheetId=\"7\" r:id=\"rId9\"/></sheets></workbook>");
  EditPart(parts, kRels, "<Relationship ",
           std::string("<Relationship Id=\"rId9\" Type=\"") + kRel + "/" + type +
               "\" Target=\"/xl/worksheets/other.xml\"/><Relationship ");
  SetPart(parts, "xl/worksheets/other.xml",
          std::string("<?xml version=\"1.0\"?>\n<x:worksheet xmlns:x=\"") + kMain +
              "\"><x:sheetData><x:row r=\"2\"><x:c r=\"B2\" t=\"inlineStr\"><x:is><x:t>second"
              "</x:t></x:is></x:c></x:row></x:sheetData></x:worksheet>");
  return parts;
}

TEST(WorkbookSheets, the_active_sheet_is_found_through_its_relationship_or_refused) {
  const std::string original = xlsx::BuildPackage(TwoSheetParts());
  Workbook workbook = Workbook::OpenFromBytes(original, "two.xlsx");
  EXPECT_EQ(workbook.ActiveSheetName(), "Second");
  EXPECT_EQ(workbook.Get(2, 2), CellValue::Text("second"));
  EXPECT_TRUE(workbook.Get(1, 1).IsEmpty());
  workbook.SetNumber(1, 1, 42);
  workbook.SetText(2, 3, "new");
  const std::string bytes = workbook.SaveToBytes();
  const std::string other = PartOf(bytes, "xl/worksheets/other.xml");
  EXPECT_EQ(
      testing::Missing(other, {"<x:row r=\"1\"><x:c r=\"A1\"><x:v>42</x:v></x:c></x:row>",
                               "<x:c r=\"C2\" t=\"inlineStr\"><x:is><x:t>new</x:t></x:is></x:c>"}),
      "");
  EXPECT_EQ(other.find("<c "), std::string::npos);
  EXPECT_EQ(PartOf(bytes, kSheet, true), PartOf(original, kSheet, true));

  // No third tab; an active chart sheet.
  EXPECT_THROW(OpenParts(TwoSheetParts("2")), Error);
  try {
    OpenParts(TwoSheetParts("1", "chartsheet"));
    FAIL() << "a chart sheet was taken";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("chart"), std::string::npos) << e.what();
  }
}

TEST(WorkbookTemplate, other_cell_types_read_and_kept_verbatim) {
  const std::string cells[] = {
      "<c r=\"A1\" t=\"s\"><v>0</v></c>",
      "<c r=\"B1\" t=\"s\" s=\"1\"><v>1</v></c>",
      "<c r=\"C1\" t=\"s\"><v>2</v></c>",
      "<c r=\"D1\" t=\"b\"><v>1</v></c>",
      "<c r=\"E1\" t=\"e\"><v>#DIV/0!</v></c>",
      "<c r=\"F1\" t=\"str\"><f>\"a\"&amp;\"b\"</f><v>ab</v></c>",
      "<c r=\"G1\"><f>1+1</f><v>2</v></c>",
      "<c r=\"H1\" t=\"inlineStr\"><is><t>in_x000D_line</t></is></c>",
  };
  std::string row = "<row r=\"1\">";
  for (const std::string& c : cells) row += c;
  Parts parts = TemplateParts(SheetXml("<sheetData>" + row + "</row></sheetData>"));
  SetPart(parts, "xl/sharedStrings.xml",
          std::string("<sst xmlns=\"") + kMain +
              "\" count=\"3\" uniqueCount=\"3\"><si><t>plain</t></si>"
              "<si><r><rPr><b/></rPr><t>ri</t></r><r><t xml:space=\"preserve\">ch </t></r>"
              "<rPh sb=\"0\" eb=\"1\"><t>PHONETIC</t></rPh></si><si><t>esc_x0041_</t></si></sst>");
  EditPart(parts, kRels, "</Relationships>",
           std::string("<Relationship Id=\"rId3\" Type=\"") + kRel +
               "/sharedStrings\" Target=\"sharedStrings.xml\"/></Relationships>");
  Workbook workbook = OpenParts(parts);
  const CellValue expected[] = {CellValue::Text("plain"),   CellValue::Text("rich "),
                                CellValue::Text("escA"),    CellValue::Number(1),
                                CellValue::Text("#DIV/0!"), CellValue::Text("ab"),
                                CellValue::Number(2),       CellValue::Text("in\rline")};
  for (int column = 1; column <= 8; ++column)
    EXPECT_EQ(workbook.Get(1, column), expected[column - 1]) << column;
  workbook.SetNumber(1, 9, 9);
  workbook.SetNumber(1, 7, 3);  // a formula overwritten by a plain number
  const std::string sheet = SavedSheet(workbook);
  for (int i = 0; i < 6; ++i) EXPECT_NE(sheet.find(cells[i]), std::string::npos) << cells[i];
  EXPECT_NE(sheet.find("<c r=\"G1\"><v>3</v></c>"), std::string::npos);
  EXPECT_EQ(sheet.find("1+1"), std::string::npos);
}

TEST(WorkbookTemplate, calc_chain_removed_everywhere) {
  Parts parts = TemplateParts(
      SheetXml("<sheetData><row r=\"1\"><c r=\"A1\"><f>2*3</f><v>6</v></c></row></sheetData>"));
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
  Parts noWorkbook = TemplateParts(SheetXml("<sheetData/>"));
  SetPart(noWorkbook, "xl/workbook.xml", "");
  Parts brokenWorkbook = TemplateParts(SheetXml("<sheetData/>"));
  SetPart(brokenWorkbook, "xl/workbook.xml", "<workbook><sheets>");
  const std::pair<std::string, const char*> cases[] = {
      {"just text, not a zip", "not a zip archive"},
      {"", "not a zip"},
      {xlsx::BuildPackage(noWorkbook), "no xl/workbook.xml"},
      {xlsx::BuildPackage(brokenWorkbook), "broken XML in xl/workbook.xml"},
      {xlsx::BuildPackage(
           TemplateParts(std::string("<?xml version=\"1.0\"?>\n<worksheet xmlns=\"") + kMain +
                         "\">\n<sheetData><row></sheetData>")),
       "broken XML in xl/worksheets/sheet1.xml at line 3"},
      {PackageWith("<sheetData><row r=\"0\"/></sheetData>"), "row"},
      {PackageWith("<sheetData><row><c r=\"XFE1\"/></row></sheetData>"), "XFE1"},
  };
  for (const auto& [bytes, cause] : cases) {
    try {
      Workbook::OpenFromBytes(bytes, "bad.xlsx");
      ADD_FAILURE() << "opened, expected " << cause;
    } catch (const Error& e) {
      EXPECT_EQ(e.File(), "bad.xlsx");
      EXPECT_NE(std::string(e.what()).find(cause), std::string::npos) << e.what();
    }
  }
}

// A package cut short (a copy that did not finish) is refused, never read
// as a workbook with less in it. Damaged bytes are left to fuzz_workbook.
TEST(WorkbookErrors, a_cut_package_is_refused) {
  Workbook source = MakeDefaultTemplate();
  source.SetText(10, 1, "BM1");
  const std::string good = source.SaveToBytes();
  for (std::size_t cut = 0; cut < good.size(); cut += 37)
    EXPECT_THROW(Workbook::OpenFromBytes(good.substr(0, cut), "cut.xlsx"), Error) << cut;
}

}  // namespace
}  // namespace vireo
