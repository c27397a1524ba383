// The least-squares solution over the sections and the spread back to every
// set-up. The adjustment works on sections: a chain of set-ups between two
// points that are not plain turning points carries no redundancy of its
// own, so the chain is one observation (the sum of its differences, the sum
// of its variances) and only the ends are unknowns. The sections are solved
// with a sparse LDL' factorization; the results are then spread back to
// every set-up exactly. For a section of set-ups k = 1..n (variances s_k,
// sum S, partial sums C_j) whose residual is V = adjusted - observed:
//   v_k = s_k / S * V                                   (along the section)
//   r_k = q_vv,k / s_k = s_k * q_VV / S^2,  w_k = V / sqrt(q_VV)   (sigma0 = 1)
//   MDB_k = sigma_k sqrt(lambda0 / r_k) = sigma_km S sqrt(lambda0 / q_VV)
//   h_j = h_start + sum_{k<=j} (l_k + v_k)
//   q_hj = (1-a)^2 q_ss + 2 a (1-a) q_se + a^2 q_ee + C_j (S - C_j) / S,  a = C_j / S
// since minimizing sum v_k^2 / s_k with sum v_k = V gives v_k = s_k V / S,
// and h_j - (1-a) h_start - a h_end is uncorrelated with the section's
// observed sum and has the variance C_j (S - C_j) / S. The same holds for
// the turning points of a section snooping removed: its observations then
// play no part in the end heights.
#include <Eigen/SparseCholesky>
#include <algorithm>
#include <cmath>
#include <limits>

#include "common/Error.h"
#include "network/internal/Network.h"

namespace vireo::detail {
namespace {

// Below this share of its own cofactor an observation has no check.
constexpr double kNoCheck = 1e-9;

// q_vv = q_ll - q_yy comes from a subtraction whose terms (the cofactors
// of the observation's ends, from the selected inverse) grow with the
// network's conditioning: a spur far, in cofactor, from the datum has
// |Q_aa| + |Q_bb| + 2 |Q_ab| many orders of magnitude above its own q_ll,
// and q_vv = 0 then comes out as rounding of either sign. The rounding of
// the inverse grows with the length of its elimination chains, which the
// m unknowns bound, so a q_vv counts as a check only above
//   (m + 1000) * eps * (|Q_aa| + |Q_bb| + 2 |Q_ab|)   and   1e-9 * q_ll,
// that is, a redundancy r = q_vv / q_ll below that threshold over q_ll is
// "no check": no w, no MDB, never a noise r with a huge MDB.
double NoCheckBelow(double ownCofactor, double terms, long unknowns) {
  const double rounding =
      (static_cast<double>(unknowns) + 1000) * std::numeric_limits<double>::epsilon() * terms;
  return std::max(kNoCheck * ownCofactor, rounding);
}

}  // namespace

double Network::Q(int a, int b, const Solution& s) const {
  const int i = points_[a].unknown, j = points_[b].unknown;
  return i < 0 || j < 0 ? 0.0 : (*s.inverse)(i, j);
}

Solution Network::Solve() {
  if (approximate_.empty()) {
    approximate_.resize(points_.size());
    for (std::size_t p = 0; p < points_.size(); ++p) {
      Point& point = points_[p];
      approximate_[p] = point.height;
      const bool fixed = point.benchmark >= 0 && !benchmarks_[point.benchmark].sigma;
      if (point.node && point.degree > 0 && !fixed) point.unknown = unknowns_++;
      if (point.benchmark >= 0 && point.unknown >= 0) weighted_.push_back(static_cast<int>(p));
    }
    removedBenchmark_.assign(weighted_.size(), 0);
  }
  Solution solution;
  std::vector<double> misfit;
  NormalEquations(misfit, solution);
  SectionResiduals(solution);
  GlobalTestOf(solution);
  return solution;
}

void Network::NormalEquations(std::vector<double>& misfit, Solution& solution) {
  // Normal equations for the corrections to the approximate heights. A
  // removed section keeps its place in the pattern with weight 0, so that
  // the covariance of its ends stays at hand.
  std::vector<Eigen::Triplet<double>> entries;
  entries.reserve(4 * sections_.size() + weighted_.size());
  Eigen::VectorXd rhs = Eigen::VectorXd::Zero(unknowns_);
  misfit.assign(sections_.size(), 0);
  for (std::size_t s = 0; s < sections_.size(); ++s) {
    const Section& section = sections_[s];
    misfit[s] = section.difference - (approximate_[section.end] - approximate_[section.start]);
    if (section.start == section.end) continue;
    const double weight = removedSection_[s] ? 0 : 1 / section.cofactor;
    const int i = points_[section.start].unknown, j = points_[section.end].unknown;
    if (i >= 0) entries.emplace_back(i, i, weight), rhs[i] -= weight * misfit[s];
    if (j >= 0) entries.emplace_back(j, j, weight), rhs[j] += weight * misfit[s];
    if (i >= 0 && j >= 0) entries.emplace_back(i, j, -weight), entries.emplace_back(j, i, -weight);
  }
  for (std::size_t k = 0; k < weighted_.size(); ++k) {
    if (removedBenchmark_[k]) continue;
    const Point& point = points_[weighted_[k]];
    const Benchmark& b = benchmarks_[point.benchmark];
    entries.emplace_back(point.unknown, point.unknown, 1 / CofactorOf(b));
    rhs[point.unknown] += (b.height - approximate_[weighted_[k]]) / CofactorOf(b);
  }
  Eigen::VectorXd correction = Eigen::VectorXd::Zero(unknowns_);
  if (unknowns_ > 0) {
    Eigen::SparseMatrix<double> normal(unknowns_, unknowns_);
    normal.setFromTriplets(entries.begin(), entries.end());
    SparseLdlt ldlt(normal);
    if (ldlt.info() == Eigen::Success) correction = ldlt.solve(rhs);
    if (ldlt.info() != Eigen::Success || !correction.allFinite())
      throw Error(inputs_.front().path, "adjust the network",
                  "the normal equations cannot be solved; the weights differ too much");
    solution.inverse.emplace(ldlt);
  }
  for (std::size_t p = 0; p < points_.size(); ++p) {
    points_[p].height = approximate_[p];
    if (const int i = points_[p].unknown; i >= 0) {
      points_[p].height += correction[i];
      points_[p].cofactor = (*solution.inverse)(i, i);
    }
  }
}

void Network::SectionResiduals(Solution& solution) {
  const double toVariance = ToVariance();
  solution.residual.assign(sections_.size(), 0);
  solution.checkCofactor.assign(sections_.size(), 0);
  for (std::size_t s = 0; s < sections_.size(); ++s) {
    const Section& section = sections_[s];
    const int a = section.start, b = section.end;
    solution.residual[s] = points_[b].height - points_[a].height - section.difference;
    if (removedSection_[s]) continue;
    const double qaa = Q(a, a, solution), qbb = Q(b, b, solution), qab = Q(a, b, solution);
    const double check = section.cofactor - (qaa + qbb - 2 * qab);
    // A section that no other observation checks (a spur) has q_VV = 0 up
    // to rounding.
    const double terms = std::abs(qaa) + std::abs(qbb) + 2 * std::abs(qab);
    if (check > NoCheckBelow(section.cofactor, terms, unknowns_)) solution.checkCofactor[s] = check;
    solution.weightedSquares +=
        solution.residual[s] * solution.residual[s] / (section.cofactor * toVariance);
  }
  solution.benchmarkResidual.assign(weighted_.size(), 0);
  solution.benchmarkCheck.assign(weighted_.size(), 0);
  for (std::size_t k = 0; k < weighted_.size(); ++k) {
    const int p = weighted_[k];
    const Benchmark& b = benchmarks_[points_[p].benchmark];
    const double v = points_[p].height - b.height;
    solution.benchmarkResidual[k] = v;
    if (removedBenchmark_[k]) continue;
    const double check = CofactorOf(b) - points_[p].cofactor;
    if (check > NoCheckBelow(CofactorOf(b), std::abs(points_[p].cofactor), unknowns_))
      solution.benchmarkCheck[k] = check;
    solution.weightedSquares += v * v / (CofactorOf(b) * toVariance);
  }
}

void Network::GlobalTestOf(Solution& solution) {
  long observations = 0;
  for (int removed : removedSection_) observations += removed ? 0 : 1;
  for (int removed : removedBenchmark_) observations += removed ? 0 : 1;
  solution.degreesOfFreedom = observations - unknowns_;
  const long dof = solution.degreesOfFreedom;
  if (dof <= 0) return;
  solution.varianceFactor = solution.weightedSquares / static_cast<double>(dof);
  GlobalTest test;
  test.statistic = solution.weightedSquares;
  test.lower = ChiSquareQuantile(dof, 0.025);
  test.upper = ChiSquareQuantile(dof, 0.975);
  test.pass = test.statistic >= test.lower && test.statistic <= test.upper;
  solution.test = test;
}

std::optional<double> Network::SectionW(std::size_t s, const Solution& solution) const {
  const double check = solution.checkCofactor[s];
  if (removedSection_[s] || check <= 0) return std::nullopt;
  return solution.residual[s] / std::sqrt(check * ToVariance());
}

std::optional<double> Network::BenchmarkW(std::size_t k, const Solution& solution) const {
  const double check = solution.benchmarkCheck[k];
  if (removedBenchmark_[k] || check <= 0) return std::nullopt;
  return solution.benchmarkResidual[k] / std::sqrt(check * ToVariance());
}

void Network::SpreadSection(std::size_t s, const Solution& solution) {
  const Section& section = sections_[s];
  const double total = section.cofactor, v = solution.residual[s];
  const double qvv = solution.checkCofactor[s];
  const std::optional<double> w = SectionW(s, solution);
  const double lambda0 = result_.limits.lambda0;
  const int a = section.start, b = section.end;
  const double qaa = Q(a, a, solution), qbb = Q(b, b, solution), qab = Q(a, b, solution);
  double partial = 0, height = points_[a].height;
  for (std::size_t k = 0; k < section.stepCount; ++k) {
    const Step& step = steps_[section.firstStep + k];
    const Edge& e = edges_[step.edge];
    const double share = e.cofactor / total;
    AdjustedObservation& o = result_.observations[step.edge];
    o.residual = step.sign * share * v * 1000;
    o.adjusted = e.difference + step.sign * share * v;
    o.removedInRound = removedSection_[s];
    if (w) {
      o.redundancy = share * qvv / total;
      o.standardizedResidual = step.sign * *w;
      o.flagged = std::abs(*w) > result_.limits.flagLimit;
      o.mdb = options_.sigmaKm * total * std::sqrt(lambda0 / qvv);
    }
    partial += e.cofactor;
    height += step.sign * e.difference + share * v;
    if (k + 1 == section.stepCount) break;
    const int at = step.sign > 0 ? e.to : e.from;
    const double along = partial / total;
    points_[at].height = height;
    points_[at].cofactor = (1 - along) * (1 - along) * qaa + 2 * along * (1 - along) * qab +
                           along * along * qbb + partial * (total - partial) / total;
    result_.points[at].inRemovedSection = removedSection_[s] > 0;
  }
}

void Network::AddBenchmarkObservations(const Solution& solution) {
  for (std::size_t k = 0; k < weighted_.size(); ++k) {
    const int p = weighted_[k];
    const Benchmark& b = benchmarks_[points_[p].benchmark];
    AdjustedObservation& o = result_.observations.emplace_back();
    o.benchmark = points_[p].benchmark;
    o.fieldLine = b.sourceLine;
    o.to = p;
    o.observed = b.height;
    o.adjusted = points_[p].height;
    o.sigma = *b.sigma;
    o.residual = solution.benchmarkResidual[k] * 1000;
    o.removedInRound = removedBenchmark_[k];
    if (const auto w = BenchmarkW(k, solution)) {
      const double qvv = solution.benchmarkCheck[k];
      o.redundancy = qvv / CofactorOf(b);
      o.standardizedResidual = *w;
      o.flagged = std::abs(*w) > result_.limits.flagLimit;
      o.mdb = o.sigma * std::sqrt(result_.limits.lambda0 / o.redundancy);
    }
  }
}

void Network::Spread(const Solution& solution) {
  for (std::size_t s = 0; s < sections_.size(); ++s) SpreadSection(s, solution);
  AddBenchmarkObservations(solution);
  result_.degreesOfFreedom = solution.degreesOfFreedom;
  result_.varianceFactor = solution.varianceFactor;
  result_.test = solution.test;
  const double scale = solution.varianceFactor.value_or(1);  // sigma0^2 of the cofactors
  for (std::size_t p = 0; p < points_.size(); ++p) {
    const Point& point = points_[p];
    AdjustedPoint& out = result_.points[p];
    out.height = point.height;
    out.observed = point.degree > 0;
    if (point.benchmark >= 0) {
      const Benchmark& b = benchmarks_[point.benchmark];
      out.kind = b.sigma ? PointKind::Weighted : PointKind::Fixed;
      if (!out.observed) out.sigma = b.sigma.value_or(0);
    }
    if (point.unknown >= 0 || out.turningPoint)
      out.sigma = options_.sigmaKm * std::sqrt(std::max(0.0, point.cofactor) * scale);
  }
}

}  // namespace vireo::detail
