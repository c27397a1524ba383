#include "checks/Checks.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "checks/Arithmetic.h"
#include "common/Text.h"
#include "reduction/Chain.h"
#include "reduction/Tolerance.h"

namespace vireo {
namespace {

constexpr const char* kUnusableErrorFactor = "the control file's error factor is not a usable one";

using checks::Exceeds;
using checks::Millimetres;

// Lengths are kept to 1e-6 m.
double Metres(double m) {
  return std::round(m * 1e6) / 1e6 + 0.0;
}

// A misclose against its permissible error; a permissible error of 0 (no
// error factor) passes only a misclose of 0.
bool WithinTolerance(double miscloseMm, double permissibleMm) {
  return permissibleMm > 0 ? !Exceeds(miscloseMm, permissibleMm) : std::abs(miscloseMm) < 1e-9;
}

std::string Plural(long count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// "file line 68" or "file lines 68, 70-73, 102, ..."
std::string FileLines(std::vector<std::pair<long, long>> lines) {
  std::sort(lines.begin(), lines.end());
  std::string text =
      lines.size() == 1 && lines[0].first == lines[0].second ? "file line " : "file lines ";
  for (std::size_t i = 0; i < lines.size() && i < 3; ++i) {
    if (i > 0) text += ", ";
    text += std::to_string(lines[i].first);
    if (lines[i].second != lines[i].first) text += "-" + std::to_string(lines[i].second);
  }
  return lines.size() > 3 ? text + ", ..." : text;
}

SetupCheck CheckSetup(const Setup& s, const CheckLimits& limits, std::vector<FailedCheck>& failed) {
  SetupCheck c;
  auto fail = [&](unsigned bit, const char* check, double value, double limit) {
    c.failed |= bit;
    failed.push_back(
        {s.reduced, s.fieldLine, s.back->point, s.fore.point, check, value, limit, {}});
  };
  c.stationDifferenceMm = Millimetres(s.StationDifference() * 1000);
  c.backRepeatMm = Millimetres((s.Bs1() - s.Bs2()) * 1000);
  c.foreRepeatMm = Millimetres((s.Fs1() - s.Fs2()) * 1000);
  c.sightLengthM = std::max({s.back->first.distance, s.back->repeat->distance,
                             s.fore.first.distance, s.fore.repeat->distance});
  c.imbalanceM = Metres(s.BackDistance() - s.ForeDistance());
  c.staffMinM = std::min({s.Bs1(), s.Bs2(), s.Fs1(), s.Fs2()});
  c.staffMaxM = std::max({s.Bs1(), s.Bs2(), s.Fs1(), s.Fs2()});
  if (s.heightBefore && s.heightAfter)
    c.instrumentAgreementMm = Millimetres(((*s.heightAfter - *s.heightBefore) - s.riseFall) * 1000);

  if (Exceeds(c.stationDifferenceMm, limits.stationDifferenceMm))
    fail(kStationDifferenceBit, "station_difference_mm", c.stationDifferenceMm,
         limits.stationDifferenceMm);
  const double repeat =
      std::abs(c.backRepeatMm) >= std::abs(c.foreRepeatMm) ? c.backRepeatMm : c.foreRepeatMm;
  if (Exceeds(repeat, limits.repeatDifferenceMm))
    fail(kRepeatDifferenceBit, "repeat_difference_mm", repeat, limits.repeatDifferenceMm);
  if (Exceeds(c.sightLengthM, limits.sightLengthM))
    fail(kSightLengthBit, "sight_length_m", c.sightLengthM, limits.sightLengthM);
  if (Exceeds(c.imbalanceM, limits.setupImbalanceM))
    fail(kSetupImbalanceBit, "setup_imbalance_m", c.imbalanceM, limits.setupImbalanceM);
  if (limits.staffMinM != 0 && c.staffMinM < limits.staffMinM)
    fail(kStaffMinBit, "staff_min_m", c.staffMinM, limits.staffMinM);
  if (limits.staffMaxM != 0 && c.staffMaxM > limits.staffMaxM)
    fail(kStaffMaxBit, "staff_max_m", c.staffMaxM, limits.staffMaxM);
  if (c.instrumentAgreementMm && Exceeds(*c.instrumentAgreementMm, limits.instrumentAgreementMm))
    fail(kInstrumentAgreementBit, "instrument_agreement_mm", *c.instrumentAgreementMm,
         limits.instrumentAgreementMm);
  return c;
}

// A line of levelling: its reduced set-ups, each checked, their sums, the
// loop's misclose, the imbalance and the booking check of all its set-ups.
LineCheck CheckLine(const LevellingLine& levelling, int number, double errorFactor,
                    CheckReport& report) {
  LineCheck line;
  line.line = number;
  line.fieldLine = levelling.fieldLine;
  std::vector<BookedSetup> booked;
  const std::string* previousFore = nullptr;
  for (const Setup& s : levelling.setups) {
    booked.push_back({s.AveBackSight(), s.AveForeSight(), s.Rise(), s.Fall()});
    if (!s.BackPaired()) continue;
    SetupCheck& c = report.setups.emplace_back(CheckSetup(s, report.limits, report.failed));
    if (auto broken = BreakOfChain(s.fieldLine, s.back->point, previousFore)) {
      c.failed |= kChainBit;
      report.failed.push_back({s.reduced, s.fieldLine, s.back->point, s.fore.point, "setup_chain",
                               0, 0, ChainBreakText(*broken)});
    }
    previousFore = &s.fore.point;
    if (line.setups == 0) line.start = s.back->point;
    line.end = s.fore.point;
    ++line.setups;
    line.lengthM += s.BackDistance() + s.ForeDistance();
    line.heightDifferenceM += s.riseFall;
    line.imbalanceM += c.imbalanceM;
    line.stationDifferenceSumMm += c.stationDifferenceMm;
  }
  line.lengthM = Metres(line.lengthM);
  line.heightDifferenceM = Metres(line.heightDifferenceM);
  line.imbalanceM = Metres(line.imbalanceM);
  line.stationDifferenceSumMm = Millimetres(line.stationDifferenceSumMm);
  if (line.setups > 0 && line.start == line.end) {
    line.loop = true;
    line.miscloseMm = Millimetres(-line.heightDifferenceM * 1000);
    line.permissibleMm = ToleranceMm(errorFactor, line.lengthM);
    if (!report.unusableErrorFactor)
      line.pass = WithinTolerance(*line.miscloseMm, *line.permissibleMm);
  }
  auto lineFail = [&](const char* check, double value, double limit) {
    report.failed.push_back({0, line.fieldLine, line.start, line.end, check, value, limit, {}});
  };
  if (Exceeds(line.imbalanceM, report.limits.lineImbalanceM)) {
    line.imbalanceFails = true;
    lineFail("line_imbalance_m", line.imbalanceM, report.limits.lineImbalanceM);
  }
  if (line.pass == false) lineFail("misclose_mm", *line.miscloseMm, *line.permissibleMm);
  if (!levelling.setups.empty()) {
    line.booking =
        CheckBooking(booked, levelling.setups.front().calRlBack, levelling.setups.back().calRlFore);
    if (!line.booking.pass) lineFail("booking_check_mm", line.booking.discrepancyMm, 0.01);
  }
  return line;
}

const Setup* SetupAt(const Survey& survey, long fieldLine) {
  for (const LevellingLine& line : survey.lines)
    for (const Setup& s : line.setups)
      if (s.fieldLine == fieldLine) return &s;
  return nullptr;
}

void RecordFinding(CheckReport& report, long fieldLine, const Setup* at, const char* check,
                   std::string finding) {
  report.failed.push_back({0, fieldLine, at && at->back ? at->back->point : std::string(),
                           at ? at->fore.point : std::string(), check, 0, 0, std::move(finding)});
}

// The level's own figures at each end record of a line against what was
// reduced from the set-ups before it (since the end record before it): its
// count of set-ups and, from the line's start height, its end height. The
// level works the height out from the mean differences and rounds it to
// 0.01 mm, so it may stray that much a set-up.
void CompareLevelFigures(const LevellingLine& levelling, CheckReport& report) {
  // End records one after another (KD2 and End-Line, GSI's two closing
  // blocks) all speak of the set-ups before the first of them.
  // From just before the line's first record (its first reading when its
  // start is assumed).
  const long start = levelling.fieldLine - 1;
  long from = start, last = start;
  auto countBetween = [&](long after, long before) {
    auto inside = [&](long fieldLine) { return fieldLine > after && fieldLine < before; };
    long count = 0;
    for (const Setup& s : levelling.setups) count += inside(s.fieldLine) ? 1 : 0;
    for (const DroppedSetup& d : levelling.dropped) count += inside(d.fieldLine) ? 1 : 0;
    for (long line : levelling.impossible) count += inside(line) ? 1 : 0;
    return count;
  };
  for (const LevelLineEnd& end : levelling.ends) {
    if (countBetween(last, end.fieldLine) > 0) from = last;
    const bool first = from == start;
    const long setups = countBetween(from, end.fieldLine);
    long reduced = 0;
    double heightDifference = 0;
    for (const Setup& s : levelling.setups)
      if (s.fieldLine > from && s.fieldLine < end.fieldLine && s.BackPaired())
        heightDifference += s.HeightDifference(), ++reduced;
    const char* what = LineEndText(end.kind);
    if (end.setups && *end.setups != setups && (setups > 0 || *end.setups > 0))
      RecordFinding(report, end.fieldLine, nullptr, "level_figures",
                    std::string("the level's ") + what + " counts " + std::to_string(*end.setups) +
                        " set-ups, the file holds " + std::to_string(setups));
    if (first && end.endHeight && reduced > 0 && !levelling.startHeight.empty()) {
      const double reducedEnd = NumberFromText(levelling.startHeight) + heightDifference;
      const double offMm = (reducedEnd - *end.endHeight) * 1000;
      if (std::abs(offMm) > 0.05 + 0.01 * static_cast<double>(setups))
        RecordFinding(report, end.fieldLine, nullptr, "level_figures",
                      std::string("the level's ") + what + " gives the end height " +
                          FormatFixed(*end.endHeight, 5) + " m, the set-ups reduce to " +
                          FormatFixed(reducedEnd, 5) + " m (" + FormatFixed(offMm, 2) + " mm)");
    }
    last = end.fieldLine;
  }
}

// What the file's records say against the reduction: lines joined for
// want of a line start, the level's own figures, and, in a DiNi file, a
// line opened by its start record that has no end record (its tail lost).
void CheckRecords(const Survey& survey, CheckReport& report) {
  for (const UnopenedLine& u : survey.unopened)
    RecordFinding(report, u.setupLine, SetupAt(survey, u.setupLine), "line_start",
                  "the set-up follows the " + u.end + " at file line " + std::to_string(u.endLine) +
                      " with no line start record between them: two lines of levelling are "
                      "joined");
  for (const LevellingLine& line : survey.lines) {
    CompareLevelFigures(line, report);
    if (survey.format == FieldFormat::DiniM5 && !line.assumed && !line.setups.empty() &&
        line.ends.empty())
      RecordFinding(report, line.fieldLine, nullptr, "line_end",
                    "the line has no end record (End-Line): the level writes one when a line "
                    "is ended, so its last set-ups may be lost");
  }
}

// Each line pairs with the nearest later unpaired line whose ends are its
// own swapped: a section run forward and back.
void PairSections(double errorFactor, CheckReport& report) {
  std::vector<bool> paired(report.lines.size(), false);
  for (std::size_t i = 0; i < report.lines.size(); ++i) {
    const LineCheck& a = report.lines[i];
    if (paired[i] || a.setups == 0 || a.loop) continue;
    for (std::size_t j = i + 1; j < report.lines.size(); ++j) {
      const LineCheck& b = report.lines[j];
      if (paired[j] || b.setups == 0 || b.start != a.end || b.end != a.start) continue;
      paired[i] = paired[j] = true;
      SectionCheck section;
      section.first = a.line;
      section.second = b.line;
      section.from = a.start;
      section.to = a.end;
      section.differenceMm = Millimetres((a.heightDifferenceM + b.heightDifferenceM) * 1000);
      section.permissibleMm = ToleranceMm(errorFactor, (a.lengthM + b.lengthM) / 2);
      if (!report.unusableErrorFactor)
        section.pass = WithinTolerance(section.differenceMm, section.permissibleMm);
      if (section.pass == false)
        report.failed.push_back({0,
                                 b.fieldLine,
                                 a.start,
                                 a.end,
                                 "section_misclose_mm",
                                 section.differenceMm,
                                 section.permissibleMm,
                                 {}});
      report.sections.push_back(std::move(section));
      break;
    }
  }
}

// The report's closure covers every line with a set-up: it is a loop's
// misclose only where that is one line ending on its start point.
FileCheck JudgeFile(const Survey& survey, const CheckReport& report, const ReportClosure& closure) {
  FileCheck file;
  file.miscloseMm = closure.miscloseM * 1000;
  file.permissibleMm = closure.permissibleMm;
  for (std::size_t l = 0; l < survey.lines.size(); ++l)
    if (!survey.lines[l].setups.empty()) file.lines.push_back(static_cast<int>(l + 1));
  const long singleRun = std::count_if(report.singleRunLines.begin(), report.singleRunLines.end(),
                                       [](const SingleRunLineCheck& l) { return l.setups > 0; });
  const long lines = static_cast<long>(file.lines.size()) + singleRun;
  if (report.unusableErrorFactor) {
    file.notJudged = kUnusableErrorFactor;
  } else if (lines > 1) {
    file.notJudged = Plural(lines, "line", "lines") + "; each line is judged below";
  } else if (singleRun == 1) {
    // The file is one single-run line: its closure is the file's.
    const SingleRunLineCheck& line =
        *std::find_if(report.singleRunLines.begin(), report.singleRunLines.end(),
                      [](const SingleRunLineCheck& l) { return l.setups > 0; });
    file.miscloseMm = line.miscloseMm.value_or(0);
    file.permissibleMm = line.permissibleMm.value_or(0);
    if (line.pass)
      file.pass = line.pass;
    else
      file.notJudged = "the single-run line ends on no known level";
  } else if (file.lines.empty() ||
             !report.lines[static_cast<std::size_t>(file.lines[0] - 1)].loop) {
    file.notJudged = "the levelling does not end on its start point";
  } else {
    file.pass = WithinTolerance(file.miscloseMm, file.permissibleMm);
  }
  return file;
}

}  // namespace

BookingCheck CheckBooking(const std::vector<BookedSetup>& setups, double firstLevel,
                          double lastLevel, bool levelsChecked) {
  BookingCheck booking;
  double rounded = 0, rises = 0, falls = 0;
  for (const BookedSetup& s : setups) {
    booking.backMinusForeM += s.aveBackSight - s.aveForeSight;
    rounded += RiseFallOf(s.aveBackSight, s.aveForeSight);
    rises += s.rise;
    falls += s.fall;
  }
  booking.riseMinusFallM = rises - falls;
  booking.setups = static_cast<long>(setups.size());
  booking.levelsM = lastLevel - firstLevel;
  const double noise = 1e-9 * static_cast<double>(setups.size() + 1);
  const double rounding = std::abs(rounded - booking.riseMinusFallM);
  const double levels = levelsChecked ? std::abs(booking.levelsM - booking.riseMinusFallM) : 0;
  booking.pass = rounding <= noise && levels <= 1e-5;
  booking.discrepancyMm = Millimetres(std::max(rounding, levels) * 1000);
  booking.backMinusForeM = Metres(booking.backMinusForeM);
  booking.riseMinusFallM = Metres(booking.riseMinusFallM);
  booking.levelsM = Metres(booking.levelsM);
  return booking;
}

bool VerdictFacts::Pass() const {
  return file.pass != false && !unusableErrorFactor && lost.empty() && failedSetups == 0 &&
         failedOthers == 0;
}

VerdictFacts CheckReport::Facts() const {
  VerdictFacts facts;
  facts.file = file;
  facts.lost = LostText(completeness);
  facts.unusableErrorFactor = unusableErrorFactor;
  facts.failedSetups = FailedSetupCount();
  for (const FailedCheck& f : failed)
    facts.failedOthers += f.setup == 0 && f.singleRunSetup == 0 ? 1 : 0;
  return facts;
}

long CheckReport::FailedSetupCount() const {
  long count = std::count_if(setups.begin(), setups.end(),
                             [](const SetupCheck& s) { return s.failed != 0; });
  for (const SingleRunLineCheck& line : singleRunLines) count += line.failedSetups;
  return count;
}

CheckReport RunChecks(const Survey& survey, const CheckLimits& limits, double errorFactor,
                      const ReportClosure& closure) {
  CheckReport report;
  report.limits = limits;
  report.unusableErrorFactor = !IsUsableErrorFactor(errorFactor);
  report.completeness = {survey.readings, survey.ReducedSetupCount(), survey.notReduced};
  report.setups.reserve(static_cast<std::size_t>(survey.ReducedSetupCount()));
  for (std::size_t l = 0; l < survey.lines.size(); ++l)
    report.lines.push_back(
        CheckLine(survey.lines[l], static_cast<int>(l + 1), errorFactor, report));
  PairSections(errorFactor, report);
  CheckRecords(survey, report);
  CheckSingleRunLines(survey, errorFactor, report);
  report.file = JudgeFile(survey, report, closure);
  return report;
}

FileCheck JudgeKeyedMisclose(const ReportClosure& closure) {
  FileCheck file;
  file.miscloseMm = closure.miscloseM * 1000;
  file.permissibleMm = closure.permissibleMm;
  file.pass = WithinTolerance(file.miscloseMm, file.permissibleMm);
  return file;
}

namespace {

// The misclose of keyed levels, not judged with an unusable error factor.
FileCheck JudgeKeyedFile(const ReportClosure& keyed, bool unusableErrorFactor) {
  FileCheck file = JudgeKeyedMisclose(keyed);
  if (unusableErrorFactor) {
    file.pass.reset();
    file.notJudged = kUnusableErrorFactor;
  }
  return file;
}

}  // namespace

void JudgeKeyedLevels(CheckReport& report, const ReportClosure& keyed,
                      const BookingCheck& lastLine) {
  report.file = JudgeKeyedFile(keyed, report.unusableErrorFactor);
  if (report.lines.empty()) return;
  LineCheck& line = report.lines.back();
  line.booking = lastLine;
  std::erase_if(report.failed, [&](const FailedCheck& f) {
    return f.setup == 0 && f.fieldLine == line.fieldLine && f.check == "booking_check_mm";
  });
  if (!lastLine.pass)
    report.failed.push_back({0,
                             line.fieldLine,
                             line.start,
                             line.end,
                             "booking_check_mm",
                             lastLine.discrepancyMm,
                             0.01,
                             {}});
}

VerdictFacts KeyedVerdict(const RunVerdictFacts& run, const ReportClosure& keyed,
                          const BookingCheck& lastLine) {
  VerdictFacts facts;
  facts.file = JudgeKeyedFile(keyed, run.unusableErrorFactor);
  facts.lost = run.lost;
  facts.unusableErrorFactor = run.unusableErrorFactor;
  facts.failedSetups = run.failedSetups;
  facts.failedOthers =
      run.failedOthers - (run.lastLineBookingPassed ? 0 : 1) + (lastLine.pass ? 0 : 1);
  return facts;
}

std::string FileVerdictText(const FileCheck& file) {
  std::string line = "Misclose " + FormatFixed(file.miscloseMm, 2) + " mm, permissible " +
                     FormatFixed(file.permissibleMm, 2) + " mm: ";
  if (!file.pass) return line + "not judged, " + file.notJudged + ".";
  return line + (*file.pass ? "within tolerance." : "OUT OF TOLERANCE.");
}

std::string LostText(const Completeness& completeness) {
  std::set<long> lostSetups;
  long lostReadings = 0, noNumber = 0;
  std::vector<std::pair<long, long>> lostLines, noNumberLines;
  for (const NotReduced& n : completeness.notReduced) {
    if (!IsPartOfDoubleRun(n.reason)) continue;
    if (n.takenAsZero) {
      noNumber += n.readings;
      noNumberLines.emplace_back(n.firstLine, n.lastLine);
    } else if (n.setupLine != 0) {
      if (lostSetups.insert(n.setupLine).second) lostLines.emplace_back(n.setupLine, n.setupLine);
    } else {
      lostReadings += n.readings;
      lostLines.emplace_back(n.firstLine, n.lastLine);
    }
  }
  std::string text;
  if (!lostLines.empty()) {
    const long setups = static_cast<long>(lostSetups.size());
    if (setups > 0) text = Plural(setups, "set-up", "set-ups");
    if (lostReadings > 0)
      text += (text.empty() ? "" : " and ") + Plural(lostReadings, "reading", "readings");
    text += " lost at " + FileLines(lostLines);
  }
  if (noNumber > 0)
    text += (text.empty() ? "" : ", ") + Plural(noNumber, "reading", "readings") +
            " not a number at " + FileLines(noNumberLines) + " (taken as 0)";
  return text;
}

std::string VerdictText(const VerdictFacts& facts) {
  std::vector<std::string> problems;
  if (facts.unusableErrorFactor && facts.file.notJudged != kUnusableErrorFactor)
    problems.push_back("no misclose is judged: " + std::string(kUnusableErrorFactor));
  if (!facts.lost.empty()) problems.push_back(facts.lost);
  if (facts.failedSetups > 0)
    problems.push_back(facts.failedSetups == 1
                           ? "1 set-up fails its checks"
                           : std::to_string(facts.failedSetups) + " set-ups fail their checks");
  if (facts.failedOthers > 0)
    problems.push_back(facts.failedOthers == 1
                           ? "1 line or section check fails"
                           : std::to_string(facts.failedOthers) + " line or section checks fail");
  std::string rest;
  if (problems.empty()) {
    rest = facts.file.pass == false || facts.unusableErrorFactor ? "The other checks pass."
                                                                 : "Every check passes.";
  } else {
    for (const std::string& p : problems) rest += (rest.empty() ? "" : ", ") + p;
    rest += " - see the Checks sheet.";
  }
  return FileVerdictText(facts.file) + " " + rest;
}

std::string VerdictLine(const CheckReport& report) {
  return VerdictText(report.Facts());
}

}  // namespace vireo
