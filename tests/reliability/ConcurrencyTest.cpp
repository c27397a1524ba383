// Real vireo-cli runs in one application folder at once, each started a
// random moment after the one before, as a job runner or a second window
// would start them: two field files of one base name from two folders, two
// base names, all with adjustments, and the two name settings. Afterwards
// every output is whole, the workbook and the level data file of a base
// name come from one run, no setting is lost and no exit status lies.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <map>
#include <random>
#include <thread>

#include "output/Workbook.h"
#include "tests/support/FieldFiles.h"

extern char** environ;

using namespace vireo;
using namespace vireo::testing;

namespace {

// Runs vireo-cli with `arguments` to its end; standard output and error go
// to `log`.
pid_t Start(std::vector<std::string> arguments, const std::string& log) {
  arguments.insert(arguments.begin(), VIREO_CLI);
  std::vector<char*> argv;
  for (auto& a : arguments) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int Wait(pid_t pid) {
  int raw = 0;
  waitpid(pid, &raw, 0);
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// The report's figures (rows 5 to 40), read by the workbook reader, which
// refuses anything but a whole package.
std::vector<CellValue> Figures(const std::string& workbook) {
  const Workbook w = Workbook::Open(workbook);
  std::vector<CellValue> cells;
  for (int row = 5; row <= 40; ++row)
    for (int column = 1; column <= 14; ++column) cells.push_back(w.Get(row, column));
  return cells;
}

}  // namespace

TEST(Concurrency, runs_at_once_neither_mix_nor_lose_outputs_and_settings) {
  AppFixture home;
  TempFolder logs;
  auto process = [&](const std::string& name, std::uint32_t seed, const char* startRl) {
    std::filesystem::create_directories(home.app.FieldData() + "/" + std::to_string(seed));
    const std::string field =
        home.AddFieldFile(std::to_string(seed) + "/" + name + ".dat",
                          examples::SimulateFieldFile({.seed = seed, .setupsPerLine = 300}));
    return std::vector<std::string>{"process",     field,        "--home",
                                    home.app.root, "--start-rl", startRl};
  };
  // LINE from two folders, X and Y alone; the same run alone tells each
  // run's outputs.
  const std::vector<std::vector<std::string>> runs{process("LINE", 1, "100"),
                                                   process("LINE", 2, "200"),
                                                   process("X", 3, "300"),
                                                   process("Y", 4, "400"),
                                                   {},
                                                   {}};
  std::vector<std::pair<std::vector<CellValue>, std::string>> alone;
  for (int r = 0; r < 4; ++r) {
    ASSERT_EQ(Wait(Start(runs[r], logs / "log")), 0) << ReadFile(logs / "log");
    const std::string base = r < 2 ? "LINE" : r == 2 ? "X" : "Y";
    alone.emplace_back(Figures(home.app.ProcessedWorkbook(base)),
                       ReadFile(home.app.LevelDataFile(base)));
  }

  std::mt19937 random(17);
  int blocked = 0;
  for (int round = 0; round < 12; ++round) {
    auto commands = runs;
    commands[4] = {"set", "company", "C" + std::to_string(round), "--home", home.app.root};
    commands[5] = {"set", "personnel", "P" + std::to_string(round), "--home", home.app.root};
    std::shuffle(commands.begin(), commands.end(), random);
    std::vector<pid_t> started;
    for (std::size_t i = 0; i < commands.size(); ++i) {
      started.push_back(Start(commands[i], logs / std::to_string(i)));
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 8000));
    }
    std::map<std::string, int> status;  // by field file or setting
    for (std::size_t i = 0; i < commands.size(); ++i) {
      const int s = Wait(started[i]);
      const std::string log = ReadFile(logs / std::to_string(i));
      status[commands[i][1]] = s;
      // A run whose workbook another run replaced before its adjustment
      // says so; nothing else may fail.
      const bool saysBlocked = log.find("no longer holds the figures") != std::string::npos;
      EXPECT_TRUE(s == 0 || (s == 1 && saysBlocked)) << log;
      blocked += saysBlocked;
    }
    for (int r = 1; r < 4; ++r) {
      const std::string base = r == 1 ? "LINE" : r == 2 ? "X" : "Y";
      const std::string levelData = ReadFile(home.app.LevelDataFile(base));
      const int from = r == 1 && levelData == alone[0].second ? 0 : r;
      ASSERT_EQ(levelData, alone[from].second) << base << ", round " << round;
      EXPECT_TRUE(Figures(home.app.ProcessedWorkbook(base)) == alone[from].first)
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
