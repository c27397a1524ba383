// The closure of a line of levelling: its misclose spread over "Adj. RL" in
// proportion to the distance walked, as for a closed loop. The processing
// run spreads the run's misclose over the last line; the RL adjustment
// spreads the misclose of the keyed levels over the levels it rebuilt.
#pragma once

#include <optional>
#include <span>
#include <vector>

namespace vireo {

// The reduced levels a surveyor may key in or fix, in metres either side of
// the datum: a start or end RL, a benchmark's height. Beyond it the
// differences of a line are lost in the level's rounding.
inline constexpr double kMaxLevel = 100000;

// One set-up as the spreading sees it.
struct LevelledPair {
  double calRlBack = 0;  // only the first pair's is used
  double calRlFore = 0;
  double backDistance = 0, foreDistance = 0;  // "Ave_Dist(m)" of its two rows
  double rise = 0, fall = 0;                  // only the first pair's are used
};

struct AdjustedPair {
  double back = 0;
  std::optional<double> fore;  // none when the total distance is 0
};

// The first back sight keeps its level; the first fore sight takes it plus
// its share of the misclose plus its rise minus its fall; every later back
// sight the adjusted level of the fore sight before (0 where that has none);
// every later fore sight its Cal. RL plus the misclose times the distance
// walked up to it over `totalDistance`. The arithmetic keeps the order in
// which the report has always evaluated it, so levels agree to the bit.
std::vector<AdjustedPair> SpreadMisclose(std::span<const LevelledPair> pairs, double totalDistance,
                                         double misclose);

// Rebuilds Cal. RL from a keyed start level and the pairs' mean readings
// (unrounded): the first back sight takes `startRl`, each fore sight its
// back sight's level plus Ave_BS minus Ave_FS, each later back sight the
// fore sight's level before it. Fills calRlBack and calRlFore.
struct MeanReadings {
  double aveBackSight = 0, aveForeSight = 0;
};
void RebuildLevels(std::span<LevelledPair> pairs, std::span<const MeanReadings> means,
                   double startRl);

}  // namespace vireo
