// Every file operation of a processing run and of the RL adjustment is
// failed in turn, over an earlier good result. Afterwards each stored file
// is either exactly as before or the complete new one, no temporary file is
// left behind unannounced, and the failure was reported.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/Error.h"
#include "output/Workbook.h"
#include "reduction/ProcessField.h"
#include "rlinput/Adjustment.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/support/FieldFiles.h"

using namespace vireo;
using namespace vireo::testing;

namespace {

class Yes : public RunSurroundings {
 public:
  bool AskForNewReducedLevel(const std::string&, const std::string&) override { return true; }
};

std::string Simulated(std::uint32_t seed, int setups) {
  examples::SimulationOptions o;
  o.seed = seed;
  o.setupsPerLine = setups;
  return examples::SimulateFieldFile(o);
}

// All cells of the first `rows` rows, for comparing workbooks by content
// (the package bytes carry the time of saving).
std::vector<CellValue> Cells(const std::string& path, int rows) {
  Workbook w = Workbook::Open(path);
  std::vector<CellValue> cells;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= 14; ++c) cells.push_back(w.Get(r, c));
  return cells;
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
  Yes yes;
  const std::string field = fixture.AddFieldFile("LINE.dat", Simulated(1, 6));
  ProcessField(field, fixture.app, yes);
  const std::string oldWorkbook = ReadFile(fixture.app.ProcessedWorkbook("LINE"));
  const std::string oldLevel = ReadFile(fixture.app.LevelDataFile("LINE"));
  const std::string files = AllFiles(fixture.app.root);

  // The new result, made once without faults in a second folder.
  AppFixture clean;
  WriteFile(clean.app.FieldData() + "/LINE.dat", Simulated(2, 9));
  const auto expected = ProcessField(clean.app.FieldData() + "/LINE.dat", clean.app, yes);
  const auto newCells = Cells(expected.workbookPath, 40);
  const std::string newLevel = ReadFile(expected.levelDataPath);
  const auto oldCells = Cells(fixture.app.ProcessedWorkbook("LINE"), 40);

  WriteFile(field, Simulated(2, 9));
  long points = 0;
  // Each operation fails in turn, first as the file system, then as memory
  // running out, which the front ends report.
  for (long k = 1, outOfMemory = 0; outOfMemory < 2; ++k) {
    // Put the earlier result back before each try.
    WriteFile(fixture.app.ProcessedWorkbook("LINE"), oldWorkbook);
    WriteFile(fixture.app.LevelDataFile("LINE"), oldLevel);
    FaultyFileSystem fs(k, outOfMemory);
    bool reported = false;
    try {
      auto result = ProcessField(field, fixture.app, yes, fs);
      reported = !result.failures.empty();
    } catch (const Error& e) {
      reported = true;
    } catch (const std::bad_alloc&) {
      reported = true;
    }
    if (!fs.Failed()) {
      k = 0, ++outOfMemory;
      continue;
    }
    ++points;
    EXPECT_TRUE(reported) << "failure at operation " << k << " went unreported";
    const std::string level = ReadFile(fixture.app.LevelDataFile("LINE"));
    EXPECT_TRUE(level == oldLevel || level == newLevel) << "level data file, operation " << k;
    const std::string workbook = ReadFile(fixture.app.ProcessedWorkbook("LINE"));
    if (workbook != oldWorkbook) {
      EXPECT_EQ(Cells(fixture.app.ProcessedWorkbook("LINE"), 40), newCells) << "operation " << k;
    }
    EXPECT_EQ(AllFiles(fixture.app.root), files) << "operation " << k;
  }
  std::printf("processing run: %ld injection points tried\n", points);
  EXPECT_GT(points, 20);
  EXPECT_NE(oldCells, newCells);
}

TEST(FaultInjection, the_ok_of_the_rl_dialog) {
  AppFixture fixture;
  Yes yes;
  const auto run =
      ProcessField(fixture.AddFieldFile("LOOP.dat", Simulated(3, 7)), fixture.app, yes);
  const std::string files = AllFiles(fixture.app.root);

  long points = 0;
  std::string before = ReadFile(run.workbookPath);
  // Each operation fails in turn as the file system, then as memory running
  // out (which the front ends report).
  for (long k = 1, outOfMemory = 0; outOfMemory < 2; ++k) {
    FaultyFileSystem fs(k, outOfMemory);
    AdjustmentResult result;
    try {
      result =
          AdjustReducedLevels(run.fields, LoopType::OpenLoop, "20.5", "21.25", fixture.app, fs);
    } catch (const std::bad_alloc&) {
      result.message = "out of memory";
    }
    if (!fs.Failed()) {
      ASSERT_TRUE(result.Ok()) << result.message;
      EXPECT_EQ(Workbook::Open(run.workbookPath).Get(run.firstDataRow, 13).number, 20.5);
      before = ReadFile(run.workbookPath);
      k = 0, ++outOfMemory;
      continue;
    }
    ++points;
    EXPECT_FALSE(result.Ok()) << "failure at operation " << k << " reported as success";
    EXPECT_FALSE(result.message.empty());
    EXPECT_EQ(ReadFile(run.workbookPath), before) << "operation " << k;
    // Only a failed final rename may leave the complete file, and says where.
    for (const auto& e : std::filesystem::directory_iterator(fixture.app.ProcessedFiles()))
      if (e.path() != run.workbookPath) {
        EXPECT_NE(result.message.find(e.path().string()), std::string::npos) << result.message;
        std::filesystem::remove(e.path());
      }
    EXPECT_EQ(AllFiles(fixture.app.root), files) << "operation " << k;
  }
  std::printf("RL adjustment: %ld injection points tried\n", points);
  EXPECT_GT(points, 8);
}
