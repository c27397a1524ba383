// Pairs of real vireo-cli runs in one application folder, the second
// started a random moment after the first, as a job runner or a second
// window would start them. Afterwards every output is whole, the workbook
// and the level data file of one base name come from one run, no setting is
// lost and no exit status lies.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <random>
#include <thread>

#include "output/Workbook.h"
#include "tests/support/FieldFiles.h"

extern char** environ;

using namespace vireo;
using namespace vireo::testing;

namespace {

using namespace std::chrono_literals;

constexpr int kPairs = 12;

// Starts vireo-cli with `arguments`, standard output and error to `log`.
pid_t Start(const std::vector<std::string>& arguments, const std::string& log) {
  std::vector<std::string> words{VIREO_CLI};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
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

// Runs `a` and `b` at once, `b` started up to `offset` after `a`.
std::pair<int, int> RunPair(const std::vector<std::string>& a, const std::vector<std::string>& b,
                            const TempFolder& logs, std::mt19937& random,
                            std::chrono::microseconds offset) {
  const pid_t first = Start(a, logs / "a.log");
  std::this_thread::sleep_for(
      std::chrono::microseconds(std::uniform_int_distribution<long>(0, offset.count())(random)));
  const pid_t second = Start(b, logs / "b.log");
  return {Wait(first), Wait(second)};
}

// The cells that tell one survey's report from another's.
std::vector<CellValue> Figures(const std::string& workbook) {
  const Workbook w = Workbook::Open(workbook);  // throws unless whole
  std::vector<CellValue> cells;
  for (int row = 5; row <= 40; ++row)
    for (int column = 1; column <= 14; ++column) cells.push_back(w.Get(row, column));
  return cells;
}

std::string Simulated(std::uint32_t seed, int setups) {
  examples::SimulationOptions o;
  o.seed = seed;
  o.setupsPerLine = setups;
  return examples::SimulateFieldFile(o);
}

// What one run alone makes of `field` with `extra` arguments.
struct Alone {
  std::vector<CellValue> figures;
  std::string levelData;
  Alone(const std::string& field, const std::vector<std::string>& extra) {
    AppFixture home;
    std::vector<std::string> arguments{"process", field, "--home", home.app.root};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    EXPECT_EQ(Wait(Start(arguments, home.folder / "log")), 0) << ReadFile(home.folder / "log");
    figures = Figures(home.app.ProcessedWorkbook("LINE"));
    levelData = ReadFile(home.app.LevelDataFile("LINE"));
  }
};

}  // namespace

TEST(Concurrency, same_base_name_from_two_folders_with_adjustments) {
  AppFixture home;
  TempFolder logs;
  std::filesystem::create_directories(home.app.FieldData() + "/a");
  std::filesystem::create_directories(home.app.FieldData() + "/b");
  const std::string fieldA = home.AddFieldFile("a/LINE.dat", Simulated(1, 300));
  const std::string fieldB = home.AddFieldFile("b/LINE.dat", Simulated(2, 400));
  const std::vector<std::string> keyedA{"--start-rl", "100"}, keyedB{"--start-rl", "200"};
  const Alone a(fieldA, keyedA), b(fieldB, keyedB);
  ASSERT_NE(a.levelData, b.levelData);

  std::mt19937 random(17);
  int blocked = 0;
  for (int pair = 0; pair < kPairs; ++pair) {
    std::vector<std::string> runA{"process", fieldA, "--home", home.app.root},
        runB{"process", fieldB, "--home", home.app.root};
    runA.insert(runA.end(), keyedA.begin(), keyedA.end());
    runB.insert(runB.end(), keyedB.begin(), keyedB.end());
    const auto [statusA, statusB] = RunPair(runA, runB, logs, random, 20ms);
    const std::string levelData = ReadFile(home.app.LevelDataFile("LINE"));
    const bool fromA = levelData == a.levelData;
    ASSERT_TRUE(fromA || levelData == b.levelData) << "pair " << pair << ": level data mixed";
    // The workbook is whole, from the same run, and adjusted by that run.
    EXPECT_TRUE(Figures(home.app.ProcessedWorkbook("LINE")) == (fromA ? a.figures : b.figures))
        << "pair " << pair << ": the workbook is not from the level data file's run";
    EXPECT_EQ(fromA ? statusA : statusB, 0) << "pair " << pair << ": the final pair's run";
    // A run whose workbook another run replaced before its adjustment says so.
    for (const auto& [status, log] :
         {std::pair{statusA, logs / "a.log"}, {statusB, logs / "b.log"}}) {
      EXPECT_TRUE(status == 0 || status == 1) << ReadFile(log);
      if (status == 1) {
        EXPECT_NE(ReadFile(log).find("no longer holds the figures"), std::string::npos)
            << ReadFile(log);
        ++blocked;
      }
    }
    EXPECT_EQ(ListFolder(home.app.ProcessedFiles()), "LINE.xlsx;");
    EXPECT_EQ(ListFolder(home.app.StarNetFolder()), "SN_LINE.dat;");
  }
  std::printf("same base name: %d of %d runs blocked from adjusting the other's workbook\n",
              blocked, 2 * kPairs);
}

TEST(Concurrency, different_base_names_with_adjustments_keep_their_own_reports) {
  AppFixture home;
  TempFolder logs;
  const std::string fieldX = home.AddFieldFile("X.dat", Simulated(3, 300));
  const std::string fieldY = home.AddFieldFile("Y.dat", Simulated(4, 400));
  std::mt19937 random(29);
  for (int pair = 0; pair < kPairs; ++pair) {
    const auto [statusX, statusY] = RunPair(
        {"process", fieldX, "--home", home.app.root, "--start-rl", "100"},
        {"process", fieldY, "--home", home.app.root, "--start-rl", "200", "--end-rl", "200.5"},
        logs, random, 20ms);
    ASSERT_EQ(statusX, 0) << ReadFile(logs / "a.log");
    ASSERT_EQ(statusY, 0) << ReadFile(logs / "b.log");
    for (const auto& [name, start] : {std::pair{"X", 100.0}, {"Y", 200.0}}) {
      const Workbook w = Workbook::Open(home.app.ProcessedWorkbook(name));
      EXPECT_EQ(w.Get(2, 1).text, std::string("File Name                - ") + name);
      EXPECT_EQ(w.Get(10, 13).number, start) << name << ", pair " << pair;
    }
  }
  EXPECT_EQ(ListFolder(home.app.ProcessedFiles()), "X.xlsx;Y.xlsx;");
  EXPECT_EQ(ListFolder(home.app.root),
            "Existing.xlsx;Field Data;Processed Files;StarNet Format;ctlini.dat;");
}

TEST(Concurrency, settings_changed_at_once_are_both_kept) {
  AppFixture home;
  TempFolder logs;
  std::mt19937 random(41);
  for (int pair = 0; pair < 4 * kPairs; ++pair) {
    const std::string company = "Company " + std::to_string(pair);
    const std::string personnel = "Surveyor " + std::to_string(pair);
    const auto [statusY, statusP] =
        RunPair({"set", "company", company, "--home", home.app.root},
                {"set", "personnel", personnel, "--home", home.app.root}, logs, random, 3ms);
    ASSERT_EQ(statusY, 0) << ReadFile(logs / "a.log");
    ASSERT_EQ(statusP, 0) << ReadFile(logs / "b.log");
    ASSERT_EQ(ReadFile(home.app.ControlFile()), "Y" + company + "\r\nP" + personnel + "\r\nE4\r\n")
        << "pair " << pair;
  }
  EXPECT_EQ(ListFolder(home.app.root), "Existing.xlsx;Field Data;ctlini.dat;");
}
