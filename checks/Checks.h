// The checks of the levelling: every reading of the file accounted for,
// every reduced set-up against the limits, every line of levelling (loops,
// the booking check; single-run lines as a level book), sections run
// forward and back, and the file's
// misclose against the permissible error, ending in one verdict.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "checks/CheckLimits.h"
#include "reduction/Survey.h"
#include "report/ProcessField.h"

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
  kChainBit = 1u << 7,  // does not start where the set-up before it ended
};

struct BookingCheck {
  double backMinusForeM = 0;
  double riseMinusFallM = 0;
  double levelsM = 0;
  double discrepancyMm = 0;  // the larger of the two disagreements
  long setups = 0;           // 0: the line has none to check
  bool pass = true;
};

// Sums the booking check of a line's set-ups: their mean readings, their
// rises or falls as the report holds them, and their first and last Cal.
// RL. `levelsChecked` false for levels rebuilt from the mean readings (the
// RL adjustment), which agree with them by construction.
struct BookedSetup {
  double aveBackSight = 0, aveForeSight = 0, rise = 0, fall = 0;
};
BookingCheck CheckBooking(const std::vector<BookedSetup>& setups, double firstLevel,
                          double lastLevel, bool levelsChecked = true);

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
  // The booking check: sum of Ave_BS minus sum of Ave_FS, rises minus
  // falls, and the last Cal. RL minus the first, metres. The first two
  // agree within the five-decimal rounding of each rise (each rise must be
  // its set-up's rounded mean difference), the last two to 0.00001 m.
  BookingCheck booking;
};

// A single-run line: no set-up is checked by a second run, so its station
// and repeat differences are "single run: not checked"; the rest is checked
// as in the double run, and its misclose against the level it closes on.
struct SingleRunLineCheck {
  int number = 0;  // counts single-run lines from 1
  long fieldLine = 0;
  std::string method, start, end;
  long setups = 0, intermediates = 0;
  double lengthM = 0, imbalanceM = 0;
  bool loop = false;
  std::optional<double> miscloseMm, permissibleMm;  // none: an open line, not judged
  std::optional<bool> pass;
  std::optional<double> levelMiscloseMm;  // the closing block's own
  bool levelDisagrees = false;
  bool bookingPass = true;
  long failedSetups = 0;
};

// Two lines with swapped ends, A -> B and B -> A: a section run forward and
// back.
struct SectionCheck {
  int first = 0, second = 0;  // lines, counted from 1
  std::string from, to;
  double differenceMm = 0;   // sum of the two height differences
  double permissibleMm = 0;  // n * sqrt(k), k the mean length in km
  std::optional<bool> pass;  // none: not judged (no usable error factor)
};

// The misclose the report shows against the permissible error it prints.
// It covers every line of the file: judged when that is one line that ends
// on its start point, or after keyed levels say what it should close on.
struct FileCheck {
  double miscloseMm = 0;
  double permissibleMm = 0;
  std::optional<bool> pass;
  std::string notJudged;   // why not, when not judged
  std::vector<int> lines;  // the lines of levelling with set-ups it covers
};

// Every reading of the file: how many, how many set-ups were reduced, and
// those not reduced with their lines and reasons.
struct Completeness {
  long readings = 0;
  long reducedSetups = 0;
  std::vector<NotReduced> notReduced;
};

// The facts a verdict is told from. The Checks sheet keeps them, so that
// the RL adjustment tells the verdict again from the same facts.
struct VerdictFacts {
  FileCheck file;
  std::string lost;  // "1 set-up lost at file line 68", empty when nothing is
  bool unusableErrorFactor = false;
  long failedSetups = 0;
  long failedOthers = 0;  // line, section and booking checks
  bool Pass() const;
};

// One check that broke its limit. `setup` is 0 for a check of a line.
struct FailedCheck {
  long setup = 0;  // counts the reduced set-ups of the file from 1
  long fieldLine = 0;
  std::string back, fore;  // for a line: its start and end
  std::string check;       // the limit's key, or "misclose_mm" for a loop
  double value = 0;
  double limit = 0;
  // A check of the file's records rather than of a limit (the chain of
  // set-ups, a line without its start, the level's own figures): what is
  // wrong, and no value or limit.
  std::string finding;
  // A set-up of a single-run line, counted from 1 over the file's
  // single-run set-ups; 0 for every other check.
  long singleRunSetup = 0;
};

struct CheckReport {
  CheckLimits limits;
  Completeness completeness;
  std::vector<SetupCheck> setups;
  std::vector<LineCheck> lines;
  std::vector<SectionCheck> sections;
  std::vector<SingleRunLineCheck> singleRunLines;
  FileCheck file;
  std::vector<FailedCheck> failed;
  bool unusableErrorFactor = false;  // no misclose is judged

  VerdictFacts Facts() const;
  bool Pass() const { return Facts().Pass(); }
  long FailedSetupCount() const;
};

// The single-run lines of the survey, each set-up and each line; their
// failures are added to `report.failed`.
void CheckSingleRunLines(const Survey& survey, double errorFactor, CheckReport& report);

// The file's misclose as the report has it (metres, falls minus rises) and
// the permissible error it prints (mm).
struct ReportClosure {
  double miscloseM = 0;
  double permissibleMm = 0;
};

// `errorFactor` is the n of n * sqrt(k) mm. A factor that is not one of the
// choices (IsUsableErrorFactor) judges no misclose: each is "not judged"
// and the verdict fails.
CheckReport RunChecks(const Survey& survey, const CheckLimits& limits, double errorFactor,
                      const ReportClosure& closure);

// The misclose of keyed levels, judged whatever the lines.
FileCheck JudgeKeyedMisclose(const ReportClosure& closure);
// Keyed levels (the RL adjustment) rebuilt the report's last line: the
// file verdict takes their misclose, and the booking check of that line as
// the adjustment read it back replaces the run's.
void JudgeKeyedLevels(CheckReport& report, const ReportClosure& keyed,
                      const BookingCheck& lastLine);

// The verdict's facts after keyed levels: the run's, with the misclose of
// the keyed levels judged (not with an unusable error factor) and the
// booking check of the line they rebuilt in place of the run's.
VerdictFacts KeyedVerdict(const RunVerdictFacts& run, const ReportClosure& keyed,
                          const BookingCheck& lastLine);

// "Misclose -0.96 mm, permissible 3.12 mm: within tolerance."
std::string FileVerdictText(const FileCheck& file);
// The readings lost to the double run, "1 set-up lost at file line 68";
// empty when none is.
std::string LostText(const Completeness& completeness);

// The verdict in one sentence, as the window, the command line and the
// Checks sheet show it: "Misclose -0.96 mm, permissible 3.12 mm: within
// tolerance. Every check passes." or "... within tolerance. 1 set-up lost
// at file line 68, 2 set-ups fail their checks - see the Checks sheet."
std::string VerdictText(const VerdictFacts& facts);
std::string VerdictLine(const CheckReport& report);

}  // namespace vireo
