// The checks of the double run: every reduced set-up against the limits,
// every line of levelling, loops, sections run forward and back, and the
// file's misclose against the permissible error, ending in one verdict.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "checks/CheckLimits.h"
#include "reduction/Survey.h"

namespace vireo {

// What was checked of one reduced set-up (the survey's order).
struct SetupCheck {
  double stationDifferenceMm = 0;  // (BS1 - FS1) - (BS2 - FS2)
  double backRepeatMm = 0;         // BS1 - BS2
  double foreRepeatMm = 0;         // FS1 - FS2
  double sightLengthM = 0;         // longest of the four sights
  double imbalanceM = 0;           // back Ave_Dist - fore Ave_Dist
  double staffMinM = 0;            // lowest and highest of the four readings
  double staffMaxM = 0;
  // The instrument's height step minus the rise or fall, where the field
  // file carries the instrument's heights before and after the set-up.
  std::optional<double> instrumentAgreementMm;
  unsigned failed = 0;  // bits of CheckBit
};

enum CheckBit : unsigned {
  kStationDifferenceBit = 1u << 0,
  kRepeatDifferenceBit = 1u << 1,
  kSightLengthBit = 1u << 2,
  kSetupImbalanceBit = 1u << 3,
  kStaffMinBit = 1u << 4,
  kStaffMaxBit = 1u << 5,
  kInstrumentAgreementBit = 1u << 6,
};

struct LineCheck {
  int line = 0;  // counts lines of levelling from 1
  long fieldLine = 0;
  std::string start, end;  // point ids, the field file's bytes
  long setups = 0;
  double lengthM = 0;            // sum of "Ave_Dist(m)" of its set-ups
  double heightDifferenceM = 0;  // its rises minus its falls
  double imbalanceM = 0;         // sum of the set-up imbalances
  double stationDifferenceSumMm = 0;
  bool loop = false;  // ends on the point it started from
  // For a loop: falls minus rises (the report's sign), n * sqrt(k), verdict.
  std::optional<double> miscloseMm;
  std::optional<double> permissibleMm;
  std::optional<bool> pass;
  bool imbalanceFails = false;
};

// Two lines with swapped ends, A -> B and B -> A: a section run forward and
// back.
struct SectionCheck {
  int first = 0, second = 0;  // lines, counted from 1
  std::string from, to;
  double differenceMm = 0;   // sum of the two height differences
  double permissibleMm = 0;  // n * sqrt(k), k the mean length in km
  bool pass = true;
};

// The misclose the report shows against the permissible error it prints.
// Before keyed levels say otherwise, a run that does not end on the point
// it started from is no loop, and its misclose is not judged.
struct FileCheck {
  double miscloseMm = 0;
  double permissibleMm = 0;
  std::optional<bool> pass;
};

// One check that broke its limit. `setup` is 0 for a check of a line.
struct FailedCheck {
  long setup = 0;  // counts the reduced set-ups of the file from 1
  long fieldLine = 0;
  std::string back, fore;  // for a line: its start and end
  std::string check;       // the limit's key, or "misclose_mm" for a loop
  double value = 0;
  double limit = 0;
};

struct CheckReport {
  CheckLimits limits;
  std::vector<SetupCheck> setups;
  std::vector<LineCheck> lines;
  std::vector<SectionCheck> sections;
  FileCheck file;
  std::vector<FailedCheck> failed;

  bool Pass() const;
  long FailedSetupCount() const;
};

// The file's misclose as the report has it (metres, falls minus rises) and
// the permissible error it prints (mm); `closes` when the file's levelling
// is a loop (or keyed levels made it one).
struct ReportClosure {
  double miscloseM = 0;
  double permissibleMm = 0;
  bool closes = false;
};

// `errorFactor` is the n of n * sqrt(k) mm.
CheckReport RunChecks(const Survey& survey, const CheckLimits& limits, double errorFactor,
                      const ReportClosure& closure);

// The file's misclose against its permissible error.
FileCheck JudgeFile(const ReportClosure& closure);

// "Misclose -0.96 mm, permissible 3.12 mm: within tolerance."
std::string FileVerdictText(const FileCheck& file);
// "2 set-ups fail their checks, 1 line or section check fails", or "Every
// check passes."
std::string FailuresText(const CheckReport& report);

// The verdict in one line for the status label, e.g. "Misclose -0.96 mm,
// permissible 3.12 mm: within tolerance. 2 set-ups fail their checks - see
// the Checks sheet."
std::string VerdictLine(const CheckReport& report);

// Whether the survey's levelling ends on the point it started from.
bool SurveyCloses(const Survey& survey);

}  // namespace vireo
