// The levelling arithmetic fixed once for every capability: the tolerance
// n·√k of a levelled length, and the five-decimal rounding of a set-up's
// rise or fall and of the reduced level a back sight carries.
#pragma once

namespace vireo {

// n·√k millimetres, k the length in kilometres; `errorFactor` is n. A
// length below 0 counts as 0, and a result that is not finite (an absurd
// factor) as 0.
double ToleranceMm(double errorFactor, double lengthM);

// The error factors a permissible error means something with: 2, 4, 6, 8
// and 10, the choices of the control file.
bool IsUsableErrorFactor(double errorFactor);

// The value as the report's "0.00000" shows it, read back: half away from
// zero, decided on the double's exact binary value; -0 becomes 0.
double RoundedToFiveDecimals(double value);

// A set-up's rise (positive) or fall: the mean back sight minus the mean
// fore sight, rounded to five decimals before anything uses it.
inline double RiseFallOf(double aveBackSight, double aveForeSight) {
  return RoundedToFiveDecimals(aveBackSight - aveForeSight);
}

// The Cal. RL of a back-sight row: the level it stands on (the start
// height, or the Cal. RL of the fore sight before), rounded to five
// decimals. The fore sight's Cal. RL is this plus the rise or fall,
// unrounded.
inline double CarriedLevel(double level) {
  return RoundedToFiveDecimals(level);
}

}  // namespace vireo
