// The adjustment's steps in order, data snooping, and what the results say
// about themselves.
#include "network/NetworkAdjustment.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>

#include "common/AppFolder.h"
#include "common/Error.h"
#include "common/Text.h"
#include "network/internal/Network.h"

namespace vireo {
namespace detail {
namespace {

// Sections whose |w| lies this close to the largest cannot be told apart.
constexpr double kSharedShare = 0.99;

std::string RouteOf(const Network& network, const SnoopingTarget& t) {
  const NetworkAdjustment& r = network.result_;
  if (t.benchmark >= 0)
    return "the height given for the benchmark " + r.benchmarks[t.benchmark].name;
  const Section& section = network.sections_[t.section];
  return "the section " + r.points[section.start].name + " \u2192 " + r.points[section.end].name;
}

}  // namespace

Solution Snoop(Network& network, Solution solution, Snooping& out) {
  const TestLimits& limits = network.result_.limits;
  out.testBefore = solution.test;
  for (int round = 1;; ++round) {
    if (!solution.test) {
      out.end = "no redundant observation is left, so nothing more can be tested";
      break;
    }
    std::vector<SnoopingTarget> candidates;
    for (std::size_t s = 0; s < network.sections_.size(); ++s)
      if (const auto w = network.SectionW(s, solution))
        candidates.push_back({static_cast<int>(s), -1, *w});
    for (std::size_t k = 0; k < network.weighted_.size(); ++k)
      if (const auto w = network.BenchmarkW(k, solution))
        candidates.push_back({-1, static_cast<int>(k), *w});
    const auto largest = std::max_element(candidates.begin(), candidates.end(),
                                          [](const SnoopingTarget& a, const SnoopingTarget& b) {
                                            return std::abs(a.w) < std::abs(b.w);
                                          });
    if (largest == candidates.end() || std::abs(largest->w) <= limits.flagLimit) {
      out.end = "no |w| exceeds the flag limit " + FormatFixed(limits.flagLimit, 2);
      break;
    }
    SnoopingTarget target = *largest;
    std::vector<SnoopingTarget> shared;
    for (const SnoopingTarget& c : candidates)
      if (std::abs(c.w) >= kSharedShare * std::abs(target.w)) shared.push_back(c);
    auto named = [&](SnoopingTarget t) {  // weighted index -> benchmark index
      if (t.benchmark >= 0) t.benchmark = network.points_[network.weighted_[t.benchmark]].benchmark;
      return t;
    };
    if (shared.size() > 1) {
      for (const SnoopingTarget& c : shared) out.suspects.push_back(named(c));
      out.end = "the largest |w|, " + FormatFixed(std::abs(target.w), 2) + ", is shared by " +
                std::to_string(shared.size()) +
                " sections (within 1 %), so the data cannot tell which of them holds the "
                "blunder: one of these sections holds the blunder; re-level one of them";
      break;
    }
    if (!network.StaysConnectedWithout(target.section, target.benchmark)) {
      out.suspects.push_back(named(target));
      out.end = RouteOf(network, named(target)) + " has the largest |w|, " +
                FormatFixed(std::abs(target.w), 2) +
                ", but without it a part of the network would reach no benchmark: it stays; "
                "re-level it";
      break;
    }
    SnoopingRound& r = out.rounds.emplace_back();
    r.round = round;
    if (target.section >= 0) {
      const Section& section = network.sections_[target.section];
      r.estimatedBlunderMm = -solution.residual[target.section] * section.cofactor /
                             solution.checkCofactor[target.section] * 1000;
      network.removedSection_[target.section] = round;
    } else {
      const Benchmark& b =
          network.benchmarks_[network.points_[network.weighted_[target.benchmark]].benchmark];
      r.estimatedBlunderMm = -solution.benchmarkResidual[target.benchmark] * network.CofactorOf(b) /
                             solution.benchmarkCheck[target.benchmark] * 1000;
      network.removedBenchmark_[target.benchmark] = round;
    }
    r.removed = named(target);
    network.StopPoint();
    solution = network.Solve();
    r.degreesOfFreedomAfter = solution.degreesOfFreedom;
    r.varianceFactorAfter = solution.varianceFactor;
    r.testAfter = solution.test;
  }
  return solution;
}

}  // namespace detail

const char* PointKindName(PointKind kind) {
  switch (kind) {
    case PointKind::Fixed:
      return "fixed";
    case PointKind::Weighted:
      return "weighted";
    case PointKind::Adjusted:
      break;
  }
  return "adjusted";
}

TestLimits TestLimitsFor(double alpha) {
  auto twoDecimals = [](double x) { return std::round(x * 100) / 100; };
  // From the lower tail, where a small alpha keeps its digits (1 - alpha / 2
  // is 1 for alpha below 1e-16).
  const double critical = -NormalQuantile(alpha / 2);
  const double sum = critical + NormalQuantile(kPower);
  return {alpha, twoDecimals(critical), twoDecimals(sum * sum)};
}

std::optional<std::size_t> NetworkAdjustment::LargestStandardizedResidual() const {
  std::optional<std::size_t> largest;
  for (std::size_t i = 0; i < observations.size(); ++i) {
    const auto& w = observations[i].standardizedResidual;
    if (w && (!largest || std::abs(*w) > std::abs(*observations[*largest].standardizedResidual)))
      largest = i;
  }
  return largest;
}

std::optional<std::size_t> NetworkAdjustment::LargestMdbSection() const {
  std::optional<std::size_t> largest;
  for (std::size_t i = 0; i < sections.size(); ++i)
    if (sections[i].mdb && (!largest || *sections[i].mdb > *sections[*largest].mdb)) largest = i;
  return largest;
}

long NetworkAdjustment::FlaggedCount() const {
  long count = 0;
  for (const AdjustedObservation& o : observations) count += o.flagged ? 1 : 0;
  return count;
}

std::string NetworkAdjustment::FileOf(const AdjustedObservation& o) const {
  return o.IsBenchmark() ? BaseNameOf(benchmarks[o.benchmark].source) : inputLabels[o.input];
}

std::string NetworkAdjustment::Route(const AdjustedObservation& o, std::string_view arrow) const {
  if (o.IsBenchmark()) return "benchmark " + points[o.to].name;
  return points[o.from].name + std::string(arrow) + points[o.to].name;
}

std::string NetworkAdjustment::Route(const AdjustedSection& s, std::string_view arrow) const {
  return points[s.from].name + std::string(arrow) + points[s.to].name;
}

namespace {

// Each intermediate sight stands on its set-up's back point as adjusted.
void HeightsOfSideShots(const std::vector<NetworkInput>& inputs, NetworkAdjustment& result) {
  std::map<std::pair<int, long>, int> backOf;  // (input, set-up line) -> point
  for (const AdjustedObservation& o : result.observations)
    if (o.input >= 0) backOf.emplace(std::pair(o.input, o.fieldLine), o.from);
  for (std::size_t i = 0; i < inputs.size(); ++i)
    for (const SideShot& s : inputs[i].sideShots) {
      const auto found = backOf.find({static_cast<int>(i), s.setupLine});
      if (found == backOf.end() || found->second < 0) continue;
      result.sideShots.push_back(
          {static_cast<int>(i), s.fieldLine, s.point,
           result.points[static_cast<std::size_t>(found->second)].height + s.fromBack});
    }
}

}  // namespace

NetworkAdjustment AdjustNetwork(const std::vector<NetworkInput>& inputs,
                                const std::vector<Benchmark>& benchmarks,
                                const AdjustmentOptions& options,
                                NetworkWarnings* warningsOnRefusal) {
  NetworkAdjustment result;
  for (const NetworkInput& input : inputs) {
    result.inputs.push_back(input.path);
    result.warnings.Append(input.warnings);
  }
  try {
    const std::string first = inputs.empty() ? std::string() : inputs.front().path;
    if (!(options.sigmaKm >= kMinSigmaKm && options.sigmaKm <= kMaxSigmaKm))
      throw Error(first, "adjust the network",
                  "the standard deviation for 1 km of levelling must be a number of millimetres "
                  "from " +
                      DecimalText(kMinSigmaKm) + " to " + DecimalText(kMaxSigmaKm) + ", not " +
                      DecimalText(options.sigmaKm));
    if (!(options.alpha > 0 && options.alpha <= 0.5) || !TestLimitsFor(options.alpha).Finite())
      throw Error(first, "adjust the network",
                  "the significance level must lie above 0 and at most 0.5, not " +
                      DecimalText(options.alpha));
    if (benchmarks.empty())
      throw Error(first, "adjust the network",
                  "no benchmark is given: at least one point needs a known height");
    result.sigmaKm = options.sigmaKm;
    result.limits = TestLimitsFor(options.alpha);
    result.errorFactor = options.errorFactor;
    result.benchmarks = benchmarks;
    detail::Network network(inputs, benchmarks, options, result);
    network.Build();
    network.StopPoint();
    network.FormSections();
    network.CheckEveryPartHasABenchmark();
    network.StopPoint();
    detail::Solution solution = network.Solve();
    network.StopPoint();
    if (options.snoop)
      solution = detail::Snoop(network, std::move(solution), result.snooping.emplace());
    network.Spread(solution);
    network.FillSectionsAndLoops(solution);
    HeightsOfSideShots(inputs, result);
  } catch (const Error&) {
    if (warningsOnRefusal) *warningsOnRefusal = std::move(result.warnings);
    throw;
  }
  if (result.degreesOfFreedom <= 0)
    result.warnings.push_back(
        {"", 0,
         "the network has no redundant observation (0 degrees of freedom): the heights are "
         "given without a check, with a priori standard deviations, and without a variance "
         "factor or a global test"});
  return result;
}

}  // namespace vireo
