// Sheets the program adds to a workbook: their layout (columns, printed
// page, charts) is the program's own, so their worksheet part is written
// whole from it rather than copied from a template.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "output/SheetLayout.h"
#include "output/internal/Sheet.h"

namespace vireo::xlsx {

struct ColumnLayout {
  int first, last;
  double width;  // characters
  std::uint16_t style;
};

// Cells merged into one, rows and columns from 1.
struct MergedArea {
  int firstRow, firstColumn, lastRow, lastColumn;
};

struct AddedSheet {
  std::vector<ColumnLayout> columns;  // ascending, not overlapping
  std::vector<MergedArea> merged;     // not overlapping
  // `merged` by first row, and the most rows one spans less one: an area's
  // overlap is looked for among those that start from `tallest` rows above
  // it to its last row, not among all.
  std::multimap<int, std::size_t> mergedByRow;
  int tallest = 0;
  bool hasPage = false;
  PageSetup page;
  std::vector<ScatterChart> charts;
  std::string drawingPart;              // zip entry, once a chart is added
  std::vector<std::string> chartParts;  // zip entries, one per chart
  bool selected = false;                // the active sheet's tab
};

// The worksheet part of an added sheet around its cells. Its drawing, if
// any, is relationship rId1 of the sheet.
SheetFrame AddedSheetFrame(const AddedSheet& sheet);

}  // namespace vireo::xlsx
