#include "output/SheetTable.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "common/Text.h"

namespace vireo {
namespace {

// A cell's margins and a little air, in width units.
constexpr double kPadding = 2;
// Room for a stand-in font wider than the sheet's own (LibreOffice prints
// Calibri with DejaVu Sans where Carlito is missing).
constexpr double kWiderFont = 1.12;
// Texts stand two indent steps in; one step as LibreOffice and Excel print
// it, in width units.
constexpr int kTextIndent = 2;
constexpr double kIndentStep = 1.5;

// Decimals of a number format such as "0.000"; -1 for none given.
int DecimalsOf(std::string_view numberFormat) {
  if (numberFormat.empty()) return -1;
  const std::size_t point = numberFormat.find('.');
  if (point == std::string_view::npos) return 0;
  std::size_t end = point + 1;
  while (end < numberFormat.size() && numberFormat[end] == '0') ++end;
  return static_cast<int>(end - point - 1);
}

}  // namespace

CellFormat AlignedAs(ColumnKind kind, CellFormat base) {
  // Numbers stand flush right: LibreOffice misdraws right-aligned cells
  // with an indent in the row after one with a fill.
  base.align = kind == ColumnKind::Number ? Align::Right : Align::Left;
  base.indent = kind == ColumnKind::Number ? 0 : kTextIndent;
  return base;
}

namespace {

// The printed width of each byte of UTF-8 text: narrow letters and signs,
// wide ones, capitals; continuation bytes add nothing.
constexpr std::array<float, 256> ByteWidths() {
  std::array<float, 256> widths{};
  for (int c = 0; c < 256; ++c) {
    widths[c] = 1.0f;  // digits, lower case letters, signs, other scripts
    if (c >= 'A' && c <= 'Z') widths[c] = 1.2f;
    if ((c & 0xC0) == 0x80) widths[c] = 0;
  }
  for (unsigned char c : std::string_view("ilj.,:;'|! ()Itfr")) widths[c] = 0.6f;
  for (unsigned char c : std::string_view("mwMW@%")) widths[c] = 1.5f;
  return widths;
}
constexpr std::array<float, 256> kByteWidths = ByteWidths();

}  // namespace

double PrintedWidth(std::string_view text, bool bold) {
  double width = 0;
  for (const char c : text) width += kByteWidths[static_cast<unsigned char>(c)];
  return bold ? width * 1.1 : width;
}

double& ColumnWidths::At(int column) {
  if (column > static_cast<int>(widths_.size())) widths_.resize(static_cast<std::size_t>(column));
  return widths_[static_cast<std::size_t>(column - 1)];
}

void ColumnWidths::Fit(int column, std::string_view text, bool bold, bool indented) {
  double& width = At(column);
  width = std::max(width,
                   PrintedWidth(text, bold) * kWiderFont + kPadding + (indented ? kIndentStep : 0));
}

// The characters of `value` shown with `decimals`, counted without
// formatting it (long tables fit every cell).
double NumberWidth(double value, int decimals) {
  if (decimals < 0) {
    // Whole numbers (counts, line numbers) are counted digit by digit.
    if (value != std::trunc(value) || std::abs(value) >= 1e15)
      return PrintedWidth(DecimalText(value));
    decimals = 0;
  }
  static constexpr double kHalfUnit[] = {0.5,  0.05, 0.005, 5e-4,  5e-5, 5e-6,
                                         5e-7, 5e-8, 5e-9,  5e-10, 5e-11};
  double rest = std::abs(value) + kHalfUnit[std::min(decimals, 10)];
  int digits = 1;
  while (rest >= 10 && digits < 308) rest /= 10, ++digits;
  return digits + (value < 0 ? 1 : 0) + (decimals > 0 ? decimals + 0.6 : 0);
}

void ColumnWidths::FitNumber(int column, double value, std::string_view numberFormat) {
  double& width = At(column);
  width = std::max(
      width, NumberWidth(value, DecimalsOf(numberFormat)) * kWiderFont + kPadding + kIndentStep);
}

double ColumnWidths::Span(int first, int last) const {
  double span = 0;
  for (int c = first; c <= last; ++c)
    span += c <= static_cast<int>(widths_.size()) ? widths_[static_cast<std::size_t>(c - 1)] : 0;
  return span;
}

void ColumnWidths::FitAcross(int first, int last, std::string_view text, bool bold, bool indented) {
  At(last);
  const double width =
      PrintedWidth(text, bold) * kWiderFont + kPadding + (indented ? kTextIndent * kIndentStep : 0);
  // An entry no wider than an earlier one across the same columns changes
  // nothing when Apply comes to it: the columns are wide enough by then.
  auto [widest, added] = widestAcross_.try_emplace({first, last}, width);
  if (!added) {
    if (widest->second >= width) return;
    widest->second = width;
  }
  across_.push_back({first, last, width});
}

std::vector<double> ColumnWidths::Applied(double atLeast, double atMost) const {
  std::vector<double> widths = widths_;
  for (const Across& a : across_) {
    double span = 0;
    for (int c = a.first; c <= a.last; ++c) {
      double& width = widths[static_cast<std::size_t>(c - 1)];
      width = std::max(width, atLeast);
      span += width;
    }
    const double missing = a.width - span;
    if (missing > 0) widths[static_cast<std::size_t>(a.last - 1)] += missing;
  }
  for (double& width : widths)
    if (width > 0) width = std::clamp(width, atLeast, atMost);
  return widths;
}

void ColumnWidths::Apply(Worksheet& sheet, double atLeast, double atMost) {
  const std::vector<double> applied = Applied(atLeast, atMost);
  for (std::size_t i = 0; i < applied.size(); ++i)
    if (applied[i] > 0) {
      const int column = static_cast<int>(i + 1);
      sheet.SetColumns(column, column, applied[i]);
    }
}

double ColumnWidths::AppliedSpan(int lastColumn, double atLeast, double atMost) const {
  const std::vector<double> applied = Applied(atLeast, atMost);
  double span = 0;
  for (int c = 1; c <= lastColumn; ++c) {
    const auto i = static_cast<std::size_t>(c - 1);
    span += i < applied.size() && applied[i] > 0 ? applied[i] : atLeast;
  }
  return span;
}

SheetTable::SheetTable(Worksheet sheet, ColumnWidths& widths, int headingRow,
                       std::vector<TableColumn> columns, int firstColumn)
    : sheet_(sheet),
      widths_(widths),
      headingRow_(headingRow),
      columns_(std::move(columns)),
      firstColumn_(firstColumn) {
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    atColumn_.push_back(static_cast<int>(i));
    atColumn_.resize(atColumn_.size() + static_cast<std::size_t>(std::max(columns_[i].span, 1) - 1),
                     -1);
  }
  RepeatHeading(headingRow_);
}

void SheetTable::RepeatHeading(int row) {
  int column = firstColumn_;
  for (const TableColumn& c : columns_) {
    if (!c.heading.empty()) Text(row, column, c.heading, kTableHeading);
    column += std::max(c.span, 1);
  }
}

const TableColumn* SheetTable::ColumnAt(int column) const {
  const int index = column - firstColumn_;
  if (index < 0 || index >= static_cast<int>(atColumn_.size())) return nullptr;
  const int at = atColumn_[static_cast<std::size_t>(index)];
  return at < 0 ? nullptr : &columns_[static_cast<std::size_t>(at)];
}

CellFormat SheetTable::Look(int column, CellFormat base) const {
  if (base.align != Align::Keep) return base;
  const TableColumn* c = ColumnAt(column);
  return AlignedAs(c ? c->kind : ColumnKind::Text, base);
}

int SheetTable::SpanAt(int column) const {
  const TableColumn* c = ColumnAt(column);
  return c ? std::max(c->span, 1) : 1;
}

void SheetTable::Spread(int row, int column, const CellFormat& look) {
  const int span = SpanAt(column);
  if (span == 1) return;
  for (int other = column + 1; other < column + span; ++other) sheet_.SetFormat(row, other, look);
  // A sheet read back holds the merged cells it was written with.
  if (!sheet_.KeepsItsLayout()) sheet_.MergeCells(row, column, row, column + span - 1);
}

namespace {

// Makes `widths` fit a cell of `span` columns from `column` on.
void FitCell(ColumnWidths& widths, int column, int span, std::string_view text,
             const CellFormat& look) {
  if (span == 1)
    widths.Fit(column, text, look.bold, look.indent > 0);
  else
    widths.FitAcross(column, column + span - 1, text, look.bold, look.indent > 0);
}

}  // namespace

void SheetTable::Fit(int column, std::string_view text, const CellFormat& look) {
  FitCell(widths_, column, SpanAt(column), text, look);
}

void FitHeadings(ColumnWidths& widths, const std::vector<TableColumn>& columns, int firstColumn) {
  int column = firstColumn;
  for (const TableColumn& c : columns) {
    const int span = std::max(c.span, 1);
    if (!c.heading.empty())
      FitCell(widths, column, span, c.heading, AlignedAs(c.kind, kTableHeading));
    column += span;
  }
}

int RowsPerPrintedPage(const PageSetup& page, double columnsWidth, int titleRows) {
  // The paper in inches, upright: A4, Letter, or for any other the
  // narrower and the shorter of the two.
  double across = 8.27, down = 11.69;
  if (page.paperSize == 1)
    across = 8.5, down = 11;
  else if (page.paperSize != 9)
    down = 11;
  if (page.landscape) std::swap(across, down);
  const PageMargins& m = page.margins;
  across -= m.left + m.right;
  // The header and footer stand in the margins; a header or footer line
  // (about a quarter inch) that reaches past its margin pushes the rows.
  double top = m.top, bottom = m.bottom;
  if (!page.header.empty()) top = std::max(top, m.header + 0.25);
  if (!page.footer.empty()) bottom = std::max(bottom, m.footer + 0.25);
  down -= top + bottom;
  // A width unit is a digit of 11-point Calibri, 7 pixels, 96 to the inch.
  double scale = 1;
  if (page.fitToWidth && columnsWidth > 0)
    scale = std::clamp(std::floor(100 * across / (columnsWidth * 7 / 96)) / 100, 0.1, 1.0);
  constexpr double kRowHeight = 15.0 / 72;
  const double rows = down / (kRowHeight * scale);
  return std::max(static_cast<int>(std::floor(rows * 0.95)) - titleRows, 1);
}

CellStyleId SheetTable::StyleOf(int column, const CellFormat& look) {
  auto same = [&](const KnownLook& k) {
    return k.column == column && k.look.bold == look.bold && k.look.redFill == look.redFill &&
           k.look.ruleBelow == look.ruleBelow && k.look.align == look.align &&
           k.look.indent == look.indent && k.numberFormat == look.numberFormat;
  };
  // Row after row, a column mostly has the look it had last.
  const auto index = static_cast<std::size_t>(std::max(column - firstColumn_, 0));
  if (index >= lastLook_.size()) lastLook_.resize(index + 1, -1);
  int& last = lastLook_[index];
  if (last >= 0 && same(known_[static_cast<std::size_t>(last)]))
    return known_[static_cast<std::size_t>(last)].style;
  for (std::size_t k = 0; k < known_.size(); ++k)
    if (same(known_[k])) return known_[static_cast<std::size_t>(last = static_cast<int>(k))].style;
  known_.push_back({column, look, std::string(look.numberFormat), sheet_.StyleFor(column, look)});
  last = static_cast<int>(known_.size() - 1);
  return known_.back().style;
}

void SheetTable::Text(int row, int column, std::string_view text, CellFormat base) {
  const CellFormat look = Look(column, base);
  sheet_.SetTextWithStyle(row, column, text, StyleOf(column, look));
  Spread(row, column, look);
  Fit(column, text, look);
}

void SheetTable::Number(int row, int column, double value, CellFormat base) {
  const CellFormat look = Look(column, base);
  sheet_.SetNumberWithStyle(row, column, value, StyleOf(column, look));
  Spread(row, column, look);
  if (SpanAt(column) == 1)
    widths_.FitNumber(column, value, base.numberFormat);
  else
    Fit(column, FormatFixed(value, std::max(DecimalsOf(base.numberFormat), 0)), look);
}

}  // namespace vireo
