#include "reduction/Closure.h"

namespace vireo {

std::vector<AdjustedPair> SpreadMisclose(std::span<const LevelledPair> pairs, double totalDistance,
                                         double misclose) {
  std::vector<AdjustedPair> adjusted(pairs.size());
  if (pairs.empty()) return adjusted;
  const LevelledPair& first = pairs.front();
  adjusted[0].back = first.calRlBack;
  if (totalDistance != 0)
    adjusted[0].fore = adjusted[0].back +
                       (first.backDistance + first.foreDistance) / totalDistance * misclose +
                       first.rise - first.fall;
  double walked = first.backDistance + first.foreDistance;
  for (std::size_t i = 1; i < pairs.size(); ++i) {
    adjusted[i].back = adjusted[i - 1].fore.value_or(0);
    walked = walked + pairs[i].backDistance + pairs[i].foreDistance;
    if (totalDistance != 0)
      adjusted[i].fore = pairs[i].calRlFore + walked / totalDistance * misclose;
  }
  return adjusted;
}

void RebuildLevels(std::span<LevelledPair> pairs, std::span<const MeanReadings> means,
                   double startRl) {
  double level = startRl;
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    pairs[i].calRlBack = level;
    pairs[i].calRlFore = level + means[i].aveBackSight - means[i].aveForeSight;
    level = pairs[i].calRlFore;
  }
}

}  // namespace vireo
