// The quantiles of the tests: chi-square for the global test, from the
// regularized lower incomplete gamma function P(a, x) (its power series
// below x = a + 1, the continued fraction of Q = 1 - P above, Lentz's
// method) and bisection; the standard normal for the w-test, by bisection
// on erfc.
#include <cmath>
#include <limits>

#include "network/NetworkAdjustment.h"

namespace vireo {
namespace {

double RegularizedGammaP(double a, double x) {
  if (x <= 0) return 0;
  const double front = std::exp(-x + a * std::log(x) - std::lgamma(a));
  constexpr double kEpsilon = 1e-16;
  constexpr int kMaxTerms = 1000000;
  if (x < a + 1) {
    double term = 1 / a, sum = term;
    for (int n = 1; n < kMaxTerms && std::abs(term) > std::abs(sum) * kEpsilon; ++n) {
      term *= x / (a + n);
      sum += term;
    }
    return std::min(1.0, sum * front);
  }
  constexpr double kTiny = 1e-300;
  double b = x + 1 - a, c = 1 / kTiny, d = 1 / b, h = d;
  for (int i = 1; i < kMaxTerms; ++i) {
    const double an = -i * (i - a);
    b += 2;
    d = an * d + b;
    if (std::abs(d) < kTiny) d = kTiny;
    c = b + an / c;
    if (std::abs(c) < kTiny) c = kTiny;
    d = 1 / d;
    const double step = d * c;
    h *= step;
    if (std::abs(step - 1) < kEpsilon) break;
  }
  return std::max(0.0, 1 - front * h);
}

}  // namespace

double ChiSquareQuantile(long dof, double p) {
  if (dof < 1 || !(p > 0 && p < 1)) return std::numeric_limits<double>::quiet_NaN();
  const double a = static_cast<double>(dof) / 2;
  double low = 0, high = static_cast<double>(dof) + 10;
  while (RegularizedGammaP(a, high / 2) < p) high *= 2;
  // Bisection to the last bit: the bounds are printed to many digits.
  for (int i = 0; i < 200 && high - low > 0; ++i) {
    const double middle = low + (high - low) / 2;
    if (middle <= low || middle >= high) break;
    (RegularizedGammaP(a, middle / 2) < p ? low : high) = middle;
  }
  return low + (high - low) / 2;
}

double NormalQuantile(double p) {
  if (!(p > 0 && p < 1)) return std::numeric_limits<double>::quiet_NaN();
  // Phi(x) = erfc(-x / sqrt 2) / 2, which keeps its precision in both tails.
  auto phi = [](double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); };
  double low = -40, high = 40;
  for (int i = 0; i < 200 && high - low > 0; ++i) {
    const double middle = low + (high - low) / 2;
    if (middle <= low || middle >= high) break;
    (phi(middle) < p ? low : high) = middle;
  }
  return low + (high - low) / 2;
}

}  // namespace vireo
