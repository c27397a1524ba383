#include "reduction/Tolerance.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "common/Text.h"

namespace vireo {

double ToleranceMm(double errorFactor, double lengthM) {
  const double value = errorFactor * std::sqrt(std::max(lengthM, 0.0) / 1000);
  return std::isfinite(value) ? value : 0;
}

double RoundedToFiveDecimals(double value) {
  // value = m * 2^e exactly, so value * 10^5 = m * 3125 * 2^(e + 5): an
  // integer times a power of two, which 128 bits hold exactly. Rounding it
  // to a whole number half away from zero decides on the exact value; the
  // quotient of that number by 10^5 is then the double nearest to the
  // five-decimal text, as reading the text back gives it.
  int exponent = 0;
  const double mantissa = std::frexp(std::fabs(value), &exponent);  // in [0.5, 1)
  const auto m = static_cast<std::uint64_t>(std::ldexp(mantissa, 53));
  const int shift = -(exponent - 53 + 5);  // value * 10^5 = m * 3125 / 2^shift
  if (std::isfinite(value) && shift > 0 && shift < 120) {
    const unsigned __int128 scaled = static_cast<unsigned __int128>(m) * 3125u;
    unsigned __int128 whole = scaled >> shift;
    const unsigned __int128 rest = scaled - (whole << shift);
    if (rest >= (static_cast<unsigned __int128>(1) << (shift - 1))) ++whole;
    if (whole < (static_cast<unsigned __int128>(1) << 53)) {
      if (whole == 0) return 0.0;
      const double units = static_cast<double>(static_cast<std::uint64_t>(whole));
      return (value < 0 ? -units : units) / 100000;
    }
  }
  return NumberFromText(FormatFixed(value, 5));
}

bool IsUsableErrorFactor(double errorFactor) {
  for (double choice : {2.0, 4.0, 6.0, 8.0, 10.0})
    if (errorFactor == choice) return true;
  return false;
}

}  // namespace vireo
