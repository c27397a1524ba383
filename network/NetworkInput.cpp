// Reading the inputs of a network adjustment: field data files through the
// survey model, level data files, benchmark lists.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

#include "common/Error.h"
#include "common/Text.h"
#include "network/NetworkAdjustment.h"

namespace vireo {
namespace {

constexpr const char* kLevelDataFormat = "level data file";

// Beyond these a number is a slip, not a survey: a height in metres, a
// benchmark's standard deviation in mm, a levelled difference in metres.
constexpr double kMaxHeightM = 100000;
constexpr double kMinSigmaMm = 0.001, kMaxSigmaMm = 10000;
constexpr double kMaxDifferenceM = 10000;

// A number as a message quotes it: at most a few significant digits.
std::string Quoted(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

struct RawRecord {
  long line = 0;
  std::string pair;
  double difference = 0;
  double length = 0;
};

// Blank-separated words of `text` with their positions.
std::vector<std::pair<std::size_t, std::string_view>> Words(std::string_view text) {
  std::vector<std::pair<std::size_t, std::string_view>> words;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < text.size() && text[i] != ' ' && text[i] != '\t') ++i;
    if (i > start) words.emplace_back(start, text.substr(start, i - start));
  }
  return words;
}

// "L  A-B   0.58024   49   'BM1": the pair, the difference, the distance;
// the descriptor (from the first word starting with "'" after them) is not
// needed. The pair may hold blanks, so it is everything before the
// difference.
std::optional<RawRecord> ParseRecord(std::string_view text, long line, std::string& problem) {
  auto words = Words(text.substr(1));
  for (std::size_t i = 3; i < words.size(); ++i) {
    if (words[i].second.front() == '\'') {
      words.resize(i);
      break;
    }
  }
  if (words.size() < 3) {
    problem = "an elevation difference record needs a station pair, a difference and a distance";
    return std::nullopt;
  }
  const auto difference = StrictNumber(words[words.size() - 2].second);
  const auto length = StrictNumber(words.back().second);
  if (!difference || !length) {
    problem = "the difference \"" + std::string(words[words.size() - 2].second) +
              "\" or the distance \"" + std::string(words.back().second) + "\" is not a number";
    return std::nullopt;
  }
  const std::size_t end = words[words.size() - 2].first;
  RawRecord record{line, std::string(TrimBlanks(text.substr(1, end))), *difference, *length};
  return record;
}

// Where `pair` may be split at `separator` with a name on either side.
std::vector<std::size_t> SplitPositions(const std::string& pair, char separator) {
  std::vector<std::size_t> positions;
  for (std::size_t i = 1; i + 1 < pair.size(); ++i)
    if (pair[i] == separator) positions.push_back(i);
  return positions;
}

std::string JoinedSplits(const std::string& pair, const std::vector<std::size_t>& positions) {
  std::string text;
  for (std::size_t p : positions)
    text += (text.empty() ? "" : " or ") + pair.substr(0, p) + " / " + pair.substr(p + 1);
  return text;
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
  input.lines.reserve(survey.lines.size());
  for (const LevellingLine& line : survey.lines) {
    LevelledLine& levelled = input.lines.emplace_back();
    levelled.setups.reserve(line.setups.size());
    for (const Setup& s : line.setups)
      if (s.BackPaired())
        levelled.setups.push_back({s.fieldLine, s.back->point, s.fore.point, s.HeightDifference(),
                                   s.BackDistance() + s.ForeDistance()});
  }
  input.warnings.Append(warnings, [&](const RunWarning& w) {
    return NetworkWarning{survey.file, w.line, w.message};
  });
  return input;
}

NetworkInput ParseLevelDataFile(const std::string& path, std::string_view text) {
  NetworkInput input;
  input.path = path;
  input.format = kLevelDataFormat;
  char separator = '-';
  std::vector<RawRecord> records;
  LineSplitter splitter;
  auto line = [&](std::string_view raw, long number) {
    const std::string_view content = TrimBlanks(raw);
    if (content.empty() || content.front() == '#') return;
    if (content.front() == '.') {
      const auto words = Words(content);
      if (words.size() == 2 && words[0].second == ".Sep" && words[1].second.size() == 1)
        separator = words[1].second.front();
      return;
    }
    std::string problem = "not an elevation difference record";
    if (content.size() > 1 && content[0] == 'L' && (content[1] == ' ' || content[1] == '\t')) {
      if (auto record = ParseRecord(content, number, problem)) {
        if (!(std::abs(record->difference) <= kMaxDifferenceM))
          throw Error(path, "read the level data file",
                      "line " + std::to_string(number) + ": the difference " +
                          Quoted(record->difference) + " m is beyond \u00b110,000 m");
        records.push_back(std::move(*record));
        return;
      }
    }
    input.warnings.push_back({path, number, problem + "; the line is left out"});
  };
  splitter.Feed(WithoutByteOrderMark(text), line);
  splitter.Finish(line);

  std::string previousFore;
  for (std::size_t r = 0; r < records.size(); ++r) {
    const RawRecord& record = records[r];
    std::vector<std::size_t> splits = SplitPositions(record.pair, separator);
    if (splits.size() > 1) {
      // A name holding the separator: the split that continues from the
      // previous record or into the next one is the one meant.
      const std::string next = r + 1 < records.size() ? records[r + 1].pair : "";
      std::vector<std::size_t> fitting;
      for (std::size_t p : splits) {
        const std::string back = record.pair.substr(0, p), fore = record.pair.substr(p + 1);
        if (back == previousFore || next.rfind(fore + separator, 0) == 0) fitting.push_back(p);
      }
      if (fitting.size() == 1) splits = fitting;
    }
    if (splits.size() != 1) {
      input.warnings.push_back(
          {path, record.line,
           "the station pair \"" + record.pair + "\" " +
               (splits.empty() ? std::string("has no \"") + separator + "\" between two names"
                               : "can be read as " + JoinedSplits(record.pair, splits)) +
               "; the record is left out"});
      previousFore.clear();
      continue;
    }
    LevelledDifference difference{record.line, record.pair.substr(0, splits[0]),
                                  record.pair.substr(splits[0] + 1), record.difference,
                                  record.length};
    if (input.lines.empty() || difference.back != previousFore) {
      if (!input.lines.empty())
        input.warnings.push_back(
            {path, record.line,
             previousFore.empty()
                 ? "a new line of levelling starts here, after the record left out; " +
                       difference.back + " is a network point"
                 : "the record starts at " + difference.back + ", not at " + previousFore +
                       " where the previous one ended; a new line of levelling starts here, "
                       "and both are network points"});
      input.lines.emplace_back();
    }
    previousFore = difference.fore;
    input.lines.back().setups.push_back(std::move(difference));
  }
  if (records.empty())
    input.warnings.push_back({path, 0, "the file holds no elevation difference record"});
  input.warnings.SortByLine();
  return input;
}

NetworkInput ReadNetworkInput(const std::string& path, FileSystem& fs) {
  std::string start;
  try {
    auto in = fs.OpenForReading(path);
    char buffer[4096];
    const std::size_t n = in->Read(buffer, sizeof buffer);
    start.assign(buffer, n);
  } catch (const Error& e) {
    throw Error(path, "open the input file", e.Cause());
  }
  const std::string_view first = [&] {
    std::string_view rest = start;
    while (!rest.empty()) {
      const std::size_t end = rest.find_first_of("\r\n");
      const std::string_view line = TrimBlanks(rest.substr(0, end));
      if (!line.empty() || end == std::string_view::npos) return line;
      rest.remove_prefix(end + 1);
    }
    return rest;
  }();
  const bool levelData =
      !first.empty() &&
      (first[0] == '#' || first[0] == '.' ||
       (first.size() > 1 && first[0] == 'L' && (first[1] == ' ' || first[1] == '\t')));
  if (levelData) return ParseLevelDataFile(path, ReadWholeFile(fs, path));
  Warnings warnings;
  const Survey survey = ReadSurvey(path, warnings, fs);
  return InputFromSurvey(survey, warnings);
}

std::vector<NetworkInput> ReadNetworkInputs(const std::vector<std::string>& paths, FileSystem& fs) {
  // One file under two names (a symbolic or hard link) is the same file.
  std::set<std::string> seen;
  std::map<std::pair<dev_t, ino_t>, std::string> files;
  for (const std::string& path : paths) {
    std::error_code ignored;
    const auto canonical = std::filesystem::weakly_canonical(path, ignored);
    if (!seen.insert(canonical.empty() ? path : canonical.string()).second)
      throw Error(path, "read the inputs",
                  "the file is named twice; its observations would count twice");
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) continue;
    const auto [at, added] = files.emplace(std::pair(st.st_dev, st.st_ino), path);
    if (!added)
      throw Error(path, "read the inputs",
                  "the file is " + at->second +
                      " under another name; its observations would "
                      "count twice");
  }
  std::vector<NetworkInput> inputs;
  inputs.reserve(paths.size());
  for (const std::string& path : paths) inputs.push_back(ReadNetworkInput(path, fs));
  // A field data file and the level data file made from it hold the same
  // set-ups in the same order (the level data file to five decimals).
  auto same = [](const NetworkInput& a, const NetworkInput& b) {
    if (a.SetupCount() == 0 || a.SetupCount() != b.SetupCount()) return false;
    std::vector<const LevelledDifference*> first;
    for (const LevelledLine& line : a.lines)
      for (const LevelledDifference& d : line.setups) first.push_back(&d);
    std::size_t i = 0;
    for (const LevelledLine& line : b.lines)
      for (const LevelledDifference& d : line.setups) {
        const LevelledDifference& e = *first[i++];
        if (d.back != e.back || d.fore != e.fore || std::abs(d.difference - e.difference) > 6e-6)
          return false;
      }
    return true;
  };
  for (std::size_t i = 0; i < inputs.size(); ++i)
    for (std::size_t j = 0; j < i; ++j)
      if (same(inputs[j], inputs[i]))
        throw Error(inputs[i].path, "read the inputs",
                    "its observations are those of " + inputs[j].path +
                        ", the same set-ups in the same order; they would count twice");
  return inputs;
}

Benchmark ParseFixedBenchmark(std::string_view text) {
  const std::size_t equals = text.rfind('=');
  const std::string name(TrimBlanks(text.substr(0, std::min(equals, text.size()))));
  const auto height =
      equals == std::string_view::npos ? std::nullopt : StrictNumber(text.substr(equals + 1));
  if (name.empty() || !height)
    throw Error("--fixed", "read the fixed benchmark \"" + std::string(text) + "\"",
                "it must read NAME=HEIGHT with the height in metres, e.g. BM1=100.000");
  if (!(std::abs(*height) <= kMaxHeightM))
    throw Error("--fixed", "read the fixed benchmark \"" + std::string(text) + "\"",
                "the height " + Quoted(*height) + " m is beyond \u00b1100,000 m");
  return {name, *height, std::nullopt, "--fixed", 0};
}

namespace {

// The checks of one benchmark's texts; `refuse` throws with the cause.
template <typename Refuse>
Benchmark CheckedBenchmark(std::string_view name, std::string_view height, std::string_view sigma,
                           const std::string& source, long line, Refuse&& refuse) {
  if (name.empty()) refuse("the name is empty");
  const auto metres = StrictNumber(height);
  if (!metres) refuse("the height \"" + std::string(height) + "\" is not a number");
  if (!(std::abs(*metres) <= kMaxHeightM))
    refuse("the height " + std::string(height) + " m is beyond \u00b1100,000 m");
  Benchmark benchmark{std::string(name), *metres, std::nullopt, source, line};
  if (!sigma.empty()) {
    const auto mm = StrictNumber(sigma);
    if (!mm || !(*mm >= kMinSigmaMm && *mm <= kMaxSigmaMm))
      refuse("the standard deviation \"" + std::string(sigma) +
             "\" is not a number from 0.001 to 10,000 mm (leave it out for a fixed height)");
    benchmark.sigma = *mm;
  }
  return benchmark;
}

}  // namespace

std::vector<Benchmark> ParseBenchmarkList(const std::string& path, std::string_view text) {
  std::vector<Benchmark> benchmarks;
  LineSplitter splitter;
  auto line = [&](std::string_view raw, long number) {
    const std::string_view content = TrimBlanks(raw);
    if (content.empty() || content.front() == '#') return;
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
      const std::size_t comma = content.find(',', start);
      fields.push_back(TrimBlanks(content.substr(start, comma - start)));
      if (comma == std::string_view::npos) break;
      start = comma + 1;
    }
    auto refuse = [&](const std::string& cause) {
      throw Error(path, "read the benchmark list",
                  "line " + std::to_string(number) + ": " + cause +
                      "; a line reads NAME,HEIGHT or NAME,HEIGHT,SIGMA_MM (metres, millimetres)");
    };
    // A spreadsheet's "1,000.5" or "100,5" splits a number in two, quoted or
    // not; as 1 m with a standard deviation of 0.5 mm it would be wrong.
    auto digits = [](std::string_view t, std::size_t from, std::size_t to) {
      return t.size() >= from && t.size() <= to &&
             std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    const bool thousands = fields.size() >= 3 && digits(fields[1], 1, 3) &&
                           digits(fields[2].substr(0, fields[2].find('.')), 3, 3);
    if (content.find('"') != std::string_view::npos || thousands)
      refuse(std::string(fields.size() >= 3 ? std::string(fields[1]) + "," + std::string(fields[2])
                                            : std::string(content)) +
             " is not a height; use a point as the decimal mark, without quotes or thousands "
             "separators");
    if (fields.size() < 2 || fields.size() > 3)
      refuse("\"" + std::string(content) + "\" has " + std::to_string(fields.size()) +
             (fields.size() == 1 ? " field" : " fields"));
    if (fields.size() == 3 && fields[2].empty()) refuse("the standard deviation is empty");
    benchmarks.push_back(CheckedBenchmark(fields[0], fields[1],
                                          fields.size() == 3 ? fields[2] : std::string_view(), path,
                                          number, refuse));
  };
  splitter.Feed(WithoutByteOrderMark(text), line);
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
