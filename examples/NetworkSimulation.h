// Simulated DiNi field data files of a levelling network: lines of
// double-run levelling (BFFB) between named points of known true height,
// their turning points numbered TP1, TP2, ... within each line. Used by the
// network adjustment's tests and benchmark.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vireo::examples {

struct SimulatedLine {
  std::string from, to;
  int setups = 10;
  double blunder = 0;  // metres added to the fore readings of the middle set-up
};

struct NetworkSimulation {
  std::uint32_t seed = 1;
  std::map<std::string, double> heights;  // true heights, metres
  // Standard deviation (metres) of an error common to both runs of a set-up.
  double setupError = 0.0004;
  // Steers each line's turning points towards its end point, so that a long
  // line between points far apart in height reaches its end without a
  // staff reading longer than a staff (which the reader would not reduce).
  bool steered = false;
};

// One field data file holding `lines`, each from its start to its end point.
std::string SimulateNetworkFile(const NetworkSimulation& network,
                                const std::vector<SimulatedLine>& lines);

}  // namespace vireo::examples
