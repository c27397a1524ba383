#include "report/LevelBookSheet.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>

#include "common/Error.h"
#include "common/Text.h"
#include "output/SheetTable.h"
#include "reduction/LevelBook.h"
#include "reduction/Tolerance.h"

namespace vireo {
namespace {

enum BookColumn : int {
  kPoint = 1,
  kBack = 2,
  kIntermediate = 3,
  kFore = 4,
  kRiseColumn = 5,
  kFallColumn = 6,
  kLevel = 7,
  kAdjusted = 8,
  kDistance = 9,
  kFileLine = 10,
};
constexpr int kHeadingRow = 6;

// What one row of the sheet's body holds.
struct BookRow {
  enum Kind : std::uint8_t { Title, Sight, Sums, Check, Closure, Note, Blank };
  Kind kind = Blank;
  std::uint32_t line = 0, setup = 0;
  std::uint16_t sight = 0;
};

std::vector<BookRow> RowsOf(const Survey& survey) {
  std::vector<BookRow> rows;
  for (std::uint32_t l = 0; l < survey.singleRunLines.size(); ++l) {
    const SingleRunLine& line = survey.singleRunLines[l];
    rows.push_back({BookRow::Title, l, 0, 0});
    for (std::uint32_t s = 0; s < line.setups.size(); ++s)
      for (std::uint16_t i = 0; i < line.setups[s].sights.size(); ++i)
        rows.push_back({BookRow::Sight, l, s, i});
    for (BookRow::Kind kind :
         {BookRow::Sums, BookRow::Check, BookRow::Closure, BookRow::Note, BookRow::Blank})
      rows.push_back({kind, l, 0, 0});
  }
  return rows;
}

std::string TitleText(const SingleRunLine& line) {
  std::string text = "Single-run line " + std::to_string(line.number) + " (" +
                     (line.method.empty() ? std::string("single run") : line.method) +
                     "), file line " + std::to_string(line.fieldLine);
  if (!line.startHeight.empty())
    text += ": from " + ToUtf8(line.startPoint) + " at " + line.startHeight + " m";
  return text;
}

std::string CheckText(const SingleRunLine& line) {
  const BookSums sums = SumLevelBook(line);
  return "Arithmetic check: sum BS - sum FS = " +
         FormatFixed(sums.backSights - sums.foreSights, 5) +
         ", sum Rise - sum Fall = " + FormatFixed(sums.rises - sums.falls, 5) +
         ", last RL - first RL = " + FormatFixed(sums.lastLevel - sums.firstLevel, 5) + ": " +
         (sums.Agree() ? "PASS" : "FAIL");
}

std::string ClosureText(const SingleRunLine& line, double errorFactor) {
  const BookClosure& c = line.closure;
  if (!c.misclose)
    return "Open line: it ends on no known level, so its misclose is not judged (key in the end "
           "RL to close it)";
  const double permissible = ToleranceMm(errorFactor, c.lengthM);
  const std::optional<bool> within = MiscloseWithinTolerance(line, errorFactor);
  std::string text = "Misclose " + FormatFixed(*c.misclose * 1000, 2) + " mm (" +
                     (c.loop ? "start RL " : "known RL ") + FormatFixed(*c.knownEnd, 5) +
                     " m - last RL), permissible " + FormatFixed(permissible, 2) + " mm over " +
                     FormatFixed(c.lengthM, 1) + " m: ";
  text += !within ? "not judged" : *within ? "within tolerance" : "OUTSIDE TOLERANCE";
  if (c.levelMisclose)
    text += "; the level's own misclosure " + FormatFixed(*c.levelMisclose * 1000, 2) +
            " mm (measured - known, closing block, file line " +
            std::to_string(c.closingBlockLine) + ")" +
            (DisagreesWithLevel(c) ? " DISAGREES" : " agrees");
  return text;
}

void WriteHeader(Worksheet& sheet, const ReportHeader& header) {
  for (std::size_t i = 0; i < header.size(); ++i)
    sheet.SetText(static_cast<int>(i) + 1, 1, header[i], {.bold = i == 0});
}

// The rows after a line's readings: its sums, then its check and closure.
constexpr int kCheckAfter = 2, kClosureAfter = 3;

}  // namespace

LevelBookRows LastLineRows(const Survey& survey) {
  LevelBookRows rows;
  int row = kHeadingRow + 1;
  for (const SingleRunLine& line : survey.singleRunLines) {
    int sights = 0;
    for (const BookSetup& s : line.setups) sights += static_cast<int>(s.sights.size());
    if (sights > 0) rows = {row + 1, row + sights};
    row += 1 + sights + 5;
  }
  return rows;
}

SingleRunLine ReadLevelBookLine(Workbook& workbook, const LevelBookRows& rows,
                                const std::string& path) {
  Worksheet sheet = workbook.Sheet(kLevelBookSheet);
  auto number = [&](int row, int column) -> std::optional<double> {
    const CellValue cell = sheet.Get(row, column);
    if (cell.IsEmpty()) return std::nullopt;
    if (cell.kind != CellValue::Kind::Number)
      throw Error(path, "read the level book",
                  "the cell in row " + std::to_string(row) + ", column " + std::to_string(column) +
                      " of the sheet \"" + kLevelBookSheet + "\" holds no number");
    return cell.number;
  };
  SingleRunLine line;
  std::optional<BookSetup> open;
  for (int row = rows.firstSight; row <= rows.lastSight; ++row) {
    BookSight sight;
    sight.point = sheet.Get(row, kPoint).text;
    for (auto [column, kind] : {std::pair{kBack, SightKind::Back},
                                {kIntermediate, SightKind::Intermediate},
                                {kFore, SightKind::Fore}})
      if (auto value = number(row, column)) {
        sight.kind = kind;
        sight.reading.value = *value;
      }
    sight.reading.distance = number(row, kDistance).value_or(0);
    sight.reading.fieldLine = static_cast<long>(number(row, kFileLine).value_or(0));
    // As the file gave them: an intermediate sight after a fore sight was
    // taken from the set-up just completed.
    if (sight.kind == SightKind::Intermediate && !open && !line.setups.empty()) {
      line.setups.back().sights.push_back(std::move(sight));
      continue;
    }
    if (!open) open.emplace();
    open->sights.push_back(std::move(sight));
    auto has = [&](SightKind kind) {
      return std::any_of(open->sights.begin(), open->sights.end(),
                         [&](const BookSight& s) { return s.kind == kind; });
    };
    if (has(SightKind::Back) && has(SightKind::Fore)) {
      line.setups.push_back(std::move(*open));
      open.reset();
    }
  }
  if (open || line.setups.empty())
    throw Error(path, "read the level book",
                "the rows " + std::to_string(rows.firstSight) + " to " +
                    std::to_string(rows.lastSight) + " of the sheet \"" + kLevelBookSheet +
                    "\" are not the set-ups of a line (a back or fore sight is missing)");
  return line;
}

void WriteLevelBookLine(Workbook& workbook, const SingleRunLine& line, const LevelBookRows& rows,
                        double errorFactor) {
  Worksheet sheet = workbook.Sheet(kLevelBookSheet);
  // The title names the level the line now starts from.
  std::string title = sheet.Get(rows.firstSight - 1, kPoint).text;
  title = title.substr(0, title.find(": from ")) + ": from " + line.setups.front().Back().point +
          " at " + FormatFixed(line.setups.front().Back().reducedLevel, 5) + " m, keyed in";
  sheet.SetText(rows.firstSight - 1, kPoint, title);
  int row = rows.firstSight;
  for (const BookSetup& setup : line.setups)
    for (const BookSight& s : setup.sights) {
      sheet.SetNumber(row, kLevel, s.reducedLevel);
      if (s.adjustedLevel)
        sheet.SetNumber(row, kAdjusted, *s.adjustedLevel);
      else
        sheet.Clear(row, kAdjusted);
      ++row;
    }
  sheet.SetText(rows.lastSight + kCheckAfter, kPoint, CheckText(line));
  sheet.SetText(rows.lastSight + kClosureAfter, kPoint, ClosureText(line, errorFactor));
}

bool WriteLevelBook(Workbook& workbook, const ReportHeader& header, const Survey& survey,
                    double errorFactor) {
  if (survey.singleRunLines.empty()) return true;
  if (workbook.HasSheet(kLevelBookSheet)) return false;
  Worksheet sheet = workbook.AddSheet(kLevelBookSheet);
  WriteHeader(sheet, header);
  ColumnWidths widths;
  using enum ColumnKind;
  SheetTable table(sheet, widths, kHeadingRow,
                   {{"Point", Text},
                    {"BS", Number},
                    {"IS", Number},
                    {"FS", Number},
                    {"Rise", Number},
                    {"Fall", Number},
                    {"Reduced Level", Number},
                    {"Adj. RL", Number},
                    {"Distance", Number},
                    {"File line", Number}});
  for (int column = kBack; column <= kAdjusted; ++column) widths.Fit(column, "10000.00000");
  widths.Fit(kPoint, "MMMMMMMMMMMM");
  widths.Apply(sheet);

  PageSetup page;
  page.fitToWidth = true;
  page.margins = kNarrowMargins;
  page.footer = "&L&F&RPage &P of &N";
  page.firstTitleRow = page.lastTitleRow = kHeadingRow;
  sheet.SetPageSetup(page);

  const CellFormat five{.numberFormat = "0.00000"};
  const CellStyleId text = sheet.StyleFor(kPoint, table.Look(kPoint));
  const CellStyleId bold = sheet.StyleFor(kPoint, {.bold = true, .align = Align::Left});
  const CellStyleId plainText = sheet.StyleFor(kPoint, {.align = Align::Left});
  const CellStyleId level = sheet.StyleFor(kBack, table.Look(kBack, five));
  const CellStyleId metres =
      sheet.StyleFor(kDistance, table.Look(kDistance, {.numberFormat = "0.000"}));
  const CellStyleId count = sheet.StyleFor(kFileLine, table.Look(kFileLine));
  auto rows = std::make_shared<const std::vector<BookRow>>(RowsOf(survey));
  sheet.StreamRows(
      kHeadingRow + 1, static_cast<int>(rows->size()), kFileLine,
      [&survey, rows, errorFactor, text, bold, plainText, level, metres, count](int row,
                                                                                RowWriter& out) {
        const BookRow& r = (*rows)[static_cast<std::size_t>(row - kHeadingRow - 1)];
        const SingleRunLine& line = survey.singleRunLines[r.line];
        switch (r.kind) {
          case BookRow::Title:
            out.Text(kPoint, TitleText(line), bold);
            break;
          case BookRow::Sight: {
            const BookSetup& setup = line.setups[r.setup];
            const BookSight& s = setup.sights[r.sight];
            out.Text(kPoint, s.point, text);
            const int column = s.kind == SightKind::Back           ? kBack
                               : s.kind == SightKind::Intermediate ? kIntermediate
                                                                   : kFore;
            out.Number(column, s.reading.value, level);
            if (s.kind == SightKind::Fore)
              out.Number(setup.riseFall >= 0 ? kRiseColumn : kFallColumn, std::abs(setup.riseFall),
                         level);
            out.Number(kLevel, s.reducedLevel, level);
            if (s.adjustedLevel) out.Number(kAdjusted, *s.adjustedLevel, level);
            out.Number(kDistance, s.reading.distance, metres);
            out.Number(kFileLine, static_cast<double>(s.reading.fieldLine), count);
            break;
          }
          case BookRow::Sums: {
            const BookSums sums = SumLevelBook(line);
            out.Text(kPoint, "Sums", bold);
            out.Number(kBack, sums.backSights, level);
            out.Number(kFore, sums.foreSights, level);
            out.Number(kRiseColumn, sums.rises, level);
            out.Number(kFallColumn, sums.falls, level);
            break;
          }
          case BookRow::Check:
            out.Text(kPoint, CheckText(line), plainText);
            break;
          case BookRow::Closure:
            out.Text(kPoint, ClosureText(line, errorFactor), plainText);
            break;
          case BookRow::Note:
            if (line.closure.misclose && line.closure.lengthM > 0)
              out.Text(kPoint,
                       "Adj. RL: the misclose spread by the distance walked; an intermediate "
                       "sight takes the correction of its set-up's back point.",
                       plainText);
            break;
          case BookRow::Blank:
            break;
        }
      });
  return true;
}

}  // namespace vireo
