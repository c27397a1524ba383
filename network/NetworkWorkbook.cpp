#include "network/NetworkWorkbook.h"

#include <algorithm>
#include <cmath>

#include "common/AppFolder.h"
#include "common/Error.h"
#include "common/Text.h"
#include "output/SheetTable.h"

namespace vireo {
namespace {

// ".xlsx" after the name and the file name within 255 bytes.
constexpr std::size_t kMaxNameBytes = 250;

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

void CheckRows(std::size_t rows, const char* what) {
  const auto available = static_cast<std::size_t>(Workbook::kMaxRows - 1);
  if (rows > available)
    throw Error("", "write the network workbook",
                "the network has " + std::to_string(rows) + " " + what + ", more than the " +
                    std::to_string(available) + " rows a sheet holds below its headings");
}

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
        row++, 4, b.sourceLine > 0 ? b.source + " line " + std::to_string(b.sourceLine) : b.source);
  }

  row += 1;
  SheetTable warnings(sheet, widths, row++,
                      {{"File", kText}, {"Line", kNumber}, {"Warning", kText, 2}});
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

void WriteHeights(Worksheet sheet, const NetworkAdjustment& result) {
  ColumnWidths widths;
  SheetTable table(sheet, widths, 1,
                   {{"Point", kText},
                    {"Height (m)", kNumber},
                    {"\u03C3 (mm)", kNumber},
                    {"Kind", kText},
                    {"Remark", kText}});
  int row = 2;
  for (const AdjustedPoint& p : result.points) {
    table.Text(row, 1, p.name);
    table.Number(row, 2, p.height, kMetres);
    table.Number(row, 3, p.sigma, kMm);
    table.Text(row, 4, PointKindName(p.kind));
    if (p.turningPoint)
      table.Text(row, 5, "turning point");
    else if (!p.observed)
      table.Text(row, 5, "no observation reaches it");
    ++row;
  }
  Lay(sheet, widths, 1);
}

void WriteObservations(Worksheet sheet, const NetworkAdjustment& result) {
  ColumnWidths widths;
  SheetTable table(sheet, widths, 1,
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
                    {"Flag", kText}});
  int row = 2;
  for (const AdjustedObservation& o : result.observations) {
    table.Text(row, 1, o.file);
    if (o.fieldLine > 0) table.Number(row, 2, static_cast<double>(o.fieldLine));
    if (!o.benchmark) {
      table.Text(row, 3, o.from);
      table.Number(row, 5, o.length, kLength);
    }
    table.Text(row, 4, o.to);
    table.Number(row, 6, o.observed, kMetres);
    table.Number(row, 7, o.adjusted, kMetres);
    table.Number(row, 8, o.residual, kMm);
    table.Number(row, 9, o.sigma, kMm);
    table.Number(row, 10, o.redundancy, kRedundancy);
    if (o.standardizedResidual) table.Number(row, 11, *o.standardizedResidual, kW);
    if (o.flagged)
      table.Text(row, 12, "flagged", {.redFill = true});
    else if (!o.standardizedResidual)
      table.Text(row, 12, "no check");
    ++row;
  }
  Lay(sheet, widths, 1);
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

std::vector<SummaryItem> SummaryItems(const NetworkAdjustment& result) {
  long fixed = 0, weighted = 0, network = 0, turning = 0, benchmarkObservations = 0;
  for (const AdjustedPoint& p : result.points) {
    (p.turningPoint ? turning : network) += 1;
    fixed += p.kind == PointKind::Fixed;
    weighted += p.kind == PointKind::Weighted;
  }
  for (const AdjustedObservation& o : result.observations) benchmarkObservations += o.benchmark;
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
  items.push_back({"Flag limit |w|", kFlagLimit, 2, {}, false});
  const long flagged = result.FlaggedCount();
  items.push_back({"Flagged observations", static_cast<double>(flagged), 0, {}, flagged > 0});
  if (const auto largest = result.LargestStandardizedResidual()) {
    const AdjustedObservation& o = result.observations[*largest];
    items.push_back({"Largest |w|", std::abs(*o.standardizedResidual), 2, {}, o.flagged});
    items.push_back(
        {"  at", std::nullopt, 0, o.file + " line " + std::to_string(o.fieldLine), o.flagged});
    items.push_back({"  from \u2192 to", std::nullopt, 0,
                     o.benchmark ? "benchmark " + o.to : o.from + " \u2192 " + o.to, o.flagged});
  } else {
    items.push_back({"Largest |w|", std::nullopt, 0, "none: no observation is checked", false});
  }
  items.push_back(count("Warnings", static_cast<long>(result.warnings.size())));
  return items;
}

Workbook NetworkWorkbook(const NetworkAdjustment& result, const std::string& name) {
  CheckRows(result.observations.size(), "observations");
  CheckRows(result.points.size(), "points");
  Workbook workbook = Workbook::Create({kSummarySheet, kHeightsSheet, kObservationsSheet});
  WriteSummary(workbook.Sheet(kSummarySheet), result, name);
  WriteHeights(workbook.Sheet(kHeightsSheet), result);
  WriteObservations(workbook.Sheet(kObservationsSheet), result);
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
