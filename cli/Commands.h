// The commands of vireo-cli, one file each, and what they share.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/AppFolder.h"
#include "common/Error.h"

namespace vireo::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitOutputFailed = 1;
inline constexpr int kExitRefused = 2;
inline constexpr int kExitNotAccepted = 3;  // --strict: the checks or the network test failed

struct ProcessArguments {
  std::string fieldFile;
  std::optional<std::string> startRl;
  std::optional<std::string> endRl;
  bool json = false;
  bool strict = false;     // exit 3 when a check fails
  bool open = false;       // hand the saved workbook to the desktop
  std::string pointsFile;  // --points: the list of points as CSV; empty: none
};

struct AdjustArguments {
  std::string job;  // a network job file; the options below override it
  std::vector<std::string> files;
  std::vector<std::string> fixed;
  std::vector<std::string> benchmarkFiles;
  std::string sigmaKm;
  std::string singleRunFactor;  // sigma of a single-run set-up over the double run's
  std::string name;
  std::string alpha;   // significance level of the w-test; empty: 0.001
  bool snoop = false;  // data snooping
  bool json = false;
  bool strict = false;
};

// Says why the input was refused on standard error and, with `json`, as
// {"error": {"file", "operation", "cause"}, "exit": 2} on standard output;
// returns kExitRefused.
int Refuse(const Error& e, bool json);

// --home, else the program's folder, else (installed read-only) the
// surveyor's own data folder, as the desktop program does. Throws Error.
AppFolder HomeFolder(const std::string& home);

int Process(const ProcessArguments& arguments, const std::string& home);
int ShowSettings(const std::string& home);
int SetSetting(const std::string& name, const std::string& value, const std::string& home);
int Adjust(const AdjustArguments& arguments, const std::string& home);

}  // namespace vireo::cli
