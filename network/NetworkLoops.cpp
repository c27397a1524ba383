// The sections as a surveyor checks them before trusting an adjustment:
// each with its statistics, the sections run forward and back (in one file
// or across files) against the double-run tolerance, and an independent set
// of loops (a fundamental cycle basis of a breadth-first spanning tree of
// the network of sections) with their misclosures.
#include <algorithm>
#include <cmath>
#include <deque>
#include <map>

#include "network/internal/Network.h"
#include "reduction/Tolerance.h"

namespace vireo::detail {
namespace {

bool Within(double valueMm, double toleranceMm) {
  return toleranceMm > 0 ? std::abs(valueMm) <= toleranceMm : std::abs(valueMm) < 1e-9;
}

}  // namespace

void Network::FillSectionsAndLoops(const Solution& solution) {
  const double lambda0 = result_.limits.lambda0;
  result_.sections.reserve(sections_.size());
  for (std::size_t s = 0; s < sections_.size(); ++s) {
    const Section& section = sections_[s];
    const AdjustedObservation& first = result_.observations[steps_[section.firstStep].edge];
    const AdjustedObservation& last =
        result_.observations[steps_[section.firstStep + section.stepCount - 1].edge];
    AdjustedSection& out = result_.sections.emplace_back();
    out.from = section.start;
    out.to = section.end;
    out.input = first.input;
    out.line = first.line;
    out.firstFieldLine = first.fieldLine;
    out.lastFieldLine = last.fieldLine;
    out.setups = static_cast<long>(section.stepCount);
    out.length = section.lengthKm * 1000;
    out.observed = section.difference;
    out.residual = solution.residual[s] * 1000;
    out.adjusted = section.difference + solution.residual[s];
    out.removedInRound = removedSection_[s];
    if (const auto w = SectionW(s, solution)) {
      const double qvv = solution.checkCofactor[s];
      out.redundancy = qvv / section.cofactor;
      out.standardizedResidual = *w;
      out.flagged = std::abs(*w) > result_.limits.flagLimit;
      out.mdb = options_.sigmaKm * section.cofactor * std::sqrt(lambda0 / qvv);
    }
  }
  ForwardAndBack();
  Loops();
}

void Network::ForwardAndBack() {
  // The sections joining each pair of points, in input order.
  std::map<std::pair<int, int>, std::vector<int>> joining;
  for (std::size_t s = 0; s < sections_.size(); ++s) {
    const Section& section = sections_[s];
    if (section.start == section.end) continue;
    joining[std::minmax(section.start, section.end)].push_back(static_cast<int>(s));
  }
  for (const auto& [ends, list] : joining)
    for (std::size_t i = 0; i < list.size(); ++i)
      for (std::size_t j = i + 1; j < list.size(); ++j) {
        const Section& a = sections_[list[i]];
        const Section& b = sections_[list[j]];
        if (a.start != b.end) continue;  // the same direction: not forward and back
        ForwardBackPair& pair = result_.forwardBack.emplace_back();
        pair.forward = list[i];
        pair.back = list[j];
        pair.differenceMm = (a.difference + b.difference) * 1000;
        pair.meanLength = (a.cofactor + b.cofactor) * 1000 / 2;
        pair.toleranceMm = ToleranceMm(options_.errorFactor, pair.meanLength);
        pair.pass = Within(pair.differenceMm, pair.toleranceMm);
      }
  std::sort(result_.forwardBack.begin(), result_.forwardBack.end(),
            [](const ForwardBackPair& x, const ForwardBackPair& y) {
              return std::pair(x.forward, x.back) < std::pair(y.forward, y.back);
            });
}

void Network::Loops() {
  // The spanning tree takes the shorter of parallel sections first (the
  // sections at a point are listed shortest first), which keeps loops short.
  std::vector<int> parent(points_.size(), -1), depth(points_.size(), -1);  // parent: a section
  std::vector<char> inTree(sections_.size(), 0);
  for (std::size_t root = 0; root < points_.size(); ++root) {
    if (depth[root] >= 0 || sectionStart_[root] == sectionStart_[root + 1]) continue;
    depth[root] = 0;
    std::deque<int> queue = {static_cast<int>(root)};
    while (!queue.empty()) {
      const int p = queue.front();
      queue.pop_front();
      for (int i = sectionStart_[p]; i < sectionStart_[p + 1]; ++i) {
        const int s = sectionList_[i], q = Across(s, p);
        if (depth[q] >= 0) continue;
        depth[q] = depth[p] + 1;
        parent[q] = s;
        inTree[s] = 1;
        queue.push_back(q);
      }
    }
  }
  auto up = [&](int p) {  // the tree step from p towards the root, and where it leads
    const Section& s = sections_[parent[p]];
    return std::pair(LevellingLoop::Step{parent[p], s.start != p}, s.start == p ? s.end : s.start);
  };
  for (std::size_t s = 0; s < sections_.size(); ++s) {
    if (inTree[s]) continue;
    LevellingLoop loop;
    loop.steps.push_back({static_cast<int>(s), false});
    // Back from the section's end to its start through the tree.
    int a = sections_[s].end, b = sections_[s].start;
    std::vector<LevellingLoop::Step> fromEnd, toStart;
    while (a != b) {
      if (depth[a] >= depth[b]) {
        auto [step, next] = up(a);
        fromEnd.push_back(step);
        a = next;
      } else {
        auto [step, next] = up(b);
        step.reversed = !step.reversed;  // run towards b
        toStart.push_back(step);
        b = next;
      }
    }
    loop.steps.insert(loop.steps.end(), fromEnd.begin(), fromEnd.end());
    loop.steps.insert(loop.steps.end(), toStart.rbegin(), toStart.rend());
    for (const LevellingLoop::Step& step : loop.steps) {
      const Section& section = sections_[step.section];
      loop.length += section.lengthKm * 1000;
      loop.miscloseMm += (step.reversed ? -section.difference : section.difference) * 1000;
      result_.sections[step.section].inLoop = true;
    }
    loop.toleranceMm = ToleranceMm(options_.errorFactor, loop.length);
    loop.pass = Within(loop.miscloseMm, loop.toleranceMm);
    result_.loops.push_back(std::move(loop));
  }
  std::stable_sort(
      result_.loops.begin(), result_.loops.end(),
      [](const LevellingLoop& x, const LevellingLoop& y) { return x.length < y.length; });
}

}  // namespace vireo::detail
