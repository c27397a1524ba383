// vireo-cli adjust on simulated field data files and a level data file that
// the processing run wrote, and on a real Leica job; the workbook it saves
// read back against its JSON.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>

#include "examples/NetworkSimulation.h"
#include "network/NetworkWorkbook.h"
#include "report/ProcessField.h"
#include "tests/support/Cli.h"
#include "tests/support/Clients.h"
#include "tests/support/FieldFiles.h"

using namespace vireo::testing;
using ::testing::HasSubstr;
using vireo::examples::SimulatedLine;
using vireo::examples::SimulateNetworkFile;

namespace {

Outcome Adjust(const std::string& arguments) {
  return RunCli("adjust " + arguments);
}

// A loop A-B-C-A and a line to D over two field files, a line D-C in a level
// data file; the line C-A carries a 30 mm blunder.
struct Job {
  AppFixture fixture;
  vireo::examples::NetworkSimulation network{7,
                                             {{"A", 100}, {"B", 101.5}, {"C", 99.2}, {"D", 102}}};
  std::string Write(const std::string& name, const std::vector<SimulatedLine>& lines) {
    return Quote(fixture.AddFieldFile(name, SimulateNetworkFile(network, lines))) + " ";
  }
  std::string files = Write("NET1.dat", {{"A", "B", 6, 0}, {"B", "C", 5, 0}}) +
                      Write("NET2.dat", {{"C", "A", 4, 0.03}, {"A", "D", 5, 0}});
  std::string home = "--home '" + fixture.folder.Path() + "' ";
  Job() {
    const std::string third =
        fixture.AddFieldFile("NET3.dat", SimulateNetworkFile(network, {{"D", "C", 3, 0}}));
    // Both saved by a program that starts them with a UTF-8 byte-order mark.
    const std::string levelData = vireo::ProcessField(third, fixture.app).levelDataPath;
    WriteFile(levelData, "\xEF\xBB\xBF" + ReadFile(levelData));
    files += "'" + levelData + "' ";
    WriteFile(fixture.folder / "list.csv", "\xEF\xBB\xBF# benchmarks\nD, 102.002, 3\n");
  }
};

// The real job holds two networks that share no point; with G and M fixed
// the blunder shows where the section I-N was run forward and back by
// different routes, 73 mm apart.
struct RealJob {
  AppFixture fixture;
  std::string gsi = kRealGsiJob;
  std::string args = "'" + gsi + "' --home '" + fixture.folder.Path() + "' ";
};

// The line of levelling of a section or observation's points: the turning
// points' suffix.
std::string LineOf(const nlohmann::json& ob) {
  const std::string from = ob["from"], to = ob["to"];
  const std::string turning = from.find('@') != std::string::npos ? from : to;
  return turning.substr(turning.rfind(':') + 1);
}

// A cell holds what the JSON holds, to the digits the sheets keep.
bool Same(const vireo::CellValue& cell, const nlohmann::json& value) {
  if (cell.IsEmpty()) return value.is_null();
  if (!cell.text.empty()) return value.is_string() && cell.text == value.get<std::string>();
  return value.is_number() && std::abs(cell.number - value.get<double>()) <= 5e-5;
}

// The keys, one a column from column `first` on ("-" for a column that
// shows none), whose values in `values` row `row` of `sheet` does not hold.
std::string Differing(vireo::Worksheet& sheet, int row, int first, const std::string& keys,
                      const nlohmann::json& values) {
  std::istringstream in(keys);
  std::string differing, key;
  for (int column = first; in >> key; ++column)
    if (key != "-" && !Same(sheet.Get(row, column), values.value(key, nlohmann::json())))
      differing += key + " ";
  return differing;
}

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
  for (const auto& ob : json["observations"])
    EXPECT_TRUE(ob.contains("redundancy") && ob.contains("sigma_a_priori_mm")) << ob.dump();
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

  // Without a check the heights come without statistics.
  const auto bare = nlohmann::json::parse(
      Adjust(job.Write("LINE.dat", {{"A", "B", 3, 0}}) + job.home + "--fixed A=100 --json").out);
  EXPECT_TRUE(bare["variance_factor"].is_null() && bare["chi_square"].is_null());
  const std::string warnings = bare["warnings"].dump();
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
  WriteFile(path, "\xEF\xBB\xBF" + inputs +  // saved as "UTF-8" with its mark
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
  EXPECT_EQ(changed["points"][0]["name"], "B");
  EXPECT_EQ(changed["points"][0]["kind"], "fixed");
  EXPECT_EQ(Adjust(job.home + "--fixed A=100").status, 2);  // neither files nor a job
}

// Latin-1 names as the workbook shows them: a benchmark typed as shown
// matches, and two names that differ in one such byte stay two points in
// the JSON and the summary.
TEST(AdjustCommand, names_from_a_latin_1_file_match_and_print_as_the_workbook_shows_them) {
  AppFixture fixture;
  const std::string file = fixture.folder / "SN_LATIN.dat";
  WriteFile(file,
            "L  B\xDC"
            "1-B\xD6"
            "1   0.5   100\nL  B\xD6"
            "1-B\xDC"
            "1   -0.501   100\n");
  const std::string args =
      Quote(file) + " --home " + Quote(fixture.folder.Path()) + " --fixed 'B\u00DC1=101.2'";
  const Outcome o = Adjust(args + " --json");
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out.find("no observation reaches"), std::string::npos) << o.out;
  const auto points = nlohmann::json::parse(o.out)["points"];
  ASSERT_EQ(points.size(), 2u) << o.out;
  EXPECT_EQ(points[0]["name"], "B\u00DC1");
  EXPECT_EQ(points[0]["kind"], "fixed");
  EXPECT_EQ(points[1]["name"], "B\u00D61@SN_LATIN:1");
  EXPECT_THAT(Adjust(args).out, HasSubstr("(B\u00DC1 -> B\u00D61@SN_LATIN:1)"));
}

TEST(AdjustCommand, refuses_input_it_cannot_adjust_naming_file_and_line) {
  Job job;
  const std::string net1 = job.Write("NET1.dat", {{"A", "B", 6, 0}, {"B", "C", 5, 0}});
  job.network.heights.insert({{"E", 98}, {"F", 97}});
  const std::string apart = job.Write("APART.dat", {{"E", "F", 2, 0}, {"F", "E", 2, 0}});
  WriteFile(job.fixture.folder / "bad.csv", "A,100\n\nB,1O1.5,2\n");
  WriteFile(job.fixture.folder / "comma.csv", "A,1,000.5\n");
  WriteFile(job.fixture.folder / "quoted.csv", "\"A\",\"1,000.5\"\n");
  WriteFile(job.fixture.folder / "tiny.csv", "A,100,0.0001\n");
  const std::string link = job.fixture.app.FieldData() + "/LINK.dat";
  std::filesystem::create_hard_link(job.fixture.app.FieldData() + "/NET1.dat", link);
  WriteFile(job.fixture.folder / "SN_HUGE.dat", "L  A-B   1e308   10\n");
  WriteFile(job.fixture.folder / "SN_NAN.dat", "L  A-B   nan   10\n");
  WriteFile(job.fixture.folder / "SN_BACK.dat", "L  A-B   0.5   -10\n");
  const std::string folder = job.fixture.folder.Path() + "/";
  const std::string net3 = "'" + job.fixture.app.FieldData() + "/NET3.dat' ";
  const std::string sn3 = "'" + job.fixture.app.LevelDataFile("NET3") + "' ";
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
       "--sigma-km: read the standard deviation for 1 km (\"1e-300\" is not a number of "
       "millimetres from 0.001 to 1000)"},
      {net1 + "--fixed A=1 --alpha 0.7", "--alpha: read the significance level"},
      {net1 + "--fixed A=1 --alpha 1e-400", "--alpha: read the significance level"},
      {net1 + "--fixed A=1 --alpha ''", "--alpha: the value is empty"},
      {net1 + "--fixed A=1 --sigma-km ' '", "--sigma-km: the value is empty"},
      {"'" + folder + "SN_BACK.dat' --fixed A=1",
       "SN_BACK.dat: read the level data file (line 1: the distance -10 m is negative"},
      {net1 + "--fixed A=1e308", "(the height 1e308 m is outside \u00B1100000 m)"},
      {net1 + "--fixed A=100 --fixed 'B 1=99'",
       "--fixed: read the benchmarks (B 1: no observation reaches it; did you mean B?)"},
      {net1 + "--benchmarks '" + folder + "comma.csv'",
       "comma.csv: read the benchmark list (line 1: 1,000.5 is not a height; use a point as the "
       "decimal mark"},
      {net1 + "--benchmarks '" + folder + "quoted.csv'",
       "quoted.csv: read the benchmark list (line 1: 1,000.5 is not a height"},
      {net1 + "--benchmarks '" + folder + "tiny.csv'",
       "line 1: the standard deviation \"0.0001\" is not a number of millimetres from 0.001 to "
       "10000"},
      {net1 + "'" + link + "' --fixed A=1", "LINK.dat: read the inputs (the file is the same as " +
                                                job.fixture.app.FieldData() +
                                                "/NET1.dat under another name (a link)"},
      {"'" + folder + "SN_HUGE.dat' --fixed A=1",
       "SN_HUGE.dat: read the level data file (line 1: the difference 1e+308 m is outside "
       "\u00B110000 m"},
      // The warning that says why comes with the refusal.
      {"'" + folder + "SN_NAN.dat' --fixed A=1",
       "SN_NAN.dat line 1: the difference \"nan\" or the distance \"10\" is not a number; the "
       "line is left out\nvireo-cli: " +
           folder +
           "SN_NAN.dat: adjust the network (the inputs "
           "hold no levelled height difference)"},
      {net3 + sn3 + "--fixed D=1", "SN_NET3.dat: read the inputs (its "},
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
  EXPECT_THAT(Adjust(net1 + "--fixed A=1 --home ''").err, HasSubstr("--home needs a folder"));
  const Outcome nowhere = Adjust(net1 + "--fixed A=1 --home /nowhere");
  EXPECT_EQ(nowhere.status, 2);
  EXPECT_EQ(nowhere.err,
            "vireo-cli: /nowhere: use the application folder (there is no such folder (--home "
            "names the folder that holds ctlini.dat))\n");
  EXPECT_FALSE(std::filesystem::exists(job.fixture.app.AdjustedNetworks()));
}

TEST(AdjustCommand, real_leica_job_finds_its_blunder_and_its_workbook_holds_the_json) {
  RealJob job;
  const Outcome refused = Adjust(job.args + "--fixed G=0");
  EXPECT_EQ(refused.status, 2);
  EXPECT_THAT(refused.err, HasSubstr("no benchmark is connected to M, P, R and S:"));
  EXPECT_FALSE(std::filesystem::exists(job.fixture.app.AdjustedNetworks()));

  const Outcome o = Adjust(job.args + "--fixed G=0 --fixed M=0.000 --name job --json");
  ASSERT_EQ(o.status, 0) << o.err;
  const auto json = nlohmann::json::parse(o.out);
  EXPECT_FALSE(json["chi_square"]["pass"]);
  long benchmarks = 0;
  for (const auto& p : json["points"])
    benchmarks += p["name"].get<std::string>().find('@') == std::string::npos;
  EXPECT_EQ(benchmarks, 20);
  // By line of levelling: the sum of the observed differences and the
  // largest |w|.
  const auto& obs = json["observations"];
  std::map<std::string, double> sums, largest;
  for (const auto& ob : obs) {
    sums[LineOf(ob)] += ob["observed_m"].get<double>();
    if (!ob["standardized_residual"].is_null())
      largest[LineOf(ob)] =
          std::max(largest[LineOf(ob)], std::abs(ob["standardized_residual"].get<double>()));
    EXPECT_NEAR(ob["sigma_a_priori_mm"].get<double>(),
                std::sqrt(ob["length_m"].get<double>() / 1000), 1e-12);
  }
  for (const auto& [line, w] : largest)
    EXPECT_TRUE(line == "17" || line == "18" || 3 * w < std::min(largest["17"], largest["18"]))
        << line;
  EXPECT_NEAR((sums["17"] + sums["18"]) * 1000, -73.36, 0.01);

  // The sheets hold what the JSON holds (to the digits the sheets keep),
  // and every part is well-formed XML.
  ASSERT_EQ(json["workbook"], job.fixture.app.AdjustedNetworkWorkbook("job"));
  vireo::Workbook book = vireo::Workbook::Open(json["workbook"]);
  EXPECT_EQ(book.SheetNames(),
            (std::vector<std::string>{"Summary", "Heights", "Observations", "Sections", "Loops"}));
  vireo::Worksheet observations = book.Sheet("Observations");
  ASSERT_EQ(observations.LastRow(), static_cast<int>(obs.size()) + 1);
  const std::string keys =
      "file field_line from to length_m observed_m adjusted_m residual_mm sigma_a_priori_mm "
      "redundancy standardized_residual - mdb_mm";  // the 12th: "flagged" or empty
  for (int row = 2; row <= observations.LastRow(); ++row) {
    EXPECT_EQ(Differing(observations, row, 1, keys, obs[row - 2]), "") << "row " << row;
    EXPECT_EQ(observations.Get(row, 12).text == "flagged", obs[row - 2]["flagged"]);
  }
  // The network points on Heights; a turning point's height beside its set-up.
  vireo::Worksheet heights = book.Sheet("Heights");
  std::map<std::string, const nlohmann::json*> points;
  for (const auto& p : json["points"]) points[p["name"]] = &p;
  for (int row = 2; row <= heights.LastRow(); ++row) {
    const nlohmann::json& p = *points.at(heights.Get(row, 1).text);
    EXPECT_EQ(Differing(heights, row, 2, "height_m - kind", p), "") << "row " << row;
  }
  EXPECT_EQ(heights.LastRow(), 1 + 20);
  EXPECT_TRUE(Same(observations.Get(5, 14), (*points.at(obs[3]["to"]))["height_m"]));

  vireo::Worksheet summary = book.Sheet("Summary");
  std::map<std::string, nlohmann::json> items;
  for (int row = 1; row <= 60; ++row) {
    const vireo::CellValue cell = summary.Get(row, 2);
    items[summary.Get(row, 1).text] = cell.IsEmpty()      ? nlohmann::json()
                                      : cell.text.empty() ? nlohmann::json(cell.number)
                                                          : nlohmann::json(cell.text);
  }
  EXPECT_EQ(items["Degrees of freedom"], json["degrees_of_freedom"]);
  EXPECT_EQ(items["Variance factor s0²"], json["variance_factor"]);
  EXPECT_EQ(items["Test statistic (dof × s0²)"], json["chi_square"]["statistic"]);
  EXPECT_EQ(items["Global test (95 %)"], "FAILED");
  EXPECT_EQ(items["Largest |w|"], largest["17"]);
  EXPECT_EQ(items["Sections run forward and back (pairs)"], 6);
  if (OnPath("xmllint")) {
    EXPECT_EQ(PartsXmllintRefuses(ReadFile(json["workbook"]), job.fixture.folder.Path()), "");
  }

  // As LibreOffice prints it: landscape, every page of the heights and the
  // observations headed by its table's headings (the footer names the
  // sheet), the field line apart from the point beside it.
  if (!OnPath("soffice") || !OnPath("pdftotext")) GTEST_SKIP() << "no LibreOffice or poppler";
  const PrintedPages printed = Print(job.fixture.folder.Path(), json["workbook"]);
  EXPECT_EQ(printed.landscape, std::vector<bool>(printed.pages.size(), true));
  const std::regex heightsHeadings(R"(Point\s+Height \(m\)\s+\S+ \(mm\)\s+Kind\s+Remark)");
  const std::regex observationsHeadings(
      R"(File\s+Field line\s+From\s+To\s+L \(m\)\s+Observed \(m\)\s+Adjusted \(m\))");
  std::map<std::string, int> pages;
  std::string lastObservations;
  for (const std::string& page : printed.pages) {
    const bool isHeights = page.find("job.xlsx, Heights") != std::string::npos;
    const bool isObservations = page.find("job.xlsx, Observations") != std::string::npos;
    pages[isHeights ? "Heights" : isObservations ? "Observations" : "other"] += 1;
    EXPECT_TRUE(!isHeights || std::regex_search(page, heightsHeadings)) << page;
    EXPECT_TRUE(!isObservations || std::regex_search(page, observationsHeadings)) << page;
    if (isObservations) lastObservations = page;
  }
  EXPECT_GE(pages["Heights"], 1);
  EXPECT_GE(pages["Observations"], 3);
  EXPECT_TRUE(std::regex_search(lastObservations,
                                std::regex(R"(\n\s*OSGeoLabBp_tutorials_test {2,}\d+ {2,}\d+@)")))
      << lastObservations;
}

// The checks of the double run find six sections run forward and back, the
// 17th and 18th lines 73 mm apart; snooping removes the 17th line in round 1,
// leaves no |w| above 3.29 and says to re-level it; the loops say the same
// before any adjustment, and the 11th line lies in no loop. The Sections,
// Loops and Summary sheets hold what the JSON holds.
TEST(AdjustCommand, real_leica_job_snooping_forward_and_back_and_loops) {
  RealJob job;
  const std::string args = job.args + "--fixed G=0 --fixed M=0 --snoop ";
  const Outcome o = Adjust(args + "--json");
  ASSERT_EQ(o.status, 0) << o.err;
  const auto json = nlohmann::json::parse(o.out);
  const auto& sections = json["sections"];
  auto line = [&](const nlohmann::json& index) {
    return sections[index.get<int>()]["line"].get<int>();
  };
  // 32 lines between 20 benchmarks, a section each; the 27th comes back to
  // ISZK4, a turning point, after two set-ups: a place of its own.
  ASSERT_EQ(sections.size(), 32u);
  EXPECT_EQ(line(26), 27);
  EXPECT_THAT(json["warnings"][0]["message"].get<std::string>(),
              HasSubstr("ISZK4 is reached at 2 places of one line of levelling that are not "
                        "consecutive set-ups (file lines 1309 and 1319)"));
  std::string pairs;
  for (const auto& pair : json["forward_back"]) {
    pairs += std::to_string(line(pair["forward"])) + "-" + std::to_string(line(pair["back"])) +
             (pair["pass"] ? " " : " FAIL ");
    if (!pair["pass"]) {
      EXPECT_NEAR(pair["difference_mm"].get<double>(), -73.36, 0.005);
      EXPECT_NEAR(pair["tolerance_mm"].get<double>(), 4 * std::sqrt(0.27476), 1e-4);
    }
  }
  EXPECT_EQ(pairs, "1-2 3-4 5-6 7-8 17-18 FAIL 24-25 ");

  ASSERT_EQ(json["snooping"].size(), 1u);
  const auto& round = json["snooping"][0];
  EXPECT_EQ(round["line"].get<int>() * 100 + round["setups"].get<int>(), 1708);
  EXPECT_EQ(round["from"].get<std::string>() + round["to"].get<std::string>(), "IN");
  EXPECT_NEAR(round["w"].get<double>(), 101.55, 0.005);
  EXPECT_NEAR(round["estimated_blunder_mm"].get<double>(), -73.43, 0.005);
  EXPECT_EQ(round["global_test_after"]["statistic"], json["chi_square"]["statistic"]);
  EXPECT_EQ(json["snooping_end"], "no |w| exceeds the flag limit 3.29");
  long removed = 0;
  for (const auto& ob : json["observations"]) {
    removed += !ob["removed_in_round"].is_null();
    EXPECT_EQ(ob["removed_in_round"].is_null(), LineOf(ob) != "17");
    EXPECT_FALSE(ob["flagged"]);
  }
  EXPECT_EQ(removed, 8);
  const Outcome text = Adjust(args);
  EXPECT_THAT(text.out, HasSubstr("\n  re-level:             OSGeoLabBp_tutorials_test line 17 "
                                  "(I -> N, 8 set-ups, 359.5 m)\n"));

  // Every loop through the 17th line fails; the 18th line closes with the
  // rest of the network.
  ASSERT_EQ(json["loops"].size(), 14u);
  bool eighteenAlone = false;
  for (const auto& loop : json["loops"]) {
    bool through17 = false, through18 = false;
    for (const auto& step : loop["sections"]) {
      through17 |= line(step["section"]) == 17;
      through18 |= line(step["section"]) == 18;
    }
    EXPECT_EQ(loop["pass"], !through17) << loop.dump();
    if (through18 && !through17) {
      eighteenAlone = true;
      EXPECT_LT(std::abs(loop["misclose_mm"].get<double>()), 0.6);
    }
  }
  EXPECT_TRUE(eighteenAlone);
  ASSERT_EQ(json["sections_in_no_loop"].size(), 1u);
  EXPECT_EQ(line(json["sections_in_no_loop"][0]), 11);

  vireo::Workbook book = vireo::Workbook::Open(json["workbook"]);
  vireo::Worksheet pairSheet = book.Sheet("Sections");
  for (int i = 0; i < 6; ++i) {
    const auto& pair = json["forward_back"][i];
    EXPECT_EQ(Differing(pairSheet, 3 + i, 3, "mean_length_m difference_mm tolerance_mm", pair), "")
        << i;
    EXPECT_EQ(pairSheet.Get(3 + i, 6).text, pair["pass"] ? "PASS" : "FAIL") << i;
  }
  ASSERT_EQ(pairSheet.Get(11, 1).text, "From");
  const std::string keys =
      "from to file line - setups length_m observed_m adjusted_m residual_mm redundancy "
      "standardized_residual mdb_mm";
  for (int s = 0; s < 32; ++s) {
    EXPECT_EQ(Differing(pairSheet, 12 + s, 1, keys, sections[s]), "") << s;
    const std::string remark = pairSheet.Get(12 + s, 14).text;
    EXPECT_EQ(remark, s == 16 ? "removed in round 1" : s == 10 ? "no check; in no loop" : "") << s;
  }
  vireo::Worksheet loops = book.Sheet("Loops");
  EXPECT_EQ(loops.Get(2, 1).text,
            "1 section lies in no loop, so no loop checks it: OSGeoLabBp_tutorials_test line of "
            "levelling 11 "
            "R \u2192 M");
  for (int l = 0; l < 14; ++l) {
    const auto& loop = json["loops"][l];
    EXPECT_EQ(loops.Get(5 + l, 2).number, static_cast<double>(loop["sections"].size()));
    EXPECT_EQ(Differing(loops, 5 + l, 3, "length_m misclose_mm tolerance_mm", loop), "") << l;
    EXPECT_EQ(loops.Get(5 + l, 6).text, loop["pass"] ? "PASS" : "FAIL") << l;
  }
  vireo::Worksheet summary = book.Sheet("Summary");
  std::map<std::string, int> rowOf;
  for (int row = 1; row <= 80; ++row) rowOf[summary.Get(row, 1).text] = row;
  EXPECT_EQ(summary.Get(rowOf["Re-level (removed by snooping)"], 2).text,
            "OSGeoLabBp_tutorials_test line of levelling 17 I \u2192 N");
  const int first = rowOf["1: OSGeoLabBp_tutorials_test line of levelling 17 I \u2192 N"];
  ASSERT_GT(first, 0);
  EXPECT_EQ(Differing(summary, first, 2, "w estimated_blunder_mm", round), "");
  EXPECT_EQ(summary.Get(first, 4).text, "5.11 passed");
}

// Vireo's own level data file of the job names its turning points 1, 2, 3...
// afresh in every line and does not mark where a line starts, so it cannot
// give the job's heights: the adjustment keeps the repeated names apart,
// says so, and is refused where parts no longer reach G or M.
TEST(AdjustCommand, the_jobs_own_level_data_file_says_why_it_cannot_be_adjusted) {
  RealJob job;
  const std::string levelData = vireo::ProcessField(job.gsi, job.fixture.app).levelDataPath;
  const Outcome o = Adjust("'" + levelData + "' --home '" + job.fixture.folder.Path() +
                           "' --fixed G=0 --fixed M=0");
  EXPECT_EQ(o.status, 2);
  EXPECT_THAT(o.err, HasSubstr("warning: " + levelData + " line 12: 2 is reached at 16 places"));
  EXPECT_NE(o.err.find("(no benchmark is connected to "), std::string::npos);
  EXPECT_NE(o.err.find("adjust the field data file, which holds the lines)"), std::string::npos);

  const Outcome both = Adjust(job.args + "'" + levelData + "' --fixed G=0 --fixed M=0");
  EXPECT_EQ(both.status, 2);
  EXPECT_THAT(both.err,
              HasSubstr(levelData + ": read the inputs (its 336 set-ups are those of " + job.gsi));
}

// The bundled sample network passes its global test at the default sigma;
// its second day with the planted 4 mm blunder is flagged, and snooping
// removes that line in round 1.
TEST(AdjustCommand, bundled_sample_networks_pass_and_give_up_their_blunder) {
  AppFixture fixture;
  const std::string samples = std::string(VIREO_APP_DIR) + "/Field Data/";
  const std::string args = "'" + samples + "NETWORK_DAY1.dat' --fixed BM1=100 --json --home '" +
                           fixture.folder.Path() + "' ";
  const auto clean = nlohmann::json::parse(Adjust(args + "'" + samples + "NETWORK_DAY2.gsi'").out);
  EXPECT_TRUE(clean["chi_square"]["pass"]);
  EXPECT_EQ(clean["degrees_of_freedom"], 4);
  for (const auto& ob : clean["observations"]) EXPECT_FALSE(ob["flagged"]);

  const std::string blunder = "'" + samples + "NETWORK_DAY2_BLUNDER.gsi' ";
  const auto flagged = nlohmann::json::parse(Adjust(args + blunder).out);
  EXPECT_FALSE(flagged["chi_square"]["pass"]);
  const auto snooped = nlohmann::json::parse(Adjust(args + blunder + "--snoop").out);
  ASSERT_EQ(snooped["snooping"].size(), 1u);
  const auto& round = snooped["snooping"][0];
  EXPECT_EQ(round["file"].get<std::string>() + " " + round["from"].get<std::string>() + "-" +
                round["to"].get<std::string>(),
            "NETWORK_DAY2_BLUNDER BM4-BM5");
  EXPECT_NEAR(round["estimated_blunder_mm"].get<double>(), -4, 0.5);
  EXPECT_TRUE(snooped["chi_square"]["pass"]);
}

// process and adjust find the same breaks of the chain of set-ups in every
// field file of the test data, and in a job with a set-up lost from it.
TEST(AdjustCommand, finds_the_chain_breaks_that_process_finds) {
  AppFixture fixture;
  std::string lost = ReadFile(std::string(VIREO_FIXTURES) + "/instrument-like/LOOP_BFFB.dat");
  const std::size_t from = lost.find("For M5|Adr    14|");  // a set-up's four readings
  lost.erase(from, lost.find("For M5|Adr    18|") - from);
  std::vector<std::string> files = {kRealGsiJob, fixture.AddFieldFile("LOST.dat", lost)};
  for (const char* name : {"LOOP_BFFB.dat", "TWO_LINES_aBFFB.dat"})
    files.push_back(std::string(VIREO_FIXTURES) + "/instrument-like/" + name);
  const std::string home = " --home " + Quote(fixture.folder.Path()) + " --json";
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    const auto process = nlohmann::json::parse(RunCli("process " + Quote(file) + home).out);
    std::set<long> byProcess, byAdjust;
    std::set<std::string> starts;
    for (const auto& f : process["checks"]["failed"])
      if (f["check"] == "setup_chain") byProcess.insert(f["field_line"].get<long>());
    std::string fixed;  // every line's start fixed, so every part reaches a benchmark
    for (const auto& line : process["checks"]["lines"])
      if (starts.insert(line["start"].get<std::string>()).second)
        fixed += " --fixed " + Quote(line["start"].get<std::string>() + "=100");
    const Outcome adjust = Adjust(Quote(file) + fixed + home);
    ASSERT_EQ(adjust.status, 0) << adjust.err;
    const auto adjusted = nlohmann::json::parse(adjust.out);
    for (const auto& b : adjusted["chain_breaks"]) byAdjust.insert(b["line"].get<long>());
    EXPECT_EQ(byProcess, byAdjust);
    if (file.ends_with("LOST.dat")) {
      EXPECT_EQ(byProcess, (std::set<long>{15}));
    }
  }
}
