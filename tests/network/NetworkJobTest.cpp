// The network job file: saved and read back to the same job, inputs below
// its folder relative and the others absolute; a refusal names the file and
// the line. A benchmark that differs from a point only in case is named.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/Error.h"
#include "network/NetworkJob.h"
#include "tests/support/MemoryFileSystem.h"
#include "tests/support/TempFolder.h"

using namespace vireo;
using vireo::testing::ReadFile;
using vireo::testing::TempFolder;
using vireo::testing::WriteFile;

namespace {

// What `attempt` is refused with; "accepted" when it is not.
template <class Attempt>
std::string Refusal(Attempt attempt) {
  try {
    attempt();
  } catch (const Error& e) {
    return e.what();
  }
  return "accepted";
}

}  // namespace

TEST(NetworkJob, saved_and_read_back_to_the_same_job) {
  TempFolder folder;
  NetworkJob job;
  job.inputs = {folder / "Field Data/DAY 1.dat", "/elsewhere/DAY2.gsi", folder / "../up.dat"};
  job.benchmarks = {{"BM1", 100, std::nullopt, "", 0}, {"BM 3", 99.6121, 2.5, "", 0}};
  job.sigmaKm = 1.2;
  job.name = "Two days";
  job.snoop = true;
  const std::string path = folder / "net.job";
  SaveNetworkJob(job, path);
  const std::string text = ReadFile(path);
  EXPECT_NE(text.find("\ninput = Field Data/DAY 1.dat\ninput = /elsewhere/DAY2.gsi\ninput = " +
                      std::filesystem::path(folder / "../up.dat").lexically_normal().string() +
                      "\nbenchmark = BM1, 100\nbenchmark = BM 3, 99.6121, 2.5\n"
                      "sigma_km = 1.2\nname = Two days\nsnoop = yes\n"),
            std::string::npos)
      << text;

  const NetworkJob read = ReadNetworkJob(path);
  EXPECT_EQ(read.inputs, (std::vector<std::string>{
                             job.inputs[0], job.inputs[1],
                             std::filesystem::path(job.inputs[2]).lexically_normal().string()}));
  ASSERT_EQ(read.benchmarks.size(), 2u);
  const Benchmark& b = read.benchmarks[1];
  EXPECT_TRUE(b.name == "BM 3" && b.height == 99.6121 && b.sigma == 2.5 && b.source == path &&
              b.sourceLine == 7 && !read.benchmarks[0].sigma);
  EXPECT_TRUE(read.sigmaKm == 1.2 && read.name == "Two days" && read.snoop);
  // A job of inputs only, written by hand, relative to its own folder.
  const NetworkJob bare = ParseNetworkJob("/jobs/net.job", "input=a.dat\r\n\r\n# done\r\n");
  EXPECT_EQ(bare.inputs, std::vector<std::string>{"/jobs/a.dat"});
  EXPECT_FALSE(bare.sigmaKm || bare.snoop);
}

TEST(NetworkJob, refusals_name_the_file_and_the_line) {
  const std::pair<const char*, const char*> cases[] = {
      {"input = a\nfixed = A=1\n", "/jobs/net.job: read the network job (line 2: \"fixed\" is not"},
      {"input a\n", "line 1: \"input a\" is not a setting KEY = VALUE"},
      {"\nbenchmark = A, 1O0\n", "line 2: the height \"1O0\" is not a number"},
      {"sigma_km = 1e300\n",
       "line 1: sigma_km \"1e300\" is not a number of millimetres from 0.001 to 1000"},
      {"name = a\nname = b\n", "line 2: the name is given twice"},
      {"snoop = maybe\n", "line 1: snoop \"maybe\" is neither yes nor no"},
      {"input = a\nbenchmark = B, 1e300\n", "line 2: the height 1e300 m is outside \u00B1100000 m"},
      {"# Vireo levelling network job\n\n", "line 2: the job holds no setting"},
  };
  for (const auto& [text, expected] : cases) {
    const std::string refusal = Refusal([&] { ParseNetworkJob("/jobs/net.job", text); });
    EXPECT_NE(refusal.find(expected), std::string::npos) << refusal;
  }
  TempFolder folder;
  EXPECT_THROW(ReadNetworkJob(folder / "missing.job"), Error);
}

// A benchmark no observation reaches would hold nothing: refused, with the
// observed names nearest to it.
TEST(NetworkAdjustment, a_benchmark_no_observation_reaches_is_refused_with_the_nearest_names) {
  NetworkInput input;
  input.path = "L.dat";
  input.lines = {{{{1, "G", "BM1", 0.5, 60}, {2, "BM1", "M", -0.2, 60}, {3, "M", "G", -0.3, 60}}}};
  auto refusal = [&](const std::string& name) {
    return Refusal([&] { AdjustNetwork({input}, {{name, 100, std::nullopt, "--fixed", 0}}); });
  };
  EXPECT_EQ(refusal("g"),
            "--fixed: read the benchmarks (g: no observation reaches it; did you mean G?)");
  EXPECT_EQ(refusal("BM 1"),
            "--fixed: read the benchmarks (BM 1: no observation reaches it; did you mean BM1?)");
  // A turning point (M, within the loop) is known by its name too.
  EXPECT_NE(refusal("m").find("did you mean M?"), std::string::npos);
  EXPECT_EQ(refusal("M"), "accepted");
  EXPECT_EQ(refusal("x"),
            "--fixed: read the benchmarks (x: no observation reaches it; no "
            "observed point has a name like it)");
}

// Many inputs: the progress reaches all of them in at most a hundred calls,
// and a file of the same set-ups as one far before it is still found.
TEST(NetworkInputs, many_inputs_report_progress_and_a_copy_far_apart_is_found) {
  vireo::testing::MemoryFileSystem fs;
  std::vector<std::string> paths;
  for (int i = 0; i < 250; ++i) {
    paths.push_back("SN_" + std::to_string(i) + ".dat");
    fs.files[paths.back()] =
        "L  A" + std::to_string(i) + "-B" + std::to_string(i) + "   0.5   10\r\n";
  }
  std::vector<std::size_t> calls;
  vireo::ReadNetworkInputs(paths, fs, [&](std::size_t done, std::size_t total) {
    EXPECT_EQ(total, 250u);
    calls.push_back(done);
  });
  ASSERT_FALSE(calls.empty());
  EXPECT_LE(calls.size(), 100u);
  EXPECT_TRUE(std::is_sorted(calls.begin(), calls.end()));
  EXPECT_EQ(calls.back(), 250u);

  paths.push_back("SN_copy.dat");
  fs.files[paths.back()] = fs.files["SN_7.dat"];
  try {
    vireo::ReadNetworkInputs(paths, fs);
    ADD_FAILURE() << "the copy was not found";
  } catch (const vireo::Error& e) {
    EXPECT_EQ(e.File(), "SN_copy.dat");
    EXPECT_NE(e.Cause().find("are those of SN_7.dat"), std::string::npos) << e.Cause();
  }
}
