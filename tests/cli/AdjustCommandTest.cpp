// vireo-cli adjust on simulated field data files and a level data file that
// the processing run wrote, and on a real Leica job; the workbook it saves
// read back against its JSON.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <map>
#include <nlohmann/json.hpp>
#include <regex>

#include "examples/NetworkSimulation.h"
#include "network/NetworkWorkbook.h"
#include "report/ProcessField.h"
#include "tests/support/Clients.h"
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
  std::string home = "--home '" + fixture.folder.Path() + "' ";
  Job() {
    const std::string third = fixture.AddFieldFile(
        "NET3.dat", vireo::examples::SimulateNetworkFile(network, {{"D", "C", 3, 0}}));
    files += "'" + vireo::ProcessField(third, fixture.app).levelDataPath + "' ";
    WriteFile(fixture.folder / "list.csv", "# benchmarks\nD, 102.002, 3\n");
  }
};

}  // namespace

TEST(AdjustCommand, adjusts_mixed_inputs_and_finds_the_blunder) {
  Job job;
  const std::string args =
      job.files + job.home + "--fixed A=100 --benchmarks '" + job.fixture.folder / "list.csv'";
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
  EXPECT_EQ(json["workbook"], job.fixture.app.AdjustedNetworkWorkbook("NET1"));

  EXPECT_EQ(Adjust(args + " --strict").status, 3);
  const Outcome text = Adjust(args + " --sigma-km 20");
  EXPECT_EQ(text.status, 0);
  EXPECT_NE(text.out.find("global test (95 %):"), std::string::npos) << text.out;

  // Without a check the heights come without statistics; a benchmark that
  // nothing reaches is only reported.
  const auto bare = nlohmann::json::parse(Adjust(job.Write("LINE.dat", {{"A", "B", 3, 0}}) +
                                                 job.home + "--fixed A=100 --fixed Z=5 --json")
                                              .out);
  EXPECT_TRUE(bare["variance_factor"].is_null() && bare["chi_square"].is_null());
  const std::string warnings = bare["warnings"].dump();
  EXPECT_NE(warnings.find("no observation reaches the benchmark Z"), std::string::npos);
  EXPECT_NE(warnings.find("no redundant observation"), std::string::npos) << warnings;

  // A workbook that cannot be saved: the results are printed all the same.
  std::filesystem::remove_all(job.fixture.app.AdjustedNetworks());
  WriteFile(job.fixture.app.AdjustedNetworks(), "in the way");
  const Outcome blocked = Adjust(args + " --json");
  EXPECT_EQ(blocked.status, 1);
  EXPECT_NE(blocked.err.find("Adjusted Networks: create folder"), std::string::npos) << blocked.err;
  EXPECT_TRUE(nlohmann::json::parse(blocked.out)["workbook"].is_null());
}

// A job file saved by the window runs headless: the same results as the
// command with everything on it; a file or option beside the job replaces
// the job's own.
TEST(AdjustCommand, a_job_file_runs_as_the_command_it_stands_for) {
  Job job;
  const std::string explicitArgs = job.files + job.home + "--fixed A=100 --benchmarks '" +
                                   job.fixture.folder / "list.csv' --sigma-km 1.5 --name days";
  const Outcome expected = Adjust(explicitArgs + " --json");
  ASSERT_EQ(expected.status, 0) << expected.err;
  // The inputs as the job names them: the quoted paths of the command.
  const std::string inputs =
      std::regex_replace(job.files, std::regex("'([^']*)' "), "input = $1\n");
  const std::string path = job.fixture.folder / "days.job";
  WriteFile(path, inputs +
                      "benchmark = A, 100\nbenchmark = D, 102.002, 3\nsigma_km = 1.5\n"
                      "name = days\n");
  const Outcome fromJob = Adjust("--job '" + path + "' " + job.home + "--json");
  ASSERT_EQ(fromJob.status, 0) << fromJob.err;
  // The same, but a benchmark's source: the job's file and line instead of the list's.
  auto sources = [](std::string out) {
    return std::regex_replace(
        out, std::regex(R"x("file":"[^"]*(list|days)(\.csv|\.job)?"(,"field_line":\d+)?)x"), "");
  };
  EXPECT_EQ(sources(fromJob.out), sources(expected.out));

  // The workbook's name and sigma from the command line; another benchmark.
  const auto changed =
      nlohmann::json::parse(Adjust("--job '" + path + "' " + job.home +
                                   "--fixed B=101.5 --sigma-km 3 --name other --json")
                                .out);
  EXPECT_EQ(changed["workbook"], job.fixture.app.AdjustedNetworkWorkbook("other"));
  EXPECT_EQ(changed["points"][0]["name"].get<std::string>() +
                changed["points"][0]["kind"].get<std::string>(),
            "Bfixed");
  EXPECT_EQ(Adjust(job.home + "--fixed A=100").status, 2);  // neither files nor a job
}

TEST(AdjustCommand, refuses_input_it_cannot_adjust_naming_file_and_line) {
  Job job;
  const std::string net1 = job.Write("NET1.dat", {{"A", "B", 6, 0}, {"B", "C", 5, 0}});
  job.network.heights.insert({{"E", 98}, {"F", 97}});
  const std::string apart = job.Write("APART.dat", {{"E", "F", 2, 0}, {"F", "E", 2, 0}});
  WriteFile(job.fixture.folder / "bad.csv", "A,100\n\nB,1O1.5,2\n");
  WriteFile(job.fixture.folder / "comma.csv", "A,1,000.5\n");
  WriteFile(job.fixture.folder / "far.dat", "L  A-B   1e308   40\n");
  const std::string net3 = "'" + job.fixture.app.FieldData() + "/NET3.dat' ";
  const std::string sn3 = "'" + job.fixture.app.LevelDataFile("NET3") + "' ";
  std::filesystem::create_hard_link(job.fixture.app.FieldData() + "/NET1.dat",
                                    job.fixture.folder / "LINK.dat");
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
      {net1 + "--fixed A=1 --sigma-km 1e-300",
       "--sigma-km: read the standard deviation for 1 km (\"1e-300\" is not a number from 0.001"},
      {net1 + "--fixed A=1e308", "(the height 1e+308 m is beyond \u00b1100,000 m)"},
      {net1 + "--benchmarks '" + job.fixture.folder / "comma.csv'",
       "comma.csv: read the benchmark list (line 1: 1,000.5 is not a height; use a point as the "
       "decimal mark"},
      {"'" + job.fixture.folder / "far.dat' --fixed A=1",
       "far.dat: read the level data file (line 1: the difference 1e+308 m is beyond"},
      {net1 + "'" + job.fixture.folder / "LINK.dat' --fixed A=1",
       "LINK.dat: read the inputs (the file is " + job.fixture.app.FieldData() +
           "/NET1.dat under another name"},
      {net3 + sn3 + "--fixed D=1", "SN_NET3.dat: read the inputs (its observations are those of " +
                                       job.fixture.app.FieldData() + "/NET3.dat"},
      {net1 + "--fixed A=1 --name ..", "\"..\": name the adjustment (a workbook name cannot start"},
      {net1 + "--fixed A=1 --name .job", "(the file would be hidden)"},
      {net1 + "--fixed A=1 --name \"$(printf 'a\\nb')\"", "\"a\\x0ab\": name the adjustment"},
  };
  for (const auto& c : cases) {
    const Outcome o = Adjust(c.arguments + " " + job.home);
    EXPECT_EQ(o.status, 2) << c.arguments;
    EXPECT_NE(o.err.find(c.expected), std::string::npos) << o.err;
    EXPECT_TRUE(o.out.empty()) << o.out;
  }
  EXPECT_NE(Adjust(net1 + "--fixed A=1 --home ''").err.find("--home needs a folder"),
            std::string::npos);
  // Refused, the adjustment still names the line that was left out.
  WriteFile(job.fixture.folder / "nan.dat", "L  A-B   nan   40\n");
  EXPECT_NE(Adjust("'" + job.fixture.folder / "nan.dat' --fixed A=1 " + job.home)
                .err.find("nan.dat line 1: the difference \"nan\""),
            std::string::npos);
  const Outcome nowhere = Adjust(net1 + "--fixed A=1 --home /nowhere");
  EXPECT_EQ(nowhere.status, 2);
  EXPECT_EQ(nowhere.err,
            "vireo-cli: /nowhere: no such application folder (--home names the "
            "folder that holds ctlini.dat)\n");
  EXPECT_FALSE(std::filesystem::exists(job.fixture.app.AdjustedNetworks()));
}

// The real job holds two networks that share no point; with G and M fixed
// the blunder shows where the section I-N was run forward and back by
// different routes, 73 mm apart.
TEST(AdjustCommand, real_leica_job_finds_its_blunder_and_its_workbook_holds_the_json) {
  AppFixture fixture;
  const std::string job = "'" + std::string(VIREO_FIXTURES) +
                          "/gsi/OSGeoLabBp_tutorials_test.gsi' --home '" + fixture.folder.Path() +
                          "' ";
  const Outcome refused = Adjust(job + "--fixed G=0");
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("no benchmark is connected to M, P, R and S:"), std::string::npos)
      << refused.err;
  EXPECT_FALSE(std::filesystem::exists(fixture.app.AdjustedNetworks()));

  const Outcome o = Adjust(job + "--fixed G=0 --fixed M=0.000 --name job --json");
  ASSERT_EQ(o.status, 0) << o.err;
  const auto json = nlohmann::json::parse(o.out);
  EXPECT_FALSE(json["chi_square"]["pass"]);
  long benchmarks = 0;
  for (const auto& p : json["points"])
    benchmarks += p["name"].get<std::string>().find('@') == std::string::npos;
  EXPECT_EQ(benchmarks, 20);
  // By line of levelling (the turning points' suffix): the sum of the
  // observed differences and the largest |w|.
  const auto& obs = json["observations"];
  std::map<std::string, double> sums, largest;
  for (const auto& ob : obs) {
    const std::string from = ob["from"], to = ob["to"];
    const std::string turning = from.find('@') != std::string::npos ? from : to;
    const std::string line = turning.substr(turning.rfind(':') + 1);
    sums[line] += ob["observed_m"].get<double>();
    if (!ob["standardized_residual"].is_null())
      largest[line] = std::max(largest[line], std::abs(ob["standardized_residual"].get<double>()));
  }
  for (const auto& [line, w] : largest)
    EXPECT_TRUE(line == "17" || line == "18" || 3 * w < std::min(largest["17"], largest["18"]))
        << line;
  EXPECT_NEAR((sums["17"] + sums["18"]) * 1000, -73.36, 0.01);

  // The three sheets hold what the JSON holds, and every part is well-formed XML.
  ASSERT_EQ(json["workbook"], fixture.app.AdjustedNetworkWorkbook("job"));
  vireo::Workbook book = vireo::Workbook::Open(json["workbook"]);
  EXPECT_EQ(book.SheetNames(), (std::vector<std::string>{"Summary", "Heights", "Observations"}));
  auto value = [](const vireo::CellValue& cell) {
    if (cell.IsEmpty()) return nlohmann::json(nullptr);
    return cell.text.empty() ? nlohmann::json(cell.number) : nlohmann::json(cell.text);
  };
  auto holds = [&](const char* name, const nlohmann::json& rows,
                   const std::vector<std::string>& keys) {
    vireo::Worksheet sheet = book.Sheet(name);
    EXPECT_EQ(sheet.LastRow(), static_cast<int>(rows.size()) + 1);
    for (int row = 2; row <= sheet.LastRow(); ++row)
      for (std::size_t k = 0; k < keys.size(); ++k) {
        if (keys[k].empty()) continue;
        EXPECT_EQ(value(sheet.Get(row, static_cast<int>(k) + 1)), rows[row - 2][keys[k]])
            << name << " row " << row;
      }
  };
  holds("Heights", json["points"], {"name", "height_m", "sigma_mm", "kind"});
  holds("Observations", obs,
        {"file", "field_line", "from", "to", "length_m", "observed_m", "adjusted_m", "residual_mm",
         "sigma_a_priori_mm", "redundancy", "standardized_residual"});
  for (int row = 2; row <= static_cast<int>(obs.size()) + 1; ++row)
    EXPECT_EQ(book.Sheet("Observations").Get(row, 12).text == "flagged", obs[row - 2]["flagged"]);
  vireo::Worksheet summary = book.Sheet("Summary");
  std::map<std::string, nlohmann::json> items;
  for (int row = 1; row <= 30; ++row) items[summary.Get(row, 1).text] = value(summary.Get(row, 2));
  EXPECT_EQ(items["Degrees of freedom"], json["degrees_of_freedom"]);
  EXPECT_EQ(items["Variance factor s0²"], json["variance_factor"]);
  EXPECT_EQ(items["Test statistic (dof × s0²)"], json["chi_square"]["statistic"]);
  EXPECT_EQ(items["Global test (95 %)"], "FAILED");
  EXPECT_EQ(items["Largest |w|"], largest["17"]);
  if (OnPath("xmllint")) {
    EXPECT_EQ(PartsXmllintRefuses(ReadFile(json["workbook"]), fixture.folder.Path()), "");
  }

  // As LibreOffice prints it: landscape, every page of the heights and the
  // observations headed by its table's headings (the footer names the
  // sheet), the field line apart from the point beside it.
  if (!OnPath("soffice") || !OnPath("pdftotext")) GTEST_SKIP() << "no LibreOffice or poppler";
  const PrintedPages printed = Print(fixture.folder.Path(), json["workbook"]);
  EXPECT_EQ(printed.landscape, std::vector<bool>(printed.pages.size(), true));
  const std::regex heights(R"(Point\s+Height \(m\)\s+\S+ \(mm\)\s+Kind\s+Remark)");
  const std::regex observations(
      R"(File\s+Field line\s+From\s+To\s+L \(m\)\s+Observed \(m\)\s+Adjusted \(m\))");
  std::map<std::string, int> pages;
  for (const std::string& page : printed.pages) {
    const bool isHeights = page.find("job.xlsx, Heights") != std::string::npos;
    const bool isObservations = page.find("job.xlsx, Observations") != std::string::npos;
    pages[isHeights ? "Heights" : isObservations ? "Observations" : "other"] += 1;
    EXPECT_TRUE(!isHeights || std::regex_search(page, heights)) << page;
    EXPECT_TRUE(!isObservations || std::regex_search(page, observations)) << page;
  }
  EXPECT_GE(pages["Heights"], 3);
  EXPECT_GE(pages["Observations"], 3);
  EXPECT_TRUE(std::regex_search(printed.pages.back(),
                                std::regex(R"(\n\s*OSGeoLabBp_tutorials_test {2,}\d+ {2,}\d+@)")));
}
