// The package around the cells: styles, the active sheet, parts kept or
// removed, errors, and atomic saving.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "common/Error.h"
#include "output/DefaultTemplate.h"
#include "output/Workbook.h"
#include "tests/output/ZipPackage.h"

namespace vireo {
namespace {

using test::Entries;
using test::Entry;
using test::HandMadeParts;
using test::MakeZip;
using test::SheetXml;

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

Workbook OpenParts(const test::Parts& parts) {
  return Workbook::OpenFromBytes(MakeZip(parts), "t.xlsx");
}

pugi::xml_node CellXfs(pugi::xml_document& doc, const std::string& styles) {
  doc.load_string(styles.c_str());
  return doc.child("styleSheet").child("cellXfs");
}

TEST(WorkbookStyles, number_format_added_once_above_template_ids_and_reused) {
  Workbook workbook = OpenParts(HandMadeParts(
      SheetXml("<sheetData><row r=\"1\"><c r=\"A1\" s=\"1\"><v>1</v></c></row></sheetData>"),
      kTemplateStyles));
  workbook.SetNumber(1, 1, 1.5, "0.00000");  // bold: a bold xf with the format
  workbook.SetNumber(2, 1, 2.5, "0.00000");  // plain
  workbook.SetNumber(3, 1, 3.5, "0.00000");  // plain again: reused
  workbook.SetNumber(4, 1, 4.5, "0.0");      // the template's own format and xf
  const std::string bytes = workbook.SaveToBytes();
  const std::string styles = Entry(bytes, "xl/styles.xml");
  pugi::xml_document doc;
  pugi::xml_node xfs = CellXfs(doc, styles);
  pugi::xml_node numFmts = doc.child("styleSheet").child("numFmts");
  EXPECT_STREQ(numFmts.attribute("count").value(), "2");
  EXPECT_STREQ(numFmts.last_child().attribute("numFmtId").value(), "171");
  EXPECT_STREQ(numFmts.last_child().attribute("formatCode").value(), "0.00000");
  EXPECT_STREQ(xfs.attribute("count").value(), "5");
  // The template's xfs come first, unchanged.
  const std::string original(kTemplateStyles);
  const auto begin = original.find("<cellXfs"), end = original.find("</cellXfs>");
  const std::string templateXfs =
      original.substr(original.find('>', begin) + 1, end - original.find('>', begin) - 1);
  EXPECT_NE(styles.find(templateXfs), std::string::npos);
  pugi::xml_node bold = xfs.find_child_by_attribute("fontId", "1").next_sibling().next_sibling();
  EXPECT_STREQ(bold.attribute("numFmtId").value(), "171");
  EXPECT_STREQ(bold.attribute("fontId").value(), "1");
  EXPECT_STREQ(bold.attribute("applyNumberFormat").value(), "1");
  EXPECT_STREQ(bold.child("alignment").attribute("horizontal").value(), "center");

  const std::string sheet = Entry(bytes, "xl/worksheets/sheet1.xml");
  EXPECT_NE(sheet.find("<c r=\"A1\" s=\"3\">"), std::string::npos);
  EXPECT_NE(sheet.find("<c r=\"A2\" s=\"4\">"), std::string::npos);
  EXPECT_NE(sheet.find("<c r=\"A3\" s=\"4\">"), std::string::npos);
  EXPECT_NE(sheet.find("<c r=\"A4\" s=\"2\">"), std::string::npos);

  // Reopened: the format is found, not added again.
  Workbook again = Workbook::OpenFromBytes(bytes, "again.xlsx");
  again.SetNumber(9, 1, 1, "0.00000");
  EXPECT_EQ(Entry(again.SaveToBytes(), "xl/styles.xml"), styles);
}

TEST(WorkbookStyles, blank_workbook_gets_first_custom_id) {
  Workbook workbook = Workbook::CreateBlank();
  workbook.SetNumber(1, 1, 1, "0.00000");
  const std::string styles = Entry(workbook.SaveToBytes(), "xl/styles.xml");
  EXPECT_NE(styles.find("<numFmt numFmtId=\"164\" formatCode=\"0.00000\"/>"), std::string::npos);
  EXPECT_THROW(workbook.SetNumber(2, 1, 1, std::string("0\x01", 2)), Error);
  EXPECT_TRUE(workbook.Get(2, 1).IsEmpty());
}

TEST(WorkbookStyles, new_cells_take_row_then_column_style_and_overwritten_keep_theirs) {
  const std::string sheet = SheetXml(
      "<sheetData><row r=\"3\" spans=\"1:3\" s=\"1\" customFormat=\"1\" ht=\"20\" "
      "customHeight=\"1\">"
      "<c r=\"A3\" s=\"2\"><v>1</v></c></row>"
      "<row r=\"4\" s=\"1\"><c r=\"A4\"><v>1</v></c></row></sheetData>",
      "<dimension ref=\"A3:A4\"/><cols><col min=\"3\" max=\"4\" width=\"9\" style=\"2\" "
      "customWidth=\"1\"/></cols>");
  Workbook workbook = OpenParts(HandMadeParts(sheet, kTemplateStyles));
  workbook.SetNumber(3, 1, 5);  // existing: keeps s=2
  workbook.SetNumber(3, 3, 5);  // row style wins over column style
  workbook.SetNumber(4, 2, 5);  // row 4 has s but no customFormat
  workbook.SetNumber(4, 4, 5);  // column style
  workbook.SetNumber(7, 9, 5);  // nothing: 0
  const std::string out = Entry(workbook.SaveToBytes(), "xl/worksheets/sheet1.xml");
  EXPECT_NE(out.find("<c r=\"A3\" s=\"2\"><v>5</v>"), std::string::npos);
  EXPECT_NE(out.find("<c r=\"C3\" s=\"1\"><v>5</v>"), std::string::npos);
  EXPECT_NE(out.find("<c r=\"B4\"><v>5</v>"), std::string::npos);
  EXPECT_NE(out.find("<c r=\"D4\" s=\"2\"><v>5</v>"), std::string::npos);
  EXPECT_NE(out.find("<c r=\"I7\"><v>5</v>"), std::string::npos);
  // Row attributes survive, spans (now stale) does not.
  EXPECT_NE(out.find("<row r=\"3\" s=\"1\" customFormat=\"1\" ht=\"20\" customHeight=\"1\">"),
            std::string::npos);
  EXPECT_EQ(out.find("spans"), std::string::npos);
  EXPECT_NE(out.find("<dimension ref=\"A3:I7\"/>"), std::string::npos);
}

TEST(WorkbookStyles, missing_styles_part_created_with_relationship_and_content_type) {
  Workbook workbook = OpenParts(HandMadeParts(SheetXml("<sheetData/>")));
  workbook.SetNumber(1, 1, 2, "0.00000");
  const std::string bytes = workbook.SaveToBytes();
  EXPECT_NE(Entry(bytes, "xl/styles.xml").find("formatCode=\"0.00000\""), std::string::npos);
  EXPECT_NE(Entry(bytes, "xl/_rels/workbook.xml.rels").find("Target=\"styles.xml\""),
            std::string::npos);
  EXPECT_NE(Entry(bytes, "[Content_Types].xml").find("PartName=\"/xl/styles.xml\""),
            std::string::npos);
  EXPECT_EQ(Entries(bytes).front().first, "[Content_Types].xml");
}

test::Parts TwoSheetParts() {
  test::Parts parts =
      HandMadeParts(SheetXml("<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row></sheetData>"));
  test::ReplacePart(parts, "xl/workbook.xml",
                    test::Declaration() + "<workbook xmlns=\"" + test::kMain + "\" xmlns:r=\"" +
                        test::kRel +
                        "\"><bookViews><workbookView activeTab=\"1\"/></bookViews><sheets>"
                        "<sheet name=\"First\" sheetId=\"1\" r:id=\"rId1\"/>"
                        "<sheet name=\"Second\" sheetId=\"7\" r:id=\"rId9\"/></sheets></workbook>");
  test::ReplacePart(
      parts, "xl/_rels/workbook.xml.rels",
      test::Declaration() +
          "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
          "<Relationship Id=\"rId9\" Type=\"" +
          test::kRel +
          "/worksheet\" Target=\"/xl/worksheets/other.xml\"/>"
          "<Relationship Id=\"rId1\" Type=\"" +
          test::kRel + "/worksheet\" Target=\"worksheets/sheet1.xml\"/></Relationships>");
  parts.emplace_back("xl/worksheets/other.xml",
                     test::Declaration() + "<x:worksheet xmlns:x=\"" + test::kMain +
                         "\"><x:sheetData><x:row r=\"2\"><x:c r=\"B2\" "
                         "t=\"inlineStr\"><x:is><x:t>second</x:t></x:is></x:c>"
                         "</x:row></x:sheetData></x:worksheet>");
  return parts;
}

TEST(WorkbookSheets, active_sheet_not_first_with_absolute_target_and_prefix) {
  const std::string original = MakeZip(TwoSheetParts());
  Workbook workbook = Workbook::OpenFromBytes(original, "two.xlsx");
  EXPECT_EQ(workbook.ActiveSheetName(), "Second");
  EXPECT_EQ(workbook.Get(2, 2), CellValue::Text("second"));
  EXPECT_TRUE(workbook.Get(1, 1).IsEmpty());
  workbook.SetNumber(1, 1, 42);
  workbook.SetText(2, 3, "new");
  const std::string bytes = workbook.SaveToBytes();
  const std::string other = Entry(bytes, "xl/worksheets/other.xml");
  EXPECT_NE(other.find("<x:row r=\"1\"><x:c r=\"A1\"><x:v>42</x:v></x:c></x:row>"),
            std::string::npos);
  EXPECT_NE(other.find("<x:c r=\"C2\" t=\"inlineStr\"><x:is><x:t>new</x:t></x:is></x:c>"),
            std::string::npos);
  EXPECT_EQ(other.find("<c "), std::string::npos);
  EXPECT_EQ(Entry(bytes, "xl/worksheets/sheet1.xml", true),
            Entry(original, "xl/worksheets/sheet1.xml", true));
  EXPECT_EQ(Workbook::OpenFromBytes(bytes, "b").Get(1, 1), CellValue::Number(42));
}

TEST(WorkbookSheets, unusable_active_sheet_refused) {
  test::Parts parts = TwoSheetParts();
  std::string workbook = parts[2].second;
  test::ReplacePart(parts, "xl/workbook.xml",
                    workbook.replace(workbook.find("activeTab=\"1\""), 13, "activeTab=\"2\""));
  EXPECT_THROW(OpenParts(parts), Error);

  parts = TwoSheetParts();
  std::string rels = parts[3].second;
  rels.replace(rels.find("/worksheet\" Target=\"/xl"), 10, "/chartsheet");
  test::ReplacePart(parts, "xl/_rels/workbook.xml.rels", rels);
  try {
    OpenParts(parts);
    FAIL() << "a chart sheet was taken";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("chart"), std::string::npos) << e.what();
  }
}

TEST(WorkbookTemplate, other_cell_types_read_and_kept_verbatim) {
  const std::string sst =
      test::Declaration() + "<sst xmlns=\"" + test::kMain +
      "\" count=\"3\" uniqueCount=\"3\">"
      "<si><t>plain</t></si>"
      "<si><r><rPr><b/></rPr><t>ri</t></r><r><t xml:space=\"preserve\">ch </t></r>"
      "<rPh sb=\"0\" eb=\"1\"><t>PHONETIC</t></rPh></si>"
      "<si><t>esc_x0041_</t></si></sst>";
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
  test::Parts parts =
      HandMadeParts(SheetXml("<sheetData>" + row + "</row></sheetData>"), kTemplateStyles);
  parts.emplace_back("xl/sharedStrings.xml", sst);
  std::string rels = parts[3].second;
  rels.insert(rels.find("</Relationships>"), "<Relationship Id=\"rId3\" Type=\"" +
                                                 std::string(test::kRel) +
                                                 "/sharedStrings\" Target=\"sharedStrings.xml\"/>");
  test::ReplacePart(parts, "xl/_rels/workbook.xml.rels", rels);
  Workbook workbook = OpenParts(parts);
  EXPECT_EQ(workbook.Get(1, 1), CellValue::Text("plain"));
  EXPECT_EQ(workbook.Get(1, 2), CellValue::Text("rich "));
  EXPECT_EQ(workbook.Get(1, 3), CellValue::Text("escA"));
  EXPECT_EQ(workbook.Get(1, 4), CellValue::Number(1));
  EXPECT_EQ(workbook.Get(1, 5), CellValue::Text("#DIV/0!"));
  EXPECT_EQ(workbook.Get(1, 6), CellValue::Text("ab"));
  EXPECT_EQ(workbook.Get(1, 7), CellValue::Number(2));
  EXPECT_EQ(workbook.Get(1, 8), CellValue::Text("in\rline"));
  workbook.SetNumber(1, 9, 9);
  workbook.SetNumber(1, 7, 3);  // a formula overwritten by a plain number
  const std::string sheet = Entry(workbook.SaveToBytes(), "xl/worksheets/sheet1.xml");
  for (int i = 0; i < 6; ++i) EXPECT_NE(sheet.find(cells[i]), std::string::npos) << cells[i];
  EXPECT_NE(sheet.find("<c r=\"G1\"><v>3</v></c>"), std::string::npos);
  EXPECT_EQ(sheet.find("1+1"), std::string::npos);
}

TEST(WorkbookTemplate, calc_chain_removed_everywhere) {
  test::Parts parts = HandMadeParts(
      SheetXml("<sheetData><row r=\"1\"><c r=\"A1\"><f>2*3</f><v>6</v></c></row></sheetData>"));
  parts.emplace_back("xl/calcChain.xml", test::Declaration() + "<calcChain xmlns=\"" + test::kMain +
                                             "\"><c r=\"A1\" i=\"1\"/></calcChain>");
  std::string rels = parts[3].second;
  rels.insert(rels.find("</Relationships>"), "<Relationship Id=\"rId5\" Type=\"" +
                                                 std::string(test::kRel) +
                                                 "/calcChain\" Target=\"calcChain.xml\"/>");
  test::ReplacePart(parts, "xl/_rels/workbook.xml.rels", rels);
  std::string types = parts[0].second;
  types.insert(types.find("</Types>"),
               "<Override PartName=\"/xl/calcChain.xml\" "
               "ContentType=\"application/"
               "vnd.openxmlformats-officedocument.spreadsheetml.calcChain+xml\"/>");
  test::ReplacePart(parts, "[Content_Types].xml", types);
  Workbook workbook = OpenParts(parts);
  workbook.SetNumber(1, 1, 1);
  const std::string bytes = workbook.SaveToBytes();
  EXPECT_FALSE(test::HasEntry(bytes, "xl/calcChain.xml"));
  EXPECT_EQ(Entry(bytes, "xl/_rels/workbook.xml.rels").find("calcChain"), std::string::npos);
  EXPECT_EQ(Entry(bytes, "[Content_Types].xml").find("calcChain"), std::string::npos);
  EXPECT_NE(Entry(bytes, "xl/_rels/workbook.xml.rels").find("worksheets/sheet1.xml"),
            std::string::npos);
}

TEST(WorkbookTemplate, everything_around_the_cells_kept) {
  const std::string head =
      "<sheetPr><pageSetUpPr fitToPage=\"1\"/></sheetPr><dimension ref=\"A1:B2\"/>"
      "<sheetViews><sheetView workbookViewId=\"0\"><pane ySplit=\"8\" topLeftCell=\"A9\" "
      "state=\"frozen\"/>"
      "</sheetView></sheetViews>\n  <cols><col min=\"1\" max=\"1\" width=\"30\" "
      "customWidth=\"1\"/></cols>";
  const std::string tail =
      "<mergeCells count=\"1\"><mergeCell ref=\"A1:B1\"/></mergeCells>"
      "<pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" "
      "footer=\"0.3\"/>"
      "<pageSetup paperSize=\"9\" orientation=\"landscape\"/>\n<!-- kept -->";
  const std::string original =
      MakeZip(HandMadeParts(SheetXml("<sheetData><row r=\"1\"><c r=\"A1\" "
                                     "t=\"inlineStr\"><is><t>Title</t></is></c></row></sheetData>",
                                     head, tail),
                            kTemplateStyles));
  Workbook workbook = Workbook::OpenFromBytes(original, "t.xlsx");
  workbook.SetNumber(12, 3, 1.25);
  const std::string bytes = workbook.SaveToBytes();
  const std::string sheet = Entry(bytes, "xl/worksheets/sheet1.xml");
  std::string expectedHead = head;
  expectedHead.replace(expectedHead.find("A1:B2"), 5, "A1:C12");
  EXPECT_NE(sheet.find(expectedHead + "<sheetData>"), std::string::npos) << sheet;
  EXPECT_NE(sheet.find("</sheetData>" + tail + "</worksheet>"), std::string::npos) << sheet;
  EXPECT_EQ(sheet.substr(0, 5), "<?xml");
  // Every other entry is exactly as stored in the template.
  auto before = Entries(original, true), after = Entries(bytes, true);
  ASSERT_EQ(before.size(), after.size());
  for (const auto& [name, data] : before) {
    if (name == "xl/worksheets/sheet1.xml") continue;
    EXPECT_EQ(Entry(bytes, name, true), data) << name;
  }
}

TEST(WorkbookTemplate, duplicate_and_unordered_template_rows_merged) {
  Workbook workbook = OpenParts(HandMadeParts(
      SheetXml("<sheetData><row r=\"5\"><c r=\"B5\"><v>2</v></c><c r=\"A5\"><v>1</v></c></row>"
               "<row r=\"2\"><c><v>3</v></c><c><v>4</v></c></row>"
               "<row r=\"5\"><c r=\"C5\"><v>5</v></c></row></sheetData>")));
  EXPECT_EQ(workbook.Get(5, 1), CellValue::Number(1));
  EXPECT_EQ(workbook.Get(2, 2), CellValue::Number(4));
  EXPECT_EQ(workbook.Get(5, 3), CellValue::Number(5));
  workbook.SetNumber(1, 1, 0);
  const std::string sheet = Entry(workbook.SaveToBytes(), "xl/worksheets/sheet1.xml");
  EXPECT_NE(
      sheet.find("<row r=\"1\"><c r=\"A1\"><v>0</v></c></row><row r=\"2\"><c r=\"A2\"><v>3</v></c>"
                 "<c r=\"B2\"><v>4</v></c></row><row r=\"5\"><c r=\"A5\"><v>1</v></c>"),
      std::string::npos)
      << sheet;
}

std::string ErrorOf(const std::string& bytes) {
  try {
    Workbook::OpenFromBytes(bytes, "bad.xlsx");
  } catch (const Error& e) {
    EXPECT_EQ(e.File(), "bad.xlsx");
    return e.what();
  }
  return "";
}

TEST(WorkbookErrors, unreadable_packages_named) {
  EXPECT_NE(ErrorOf("just text, not a zip").find("not a zip archive"), std::string::npos);
  EXPECT_NE(ErrorOf("").find("not a zip"), std::string::npos);

  test::Parts parts = HandMadeParts(SheetXml("<sheetData/>"));
  parts.erase(parts.begin() + 2);  // xl/workbook.xml
  EXPECT_NE(ErrorOf(MakeZip(parts)).find("no xl/workbook.xml"), std::string::npos);

  const std::string broken =
      ErrorOf(MakeZip(HandMadeParts(test::Declaration() + "<worksheet xmlns=\"" + test::kMain +
                                    "\">\n<sheetData><row></sheetData>")));
  EXPECT_NE(broken.find("broken XML in xl/worksheets/sheet1.xml at line 3"), std::string::npos)
      << broken;

  parts = HandMadeParts(SheetXml("<sheetData/>"));
  test::ReplacePart(parts, "xl/workbook.xml", "<workbook><sheets>");
  EXPECT_NE(ErrorOf(MakeZip(parts)).find("broken XML in xl/workbook.xml"), std::string::npos);

  EXPECT_NE(ErrorOf(MakeZip(HandMadeParts(SheetXml("<sheetData><row r=\"0\"/></sheetData>"))))
                .find("row"),
            std::string::npos);
  EXPECT_NE(
      ErrorOf(MakeZip(HandMadeParts(SheetXml("<sheetData><row><c r=\"XFE1\"/></row></sheetData>"))))
          .find("XFE1"),
      std::string::npos);
}

// Cut and damaged packages must give an Error or a workbook, nothing worse.
TEST(WorkbookErrors, damaged_bytes_never_crash) {
  Workbook source = MakeDefaultTemplate();
  source.SetText(10, 1, "BM1");
  source.SetNumber(10, 2, 1.5, "0.00000");
  const std::string good = source.SaveToBytes();
  int opened = 0;
  for (std::size_t cut = 0; cut < good.size(); cut += 37) {
    try {
      Workbook::OpenFromBytes(good.substr(0, cut), "cut.xlsx").SaveToBytes();
      ++opened;
    } catch (const Error&) {
    }
  }
  for (std::size_t at = 0; at < good.size(); at += 13) {
    std::string damaged = good;
    damaged[at] = static_cast<char>(damaged[at] ^ 0x5A);
    try {
      Workbook w = Workbook::OpenFromBytes(damaged, "damaged.xlsx");
      w.SetNumber(3, 3, 1);
      w.SaveToBytes();
    } catch (const Error&) {
    }
  }
  EXPECT_EQ(opened, 0);  // no cut package is complete
}

// Fails every rename; everything else goes to the real file system.
class RenameFails : public FileSystem {
 public:
  std::unique_ptr<InputStream> OpenForReading(const std::string& p) override {
    return RealFileSystem().OpenForReading(p);
  }
  std::unique_ptr<OutputStream> Create(const std::string& p) override {
    return RealFileSystem().Create(p);
  }
  void Rename(const std::string&, const std::string& to) override {
    throw Error(to, "replace", "refused by the test");
  }
  void Remove(const std::string& p) override { RealFileSystem().Remove(p); }
  void CreateFolder(const std::string& p) override { RealFileSystem().CreateFolder(p); }
  bool Exists(const std::string& p) override { return RealFileSystem().Exists(p); }
};

TEST(WorkbookSave, failed_rename_leaves_old_file_and_no_temporary) {
  test::TempDir dir;
  const std::string path = dir / "Report.xlsx";
  Workbook first = Workbook::CreateBlank();
  first.SetText(1, 1, "old");
  first.Save(path);
  const std::string before = test::ReadFile(path);

  Workbook second = Workbook::Open(path);
  second.SetText(1, 1, "new");
  RenameFails failing;
  EXPECT_THROW(second.Save(path, failing), Error);
  EXPECT_EQ(test::ReadFile(path), before);
  auto others = [&] {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
      if (entry.path() != path) files.push_back(entry.path());
    return files;
  };
  EXPECT_TRUE(others().empty());

  EXPECT_THROW(second.Save(path, failing, ReplaceOptions{true}), Error);
  EXPECT_EQ(test::ReadFile(path), before);
  ASSERT_EQ(others().size(), 1u);
  EXPECT_EQ(Workbook::Open(others()[0]).Get(1, 1), CellValue::Text("new"));

  second.Save(path);  // and over the old file for real
  EXPECT_EQ(Workbook::Open(path).Get(1, 1), CellValue::Text("new"));
  EXPECT_THROW(Workbook::Open(dir / "missing.xlsx"), Error);
}

// How it prints is checked on LibreOffice's PDF (ReportPrintTest).
TEST(WorkbookSave, default_template_holds_the_report_formats_and_print_titles) {
  Workbook workbook = MakeDefaultTemplate();
  EXPECT_EQ(workbook.LastRow(), 0);
  EXPECT_EQ(workbook.ActiveSheetName(), "Report");
  workbook.SetText(kReportHeadingRow, 1, std::string(kReportColumnHeadings[0]));
  workbook.SetNumber(kReportHeadingRow + 1, 2, 1.5, "0.00000");
  const std::string bytes = workbook.SaveToBytes();
  EXPECT_NE(Entry(bytes, "xl/workbook.xml").find("localSheetId=\"0\">Report!$9:$9<"),
            std::string::npos);
  // The formats the run writes are the template's own: no style is added.
  EXPECT_EQ(Entry(bytes, "xl/styles.xml", true),
            Entry(DefaultTemplateBytes(), "xl/styles.xml", true));
}

}  // namespace
}  // namespace vireo
