// Tables on the sheets the program adds, laid out for print: numbers stand
// at the right edge of their column, texts two indent steps in from the
// left edge (so a text right of a number never runs into it), headings as
// their values, and every column as wide as its longest entry.
#pragma once

#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "output/SheetLayout.h"
#include "output/Workbook.h"

namespace vireo {

enum class ColumnKind { Number, Text };

// The look of a value of `kind`: `base` with the kind's alignment.
CellFormat AlignedAs(ColumnKind kind, CellFormat base = {});

// How wide `text` prints, in the spreadsheet's column width unit (the
// width of a digit of the sheet's font), estimated from its characters.
double PrintedWidth(std::string_view text, bool bold = false);

// The widths of a sheet's columns, grown to the widest entry of each and
// set on the sheet by Apply.
class ColumnWidths {
 public:
  // Makes `column` wide enough for `text` (`indented` when it stands one
  // indent step in).
  void Fit(int column, std::string_view text, bool bold = false, bool indented = false);
  // The same for a number shown with `numberFormat` ("0.00"; empty: as
  // general).
  void FitNumber(int column, double value, std::string_view numberFormat);
  // Columns first..last together, in width units.
  double Span(int first, int last) const;
  // Makes columns first..last together wide enough for `text` (a cell
  // merged across them): the last one grows when Apply finds them too
  // narrow.
  void FitAcross(int first, int last, std::string_view text, bool bold = false,
                 bool indented = false);
  // Sets every fitted column, each within [atLeast, atMost].
  void Apply(Worksheet& sheet, double atLeast = 6, double atMost = 80);
  // Columns 1..lastColumn together as Apply would set them now, a column
  // not fitted counted as `atLeast`. Widths only grow as entries are
  // fitted, so this is the least the columns come to.
  double AppliedSpan(int lastColumn, double atLeast = 6, double atMost = 80) const;

 private:
  struct Across {
    int first, last;
    double width;
  };
  double& At(int column);
  // The widths Apply sets, 0 for a column not fitted.
  std::vector<double> Applied(double atLeast, double atMost) const;
  std::vector<double> widths_;  // by column from 1; 0 when nothing was fitted
  std::vector<Across> across_;
  // The widest entry of across_ for each span of columns (first, last).
  std::map<std::pair<int, int>, double> widestAcross_;
};

struct TableColumn {
  std::string heading;
  ColumnKind kind = ColumnKind::Number;
  int span = 1;  // sheet columns its cells are merged across
};

// One table of a sheet: its heading row and the columns from `firstColumn`
// on. Every cell written through it is aligned by its column's kind,
// merged across its column's span and counted in the sheet's widths.
// Cells are addressed by sheet column: a spanned column's first one.
class SheetTable {
 public:
  SheetTable(Worksheet sheet, ColumnWidths& widths, int headingRow,
             std::vector<TableColumn> columns, int firstColumn = 1);

  // `headingRow` 0: a table without headings.
  int HeadingRow() const { return headingRow_; }
  // The heading row again at `row`, looking as it does at HeadingRow():
  // where the table continues on a new printed page.
  void RepeatHeading(int row);
  // The look of a cell of `column` (counted on the sheet) with `base`; an
  // alignment `base` gives is kept.
  CellFormat Look(int column, CellFormat base = {}) const;
  void Text(int row, int column, std::string_view text, CellFormat base = {});
  void Number(int row, int column, double value, CellFormat base = {});

 private:
  const TableColumn* ColumnAt(int column) const;
  int SpanAt(int column) const;
  // Merges a spanned column's cells of `row`, all with `look`.
  void Spread(int row, int column, const CellFormat& look);
  void Fit(int column, std::string_view text, const CellFormat& look);
  Worksheet sheet_;
  ColumnWidths& widths_;
  int headingRow_;
  std::vector<TableColumn> columns_;
  int firstColumn_;
  // The looks worked out so far, reused cell after cell.
  CellStyleId StyleOf(int column, const CellFormat& look);
  struct KnownLook {
    int column;
    CellFormat look;
    std::string numberFormat;  // what look.numberFormat views
    CellStyleId style;
  };
  std::vector<KnownLook> known_;
  std::vector<int> lastLook_;  // by column from firstColumn_: its last look in known_
  std::vector<int> atColumn_;  // by sheet column from firstColumn_: the column, -1 within a span
};

// Heading rows: bold with a rule below.
inline constexpr CellFormat kTableHeading{.bold = true, .ruleBelow = true};

// Makes `widths` fit the heading row of a table of `columns` before the
// table is written, as the table's heading row will.
void FitHeadings(ColumnWidths& widths, const std::vector<TableColumn>& columns,
                 int firstColumn = 1);

// How many rows of the default height (15 points, the row of the 11-point
// Calibri these sheets are written in) surely print on one page of `page`,
// besides `titleRows` rows at its head, when the columns printed are
// `columnsWidth` width units wide together (fitToWidth shrinks them to the
// paper as Excel does, to a whole percent). Worked out the way Excel lays
// out its pages (a width unit is 7 pixels at 96 to the inch), which prints
// fewer rows on a page than LibreOffice, less a twentieth for printers and
// fonts that differ; at least 1.
int RowsPerPrintedPage(const PageSetup& page, double columnsWidth, int titleRows = 0);

}  // namespace vireo
