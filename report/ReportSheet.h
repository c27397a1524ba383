// The report sheet: the template's active sheet filled from the survey
// model (the header block, a heading row for every line of levelling, a
// back-sight and a fore-sight row for every set-up the report records, the
// summation row, the Adj. RL column and the two closure lines), and read
// back by the RL adjustment, which works from the saved workbook.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "common/Warning.h"
#include "output/Workbook.h"
#include "reduction/Closure.h"
#include "reduction/Survey.h"
#include "settings/ControlFile.h"

namespace vireo {

// Report columns, counted from 1.
enum ReportColumn : int {
  kRef = 1,
  kBs1 = 2,
  kBs2 = 3,
  kFs1 = 4,
  kFs2 = 5,
  kDist1 = 6,
  kDist2 = 7,
  kAveDist = 8,
  kAveBs = 9,
  kAveFs = 10,
  kRise = 11,
  kFall = 12,
  kCalRl = 13,
  kAdjRl = 14,
};

// Where the survey's rows go: the header block in rows 1 to 4, the first
// heading row five rows below the last row used, each line's set-ups in
// pairs of rows under its heading row, the summation row below the last
// line's last pair and the closure lines three and four rows below the row
// where the Adj. RL column ends.
struct ReportLayout {
  std::vector<int> headingRows;  // one per line of levelling
  int firstDataRow = 0;          // the last line's
  int summationRow = 0;
  int closureRow = 0;
};

// Throws Error (without a file) when the report would need more rows than a
// sheet holds.
ReportLayout LayOutReport(const Survey& survey);

// The four header lines: company, file name, surveyor, error rule. A text
// longer than a cell holds is cut at a character boundary, with a warning.
using ReportHeader = std::array<std::string, 4>;
ReportHeader MakeReportHeader(const Settings& settings, const std::string& baseName,
                              Warnings& warnings);

std::string MiscloseLine(double miscloseMetres);
std::string PermissibleErrorLine(double permissibleMillimetres);

// Fills the active sheet of `workbook` (a copy of the template).
void WriteReport(Workbook& workbook, const ReportHeader& header, const Survey& survey,
                 const ReportLayout& layout, double permissibleErrorMm);

// A short text over the figures the RL adjustment reads and never writes
// (Ref., Dist1(m), the means, rise and fall of the last line's rows and of
// the summation row). The run records it with its summary; the adjustment
// refuses a workbook whose figures no longer give it, so the run's misclose
// and distance are never spread over another survey.
std::string ReportFigures(const Survey& survey, const ReportLayout& layout);
std::string ReportFigures(const Workbook& workbook, int firstDataRow);

// The last line as the RL adjustment reads it from a saved report: the
// pairs of rows from `firstDataRow` down to the first pair whose Dist1(m)
// cells are both empty (`endRow`). A cell the adjustment computes with that
// holds text other than a number refuses it (Error naming `path` and the
// cell).
struct ReportLine {
  int firstDataRow = 0;
  int endRow = 0;
  std::vector<LevelledPair> pairs;  // distances, rise and fall; levels to rebuild
  std::vector<MeanReadings> means;
  std::vector<std::string> points;  // "Ref." of the first back sight, then of every fore sight
};
ReportLine ReadReportLine(const Workbook& workbook, int firstDataRow, const std::string& path);

// Writes the line's rebuilt Cal. RL and its Adj. RL and the closure lines
// below it. A level that is not finite refuses (Error naming `path`).
void WriteAdjustedLine(Workbook& workbook, const ReportLine& line,
                       const std::vector<AdjustedPair>& adjusted, double miscloseMetres,
                       double permissibleErrorMm, const std::string& path);

}  // namespace vireo
