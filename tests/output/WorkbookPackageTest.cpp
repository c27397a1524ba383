// Templates Excel or another program wrote: the active sheet, other cell
// types, a calculation chain, and packages that cannot be read. Number
// formats added to a template's own and new cells taking their column's
// format are checked on LibreOffice's template (WorkbookClientsTest) and on
// the printed report (ReportPrintTest).
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
  for (const auto& [bytes, cause] : cases) {
    try {
      Workbook::OpenFromBytes(bytes, "bad.xlsx");
      ADD_FAILURE() << "opened, expected " << cause;
    } catch (const Error& e) {
      EXPECT_EQ(e.File(), "bad.xlsx");
      EXPECT_NE(std::string(e.what()).find(cause), std::string::npos) << e.what();
    }
  }
  // A package cut short (a copy that did not finish) is never read as a
  // workbook with less in it. Damaged bytes are left to fuzz_workbook.
  const std::string good = MakeDefaultTemplate().SaveToBytes();
  for (std::size_t cut = 0; cut < good.size(); cut += 37)
    EXPECT_THROW(Workbook::OpenFromBytes(good.substr(0, cut), "cut.xlsx"), Error) << cut;
}

}  // namespace
}  // namespace vireo
