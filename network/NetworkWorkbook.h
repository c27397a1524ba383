// The results of a network adjustment as a workbook of three sheets:
// "Summary" (inputs, settings, benchmarks, degrees of freedom, variance
// factor, global test, the largest standardized residual, warnings),
// "Heights" (every point with its standard deviation) and "Observations"
// (every set-up and weighted benchmark with its residual and w; a flagged
// one in red). Heights and differences in metres, residuals and standard
// deviations in millimetres.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/AppFolder.h"
#include "common/FileSystem.h"
#include "network/NetworkAdjustment.h"
#include "output/Workbook.h"

namespace vireo {

inline constexpr const char* kSummarySheet = "Summary";
inline constexpr const char* kHeightsSheet = "Heights";
inline constexpr const char* kObservationsSheet = "Observations";

// The adjustment's name: `given`, or else the base name of the first input.
// Refuses (Error) a name that cannot name a workbook file: empty, with a
// folder in it, starting with "." (hidden, or "." and ".."), with a control
// character, or too long for a file name.
std::string AdjustmentName(const std::string& given, const std::string& firstInput);

// One line of the summary, as the Summary sheet and the window show it: a
// number (shown with `decimals`) or a text; `alarm` marks a failed test or
// flagged observations.
struct SummaryItem {
  std::string label;
  std::optional<double> number;
  int decimals = 0;
  std::string text;
  bool alarm = false;
};
std::vector<SummaryItem> SummaryItems(const NetworkAdjustment& result);

// The whole workbook in memory. Refuses (Error without a file) a network
// with more observations or points than a sheet has rows.
Workbook NetworkWorkbook(const NetworkAdjustment& result, const std::string& name);

// Writes the workbook to app.AdjustedNetworkWorkbook(name) atomically,
// creating the folder; returns the path. Throws Error naming the path; an
// earlier workbook of that name is then as it was.
std::string SaveNetworkWorkbook(const NetworkAdjustment& result, const std::string& name,
                                const AppFolder& app, FileSystem& fs = RealFileSystem());

}  // namespace vireo
