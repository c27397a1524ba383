// The state one processing run carries from record to record.
#pragma once

#include <string>
#include <vector>

#include "common/Warning.h"

namespace vireo {

// Report columns, counted from 1.
enum Column : int {
  kRef = 1,
  kBs1 = 2,
  kBs2 = 3,
  kFs1 = 4,
  kFs2 = 5,
  kDist1 = 6,
  kDist2 = 7,
  kAveDist = 8,
  kAveBs = 9,
  kAveFs = 10,
  kRise = 11,
  kFall = 12,
  kCalRl = 13,
  kAdjRl = 14,
};

inline constexpr const char* kFiveDecimals = "0.00000";

struct RunVariables {
  int currentRow = 4;
  int firstDataRow = 0;  // 0 until a heading row is written
  std::string startRl;   // height text of the last height record read
  std::string firstStation;
  std::string backStation;
  std::string foreStation;
  double aveBackSight = 0.0;
  double aveForeSight = 0.0;
  double sumRise = 0.0;
  double sumFall = 0.0;
  bool anyRise = false;  // an unset sum leaves its cell empty
  bool anyFall = false;
  double totalDistance = 0.0;
  double lastRl = 0.0;
  long setups = 0;
  // The height text the last line's first set-up took its Cal. RL from.
  std::string lineStartRl;
  bool lineHasSetup = false;
};

}  // namespace vireo
