// The profile of the last line of levelling: a sheet "Profile" after the
// report with the line's points (point, distance from the start of the line,
// Cal. RL, Adj. RL, and the correction Adj. RL - Cal. RL in mm) and a chart
// of both levels against the distance, the correction on an axis of its
// own on the right. The run draws it from the survey model, the RL
// adjustment from the line it read back from the saved report and levelled
// again.
#pragma once

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "output/Workbook.h"
#include "reduction/Survey.h"
#include "report/ReportSheet.h"

namespace vireo {

inline constexpr const char* kProfileSheet = "Profile";

struct ProfilePoint {
  std::string point;
  double distance = 0.0;               // metres along the line from its first point
  std::optional<double> calRl, adjRl;  // metres; none where the report's cell is empty
  // Adj. RL - Cal. RL in mm, kept to 1e-6 mm so that levels that agree
  // show 0.00, not -0.00; none without both levels.
  std::optional<double> CorrectionMm() const {
    if (!calRl || !adjRl) return std::nullopt;
    return std::round((*adjRl - *calRl) * 1e9) / 1e6 + 0.0;
  }
};

// The points of the last line: its first back point at distance 0, then the
// fore point of every set-up, each set-up adding the Ave_Dist of both its
// rows, as the misclose is spread.
// A file of single-run lines only gives its last single-run line's.
std::vector<ProfilePoint> ProfileOf(const Survey& survey);
// The change points of a single-run line: its first back point, then every
// fore point, each set-up adding its back and fore distance.
std::vector<ProfilePoint> ProfileOf(const SingleRunLine& line);
// The same of a line the RL adjustment levelled again.
std::vector<ProfilePoint> ProfileOf(const ReportLine& line,
                                    const std::vector<AdjustedPair>& adjusted);

// Writes the points into the sheet "Profile", which is added after the last
// sheet, with its chart, when the workbook has none. Returns false, leaving
// the workbook as it was, when a sheet of that name is not a profile this
// program made (a template's own sheet).
bool WriteProfile(Workbook& workbook, const std::vector<ProfilePoint>& points);

}  // namespace vireo
