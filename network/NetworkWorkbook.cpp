#include "network/NetworkWorkbook.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <memory>

#include "common/Error.h"
#include "common/Text.h"

namespace vireo {
namespace {

// ".xlsx" after the name and the file name within 255 bytes.
constexpr std::size_t kMaxNameBytes = 250;
constexpr std::size_t kNamesListed = 20;

constexpr CellFormat kHeading{.bold = true, .ruleBelow = true};
constexpr CellFormat kMetres{.numberFormat = "0.00000"};
constexpr CellFormat kLength{.numberFormat = "0.000"};
constexpr CellFormat kMm{.numberFormat = "0.00"};
constexpr CellFormat kRedundancy{.numberFormat = "0.000"};
constexpr CellFormat kW{.numberFormat = "0.00"};
constexpr const char* kFooter = "&L&F, &A&RPage &P of &N";

void Headings(Worksheet& sheet, int row, std::initializer_list<const char*> headings) {
  int column = 1;
  for (const char* heading : headings) sheet.SetText(row, column++, heading, kHeading);
}

// Landscape, every column on one page wide, the heading row on every page.
void PrintSetup(Worksheet& sheet, int headingRow) {
  PageSetup page;
  page.landscape = true;
  page.fitToWidth = true;
  page.firstTitleRow = page.lastTitleRow = headingRow;
  page.margins = kNarrowMargins;
  page.footer = kFooter;
  sheet.SetPageSetup(page);
}

// Wide enough for the longest point name, within reason.
double NameWidth(const NetworkAdjustment& result) {
  std::size_t longest = 8;
  for (const AdjustedPoint& p : result.points) longest = std::max(longest, p.name.size());
  return static_cast<double>(std::min<std::size_t>(longest, 40)) + 2;
}

double FileWidth(const NetworkAdjustment& result) {
  std::size_t file = 10;
  for (const std::string& label : result.inputLabels) file = std::max(file, label.size());
  return static_cast<double>(std::min<std::size_t>(file, 30)) + 2;
}

std::string RemovedText(int round) {
  return "removed in round " + std::to_string(round);
}

std::string SectionName(const NetworkAdjustment& r, const AdjustedSection& s) {
  return r.FileOf(s) + " line " + std::to_string(s.line) + " " + r.Route(s, " \u2192 ");
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

// A table of `count` rows under a heading row, continued on sheets of its
// own as the rows need; `row(i, writer)` writes row i of the table.
void StreamTable(std::vector<Worksheet>& sheets, std::size_t count, std::size_t perSheet,
                 int lastColumn, const std::function<void(std::size_t, RowWriter&)>& row) {
  for (std::size_t s = 0; s < sheets.size(); ++s) {
    const std::size_t first = s * perSheet;
    const std::size_t rows = std::min(perSheet, count - std::min(count, first));
    sheets[s].StreamRows(
        2, static_cast<int>(rows), lastColumn,
        [row, first](int r, RowWriter& out) { row(first + static_cast<std::size_t>(r - 2), out); });
  }
}

void WriteSummary(Worksheet sheet, const NetworkAdjustment& result, const std::string& name) {
  sheet.SetColumns(1, 1, 36);
  sheet.SetColumns(2, 2, 16);
  sheet.SetColumns(3, 3, 12);
  sheet.SetColumns(4, 4, 44);
  PrintSetup(sheet, 0);
  sheet.SetText(1, 1, "Levelling network adjustment: " + name, {.bold = true});
  int row = 3;
  for (const SummaryItem& item : SummaryItems(result)) {
    sheet.SetText(row, 1, item.label);
    if (item.number) {
      const std::string format = item.decimals > 0 ? "0." + std::string(item.decimals, '0') : "0";
      sheet.SetNumber(row, 2, *item.number, {.numberFormat = format, .redFill = item.alarm});
    } else {
      sheet.SetText(row, 2, item.text, {.redFill = item.alarm});
    }
    ++row;
  }

  row += 1;
  Headings(sheet, row++, {"Input file"});
  for (const std::string& input : result.inputs) sheet.SetText(row++, 1, input);

  row += 1;
  Headings(sheet, row++, {"Benchmark", "Height (m)", "\u03C3 (mm)", "Given in"});
  for (const Benchmark& b : result.benchmarks) {
    sheet.SetText(row, 1, b.name);
    sheet.SetNumber(row, 2, b.height, kMetres);
    if (b.sigma)
      sheet.SetNumber(row, 3, *b.sigma, kMm);
    else
      sheet.SetText(row, 3, "fixed");
    sheet.SetText(row++, 4,
                  b.sourceLine > 0 ? b.source + " line " + std::to_string(b.sourceLine) : b.source);
  }

  if (result.snooping) {
    const Snooping& snooping = *result.snooping;
    row += 1;
    sheet.SetText(row++, 1, "Data snooping", {.bold = true});
    Headings(sheet, row++, {"Round: removed", "w", "Estimated blunder (mm)", "Global test after"});
    for (const SnoopingRound& r : snooping.rounds) {
      sheet.SetText(row, 1, std::to_string(r.round) + ": " + TargetName(result, r.removed));
      sheet.SetNumber(row, 2, r.removed.w, kW);
      sheet.SetNumber(row, 3, r.estimatedBlunderMm, kMm);
      sheet.SetText(row++, 4, TestText(r.testAfter));
    }
    for (const SnoopingTarget& t : snooping.suspects) {
      sheet.SetText(row, 1, "suspect: " + TargetName(result, t), {.redFill = true});
      sheet.SetNumber(row++, 2, t.w, kW);
    }
    sheet.SetText(row++, 1, "Snooping ended: " + snooping.end + ".");
  }

  row += 1;
  Headings(sheet, row++, {"File", "Line", "Warning"});
  if (result.warnings.empty()) sheet.SetText(row++, 3, "none");
  // A sheet's rows end somewhere; what does not fit is counted.
  const std::size_t room = static_cast<std::size_t>(Workbook::kMaxRows - row);
  const std::size_t listed = result.warnings.size() <= room ? result.warnings.size() : room - 1;
  for (std::size_t i = 0; i < listed; ++i) {
    const NetworkWarning& w = result.warnings[i];
    if (!w.file.empty()) sheet.SetText(row, 1, w.file);
    if (w.line > 0) sheet.SetNumber(row, 2, static_cast<double>(w.line));
    sheet.SetText(row, 3, w.message);
    ++row;
  }
  if (listed < result.warnings.size())
    sheet.SetText(row, 3,
                  "and " + std::to_string(result.warnings.size() - listed) +
                      " more warnings than this sheet holds");
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
  for (Worksheet& sheet : sheets) {
    sheet.SetColumns(1, 1, NameWidth(result));
    sheet.SetColumns(2, 2, 14, kMetres);
    sheet.SetColumns(3, 3, 10, kMm);
    sheet.SetColumns(4, 4, 10);
    sheet.SetColumns(5, 5, 26);
    PrintSetup(sheet, 1);
    Headings(sheet, 1, {"Point", "Height (m)", "\u03C3 (mm)", "Kind", "Remark"});
  }
  const CellStyleId metres = sheets.front().StyleFor(2, {}), mm = sheets.front().StyleFor(3, {});
  StreamTable(sheets, listed->size(), perSheet, 5,
              [&result, listed, metres, mm](std::size_t i, RowWriter& out) {
                const AdjustedPoint& p = result.points[static_cast<std::size_t>((*listed)[i])];
                out.Text(1, p.name);
                out.Number(2, Metres(p.height), metres);
                out.Number(3, Millimetres(p.sigma), mm);
                out.Text(4, PointKindName(p.kind));
                if (p.inRemovedSection)
                  out.Text(5, "turning point of a removed section");
                else if (p.turningPoint)
                  out.Text(5, "turning point");
                else if (!p.observed)
                  out.Text(5, "no observation reaches it");
              });
}

// Every set-up and weighted benchmark, with the height its fore point
// (its To) gets.
void WriteObservations(std::vector<Worksheet> sheets, const NetworkAdjustment& result,
                       std::size_t perSheet) {
  for (Worksheet& sheet : sheets) {
    sheet.SetColumns(1, 1, FileWidth(result));
    sheet.SetColumns(2, 2, 9);
    sheet.SetColumns(3, 4, NameWidth(result));
    sheet.SetColumns(5, 5, 10, kLength);
    sheet.SetColumns(6, 7, 13, kMetres);
    sheet.SetColumns(8, 9, 9, kMm);
    sheet.SetColumns(10, 10, 7, kRedundancy);
    sheet.SetColumns(11, 11, 8, kW);
    sheet.SetColumns(12, 12, 18);
    sheet.SetColumns(13, 13, 9, kMm);
    sheet.SetColumns(14, 14, 13, kMetres);
    sheet.SetColumns(15, 15, 9, kMm);
    PrintSetup(sheet, 1);
    Headings(sheet, 1,
             {"File", "Field line", "From", "To", "L (m)", "Observed (m)", "Adjusted (m)", "v (mm)",
              "\u03C3 (mm)", "r", "w", "Flag", "MDB (mm)", "Height of To (m)", "\u03C3 To (mm)"});
  }
  Worksheet& first = sheets.front();
  std::array<CellStyleId, 16> style{};
  for (int c = 5; c <= 15; ++c) style[c] = first.StyleFor(c, {});
  const CellStyleId red = first.StyleFor(12, {.redFill = true});
  StreamTable(sheets, result.observations.size(), perSheet, 15,
              [&result, style, red](std::size_t i, RowWriter& out) {
                const AdjustedObservation& o = result.observations[i];
                out.Text(1, o.IsBenchmark() ? result.FileOf(o) : result.inputLabels[o.input]);
                if (o.fieldLine > 0) out.Number(2, static_cast<double>(o.fieldLine));
                if (!o.IsBenchmark()) out.Text(3, result.points[o.from].name);
                out.Text(4, result.points[o.to].name);
                if (!o.IsBenchmark()) out.Number(5, Metres(o.length), style[5]);
                out.Number(6, Metres(o.observed), style[6]);
                out.Number(7, Metres(o.adjusted), style[7]);
                out.Number(8, Millimetres(o.residual), style[8]);
                out.Number(9, Millimetres(o.sigma), style[9]);
                out.Number(10, Ratio(o.redundancy), style[10]);
                if (o.standardizedResidual)
                  out.Number(11, Ratio(*o.standardizedResidual), style[11]);
                if (o.removedInRound > 0)
                  out.Text(12, RemovedText(o.removedInRound), red);
                else if (o.flagged)
                  out.Text(12, "flagged", red);
                else if (!o.standardizedResidual)
                  out.Text(12, "no check");
                if (o.mdb) out.Number(13, Millimetres(*o.mdb), style[13]);
                const AdjustedPoint& to = result.points[o.to];
                out.Number(14, Metres(to.height), style[14]);
                out.Number(15, Millimetres(to.sigma), style[15]);
              });
}

// The runs forward and back first, then every section.
void WriteSections(Worksheet sheet, const NetworkAdjustment& result) {
  sheet.SetColumns(1, 2, std::max(NameWidth(result), 36.0));
  sheet.SetColumns(3, 3, std::max(FileWidth(result), 12.0));
  sheet.SetColumns(4, 5, 15);
  sheet.SetColumns(6, 6, 8);
  sheet.SetColumns(7, 7, 11, kLength);
  sheet.SetColumns(8, 9, 13, kMetres);
  sheet.SetColumns(10, 10, 9, kMm);
  sheet.SetColumns(11, 11, 7, kRedundancy);
  sheet.SetColumns(12, 12, 8, kW);
  sheet.SetColumns(13, 13, 9, kMm);
  sheet.SetColumns(14, 14, 22);
  int row = 1;
  sheet.SetText(row++, 1, "Sections run forward and back", {.bold = true});
  Headings(sheet, row++,
           {"Forward", "Back", "Mean L (m)", "Difference (mm)", "Tolerance (mm)", "Result"});
  if (result.forwardBack.empty()) sheet.SetText(row++, 1, "none");
  for (const ForwardBackPair& pair : result.forwardBack) {
    sheet.SetText(row, 1, SectionName(result, result.sections[pair.forward]));
    sheet.SetText(row, 2, SectionName(result, result.sections[pair.back]));
    sheet.SetNumber(row, 3, pair.meanLength, kLength);
    sheet.SetNumber(row, 4, pair.differenceMm, kMm);
    sheet.SetNumber(row, 5, pair.toleranceMm, kMm);
    sheet.SetText(row++, 6, pair.pass ? "PASS" : "FAIL", {.redFill = !pair.pass});
  }
  row += 1;
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
  Headings(sheet, row,
           {"From", "To", "File", "Line", "Field lines", "Set-ups", "Length (m)", "Observed (m)",
            "Adjusted (m)", "v (mm)", "r", "w", "MDB (mm)", "Remark"});
  PrintSetup(sheet, headingRow);
  std::array<CellStyleId, 15> style{};
  for (int c = 7; c <= 13; ++c) style[c] = sheet.StyleFor(c, {});
  const CellStyleId red = sheet.StyleFor(14, {.redFill = true});
  sheet.StreamRows(
      headingRow + 1, static_cast<int>(shown), 14,
      [&result, style, red, headingRow](int r, RowWriter& out) {
        const AdjustedSection& s = result.sections[static_cast<std::size_t>(r - headingRow - 1)];
        out.Text(1, result.points[s.from].name);
        out.Text(2, result.points[s.to].name);
        out.Text(3, result.FileOf(s));
        out.Number(4, s.line);
        out.Text(5, std::to_string(s.firstFieldLine) + "\u2013" + std::to_string(s.lastFieldLine));
        out.Number(6, static_cast<double>(s.setups));
        out.Number(7, s.length, style[7]);
        out.Number(8, s.observed, style[8]);
        out.Number(9, s.adjusted, style[9]);
        out.Number(10, s.residual, style[10]);
        out.Number(11, s.redundancy, style[11]);
        if (s.standardizedResidual) out.Number(12, *s.standardizedResidual, style[12]);
        if (s.mdb) out.Number(13, *s.mdb, style[13]);
        std::string remark;
        if (s.removedInRound > 0)
          remark = RemovedText(s.removedInRound);
        else if (s.flagged)
          remark = "flagged";
        else if (!s.standardizedResidual)
          remark = "no check";
        if (!s.inLoop) remark += remark.empty() ? "in no loop" : "; in no loop";
        if (!remark.empty())
          out.Text(14, remark, s.flagged || s.removedInRound ? red : CellStyleId{0});
      });
}

std::string LoopRoute(const NetworkAdjustment& result, const LevellingLoop& loop) {
  std::string text;
  for (const LevellingLoop::Step& step : loop.steps) {
    const AdjustedSection& s = result.sections[step.section];
    const int from = step.reversed ? s.to : s.from, to = step.reversed ? s.from : s.to;
    if (text.empty()) text = result.points[from].name;
    std::string next = " \u2192 " + result.points[to].name + " (" + result.FileOf(s) + " line " +
                       std::to_string(s.line) + (step.reversed ? ", reversed)" : ")");
    if (text.size() + next.size() > static_cast<std::size_t>(Workbook::kMaxTextLength) - 8) {
      text += " \u2026";
      break;
    }
    text += next;
  }
  return text;
}

void WriteLoops(Worksheet sheet, const NetworkAdjustment& result) {
  sheet.SetColumns(1, 1, 7);
  sheet.SetColumns(2, 2, 9);
  sheet.SetColumns(3, 3, 11, kLength);
  sheet.SetColumns(4, 5, 14, kMm);
  sheet.SetColumns(6, 6, 8);
  sheet.SetColumns(7, 7, 90);
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
  Headings(
      sheet, row,
      {"Loop", "Sections", "Length (m)", "Misclose (mm)", "Tolerance (mm)", "Result", "Route"});
  PrintSetup(sheet, headingRow);
  const CellStyleId length = sheet.StyleFor(3, {}), mm = sheet.StyleFor(4, {});
  const CellStyleId red = sheet.StyleFor(6, {.redFill = true});
  const std::size_t room = static_cast<std::size_t>(Workbook::kMaxRows - headingRow);
  sheet.StreamRows(headingRow + 1, static_cast<int>(std::min(result.loops.size(), room)), 7,
                   [&result, length, mm, red, headingRow](int r, RowWriter& out) {
                     const std::size_t i = static_cast<std::size_t>(r - headingRow - 1);
                     const LevellingLoop& loop = result.loops[i];
                     out.Number(1, static_cast<double>(i + 1));
                     out.Number(2, static_cast<double>(loop.steps.size()));
                     out.Number(3, loop.length, length);
                     out.Number(4, loop.miscloseMm, mm);
                     out.Number(5, loop.toleranceMm, mm);
                     out.Text(6, loop.pass ? "PASS" : "FAIL", loop.pass ? CellStyleId{0} : red);
                     out.Text(7, LoopRoute(result, loop));
                   });
}

}  // namespace

std::string AdjustmentName(const std::string& given, const std::string& firstInput) {
  const std::string name = given.empty() ? BaseNameOf(firstInput) : given;
  const std::string file = given.empty() ? firstInput : "\"" + given + "\"";
  if (name.empty())
    throw Error(file, "name the adjustment",
                "the file's name leaves no name for the workbook; give the adjustment a name");
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
                     result.FileOf(o) + " line " + std::to_string(o.fieldLine), o.flagged});
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
