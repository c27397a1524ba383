#include "output/LevelDataFile.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "common/Error.h"
#include "common/Text.h"

namespace vireo {

std::string LevelDataHeader() {
  return "# Quarry Version 2.0.6\r\n"
         "# Elevation differences reduced by Vireo; the observations belong to the survey's "
         "owner.\r\n"
         "\r\n"
         ".Units  Meters\r\n"
         ".Sep    -\r\n"
         ".3D\r\n"
         "\r\n"
         "#  Elevation Difference Records\r\n"
         "#  Stations                             Diff    Dist  Descriptor\r\n";
}

std::string FormatElevationRecord(const ElevationRecord& record) {
  const std::string pair = record.backStation + "-" + record.foreStation;
  const double difference = record.aveBackSight - record.aveForeSight;
  std::string pairPad(static_cast<std::size_t>(std::max(0, 12 - static_cast<int>(pair.size()))),
                      ' ');
  if (difference > 0) pairPad += ' ';
  const double distance = std::floor(record.backDistance + record.foreDistance);
  const std::string distanceText = FormatFixed(distance, 0);
  std::string distPad(
      static_cast<std::size_t>(std::max(0, 4 - static_cast<int>(distanceText.size()))), ' ');
  std::string line;
  line.reserve(80 + pair.size() + record.firstStation.size());
  line += "L  ";
  line += pair;
  line.append(23, ' ');
  line += pairPad;
  line += FormatFixed(difference, 5);
  line += ' ';
  line += distPad;
  line += distanceText;
  line += "   '";
  line += record.firstStation;
  line += "\r\n";
  return line;
}

LevelDataFile::LevelDataFile(FileSystem& fs, std::string path) : staged_(fs, std::move(path)) {
  staged_.Out().Write(LevelDataHeader());
}

void LevelDataFile::Write(const ElevationRecord& record) {
  staged_.Out().Write(FormatElevationRecord(record));
}

void LevelDataFile::Close() {
  staged_.Commit();
}

void LevelDataFile::Replace() {
  staged_.Install();
}

namespace {

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

bool IsRecordStart(std::string_view content) {
  return content.size() > 1 && content[0] == 'L' && (content[1] == ' ' || content[1] == '\t');
}

// The records of the text, and the ".Sep" character.
std::vector<RawRecord> ReadRecords(std::string_view text, char& separator,
                                   std::vector<RunWarning>& warnings) {
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
    if (IsRecordStart(content)) {
      if (auto record = ParseRecord(content, number, problem)) {
        records.push_back(std::move(*record));
        return;
      }
    }
    warnings.push_back({number, problem + "; the line is left out"});
  };
  text = WithoutByteOrderMark(text);
  splitter.Feed(text, line);
  splitter.Finish(line);
  return records;
}

}  // namespace

LevelDataContents ReadLevelDataText(std::string_view text) {
  LevelDataContents contents;
  char separator = '-';
  const std::vector<RawRecord> records = ReadRecords(text, separator, contents.warnings);
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
      contents.warnings.push_back(
          {record.line,
           "the station pair \"" + record.pair + "\" " +
               (splits.empty() ? std::string("has no \"") + separator + "\" between two names"
                               : "can be read as " + JoinedSplits(record.pair, splits)) +
               "; the record is left out"});
      previousFore.clear();
      continue;
    }
    LevelDataRecord read{record.line, record.pair.substr(0, splits[0]),
                         record.pair.substr(splits[0] + 1), record.difference, record.length};
    if (contents.runs.empty() || read.back != previousFore) {
      if (!contents.runs.empty())
        contents.warnings.push_back(
            {record.line,
             previousFore.empty()
                 ? "a new line of levelling starts here, after the record left out; " + read.back +
                       " is a network point"
                 : "the record starts at " + read.back + ", not at " + previousFore +
                       " where the previous one ended; a new line of levelling starts here, "
                       "and both are network points"});
      contents.runs.emplace_back();
    }
    previousFore = read.fore;
    contents.runs.back().push_back(std::move(read));
  }
  if (records.empty())
    contents.warnings.push_back({0, "the file holds no elevation difference record"});
  std::stable_sort(contents.warnings.begin(), contents.warnings.end(),
                   [](const RunWarning& a, const RunWarning& b) { return a.line < b.line; });
  return contents;
}

bool LooksLikeLevelData(std::string_view start) {
  start = WithoutByteOrderMark(start);
  std::string_view first;
  while (!start.empty()) {
    const std::size_t end = start.find_first_of("\r\n");
    first = TrimBlanks(start.substr(0, end));
    if (!first.empty() || end == std::string_view::npos) break;
    start.remove_prefix(end + 1);
  }
  return !first.empty() && (first[0] == '#' || first[0] == '.' || IsRecordStart(first));
}

}  // namespace vireo
