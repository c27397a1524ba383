// The arithmetic every check shares: a value against its limit, and the
// rounding of differences to what the readings resolve.
#pragma once

#include <cmath>

namespace vireo::checks {

// A value that equals its limit up to the noise of binary arithmetic
// passes; a limit of 0 checks nothing.
inline bool Exceeds(double value, double limit) {
  return limit > 0 && std::abs(value) > limit * (1 + 1e-9) + 1e-12;
}

// Differences of readings carry float noise far below the 0.01 mm the
// readings resolve; they are kept to 1e-4 mm. Adding 0 turns a rounded -0
// into 0.
inline double Millimetres(double mm) {
  return std::round(mm * 1e4) / 1e4 + 0.0;
}

}  // namespace vireo::checks
