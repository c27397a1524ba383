// Reading the inputs of a network adjustment: field data files through the
// survey model, level data files through their reader, benchmark lists.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>
#include <unordered_map>

#include "common/AppFolder.h"
#include "common/Error.h"
#include "common/Parallel.h"
#include "common/Text.h"
#include "network/NetworkAdjustment.h"

namespace vireo {
namespace {

constexpr const char* kLevelDataFormat = "level data file";
// A level data file keeps five decimals of a difference.
constexpr double kLevelDataRounding = 0.5e-5 + 1e-9;
// A larger level data file is refused, as any file read whole.
constexpr std::size_t kMaxLevelDataBytes = std::size_t{1} << 30;

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

// The same set-ups in the same order: names equal, differences equal to the
// five decimals a level data file keeps.
bool SameObservations(const NetworkInput& a, const NetworkInput& b) {
  if (a.SetupCount() != b.SetupCount() || a.SetupCount() == 0) return false;
  auto la = a.lines.begin(), lb = b.lines.begin();
  std::size_t ia = 0, ib = 0;
  auto next = [](auto& line, auto end, std::size_t& i) -> const LevelledDifference* {
    while (line != end && i >= line->setups.size()) ++line, i = 0;
    return line == end ? nullptr : &line->setups[i++];
  };
  for (;;) {
    const LevelledDifference* x = next(la, a.lines.end(), ia);
    const LevelledDifference* y = next(lb, b.lines.end(), ib);
    if (!x || !y) return !x && !y;
    if (x->back != y->back || x->fore != y->fore ||
        !(std::abs(x->difference - y->difference) <= kLevelDataRounding))
      return false;
  }
}

}  // namespace

long NetworkInput::SetupCount() const {
  long count = 0;
  for (const LevelledLine& line : lines) count += static_cast<long>(line.setups.size());
  return count;
}

NetworkInput InputFromSurvey(const Survey& survey, const Warnings& warnings) {
  NetworkInput input;
  input.path = survey.file;
  input.format = FormatName(survey.format);
  input.kind = InputKind::FieldData;
  input.lines.reserve(survey.lines.size());
  for (const LevellingLine& line : survey.lines) {
    LevelledLine& levelled = input.lines.emplace_back();
    levelled.setups.reserve(line.setups.size());
    for (const Setup& s : line.setups)
      if (s.BackPaired())
        levelled.setups.push_back({s.fieldLine, ToUtf8(s.back->point), ToUtf8(s.fore.point),
                                   s.HeightDifference(), s.BackDistance() + s.ForeDistance()});
  }
  for (const SingleRunLine& line : survey.singleRunLines) {
    LevelledLine& levelled = input.lines.emplace_back();
    levelled.setups.reserve(line.setups.size());
    for (const BookSetup& s : line.setups) {
      const BookSight &back = s.Back(), &fore = s.Fore();
      for (const BookSight& sight : s.sights)
        if (sight.kind == SightKind::Intermediate)
          input.sideShots.push_back({sight.reading.fieldLine, s.fieldLine, ToUtf8(sight.point),
                                     back.reading.value - sight.reading.value});
      levelled.setups.push_back({s.fieldLine, ToUtf8(back.point), ToUtf8(fore.point),
                                 back.reading.value - fore.reading.value,
                                 back.reading.distance + fore.reading.distance, true});
    }
  }
  input.warnings.Append(warnings, [&](const RunWarning& w) {
    return NetworkWarning{survey.file, w.line, w.message};
  });
  return input;
}

NetworkInput InputFromLevelData(const std::string& path, const LevelDataContents& contents) {
  NetworkInput input;
  input.path = path;
  input.format = kLevelDataFormat;
  input.kind = InputKind::LevelData;
  input.lines.reserve(contents.runs.size());
  for (const auto& run : contents.runs) {
    LevelledLine& line = input.lines.emplace_back();
    line.setups.reserve(run.size());
    for (const LevelDataRecord& r : run) {
      auto refuse = [&](const std::string& cause) {
        throw Error(path, "read the level data file",
                    "line " + std::to_string(r.fileLine) + ": " + cause +
                        "; the file cannot be adjusted as it stands");
      };
      if (!(std::abs(r.difference) <= kMaxDifference))
        refuse("the difference " + DecimalText(r.difference) + " m is outside \u00B1" +
               DecimalText(kMaxDifference) + " m");
      if (r.length < 0)
        refuse("the distance " + DecimalText(r.length) +
               " m is negative; a set-up's sight distances are never below 0");
      if (!(r.length <= kMaxSetupLength))
        refuse("the distance " + DecimalText(r.length) + " m is longer than " +
               DecimalText(kMaxSetupLength) + " m");
      line.setups.push_back({r.fileLine, ToUtf8(r.back), ToUtf8(r.fore), r.difference, r.length});
    }
  }
  for (const RunWarning& w : contents.warnings) input.warnings.push_back({path, w.line, w.message});
  return input;
}

namespace {

// The bytes already read from a file, then the rest of it.
class AfterStart : public InputStream {
 public:
  AfterStart(std::string start, InputStream& rest) : start_(std::move(start)), rest_(rest) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    if (given_ == start_.size()) return rest_.Read(buffer, size);
    const std::size_t n = std::min(size, start_.size() - given_);
    std::copy_n(start_.data() + given_, n, buffer);
    given_ += n;
    return n;
  }

 private:
  std::string start_;
  std::size_t given_ = 0;
  InputStream& rest_;
};

}  // namespace

// Each input is opened once: a job of many small files is mostly the
// system's work of opening them.
NetworkInput ReadNetworkInput(const std::string& path, FileSystem& fs) {
  std::unique_ptr<InputStream> in;
  std::string start;
  try {
    in = fs.OpenForReading(path);
    char buffer[4096];
    const std::size_t n = in->Read(buffer, sizeof buffer);
    start.assign(buffer, n);
  } catch (const Error& e) {
    throw Error(path, "open the input file", e.Cause());
  }
  AfterStart whole(start, *in);
  if (LooksLikeLevelData(start)) {
    std::string text;
    char buffer[65536];
    for (std::size_t n; (n = whole.Read(buffer, sizeof buffer)) > 0;) {
      if (text.size() + n > kMaxLevelDataBytes)
        throw Error(path, "read", "larger than " + std::to_string(kMaxLevelDataBytes) + " bytes");
      text.append(buffer, n);
    }
    return InputFromLevelData(path, ReadLevelDataText(text));
  }
  Warnings warnings;
  const Survey survey = ReadSurvey(whole, path, warnings);
  return InputFromSurvey(survey, warnings);
}

namespace {

// One file under two names: the same path, a symbolic link or a hard link.
// Found by device and inode (one call a file); only the two names of one
// file are made canonical, to say which it is.
void RefuseNamedTwice(const std::vector<std::string>& paths) {
  std::map<std::pair<dev_t, ino_t>, std::size_t> first;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    struct stat status {};
    if (::stat(paths[i].c_str(), &status) != 0) continue;  // its reading says why
    const auto [same, added] = first.try_emplace({status.st_dev, status.st_ino}, i);
    if (added) continue;
    const std::string& path = paths[i];
    const std::string& earlier = paths[same->second];
    std::error_code ignored;
    if (std::filesystem::weakly_canonical(path, ignored) ==
        std::filesystem::weakly_canonical(earlier, ignored))
      throw Error(path, "read the inputs",
                  "the file is named twice; its observations would count twice");
    throw Error(path, "read the inputs",
                "the file is the same as " + earlier +
                    " under another name (a link); its observations would count twice");
  }
}

// What two inputs of the same set-ups share exactly: their count and the
// names of every set-up in order (the differences agree only to the
// rounding of a level data file).
std::uint64_t NamesKey(const NetworkInput& input) {
  std::uint64_t key = static_cast<std::uint64_t>(input.SetupCount());
  const std::hash<std::string_view> hash;
  for (const LevelledLine& line : input.lines)
    for (const LevelledDifference& d : line.setups)
      key = (key ^ hash(d.back)) * 0x100000001b3u ^ hash(d.fore) * 0x9e3779b97f4a7c15u;
  return key;
}

double FirstDifference(const NetworkInput& input) {
  for (const LevelledLine& line : input.lines)
    if (!line.setups.empty()) return line.setups.front().difference;
  return 0;
}

// Two inputs of the same set-ups in the same order: the inputs with set-ups
// are sorted by the key of their names, then by their first difference, and
// only those of one key whose first differences agree to the rounding are
// compared, each with the next such input at most until one is the same.
// A refusal names the later of the pair in the order given and the earlier.
void RefuseSameObservations(const std::vector<NetworkInput>& inputs) {
  struct Entry {
    std::uint64_t key;
    double first;
    std::size_t index;
  };
  std::vector<Entry> entries(inputs.size());
  ForEachOnAllCores(inputs.size(), [&](std::size_t i) {
    entries[i] = {NamesKey(inputs[i]), FirstDifference(inputs[i]), i};
  });
  std::erase_if(entries, [&](const Entry& e) { return inputs[e.index].SetupCount() == 0; });
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    return a.key != b.key ? a.key < b.key : a.first < b.first;
  });
  std::optional<std::pair<std::size_t, std::size_t>> found;  // earlier, later
  for (std::size_t a = 0; a < entries.size(); ++a)
    for (std::size_t b = a + 1; b < entries.size() && entries[b].key == entries[a].key &&
                                entries[b].first - entries[a].first <= 2 * kLevelDataRounding;
         ++b) {
      const auto [x, y] = std::minmax(entries[a].index, entries[b].index);
      if (!SameObservations(inputs[x], inputs[y])) continue;
      if (!found || y < found->second) found = {x, y};
      break;
    }
  if (!found) return;
  const NetworkInput& later = inputs[found->second];
  throw Error(later.path, "read the inputs",
              "its " + std::to_string(later.SetupCount()) + " set-ups are those of " +
                  inputs[found->first].path +
                  " in the same order (a field data file and its own level data file?); "
                  "its observations would count twice: adjust one of them");
}

}  // namespace

std::vector<NetworkInput> ReadNetworkInputs(const std::vector<std::string>& paths, FileSystem& fs,
                                            const InputProgress& progress) {
  RefuseNamedTwice(paths);
  // The files are read side by side (each reading is independent of the
  // others); a refusal is the first in the order given.
  std::vector<NetworkInput> inputs(paths.size());
  std::vector<std::exception_ptr> failures(paths.size());
  std::mutex reporting;
  std::size_t done = 0, reported = 0;
  auto read = [&](std::size_t i) {
    try {
      inputs[i] = ReadNetworkInput(paths[i], fs);
    } catch (...) {
      failures[i] = std::current_exception();
    }
    if (!progress) return;
    std::lock_guard<std::mutex> hold(reporting);
    ++done;
    // A hundredth of the inputs since the last call, or the last one.
    if (done == paths.size() || (done - reported) * 100 >= paths.size()) {
      reported = done;
      progress(done, paths.size());
    }
  };
  if (fs.ReadsFromManyThreads())
    ForEachOnAllCores(paths.size(), read);
  else
    for (std::size_t i = 0; i < paths.size(); ++i) read(i);
  for (const std::exception_ptr& failure : failures)
    if (failure) std::rethrow_exception(failure);
  RefuseSameObservations(inputs);
  return inputs;
}

namespace {

// The checks of one benchmark's texts; `refuse` throws with the cause.
template <typename Refuse>
Benchmark CheckedBenchmark(std::string_view name, std::string_view height, std::string_view sigma,
                           const std::string& source, long line, Refuse&& refuse) {
  if (name.empty()) refuse("the name is empty");
  if (height.find(',') != std::string_view::npos)
    refuse(std::string(height) + " is not a height; use a point as the decimal mark");
  const auto metres = StrictNumber(height);
  if (!metres) refuse("the height " + Quoted(height) + " is not a number");
  if (!(std::abs(*metres) <= kMaxHeight))
    refuse("the height " + std::string(height) + " m is outside \u00B1" + DecimalText(kMaxHeight) +
           " m");
  Benchmark benchmark{ToUtf8(name), *metres, std::nullopt, source, line};
  if (!sigma.empty()) {
    if (sigma.find(',') != std::string_view::npos)
      refuse(std::string(sigma) + " is not a standard deviation; use a point as the decimal mark");
    const auto mm = StrictNumber(sigma);
    if (!mm || !(*mm >= kMinBenchmarkSigma && *mm <= kMaxBenchmarkSigma))
      refuse("the standard deviation " + Quoted(sigma) + " is not a number of millimetres from " +
             DecimalText(kMinBenchmarkSigma) + " to " + DecimalText(kMaxBenchmarkSigma) +
             " (leave it out for a fixed height)");
    benchmark.sigma = *mm;
  }
  return benchmark;
}

struct CsvField {
  std::string text;
  bool quoted = false;
};

// Comma-separated fields, each trimmed; a field in double quotes may hold
// commas, and "" stands for a quote in it. False for an unclosed quote.
bool SplitCsv(std::string_view line, std::vector<CsvField>& fields) {
  fields.clear();
  std::size_t i = 0;
  for (;;) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    CsvField& field = fields.emplace_back();
    if (i < line.size() && line[i] == '"') {
      field.quoted = true;
      for (++i;; ++i) {
        if (i >= line.size()) return false;
        if (line[i] != '"') {
          field.text += line[i];
        } else if (i + 1 < line.size() && line[i + 1] == '"') {
          field.text += '"';
          ++i;
        } else {
          ++i;
          break;
        }
      }
      while (i < line.size() && line[i] != ',') ++i;  // blanks after the quote
    } else {
      const std::size_t comma = std::min(line.find(',', i), line.size());
      field.text = std::string(TrimBlanks(line.substr(i, comma - i)));
      i = comma;
    }
    if (i >= line.size()) return true;
    ++i;  // the comma
  }
}

// "1,000.5" split at its comma reads as height 1 and sigma "000.5": a
// standard deviation is never written with a leading zero before a digit.
bool LooksLikeSplitNumber(const CsvField& sigma) {
  return !sigma.quoted && sigma.text.size() > 1 && sigma.text[0] == '0' &&
         std::isdigit(static_cast<unsigned char>(sigma.text[1]));
}

}  // namespace

Benchmark ParseFixedBenchmark(std::string_view text) {
  const std::size_t equals = text.rfind('=');
  const std::string name(TrimBlanks(text.substr(0, std::min(equals, text.size()))));
  const std::string_view height =
      equals == std::string_view::npos ? std::string_view() : TrimBlanks(text.substr(equals + 1));
  auto refuse = [&](const std::string& cause) {
    throw Error("--fixed", "read the fixed benchmark " + Quoted(text), cause);
  };
  if (name.empty() || !StrictNumber(height))
    refuse("it must read NAME=HEIGHT with the height in metres, e.g. BM1=100.000");
  return CheckedBenchmark(name, height, {}, "--fixed", 0, refuse);
}

std::vector<Benchmark> ParseBenchmarkList(const std::string& path, std::string_view text) {
  text = WithoutByteOrderMark(text);
  std::vector<Benchmark> benchmarks;
  std::vector<CsvField> fields;
  LineSplitter splitter;
  auto line = [&](std::string_view raw, long number) {
    const std::string_view content = TrimBlanks(raw);
    if (content.empty() || content.front() == '#') return;
    auto refuse = [&](const std::string& cause) {
      throw Error(path, "read the benchmark list",
                  "line " + std::to_string(number) + ": " + cause +
                      "; a line reads NAME,HEIGHT or NAME,HEIGHT,SIGMA_MM (metres, millimetres)");
    };
    if (!SplitCsv(content, fields)) refuse("a quote is not closed");
    if (fields.size() == 3 && LooksLikeSplitNumber(fields[2]))
      refuse(fields[1].text + "," + fields[2].text +
             " is not a height; use a point as the decimal mark");
    if (fields.size() < 2 || fields.size() > 3)
      refuse(Quoted(content) + " has " + std::to_string(fields.size()) +
             (fields.size() == 1 ? " field" : " fields"));
    if (fields.size() == 3 && fields[2].text.empty()) refuse("the standard deviation is empty");
    benchmarks.push_back(CheckedBenchmark(fields[0].text, fields[1].text,
                                          fields.size() == 3 ? fields[2].text : std::string_view(),
                                          path, number, refuse));
  };
  splitter.Feed(text, line);
  splitter.Finish(line);
  return benchmarks;
}

Benchmark ParseBenchmarkEntry(std::string_view name, std::string_view height,
                              std::string_view sigma, const std::string& source, long row) {
  return CheckedBenchmark(TrimBlanks(name), TrimBlanks(height), TrimBlanks(sigma), source, row,
                          [&](const std::string& cause) {
                            throw Error(source, "read the benchmarks",
                                        "row " + std::to_string(row) + ": " + cause +
                                            " (height in metres; standard deviation in mm, "
                                            "empty for a fixed height)");
                          });
}

std::vector<Benchmark> ReadBenchmarkFile(const std::string& path, FileSystem& fs) {
  std::string text;
  try {
    text = ReadWholeFile(fs, path, std::size_t{1} << 26);
  } catch (const Error& e) {
    throw Error(path, "read the benchmark list", e.Cause());
  }
  return ParseBenchmarkList(path, text);
}

}  // namespace vireo
