// The network adjustment against a plain dense least-squares adjustment of
// the same observations (every set-up an observation, every turning point
// an unknown, no sections), on many generated networks; data snooping on
// generated networks with and without a planted blunder; sections, runs
// forward and back, loops and the points of a level data file.
#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <map>
#include <random>

#include "network/NetworkAdjustment.h"

using namespace vireo;

namespace {

struct Reference {
  std::map<std::string, std::pair<double, double>> points;  // name -> height m, sigma mm
  std::vector<std::optional<double>> w;                     // per observation
  std::vector<double> residualMm, redundancy;
  std::vector<std::optional<double>> mdbMm;  // sigma sqrt(17.07 / r)
  long dof = 0;
  double s0Squared = 0;
};

// The textbook solution: x = (A'PA)^-1 A'Pl, Qxx = (A'PA)^-1,
// q_vv = q_ll - a' Qxx a, r = q_vv / q_ll, w = v / sqrt(q_vv),
// MDB = sigma sqrt(lambda0 / r), all in metres, in long double since q_vv of
// a set-up is a small difference of large cofactors.
Reference DenseAdjustment(const std::vector<NetworkInput>& inputs,
                          const std::vector<Benchmark>& benchmarks, double sigmaKm) {
  std::map<std::string, const Benchmark*> known;
  for (const Benchmark& b : benchmarks) known[b.name] = &b;
  std::map<std::string, int> network;
  for (const auto& input : inputs)
    for (const auto& line : input.lines)
      network[line.setups.front().back] = network[line.setups.back().fore] = -1;
  for (const Benchmark& b : benchmarks) network[b.name] = -1;
  std::vector<std::string> names;
  struct Row {
    int from, to;
    double value, variance;
  };
  std::vector<Row> rows;
  auto unknown = [&](const std::string& name, const std::string& turningName) {
    auto found = network.find(name);
    const std::string key = found != network.end() ? name : turningName;
    if (known.count(key) && !known[key]->sigma) return -1;
    const auto it = std::find(names.begin(), names.end(), key);
    if (it != names.end()) return static_cast<int>(it - names.begin());
    names.push_back(key);
    return static_cast<int>(names.size() - 1);
  };
  auto fixedHeight = [&](int u, const std::string& name) {
    return u < 0 ? known.at(name)->height : 0.0;
  };
  for (const auto& input : inputs)
    for (std::size_t l = 0; l < input.lines.size(); ++l) {
      // A turning point a line reaches again (not as the next set-up's back
      // point) is another mark of the same name.
      std::map<std::string, std::string> turning;
      const std::string at = "@" + input.path + ":" + std::to_string(l + 1);
      const std::vector<LevelledDifference>& setups = input.lines[l].setups;
      for (std::size_t k = 0; k < setups.size(); ++k) {
        const LevelledDifference& s = setups[k];
        auto key = [&](const std::string& name) {
          auto [it, added] = turning.try_emplace(name, name + at);
          if (!added && !(k > 0 && &name == &s.back && name == setups[k - 1].fore))
            it->second = name + at + " line " + std::to_string(s.fieldLine);
          return it->second;
        };
        const std::string back = key(s.back);
        const std::string fore = key(s.fore);
        const int from = unknown(s.back, back), to = unknown(s.fore, fore);
        const double length = s.length > 0 ? s.length : 1;
        rows.push_back({from, to,
                        s.difference - fixedHeight(to, s.fore) + fixedHeight(from, s.back),
                        (s.singleRun ? 2 : 1) * sigmaKm * sigmaKm * 1e-6 * length / 1000});
      }
    }
  for (const Benchmark& b : benchmarks)
    if (b.sigma) rows.push_back({-1, unknown(b.name, ""), b.height, *b.sigma * *b.sigma * 1e-6});
  const int m = static_cast<int>(rows.size()), u = static_cast<int>(names.size());
  using Matrix = Eigen::Matrix<long double, Eigen::Dynamic, Eigen::Dynamic>;
  using Vector = Eigen::Matrix<long double, Eigen::Dynamic, 1>;
  Matrix a = Matrix::Zero(m, u);
  Vector l(m), p(m);
  for (int i = 0; i < m; ++i) {
    if (rows[i].to >= 0) a(i, rows[i].to) += 1;
    if (rows[i].from >= 0) a(i, rows[i].from) -= 1;
    l[i] = rows[i].value;
    p[i] = 1 / rows[i].variance;
  }
  const Matrix q = (a.transpose() * p.asDiagonal() * a).inverse();
  const Vector x = q * a.transpose() * p.asDiagonal() * l;
  const Vector v = a * x - l;
  Reference ref;
  ref.dof = m - u;
  ref.s0Squared = ref.dof > 0 ? double(v.dot(p.asDiagonal() * v) / ref.dof) : 1;
  for (int j = 0; j < u; ++j)
    ref.points[names[j]] = {double(x[j]), double(1000 * std::sqrt(ref.s0Squared * q(j, j)))};
  for (const Benchmark& b : benchmarks)
    if (!b.sigma) ref.points[b.name] = {b.height, 0};
  for (int i = 0; i < m; ++i) {
    const long double qvv = rows[i].variance - a.row(i).dot(q * a.row(i).transpose());
    const bool checked = qvv / rows[i].variance > 1e-9;
    ref.residualMm.push_back(double(v[i] * 1000));
    ref.redundancy.push_back(checked ? double(qvv / rows[i].variance) : 0);
    ref.w.push_back(checked ? std::optional(double(v[i] / std::sqrt(qvv))) : std::nullopt);
    ref.mdbMm.push_back(checked ? std::optional(double(1000 * std::sqrt(rows[i].variance * 17.07L *
                                                                        rows[i].variance / qvv)))
                                : std::nullopt);
  }
  return ref;
}

// A random network: a chain of lines through points P0..Pk (so that all are
// connected), extra lines and loops, a spur, lines that pass through a
// network point or come back to a turning point, set-ups without a
// distance, blunders; turning points TP1, TP2 ... in every line.
struct Generated {
  std::vector<NetworkInput> inputs;
  std::vector<Benchmark> benchmarks;
};

// Noise exactly as the adjustment models it (sigmaKm > 0, mm for 1 km), or
// with sigmaKm 0 the rougher field-like noise with blunders of the first test.
Generated Generate(std::uint32_t seed, double sigmaKm = 0) {
  std::mt19937 random(seed);
  auto uniform = [&](double a, double b) { return std::uniform_real_distribution<>(a, b)(random); };
  auto chance = [&](double p) { return uniform(0, 1) < p; };
  // Now and then a larger network, so that the sparse factor fills in.
  const int count = seed % 50 == 0 ? 25 : 2 + static_cast<int>(random() % 6);
  std::vector<std::string> points;
  std::map<std::string, double> truth;
  for (int i = 0; i < count; ++i)
    truth[points.emplace_back("P" + std::to_string(i))] = uniform(0, 50);
  Generated g;
  const int files = 1 + static_cast<int>(random() % 3);
  for (int f = 0; f < files; ++f) g.inputs.emplace_back().path = "F" + std::to_string(f);
  auto addLine = [&](const std::string& from, const std::string& to) {
    std::vector<std::string> route = {from};
    const int turning = static_cast<int>(random() % 6);
    for (int t = 1; t <= turning; ++t) {
      route.push_back("TP" + std::to_string(t));
      truth[route.back()] = uniform(0, 50);
      if (t == 2 && chance(0.2)) route.push_back(points[random() % points.size()]);
      if (t == 3 && chance(0.2)) route.push_back("TP1");
    }
    route.push_back(to);
    LevelledLine line;
    for (std::size_t k = 1; k < route.size(); ++k) {
      const double length = chance(0.05) ? 0 : uniform(10, 120);
      const double sigma = sigmaKm > 0 ? sigmaKm / 1000 * std::sqrt(std::max(length, 1.0) / 1000)
                                       : 0.0004 * std::sqrt(std::max(length, 1.0) / 60);
      double dh =
          truth[route[k]] - truth[route[k - 1]] + std::normal_distribution<>(0, sigma)(random);
      if (sigmaKm == 0 && chance(0.03)) dh += 0.05;
      line.setups.push_back({static_cast<long>(k), route[k - 1], route[k], dh, length});
    }
    g.inputs[random() % files].lines.push_back(line);
  };
  for (int i = 0; i + 1 < count; ++i) addLine(points[i], points[i + 1]);
  for (int extra = static_cast<int>(random() % 5) + (count > 10 ? count : 0); extra > 0; --extra)
    addLine(points[random() % count], points[random() % count]);
  if (chance(0.3)) addLine(points[random() % count], "SPUR");
  const int fixed = static_cast<int>(random() % 3),
            weighted = fixed == 0 ? 1 + random() % 2 : random() % 3;
  std::shuffle(points.begin(), points.end(), random);
  for (int b = 0; b < std::min(count, fixed + weighted); ++b) {
    Benchmark bm{points[b], truth[points[b]], {}, "list", b + 1};
    if (b >= fixed) {
      bm.sigma = uniform(0.5, 5);
      bm.height += sigmaKm > 0 ? std::normal_distribution<>(0, *bm.sigma / 1000)(random)
                               : uniform(-0.003, 0.003);
    }
    g.benchmarks.push_back(bm);
  }
  return g;
}

// P(X >= k) for X binomial with n trials of probability p.
double BinomialTail(int n, double p, int k) {
  double tail = 0;
  for (int i = k; i <= n; ++i)
    tail += std::exp(std::lgamma(n + 1.0) - std::lgamma(i + 1.0) - std::lgamma(n - i + 1.0) +
                     i * std::log(p) + (n - i) * std::log1p(-p));
  return tail;
}

// The set-up behind observation `index` (set-ups input by input, line by
// line).
LevelledDifference& SetupAt(std::vector<NetworkInput>& inputs, std::size_t index) {
  for (NetworkInput& input : inputs)
    for (LevelledLine& line : input.lines) {
      if (index < line.setups.size()) return line.setups[index];
      index -= line.setups.size();
    }
  throw std::out_of_range("no such set-up");
}

LevelledLine Line(const std::vector<std::string>& route, const std::vector<double>& dh,
                  long firstLine = 1) {
  LevelledLine line;
  for (std::size_t k = 0; k < dh.size(); ++k)
    line.setups.push_back({firstLine + static_cast<long>(k), route[k], route[k + 1], dh[k], 50});
  return line;
}

double HeightOf(const NetworkAdjustment& r, const std::string& name) {
  for (const AdjustedPoint& p : r.points)
    if (p.name == name) return p.height;
  return -1.0;
}

}  // namespace

TEST(NetworkAdjustment, agrees_with_a_dense_adjustment_of_every_set_up) {
  int withoutCheck = 0, flagged = 0, noDof = 0;
  for (std::uint32_t seed = 1; seed <= 300; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    Generated g = Generate(seed);
    // Every third line single-run: one run weighs half the mean of two.
    for (NetworkInput& input : g.inputs)
      for (std::size_t l = 1; l < input.lines.size(); l += 3)
        for (LevelledDifference& s : input.lines[l].setups) s.singleRun = true;
    const double sigmaKm = 0.5 + seed % 4;
    AdjustmentOptions options;
    options.sigmaKm = sigmaKm;
    const NetworkAdjustment result = AdjustNetwork(g.inputs, g.benchmarks, options);
    const Reference ref = DenseAdjustment(g.inputs, g.benchmarks, sigmaKm);
    ASSERT_EQ(result.degreesOfFreedom, ref.dof);
    ASSERT_EQ(result.varianceFactor.has_value(), ref.dof > 0);
    if (ref.dof > 0) {
      EXPECT_NEAR(*result.varianceFactor / ref.s0Squared, 1, 1e-9);
    }
    noDof += ref.dof == 0;
    ASSERT_EQ(result.points.size(), ref.points.size());
    for (const AdjustedPoint& p : result.points) {
      const auto [height, sigma] = ref.points.at(p.name);
      EXPECT_NEAR(p.height, height, 1e-6) << p.name;
      EXPECT_NEAR(p.sigma, sigma, 1e-3 * sigma + 1e-9) << p.name;
    }
    ASSERT_EQ(result.observations.size(), ref.w.size());
    for (std::size_t i = 0; i < ref.w.size(); ++i) {
      const AdjustedObservation& o = result.observations[i];
      EXPECT_NEAR(o.residual, ref.residualMm[i], 1e-6) << i;
      ASSERT_EQ(o.standardizedResidual.has_value(), ref.w[i].has_value()) << i;
      if (ref.w[i]) {
        EXPECT_NEAR(*o.standardizedResidual, *ref.w[i], 1e-6) << i;
      }
      ASSERT_EQ(o.mdb.has_value(), ref.mdbMm[i].has_value()) << i;
      if (ref.mdbMm[i]) {
        EXPECT_NEAR(*o.mdb / *ref.mdbMm[i], 1, 1e-6) << i;
        EXPECT_NEAR(o.redundancy / ref.redundancy[i], 1, 1e-6) << i;
      }
      withoutCheck += !ref.w[i];
      flagged += o.flagged;
      EXPECT_EQ(o.flagged, ref.w[i] && std::abs(*ref.w[i]) > 3.29) << i;
    }
    // Every set-up of a section shares the section's MDB.
    for (const AdjustedSection& section : result.sections)
      for (const AdjustedObservation& o : result.observations)
        if (o.benchmark < 0 && o.input == section.input && o.line == section.line &&
            o.fieldLine == section.firstFieldLine) {
          ASSERT_EQ(section.mdb.has_value(), o.mdb.has_value()) << section.firstFieldLine;
          if (o.mdb) {
            EXPECT_NEAR(*section.mdb / *o.mdb, 1, 1e-9) << section.firstFieldLine;
          }
        }
  }
  // The generated networks reach the edge cases they were made for.
  EXPECT_GT(withoutCheck, 20);
  EXPECT_GT(flagged, 20);
  EXPECT_GT(noDof, 3);
}

TEST(NetworkAdjustment, chi_square_bounds_match_the_tables) {
  const struct {
    long dof;
    double lower, upper;
  } table[] = {{1, 0.000982069, 5.023886}, {2, 0.0506356, 7.377759},
               {5, 0.8312116, 12.832502},  {10, 3.246973, 20.483177},
               {30, 16.790772, 46.979242}, {100, 74.221927, 129.561197}};
  for (const auto& row : table) {
    EXPECT_NEAR(ChiSquareQuantile(row.dof, 0.025) / row.lower, 1, 2e-6) << row.dof;
    EXPECT_NEAR(ChiSquareQuantile(row.dof, 0.975) / row.upper, 1, 2e-6) << row.dof;
  }
}

// The flag limit and lambda0 of the classic tables, and finite ones for a
// significance level too small for 1 - alpha / 2 to differ from 1.
TEST(NetworkAdjustment, test_limits_match_the_tables_down_to_the_smallest_alpha) {
  EXPECT_EQ(TestLimitsFor(0.001).flagLimit, 3.29);
  EXPECT_EQ(TestLimitsFor(0.001).lambda0, 17.07);
  EXPECT_EQ(TestLimitsFor(0.05).flagLimit, 1.96);
  EXPECT_EQ(TestLimitsFor(1e-16).flagLimit, 8.3);
  EXPECT_TRUE(TestLimitsFor(1e-300).Finite());
}

// Noise exactly as modelled, then a blunder of 20 sigma in one checked
// section: where the separately computed w of that section is the unique
// largest, snooping removes it in round 1; where another section shares it
// (within 1 %), the suspects hold it. Without the blunder, snooping acts on
// no more networks than the w-test's 0.1 % allows for their sections.
TEST(NetworkSnooping, removes_a_planted_blunder_and_seldom_anything_else) {
  constexpr double kSigmaKm = 1.0;
  AdjustmentOptions options;
  options.sigmaKm = kSigmaKm;
  options.snoop = true;
  int networks = 0, unique = 0, shared = 0, masked = 0, acted = 0;
  double expected = 0;  // sum over the networks of the Sidak bound 1 - (1 - alpha)^m
  for (std::uint32_t seed = 1; networks < 100; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    Generated g = Generate(seed, kSigmaKm);
    const NetworkAdjustment clean = AdjustNetwork(g.inputs, g.benchmarks, options);
    std::vector<std::size_t> checked;
    long tested = 0;
    for (std::size_t s = 0; s < clean.sections.size(); ++s) {
      tested += clean.sections[s].standardizedResidual.has_value();
      if (clean.sections[s].standardizedResidual && clean.sections[s].redundancy >= 0.1)
        checked.push_back(s);
    }
    for (const AdjustedObservation& o : clean.observations)
      tested += o.IsBenchmark() && o.standardizedResidual.has_value();
    if (clean.degreesOfFreedom == 0 || checked.empty()) continue;
    ++networks;
    expected += 1 - std::pow(1 - kDefaultAlpha, static_cast<double>(tested));
    acted += !clean.snooping->rounds.empty() || !clean.snooping->suspects.empty();

    const std::size_t planted = checked[seed % checked.size()];
    const AdjustedSection& section = clean.sections[planted];
    std::vector<std::size_t> members;
    for (std::size_t i = 0; i < clean.observations.size(); ++i)
      if (clean.observations[i].section == static_cast<int>(planted)) members.push_back(i);
    SetupAt(g.inputs, members[members.size() / 2]).difference +=
        20 * kSigmaKm / 1000 * std::sqrt(section.length / 1000);
    const NetworkAdjustment result = AdjustNetwork(g.inputs, g.benchmarks, options);
    const Reference ref = DenseAdjustment(g.inputs, g.benchmarks, kSigmaKm);
    const double w = std::abs(*ref.w[members.front()]);
    for (std::size_t i : members) EXPECT_NEAR(std::abs(*ref.w[i]), w, 1e-6 * w) << i;
    double rest = 0;
    for (std::size_t i = 0; i < ref.w.size(); ++i)
      if (ref.w[i] && clean.observations[i].section != static_cast<int>(planted))
        rest = std::max(rest, std::abs(*ref.w[i]));
    const Snooping& snooping = *result.snooping;
    if (rest < 0.99 * w) {
      ++unique;
      ASSERT_FALSE(snooping.rounds.empty());
      EXPECT_EQ(snooping.rounds[0].removed.section, static_cast<int>(planted));
      // The removed set-ups join the adjusted heights of their ends, their
      // misclosure spread along them; they are no longer tested.
      for (std::size_t i : members) {
        const AdjustedObservation& o = result.observations[i];
        EXPECT_EQ(o.removedInRound, 1);
        EXPECT_FALSE(o.standardizedResidual || o.mdb || o.flagged);
        EXPECT_NEAR(result.points[o.to].height - result.points[o.from].height, o.adjusted, 1e-9);
      }
    } else if (std::min(rest, w) >= 0.99 * std::max(rest, w)) {
      ++shared;
      bool held = false;
      for (const SnoopingTarget& t : snooping.suspects)
        held |= t.section == static_cast<int>(planted);
      EXPECT_TRUE(held);
    } else {
      ++masked;  // another section's |w| is clearly larger: nothing to promise
    }
  }
  // The share of networks snooping acted on without a blunder stays below
  // the 99.9 % point of a binomial with the networks' mean Sidak bound.
  const double p = expected / networks;
  int limit = 0;
  while (BinomialTail(networks, p, limit) > 0.001) ++limit;
  std::cout << "[ snooping ] " << networks << " networks: " << unique << " unique largest, "
            << shared << " suspect groups, " << masked << " with a larger |w| elsewhere; without "
            << "a blunder snooping acted on " << acted << " (expected at most " << expected
            << ", 99.9 % bound " << limit << ")\n";
  EXPECT_LT(acted, limit);
  EXPECT_GE(unique, 50);
  EXPECT_GE(shared, 5);
}

// Day 1 runs P -> Q -> R, day 2 runs Q back to P (3 mm apart) and R to P,
// and a spur R -> S that no loop checks.
TEST(NetworkSections, runs_forward_and_back_across_files_and_loops) {
  std::vector<NetworkInput> inputs(2);
  inputs[0].path = "/job/DAY1.dat";
  inputs[0].lines = {Line({"P", "T1", "Q"}, {0.5, 0.7}), Line({"Q", "T1", "R"}, {-0.2, -0.3})};
  inputs[1].path = "/job/DAY2.gsi";
  inputs[1].lines = {Line({"Q", "T1", "T2", "P"}, {-0.4, -0.4, -0.397}),
                     Line({"R", "T1", "P"}, {-0.35, -0.3504}), Line({"R", "S"}, {1.0})};
  AdjustmentOptions options;
  options.errorFactor = 2;
  const NetworkAdjustment r = AdjustNetwork(inputs, {{"P", 10, {}, "--fixed", 0}}, options);
  ASSERT_EQ(r.sections.size(), 5u);
  EXPECT_EQ(r.Route(r.sections[2], ">") + " " + r.FileOf(r.sections[2]) + ":" +
                std::to_string(r.sections[2].line),
            "Q>P DAY2:1");
  EXPECT_EQ(r.sections[2].setups, 3);
  EXPECT_NEAR(r.sections[2].observed, -1.197, 1e-12);

  ASSERT_EQ(r.forwardBack.size(), 1u);
  const ForwardBackPair& pair = r.forwardBack[0];
  EXPECT_EQ(pair.forward * 10 + pair.back, 2);
  EXPECT_NEAR(pair.differenceMm, 3, 1e-9);
  EXPECT_NEAR(pair.meanLength, 125, 1e-9);
  EXPECT_NEAR(pair.toleranceMm, 2 * std::sqrt(0.125), 1e-12);
  EXPECT_FALSE(pair.pass);

  // Three points joined by four sections: two loops, the shorter first.
  ASSERT_EQ(r.loops.size(), 2u);
  EXPECT_NEAR(r.loops[0].length, 250, 1e-9);
  EXPECT_NEAR(r.loops[0].miscloseMm, 3, 1e-9);
  EXPECT_NEAR(r.loops[1].length, 300, 1e-9);
  // P -> Q -> R -> P over day 1 and day 2: 1.2 - 0.5 - 0.7004 = -0.4 mm.
  EXPECT_NEAR(std::abs(r.loops[1].miscloseMm), 0.4, 1e-9);
  EXPECT_NEAR(r.loops[1].toleranceMm, 2 * std::sqrt(0.3), 1e-12);
  EXPECT_TRUE(r.loops[1].pass);
  EXPECT_FALSE(r.sections[4].inLoop);
  EXPECT_TRUE(r.sections[0].inLoop && r.sections[3].inLoop);
  EXPECT_FALSE(r.sections[4].standardizedResidual.has_value());
  EXPECT_FALSE(r.sections[4].mdb.has_value());
}

// A level data file knows a turning point only by its name: TP1 reached
// twice, apart, is two points unless something says it is one.
TEST(NetworkSections, a_level_data_name_reached_at_two_places_is_kept_apart) {
  NetworkInput levelData;
  levelData.path = "/job/SN_TWO.dat";
  levelData.kind = InputKind::LevelData;
  levelData.lines = {Line({"A", "TP1", "B", "TP1", "C"}, {1, 1, 1, 1}, 10)};
  const std::vector<Benchmark> a = {{"A", 100, {}, "--fixed", 0}};
  const NetworkAdjustment apart = AdjustNetwork({levelData}, a);
  EXPECT_NEAR(HeightOf(apart, "C"), 104, 1e-9);
  EXPECT_NEAR(HeightOf(apart, "TP1@SN_TWO line 12"), 103, 1e-9);
  ASSERT_FALSE(apart.warnings.empty());
  const NetworkWarning& w = *apart.warnings.begin();
  EXPECT_EQ(w.line, 10);
  EXPECT_EQ(w.message.substr(0, w.message.find(':')),
            "TP1 is reached at 2 places that are not consecutive records (lines 10\u201311 and "
            "12\u201313)");
  EXPECT_NE(w.message.find("adjust the field data file, which holds the lines"), std::string::npos);

  // A benchmark, or a line end of another input, says it is one point.
  const NetworkAdjustment given =
      AdjustNetwork({levelData}, {a[0], {"TP1", 101.5, {}, "--fixed", 0}});
  EXPECT_NEAR(HeightOf(given, "C"), 102.5, 1e-9);
  NetworkInput field;
  field.path = "/job/FIELD.dat";
  field.lines = {Line({"TP1", "Z"}, {0.1})};
  const NetworkAdjustment joined = AdjustNetwork({levelData, field}, a);
  EXPECT_NEAR(HeightOf(joined, "Z"), HeightOf(joined, "TP1") + 0.1, 1e-9);
  EXPECT_TRUE(joined.warnings.empty()) << joined.warnings.begin()->message;
}

// Every change point keyed "CP": each is its own set-ups' point, not one
// point per line that every set-up passes through.
TEST(NetworkSections, turning_points_sharing_a_name_in_a_field_file_are_kept_apart) {
  NetworkInput named, cp;
  named.path = "/job/NAMED.dat";
  named.lines = {Line({"BM1", "T1", "T2", "T3", "BM2"}, {0.8, -0.3, 1.1, 0.4})};
  cp.path = "/job/CP.dat";
  cp.lines = {Line({"BM1", "CP", "CP", "CP", "BM2"}, {0.8, -0.3, 1.1, 0.4})};
  const std::vector<Benchmark> bm1 = {{"BM1", 100, {}, "--fixed", 0}};
  const NetworkAdjustment reference = AdjustNetwork({named}, bm1);
  const NetworkAdjustment apart = AdjustNetwork({cp}, bm1);
  EXPECT_NEAR(HeightOf(apart, "BM2"), HeightOf(reference, "BM2"), 1e-7);
  EXPECT_NEAR(HeightOf(apart, "CP@CP:1 line 2"), 100.5, 1e-9);
  ASSERT_FALSE(apart.warnings.empty());
  const std::string& message = apart.warnings.begin()->message;
  EXPECT_EQ(message.substr(0, message.find(':')),
            "CP is reached at 3 places of one line of levelling that are not consecutive "
            "set-ups (file lines 1, 2 and 3)");
  EXPECT_TRUE(apart.chainBreaks.empty());
}

// A weighted benchmark given 10 mm off what two lines from a fixed one
// agree on: snooping removes it, and its estimated blunder is -v / r.
// A window cancels through the stop point: it is passed in every round of
// snooping, and a throw from any of its calls ends the adjustment.
TEST(NetworkSnooping, every_round_passes_the_stop_point_that_can_end_it) {
  Generated g = Generate(3, 1.0);
  AdjustmentOptions options;
  options.snoop = true;
  const NetworkAdjustment clean = AdjustNetwork(g.inputs, g.benchmarks, options);
  for (std::size_t i = 0; i < clean.observations.size(); i += 7)
    if (clean.observations[i].section >= 0) SetupAt(g.inputs, i).difference += 0.05;
  int calls = 0;
  options.stopPoint = [&calls] { ++calls; };
  const NetworkAdjustment result = AdjustNetwork(g.inputs, g.benchmarks, options);
  ASSERT_GE(result.snooping->rounds.size(), 2u);
  EXPECT_GT(calls, static_cast<int>(result.snooping->rounds.size()));
  struct Stopped {};
  for (int stopAt = 1; stopAt <= calls; ++stopAt) {
    int call = 0;
    options.stopPoint = [&] {
      if (++call == stopAt) throw Stopped{};
    };
    EXPECT_THROW(AdjustNetwork(g.inputs, g.benchmarks, options), Stopped) << stopAt;
  }
}

TEST(NetworkSnooping, estimates_the_blunder_of_a_weighted_benchmark) {
  NetworkInput input;
  input.path = "/job/TWO.dat";
  input.lines = {Line({"A", "B"}, {1.01}), Line({"A", "B"}, {1.01})};
  for (LevelledLine& line : input.lines) line.setups[0].length = 1000;  // sigma 1 mm
  const std::vector<Benchmark> benchmarks = {{"A", 100, {}, "--fixed", 0},
                                             {"B", 101.0, 1.0, "--benchmarks", 2}};
  AdjustmentOptions options;
  options.snoop = true;
  const NetworkAdjustment r = AdjustNetwork({input}, benchmarks, options);
  const Reference ref = DenseAdjustment({input}, benchmarks, 1.0);
  ASSERT_TRUE(r.snooping.has_value());
  ASSERT_FALSE(r.snooping->rounds.empty());
  const SnoopingRound& round = r.snooping->rounds[0];
  EXPECT_EQ(round.removed.benchmark, 1);  // B, of the benchmarks as given
  // Observations: the two set-ups, then the weighted benchmark.
  EXPECT_NEAR(round.estimatedBlunderMm, -ref.residualMm[2] / ref.redundancy[2], 1e-6);
  EXPECT_NEAR(round.estimatedBlunderMm, -10, 1e-6);
}

// A chain of 10^5 set-ups (each a section: 1 km between marks) from the one
// fixed benchmark, a loop at its far end and short spurs off that loop
// (sights of a metre or so to marks beside X): only the loop's sections are
// checked. The cofactors at the far end are 10^8 times a spur's, so a q_vv
// taken by subtraction carries rounding far above 1e-9 of the spur's own:
// no spur and no set-up of the chain may show it as a redundancy and an MDB
// above those of the loop's sections, the weakest real observations.
TEST(NetworkAdjustment, a_long_spur_far_from_the_datum_has_no_check_not_a_huge_mdb) {
  constexpr int kChain = 100000;
  NetworkInput input;
  input.path = "CHAIN.dat";
  std::mt19937 random(5);
  std::normal_distribution<double> noise(0, 0.0002);
  auto name = [](int i) { return "P" + std::to_string(i); };
  for (int i = 0; i < kChain; ++i) {
    input.lines.push_back(Line({name(i), name(i + 1)}, {0.01 + noise(random)}, i + 1));
    input.lines.back().setups[0].length = 1000;
  }
  const std::string end = name(kChain);
  input.lines.push_back(Line({end, "X"}, {0.5 + noise(random)}, kChain + 1));
  input.lines.push_back(Line({"X", end}, {-0.5 + noise(random)}, kChain + 2));
  for (int k = 0; k < 20; ++k) {
    input.lines.push_back(Line({"X", "S" + std::to_string(k)}, {0.1 * k}, kChain + 3 + k));
    input.lines.back().setups[0].length = 0.5 + 0.25 * k;
  }
  const NetworkAdjustment result =
      AdjustNetwork({input}, {{"P0", 100, std::nullopt, "--fixed", 0}});
  double loopMdb = 0;
  for (const AdjustedObservation& o : result.observations)
    if (o.fieldLine == kChain + 1 || o.fieldLine == kChain + 2) {
      ASSERT_TRUE(o.mdb) << "a section of the loop has no MDB";
      loopMdb = std::max(loopMdb, *o.mdb);
    }
  for (const AdjustedObservation& o : result.observations)
    if (o.fieldLine != kChain + 1 && o.fieldLine != kChain + 2) {
      EXPECT_EQ(o.redundancy, 0) << "line " << o.fieldLine;
      EXPECT_FALSE(o.mdb) << "line " << o.fieldLine << ": MDB " << *o.mdb << " mm without check";
    }
  const auto largest = result.LargestMdbSection();
  ASSERT_TRUE(largest);
  EXPECT_LE(*result.sections[*largest].mdb, loopMdb);
}
