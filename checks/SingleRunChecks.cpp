// The checks of single-run lines: each set-up's sights against the limits
// and its levels against the level's own heights, each line's imbalance,
// its misclose, the level's own misclose and the booking check.
#include <algorithm>
#include <cmath>

#include "checks/Arithmetic.h"
#include "checks/Checks.h"
#include "common/Text.h"
#include "reduction/LevelBook.h"
#include "reduction/Tolerance.h"

namespace vireo {
namespace {

using checks::Exceeds;
using checks::Millimetres;

// The level's heights are rounded to 0.01 mm and reduced from its own
// figures: a sight is compared by the step from its set-up's back point,
// as the double run compares a set-up's step.
struct SetupChecker {
  const CheckLimits& limits;
  CheckReport& report;
  long counted = 0;  // single-run set-ups so far

  bool Check(const BookSetup& setup, std::optional<double> backHeight) {
    ++counted;
    const BookSight& back = setup.Back();
    const BookSight& fore = setup.Fore();
    bool failed = false;
    auto fail = [&](const BookSight& at, const char* check, double value, double limit) {
      failed = true;
      report.failed.push_back(
          {0, at.reading.fieldLine, back.point, at.point, check, value, limit, {}, counted});
    };
    for (const BookSight* s : {&back, &fore})
      if (Exceeds(s->reading.distance, limits.sightLengthM))
        fail(*s, "sight_length_m", s->reading.distance, limits.sightLengthM);
    const double imbalance = back.reading.distance - fore.reading.distance;
    if (Exceeds(imbalance, limits.setupImbalanceM))
      fail(fore, "setup_imbalance_m", imbalance, limits.setupImbalanceM);
    for (const BookSight& s : setup.sights) {
      if (limits.staffMinM != 0 && s.reading.value < limits.staffMinM)
        fail(s, "staff_min_m", s.reading.value, limits.staffMinM);
      if (limits.staffMaxM != 0 && s.reading.value > limits.staffMaxM)
        fail(s, "staff_max_m", s.reading.value, limits.staffMaxM);
      if (s.kind == SightKind::Back || !s.levelHeight || !backHeight) continue;
      const double offMm = Millimetres(
          ((*s.levelHeight - *backHeight) - (s.reducedLevel - back.reducedLevel)) * 1000);
      if (Exceeds(offMm, limits.instrumentAgreementMm))
        fail(s, "instrument_agreement_mm", offMm, limits.instrumentAgreementMm);
    }
    return failed;
  }
};

SingleRunLineCheck CheckLineOf(const SingleRunLine& line, double errorFactor, bool unusable,
                               SetupChecker& setups) {
  SingleRunLineCheck c;
  c.number = line.number;
  c.fieldLine = line.fieldLine;
  c.method = line.method;
  c.setups = static_cast<long>(line.setups.size());
  std::optional<double> height;
  if (!line.startHeight.empty()) height = NumberFromText(line.startHeight);
  for (const BookSetup& s : line.setups) {
    c.intermediates += static_cast<long>(s.sights.size()) - 2;
    c.imbalanceM += s.Back().reading.distance - s.Fore().reading.distance;
    if (setups.Check(s, height)) ++c.failedSetups;
    height = s.Fore().levelHeight;
  }
  c.imbalanceM = std::round(c.imbalanceM * 1e6) / 1e6 + 0.0;
  c.lengthM = line.closure.lengthM;
  if (!line.setups.empty()) {
    c.start = line.setups.front().Back().point;
    c.end = line.setups.back().Fore().point;
  }
  c.loop = line.closure.loop;
  if (line.closure.misclose) {
    c.miscloseMm = Millimetres(*line.closure.misclose * 1000);
    c.permissibleMm = ToleranceMm(errorFactor, c.lengthM);
    if (!unusable) c.pass = MiscloseWithinTolerance(line, errorFactor);
  }
  if (line.closure.levelMisclose)
    c.levelMiscloseMm = Millimetres(*line.closure.levelMisclose * 1000);
  c.levelDisagrees = DisagreesWithLevel(line.closure);
  c.bookingPass = SumLevelBook(line).Agree();
  return c;
}

}  // namespace

void CheckSingleRunLines(const Survey& survey, double errorFactor, CheckReport& report) {
  SetupChecker setups{report.limits, report};
  const bool unusable = report.unusableErrorFactor;
  for (const SingleRunLine& line : survey.singleRunLines) {
    const SingleRunLineCheck c = CheckLineOf(line, errorFactor, unusable, setups);
    auto lineFail = [&](long fieldLine, const char* check, double value, double limit,
                        std::string finding = {}) {
      report.failed.push_back(
          {0, fieldLine, c.start, c.end, check, value, limit, std::move(finding), 0});
    };
    if (Exceeds(c.imbalanceM, report.limits.lineImbalanceM))
      lineFail(c.fieldLine, "line_imbalance_m", c.imbalanceM, report.limits.lineImbalanceM);
    if (c.pass == false) lineFail(c.fieldLine, "misclose_mm", *c.miscloseMm, *c.permissibleMm);
    if (!c.bookingPass)
      lineFail(c.fieldLine, "booking_check_mm", 0, 0.01, "the level book's sums disagree");
    if (c.levelDisagrees)
      lineFail(line.closure.closingBlockLine, "level_figures", 0, 0,
               "the closing block gives the misclose " + FormatFixed(*c.levelMiscloseMm, 2) +
                   " mm (measured - known), the readings give " + FormatFixed(-*c.miscloseMm, 2) +
                   " mm");
    report.singleRunLines.push_back(c);
  }
}

}  // namespace vireo
