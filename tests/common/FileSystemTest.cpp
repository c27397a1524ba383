#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "common/Error.h"
#include "common/FileSystem.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/support/TempFolder.h"

using vireo::testing::FaultyFileSystem;
using vireo::testing::TempFolder;

namespace {
// The names in `folder` other than `except`.
std::vector<std::string> Others(const TempFolder& folder, const std::string& except) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
    if (entry.path().filename() != except) names.push_back(entry.path().filename());
  return names;
}
}  // namespace

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
  const std::string target = folder / "out.dat";
  std::filesystem::create_directories(target + "/in the way");  // the rename must fail
  try {
    vireo::ReplaceFile(
        vireo::RealFileSystem(), target, [](vireo::OutputStream& out) { out.Write("x"); },
        vireo::ReplaceOptions{true});
    FAIL() << "the rename over a folder must fail";
  } catch (const vireo::Error& e) {
    const std::string kept = folder.Path() + "/" + Others(folder, "out.dat").at(0);
    EXPECT_NE(std::string(e.what()).find(kept), std::string::npos) << e.what();
    EXPECT_EQ(vireo::testing::ReadFile(kept), "x");
  }
}

// Runs that write the same target at once each get their own temporary
// file; a later run sweeps away only what a dead run left, never a file a
// live run still writes, nor a surveyor's own file.
TEST(ReplaceFile, temporary_names_are_private_and_stale_ones_are_swept) {
  TempFolder folder;
  auto& fs = vireo::RealFileSystem();
  const std::string target = folder / "LINE7.xlsx";
  vireo::testing::WriteFile(vireo::TemporaryName(target, "0123456789ab"), "killed run");
  vireo::testing::WriteFile(target + ".vireo-tmp", "killed run of an earlier version");
  for (const char* own : {"TEMP.xlsx", "temp.dat", "LINE7.xlsx.backup", "LINE8.xlsx.vireo-tmp"})
    vireo::testing::WriteFile(folder / own, "the surveyor's");
  vireo::StagedFile live(fs, target);
  live.Out().Write("a run at work");
  live.Commit();

  vireo::ReplaceFile(fs, target, [](vireo::OutputStream& out) { out.Write("new"); });
  EXPECT_EQ(vireo::testing::ReadFile(target), "new");
  std::vector<std::string> left = Others(folder, "LINE7.xlsx");
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{live.TempPath().substr(folder.Path().size() + 1),
                                            "LINE7.xlsx.backup", "LINE8.xlsx.vireo-tmp",
                                            "TEMP.xlsx", "temp.dat"}));
  live.Install();
  EXPECT_EQ(vireo::testing::ReadFile(target), "a run at work");
}

TEST(ReplaceFile, temporary_names_fit_the_255_bytes_of_a_file_name) {
  TempFolder folder;
  const std::string accented = "\xc3\xa9";  // two bytes, one character
  for (const std::string& name :
       {std::string("L.dat"), std::string(232, 'a'), std::string(233, 'b'), std::string(255, 'c'),
        std::string(199, 'd') + accented + std::string(40, 'e')}) {
    const std::string target = folder / name;
    const std::string temp = vireo::TemporaryName(target, "0123456789ab");
    const std::string tempName = temp.substr(folder.Path().size() + 1);
    EXPECT_LE(tempName.size(), 255u) << name.size();
    EXPECT_TRUE(vireo::IsTemporaryOf(tempName, target)) << name.size();
    EXPECT_FALSE(vireo::IsTemporaryOf(tempName, folder / (name + "x"))) << name.size();
    if (name.size() < 250) {
      vireo::ReplaceFile(vireo::RealFileSystem(), target,
                         [](vireo::OutputStream& out) { out.Write("x"); });
      EXPECT_EQ(vireo::testing::ReadFile(target), "x");
    }
  }
  // Cut at a character boundary, never inside the accented letter.
  const std::string cut = vireo::TemporaryName(std::string(199, 'd') + accented + "e", "0");
  EXPECT_EQ(cut.substr(0, 201), std::string(199, 'd') + accented);
}

TEST(FileLock, a_lock_waits_for_the_holder_and_names_lock_apart) {
  TempFolder folder;
  auto& fs = vireo::RealFileSystem();
  auto held = fs.Lock(folder / "ctlini.dat");
  auto other = fs.Lock(folder / "checks.ini");  // another name: no wait
  std::atomic<bool> got{false};
  std::thread waiter([&] {
    auto lock = fs.Lock(folder / "ctlini.dat");
    got = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(got);
  held.reset();
  waiter.join();
  EXPECT_TRUE(got);
}

// Opening a FIFO for reading would wait for a writer, a device may never
// end: neither is read.
TEST(RealFileSystem, only_regular_files_are_read) {
  TempFolder folder;
  ASSERT_EQ(mkfifo((folder / "fifo").c_str(), 0644), 0);
  const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", (folder / "sock").c_str());
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  for (const auto& [path, cause] :
       std::vector<std::pair<std::string, std::string>>{{folder / "fifo", "named pipe"},
                                                        {"/dev/zero", "device"},
                                                        {folder / "sock", "socket"},
                                                        {folder.Path(), "folder"}}) {
    try {
      vireo::RealFileSystem().OpenForReading(path);
      ADD_FAILURE() << path << " was opened";
    } catch (const vireo::Error& e) {
      EXPECT_NE(std::string(e.what()).find(cause), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("not a file"), std::string::npos) << e.what();
    }
  }
  close(sock);
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
