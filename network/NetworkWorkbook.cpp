#include "network/NetworkWorkbook.h"

#include <algorithm>
#include <cmath>

#include "common/Error.h"
#include "common/Text.h"
#include "reduction/ProcessField.h"

namespace vireo {
namespace {

// ".xlsx" after the name and the file name within 255 bytes.
constexpr std::size_t kMaxNameBytes = 250;

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

void CheckRows(std::size_t rows, const char* what) {
  const auto available = static_cast<std::size_t>(Workbook::kMaxRows - 1);
  if (rows > available)
    throw Error("", "write the network workbook",
                "the network has " + std::to_string(rows) + " " + what + ", more than the " +
                    std::to_string(available) + " rows a sheet holds below its headings");
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

void WriteHeights(Worksheet sheet, const NetworkAdjustment& result) {
  sheet.SetColumns(1, 1, NameWidth(result));
  sheet.SetColumns(2, 2, 14, kMetres);
  sheet.SetColumns(3, 3, 10, kMm);
  sheet.SetColumns(4, 4, 10);
  sheet.SetColumns(5, 5, 26);
  PrintSetup(sheet, 1);
  Headings(sheet, 1, {"Point", "Height (m)", "\u03C3 (mm)", "Kind", "Remark"});
  int row = 2;
  for (const AdjustedPoint& p : result.points) {
    sheet.SetText(row, 1, p.name);
    sheet.SetNumber(row, 2, p.height);
    sheet.SetNumber(row, 3, p.sigma);
    sheet.SetText(row, 4, PointKindName(p.kind));
    if (p.turningPoint)
      sheet.SetText(row, 5, "turning point");
    else if (!p.observed)
      sheet.SetText(row, 5, "no observation reaches it");
    ++row;
  }
}

void WriteObservations(Worksheet sheet, const NetworkAdjustment& result) {
  std::size_t file = 10;
  for (const std::string& input : result.inputs) file = std::max(file, BaseNameOf(input).size());
  sheet.SetColumns(1, 1, static_cast<double>(std::min<std::size_t>(file, 30)) + 2);
  sheet.SetColumns(2, 2, 9);
  sheet.SetColumns(3, 4, NameWidth(result));
  sheet.SetColumns(5, 5, 10, kLength);
  sheet.SetColumns(6, 7, 13, kMetres);
  sheet.SetColumns(8, 9, 9, kMm);
  sheet.SetColumns(10, 10, 7, kRedundancy);
  sheet.SetColumns(11, 11, 8, kW);
  sheet.SetColumns(12, 12, 9);
  PrintSetup(sheet, 1);
  Headings(sheet, 1,
           {"File", "Field line", "From", "To", "L (m)", "Observed (m)", "Adjusted (m)", "v (mm)",
            "\u03C3 (mm)", "r", "w", "Flag"});
  int row = 2;
  for (const AdjustedObservation& o : result.observations) {
    sheet.SetText(row, 1, o.file);
    if (o.fieldLine > 0) sheet.SetNumber(row, 2, static_cast<double>(o.fieldLine));
    if (!o.benchmark) {
      sheet.SetText(row, 3, o.from);
      sheet.SetNumber(row, 5, o.length);
    }
    sheet.SetText(row, 4, o.to);
    sheet.SetNumber(row, 6, o.observed);
    sheet.SetNumber(row, 7, o.adjusted);
    sheet.SetNumber(row, 8, o.residual);
    sheet.SetNumber(row, 9, o.sigma);
    sheet.SetNumber(row, 10, o.redundancy);
    if (o.standardizedResidual) sheet.SetNumber(row, 11, *o.standardizedResidual);
    if (o.flagged)
      sheet.SetText(row, 12, "flagged", {.redFill = true});
    else if (!o.standardizedResidual)
      sheet.SetText(row, 12, "no check");
    ++row;
  }
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
