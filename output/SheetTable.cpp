#include "output/SheetTable.h"

#include <algorithm>
#include <cmath>

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

double PrintedWidth(std::string_view text, bool bold) {
  double width = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if ((c & 0xC0) == 0x80) continue;  // a continuation byte of UTF-8
    if (c == 'i' || c == 'l' || c == 'j' || c == '.' || c == ',' || c == ':' || c == ';' ||
        c == '\'' || c == '|' || c == '!' || c == ' ' || c == '(' || c == ')' || c == 'I' ||
        c == 't' || c == 'f' || c == 'r')
      width += 0.6;
    else if (c == 'm' || c == 'w' || c == 'M' || c == 'W' || c == '@' || c == '%')
      width += 1.5;
    else if (c >= 'A' && c <= 'Z')
      width += 1.2;
    else
      width += 1.0;  // digits, lower case letters, signs, other scripts
  }
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
  if (decimals < 0) return PrintedWidth(DecimalText(value));
  double rest = std::abs(value) + 0.5 * std::pow(10.0, -decimals);
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
  across_.push_back({first, last,
                     PrintedWidth(text, bold) * kWiderFont + kPadding +
                         (indented ? kTextIndent * kIndentStep : 0)});
}

void ColumnWidths::Apply(Worksheet& sheet, double atLeast, double atMost) {
  for (const Across& a : across_) {
    for (int c = a.first; c <= a.last; ++c) At(c) = std::max(At(c), atLeast);
    double& last = At(a.last);
    const double missing = a.width - Span(a.first, a.last);
    if (missing > 0) last += missing;
  }
  for (std::size_t i = 0; i < widths_.size(); ++i)
    if (widths_[i] > 0) {
      const int column = static_cast<int>(i + 1);
      sheet.SetColumns(column, column, std::clamp(widths_[i], atLeast, atMost));
    }
}

SheetTable::SheetTable(Worksheet sheet, ColumnWidths& widths, int headingRow,
                       std::vector<TableColumn> columns, int firstColumn)
    : sheet_(sheet),
      widths_(widths),
      headingRow_(headingRow),
      columns_(std::move(columns)),
      firstColumn_(firstColumn) {
  int column = firstColumn_;
  for (const TableColumn& c : columns_) {
    if (!c.heading.empty()) Text(headingRow_, column, c.heading, kTableHeading);
    column += std::max(c.span, 1);
  }
}

const TableColumn* SheetTable::ColumnAt(int column) const {
  int at = firstColumn_;
  for (const TableColumn& c : columns_) {
    if (at == column) return &c;
    at += std::max(c.span, 1);
  }
  return nullptr;
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
  sheet_.MergeCells(row, column, row, column + span - 1);
}

void SheetTable::Fit(int column, std::string_view text, const CellFormat& look) {
  const int span = SpanAt(column);
  if (span == 1)
    widths_.Fit(column, text, look.bold, look.indent > 0);
  else
    widths_.FitAcross(column, column + span - 1, text, look.bold, look.indent > 0);
}

void SheetTable::Text(int row, int column, std::string_view text, CellFormat base) {
  const CellFormat look = Look(column, base);
  sheet_.SetText(row, column, text, look);
  Spread(row, column, look);
  Fit(column, text, look);
}

void SheetTable::Number(int row, int column, double value, CellFormat base) {
  const CellFormat look = Look(column, base);
  sheet_.SetNumber(row, column, value, look);
  Spread(row, column, look);
  if (SpanAt(column) == 1)
    widths_.FitNumber(column, value, base.numberFormat);
  else
    Fit(column, FormatFixed(value, std::max(DecimalsOf(base.numberFormat), 0)), look);
}

}  // namespace vireo
