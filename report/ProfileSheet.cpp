#include "report/ProfileSheet.h"

#include <array>
#include <cmath>

#include "common/Text.h"

namespace vireo {
namespace {

constexpr std::array<const char*, 4> kHeadings = {"Point", "Distance (m)", "Cal. RL", "Adj. RL"};
constexpr int kPointColumn = 1, kDistanceColumn = 2, kCalColumn = 3, kAdjColumn = 4;
// Adj. RL - Cal. RL in mm: how the misclose was spread. A profile sheet of
// an earlier version of the program has no such column and gets none.
constexpr const char* kCorrectionHeading = "Correction (mm)";
constexpr int kCorrectionColumn = 5;
constexpr CellFormat kHeadingFormat{.bold = true, .ruleBelow = true};

// A new sheet "Profile": widths and formats of the table, printed like the
// report, and the chart once there are points to draw.
Worksheet AddProfileSheet(Workbook& workbook, const std::vector<ProfilePoint>& points) {
  Worksheet sheet = workbook.AddSheet(kProfileSheet);
  sheet.SetColumns(kPointColumn, kPointColumn, 12.7109375);
  sheet.SetColumns(kDistanceColumn, kDistanceColumn, 13.7109375, {.numberFormat = "0.000"});
  sheet.SetColumns(kCalColumn, kAdjColumn, 12.7109375, {.numberFormat = "0.00000"});
  sheet.SetColumns(kCorrectionColumn, kCorrectionColumn, 16.7109375, {.numberFormat = "0.00"});
  for (int column = 1; column <= static_cast<int>(kHeadings.size()); ++column)
    sheet.SetText(1, column, kHeadings[static_cast<std::size_t>(column - 1)], kHeadingFormat);
  sheet.SetText(1, kCorrectionColumn, kCorrectionHeading, kHeadingFormat);
  PageSetup page;
  page.landscape = true;
  page.fitToWidth = true;
  page.firstTitleRow = page.lastTitleRow = 1;
  page.margins = kNarrowMargins;
  page.footer = "&L&F&RPage &P of &N";
  sheet.SetPageSetup(page);
  if (!points.empty()) {
    ScatterChart chart;
    chart.title =
        "Profile of the last line, " + points.front().point + " to " + points.back().point;
    chart.xAxisTitle = "Distance (m)";
    chart.yAxisTitle = "RL (m)";
    chart.firstRow = 2;
    chart.lastRow = static_cast<int>(points.size()) + 1;
    chart.xColumn = kDistanceColumn;
    chart.yColumns = {kCalColumn, kAdjColumn};
    // The correction is millimetres beside levels of metres: on its own axis.
    chart.secondaryYColumns = {kCorrectionColumn};
    chart.secondaryYAxisTitle = kCorrectionHeading;
    chart.nameRow = 1;
    chart.top = 2;
    chart.left = 7;
    chart.bottom = 28;
    chart.right = 19;
    sheet.AddChart(chart);
  }
  return sheet;
}

}  // namespace

std::vector<ProfilePoint> ProfileOf(const SingleRunLine& line) {
  std::vector<ProfilePoint> points;
  if (line.setups.empty()) return points;
  const BookSight& first = line.setups.front().Back();
  points.push_back({ToUtf8(first.point), 0.0, first.reducedLevel, first.adjustedLevel});
  double distance = 0.0;
  for (const BookSetup& s : line.setups) {
    distance += s.Back().reading.distance + s.Fore().reading.distance;
    const BookSight& fore = s.Fore();
    points.push_back({ToUtf8(fore.point), distance, fore.reducedLevel, fore.adjustedLevel});
  }
  return points;
}

std::vector<ProfilePoint> ProfileOf(const Survey& survey) {
  std::vector<ProfilePoint> points;
  if (survey.lines.empty())
    for (auto line = survey.singleRunLines.rbegin(); line != survey.singleRunLines.rend(); ++line)
      if (!line->setups.empty()) return ProfileOf(*line);
  if (survey.lines.empty() || survey.lines.back().setups.empty()) return points;
  const std::vector<Setup>& setups = survey.lines.back().setups;
  const Setup& first = setups.front();
  points.push_back(
      {first.back ? ToUtf8(first.back->point) : "", 0.0, first.calRlBack, first.adjRlBack});
  double distance = 0.0;
  for (const Setup& s : setups) {
    distance += s.BackDistance() + s.ForeDistance();
    points.push_back({ToUtf8(s.fore.point), distance, s.calRlFore, s.adjRlFore});
  }
  return points;
}

std::vector<ProfilePoint> ProfileOf(const ReportLine& line,
                                    const std::vector<AdjustedPair>& adjusted) {
  std::vector<ProfilePoint> points;
  if (line.pairs.empty()) return points;
  points.reserve(line.pairs.size() + 1);
  points.push_back({line.points[0], 0.0, line.pairs[0].calRlBack, adjusted[0].back});
  double distance = 0.0;
  for (std::size_t i = 0; i < line.pairs.size(); ++i) {
    distance += line.pairs[i].backDistance + line.pairs[i].foreDistance;
    points.push_back({line.points[i + 1], distance, line.pairs[i].calRlFore, adjusted[i].fore});
  }
  return points;
}

bool WriteProfile(Workbook& workbook, const std::vector<ProfilePoint>& points) {
  std::optional<Worksheet> found;
  if (workbook.HasSheet(kProfileSheet)) {
    found = workbook.Sheet(kProfileSheet);
    for (int column = 1; column <= static_cast<int>(kHeadings.size()); ++column)
      if (found->Get(1, column) != CellValue::Text(kHeadings[static_cast<std::size_t>(column - 1)]))
        return false;
  }
  Worksheet sheet = found ? *found : AddProfileSheet(workbook, points);
  const bool correction = sheet.Get(1, kCorrectionColumn) == CellValue::Text(kCorrectionHeading);
  const int columns = correction ? kCorrectionColumn : static_cast<int>(kHeadings.size());
  int row = 2;
  for (const ProfilePoint& p : points) {
    sheet.SetText(row, kPointColumn, p.point);
    sheet.SetNumber(row, kDistanceColumn, p.distance);
    for (auto [column, level] : {std::pair{kCalColumn, p.calRl}, std::pair{kAdjColumn, p.adjRl}}) {
      if (level)
        sheet.SetNumber(row, column, *level);
      else
        sheet.Clear(row, column);
    }
    if (correction) {
      if (const auto mm = p.CorrectionMm())
        sheet.SetNumber(row, kCorrectionColumn, *mm);
      else
        sheet.Clear(row, kCorrectionColumn);
    }
    ++row;
  }
  // Rows a longer profile left behind.
  for (const int last = sheet.LastRow(); row <= last; ++row)
    for (int column = 1; column <= columns; ++column) sheet.Clear(row, column);
  return true;
}

}  // namespace vireo
