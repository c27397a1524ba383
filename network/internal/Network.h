// The levelling network as a graph, shared by the steps of the adjustment:
// its points, one edge per set-up, and the sections, the chains of set-ups
// between points that are not plain turning points.
//
// Variances are held as cofactors in km of levelling (a set-up's length in
// km; a weighted benchmark's (sigma / sigma_km)^2); times sigma_km^2 they
// are mm^2.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "network/NetworkAdjustment.h"
#include "network/internal/SparseInverse.h"

namespace vireo::detail {

struct Place;
struct InputPart;

struct Point {
  int benchmark = -1;
  int degree = 0;  // observation ends
  bool network = false;
  bool selfLoop = false;
  bool node = false;       // an end of sections
  bool keptApart = false;  // one place of a name a level data file reaches at several
  std::size_t input = 0;
  int unknown = -1;  // index in the normal equations; -1: fixed or not observed
  double height = 0;
  double cofactor = 0;
};

struct Edge {
  int from = 0, to = 0;
  double difference = 0;  // metres
  double cofactor = 0;    // its length in km, times the single-run factor squared
  double lengthKm = 0;
};

struct Step {
  int edge = 0;
  int sign = 1;  // +1 when the set-up runs along the section
};

struct Section {
  int start = 0, end = 0;
  double difference = 0;  // metres, start to end
  double cofactor = 0;
  double lengthKm = 0;
  std::size_t firstStep = 0, stepCount = 0;  // in Network::steps
};

// What the sections of one round of the adjustment left: the heights and
// cofactors of the network points are in the points.
struct Solution {
  std::optional<SparseInverseSubset> inverse;
  std::vector<double> residual;       // per section, metres, adjusted minus observed
  std::vector<double> checkCofactor;  // per section, q_VV; 0 without a check
  std::vector<double> benchmarkResidual, benchmarkCheck;  // per weighted benchmark
  long degreesOfFreedom = 0;
  double weightedSquares = 0;  // v'Pv with sigma0 = 1
  std::optional<double> varianceFactor;
  std::optional<GlobalTest> test;
};

class Network {
 public:
  Network(const std::vector<NetworkInput>& inputs, const std::vector<Benchmark>& benchmarks,
          const AdjustmentOptions& options, NetworkAdjustment& result)
      : inputs_(inputs), benchmarks_(benchmarks), options_(options), result_(result) {}

  void Build();
  void FormSections();
  void CheckEveryPartHasABenchmark();
  // One least-squares solution over the sections and weighted benchmarks
  // that are not removed.
  Solution Solve();
  // Whether every observed point still reaches a benchmark with `section`
  // (or the weighted benchmark's height `benchmark`) removed as well.
  bool StaysConnectedWithout(int section, int benchmark) const;
  // The last solution spread back to every set-up and turning point.
  void Spread(const Solution& solution);
  // The sections with the last solution's statistics, the runs forward
  // and back, and the loops.
  void FillSectionsAndLoops(const Solution& solution);
  // |w| of a section or weighted benchmark in a solution; none without a
  // check or when removed.
  std::optional<double> SectionW(std::size_t s, const Solution& solution) const;
  std::optional<double> BenchmarkW(std::size_t k, const Solution& solution) const;

  void StopPoint() const {
    if (options_.stopPoint) options_.stopPoint();
  }
  double CofactorOf(const Benchmark& b) const {
    const double ratio = *b.sigma / options_.sigmaKm;
    return ratio * ratio;
  }
  double ToVariance() const {  // cofactor -> m^2
    return (options_.sigmaKm / 1000) * (options_.sigmaKm / 1000);
  }

  const std::vector<NetworkInput>& inputs_;
  const std::vector<Benchmark>& benchmarks_;
  const AdjustmentOptions& options_;
  NetworkAdjustment& result_;
  std::vector<Point> points_;  // their names are result_.points[i].name
  std::vector<Edge> edges_;
  std::vector<int> edgeStart_, edgeList_;  // the edges at each point
  std::vector<Section> sections_;
  std::vector<Step> steps_;
  // The sections at each point (not those from a point to itself), the
  // shortest first: sectionList_[sectionStart_[p] .. sectionStart_[p + 1]).
  std::vector<int> sectionStart_, sectionList_;
  std::vector<int> weighted_;          // points of the weighted benchmarks
  std::vector<int> removedSection_;    // round that removed it, 0: in
  std::vector<int> removedBenchmark_;  // per weighted_, likewise
  std::vector<double> approximate_;    // heights the corrections start from
  int unknowns_ = 0;

 private:
  int NetworkPoint(const std::string& name, std::size_t input);
  int AddPoint(std::string name, std::size_t input, bool network);
  void AddBenchmarks();
  std::unordered_map<std::string, std::vector<Place>> KeepApart(std::size_t i,
                                                                const std::string& label);
  void AddInput(std::size_t i, const std::string& label, std::size_t first,
                const std::unordered_map<std::string, std::vector<Place>>& apart, InputPart& part);
  void AddInputs(const std::vector<std::string>& labels);
  void LinkEdges();
  void Walk(int start, int edge);
  void OrderSections();
  void LinkSections();
  // Refuses a benchmark no observation reaches, naming the observed points
  // whose names are nearest to its own.
  [[noreturn]] void RefuseUnobserved(std::size_t benchmarkPoint) const;
  int Across(int section, int point) const {  // the other end of a section
    return sections_[section].start == point ? sections_[section].end : sections_[section].start;
  }
  double Q(int a, int b, const Solution& s) const;
  void NormalEquations(std::vector<double>& misfit, Solution& solution);
  void SectionResiduals(Solution& solution);
  void GlobalTestOf(Solution& solution);
  void SpreadSection(std::size_t s, const Solution& solution);
  void AddBenchmarkObservations(const Solution& solution);
  void ForwardAndBack();
  void Loops();

  std::unordered_map<std::string, int> networkIndex_;
};

// Data snooping from `solution`: removes the section (or weighted
// benchmark) with the largest |w| above the flag limit and adjusts again,
// round by round, into `out`; returns the last solution.
Solution Snoop(Network& network, Solution solution, Snooping& out);

// The names of a list, the first kNamesShown of them: "A, B and C".
std::string NameList(const std::vector<std::string>& names);

}  // namespace vireo::detail
