// The layout of a sheet the program adds to a workbook: printed page and
// charts. Margins are in inches; rows and columns are counted from 1.
#pragma once

#include <string>
#include <vector>

namespace vireo {

struct PageMargins {
  double left = 0.7, right = 0.7, top = 0.75, bottom = 0.75, header = 0.3, footer = 0.3;
};
// The spreadsheet's "Narrow" margins.
inline constexpr PageMargins kNarrowMargins{0.25, 0.25, 0.75, 0.75, 0.3, 0.3};

struct PageSetup {
  bool landscape = false;
  int paperSize = 9;  // the spreadsheet's paper code: 9 = A4, 1 = Letter
  // Every column on one page wide, as many pages tall as the rows need.
  bool fitToWidth = false;
  // Rows printed at the top of every page; 0 for none.
  int firstTitleRow = 0, lastTitleRow = 0;
  // Rows that start a new printed page, ascending, each above 1.
  std::vector<int> rowBreaks;
  PageMargins margins;
  // In the spreadsheet's codes: &L, &C and &R start the left, centre and
  // right parts, &F is the file name, &A the sheet name, &P the page number,
  // &N the number of pages. Empty for none.
  std::string header, footer;
};

// A chart of one or more series of Y values against X values, drawn as
// straight lines with markers (a scatter chart, so X keeps its true
// spacing). The data stand on the sheet that holds the chart, in rows
// firstRow..lastRow. Its cached values always follow the cells; series of
// more than 10,000 points keep only their cell references, from which the
// spreadsheet draws them.
struct ScatterChart {
  std::string title, xAxisTitle, yAxisTitle;
  int firstRow = 0, lastRow = 0;
  int xColumn = 0;
  std::vector<int> yColumns;  // one series each
  int nameRow = 0;            // the row whose cells name the series; 0 for none
  // The cells the chart covers: from the top-left corner of cell (top, left)
  // to the top-left corner of cell (bottom, right).
  int top = 1, left = 1, bottom = 21, right = 11;
  // Series against a second value axis on the right, for values of another
  // size or unit than the others (a correction in mm beside levels in m).
  std::vector<int> secondaryYColumns;
  std::string secondaryYAxisTitle;
};

}  // namespace vireo
