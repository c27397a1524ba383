#include <gtest/gtest.h>

#include "common/Error.h"
#include "common/FileSystem.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/support/TempFolder.h"

using vireo::testing::FaultyFileSystem;
using vireo::testing::TempFolder;

TEST(ReplaceFile, a_failure_at_any_step_leaves_the_old_file_and_no_temporary) {
  TempFolder folder;
  const std::string target = folder / "out.dat";
  auto write = [](vireo::OutputStream& out) {
    out.Write("new ");
    out.Write("content");
  };
  // Create, two writes, commit, rename: fail each in turn.
  for (long k = 1;; ++k) {
    vireo::testing::WriteFile(target, "old");
    FaultyFileSystem fs(k);
    try {
      vireo::ReplaceFile(fs, target, write);
    } catch (const vireo::Error& e) {
      EXPECT_NE(std::string(e.what()).find("injected failure"), std::string::npos);
    }
    if (!fs.Failed()) {
      EXPECT_EQ(vireo::testing::ReadFile(target), "new content");
      EXPECT_GT(k, 4);
      break;
    }
    EXPECT_EQ(vireo::testing::ReadFile(target), "old") << "failure at operation " << k;
    EXPECT_EQ(vireo::testing::ListFolder(folder.Path()), "out.dat;") << "operation " << k;
  }
}

TEST(ReplaceFile, keeps_the_complete_temporary_file_when_asked_and_says_where) {
  TempFolder folder;
  const std::string target = folder / "missing-folder/out.dat";
  vireo::ReplaceOptions options;
  options.tempPath = folder / "TEMP.dat";
  options.keepTempWhenRenameFails = true;
  try {
    vireo::ReplaceFile(
        vireo::RealFileSystem(), target, [](vireo::OutputStream& out) { out.Write("x"); }, options);
    FAIL() << "the rename into a missing folder must fail";
  } catch (const vireo::Error& e) {
    EXPECT_NE(std::string(e.what()).find(options.tempPath), std::string::npos) << e.what();
  }
  EXPECT_EQ(vireo::testing::ReadFile(options.tempPath), "x");
}

TEST(RealFileSystem, errors_name_the_file_and_the_cause) {
  try {
    vireo::RealFileSystem().OpenForReading("/nonexistent/ctlini.dat");
    FAIL();
  } catch (const vireo::Error& e) {
    EXPECT_EQ(std::string(e.what()),
              "/nonexistent/ctlini.dat: open for reading (No such file or directory)");
  }
}
