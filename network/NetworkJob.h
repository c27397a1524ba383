// A network adjustment job as a plain text file the surveyor can read and
// keep with the job: the input files, the benchmarks, sigma for 1 km and the
// workbook's name. The window saves and opens it; `vireo-cli adjust --job`
// runs it. One setting per line, "key = value"; blank lines and lines
// starting with "#" are skipped:
//
//   input = Field Data/NETWORK_DAY1.dat
//   benchmark = BM1, 100.000
//   benchmark = BM3, 99.6121, 2
//   sigma_km = 1.0
//   name = NETWORK
//   snoop = yes
//
// A benchmark reads NAME, HEIGHT[, SIGMA_MM] as in a benchmark list (no
// sigma: a fixed height). Input paths are relative to the job file's folder
// where they lie below it, else absolute.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/FileSystem.h"
#include "network/NetworkAdjustment.h"

namespace vireo {

struct NetworkJob {
  std::vector<std::string> inputs;  // paths as the file system takes them
  std::vector<Benchmark> benchmarks;
  std::optional<double> sigmaKm;  // mm for 1 km; none: the default
  std::string name;               // the workbook's; empty: the first input's
  bool snoop = false;             // find blunders by data snooping
};

// The job in the file `path` holds as `text`; relative input paths are
// taken from the file's folder. Throws Error naming the file and the line:
// an unknown key, a line without "=", a bad benchmark or sigma, a name
// given twice.
NetworkJob ParseNetworkJob(const std::string& path, std::string_view text);
NetworkJob ReadNetworkJob(const std::string& path, FileSystem& fs = RealFileSystem());

// The text of `job` saved as `path`.
std::string NetworkJobText(const NetworkJob& job, const std::string& path);
// Saves atomically; throws Error naming the file.
void SaveNetworkJob(const NetworkJob& job, const std::string& path,
                    FileSystem& fs = RealFileSystem());

}  // namespace vireo
