#include "report/ReportSheet.h"

#include <bitset>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "common/Error.h"
#include "common/Text.h"
#include "output/DefaultTemplate.h"

namespace vireo {
namespace {

constexpr const char* kFiveDecimals = "0.00000";

Error TooManyRows(const char* operation) {
  return Error("", operation,
               "the report would need more than " + std::to_string(Workbook::kMaxRows) +
                   " rows, the most a workbook holds");
}

std::string CellName(int row, int column) {
  std::string letters;
  for (int c = column; c > 0; c = (c - 1) / 26)
    letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
  return letters + std::to_string(row);
}

// Header texts come from the control file and may be longer than a cell
// holds; they are cut at a character boundary rather than refusing the run.
std::string HeaderText(std::string text, const char* what, Warnings& warnings) {
  if (text.size() <= static_cast<std::size_t>(Workbook::kMaxTextLength)) return text;
  std::size_t cut = static_cast<std::size_t>(Workbook::kMaxTextLength);
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  text.resize(cut);
  warnings.push_back({0, std::string("the ") + what + " is longer than a cell holds; it is cut"});
  return text;
}

// The cells a recorded set-up's two rows hold, by column (index 0 unused),
// and which of them carry the five-decimal format.
struct SetupRows {
  std::array<CellValue, 15> back, fore;
};

SetupRows RowsOf(const Setup& s) {
  SetupRows rows;
  if (s.back) {
    rows.back[kRef] = CellValue::Text(ToUtf8(s.back->point));
    rows.back[kBs1] = CellValue::Number(s.back->first.value);
    rows.back[kDist1] = CellValue::Number(s.back->first.distance);
    if (s.back->Paired()) {
      rows.back[kBs2] = CellValue::Number(s.back->repeat->value);
      rows.back[kDist2] = CellValue::Number(s.back->repeat->distance);
      rows.back[kAveBs] = CellValue::Number(s.back->Mean());
      rows.back[kAveDist] = CellValue::Number(s.back->MeanDistance());
    }
  }
  rows.fore[kRef] = CellValue::Text(ToUtf8(s.fore.point));
  rows.fore[kFs1] = CellValue::Number(s.fore.first.value);
  rows.fore[kDist1] = CellValue::Number(s.fore.first.distance);
  rows.fore[kFs2] = CellValue::Number(s.fore.repeat->value);
  rows.fore[kDist2] = CellValue::Number(s.fore.repeat->distance);
  rows.fore[kAveFs] = CellValue::Number(s.fore.Mean());
  rows.fore[kAveDist] = CellValue::Number(s.fore.MeanDistance());
  if (s.riseFall > 0) rows.fore[kRise] = CellValue::Number(s.riseFall);
  if (s.riseFall < 0) rows.fore[kFall] = CellValue::Number(-s.riseFall);
  rows.back[kCalRl] = CellValue::Number(s.calRlBack);
  rows.fore[kCalRl] = CellValue::Number(s.calRlFore);
  if (s.adjRlBack) rows.back[kAdjRl] = CellValue::Number(*s.adjRlBack);
  if (s.adjRlFore) rows.fore[kAdjRl] = CellValue::Number(*s.adjRlFore);
  return rows;
}

// The cells of the summation row.
std::array<CellValue, 15> SummationRow(const Closure& closure) {
  std::array<CellValue, 15> row;
  if (closure.anyRise) row[kRise] = CellValue::Number(closure.sumRise);
  if (closure.anyFall) row[kFall] = CellValue::Number(closure.sumFall);
  row[kAveDist] = CellValue::Number(closure.totalDistance);
  row[kFs2] = CellValue::Text("Summation of Readings");  // the established wording
  return row;
}

class Fingerprint {
 public:
  void Add(const CellValue& cell) {
    Bytes(&cell.kind, sizeof cell.kind);
    if (cell.kind == CellValue::Kind::Number) Bytes(&cell.number, sizeof cell.number);
    Bytes(cell.text.data(), cell.text.size() + 1);
  }
  void AddRow(const std::array<CellValue, 15>& row) {
    for (int column : kColumns) Add(row[static_cast<std::size_t>(column)]);
  }
  std::string Text(int lastRow) const {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash_));
    return std::to_string(lastRow) + ":" + text;
  }
  static constexpr int kColumns[] = {kRef, kDist1, kAveDist, kAveBs, kAveFs, kRise, kFall};

 private:
  void Bytes(const void* bytes, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i)  // FNV-1a
      hash_ = (hash_ ^ static_cast<const unsigned char*>(bytes)[i]) * 0x100000001b3u;
  }
  std::uint64_t hash_ = 0xcbf29ce484222325u;
};

// A cell as a number for the adjustment: text that is not a number refuses
// the adjustment rather than counting as 0.
double StrictValue(const Workbook& workbook, int row, int column, const std::string& path) {
  const CellValue cell = workbook.Get(row, column);
  if (cell.kind == CellValue::Kind::Number) return cell.number;
  if (cell.kind == CellValue::Kind::Empty) return 0.0;
  if (auto v = StrictNumber(cell.text)) return *v;
  throw Error(path, "adjust the reduced levels",
              "cell " + CellName(row, column) + " holds \"" + cell.text + "\", not a number");
}

std::string PointText(const CellValue& cell) {
  return cell.kind == CellValue::Kind::Number ? DecimalText(cell.number) : cell.text;
}

}  // namespace

ReportLayout LayOutReport(const Survey& survey) {
  ReportLayout layout;
  int currentRow = 4;
  for (const LevellingLine& line : survey.lines) {
    const int headingRow = currentRow + 5;
    if (headingRow + 1 > Workbook::kMaxRows) throw TooManyRows("write a heading row");
    layout.headingRows.push_back(headingRow);
    layout.firstDataRow = headingRow + 1;
    const long pairs = static_cast<long>(line.setups.size());
    long last = pairs;  // a dropped set-up takes the rows of the set-up after it
    for (const DroppedSetup& d : line.dropped)
      last = std::max(last, static_cast<long>(d.before) + 1);
    if (last > 0 && layout.firstDataRow + 2 * last - 1 > Workbook::kMaxRows)
      throw TooManyRows("reduce the set-ups");
    currentRow = layout.firstDataRow + static_cast<int>(2 * pairs);
  }
  layout.summationRow = currentRow;
  // The Adj. RL column ends on the summation row, or two rows below the
  // first data row when the last line has no set-up.
  layout.closureRow = std::max(layout.summationRow, layout.firstDataRow + 2);
  if (layout.closureRow + 4 > Workbook::kMaxRows) throw TooManyRows("write the closure summary");
  return layout;
}

ReportHeader MakeReportHeader(const Settings& settings, const std::string& baseName,
                              Warnings& warnings) {
  // "Seleceted" is the report's own spelling, kept for the reports and
  // readers that know it.
  return {HeaderText(ToUtf8(settings.companyName), "company name", warnings),
          HeaderText("File Name                - " + ToUtf8(baseName), "file name", warnings),
          HeaderText("Survey carried out by    - " + ToUtf8(settings.personnelName),
                     "personnel name", warnings),
          HeaderText("Leveling Error Seleceted - " + ToUtf8(settings.errorFactor) + "SQRT(k)",
                     "error factor", warnings)};
}

// The closure lines keep their established wording and spacing: reports
// are compared with earlier ones and read by other programs.
std::string MiscloseLine(double miscloseMetres) {
  return "The Calculated Misclose is " + FormatFixed(miscloseMetres * 1000, 2) + " mm";
}

std::string PermissibleErrorLine(double permissibleMillimetres) {
  return "The Permissible Error is     " + FormatFixed(permissibleMillimetres, 2) + " mm";
}

namespace {

// One row of the report below the first heading row: which cells it has
// (an emptied one has a look and no value), their values, and which carry
// five decimals. A heading row's cells look like the first heading row's.
struct RowCells {
  std::array<CellValue, 15> values;
  std::bitset<15> present, fiveDecimals;
  bool heading = false;
  void Put(int column, const CellValue& value, bool five = false) {
    if (value.IsEmpty()) return;
    values[static_cast<std::size_t>(column)] = value;
    present.set(static_cast<std::size_t>(column));
    fiveDecimals.set(static_cast<std::size_t>(column), five);
  }
};

// The rows of the report from the one below the first heading row, asked
// for in ascending order.
class ReportRows {
 public:
  ReportRows(const Survey& survey, const ReportLayout& layout, double permissibleErrorMm)
      : survey_(survey), layout_(layout), permissible_(permissibleErrorMm) {}
  int First() const { return layout_.headingRows.front() + 1; }
  int Last() const { return layout_.closureRow + 4; }

  void Fill(int row, RowCells& cells) {
    cells = RowCells{};
    while (line_ + 1 < survey_.lines.size() && row >= layout_.headingRows[line_ + 1]) ++line_;
    const LevellingLine& line = survey_.lines[line_];
    const int heading = layout_.headingRows[line_];
    if (row == heading) {
      cells.heading = true;
      for (int column = 1; column <= 14; ++column)
        cells.Put(column, CellValue::Text(std::string(
                              kReportColumnHeadings[static_cast<std::size_t>(column - 1)])));
      return;
    }
    const std::size_t pair = static_cast<std::size_t>((row - heading - 1) / 2);
    const bool fore = (row - heading - 1) % 2 == 1;
    // The cells a dropped set-up's readings took stay, emptied, where no
    // later set-up writes.
    for (const DroppedSetup& d : line.dropped) {
      if (d.before != pair) continue;
      if (!fore && d.backRead) Empty(cells, {kRef, kBs1, kDist1});
      if (!fore && d.backPaired) Empty(cells, {kBs2, kDist2, kAveBs, kAveDist});
      if (fore && d.foreRead) Empty(cells, {kRef, kFs1, kDist1});
    }
    if (pair < line.setups.size()) {
      const Setup* setup = &line.setups[pair];
      if (setup != rowsOf_) rows_ = RowsOf(*setup), rowsOf_ = setup;
      for (int column = 1; column <= 14; ++column)
        cells.Put(column, (fore ? rows_.fore : rows_.back)[static_cast<std::size_t>(column)],
                  column == (fore ? kRise : kCalRl));
    }
    if (line_ + 1 < survey_.lines.size()) return;
    if (row == layout_.summationRow) {
      const auto summation = SummationRow(survey_.closure);
      for (int column : {kRise, kFall, kAveDist, kFs2})
        cells.Put(column, summation[static_cast<std::size_t>(column)]);
    }
    if (row == layout_.closureRow + 3)
      cells.Put(kFs2, CellValue::Text(MiscloseLine(survey_.closure.misclose)));
    if (row == layout_.closureRow + 4)
      cells.Put(kFs2, CellValue::Text(PermissibleErrorLine(permissible_)));
  }

 private:
  static void Empty(RowCells& cells, std::initializer_list<int> columns) {
    for (int column : columns) {
      cells.values[static_cast<std::size_t>(column)] = CellValue::Empty();
      cells.present.set(static_cast<std::size_t>(column));
    }
  }

  const Survey& survey_;
  const ReportLayout& layout_;
  double permissible_;
  std::size_t line_ = 0;
  const Setup* rowsOf_ = nullptr;  // the set-up whose two rows rows_ holds
  SetupRows rows_;
};

// The formatted cells' looks are made in the order the report has always
// been filled in, a set-up's rise before its level: the workbook's cell
// styles come out the same.
void MakeFormattedLooks(Worksheet& sheet, const Survey& survey) {
  const Setup* first = nullptr;
  for (const LevellingLine& line : survey.lines)
    if (!first && !line.setups.empty()) first = &line.setups.front();
  if (!first) return;
  const CellFormat five{.numberFormat = kFiveDecimals};
  if (first->riseFall > 0) sheet.StyleFor(kRise, five);
  sheet.StyleFor(kCalRl, five);
  if (survey.closure.anyRise) sheet.StyleFor(kRise, five);
}

}  // namespace

void WriteReport(Workbook& workbook, const ReportHeader& header, const Survey& survey,
                 const ReportLayout& layout, double permissibleErrorMm) {
  Worksheet sheet = workbook.ActiveSheet();
  for (int row = 1; row <= 4; ++row)
    sheet.SetText(row, 1, header[static_cast<std::size_t>(row - 1)]);
  for (int column = 1; column <= 14; ++column)
    sheet.SetText(kReportHeadingRow, column,
                  kReportColumnHeadings[static_cast<std::size_t>(column - 1)]);
  MakeFormattedLooks(sheet, survey);
  if (survey.lines.empty()) {
    // A file of single-run lines only: they are on the Level Book sheet.
    sheet.SetText(kReportHeadingRow + 2, 1,
                  "The file holds no double-run line; its single-run lines are reduced on the "
                  "sheet \"Level Book\".");
    return;
  }

  auto rows = std::make_shared<ReportRows>(survey, layout, permissibleErrorMm);
  if (sheet.LastRow() < rows->First()) {
    // Nothing of the template's below the first heading row: the set-up
    // rows are written when the workbook is saved, not held in memory.
    std::array<CellStyleId, 15> plain{}, five{}, heading{};
    for (int column = 1; column <= 14; ++column) {
      plain[column] = sheet.StyleAt(rows->First(), column);
      heading[column] = sheet.StyleAt(kReportHeadingRow, column);
    }
    if (survey.closure.anyRise)
      five[kRise] = sheet.StyleFor(kRise, {.numberFormat = kFiveDecimals});
    if (survey.LastSetup()) five[kCalRl] = sheet.StyleFor(kCalRl, {.numberFormat = kFiveDecimals});
    auto cells = std::make_shared<RowCells>();
    sheet.StreamRows(rows->First(), rows->Last() - rows->First() + 1, 14,
                     [rows, cells, plain, five, heading](int row, RowWriter& out) {
                       rows->Fill(row, *cells);
                       for (int column = 1; column <= 14; ++column) {
                         const auto c = static_cast<std::size_t>(column);
                         if (!cells->present[c]) continue;
                         const CellValue& value = cells->values[c];
                         const CellStyleId look = cells->heading           ? heading[c]
                                                  : cells->fiveDecimals[c] ? five[c]
                                                                           : plain[c];
                         if (value.kind == CellValue::Kind::Number)
                           out.Number(column, value.number, look);
                         else if (value.kind == CellValue::Kind::Text)
                           out.Text(column, value.text, look);
                         else
                           out.Empty(column, look);
                       }
                     });
    return;
  }
  // A template of the surveyor's own with cells below: written cell by cell.
  RowCells cells;
  for (int row = rows->First(); row <= rows->Last(); ++row) {
    rows->Fill(row, cells);
    for (int column = 1; column <= 14; ++column) {
      const auto c = static_cast<std::size_t>(column);
      if (!cells.present[c]) continue;
      const CellValue& value = cells.values[c];
      if (cells.heading) sheet.CopyFormat(kReportHeadingRow, column, row, column);
      if (value.kind == CellValue::Kind::Number && cells.fiveDecimals[c])
        sheet.SetNumber(row, column, value.number, kFiveDecimals);
      else if (value.kind == CellValue::Kind::Empty)
        sheet.SetNumber(row, column, 0), sheet.Clear(row, column);
      else
        sheet.Set(row, column, value);
    }
  }
}

std::string ReportFigures(const Survey& survey, const ReportLayout& layout) {
  Fingerprint print;
  int row = layout.firstDataRow;
  if (!survey.lines.empty())
    for (const Setup& setup : survey.lines.back().setups) {
      const SetupRows rows = RowsOf(setup);
      print.AddRow(rows.back);
      print.AddRow(rows.fore);
      row += 2;
    }
  print.AddRow(SummationRow(survey.closure));
  return print.Text(row);
}

std::string ReportFigures(const Workbook& workbook, int firstDataRow) {
  if (firstDataRow < 1 || firstDataRow >= Workbook::kMaxRows) return {};
  // Set-up pairs down to the summation row, the first pair of rows whose
  // "Dist1(m)" cells are both empty; then that row.
  int last = firstDataRow;
  while (last + 1 < Workbook::kMaxRows &&
         !(workbook.Get(last, kDist1).IsEmpty() && workbook.Get(last + 1, kDist1).IsEmpty()))
    last += 2;
  Fingerprint print;
  for (int row = firstDataRow; row <= last; ++row)
    for (int column : Fingerprint::kColumns) print.Add(workbook.Get(row, column));
  return print.Text(last);
}

ReportLine ReadReportLine(const Workbook& workbook, int first, const std::string& path) {
  ReportLine line;
  line.firstDataRow = first;
  // Pairs down to the summation row, the first pair of rows whose
  // "Dist1(m)" cells are both empty. A set-up recorded without a back sight
  // leaves its back-sight row empty, but its fore-sight row always holds a
  // distance, so the walk goes on over it.
  int k = first;
  do {
    line.means.push_back(
        {StrictValue(workbook, k, kAveBs, path), StrictValue(workbook, k + 1, kAveFs, path)});
    k += 2;
  } while (k + 1 <= Workbook::kMaxRows &&
           !(workbook.Get(k, kDist1).IsEmpty() && workbook.Get(k + 1, kDist1).IsEmpty()));
  line.endRow = k;
  if (line.endRow + 4 > Workbook::kMaxRows)
    throw Error(path, "adjust the reduced levels", "the closure lines fall outside the sheet");
  // Held while the workbook is saved: no more room than the line takes.
  line.means.shrink_to_fit();
  line.points.reserve(line.means.size() + 1);
  line.pairs.reserve(line.means.size());
  line.points.push_back(PointText(workbook.Get(first, kRef)));
  for (int r = first; r < line.endRow; r += 2) {
    line.points.push_back(PointText(workbook.Get(r + 1, kRef)));
    LevelledPair pair;
    pair.backDistance = StrictValue(workbook, r, kAveDist, path);
    pair.foreDistance = StrictValue(workbook, r + 1, kAveDist, path);
    for (int column : {kRise, kFall}) StrictValue(workbook, r, column, path);
    pair.rise = StrictValue(workbook, r + 1, kRise, path);
    pair.fall = StrictValue(workbook, r + 1, kFall, path);
    line.pairs.push_back(pair);
  }
  return line;
}

void WriteAdjustedLine(Workbook& workbook, const ReportLine& line,
                       const std::vector<AdjustedPair>& adjusted, double miscloseMetres,
                       double permissibleErrorMm, const std::string& path) {
  auto put = [&](int row, int column, double value) {
    if (!std::isfinite(value))
      throw Error(path, "adjust the reduced levels",
                  "the level of cell " + CellName(row, column) + " is too large");
    workbook.SetNumber(row, column, value);
  };
  for (std::size_t i = 0; i < line.pairs.size(); ++i) {
    const int r = line.firstDataRow + static_cast<int>(2 * i);
    put(r, kCalRl, line.pairs[i].calRlBack);
    put(r + 1, kCalRl, line.pairs[i].calRlFore);
  }
  for (std::size_t i = 0; i < adjusted.size(); ++i) {
    const int r = line.firstDataRow + static_cast<int>(2 * i);
    put(r, kAdjRl, adjusted[i].back);
    if (adjusted[i].fore) put(r + 1, kAdjRl, *adjusted[i].fore);
  }
  workbook.SetText(line.endRow + 3, kFs2, MiscloseLine(miscloseMetres));
  workbook.SetText(line.endRow + 4, kFs2, PermissibleErrorLine(permissibleErrorMm));
}

}  // namespace vireo
