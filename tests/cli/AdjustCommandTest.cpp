// vireo-cli adjust on simulated field data files and a level data file that
// the processing run wrote.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <nlohmann/json.hpp>

#include "examples/NetworkSimulation.h"
#include "reduction/ProcessField.h"
#include "tests/support/FieldFiles.h"

using namespace vireo::testing;
using vireo::examples::SimulatedLine;

namespace {

struct Outcome {
  int status = -1;
  std::string out, err;
};

Outcome Adjust(const std::string& arguments) {
  TempFolder scratch;
  const std::string command = std::string("'") + VIREO_CLI + "' adjust " + arguments + " >'" +
                              (scratch / "out") + "' 2>'" + (scratch / "err") + "'";
  const int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(scratch / "out"),
          ReadFile(scratch / "err")};
}

// A loop A-B-C-A and a line to D over two field files, a line D-C in a level
// data file; the line C-A carries a 30 mm blunder.
struct Job {
  AppFixture fixture;
  vireo::examples::NetworkSimulation network{7,
                                             {{"A", 100}, {"B", 101.5}, {"C", 99.2}, {"D", 102}}};
  std::string Write(const std::string& name, const std::vector<SimulatedLine>& lines) {
    return "'" + fixture.AddFieldFile(name, vireo::examples::SimulateNetworkFile(network, lines)) +
           "' ";
  }
  std::string files = Write("NET1.dat", {{"A", "B", 6, 0}, {"B", "C", 5, 0}}) +
                      Write("NET2.dat", {{"C", "A", 4, 0.03}, {"A", "D", 5, 0}});
  Job() {
    const std::string third = fixture.AddFieldFile(
        "NET3.dat", vireo::examples::SimulateNetworkFile(network, {{"D", "C", 3, 0}}));
    struct : vireo::RunSurroundings {
    } quiet;
    files += "'" + vireo::ProcessField(third, fixture.app, quiet).levelDataPath + "' ";
    WriteFile(fixture.folder / "list.csv", "# benchmarks\nD, 102.002, 3\n");
  }
};

}  // namespace

TEST(AdjustCommand, adjusts_mixed_inputs_and_finds_the_blunder) {
  Job job;
  const std::string args =
      job.files + "--fixed A=100 --benchmarks '" + job.fixture.folder / "list.csv'";
  const Outcome o = Adjust(args + " --json");
  ASSERT_EQ(o.status, 0) << o.err;
  const auto json = nlohmann::json::parse(o.out);
  std::map<std::string, std::string> kinds;
  for (const auto& p : json["points"]) kinds[p["name"]] = p["kind"];
  EXPECT_EQ(kinds["A"] + kinds["D"] + kinds["B"] + kinds["TP3@NET1:2"],
            "fixedweightedadjustedadjusted");
  EXPECT_EQ(kinds.size(), 4u + 5 + 4 + 3 + 4 + 2);  // network points, then turning points by line
  EXPECT_EQ(json["observations"].size(), 23u + 1);
  EXPECT_EQ(json["observations"][20]["file"], "SN_NET3");
  EXPECT_EQ(json["observations"].back()["to"], "D");
  EXPECT_TRUE(json["observations"].back()["length_m"].is_null());
  double largest = 0;
  std::string where;
  for (const auto& ob : json["observations"]) {
    if (ob["standardized_residual"].is_null()) continue;
    const double w = std::abs(ob["standardized_residual"].get<double>());
    if (w > largest)
      largest = w, where = ob["from"].get<std::string>() + ob["to"].get<std::string>();
  }
  EXPECT_GT(largest, 3.29);
  EXPECT_NE(where.find("@NET2:1"), std::string::npos) << where;
  EXPECT_EQ(json["degrees_of_freedom"], 3);
  EXPECT_FALSE(json["chi_square"]["pass"]);
  EXPECT_TRUE(json["workbook"].is_null());

  EXPECT_EQ(Adjust(args + " --strict").status, 3);
  const Outcome text = Adjust(args + " --sigma-km 20");
  EXPECT_EQ(text.status, 0);
  EXPECT_NE(text.out.find("global test (95 %):"), std::string::npos) << text.out;

  // Without a check the heights come without statistics; a benchmark that
  // nothing reaches is only reported.
  const auto bare = nlohmann::json::parse(
      Adjust(job.Write("LINE.dat", {{"A", "B", 3, 0}}) + "--fixed A=100 --fixed Z=5 --json").out);
  EXPECT_TRUE(bare["variance_factor"].is_null() && bare["chi_square"].is_null());
  const std::string warnings = bare["warnings"].dump();
  EXPECT_NE(warnings.find("no observation reaches the benchmark Z"), std::string::npos);
  EXPECT_NE(warnings.find("no redundant observation"), std::string::npos) << warnings;
}

TEST(AdjustCommand, refuses_input_it_cannot_adjust_naming_file_and_line) {
  Job job;
  const std::string net1 = job.Write("NET1.dat", {{"A", "B", 6, 0}, {"B", "C", 5, 0}});
  job.network.heights.insert({{"E", 98}, {"F", 97}});
  const std::string apart = job.Write("APART.dat", {{"E", "F", 2, 0}, {"F", "E", 2, 0}});
  WriteFile(job.fixture.folder / "bad.csv", "A,100\n\nB,1O1.5,2\n");
  const struct {
    std::string arguments, expected;
  } cases[] = {
      {net1, "no benchmark is given"},
      {net1 + apart + "--fixed A=100",
       "APART.dat: adjust the network (no benchmark is connected to E and F"},
      {"/nowhere/N.dat --fixed A=1", "/nowhere/N.dat: open the input file"},
      {net1 + "--benchmarks '" + job.fixture.folder / "bad.csv'",
       "bad.csv: read the benchmark list (line 3: the height \"1O1.5\""},
      {net1 + net1 + "--fixed A=1", "NET1.dat: read the inputs (the file is named twice"},
      {net1 + "--fixed A=1 --fixed A=2", "the benchmark A is given twice"},
      {net1 + "--fixed A", "--fixed: read the fixed benchmark \"A\""},
      {net1 + "--fixed A=1 --sigma-km 0", "--sigma-km"},
  };
  for (const auto& c : cases) {
    const Outcome o = Adjust(c.arguments);
    EXPECT_EQ(o.status, 2) << c.arguments;
    EXPECT_NE(o.err.find(c.expected), std::string::npos) << o.err;
    EXPECT_TRUE(o.out.empty()) << o.out;
  }
}
