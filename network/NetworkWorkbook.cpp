#include "network/NetworkWorkbook.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <memory>

#include "common/AppFolder.h"
#include "common/Error.h"
#include "common/Text.h"
#include "output/SheetTable.h"

namespace vireo {
namespace {

// ".xlsx" after the name and the file name within 255 bytes.
constexpr std::size_t kMaxNameBytes = 250;
constexpr std::size_t kNamesListed = 20;

constexpr CellFormat kMetres{.numberFormat = "0.00000"};
constexpr CellFormat kLength{.numberFormat = "0.000"};
constexpr CellFormat kMm{.numberFormat = "0.00"};
constexpr CellFormat kRedundancy{.numberFormat = "0.000"};
constexpr CellFormat kW{.numberFormat = "0.00"};
constexpr const char* kFooter = "&L&F, &A&RPage &P of &N";
constexpr ColumnKind kNumber = ColumnKind::Number, kText = ColumnKind::Text;

// A4 landscape, every column on one page wide, the heading row on every
// page, and the columns as wide as their longest entries.
void Lay(Worksheet& sheet, ColumnWidths& widths, int headingRow) {
  widths.Apply(sheet);
  PageSetup page;
  page.landscape = true;
  page.fitToWidth = true;
  page.firstTitleRow = page.lastTitleRow = headingRow;
  page.margins = kNarrowMargins;
  page.footer = kFooter;
  sheet.SetPageSetup(page);
}

std::string RemovedText(int round) {
  return "removed in round " + std::to_string(round);
}

std::string SectionName(const NetworkAdjustment& r, const AdjustedSection& s) {
  return r.FileOf(s) + " line of levelling " + std::to_string(s.line) + " " +
         r.Route(s, " \u2192 ");
}

std::string TargetName(const NetworkAdjustment& r, const SnoopingTarget& t) {
  if (t.benchmark >= 0) return "the height of the benchmark " + r.benchmarks[t.benchmark].name;
  return SectionName(r, r.sections[t.section]);
}

std::string ListOf(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size() && i < kNamesListed; ++i)
    text += (i > 0 ? "; " : "") + names[i];
  if (names.size() > kNamesListed)
    text += " and " + std::to_string(names.size() - kNamesListed) + " more";
  return text;
}

std::string TestText(const std::optional<GlobalTest>& test) {
  if (!test) return "none: no redundant observation";
  return FormatFixed(test->statistic, 2) + (test->pass ? " passed" : " FAILED");
}

// The smallest and largest value a number column holds: the widest two.
struct Extent {
  double low = 0, high = 0;
  bool any = false;
  void Add(double v) {
    low = any ? std::min(low, v) : v;
    high = any ? std::max(high, v) : v;
    any = true;
  }
  void Fit(ColumnWidths& widths, int column, const CellFormat& format) const {
    if (!any) return;
    widths.FitNumber(column, low, format.numberFormat);
    widths.FitNumber(column, high, format.numberFormat);
  }
  // The extent of the values shown after `shown`, which never reverses
  // their order: its ends are those of the values.
  Extent Shown(double (*shown)(double)) const { return {shown(low), shown(high), any}; }
};

// The widest of `texts` as printed.
template <typename Texts>
std::string_view Widest(const Texts& texts) {
  double widest = -1;
  std::string_view chosen;
  for (std::string_view text : texts)
    if (const double w = PrintedWidth(text); w > widest) widest = w, chosen = text;
  return chosen;
}

// Text columns as wide as the widest of `texts`.
template <typename Texts>
void FitWidest(ColumnWidths& widths, std::initializer_list<int> columns, const Texts& texts) {
  const std::string_view widest = Widest(texts);
  for (int column : columns) widths.Fit(column, widest, false, true);
}

// A table too long to hold in memory, laid out as a SheetTable: its heading
// row on each of `sheets`, values aligned by their column's kind. Its rows
// are written at save time; the widths of its values are fitted beforehand.
class LongTable {
 public:
  LongTable(std::vector<Worksheet> sheets, int headingRow, std::vector<TableColumn> columns)
      : sheets_(std::move(sheets)), headingRow_(headingRow), columns_(std::move(columns)) {
    for (Worksheet& sheet : sheets_) SheetTable headings(sheet, widths, headingRow_, columns_);
  }
  ColumnWidths widths;
  // The look of a value of `column` (from 1) with `base`.
  CellStyleId Style(int column, CellFormat base = {}) {
    const ColumnKind kind = columns_[static_cast<std::size_t>(column - 1)].kind;
    return sheets_.front().StyleFor(column, AlignedAs(kind, base));
  }
  // Lays the sheets out and streams `count` rows, `perSheet` a sheet;
  // `row(i, writer)` writes row i of the table. It only reads: rows are
  // written on several threads at once.
  void Stream(std::size_t count, std::size_t perSheet,
              const std::function<void(std::size_t, RowWriter&)>& row) {
    const int lastColumn = static_cast<int>(columns_.size());
    for (std::size_t s = 0; s < sheets_.size(); ++s) {
      Lay(sheets_[s], widths, headingRow_);
      const std::size_t first = s * perSheet;
      const std::size_t rows = std::min(perSheet, count - std::min(count, first));
      sheets_[s].StreamRows(headingRow_ + 1, static_cast<int>(rows), lastColumn,
                            [row, first, heading = headingRow_](int r, RowWriter& out) {
                              row(first + static_cast<std::size_t>(r - heading - 1), out);
                            },
                            {.compact = true, .concurrent = true});
    }
  }

 private:
  std::vector<Worksheet> sheets_;
  int headingRow_;
  std::vector<TableColumn> columns_;
};

void WriteSummary(Worksheet sheet, const NetworkAdjustment& result, const std::string& name) {
  ColumnWidths widths;
  sheet.SetText(1, 1, "Levelling network adjustment: " + name, {.bold = true});
  // Label and value; a text value spans the columns of the tables below.
  SheetTable items(sheet, widths, 0, {{"", kText}, {"", kNumber}});
  SheetTable texts(sheet, widths, 0, {{"", kText}, {"", kText, 3}});
  int row = 3;
  for (const SummaryItem& item : SummaryItems(result)) {
    items.Text(row, 1, item.label);
    if (item.number) {
      const std::string format = item.decimals > 0 ? "0." + std::string(item.decimals, '0') : "0";
      items.Number(row, 2, *item.number, {.numberFormat = format, .redFill = item.alarm});
    } else {
      texts.Text(row, 2, item.text, {.redFill = item.alarm});
    }
    ++row;
  }

  row += 1;
  SheetTable inputs(sheet, widths, row++, {{"Input file", kText, 4}});
  for (const std::string& input : result.inputs) inputs.Text(row++, 1, input);

  row += 1;
  SheetTable benchmarks(sheet, widths, row++,
                        {{"Benchmark", kText},
                         {"Height (m)", kNumber},
                         {"\u03C3 (mm)", kNumber},
                         {"Given in", kText}});
  for (const Benchmark& b : result.benchmarks) {
    benchmarks.Text(row, 1, b.name);
    benchmarks.Number(row, 2, b.height, kMetres);
    if (b.sigma)
      benchmarks.Number(row, 3, *b.sigma, kMm);
    else
      benchmarks.Text(row, 3, "fixed");
    benchmarks.Text(
        row++, 4,
        b.sourceLine > 0 ? b.source + " file line " + std::to_string(b.sourceLine) : b.source);
  }

  if (result.snooping) {
    const Snooping& snooping = *result.snooping;
    row += 1;
    sheet.SetText(row++, 1, "Data snooping", {.bold = true});
    SheetTable rounds(sheet, widths, row++,
                      {{"Round: removed", kText},
                       {"w", kNumber},
                       {"Estimated blunder (mm)", kNumber},
                       {"Global test after", kText}});
    for (const SnoopingRound& r : snooping.rounds) {
      rounds.Text(row, 1, std::to_string(r.round) + ": " + TargetName(result, r.removed));
      rounds.Number(row, 2, r.removed.w, kW);
      rounds.Number(row, 3, r.estimatedBlunderMm, kMm);
      rounds.Text(row++, 4, TestText(r.testAfter));
    }
    for (const SnoopingTarget& t : snooping.suspects) {
      rounds.Text(row, 1, "suspect: " + TargetName(result, t), {.redFill = true});
      rounds.Number(row++, 2, t.w, kW);
    }
    sheet.SetText(row++, 1, "Snooping ended: " + snooping.end + ".");
  }

  row += 1;
  SheetTable warnings(sheet, widths, row++,
                      {{"File", kText}, {"File line", kNumber}, {"Warning", kText, 2}});
  if (result.warnings.empty()) warnings.Text(row++, 3, "none");
  // A sheet's rows end somewhere; what does not fit is counted.
  const std::size_t room = static_cast<std::size_t>(Workbook::kMaxRows - row);
  const std::size_t listed = result.warnings.size() <= room ? result.warnings.size() : room - 1;
  for (std::size_t i = 0; i < listed; ++i) {
    const NetworkWarning& w = result.warnings[i];
    if (!w.file.empty()) warnings.Text(row, 1, w.file);
    if (w.line > 0) warnings.Number(row, 2, static_cast<double>(w.line));
    warnings.Text(row, 3, w.message);
    ++row;
  }
  if (listed < result.warnings.size())
    warnings.Text(row, 3,
                  "and " + std::to_string(result.warnings.size() - listed) +
                      " more warnings than this sheet holds");
  Lay(sheet, widths, 0);
}

// Values as the long tables keep them: a hundred times finer than any
// column shows (0.0001 mm), in half the digits of a double's full value.
double Metres(double m) {
  return std::round(m * 1e7) / 1e7 + 0.0;
}
double Millimetres(double mm) {
  return std::round(mm * 1e4) / 1e4 + 0.0;
}
double Ratio(double r) {  // r and w
  return std::round(r * 1e5) / 1e5 + 0.0;
}

// The points the Heights sheet lists: every network point, and every
// turning point that no set-up ends on (the others have their height
// beside the set-up that reaches them).
std::vector<int> ListedPoints(const NetworkAdjustment& result) {
  std::vector<char> reached(result.points.size(), 0);
  for (const AdjustedObservation& o : result.observations)
    if (!o.IsBenchmark()) reached[o.to] = 1;
  std::vector<int> listed;
  for (std::size_t p = 0; p < result.points.size(); ++p)
    if (!result.points[p].turningPoint || !reached[p]) listed.push_back(static_cast<int>(p));
  return listed;
}

void WriteHeights(std::vector<Worksheet> sheets, const NetworkAdjustment& result,
                  std::shared_ptr<const std::vector<int>> listed, std::size_t perSheet) {
  LongTable table(std::move(sheets), 1,
                  {{"Point", kText},
                   {"Height (m)", kNumber},
                   {"\u03C3 (mm)", kNumber},
                   {"Kind", kText},
                   {"Remark", kText}});
  Extent height, sigma;
  std::vector<std::string_view> names, remarks;
  bool removed = false, turning = false, unobserved = false;
  for (int i : *listed) {
    const AdjustedPoint& p = result.points[static_cast<std::size_t>(i)];
    names.push_back(p.name);
    height.Add(Metres(p.height));
    sigma.Add(Millimetres(p.sigma));
    removed |= p.inRemovedSection;
    turning |= p.turningPoint;
    unobserved |= !p.observed;
  }
  if (removed) remarks.push_back("turning point of a removed section");
  if (turning) remarks.push_back("turning point");
  if (unobserved) remarks.push_back("no observation reaches it");
  FitWidest(table.widths, {1}, names);
  height.Fit(table.widths, 2, kMetres);
  sigma.Fit(table.widths, 3, kMm);
  FitWidest(table.widths, {4},
            std::array<std::string_view, 3>{PointKindName(PointKind::Fixed),
                                            PointKindName(PointKind::Weighted),
                                            PointKindName(PointKind::Adjusted)});
  FitWidest(table.widths, {5}, remarks);
  const CellStyleId name = table.Style(1), metres = table.Style(2, kMetres),
                    mm = table.Style(3, kMm), text = table.Style(4);
  table.Stream(listed->size(), perSheet,
               [&result, listed, name, metres, mm, text](std::size_t i, RowWriter& out) {
                 const AdjustedPoint& p = result.points[static_cast<std::size_t>((*listed)[i])];
                 out.Text(1, p.name, name);
                 out.Number(2, Metres(p.height), metres);
                 out.Number(3, Millimetres(p.sigma), mm);
                 out.Text(4, PointKindName(p.kind), text);
                 if (p.inRemovedSection)
                   out.Text(5, "turning point of a removed section", text);
                 else if (p.turningPoint)
                   out.Text(5, "turning point", text);
                 else if (!p.observed)
                   out.Text(5, "no observation reaches it", text);
               });
}

// Every set-up and weighted benchmark, with the height its fore point
// (its To) gets.
void WriteObservations(std::vector<Worksheet> sheets, const NetworkAdjustment& result,
                       std::size_t perSheet) {
  LongTable table(std::move(sheets), 1,
                  {{"File", kText},
                   {"Field line", kNumber},
                   {"From", kText},
                   {"To", kText},
                   {"L (m)", kNumber},
                   {"Observed (m)", kNumber},
                   {"Adjusted (m)", kNumber},
                   {"v (mm)", kNumber},
                   {"\u03C3 (mm)", kNumber},
                   {"r", kNumber},
                   {"w", kNumber},
                   {"Flag", kText},
                   {"MDB (mm)", kNumber},
                   {"Height of To (m)", kNumber},
                   {"\u03C3 To (mm)", kNumber}});
  constexpr CellFormat kCount{};
  const std::array<CellFormat, 16> format = {
      kCount, kCount, kCount,      kCount, kCount, kLength, kMetres, kMetres,
      kMm,    kMm,    kRedundancy, kW,     kCount, kMm,     kMetres, kMm};
  std::array<Extent, 16> extent;
  std::vector<std::string_view> files(result.inputLabels.begin(), result.inputLabels.end());
  std::vector<std::string> benchmarkFiles;
  std::vector<std::string_view> names, flags = {"flagged", "no check"};
  int lastRound = 0;
  for (const AdjustedPoint& p : result.points) names.push_back(p.name);
  for (const AdjustedObservation& o : result.observations) {
    if (o.IsBenchmark()) benchmarkFiles.push_back(result.FileOf(o));
    extent[2].Add(static_cast<double>(o.fieldLine));
    extent[5].Add(o.length);
    extent[6].Add(o.observed);
    extent[7].Add(o.adjusted);
    extent[8].Add(o.residual);
    extent[9].Add(o.sigma);
    extent[10].Add(o.redundancy);
    if (o.standardizedResidual) extent[11].Add(*o.standardizedResidual);
    if (o.mdb) extent[13].Add(*o.mdb);
    const AdjustedPoint& to = result.points[o.to];
    extent[14].Add(to.height);
    extent[15].Add(to.sigma);
    lastRound = std::max(lastRound, o.removedInRound);
  }
  for (int c : {5, 6, 7, 14}) extent[c] = extent[c].Shown(Metres);
  for (int c : {8, 9, 13, 15}) extent[c] = extent[c].Shown(Millimetres);
  for (int c : {10, 11}) extent[c] = extent[c].Shown(Ratio);
  files.insert(files.end(), benchmarkFiles.begin(), benchmarkFiles.end());
  const std::string removed = RemovedText(lastRound);
  if (lastRound > 0) flags.push_back(removed);
  FitWidest(table.widths, {1}, files);
  FitWidest(table.widths, {3, 4}, names);
  FitWidest(table.widths, {12}, flags);
  std::array<CellStyleId, 16> style{};
  for (int c = 1; c <= 15; ++c) {
    extent[c].Fit(table.widths, c, format[c]);
    style[c] = table.Style(c, format[c]);
  }
  const CellStyleId red = table.Style(12, {.redFill = true});
  table.Stream(
      result.observations.size(), perSheet, [&result, style, red](std::size_t i, RowWriter& out) {
        const AdjustedObservation& o = result.observations[i];
        out.Text(1, o.IsBenchmark() ? result.FileOf(o) : result.inputLabels[o.input], style[1]);
        if (o.fieldLine > 0) out.Number(2, static_cast<double>(o.fieldLine), style[2]);
        if (!o.IsBenchmark()) out.Text(3, result.points[o.from].name, style[3]);
        out.Text(4, result.points[o.to].name, style[4]);
        if (!o.IsBenchmark()) out.Number(5, Metres(o.length), style[5]);
        out.Number(6, Metres(o.observed), style[6]);
        out.Number(7, Metres(o.adjusted), style[7]);
        out.Number(8, Millimetres(o.residual), style[8]);
        out.Number(9, Millimetres(o.sigma), style[9]);
        out.Number(10, Ratio(o.redundancy), style[10]);
        if (o.standardizedResidual) out.Number(11, Ratio(*o.standardizedResidual), style[11]);
        if (o.removedInRound > 0)
          out.Text(12, RemovedText(o.removedInRound), red);
        else if (o.flagged)
          out.Text(12, "flagged", red);
        else if (!o.standardizedResidual)
          out.Text(12, "no check", style[12]);
        if (o.mdb) out.Number(13, Millimetres(*o.mdb), style[13]);
        const AdjustedPoint& to = result.points[o.to];
        out.Number(14, Metres(to.height), style[14]);
        out.Number(15, Millimetres(to.sigma), style[15]);
      });
}

// The sections run forward and back, from `row`; the row after them.
int WriteForwardBack(Worksheet& sheet, ColumnWidths& widths, int row,
                     const NetworkAdjustment& result) {
  sheet.SetText(row++, 1, "Sections run forward and back", {.bold = true});
  SheetTable pairs(sheet, widths, row++,
                   {{"Forward", kText},
                    {"Back", kText},
                    {"Mean L (m)", kNumber},
                    {"Difference (mm)", kNumber},
                    {"Tolerance (mm)", kNumber},
                    {"Result", kText}});
  if (result.forwardBack.empty()) pairs.Text(row++, 1, "none");
  for (const ForwardBackPair& pair : result.forwardBack) {
    pairs.Text(row, 1, SectionName(result, result.sections[pair.forward]));
    pairs.Text(row, 2, SectionName(result, result.sections[pair.back]));
    pairs.Number(row, 3, pair.meanLength, kLength);
    pairs.Number(row, 4, pair.differenceMm, kMm);
    pairs.Number(row, 5, pair.toleranceMm, kMm);
    pairs.Text(row++, 6, pair.pass ? "PASS" : "FAIL", {.redFill = !pair.pass});
  }
  return row;
}

std::string SectionFieldLines(const AdjustedSection& s) {
  return std::to_string(s.firstFieldLine) + "\u2013" + std::to_string(s.lastFieldLine);
}

std::string SectionRemark(const AdjustedSection& s) {
  std::string remark;
  if (s.removedInRound > 0)
    remark = RemovedText(s.removedInRound);
  else if (s.flagged)
    remark = "flagged";
  else if (!s.standardizedResidual)
    remark = "no check";
  if (!s.inLoop) remark += remark.empty() ? "in no loop" : "; in no loop";
  return remark;
}

// Every section between network points, from `row` to the end of the sheet.
void WriteSectionTable(Worksheet& sheet, ColumnWidths& widths, int row,
                       const NetworkAdjustment& result) {
  // Below the held rows; a table longer than the sheet is cut, and says so.
  const std::size_t room = static_cast<std::size_t>(Workbook::kMaxRows - row - 1);
  const std::size_t shown = std::min(result.sections.size(), room);
  sheet.SetText(row++, 1,
                shown < result.sections.size()
                    ? "Sections between network points (the first " + std::to_string(shown) +
                          " of " + std::to_string(result.sections.size()) +
                          "; the JSON of vireo-cli adjust lists all)"
                    : std::string("Sections between network points"),
                {.bold = true});
  const int headingRow = row;
  SheetTable sections(sheet, widths, headingRow,
                      {{"From", kText},
                       {"To", kText},
                       {"File", kText},
                       {"Line of levelling", kNumber},
                       {"File lines", kText},
                       {"Set-ups", kNumber},
                       {"Length (m)", kNumber},
                       {"Observed (m)", kNumber},
                       {"Adjusted (m)", kNumber},
                       {"v (mm)", kNumber},
                       {"r", kNumber},
                       {"w", kNumber},
                       {"MDB (mm)", kNumber},
                       {"Remark", kText}});
  constexpr CellFormat kCount{};
  const std::array<CellFormat, 15> format = {kCount, kCount,      kCount,  kCount,  kCount,
                                             kCount, kCount,      kLength, kMetres, kMetres,
                                             kMm,    kRedundancy, kW,      kMm,     kCount};
  std::array<Extent, 15> extent;
  std::vector<std::string_view> files(result.inputLabels.begin(), result.inputLabels.end());
  std::vector<std::string_view> names;
  std::vector<std::string> fieldLines, remarks;
  for (std::size_t s = 0; s < shown; ++s) {
    const AdjustedSection& section = result.sections[s];
    names.push_back(result.points[section.from].name);
    names.push_back(result.points[section.to].name);
    extent[4].Add(section.line);
    extent[6].Add(static_cast<double>(section.setups));
    extent[7].Add(section.length);
    extent[8].Add(section.observed);
    extent[9].Add(section.adjusted);
    extent[10].Add(section.residual);
    extent[11].Add(section.redundancy);
    if (section.standardizedResidual) extent[12].Add(*section.standardizedResidual);
    if (section.mdb) extent[13].Add(*section.mdb);
  }
  for (std::size_t s = 0; s < shown; ++s) {
    fieldLines.push_back(SectionFieldLines(result.sections[s]));
    remarks.push_back(SectionRemark(result.sections[s]));
  }
  FitWidest(widths, {1, 2}, names);
  FitWidest(widths, {3}, files);
  FitWidest(widths, {5}, fieldLines);
  FitWidest(widths, {14}, remarks);
  std::array<CellStyleId, 15> style{};
  for (int c = 1; c <= 14; ++c) {
    extent[c].Fit(widths, c, format[c]);
    style[c] = sheet.StyleFor(c, sections.Look(c, format[c]));
  }
  const CellStyleId red = sheet.StyleFor(14, sections.Look(14, {.redFill = true}));
  Lay(sheet, widths, headingRow);
  sheet.StreamRows(headingRow + 1, static_cast<int>(shown), 14,
                   [&result, style, red, headingRow](int r, RowWriter& out) {
                     const AdjustedSection& s =
                         result.sections[static_cast<std::size_t>(r - headingRow - 1)];
                     out.Text(1, result.points[s.from].name, style[1]);
                     out.Text(2, result.points[s.to].name, style[2]);
                     out.Text(3, result.FileOf(s), style[3]);
                     out.Number(4, s.line, style[4]);
                     out.Text(5, SectionFieldLines(s), style[5]);
                     out.Number(6, static_cast<double>(s.setups), style[6]);
                     out.Number(7, s.length, style[7]);
                     out.Number(8, s.observed, style[8]);
                     out.Number(9, s.adjusted, style[9]);
                     out.Number(10, s.residual, style[10]);
                     out.Number(11, s.redundancy, style[11]);
                     if (s.standardizedResidual) out.Number(12, *s.standardizedResidual, style[12]);
                     if (s.mdb) out.Number(13, *s.mdb, style[13]);
                     const std::string remark = SectionRemark(s);
                     if (!remark.empty())
                       out.Text(14, remark, s.flagged || s.removedInRound ? red : style[14]);
                   },
                   {.compact = true});
}

// The runs forward and back first, then every section.
void WriteSections(Worksheet sheet, const NetworkAdjustment& result) {
  ColumnWidths widths;
  const int row = WriteForwardBack(sheet, widths, 1, result);
  WriteSectionTable(sheet, widths, row + 1, result);
}

std::string LoopRoute(const NetworkAdjustment& result, const LevellingLoop& loop) {
  std::string text;
  for (const LevellingLoop::Step& step : loop.steps) {
    const AdjustedSection& s = result.sections[step.section];
    const int from = step.reversed ? s.to : s.from, to = step.reversed ? s.from : s.to;
    if (text.empty()) text = result.points[from].name;
    std::string next = " \u2192 " + result.points[to].name + " (" + result.FileOf(s) +
                       " line of levelling " + std::to_string(s.line) +
                       (step.reversed ? ", reversed)" : ")");
    if (text.size() + next.size() > static_cast<std::size_t>(Workbook::kMaxTextLength) - 8) {
      text += " \u2026";
      break;
    }
    text += next;
  }
  return text;
}

void WriteLoops(Worksheet sheet, const NetworkAdjustment& result) {
  long failing = 0;
  for (const LevellingLoop& loop : result.loops) failing += loop.pass ? 0 : 1;
  std::vector<std::string> unchecked;
  for (const AdjustedSection& s : result.sections)
    if (!s.inLoop) unchecked.push_back(SectionName(result, s));
  int row = 1;
  sheet.SetText(row++, 1,
                std::to_string(result.loops.size()) + " independent loops of " +
                    std::to_string(result.sections.size()) + " sections, " +
                    std::to_string(failing) +
                    " out of tolerance (n = " + DecimalText(result.errorFactor) + ")",
                {.bold = true, .redFill = failing > 0});
  sheet.SetText(row++, 1,
                unchecked.empty() ? "Every section lies in a loop."
                                  : std::to_string(unchecked.size()) +
                                        (unchecked.size() == 1
                                             ? " section lies in no loop, so no loop checks it: "
                                             : " sections lie in no loop, so no loop checks "
                                               "them: ") +
                                        ListOf(unchecked));
  row += 1;
  const int headingRow = row;
  ColumnWidths widths;
  SheetTable loops(sheet, widths, headingRow,
                   {{"Loop", kNumber},
                    {"Sections", kNumber},
                    {"Length (m)", kNumber},
                    {"Misclose (mm)", kNumber},
                    {"Tolerance (mm)", kNumber},
                    {"Result", kText},
                    {"Route", kText}});
  const std::size_t room = static_cast<std::size_t>(Workbook::kMaxRows - headingRow);
  const std::size_t shown = std::min(result.loops.size(), room);
  Extent number, steps, length, mm;
  std::vector<std::string> routes;
  for (std::size_t i = 0; i < shown; ++i) {
    const LevellingLoop& loop = result.loops[i];
    number.Add(static_cast<double>(i + 1));
    steps.Add(static_cast<double>(loop.steps.size()));
    length.Add(loop.length);
    mm.Add(loop.miscloseMm);
    mm.Add(loop.toleranceMm);
    routes.push_back(LoopRoute(result, loop));
  }
  number.Fit(widths, 1, {});
  steps.Fit(widths, 2, {});
  length.Fit(widths, 3, kLength);
  mm.Fit(widths, 4, kMm);
  mm.Fit(widths, 5, kMm);
  FitWidest(widths, {6}, std::array<std::string_view, 2>{"PASS", "FAIL"});
  FitWidest(widths, {7}, routes);
  const CellStyleId count = sheet.StyleFor(1, loops.Look(1)),
                    metres = sheet.StyleFor(3, loops.Look(3, kLength)),
                    millimetres = sheet.StyleFor(4, loops.Look(4, kMm)),
                    pass = sheet.StyleFor(6, loops.Look(6)),
                    red = sheet.StyleFor(6, loops.Look(6, {.redFill = true})),
                    route = sheet.StyleFor(7, loops.Look(7));
  Lay(sheet, widths, headingRow);
  sheet.StreamRows(
      headingRow + 1, static_cast<int>(shown), 7,
      [&result, count, metres, millimetres, pass, red, route, headingRow](int r, RowWriter& out) {
        const std::size_t i = static_cast<std::size_t>(r - headingRow - 1);
        const LevellingLoop& loop = result.loops[i];
        out.Number(1, static_cast<double>(i + 1), count);
        out.Number(2, static_cast<double>(loop.steps.size()), count);
        out.Number(3, loop.length, metres);
        out.Number(4, loop.miscloseMm, millimetres);
        out.Number(5, loop.toleranceMm, millimetres);
        out.Text(6, loop.pass ? "PASS" : "FAIL", loop.pass ? pass : red);
        out.Text(7, LoopRoute(result, loop), route);
      },
      {.compact = true});
}

}  // namespace

std::string AdjustmentName(const std::string& given, const std::string& firstInput) {
  const std::string name = given.empty() ? BaseNameOf(firstInput) : given;
  const std::string file = given.empty() ? firstInput : "\"" + given + "\"";
  if (name.empty())
    throw Error(file, "name the adjustment",
                "the file's name leaves no name for the workbook; give the adjustment a name");
  if (name[0] == '.' || std::any_of(name.begin(), name.end(),
                                    [](char c) { return (c >= 0 && c < ' ') || c == 0x7F; }))
    throw Error(file, "name the adjustment",
                "a workbook name cannot start with \".\" (the file would be hidden) nor hold a "
                "control character or line break; give another name");
  if (name.find_first_of("/\\") != std::string::npos)
    throw Error(file, "name the adjustment",
                "a workbook name cannot hold a folder; give a name without \"/\" or \"\\\"");
  if (name.size() > kMaxNameBytes)
    throw Error(file, "name the adjustment",
                "the name has " + std::to_string(name.size()) +
                    " bytes; a workbook name may have " + std::to_string(kMaxNameBytes));
  return name;
}

namespace {

void ReliabilityItems(const NetworkAdjustment& result, std::vector<SummaryItem>& items) {
  items.push_back(
      {"\u03BB\u2080 of the MDB (\u03B2\u2080 80 %)", result.limits.lambda0, 2, {}, false});
  if (const auto largest = result.LargestMdbSection()) {
    const AdjustedSection& s = result.sections[*largest];
    items.push_back({"Largest MDB (mm)", *s.mdb, 2, {}, false});
    items.push_back({"  in the section", std::nullopt, 0, SectionName(result, s), false});
  }
  std::vector<std::string> weak, unchecked;
  for (const AdjustedSection& s : result.sections) {
    if (s.removedInRound > 0) continue;
    if (!s.standardizedResidual)
      unchecked.push_back(SectionName(result, s));
    else if (s.redundancy < 0.1)
      weak.push_back(SectionName(result, s));
  }
  items.push_back(
      {"Weakly checked sections (r < 0.1)", static_cast<double>(weak.size()), 0, {}, false});
  if (!weak.empty()) items.push_back({"  namely", std::nullopt, 0, ListOf(weak), false});
  items.push_back(
      {"Sections without a check (r = 0)", static_cast<double>(unchecked.size()), 0, {}, false});
  if (!unchecked.empty()) items.push_back({"  namely", std::nullopt, 0, ListOf(unchecked), false});
}

void ClosureItems(const NetworkAdjustment& result, std::vector<SummaryItem>& items) {
  long pairsFailing = 0, loopsFailing = 0, unlooped = 0;
  for (const ForwardBackPair& p : result.forwardBack) pairsFailing += p.pass ? 0 : 1;
  for (const LevellingLoop& l : result.loops) loopsFailing += l.pass ? 0 : 1;
  for (const AdjustedSection& s : result.sections) unlooped += s.inLoop ? 0 : 1;
  auto count = [](const char* label, std::size_t n, bool alarm = false) {
    return SummaryItem{label, static_cast<double>(n), 0, {}, alarm};
  };
  items.push_back(count("Sections between network points", result.sections.size()));
  items.push_back(count("Sections run forward and back (pairs)", result.forwardBack.size()));
  items.push_back(count("  of them out of tolerance", static_cast<std::size_t>(pairsFailing),
                        pairsFailing > 0));
  items.push_back(count("Independent loops", result.loops.size()));
  items.push_back(count("  of them out of tolerance", static_cast<std::size_t>(loopsFailing),
                        loopsFailing > 0));
  items.push_back(count("Sections in no loop", static_cast<std::size_t>(unlooped)));
}

void SnoopingItems(const NetworkAdjustment& result, std::vector<SummaryItem>& items) {
  if (!result.snooping) return;
  const Snooping& s = *result.snooping;
  items.push_back({"Global test before snooping", std::nullopt, 0, TestText(s.testBefore),
                   s.testBefore && !s.testBefore->pass});
  items.push_back({"Snooping rounds (sections removed)",
                   static_cast<double>(s.rounds.size()),
                   0,
                   {},
                   !s.rounds.empty()});
  // What snooping removed is what the data blame: the sections to level
  // again (or the benchmark heights to check).
  if (!s.rounds.empty()) {
    std::vector<std::string> names;
    for (const SnoopingRound& r : s.rounds) names.push_back(TargetName(result, r.removed));
    items.push_back({"Re-level (removed by snooping)", std::nullopt, 0, ListOf(names), true});
  }
  if (!s.suspects.empty()) {
    std::vector<std::string> names;
    for (const SnoopingTarget& t : s.suspects) names.push_back(TargetName(result, t));
    items.push_back(
        {s.suspects.size() > 1 ? "Suspect sections (one holds the blunder)" : "Suspect section",
         std::nullopt, 0, ListOf(names), true});
  }
  items.push_back({"Snooping ended", std::nullopt, 0, s.end, false});
}

}  // namespace

std::vector<SummaryItem> SummaryItems(const NetworkAdjustment& result) {
  long fixed = 0, weighted = 0, network = 0, turning = 0, benchmarkObservations = 0;
  for (const AdjustedPoint& p : result.points) {
    (p.turningPoint ? turning : network) += 1;
    fixed += p.kind == PointKind::Fixed;
    weighted += p.kind == PointKind::Weighted;
  }
  for (const AdjustedObservation& o : result.observations) benchmarkObservations += o.IsBenchmark();
  auto count = [](const char* label, long n) {
    return SummaryItem{label, static_cast<double>(n), 0, {}, false};
  };
  std::vector<SummaryItem> items = {
      {"\u03C3 for 1 km of levelling (mm)", result.sigmaKm, 2, {}, false},
      count("Input files", static_cast<long>(result.inputs.size())),
      count("Set-ups (observed differences)", result.setups),
      count("Weighted benchmark heights", benchmarkObservations),
      count("Network points", network),
      count("  of them fixed", fixed),
      count("  of them weighted", weighted),
      count("Turning points", turning),
      count("Degrees of freedom", result.degreesOfFreedom),
  };
  SnoopingItems(result, items);
  if (result.varianceFactor && result.test) {
    const GlobalTest& t = *result.test;
    items.push_back({"Variance factor s0\u00B2", *result.varianceFactor, 3, {}, false});
    items.push_back({"s0", std::sqrt(*result.varianceFactor), 3, {}, false});
    items.push_back({"Test statistic (dof \u00D7 s0\u00B2)", t.statistic, 2, {}, !t.pass});
    items.push_back({"Lower bound (\u03C7\u00B2, 2.5 %)", t.lower, 2, {}, false});
    items.push_back({"Upper bound (\u03C7\u00B2, 97.5 %)", t.upper, 2, {}, false});
    items.push_back({"Global test (95 %)", std::nullopt, 0, t.pass ? "passed" : "FAILED", !t.pass});
  } else {
    const char* none = "none: no redundant observation";
    for (const char* label : {"Variance factor s0\u00B2", "Global test (95 %)"})
      items.push_back({label, std::nullopt, 0, none, false});
  }
  items.push_back({"Flag limit |w|", result.limits.flagLimit, 2, {}, false});
  items.push_back(
      {"  significance level \u03B1\u2080 (%)", result.limits.alpha * 100, 2, {}, false});
  const long flagged = result.FlaggedCount();
  items.push_back({"Flagged observations", static_cast<double>(flagged), 0, {}, flagged > 0});
  if (const auto largest = result.LargestStandardizedResidual()) {
    const AdjustedObservation& o = result.observations[*largest];
    items.push_back({"Largest |w|", std::abs(*o.standardizedResidual), 2, {}, o.flagged});
    items.push_back({"  at", std::nullopt, 0,
                     result.FileOf(o) + " file line " + std::to_string(o.fieldLine), o.flagged});
    items.push_back({"  from \u2192 to", std::nullopt, 0, result.Route(o, " \u2192 "), o.flagged});
  } else {
    items.push_back({"Largest |w|", std::nullopt, 0, "none: no observation is checked", false});
  }
  ReliabilityItems(result, items);
  ClosureItems(result, items);
  items.push_back(count("Warnings", static_cast<long>(result.warnings.size())));
  return items;
}

std::vector<std::string> ContinuedSheetNames(const std::string& first, std::size_t rows,
                                             std::size_t rowsPerSheet) {
  std::vector<std::string> names = {first};
  for (std::size_t n = 2; (n - 1) * rowsPerSheet < rows; ++n)
    names.push_back(first + " (" + std::to_string(n) + ")");
  return names;
}

Workbook NetworkWorkbook(const NetworkAdjustment& result, const std::string& name,
                         std::size_t rowsPerSheet) {
  Workbook workbook = Workbook::Create({kSummarySheet});
  auto addSheets = [&](const char* first, std::size_t rows) {
    std::vector<Worksheet> sheets;
    for (const std::string& sheet : ContinuedSheetNames(first, rows, rowsPerSheet))
      sheets.push_back(workbook.AddSheet(sheet));
    return sheets;
  };
  auto listed = std::make_shared<std::vector<int>>(ListedPoints(result));
  std::vector<Worksheet> heights = addSheets(kHeightsSheet, listed->size());
  std::vector<Worksheet> observations = addSheets(kObservationsSheet, result.observations.size());
  WriteSummary(workbook.Sheet(kSummarySheet), result, name);
  WriteHeights(std::move(heights), result, listed, rowsPerSheet);
  WriteObservations(std::move(observations), result, rowsPerSheet);
  WriteSections(workbook.AddSheet(kSectionsSheet), result);
  WriteLoops(workbook.AddSheet(kLoopsSheet), result);
  return workbook;
}

std::string SaveNetworkWorkbook(const NetworkAdjustment& result, const std::string& name,
                                const AppFolder& app, FileSystem& fs) {
  const std::string path = app.AdjustedNetworkWorkbook(name);
  RefuseNotAFile(fs, path);  // a folder there is named before any work
  try {
    const Workbook workbook = NetworkWorkbook(result, name);
    fs.CreateFolder(app.AdjustedNetworks());
    workbook.Save(path, fs);
  } catch (const Error& e) {
    if (e.File() == path) throw;
    throw Error(
        path, "save the network workbook",
        e.File().empty() ? e.Cause() : e.File() + ": " + e.Operation() + " (" + e.Cause() + ")");
  }
  return path;
}

}  // namespace vireo
