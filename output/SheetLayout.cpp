#include "output/internal/Layout.h"

namespace vireo::xlsx {
namespace {

void AppendAttribute(std::string& out, const char* name, double value) {
  out += ' ';
  out += name;
  out += "=\"";
  AppendNumber(out, value);
  out += '"';
}

}  // namespace

SheetFrame AddedSheetFrame(const AddedSheet& sheet) {
  SheetFrame frame;
  std::string& head = frame.head;
  head =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
      "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">";
  const PageSetup& page = sheet.page;
  if (sheet.hasPage && page.fitToWidth) head += "<sheetPr><pageSetUpPr fitToPage=\"1\"/></sheetPr>";
  frame.dimensionAt = head.size();
  head += std::string("<sheetViews><sheetView") + (sheet.selected ? " tabSelected=\"1\"" : "") +
          " workbookViewId=\"0\"/></sheetViews><sheetFormatPr defaultRowHeight=\"15\"/>";
  if (!sheet.columns.empty()) {
    head += "<cols>";
    for (const ColumnLayout& c : sheet.columns) {
      head += "<col min=\"" + std::to_string(c.first) + "\" max=\"" + std::to_string(c.last) + '"';
      AppendAttribute(head, "width", c.width);
      head += " customWidth=\"1\"";
      if (c.style != 0) head += " style=\"" + std::to_string(c.style) + '"';
      head += "/>";
      frame.columnStyles.push_back({c.first, c.last, c.style});
    }
    head += "</cols>";
  }

  std::string& tail = frame.tail;
  if (!sheet.merged.empty()) {
    tail += "<mergeCells count=\"" + std::to_string(sheet.merged.size()) + "\">";
    for (const MergedArea& m : sheet.merged) {
      tail += "<mergeCell ref=\"";
      AppendColumnName(tail, m.firstColumn);
      tail += std::to_string(m.firstRow) + ':';
      AppendColumnName(tail, m.lastColumn);
      tail += std::to_string(m.lastRow) + "\"/>";
    }
    tail += "</mergeCells>";
  }
  const PageMargins& m = sheet.hasPage ? page.margins : PageMargins{};
  tail += "<pageMargins";
  AppendAttribute(tail, "left", m.left);
  AppendAttribute(tail, "right", m.right);
  AppendAttribute(tail, "top", m.top);
  AppendAttribute(tail, "bottom", m.bottom);
  AppendAttribute(tail, "header", m.header);
  AppendAttribute(tail, "footer", m.footer);
  tail += "/>";
  if (sheet.hasPage) {
    tail += "<pageSetup paperSize=\"" + std::to_string(page.paperSize) + "\" orientation=\"" +
            (page.landscape ? "landscape" : "portrait") + '"';
    if (page.fitToWidth) tail += " fitToWidth=\"1\" fitToHeight=\"0\"";
    tail += "/>";
    if (!page.header.empty() || !page.footer.empty()) {
      tail += "<headerFooter>";
      if (!page.header.empty()) {
        tail += "<oddHeader>";
        AppendEscapedText(tail, page.header);
        tail += "</oddHeader>";
      }
      if (!page.footer.empty()) {
        tail += "<oddFooter>";
        AppendEscapedText(tail, page.footer);
        tail += "</oddFooter>";
      }
      tail += "</headerFooter>";
    }
    if (!page.rowBreaks.empty()) {
      const std::string count = std::to_string(page.rowBreaks.size());
      tail += "<rowBreaks count=\"" + count + "\" manualBreakCount=\"" + count + "\">";
      // A break "after row id": the page ends above the row that starts one.
      for (int row : page.rowBreaks)
        tail += "<brk id=\"" + std::to_string(row - 1) + "\" max=\"16383\" man=\"1\"/>";
      tail += "</rowBreaks>";
    }
  }
  if (!sheet.charts.empty()) tail += "<drawing r:id=\"rId1\"/>";
  tail += "</worksheet>";
  return frame;
}

}  // namespace vireo::xlsx
