// Every file operation of a processing run and of the RL adjustment is
// failed in turn, over an earlier good result. Afterwards each stored file
// is either exactly as before or the complete new one, no temporary file is
// left behind unannounced, and the failure was reported.
#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <filesystem>

#include "common/Error.h"
#include "output/Workbook.h"
#include "report/ProcessField.h"
#include "rlinput/Adjustment.h"
#include "tests/support/Cli.h"
#include "tests/support/Clients.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/support/FieldFiles.h"

using namespace vireo;
using namespace vireo::testing;

namespace {

std::string Simulated(std::uint32_t seed, int setups) {
  return examples::SimulateFieldFile({.seed = seed, .setupsPerLine = setups});
}

std::string AllFiles(const std::string& root) {
  std::string names;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root))
    if (e.is_regular_file()) names += std::filesystem::relative(e.path(), root).string() + ";";
  return names;
}

}  // namespace

TEST(FaultInjection, a_processing_run_over_an_earlier_result) {
  AppFixture fixture;
  const std::string field = fixture.AddFieldFile("LINE.dat", Simulated(1, 6));
  ProcessField(field, fixture.app);
  const std::string oldWorkbook = ReadFile(fixture.app.ProcessedWorkbook("LINE"));
  const std::string oldLevel = ReadFile(fixture.app.LevelDataFile("LINE"));
  const std::string files = AllFiles(fixture.app.root);
  const auto oldCells = ReportCells(fixture.app.ProcessedWorkbook("LINE"));

  // The new result, made once without faults in a second folder.
  AppFixture clean;
  const auto expected = clean.Process("LINE.dat", Simulated(2, 9));
  const auto newCells = ReportCells(expected.workbookPath);
  const std::string newLevel = ReadFile(expected.levelDataPath);
  EXPECT_NE(oldCells, newCells);

  WriteFile(field, Simulated(2, 9));
  const long points = FailEachOperation(
      [&](FileSystem& fs) {
        // The earlier result back before each try.
        WriteFile(fixture.app.ProcessedWorkbook("LINE"), oldWorkbook);
        WriteFile(fixture.app.LevelDataFile("LINE"), oldLevel);
        const auto result = ProcessField(field, fixture.app, fs);
        return result.failures.empty() ? std::string() : result.failures[0];
      },
      [&](long k, const std::string& reported) {
        EXPECT_FALSE(reported.empty()) << "failure at operation " << k << " went unreported";
        const std::string level = ReadFile(fixture.app.LevelDataFile("LINE"));
        EXPECT_TRUE(level == oldLevel || level == newLevel) << "level data file, operation " << k;
        const bool oldBook = ReadFile(fixture.app.ProcessedWorkbook("LINE")) == oldWorkbook;
        EXPECT_TRUE(oldBook || ReportCells(fixture.app.ProcessedWorkbook("LINE")) == newCells)
            << "workbook, operation " << k;
        EXPECT_EQ(oldBook, level == oldLevel) << "a pair of mixed runs, operation " << k;
        // A complete install whose last step failed leaves the earlier level
        // data file beside the lock for the next run to put back, and says so.
        if (reported.find("the next run of LINE puts it back") != std::string::npos)
          std::filesystem::remove(TemporaryName(fixture.app.OutputsLock("LINE"), "000000000000"));
        EXPECT_EQ(AllFiles(fixture.app.root), files) << "operation " << k;
      });
  std::printf("processing run: %ld injection points tried\n", points);
  EXPECT_GT(points, 20);
}

TEST(FaultInjection, the_ok_of_the_rl_dialog) {
  AppFixture fixture;
  const auto run = fixture.Process("LOOP.dat", Simulated(3, 7));
  const std::string files = AllFiles(fixture.app.root);
  std::string before = ReadFile(run.workbookPath);
  int kept = 0;
  const long points = FailEachOperation(
      [&](FileSystem& fs) {
        const auto result =
            AdjustReducedLevels(run.summary, LoopType::OpenLoop, "20.5", "21.25", fixture.app, fs);
        return result.Ok() ? std::string() : result.message;
      },
      [&](long k, const std::string& reported) {
        EXPECT_FALSE(reported.empty()) << "failure at operation " << k << " reported as success";
        EXPECT_EQ(ReadFile(run.workbookPath), before) << "operation " << k;
        // Only a failed final rename may leave the complete file, and says where.
        for (const auto& e : std::filesystem::directory_iterator(fixture.app.ProcessedFiles()))
          if (e.path() != run.workbookPath) {
            EXPECT_NE(reported.find(e.path().string()), std::string::npos) << reported;
            std::filesystem::remove(e.path()), ++kept;
          }
        EXPECT_EQ(AllFiles(fixture.app.root), files) << "operation " << k;
      },
      [&](const std::string& reported) {
        ASSERT_EQ(reported, "");
        EXPECT_EQ(Workbook::Open(run.workbookPath).Get(run.summary.firstDataRow, 13).number, 20.5);
        before = ReadFile(run.workbookPath);
      });
  std::printf("RL adjustment: %ld injection points tried\n", points);
  EXPECT_GT(points, 8);
  EXPECT_GT(kept, 0) << "a failed rename did not keep the adjusted workbook";
}

// A real full disk: the application folder on a small tmpfs, filled to its
// last 8 KiB between two runs of one base name. The second run cannot save
// its workbook, so neither of its outputs replaces the first run's.
TEST(FaultInjection, a_full_disk_keeps_the_pair_of_the_earlier_run) {
  TempFolder mount;
  if (geteuid() != 0 || Shell("mount -t tmpfs -o size=400k vireo-test '" + mount.Path() + "'") != 0)
    GTEST_SKIP() << "mounting a tmpfs needs root";
  struct Unmount {
    std::string path;
    ~Unmount() { Shell("umount '" + path + "'"); }
  } unmount{mount.Path()};
  const AppFolder app = MakeAppFolder(mount.Path());
  WriteFile(app.ControlFile(), "E4\r\n");
  Workbook::CreateBlank().Save(app.Template());
  const std::string field = mount.Path() + "/JOB.dat";
  const std::string process = "process " + Quote(field) + " --home " + Quote(mount.Path());
  WriteFile(field, Simulated(1, 12));
  ASSERT_EQ(RunCli(process).status, 0);
  const std::string workbook = ReadFile(app.ProcessedWorkbook("JOB"));
  const std::string level = ReadFile(app.LevelDataFile("JOB"));

  WriteFile(field,
            examples::SimulateFieldFile({.seed = 2, .setupsPerLine = 8, .closedLoop = false}));
  struct statvfs disk {};
  ASSERT_EQ(statvfs(mount.Path().c_str(), &disk), 0);
  const auto free = static_cast<long long>(disk.f_bavail) * static_cast<long long>(disk.f_frsize);
  WriteFile(mount.Path() + "/filler", std::string(static_cast<std::size_t>(free - 8192), 'x'));
  EXPECT_EQ(RunCli(process).status, 1);
  EXPECT_EQ(ReadFile(app.ProcessedWorkbook("JOB")), workbook);
  EXPECT_EQ(ReadFile(app.LevelDataFile("JOB")), level);
}

// A run killed between its renames left the earlier level data file beside
// the lock: the next run puts it back before it moves anything, so even a
// run that then keeps both outputs (here a read-only workbook) restores it.
TEST(FaultInjection, the_copy_a_killed_run_left_aside_is_put_back) {
  AppFixture fixture;
  const std::string field = fixture.AddFieldFile("LINE.dat", Simulated(1, 6));
  ASSERT_TRUE(ProcessField(field, fixture.app).OutputsWritten());
  const std::string aside = TemporaryName(fixture.app.OutputsLock("LINE"), "000000000000");
  const std::string level = fixture.app.LevelDataFile("LINE");
  std::filesystem::rename(level, aside);
  WriteFile(level, "the killed run's new file\r\n");
  const std::string earlier = ReadFile(aside);
  std::filesystem::permissions(fixture.app.ProcessedWorkbook("LINE"),
                               std::filesystem::perms::owner_read);
  const auto kept = ProcessField(field, fixture.app);
  EXPECT_FALSE(kept.OutputsWritten());
  EXPECT_EQ(ReadFile(level), earlier);
  EXPECT_FALSE(std::filesystem::exists(aside));
  EXPECT_TRUE(std::any_of(kept.warnings.begin(), kept.warnings.end(), [&](const RunWarning& w) {
    return w.message.find("it is put back as " + level) != std::string::npos;
  }));
}

// A folder at an output's path is named, and nothing is moved or written.
TEST(FaultInjection, a_folder_at_an_output_path_is_refused_before_anything_moves) {
  AppFixture fixture;
  const std::string field = fixture.AddFieldFile("LINE.dat", Simulated(1, 6));
  for (const std::string& path :
       {fixture.app.LevelDataFile("LINE"), fixture.app.ProcessedWorkbook("LINE")}) {
    std::filesystem::create_directories(path);
    WriteFile(path + "/mine.txt", "kept");
    const std::string files = AllFiles(fixture.app.root);
    auto run = RunCli("process " + Quote(field) + " --home " + Quote(fixture.app.root));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(path + ": it is a folder"), std::string::npos) << run.err;
    EXPECT_EQ(AllFiles(fixture.app.root), files) << path;
    std::filesystem::remove_all(path);
  }
}
