// The file-system seam: private temporary names and what it refuses to
// read. Its atomic replacement is failed at every step by the processing
// run's and the RL adjustment's fault injection (FaultInjectionTest).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "common/Error.h"
#include "common/FileSystem.h"
#include "tests/support/TempFolder.h"

using vireo::testing::TempFolder;

// Runs that write one target at once each get their own temporary file; a
// later run sweeps away only what a dead run left, never a file a live run
// still writes, nor a surveyor's own file.
TEST(ReplaceFile, temporary_names_are_private_and_stale_ones_are_swept) {
  TempFolder folder;
  const std::string target = folder / "LINE7.xlsx";
  const std::string stale[] = {vireo::TemporaryName(target, "0123456789ab"), target + ".vireo-tmp"};
  const std::string own[] = {folder / "TEMP.xlsx", folder / "temp.dat", target + ".backup",
                             folder / "LINE8.xlsx.vireo-tmp"};
  for (const auto& file : stale) vireo::testing::WriteFile(file, "a killed run's");
  for (const auto& file : own) vireo::testing::WriteFile(file, "the surveyor's");
  vireo::StagedFile live(vireo::RealFileSystem(), target);
  live.Out().Write("a run at work");
  live.Commit();
  vireo::ReplaceFile(vireo::RealFileSystem(), target,
                     [](vireo::OutputStream& out) { out.Write("new"); });
  EXPECT_EQ(vireo::testing::ReadFile(target), "new");
  for (const auto& file : stale) EXPECT_FALSE(std::filesystem::exists(file)) << file;
  for (const auto& file : own) EXPECT_EQ(vireo::testing::ReadFile(file), "the surveyor's");
  live.Install();
  EXPECT_EQ(vireo::testing::ReadFile(target), "a run at work");
}

// Opening a FIFO for reading would wait for a writer, a device may never
// end: neither is read.
TEST(RealFileSystem, only_regular_files_are_read) {
  TempFolder folder;
  ASSERT_EQ(mkfifo((folder / "fifo").c_str(), 0644), 0);
  for (const auto& [path, cause] : std::vector<std::pair<std::string, std::string>>{
           {folder / "fifo", "named pipe"}, {"/dev/zero", "device"}, {folder.Path(), "folder"}}) {
    try {
      vireo::RealFileSystem().OpenForReading(path);
      ADD_FAILURE() << path << " was opened";
    } catch (const vireo::Error& e) {
      EXPECT_NE(std::string(e.what()).find(cause + ", not a file"), std::string::npos) << e.what();
    }
  }
}
