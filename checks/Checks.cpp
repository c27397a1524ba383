#include "checks/Checks.h"

#include <algorithm>
#include <cmath>

#include "common/Text.h"
#include "reduction/Tolerance.h"

namespace vireo {
namespace {

// Values are differences of readings with 0.01 mm resolution; a value that
// equals its limit up to the noise of binary arithmetic passes.
bool Exceeds(double value, double limit) {
  return limit > 0 && std::abs(value) > limit * (1 + 1e-9) + 1e-12;
}

// Differences of readings carry float noise far below the 0.01 mm the
// readings resolve; values are kept to 1e-4 mm and 1e-6 m.
// Adding 0 turns a rounded -0 into 0.
double Millimetres(double mm) {
  return std::round(mm * 1e4) / 1e4 + 0.0;
}
double Metres(double m) {
  return std::round(m * 1e6) / 1e6 + 0.0;
}

// A misclose against its permissible error; a permissible error of 0 (no
// error factor) passes only a misclose of 0.
bool WithinTolerance(double miscloseMm, double permissibleMm) {
  return permissibleMm > 0 ? !Exceeds(miscloseMm, permissibleMm) : std::abs(miscloseMm) < 1e-9;
}

}  // namespace

bool CheckReport::Pass() const {
  return failed.empty() && file.pass.value_or(true);
}

long CheckReport::FailedSetupCount() const {
  return std::count_if(setups.begin(), setups.end(),
                       [](const SetupCheck& s) { return s.failed != 0; });
}

bool SurveyCloses(const Survey& survey) {
  const Setup* first = nullptr;
  const Setup* last = nullptr;
  survey.ForEachReduced([&](const Setup& setup) {
    if (!first) first = &setup;
    last = &setup;
  });
  return first && first->back->point == last->fore.point;
}

CheckReport RunChecks(const Survey& survey, const CheckLimits& limits, double errorFactor,
                      const ReportClosure& closure) {
  CheckReport report;
  report.limits = limits;
  report.setups.reserve(static_cast<std::size_t>(survey.ReducedSetupCount()));
  auto fail = [&](const Setup& s, const char* check, double value, double limit) {
    report.failed.push_back(
        {s.reduced, s.fieldLine, s.back->point, s.fore.point, check, value, limit});
  };

  for (std::size_t l = 0; l < survey.lines.size(); ++l) {
    const LevellingLine& levellingLine = survey.lines[l];
    LineCheck line;
    line.line = static_cast<int>(l + 1);
    line.fieldLine = levellingLine.fieldLine;
    for (const Setup& s : levellingLine.setups) {
      if (!s.BackPaired()) continue;
      SetupCheck c;
      c.stationDifferenceMm = Millimetres(s.StationDifference() * 1000);
      c.backRepeatMm = Millimetres((s.Bs1() - s.Bs2()) * 1000);
      c.foreRepeatMm = Millimetres((s.Fs1() - s.Fs2()) * 1000);
      c.sightLengthM = std::max({s.back->first.distance, s.back->repeat->distance,
                                 s.fore.first.distance, s.fore.repeat->distance});
      c.imbalanceM = Metres(s.BackDistance() - s.ForeDistance());
      c.staffMinM = std::min({s.Bs1(), s.Bs2(), s.Fs1(), s.Fs2()});
      c.staffMaxM = std::max({s.Bs1(), s.Bs2(), s.Fs1(), s.Fs2()});
      if (s.heightBefore && s.heightAfter)
        c.instrumentAgreementMm =
            Millimetres(((*s.heightAfter - *s.heightBefore) - s.riseFall) * 1000);

      if (Exceeds(c.stationDifferenceMm, limits.stationDifferenceMm)) {
        c.failed |= kStationDifferenceBit;
        fail(s, "station_difference_mm", c.stationDifferenceMm, limits.stationDifferenceMm);
      }
      const double repeat =
          std::abs(c.backRepeatMm) >= std::abs(c.foreRepeatMm) ? c.backRepeatMm : c.foreRepeatMm;
      if (Exceeds(repeat, limits.repeatDifferenceMm)) {
        c.failed |= kRepeatDifferenceBit;
        fail(s, "repeat_difference_mm", repeat, limits.repeatDifferenceMm);
      }
      if (Exceeds(c.sightLengthM, limits.sightLengthM)) {
        c.failed |= kSightLengthBit;
        fail(s, "sight_length_m", c.sightLengthM, limits.sightLengthM);
      }
      if (Exceeds(c.imbalanceM, limits.setupImbalanceM)) {
        c.failed |= kSetupImbalanceBit;
        fail(s, "setup_imbalance_m", c.imbalanceM, limits.setupImbalanceM);
      }
      if (limits.staffMinM > 0 && c.staffMinM < limits.staffMinM) {
        c.failed |= kStaffMinBit;
        fail(s, "staff_min_m", c.staffMinM, limits.staffMinM);
      }
      if (limits.staffMaxM > 0 && c.staffMaxM > limits.staffMaxM) {
        c.failed |= kStaffMaxBit;
        fail(s, "staff_max_m", c.staffMaxM, limits.staffMaxM);
      }
      if (c.instrumentAgreementMm &&
          Exceeds(*c.instrumentAgreementMm, limits.instrumentAgreementMm)) {
        c.failed |= kInstrumentAgreementBit;
        fail(s, "instrument_agreement_mm", *c.instrumentAgreementMm, limits.instrumentAgreementMm);
      }
      report.setups.push_back(c);

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
      line.pass = WithinTolerance(*line.miscloseMm, *line.permissibleMm);
    }
    auto lineFail = [&](const char* check, double value, double limit) {
      report.failed.push_back({0, line.fieldLine, line.start, line.end, check, value, limit});
    };
    if (Exceeds(line.imbalanceM, limits.lineImbalanceM)) {
      line.imbalanceFails = true;
      lineFail("line_imbalance_m", line.imbalanceM, limits.lineImbalanceM);
    }
    if (line.pass == false) lineFail("misclose_mm", *line.miscloseMm, *line.permissibleMm);
    report.lines.push_back(std::move(line));
  }

  // Sections: each line pairs with the nearest later unpaired line whose
  // ends are its own swapped.
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
      section.pass = WithinTolerance(section.differenceMm, section.permissibleMm);
      if (!section.pass)
        report.failed.push_back({0, b.fieldLine, a.start, a.end, "section_misclose_mm",
                                 section.differenceMm, section.permissibleMm});
      report.sections.push_back(std::move(section));
      break;
    }
  }

  report.file = JudgeFile(closure);
  return report;
}

FileCheck JudgeFile(const ReportClosure& closure) {
  FileCheck file;
  file.miscloseMm = closure.miscloseM * 1000;
  file.permissibleMm = closure.permissibleMm;
  if (closure.closes) file.pass = WithinTolerance(file.miscloseMm, file.permissibleMm);
  return file;
}

std::string FileVerdictText(const FileCheck& file) {
  std::string line = "Misclose " + FormatFixed(file.miscloseMm, 2) + " mm, permissible " +
                     FormatFixed(file.permissibleMm, 2) + " mm: ";
  if (!file.pass) return line + "not judged, the levelling does not end on its start point.";
  return line + (*file.pass ? "within tolerance." : "OUT OF TOLERANCE.");
}

std::string FailuresText(const CheckReport& report) {
  const long setups = report.FailedSetupCount();
  long others = 0;
  for (const FailedCheck& f : report.failed) others += f.setup == 0 ? 1 : 0;
  if (setups == 0 && others == 0) return "Every check passes.";
  std::string text;
  if (setups > 0)
    text = std::to_string(setups) +
           (setups == 1 ? " set-up fails its checks" : " set-ups fail their checks");
  if (others > 0)
    text += (setups > 0 ? ", " : "") + std::to_string(others) +
            (others == 1 ? " line or section check fails" : " line or section checks fail");
  return text;
}

std::string VerdictLine(const CheckReport& report) {
  const std::string failures = FailuresText(report);
  return FileVerdictText(report.file) + " " +
         (report.failed.empty() ? failures : failures + " - see the Checks sheet.");
}

}  // namespace vireo
