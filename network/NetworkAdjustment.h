// Least-squares adjustment of a levelling network: every levelled height
// difference of any number of field data files and level data files, tied
// to benchmarks of known height, gives one height for every point with its
// standard deviation, the residuals, redundancy numbers and standardized
// residuals of the observations and the global (chi-square) test.
//
// Units: heights, differences and lengths in metres; standard deviations
// and residuals in millimetres; sigma_km in mm for 1 km of levelling.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/FileSystem.h"
#include "common/Warning.h"
#include "reduction/SurveyBuilder.h"

namespace vireo {

struct NetworkWarning {
  std::string file;  // path of the input; empty when not tied to one
  long line = 0;     // line of that file; 0 when not tied to one
  std::string message;
};

using NetworkWarnings = WarningList<NetworkWarning>;

// One levelled height difference from its back point to its fore point.
struct LevelledDifference {
  long fieldLine = 0;  // line of its input file
  std::string back;    // point names, the file's own bytes
  std::string fore;
  double difference = 0;  // back minus fore, unrounded
  double length = 0;      // back plus fore sight; 0 or less: not known
};

struct LevelledLine {
  std::vector<LevelledDifference> setups;
};

// One input file, its lines of levelling numbered from 1 in this order.
struct NetworkInput {
  std::string path;
  std::string format;  // "DiNi M5", "Leica GSI" or "level data file"
  std::vector<LevelledLine> lines;
  NetworkWarnings warnings;  // found while reading it
  long SetupCount() const;
};

// The lines of a survey: each reduced set-up is back minus fore mean reading
// over the back plus fore "Ave_Dist(m)".
NetworkInput InputFromSurvey(const Survey& survey, const Warnings& warnings);

// A level data file as this program writes it: each "L" record is one
// difference (its Diff over its Dist). The file has no line start records,
// so a line of levelling is a run of consecutive records each starting where
// the previous one ended; a record that starts elsewhere starts a new line
// (with a warning, as both ends become network points). A station pair that
// the ".Sep" character (default "-") cannot split in exactly one way, even
// with the neighbouring records' names, is reported and left out.
NetworkInput ParseLevelDataFile(const std::string& path, std::string_view text);

// Reads one input, recognised by content: a file whose first non-blank line
// starts with "#", "." or an "L" record is a level data file; anything else
// goes to the field data file readers. Throws Error naming the file.
NetworkInput ReadNetworkInput(const std::string& path, FileSystem& fs = RealFileSystem());

// Reads every input; refuses (Error) a file that is named twice.
std::vector<NetworkInput> ReadNetworkInputs(const std::vector<std::string>& paths,
                                            FileSystem& fs = RealFileSystem());

struct Benchmark {
  std::string name;
  double height = 0;            // metres
  std::optional<double> sigma;  // mm; without it the height is fixed
  std::string source;           // the benchmark file, or "--fixed"
  long sourceLine = 0;          // line in that file
};

// "NAME=HEIGHT" (split at the last "="). Throws Error.
Benchmark ParseFixedBenchmark(std::string_view text);

// Lines "NAME,HEIGHT" or "NAME,HEIGHT,SIGMA_MM"; blank lines and lines
// starting with "#" are skipped. A bad line throws Error naming the file and
// the line.
std::vector<Benchmark> ParseBenchmarkList(const std::string& path, std::string_view text);
// One benchmark keyed in as its three texts (an empty sigma: fixed), e.g. a
// row of a table; `source` and `row` say where it stands. Throws Error naming
// them.
Benchmark ParseBenchmarkEntry(std::string_view name, std::string_view height,
                              std::string_view sigma, const std::string& source, long row);
std::vector<Benchmark> ReadBenchmarkFile(const std::string& path,
                                         FileSystem& fs = RealFileSystem());

struct AdjustmentOptions {
  double sigmaKm = 1.0;  // mm for 1 km of levelling, > 0
};

inline constexpr double kFlagLimit = 3.29;  // |w| above it flags an observation

enum class PointKind { Fixed, Weighted, Adjusted };
const char* PointKindName(PointKind kind);  // "fixed", "weighted", "adjusted"

struct AdjustedPoint {
  std::string name;  // a turning point: NAME@FILE:LINE (file base name, line of levelling)
  PointKind kind = PointKind::Adjusted;
  bool turningPoint = false;
  double height = 0;     // metres
  double sigma = 0;      // mm; a posteriori when the network has a check
  bool observed = true;  // false: a benchmark that no observation reaches
};

struct AdjustedObservation {
  std::string file;  // base name of the input (or of the benchmark file)
  long fieldLine = 0;
  bool benchmark = false;  // a weighted benchmark's known height, not a set-up
  std::string from;        // names as in the points; empty for a benchmark
  std::string to;
  double length = 0;    // metres; 0 for a benchmark
  double observed = 0;  // metres
  double adjusted = 0;  // metres
  double sigma = 0;     // a priori, mm
  double residual = 0;  // adjusted minus observed, mm
  double redundancy = 0;
  // v / (sigma * sqrt(q_vv / q_ll)); none for an observation without a check
  // (redundancy 0), which is never flagged.
  std::optional<double> standardizedResidual;
  bool flagged = false;  // |w| > kFlagLimit
};

// dof * s0^2 against the two-tailed 95 % bounds of the chi-square
// distribution with dof degrees of freedom.
struct GlobalTest {
  double statistic = 0;
  double lower = 0;
  double upper = 0;
  bool pass = false;
};

struct NetworkAdjustment {
  std::vector<std::string> inputs;    // paths, in the order given
  std::vector<Benchmark> benchmarks;  // as given
  double sigmaKm = 0;
  long setups = 0;
  // Benchmarks in the order given, then the other network points in the
  // order they appear, then the turning points.
  std::vector<AdjustedPoint> points;
  // Set-ups input by input, line by line; then the weighted benchmarks.
  std::vector<AdjustedObservation> observations;
  long degreesOfFreedom = 0;
  std::optional<double> varianceFactor;  // s0^2; none when dof is 0
  std::optional<GlobalTest> test;        // none when dof is 0
  NetworkWarnings warnings;              // the inputs' first, then the adjustment's

  // The observation with the largest |w|; none when no observation has a w.
  std::optional<std::size_t> LargestStandardizedResidual() const;
  long FlaggedCount() const;
  bool TestFailed() const { return test && !test->pass; }
};

// Adjusts the network. Refuses with Error: no benchmark, a benchmark named
// twice, a sigma_km that is not a positive number, a part of the network
// that no benchmark reaches (the message names its points).
NetworkAdjustment AdjustNetwork(const std::vector<NetworkInput>& inputs,
                                const std::vector<Benchmark>& benchmarks,
                                const AdjustmentOptions& options = {});

// The chi-square quantile: x with P(dof/2, x/2) = p, P the regularized lower
// incomplete gamma function. dof >= 1, 0 < p < 1.
double ChiSquareQuantile(long dof, double p);

}  // namespace vireo
