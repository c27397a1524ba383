#include "output/DefaultTemplate.h"

#include "output/internal/Package.h"

namespace vireo {
namespace {

// Fonts: 0 regular, 1 bold. Cell formats: 0 plain, 1 bold (the heading
// row), 2 "0.00000" (numformat 164, the report's readings and levels).
constexpr const char kStyles[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
    "<numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"0.00000\"/></numFmts>"
    "<fonts count=\"2\">"
    "<font><sz val=\"11\"/><color theme=\"1\"/><name val=\"Calibri\"/><family val=\"2\"/>"
    "<scheme val=\"minor\"/></font>"
    "<font><b/><sz val=\"11\"/><color theme=\"1\"/><name val=\"Calibri\"/><family val=\"2\"/>"
    "<scheme val=\"minor\"/></font></fonts>"
    "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
    "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
    "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
    "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/>"
    "</cellStyleXfs>"
    "<cellXfs count=\"3\">"
    "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
    "<xf numFmtId=\"0\" fontId=\"1\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyFont=\"1\"/>"
    "<xf numFmtId=\"164\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" "
    "applyNumberFormat=\"1\"/>"
    "</cellXfs>"
    "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
    "<dxfs count=\"0\"/><tableStyles count=\"0\"/></styleSheet>";

// Widths in characters: the reference column, eleven reading columns, the
// two level columns.
constexpr const char kSheetBody[] =
    "<cols>"
    "<col min=\"1\" max=\"1\" width=\"12.7109375\" customWidth=\"1\"/>"
    "<col min=\"2\" max=\"12\" width=\"11.7109375\" customWidth=\"1\"/>"
    "<col min=\"13\" max=\"14\" width=\"13.7109375\" customWidth=\"1\"/>"
    "</cols>"
    "<sheetData><row r=\"9\" s=\"1\" customFormat=\"1\"/></sheetData>";

}  // namespace

std::string DefaultTemplateBytes() {
  return xlsx::BuildWorkbookPackage(kSheetBody, kStyles);
}

Workbook MakeDefaultTemplate() {
  return Workbook::OpenFromBytes(DefaultTemplateBytes(), "Existing.xlsx");
}

}  // namespace vireo
