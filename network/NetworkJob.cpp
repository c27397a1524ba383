#include "network/NetworkJob.h"

#include <filesystem>

#include "common/Error.h"
#include "common/Text.h"

namespace vireo {
namespace {

namespace fs = std::filesystem;

constexpr const char* kHeader =
    "# Vireo levelling network job: adjust it in the Adjust Network window (Open job...) or "
    "with\n# vireo-cli adjust --job FILE. One setting a line; benchmark = NAME, HEIGHT (m)[, "
    "SIGMA (mm)].\n";

fs::path Folder(const std::string& jobPath) {
  const fs::path folder = fs::path(jobPath).parent_path();
  return folder.empty() ? fs::path(".") : folder;
}

}  // namespace

NetworkJob ParseNetworkJob(const std::string& path, std::string_view text) {
  text = WithoutByteOrderMark(text);  // as editors save "UTF-8"
  NetworkJob job;
  bool named = false, sigmaGiven = false;
  LineSplitter splitter(1 << 16);
  long lines = 0;
  bool settings = false;
  auto line = [&](std::string_view raw, long number) {
    lines = number;
    auto refuse = [&](const std::string& cause) {
      throw Error(path, "read the network job", "line " + std::to_string(number) + ": " + cause);
    };
    if (splitter.LineWasCut()) refuse("the line is longer than 64 KiB");
    const std::string_view content = TrimBlanks(raw);
    if (content.empty() || content.front() == '#') return;
    settings = true;
    const std::size_t equals = content.find('=');
    if (equals == std::string_view::npos)
      refuse("\"" + std::string(content) + "\" is not a setting KEY = VALUE");
    const std::string_view key = TrimBlanks(content.substr(0, equals));
    const std::string_view value = TrimBlanks(content.substr(equals + 1));
    if (key == "input") {
      if (value.empty()) refuse("the input has no path");
      const fs::path input(value);
      job.inputs.push_back(input.is_absolute()
                               ? input.string()
                               : (Folder(path) / input).lexically_normal().string());
    } else if (key == "benchmark") {
      std::vector<Benchmark> list;
      try {
        list = ParseBenchmarkList(path, value);
      } catch (const Error& e) {
        // The list's refusal names its own line 1.
        const std::string_view cause = e.Cause();
        refuse(std::string(cause.starts_with("line 1: ") ? cause.substr(8) : cause));
      }
      if (list.size() != 1) refuse("the benchmark has no name and height");
      list.front().sourceLine = number;
      job.benchmarks.push_back(std::move(list.front()));
    } else if (key == "sigma_km") {
      const auto sigma = StrictNumber(value);
      if (sigmaGiven) refuse("sigma_km is given twice");
      if (!sigma || !(*sigma >= kMinSigmaKm && *sigma <= kMaxSigmaKm))
        refuse("sigma_km \"" + std::string(value) + "\" is not a number of millimetres from " +
               DecimalText(kMinSigmaKm) + " to " + DecimalText(kMaxSigmaKm));
      job.sigmaKm = *sigma;
      sigmaGiven = true;
    } else if (key == "snoop") {
      if (value != "yes" && value != "no")
        refuse("snoop \"" + std::string(value) + "\" is neither yes nor no");
      job.snoop = value == "yes";
    } else if (key == "name") {
      if (named) refuse("the name is given twice");
      job.name = std::string(value);
      named = true;
    } else {
      refuse("\"" + std::string(key) +
             "\" is not a setting of a job (input, benchmark, "
             "sigma_km, name, snoop)");
    }
  };
  splitter.Feed(text, line);
  splitter.Finish(line);
  // A job without a single setting is a file cut short (or not a job at
  // all), which must not open as an empty job.
  if (!settings)
    throw Error(path, "read the network job",
                "line " + std::to_string(lines) +
                    ": the job holds no setting (input = FILE, benchmark = NAME, HEIGHT); is "
                    "the file cut short?");
  return job;
}

NetworkJob ReadNetworkJob(const std::string& path, FileSystem& fs) {
  std::string text;
  try {
    text = ReadWholeFile(fs, path, std::size_t{1} << 24);
  } catch (const Error& e) {
    throw Error(path, "read the network job", e.Cause());
  }
  return ParseNetworkJob(path, text);
}

std::string NetworkJobText(const NetworkJob& job, const std::string& path) {
  const fs::path folder = fs::absolute(Folder(path)).lexically_normal();
  std::string text = kHeader;
  for (const std::string& input : job.inputs) {
    const fs::path absolute = fs::absolute(input).lexically_normal();
    const fs::path relative = absolute.lexically_relative(folder);
    // Below the job's folder: relative, so the job moves with its files.
    const bool below = !relative.empty() && *relative.begin() != "..";
    text += "input = " + (below ? relative.generic_string() : absolute.string()) + "\n";
  }
  for (const Benchmark& b : job.benchmarks) {
    text += "benchmark = " + b.name + ", " + DecimalText(b.height);
    if (b.sigma) text += ", " + DecimalText(*b.sigma);
    text += "\n";
  }
  if (job.sigmaKm) text += "sigma_km = " + DecimalText(*job.sigmaKm) + "\n";
  if (!job.name.empty()) text += "name = " + job.name + "\n";
  if (job.snoop) text += "snoop = yes\n";
  return text;
}

void SaveNetworkJob(const NetworkJob& job, const std::string& path, FileSystem& fs) {
  const std::string text = NetworkJobText(job, path);
  try {
    ReplaceFile(fs, path, [&](OutputStream& out) { out.Write(text); });
  } catch (const Error& e) {
    if (e.File() == path) throw;
    throw Error(path, "save the network job", e.Cause());
  }
}

}  // namespace vireo
