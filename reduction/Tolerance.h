// The arithmetic the levelling rules fix once for every capability: the
// tolerance n·√k of a levelled length, and the five-decimal rounding of a
// height difference and of a back sight's reduced level.
#pragma once

namespace vireo {

// n·√k millimetres, k the length in kilometres; `errorFactor` is n. A
// length below 0 counts as 0, and a result that is not finite (an absurd
// factor) as 0.
double ToleranceMm(double errorFactor, double lengthM);

// The value as the report's "0.00000" shows it, read back: half away from
// zero, decided on the double's exact binary value; -0 becomes 0.
double RoundedToFiveDecimals(double value);

}  // namespace vireo
