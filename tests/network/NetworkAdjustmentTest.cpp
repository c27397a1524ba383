// The network adjustment against a plain dense least-squares adjustment of
// the same observations (every set-up an observation, every turning point
// an unknown, no sections), on many generated networks.
#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <map>
#include <random>

#include "network/NetworkAdjustment.h"
#include "output/LevelDataFile.h"

using namespace vireo;

namespace {

struct Reference {
  std::map<std::string, std::pair<double, double>> points;  // name -> height m, sigma mm
  std::vector<std::optional<double>> w;                     // per observation
  std::vector<double> residualMm;
  long dof = 0;
  double s0Squared = 0;
};

// The textbook solution: x = (A'PA)^-1 A'Pl, Qxx = (A'PA)^-1,
// q_vv = q_ll - a' Qxx a, w = v / sqrt(q_vv), all in metres, in long double
// since q_vv of a set-up is a small difference of large cofactors.
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
    for (std::size_t l = 0; l < input.lines.size(); ++l)
      for (const auto& s : input.lines[l].setups) {
        const std::string at = "@" + input.path + ":" + std::to_string(l + 1);
        const int from = unknown(s.back, s.back + at), to = unknown(s.fore, s.fore + at);
        const double length = s.length > 0 ? s.length : 1;
        rows.push_back({from, to,
                        s.difference - fixedHeight(to, s.fore) + fixedHeight(from, s.back),
                        sigmaKm * sigmaKm * 1e-6 * length / 1000});
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
    ref.residualMm.push_back(double(v[i] * 1000));
    ref.w.push_back(qvv / rows[i].variance > 1e-9 ? std::optional(double(v[i] / std::sqrt(qvv)))
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

Generated Generate(std::uint32_t seed) {
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
  for (int f = 0; f < files; ++f) g.inputs.push_back({"F" + std::to_string(f), "", {}, {}});
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
      double dh =
          truth[route[k]] - truth[route[k - 1]] +
          std::normal_distribution<>(0, 0.0004 * std::sqrt(std::max(length, 1.0) / 60))(random);
      if (chance(0.03)) dh += 0.05;
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
    Benchmark bm{
        points[b], truth[points[b]] + (b < fixed ? 0 : uniform(-0.003, 0.003)), {}, "list", b + 1};
    if (b >= fixed) bm.sigma = uniform(0.5, 5);
    g.benchmarks.push_back(bm);
  }
  return g;
}

}  // namespace

TEST(NetworkAdjustment, agrees_with_a_dense_adjustment_of_every_set_up) {
  int withoutCheck = 0, flagged = 0, noDof = 0;
  for (std::uint32_t seed = 1; seed <= 300; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const Generated g = Generate(seed);
    const double sigmaKm = 0.5 + seed % 4;
    const NetworkAdjustment result = AdjustNetwork(g.inputs, g.benchmarks, {sigmaKm});
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
      withoutCheck += !ref.w[i];
      flagged += o.flagged;
      EXPECT_EQ(o.flagged, ref.w[i] && std::abs(*ref.w[i]) > 3.29) << i;
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

TEST(NetworkAdjustment, level_data_records_form_lines_where_they_chain) {
  const std::string text =
      LevelDataHeader() + FormatElevationRecord({"BM-1", "TP1", 1.5, 0.25, 20.4, 21, "BM-1"}) +
      FormatElevationRecord({"TP1", "BM 2", 0.5, 1.5, 20, 20, "BM-1"}) +
      "L  Q-X-Y                           0.10000   40   'BM-1\r\n"  // no neighbour fits
      "L  C-D-1                          -0.20000   40   'BM-1\r\n"  // D-1 goes on below
      "L  D-1-E                           0.30000    0   'BM-1\r\n"
      "L  E-F      zero  10\r\n"
      "L  -G                              0.10000   10\r\n";
  const NetworkInput input = ParseLevelDataFile("SN_x.dat", text);
  ASSERT_EQ(input.lines.size(), 2u);
  ASSERT_EQ(input.lines[0].setups.size(), 2u);
  const LevelledDifference& first = input.lines[0].setups[0];
  EXPECT_EQ(first.back + "|" + first.fore, "BM-1|TP1");
  EXPECT_EQ(first.fieldLine, 10);
  EXPECT_DOUBLE_EQ(first.difference, 1.25);
  EXPECT_DOUBLE_EQ(first.length, 41);
  EXPECT_EQ(input.lines[0].setups[1].fore, "BM 2");
  ASSERT_EQ(input.lines[1].setups.size(), 2u);
  EXPECT_EQ(input.lines[1].setups[0].fore + "|" + input.lines[1].setups[1].back, "D-1|D-1");
  std::string lines;
  for (const NetworkWarning& w : input.warnings) lines += std::to_string(w.line) + " ";
  EXPECT_EQ(lines, "12 13 15 16 ");
}

// "UTF-8" as editors and spreadsheets save it starts with a byte-order mark;
// it made the first line of a file no record.
TEST(NetworkInput, a_byte_order_mark_before_the_first_line_is_skipped) {
  const std::string record = FormatElevationRecord({"BM1", "TP1", 1.5, 0.25, 20.4, 21, "BM1"});
  const NetworkInput level = ParseLevelDataFile("SN_x.dat", "\xEF\xBB\xBF" + record);
  EXPECT_TRUE(level.warnings.empty());
  ASSERT_EQ(level.lines.size(), 1u);
  EXPECT_EQ(level.lines[0].setups[0].back, "BM1");
  const std::vector<Benchmark> list = ParseBenchmarkList("bm.csv",
                                                         "\xEF\xBB\xBF"
                                                         "BM1,100.5,2\r\n");
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].name, "BM1");
  EXPECT_EQ(list[0].height, 100.5);
}
