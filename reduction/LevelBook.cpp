#include "reduction/LevelBook.h"

#include <algorithm>
#include <cmath>

#include "reduction/Tolerance.h"

namespace vireo {
namespace {

const BookSight& SightOf(const BookSetup& setup, SightKind kind) {
  return *std::find_if(setup.sights.begin(), setup.sights.end(),
                       [&](const BookSight& s) { return s.kind == kind; });
}

// How far the level of a sight is moved: the misclose times the
// distance walked up to it over the line's length.
double CorrectionAt(const SingleRunLine& line, double walked) {
  return *line.closure.misclose * walked / line.closure.lengthM;
}

}  // namespace

const BookSight& BookSetup::Back() const {
  return SightOf(*this, SightKind::Back);
}

const BookSight& BookSetup::Fore() const {
  return SightOf(*this, SightKind::Fore);
}

void LevelBookSetup(BookSetup& setup, double backLevel) {
  const double back = CarriedLevel(backLevel);
  const double b = setup.Back().reading.value;
  setup.riseFall = RiseFallOf(b, setup.Fore().reading.value);
  setup.collimation = RoundedToFiveDecimals(back + b);
  for (BookSight& sight : setup.sights) {
    switch (sight.kind) {
      case SightKind::Back:
        sight.reducedLevel = back;
        break;
      case SightKind::Fore:
        sight.reducedLevel = back + setup.riseFall;
        break;
      case SightKind::Intermediate:
        sight.reducedLevel = RoundedToFiveDecimals(setup.collimation - sight.reading.value);
        break;
    }
  }
}

void CloseSingleRunLine(SingleRunLine& line) {
  BookClosure& closure = line.closure;
  closure.lengthM = 0;
  for (const BookSetup& s : line.setups)
    closure.lengthM += s.Back().reading.distance + s.Fore().reading.distance;
  closure.misclose.reset();
  if (line.setups.empty() || !closure.knownEnd) return;
  closure.misclose = *closure.knownEnd - line.setups.back().Fore().reducedLevel;
  if (!(closure.lengthM > 0)) return;
  double walked = 0;
  for (BookSetup& setup : line.setups) {
    const double atBack = CorrectionAt(line, walked);
    walked += setup.Back().reading.distance + setup.Fore().reading.distance;
    const double atFore = CorrectionAt(line, walked);
    for (BookSight& sight : setup.sights) {
      const double correction = sight.kind == SightKind::Fore ? atFore : atBack;
      sight.adjustedLevel = RoundedToFiveDecimals(sight.reducedLevel + correction);
    }
  }
}

std::optional<bool> MiscloseWithinTolerance(const SingleRunLine& line, double errorFactor) {
  if (!line.closure.misclose || !IsUsableErrorFactor(errorFactor)) return std::nullopt;
  return std::abs(*line.closure.misclose * 1000) <=
         ToleranceMm(errorFactor, line.closure.lengthM) + 1e-9;
}

bool DisagreesWithLevel(const BookClosure& closure) {
  return closure.misclose && closure.levelMisclose &&
         std::abs(*closure.misclose + *closure.levelMisclose) > 0.00001 + 1e-9;
}

bool BookSums::Agree() const {
  // Each rise is its B - F rounded to five decimals; the levels carry them.
  constexpr double kRounding = 0.00001;
  const double booked = backSights - foreSights;
  const double risen = rises - falls;
  return std::abs(booked - risen) <= kRounding &&
         std::abs(risen - (lastLevel - firstLevel)) <= kRounding;
}

BookSums SumLevelBook(const SingleRunLine& line) {
  BookSums sums;
  if (line.setups.empty()) return sums;
  for (const BookSetup& s : line.setups) {
    sums.backSights += s.Back().reading.value;
    sums.foreSights += s.Fore().reading.value;
    (s.riseFall > 0 ? sums.rises : sums.falls) += std::abs(s.riseFall);
  }
  sums.firstLevel = line.setups.front().Back().reducedLevel;
  sums.lastLevel = line.setups.back().Fore().reducedLevel;
  return sums;
}

}  // namespace vireo
