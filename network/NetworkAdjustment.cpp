// The adjustment works on sections: a chain of set-ups between two points
// that are not plain turning points carries no redundancy of its own, so
// the chain is one observation (the sum of its differences, the sum of its
// variances) and only the ends are unknowns. The sections are solved with a
// sparse LDL' factorization; the results are then spread back to every
// set-up exactly. For a section of set-ups k = 1..n (variances s_k, sum S,
// partial sums C_j) whose residual is V = adjusted - observed:
//   v_k = s_k / S * V                                   (along the section)
//   r_k = q_vv,k / s_k = s_k * q_VV / S^2,  w_k = V / sqrt(q_VV)   (sigma0 = 1)
//   h_j = h_start + sum_{k<=j} (l_k + v_k)
//   q_hj = (1-a)^2 q_ss + 2 a (1-a) q_se + a^2 q_ee + C_j (S - C_j) / S,  a = C_j / S
// since minimizing sum v_k^2 / s_k with sum v_k = V gives v_k = s_k V / S,
// and h_j - (1-a) h_start - a h_end is uncorrelated with the section's
// observed sum and has the variance C_j (S - C_j) / S.
#include "network/NetworkAdjustment.h"

#include <Eigen/SparseCholesky>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <deque>
#include <unordered_map>

#include "common/AppFolder.h"
#include "common/Error.h"
#include "common/Text.h"
#include "network/internal/SparseInverse.h"

namespace vireo {
namespace {

// Below this redundancy number an observation has no check.
constexpr double kNoCheck = 1e-9;
constexpr std::size_t kNamesShown = 20;

// Variances are held as cofactors in km of levelling (a set-up's length in
// km; a weighted benchmark's (sigma / sigma_km)^2); times sigma_km^2 they
// are mm^2.
struct Point {
  std::string name;
  int benchmark = -1;
  int degree = 0;  // observation ends
  bool network = false;
  bool selfLoop = false;
  bool node = false;  // an end of sections
  std::size_t input = 0;
  int unknown = -1;  // index in the normal equations; -1: fixed or not observed
  double height = 0;
  double cofactor = 0;
};

struct Edge {
  int from = 0, to = 0;
  double difference = 0;  // metres
  double cofactor = 0;
};

struct Step {
  int edge = 0;
  int sign = 1;  // +1 when the set-up runs along the section
};

struct Section {
  int start = 0, end = 0;
  double difference = 0;  // metres, start to end
  double cofactor = 0;
  std::vector<Step> steps;
};

std::string NameList(const std::vector<std::string>& names) {
  std::string text;
  const std::size_t shown = std::min(names.size(), kNamesShown);
  for (std::size_t i = 0; i < shown; ++i) {
    if (i > 0) text += (i + 1 == shown && shown == names.size()) ? " and " : ", ";
    text += names[i];
  }
  if (shown < names.size()) text += " and " + std::to_string(names.size() - shown) + " more";
  return text;
}

class Network {
 public:
  Network(const std::vector<NetworkInput>& inputs, const std::vector<Benchmark>& benchmarks,
          const AdjustmentOptions& options, NetworkAdjustment& result)
      : inputs_(inputs), benchmarks_(benchmarks), options_(options), result_(result) {}

  void Build();
  void FormSections();
  void CheckEveryPartHasABenchmark();
  void Solve();

 private:
  int NetworkPoint(const std::string& name, std::size_t input);
  void Walk(int start, int edge);
  double Q(int a, int b) const;

  const std::vector<NetworkInput>& inputs_;
  const std::vector<Benchmark>& benchmarks_;
  const AdjustmentOptions& options_;
  NetworkAdjustment& result_;
  std::vector<Point> points_;
  std::unordered_map<std::string, int> networkIndex_;
  std::vector<Edge> edges_;
  std::vector<int> edgeStart_, edgeList_;  // the edges at each point
  std::vector<Section> sections_;
  std::optional<SparseInverseSubset> inverse_;
};

int Network::NetworkPoint(const std::string& name, std::size_t input) {
  auto [it, added] = networkIndex_.try_emplace(name, static_cast<int>(points_.size()));
  if (added) {
    Point& point = points_.emplace_back();
    point.name = name;
    point.network = true;
    point.input = input;
  }
  return it->second;
}

void Network::Build() {
  for (std::size_t b = 0; b < benchmarks_.size(); ++b) {
    const Benchmark& benchmark = benchmarks_[b];
    Point& point = points_[NetworkPoint(benchmark.name, 0)];
    if (point.benchmark >= 0) {
      const Benchmark& first = benchmarks_[point.benchmark];
      throw Error(
          benchmark.source, "read the benchmarks",
          (benchmark.sourceLine > 0 ? "line " + std::to_string(benchmark.sourceLine) + ": "
                                    : std::string()) +
              "the benchmark " + benchmark.name + " is given twice (also in " + first.source +
              (first.sourceLine > 0 ? " line " + std::to_string(first.sourceLine) : "") + ")");
    }
    point.benchmark = static_cast<int>(b);
  }
  for (std::size_t i = 0; i < inputs_.size(); ++i)
    for (const LevelledLine& line : inputs_[i].lines)
      if (!line.setups.empty()) {
        NetworkPoint(line.setups.front().back, i);
        NetworkPoint(line.setups.back().fore, i);
      }

  // Input labels for turning point names: the base name, made unique.
  std::vector<std::string> labels;
  for (const NetworkInput& input : inputs_) {
    std::string label = BaseNameOf(input.path);
    if (label.empty()) label = input.path;
    const std::string base = label;
    for (int n = 2; std::find(labels.begin(), labels.end(), label) != labels.end(); ++n)
      label = base + "(" + std::to_string(n) + ")";
    labels.push_back(label);
  }

  const double sigmaKm = options_.sigmaKm;
  long setups = 0;
  for (const NetworkInput& input : inputs_) setups += input.SetupCount();
  edges_.reserve(static_cast<std::size_t>(setups));
  result_.observations.reserve(static_cast<std::size_t>(setups) + benchmarks_.size());
  for (std::size_t i = 0; i < inputs_.size(); ++i) {
    const NetworkInput& input = inputs_[i];
    for (std::size_t l = 0; l < input.lines.size(); ++l) {
      std::unordered_map<std::string, int> turning;
      auto pointOf = [&](const std::string& name) {
        if (auto it = networkIndex_.find(name); it != networkIndex_.end()) return it->second;
        auto [t, added] = turning.try_emplace(name, static_cast<int>(points_.size()));
        if (added) {
          Point& point = points_.emplace_back();
          point.name = name + "@" + labels[i] + ":" + std::to_string(l + 1);
          point.input = i;
        }
        return t->second;
      };
      const LevelledLine& line = input.lines[l];
      for (std::size_t k = 0; k < line.setups.size(); ++k) {
        const LevelledDifference& setup = line.setups[k];
        if (k > 0 && setup.back != line.setups[k - 1].fore)
          result_.warnings.push_back({input.path, setup.fieldLine,
                                      "the set-up starts at " + setup.back + ", not at " +
                                          line.setups[k - 1].fore +
                                          " where the previous set-up ended"});
        if (!std::isfinite(setup.difference))
          throw Error(input.path, "adjust the network",
                      "line " + std::to_string(setup.fieldLine) +
                          ": the height difference is not a finite number");
        double length = setup.length;
        if (!(length > 0) || !std::isfinite(length)) {
          result_.warnings.push_back({input.path, setup.fieldLine,
                                      "the set-up from " + setup.back + " to " + setup.fore +
                                          " has no sight distance; it counts as 1 m"});
          length = 1;
        }
        const int from = pointOf(setup.back), to = pointOf(setup.fore);
        edges_.push_back({from, to, setup.difference, length / 1000});
        ++points_[from].degree;
        ++points_[to].degree;
        if (from == to) points_[from].selfLoop = true;
        AdjustedObservation& o = result_.observations.emplace_back();
        o.file = labels[i];
        o.fieldLine = setup.fieldLine;
        o.from = points_[from].name;
        o.to = points_[to].name;
        o.length = length;
        o.observed = setup.difference;
        o.sigma = sigmaKm * std::sqrt(length / 1000);
      }
    }
  }
  result_.setups = static_cast<long>(edges_.size());
  if (edges_.empty())
    throw Error(inputs_.empty() ? std::string() : inputs_.front().path, "adjust the network",
                "the inputs hold no levelled height difference");

  edgeStart_.assign(points_.size() + 1, 0);
  for (const Edge& e : edges_) ++edgeStart_[e.from + 1], ++edgeStart_[e.to + 1];
  for (std::size_t p = 0; p < points_.size(); ++p) edgeStart_[p + 1] += edgeStart_[p];
  edgeList_.resize(2 * edges_.size());
  std::vector<int> fill(edgeStart_.begin(), edgeStart_.end() - 1);
  for (std::size_t e = 0; e < edges_.size(); ++e) {
    edgeList_[fill[edges_[e].from]++] = static_cast<int>(e);
    edgeList_[fill[edges_[e].to]++] = static_cast<int>(e);
  }
  for (Point& point : points_) point.node = point.network || point.degree != 2 || point.selfLoop;
}

void Network::Walk(int start, int edge) {
  Section& section = sections_.emplace_back();
  section.start = start;
  for (int at = start;;) {
    const Edge& e = edges_[edge];
    const int sign = e.from == at ? 1 : -1;
    section.steps.push_back({edge, sign});
    section.difference += sign * e.difference;
    section.cofactor += e.cofactor;
    at = sign > 0 ? e.to : e.from;
    if (points_[at].node) {
      section.end = at;
      return;
    }
    const int* ends = &edgeList_[edgeStart_[at]];
    edge = ends[0] == edge ? ends[1] : ends[0];
  }
}

void Network::FormSections() {
  std::vector<char> walked(edges_.size(), 0);
  auto walkFrom = [&](int p) {
    for (int i = edgeStart_[p]; i < edgeStart_[p + 1]; ++i) {
      const int e = edgeList_[i];
      if (walked[e]) continue;
      Walk(p, e);
      for (const Step& step : sections_.back().steps) walked[step.edge] = 1;
    }
  };
  for (std::size_t p = 0; p < points_.size(); ++p)
    if (points_[p].node) walkFrom(static_cast<int>(p));
  // What is left are rings of plain turning points: one of them ends the
  // ring's section.
  for (std::size_t e = 0; e < edges_.size(); ++e)
    if (!walked[e]) {
      points_[edges_[e].from].node = true;
      walkFrom(edges_[e].from);
    }
}

void Network::CheckEveryPartHasABenchmark() {
  std::vector<std::vector<std::pair<int, int>>> neighbours(points_.size());  // point, section
  for (std::size_t s = 0; s < sections_.size(); ++s) {
    neighbours[sections_[s].start].emplace_back(sections_[s].end, static_cast<int>(s));
    neighbours[sections_[s].end].emplace_back(sections_[s].start, static_cast<int>(s));
  }
  // Approximate heights from the benchmarks outwards; whatever they do not
  // reach has no datum.
  std::vector<char> reached(points_.size(), 0);
  std::deque<int> queue;
  for (std::size_t p = 0; p < points_.size(); ++p) {
    Point& point = points_[p];
    if (point.benchmark < 0) continue;
    point.height = benchmarks_[point.benchmark].height;
    if (point.degree == 0) {
      // A name that differs from an observed point's only in case is a
      // slip of the keyboard, not a benchmark of its own (a turning point
      // is known by its name before "@").
      for (const Point& other : points_) {
        const std::string_view name =
            std::string_view(other.name)
                .substr(0, other.network ? other.name.size() : other.name.rfind('@'));
        const bool alike = other.degree > 0 && name.size() == point.name.size() &&
                           std::equal(name.begin(), name.end(), point.name.begin(),
                                      [](unsigned char x, unsigned char y) {
                                        return std::tolower(x) == std::tolower(y);
                                      });
        const Benchmark& given = benchmarks_[point.benchmark];
        if (alike)
          throw Error(given.source, "read the benchmarks",
                      (given.sourceLine > 0 ? "line " + std::to_string(given.sourceLine) + ": "
                                            : std::string()) +
                          "no point " + point.name + "; did you mean " + std::string(name) + "?");
      }
      result_.warnings.push_back({benchmarks_[point.benchmark].source,
                                  benchmarks_[point.benchmark].sourceLine,
                                  "no observation reaches the benchmark " + point.name});
      continue;
    }
    reached[p] = 1;
    queue.push_back(static_cast<int>(p));
  }
  auto spread = [&](std::vector<char>& seen, auto&& visit) {
    while (!queue.empty()) {
      const int p = queue.front();
      queue.pop_front();
      for (auto [q, s] : neighbours[p]) {
        if (seen[q]) continue;
        seen[q] = 1;
        visit(p, q, sections_[s]);
        queue.push_back(q);
      }
    }
  };
  spread(reached, [&](int p, int q, const Section& s) {
    points_[q].height = points_[p].height + (s.start == p ? s.difference : -s.difference);
  });

  std::vector<std::string> parts;
  std::size_t firstInput = 0;
  for (std::size_t p = 0; p < points_.size(); ++p) {
    if (reached[p] || !points_[p].node || points_[p].degree == 0) continue;
    std::vector<int> part = {static_cast<int>(p)};
    reached[p] = 1;
    queue.push_back(static_cast<int>(p));
    spread(reached, [&](int, int q, const Section&) { part.push_back(q); });
    std::vector<std::string> named, turning;
    for (int q : part) (points_[q].network ? named : turning).push_back(points_[q].name);
    if (parts.empty()) firstInput = points_[p].input;
    std::vector<std::string>& names = named.empty() ? turning : named;
    std::sort(names.begin(), names.end());
    parts.push_back(NameList(names));
  }
  if (parts.empty()) return;
  std::string cause = "no benchmark is connected to ";
  for (std::size_t i = 0; i < parts.size(); ++i) cause += (i > 0 ? "; nor to " : "") + parts[i];
  throw Error(
      inputs_[firstInput].path, "adjust the network",
      cause + ": give the height of a point in " + (parts.size() > 1 ? "each part" : "that part"));
}

double Network::Q(int a, int b) const {
  const int i = points_[a].unknown, j = points_[b].unknown;
  return i < 0 || j < 0 ? 0.0 : (*inverse_)(i, j);
}

void Network::Solve() {
  int unknowns = 0;
  for (Point& point : points_) {
    const bool fixed = point.benchmark >= 0 && !benchmarks_[point.benchmark].sigma;
    if (point.node && point.degree > 0 && !fixed) point.unknown = unknowns++;
  }
  const double sigmaKm = options_.sigmaKm;
  auto cofactorOf = [&](const Benchmark& b) { return (*b.sigma / sigmaKm) * (*b.sigma / sigmaKm); };

  // Normal equations for the corrections to the approximate heights.
  std::vector<Eigen::Triplet<double>> entries;
  Eigen::VectorXd rhs = Eigen::VectorXd::Zero(unknowns);
  std::vector<double> misfit(sections_.size());  // observed minus approximate
  for (std::size_t s = 0; s < sections_.size(); ++s) {
    const Section& section = sections_[s];
    misfit[s] = section.difference - (points_[section.end].height - points_[section.start].height);
    if (section.start == section.end) continue;
    const double weight = 1 / section.cofactor;
    const int i = points_[section.start].unknown, j = points_[section.end].unknown;
    if (i >= 0) entries.emplace_back(i, i, weight), rhs[i] -= weight * misfit[s];
    if (j >= 0) entries.emplace_back(j, j, weight), rhs[j] += weight * misfit[s];
    if (i >= 0 && j >= 0) entries.emplace_back(i, j, -weight), entries.emplace_back(j, i, -weight);
  }
  std::vector<int> weighted;
  for (std::size_t p = 0; p < points_.size(); ++p) {
    const Point& point = points_[p];
    if (point.benchmark < 0 || point.unknown < 0) continue;
    const Benchmark& b = benchmarks_[point.benchmark];
    weighted.push_back(static_cast<int>(p));
    entries.emplace_back(point.unknown, point.unknown, 1 / cofactorOf(b));
    rhs[point.unknown] += (b.height - point.height) / cofactorOf(b);
  }
  Eigen::VectorXd correction = Eigen::VectorXd::Zero(unknowns);
  if (unknowns > 0) {
    Eigen::SparseMatrix<double> normal(unknowns, unknowns);
    normal.setFromTriplets(entries.begin(), entries.end());
    SparseLdlt ldlt(normal);
    if (ldlt.info() == Eigen::Success) correction = ldlt.solve(rhs);
    if (ldlt.info() != Eigen::Success || !correction.allFinite())
      throw Error(inputs_.front().path, "adjust the network",
                  "the normal equations cannot be solved; the weights differ too much");
    inverse_.emplace(ldlt);
  }
  for (std::size_t p = 0; p < points_.size(); ++p)
    if (const int i = points_[p].unknown; i >= 0) {
      points_[p].height += correction[i];
      points_[p].cofactor = (*inverse_)(i, i);
    }

  // Residuals and redundancy of the sections and weighted benchmarks.
  const double toVariance = (sigmaKm / 1000) * (sigmaKm / 1000);  // cofactor -> m^2
  double weightedSquares = 0;                                     // v'Pv with sigma0 = 1
  std::vector<double> residual(sections_.size()), checkCofactor(sections_.size());
  for (std::size_t s = 0; s < sections_.size(); ++s) {
    const Section& section = sections_[s];
    const int a = section.start, b = section.end;
    residual[s] = points_[b].height - points_[a].height - section.difference;
    const double adjustedCofactor = Q(a, a) + Q(b, b) - 2 * Q(a, b);
    checkCofactor[s] = section.cofactor - adjustedCofactor;
    // A section that no other observation checks (a spur) has q_VV = 0 up
    // to rounding.
    if (!(checkCofactor[s] > kNoCheck * section.cofactor)) checkCofactor[s] = 0;
    weightedSquares += residual[s] * residual[s] / (section.cofactor * toVariance);
  }
  for (int p : weighted) {
    const Benchmark& b = benchmarks_[points_[p].benchmark];
    const double v = points_[p].height - b.height;
    weightedSquares += v * v / (cofactorOf(b) * toVariance);
  }
  result_.degreesOfFreedom =
      static_cast<long>(sections_.size() + weighted.size()) - static_cast<long>(unknowns);
  double scale = 1;  // sigma0^2 that scales the cofactors
  const long dof = result_.degreesOfFreedom;
  if (dof > 0) {
    scale = weightedSquares / static_cast<double>(dof);
    result_.varianceFactor = scale;
    GlobalTest test;
    test.statistic = weightedSquares;
    test.lower = ChiSquareQuantile(dof, 0.025);
    test.upper = ChiSquareQuantile(dof, 0.975);
    test.pass = test.statistic >= test.lower && test.statistic <= test.upper;
    result_.test = test;
  } else {
    result_.warnings.push_back(
        {"", 0,
         "the network has no redundant observation (0 degrees of freedom): the heights are "
         "given without a check, with a priori standard deviations, and without a variance "
         "factor or a global test"});
  }

  // Spread each section back to its set-ups and turning points.
  auto standardized = [&](double v, double qvv, AdjustedObservation& o) {
    if (qvv <= 0) return;
    o.standardizedResidual = v / std::sqrt(qvv * toVariance);
    o.flagged = std::abs(*o.standardizedResidual) > kFlagLimit;
  };
  for (std::size_t s = 0; s < sections_.size(); ++s) {
    const Section& section = sections_[s];
    const double total = section.cofactor, v = residual[s], qvv = checkCofactor[s];
    const int a = section.start, b = section.end;
    const double qaa = Q(a, a), qbb = Q(b, b), qab = Q(a, b);
    double partial = 0, height = points_[a].height;
    for (std::size_t k = 0; k < section.steps.size(); ++k) {
      const Step& step = section.steps[k];
      const Edge& e = edges_[step.edge];
      const double share = e.cofactor / total;
      AdjustedObservation& o = result_.observations[step.edge];
      o.residual = step.sign * share * v * 1000;
      o.adjusted = e.difference + step.sign * share * v;
      o.redundancy = share * qvv / total;
      standardized(step.sign * share * v, share * share * qvv, o);
      partial += e.cofactor;
      height += step.sign * e.difference + share * v;
      if (k + 1 == section.steps.size()) break;
      Point& turning = points_[step.sign > 0 ? e.to : e.from];
      const double along = partial / total;
      turning.height = height;
      turning.cofactor = (1 - along) * (1 - along) * qaa + 2 * along * (1 - along) * qab +
                         along * along * qbb + partial * (total - partial) / total;
    }
  }

  for (const Point& point : points_) {
    AdjustedPoint& out = result_.points.emplace_back();
    out.name = point.name;
    out.turningPoint = !point.network;
    out.height = point.height;
    out.observed = point.degree > 0;
    if (point.benchmark >= 0) {
      const Benchmark& b = benchmarks_[point.benchmark];
      out.kind = b.sigma ? PointKind::Weighted : PointKind::Fixed;
      if (!out.observed) out.sigma = b.sigma.value_or(0);
    }
    if (point.unknown >= 0 || out.turningPoint)
      out.sigma = sigmaKm * std::sqrt(std::max(0.0, point.cofactor) * scale);
  }
  for (int p : weighted) {
    const Benchmark& b = benchmarks_[points_[p].benchmark];
    AdjustedObservation& o = result_.observations.emplace_back();
    o.file = BaseNameOf(b.source);
    o.fieldLine = b.sourceLine;
    o.benchmark = true;
    o.to = b.name;
    o.observed = b.height;
    o.adjusted = points_[p].height;
    o.sigma = *b.sigma;
    o.residual = (o.adjusted - o.observed) * 1000;
    double qvv = cofactorOf(b) - points_[p].cofactor;
    if (!(qvv > kNoCheck * cofactorOf(b))) qvv = 0;
    o.redundancy = qvv / cofactorOf(b);
    standardized(o.adjusted - o.observed, qvv, o);
  }
}

}  // namespace

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

std::optional<std::size_t> NetworkAdjustment::LargestStandardizedResidual() const {
  std::optional<std::size_t> largest;
  for (std::size_t i = 0; i < observations.size(); ++i) {
    const auto& w = observations[i].standardizedResidual;
    if (w && (!largest || std::abs(*w) > std::abs(*observations[*largest].standardizedResidual)))
      largest = i;
  }
  return largest;
}

long NetworkAdjustment::FlaggedCount() const {
  long count = 0;
  for (const AdjustedObservation& o : observations) count += o.flagged ? 1 : 0;
  return count;
}

NetworkAdjustment AdjustNetwork(const std::vector<NetworkInput>& inputs,
                                const std::vector<Benchmark>& benchmarks,
                                const AdjustmentOptions& options) {
  const std::string first = inputs.empty() ? std::string() : inputs.front().path;
  if (!(options.sigmaKm > 0) || !std::isfinite(options.sigmaKm))
    throw Error(first, "adjust the network",
                "the standard deviation for 1 km of levelling must be a number of millimetres "
                "above 0, not " +
                    DecimalText(options.sigmaKm));
  if (benchmarks.empty())
    throw Error(first, "adjust the network",
                "no benchmark is given: at least one point needs a known height");
  NetworkAdjustment result;
  result.sigmaKm = options.sigmaKm;
  result.benchmarks = benchmarks;
  for (const NetworkInput& input : inputs) {
    result.inputs.push_back(input.path);
    result.warnings.Append(input.warnings);
  }
  Network network(inputs, benchmarks, options, result);
  network.Build();
  network.FormSections();
  network.CheckEveryPartHasABenchmark();
  network.Solve();
  return result;
}

}  // namespace vireo
