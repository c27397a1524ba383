// Writes field data files in the DiNi M5 layout, with the framing a real
// level writes: project line, Start-Line, start height, four readings per
// set-up in the method's order, a computed height after every set-up, the
// Sh/dz, Db/Df and End-Line records. Used for the bundled samples, the
// tests and the benchmark.
#pragma once

#include <cstdint>
#include <string>

namespace vireo::examples {

// One M5 line (without line end), 119 characters. Empty texts leave their
// block blank.
std::string M5Line(long address, const std::string& kindAndPoint, const std::string& valueCode,
                   const std::string& value, const std::string& distanceCode,
                   const std::string& distance, const std::string& height);

// "KD1" followed by the point id right-aligned in columns 21-29, then the
// time and the line number.
std::string KindAndPoint(const std::string& kind, const std::string& pointId,
                         const std::string& time, int lineNumber);

struct SimulationOptions {
  std::uint32_t seed = 1;
  int lines = 1;
  int setupsPerLine = 10;
  // "BFFB", "BFBF", "aBFFB" (BFFB and FBBF alternating) or "BBFF"; the
  // single-run "BF" or "aBF" (BF and FB alternating).
  std::string method = "BFFB";
  // Intermediate sights of every set-up of a single-run line, each read
  // after the back sight and followed by the level's height of its point.
  int intermediates = 0;
  double startHeight = 100.0;
  // A closed loop returns to its start point; an open line ends elsewhere.
  bool closedLoop = true;
  std::string lineEnd = "\r\n";
  // Standard deviation (metres) of an error common to both runs of a
  // set-up, such as a settling staff; it makes a loop misclose by a few mm.
  double setupError = 0.0004;
};

// A whole field data file of simulated double-run levelling.
std::string SimulateFieldFile(const SimulationOptions& options);

}  // namespace vireo::examples
