// The results of a network adjustment as a workbook: "Summary" (inputs,
// settings, benchmarks, degrees of freedom, variance factor, global test,
// the largest standardized residual and MDB, the weakly checked sections,
// the snooping rounds, warnings), "Heights" (every point with its standard
// deviation), "Observations" (every set-up and weighted benchmark with its
// residual, r, w and MDB; a flagged one in red, a removed one marked),
// "Sections" (the sections run forward and back, then every section with
// its statistics) and "Loops" (an independent set of loops with their
// misclosures, and the sections no loop checks). A table longer than a
// sheet holds continues on "Heights (2)", "Observations (2)"... with the
// same headings. Heights and differences in metres, residuals, standard
// deviations, biases and misclosures in millimetres.
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
inline constexpr const char* kSectionsSheet = "Sections";
inline constexpr const char* kLoopsSheet = "Loops";

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

// The rows of a table on one sheet, below its heading row.
inline constexpr std::size_t kRowsPerSheet = static_cast<std::size_t>(Workbook::kMaxRows - 1);

// The workbook; its long tables are written from `result` when it is saved,
// so `result` must outlive it. A table longer than `rowsPerSheet` (fewer
// only in tests) continues on further sheets.
Workbook NetworkWorkbook(const NetworkAdjustment& result, const std::string& name,
                         std::size_t rowsPerSheet = kRowsPerSheet);

// The names of the sheets a table of `rows` rows below its heading fills:
// `first`, then "first (2)", "first (3)"...
std::vector<std::string> ContinuedSheetNames(const std::string& first, std::size_t rows,
                                             std::size_t rowsPerSheet = kRowsPerSheet);

// Writes the workbook to app.AdjustedNetworkWorkbook(name) atomically,
// creating the folder; returns the path. Throws Error naming the path; an
// earlier workbook of that name is then as it was.
std::string SaveNetworkWorkbook(const NetworkAdjustment& result, const std::string& name,
                                const AppFolder& app, FileSystem& fs = RealFileSystem());

}  // namespace vireo
