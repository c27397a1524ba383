#include "reduction/Tolerance.h"

#include <algorithm>
#include <cmath>

#include "common/Text.h"

namespace vireo {

double ToleranceMm(double errorFactor, double lengthM) {
  const double value = errorFactor * std::sqrt(std::max(lengthM, 0.0) / 1000);
  return std::isfinite(value) ? value : 0;
}

double RoundedToFiveDecimals(double value) {
  return NumberFromText(FormatFixed(value, 5));
}

}  // namespace vireo
