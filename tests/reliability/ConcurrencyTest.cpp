// Real vireo-cli runs in one application folder at once, each started a
// random moment after the one before, as a job runner or a second window
// would start them: two field files of one base name from two folders, two
// base names, all with adjustments, and the two name settings. Afterwards
// every output is whole, the workbook and the level data file of a base
// name come from one run, no setting is lost and no exit status lies.
#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <map>
#include <random>
#include <thread>

#include "output/Workbook.h"
#include "tests/support/Cli.h"
#include "tests/support/FieldFiles.h"

using namespace vireo;
using namespace vireo::testing;

namespace {

// The words of a command line, each quoted for the shell.
std::string Words(const std::vector<std::string>& arguments) {
  std::string words;
  for (const std::string& a : arguments) words += Quote(a) + " ";
  return words;
}

}  // namespace

TEST(Concurrency, runs_at_once_neither_mix_nor_lose_outputs_and_settings) {
  AppFixture home;
  auto process = [&](const std::string& name, std::uint32_t seed, const char* startRl) {
    std::filesystem::create_directories(home.app.FieldData() + "/" + std::to_string(seed));
    const std::string field =
        home.AddFieldFile(std::to_string(seed) + "/" + name + ".dat",
                          examples::SimulateFieldFile({.seed = seed, .setupsPerLine = 300}));
    return std::vector<std::string>{"process",     field,        "--home",
                                    home.app.root, "--start-rl", startRl};
  };
  // LINE from two folders, X and Y alone; the same run alone tells each
  // run's outputs (the report's figures from row 5: the settings runs change
  // the header).
  const std::vector<std::vector<std::string>> runs{process("LINE", 1, "100"),
                                                   process("LINE", 2, "200"),
                                                   process("X", 3, "300"),
                                                   process("Y", 4, "400"),
                                                   {},
                                                   {}};
  std::vector<std::pair<std::vector<CellValue>, std::string>> alone;
  for (int r = 0; r < 4; ++r) {
    const Outcome o = RunCli(Words(runs[r]));
    ASSERT_EQ(o.status, 0) << o.err;
    const std::string base = r < 2 ? "LINE" : r == 2 ? "X" : "Y";
    alone.emplace_back(ReportCells(home.app.ProcessedWorkbook(base), 5),
                       ReadFile(home.app.LevelDataFile(base)));
  }

  std::mt19937 random(17);
  int blocked = 0;
  for (int round = 0; round < 12; ++round) {
    auto commands = runs;
    commands[4] = {"set", "company", "C" + std::to_string(round), "--home", home.app.root};
    commands[5] = {"set", "personnel", "P" + std::to_string(round), "--home", home.app.root};
    std::shuffle(commands.begin(), commands.end(), random);
    std::vector<std::future<Outcome>> started;
    for (const auto& command : commands) {
      started.push_back(std::async(std::launch::async, RunCli, Words(command), "", ""));
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 8000));
    }
    std::map<std::string, int> status;  // by field file or setting
    for (std::size_t i = 0; i < commands.size(); ++i) {
      const Outcome o = started[i].get();
      const std::string log = o.out + o.err;
      status[commands[i][1]] = o.status;
      // A run whose workbook another run replaced before its adjustment
      // says so; nothing else may fail.
      const bool saysBlocked = log.find("no longer holds the figures") != std::string::npos;
      EXPECT_TRUE(o.status == 0 || (o.status == 1 && saysBlocked)) << log;
      blocked += saysBlocked;
    }
    for (int r = 1; r < 4; ++r) {
      const std::string base = r == 1 ? "LINE" : r == 2 ? "X" : "Y";
      const std::string levelData = ReadFile(home.app.LevelDataFile(base));
      const int from = r == 1 && levelData == alone[0].second ? 0 : r;
      ASSERT_EQ(levelData, alone[from].second) << base << ", round " << round;
      EXPECT_TRUE(ReportCells(home.app.ProcessedWorkbook(base), 5) == alone[from].first)
          << base << ": the workbook is not from the level data file's run, round " << round;
      EXPECT_EQ(status[runs[from][1]], 0) << "the run whose outputs stand, round " << round;
    }
    EXPECT_EQ(ReadFile(home.app.ControlFile()),
              "YC" + std::to_string(round) + "\r\nPP" + std::to_string(round) + "\r\nE4\r\n");
  }
  EXPECT_EQ(ListFolder(home.app.ProcessedFiles()) + ListFolder(home.app.StarNetFolder()),
            "LINE.xlsx;X.xlsx;Y.xlsx;SN_LINE.dat;SN_X.dat;SN_Y.dat;");
  std::printf("%d runs found their workbook replaced by another run's before adjusting\n", blocked);
}
