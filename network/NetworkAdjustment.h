// Least-squares adjustment of a levelling network: every levelled height
// difference of any number of field data files and level data files, tied
// to benchmarks of known height, gives one height for every point with its
// standard deviation, the residuals, redundancy numbers, standardized
// residuals and minimal detectable biases of the observations, the global
// (chi-square) test, the sections between network points with their runs
// forward and back, an independent set of loops with their misclosures, and
// on request the data snooping that removes a blundered section round by
// round.
//
// Units: heights, differences and lengths in metres; standard deviations,
// residuals, biases and misclosures in millimetres; sigma_km in mm for 1 km
// of levelling.
#pragma once

#include <cmath>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/FileSystem.h"
#include "common/Warning.h"
#include "output/LevelDataFile.h"
#include "reduction/Chain.h"
#include "reduction/Closure.h"
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
  // Point names as the workbooks show them: the file's bytes, each that is
  // not part of valid UTF-8 read as Windows-1252 (ToUtf8). Names match,
  // and print, by this text.
  std::string back;
  std::string fore;
  double difference = 0;   // back minus fore, unrounded
  double length = 0;       // back plus fore sight; 0 or less: not known
  bool singleRun = false;  // a set-up of a single-run line (one reading each way)
};

struct LevelledLine {
  std::vector<LevelledDifference> setups;
};

enum class InputKind { FieldData, LevelData };

// One input file, its lines of levelling numbered from 1 in this order.
// An intermediate sight of a single-run line: no observation of the
// network, but a height from its set-up once that is adjusted.
struct SideShot {
  long fieldLine = 0;   // its reading's line in the input file
  long setupLine = 0;   // the fieldLine of its set-up's LevelledDifference
  std::string point;    // as the workbooks show it (ToUtf8)
  double fromBack = 0;  // back reading minus its reading: its height above the back point
};

struct NetworkInput {
  std::string path;
  std::string format;  // "DiNi M5", "Leica GSI" or "level data file"
  InputKind kind = InputKind::FieldData;
  std::vector<LevelledLine> lines;
  std::vector<SideShot> sideShots;
  NetworkWarnings warnings;  // found while reading it
  long SetupCount() const;
};

// The lines of a survey: each reduced set-up is back minus fore mean reading
// over the back plus fore "Ave_Dist(m)".
NetworkInput InputFromSurvey(const Survey& survey, const Warnings& warnings);

// The runs of a level data file as lines of levelling (see
// ReadLevelDataText). A difference beyond +-10,000 m or a distance beyond
// 10,000 m is refused (Error naming the file, the line and the value).
NetworkInput InputFromLevelData(const std::string& path, const LevelDataContents& contents);

// Reads one input, recognised by content: a file whose first non-blank line
// (after a UTF-8 byte-order mark) starts with "#", "." or an "L" record is a
// level data file; anything else goes to the field data file readers.
// Throws Error naming the file.
NetworkInput ReadNetworkInput(const std::string& path, FileSystem& fs = RealFileSystem());

// Reads every input. Refuses (Error) a file named twice, also under another
// name (a link: the same device and inode), naming both, and two inputs
// whose observations are the same set-ups in the same order (a field data
// file and its own level data file), naming both. The checks sort and hash,
// so N inputs cost O(N log N). `progress`, when given, is called with the
// inputs read so far and their count, a hundred times at most, one call at
// a time, possibly on a worker thread (a window posts it to its own).
using InputProgress = std::function<void(std::size_t done, std::size_t total)>;
std::vector<NetworkInput> ReadNetworkInputs(const std::vector<std::string>& paths,
                                            FileSystem& fs = RealFileSystem(),
                                            const InputProgress& progress = {});

// The ranges a surveyor's numbers must lie in; outside them the input is
// refused.
inline constexpr double kMinSigmaKm = 0.001, kMaxSigmaKm = 1000;                 // mm
inline constexpr double kMinBenchmarkSigma = 0.001, kMaxBenchmarkSigma = 10000;  // mm
inline constexpr double kMaxHeight = kMaxLevel;                                  // +- metres
inline constexpr double kMaxDifference = 10000;   // +- metres, one set-up
inline constexpr double kMaxSetupLength = 10000;  // metres, one set-up

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
// starting with "#" are skipped, so is a UTF-8 byte-order mark; a field may
// be quoted ("..."). A bad line throws Error naming the file and the line:
// also a number written with a comma (a decimal comma or a thousands
// separator).
std::vector<Benchmark> ParseBenchmarkList(const std::string& path, std::string_view text);
// One benchmark keyed in as its three texts (an empty sigma: fixed), e.g. a
// row of a table; `source` and `row` say where it stands. Throws Error naming
// them.
Benchmark ParseBenchmarkEntry(std::string_view name, std::string_view height,
                              std::string_view sigma, const std::string& source, long row);
std::vector<Benchmark> ReadBenchmarkFile(const std::string& path,
                                         FileSystem& fs = RealFileSystem());

// The significance level of the w-test and the power against a blunder of
// the size of the minimal detectable bias.
inline constexpr double kDefaultAlpha = 0.001;
inline constexpr double kPower = 0.80;

// The critical value of |w| and the non-centrality lambda0 for a
// significance level, as the classic tables print them (two decimals):
// 3.29 and 17.07 for 0.1 %. `alpha` in (0, 0.5].
struct TestLimits {
  double alpha = kDefaultAlpha;
  double flagLimit = 3.29;
  double lambda0 = 17.07;
  bool Finite() const { return std::isfinite(flagLimit) && std::isfinite(lambda0); }
};
TestLimits TestLimitsFor(double alpha);

struct AdjustmentOptions {
  double sigmaKm = 1.0;  // mm for 1 km of levelling, kMinSigmaKm..kMaxSigmaKm
  double alpha = kDefaultAlpha;
  bool snoop = false;  // data snooping: remove blundered sections round by round
  // The n of the double-run tolerance n * sqrt(k) mm for sections run
  // forward and back and for loops (the control file's error factor).
  double errorFactor = 4;
  // A set-up of a single-run line has sigma_km times this for 1 km: one
  // run against the mean of two.
  double singleRunFactor = 1.4142135623730951;
  // Called between the steps of the adjustment and before each round of
  // data snooping: a window's Cancel throws from it. Empty: never called.
  std::function<void()> stopPoint;
};

inline constexpr double kFlagLimit = 3.29;  // |w| above it flags an observation at 0.1 %

enum class PointKind { Fixed, Weighted, Adjusted };
const char* PointKindName(PointKind kind);  // "fixed", "weighted", "adjusted"

struct AdjustedPoint {
  // A turning point: NAME@FILE:LINE (file base name, line of levelling); a
  // name a level data file reaches at separate places, not joined:
  // NAME@FILE line L (the file line of the record that reaches it).
  std::string name;
  PointKind kind = PointKind::Adjusted;
  bool turningPoint = false;
  double height = 0;              // metres
  double sigma = 0;               // mm; a posteriori when the network has a check
  bool observed = true;           // false: a benchmark that no observation reaches
  bool inRemovedSection = false;  // a turning point of a section snooping removed
};

struct AdjustedObservation {
  int input = -1;      // index of NetworkAdjustment::inputs; -1 for a benchmark
  int benchmark = -1;  // a weighted benchmark's known height: index of benchmarks
  int line = 0;        // line of levelling in its input, from 1
  long fieldLine = 0;  // line of the input file (of the benchmark file)
  int from = -1;       // indices of points; from is -1 for a benchmark
  int to = -1;
  int section = -1;     // index of sections; -1 for a benchmark
  double length = 0;    // metres; 0 for a benchmark
  double observed = 0;  // metres
  double adjusted = 0;  // metres
  double sigma = 0;     // a priori, mm
  double residual = 0;  // adjusted minus observed, mm
  double redundancy = 0;
  // v / (sigma * sqrt(q_vv / q_ll)); none for an observation without a check
  // (redundancy 0), which is never flagged, and for a removed one.
  std::optional<double> standardizedResidual;
  // Minimal detectable bias sigma * sqrt(lambda0 / r), mm; none where r = 0.
  std::optional<double> mdb;
  bool flagged = false;    // |w| above the flag limit
  int removedInRound = 0;  // 0: in the final adjustment
  bool IsBenchmark() const { return benchmark >= 0; }
};

// A chain of set-ups between two network points (or a loop of turning
// points back to one), in the direction it was levelled; its set-ups all
// lie in one line of levelling and share one w and one MDB.
struct AdjustedSection {
  int from = 0, to = 0;  // indices of points
  int input = 0;         // index of inputs
  int line = 0;          // line of levelling in that input
  long firstFieldLine = 0, lastFieldLine = 0;
  long setups = 0;
  double length = 0;    // metres
  double observed = 0;  // metres, from -> to
  double adjusted = 0;  // metres
  double residual = 0;  // adjusted minus observed, mm
  double redundancy = 0;
  std::optional<double> standardizedResidual;
  std::optional<double> mdb;  // mm
  bool flagged = false;
  int removedInRound = 0;
  bool inLoop = false;  // some loop of the loop list checks it
};

// Two sections joining the same two points with swapped ends: a run forward
// and back. Their difference against n * sqrt(k), k the mean length in km.
struct ForwardBackPair {
  int forward = 0, back = 0;  // indices of sections, in input order
  double differenceMm = 0;    // forward observed plus back observed
  double meanLength = 0;      // metres
  double toleranceMm = 0;
  bool pass = true;
};

// A loop of the network of sections, with its misclosure (the sum of the
// observed differences around it) against n * sqrt(k), k its length in km.
struct LevellingLoop {
  struct Step {
    int section = 0;
    bool reversed = false;  // run against the section's direction
  };
  std::vector<Step> steps;
  double length = 0;  // metres
  double miscloseMm = 0;
  double toleranceMm = 0;
  bool pass = true;
};

// dof * s0^2 against the two-tailed 95 % bounds of the chi-square
// distribution with dof degrees of freedom.
struct GlobalTest {
  double statistic = 0;
  double lower = 0;
  double upper = 0;
  bool pass = false;
};

// What snooping removes or suspects: a section, or a weighted benchmark's
// given height.
struct SnoopingTarget {
  int section = -1;
  int benchmark = -1;
  double w = 0;
};

struct SnoopingRound {
  int round = 0;
  SnoopingTarget removed;
  double estimatedBlunderMm = 0;  // -v / r of the removed section
  long degreesOfFreedomAfter = 0;
  std::optional<double> varianceFactorAfter;
  std::optional<GlobalTest> testAfter;
};

struct Snooping {
  std::optional<GlobalTest> testBefore;
  std::vector<SnoopingRound> rounds;
  // Sections whose |w| is within 1 % of the largest: the data cannot tell
  // which of them holds the blunder. Empty unless snooping stopped there.
  std::vector<SnoopingTarget> suspects;
  std::string end;  // why snooping stopped, as a sentence
};

// A set-up of an input that does not start where the set-up before it in
// its line of levelling ended.
struct NetworkChainBreak {
  int input = 0;  // index of inputs
  ChainBreak at;
};

struct NetworkAdjustment {
  std::vector<std::string> inputs;       // paths, in the order given
  std::vector<std::string> inputLabels;  // base names made unique, as the points name them
  std::vector<Benchmark> benchmarks;     // as given
  double sigmaKm = 0;
  TestLimits limits;
  double errorFactor = 0;
  long setups = 0;
  // Benchmarks in the order given, then the other network points in the
  // order they appear, then the turning points.
  std::vector<AdjustedPoint> points;
  // Set-ups input by input, line by line; then the weighted benchmarks.
  std::vector<AdjustedObservation> observations;
  std::vector<AdjustedSection> sections;  // by their first set-up
  std::vector<ForwardBackPair> forwardBack;
  std::vector<LevellingLoop> loops;  // shortest first
  long degreesOfFreedom = 0;
  std::optional<double> varianceFactor;        // s0^2; none when dof is 0
  std::optional<GlobalTest> test;              // none when dof is 0
  std::optional<Snooping> snooping;            // with the snoop option
  NetworkWarnings warnings;                    // the inputs' first, then the adjustment's
  std::vector<NetworkChainBreak> chainBreaks;  // in the order of the inputs
  // The intermediate sights of the inputs with the adjusted height of their
  // set-up's back point plus their height above it.
  struct AdjustedSideShot {
    int input = 0;
    long fieldLine = 0;
    std::string point;
    double height = 0;
  };
  std::vector<AdjustedSideShot> sideShots;

  // The observation with the largest |w|; none when no observation has a w.
  std::optional<std::size_t> LargestStandardizedResidual() const;
  // The section with the largest MDB; none when no section has one.
  std::optional<std::size_t> LargestMdbSection() const;
  long FlaggedCount() const;
  bool TestFailed() const { return test && !test->pass; }
  // "NET1 line 3" style names of where an observation or section lies.
  std::string FileOf(const AdjustedObservation& o) const;
  std::string FileOf(const AdjustedSection& s) const { return inputLabels[s.input]; }
  // "A -> B" (or "benchmark B") in the given arrow.
  std::string Route(const AdjustedObservation& o, std::string_view arrow) const;
  std::string Route(const AdjustedSection& s, std::string_view arrow) const;
};

// Adjusts the network. Refuses with Error: no benchmark, a benchmark named
// twice, a sigma_km or alpha out of range, a difference that is not a finite
// number, a part of the network that no benchmark reaches (the message
// names its points). On a refusal `warningsOnRefusal` (when given) receives
// the warnings found up to it, which often say why.
NetworkAdjustment AdjustNetwork(const std::vector<NetworkInput>& inputs,
                                const std::vector<Benchmark>& benchmarks,
                                const AdjustmentOptions& options = {},
                                NetworkWarnings* warningsOnRefusal = nullptr);

// The chi-square quantile: x with P(dof/2, x/2) = p, P the regularized lower
// incomplete gamma function. dof >= 1, 0 < p < 1.
double ChiSquareQuantile(long dof, double p);
// The standard normal quantile: x with Phi(x) = p, 0 < p < 1.
double NormalQuantile(double p);

}  // namespace vireo
