#include "readers/GsiFormat.h"

#include <algorithm>
#include <utility>

#include "common/Error.h"
#include "common/Text.h"

namespace vireo {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Two digits, four visible characters, a sign.
bool IsHead(std::string_view line, std::size_t at) {
  if (at + 7 > line.size()) return false;
  if (!IsDigit(line[at]) || !IsDigit(line[at + 1])) return false;
  for (std::size_t i = at + 2; i < at + 6; ++i)
    if (line[i] <= ' ' || line[i] > '~') return false;
  return line[at + 6] == '+' || line[at + 6] == '-';
}

GsiWord MakeWord(std::string_view text) {
  GsiWord word;
  std::size_t end = text.size();
  while (end > 7 && text[end - 1] == ' ') --end;
  word.text = text.substr(0, end);
  word.index = (text[0] - '0') * 10 + (text[1] - '0');
  if (IsDigit(text[2]) && text[3] == '.') word.index = word.index * 10 + (text[2] - '0');
  word.unit = text[5];
  word.negative = text[6] == '-';
  word.data = word.text.substr(7);
  return word;
}

// A word as a message quotes it: at most 40 bytes, control characters as "?".
std::string Quote(std::string_view text) {
  std::string quoted(text.substr(0, 40));
  for (char& c : quoted)
    if (c >= 0 && c < ' ') c = '?';
  return text.size() <= 40 ? quoted : quoted + "...";
}

bool IsLength(int index) {
  return index == 32 || index == 83 || (index >= 331 && index <= 336);
}

const char* WhatLength(int index) {
  return index == 32 ? "a sight distance" : index == 83 ? "a height" : "a staff reading";
}

constexpr int kReadingWords[] = {331, 332, 333, 335, 336};

// A block of the level's figures at a line's end: words 505 to 518.
bool IsClosingBlock(const GsiBlock& block) {
  return std::any_of(block.words.begin(), block.words.end(),
                     [](const GsiWord& w) { return w.index >= 505 && w.index <= 518; });
}
constexpr const char* kRoleNames[4] = {"B1", "F1", "B2", "F2"};

}  // namespace

const GsiWord* GsiBlock::Find(int index) const {
  for (const GsiWord& word : words)
    if (word.index == index) return &word;
  return nullptr;
}

int GsiBlock::Count(int index) const {
  return static_cast<int>(std::count_if(words.begin(), words.end(),
                                        [&](const GsiWord& w) { return w.index == index; }));
}

std::optional<GsiBlock> ParseGsiBlock(std::string_view line) {
  GsiBlock block;
  if (!line.empty() && line[0] == '*') {
    block.dataWidth = 16;
    line.remove_prefix(1);
  }
  if (!IsHead(line, 0)) return std::nullopt;
  std::size_t start = 0;
  while (start < line.size()) {
    std::size_t end = start + 7;
    while (end < line.size() && !(line[end] == ' ' && IsHead(line, end + 1))) ++end;
    block.words.push_back(MakeWord(line.substr(start, end - start)));
    start = end + 1;
  }
  return block;
}

std::string GsiMetresText(const GsiWord& word, int dataWidth, int decimals, std::string& problem) {
  int places;
  switch (word.unit) {
    case '0':
      places = 3;
      break;
    case '6':
      places = 4;
      break;
    case '8':
      places = 5;
      break;
    default: {
      const bool visible = word.unit > ' ' && word.unit <= '~';
      problem = visible ? std::string("its unit ") + word.unit + " is no unit of metres"
                        : "its unit is no unit of metres";
      return {};
    }
  }
  const std::string_view data = word.data;
  if (data.empty() || !std::all_of(data.begin(), data.end(), IsDigit)) {
    problem = "its data is not a number";
    return {};
  }
  const std::size_t width = static_cast<std::size_t>(dataWidth);
  const bool grown = width == 8 && data.size() > 8 && data.size() <= 16 && data[0] != '0';
  if (data.size() != width && !grown) {
    problem =
        "its data has " + std::to_string(data.size()) + " digits, not " + std::to_string(width);
    return {};
  }
  std::string digits(data.substr(std::min(data.find_first_not_of('0'), data.size())));
  const bool zero = digits.empty();
  if (decimals > places) {
    digits.append(static_cast<std::size_t>(decimals - places), '0');
    places = decimals;
  }
  const std::size_t fraction = static_cast<std::size_t>(places);
  if (digits.size() <= fraction) digits.insert(0, fraction + 1 - digits.size(), '0');
  std::string text = word.negative && !zero ? "-" : "";
  text.append(digits, 0, digits.size() - fraction);
  text += '.';
  text.append(digits, digits.size() - fraction);
  return text;
}

std::string GsiPointId(const GsiWord& word) {
  const std::string_view data = TrimBlanks(word.data);
  if (data.empty() || data.size() > 16) return {};
  // GSI is printable text; a control character is damage, not a name.
  if (std::any_of(data.begin(), data.end(), [](char c) { return c >= 0 && c < ' '; })) return {};
  const std::size_t first = data.find_first_not_of('0');
  return first == std::string_view::npos ? "0" : std::string(data.substr(first));
}

void GsiReader::Warn(long line, const std::string& message) {
  warnings_.push_back({line, ToUtf8(message)});
}

bool GsiReader::Line(std::string_view text, long number, const Emit& emit) {
  const std::optional<std::string> intermediateBefore = std::exchange(intermediate_, std::nullopt);
  const std::optional<GsiBlock> block = ParseGsiBlock(text);
  if (!block) {
    if (recognised_ && !TrimBlanks(text).empty())
      Warn(number, "the line is not a GSI block; it is skipped");
    return false;
  }
  for (const GsiWord& word : block->words)
    if (IsLength(word.index) && (word.unit == '1' || word.unit == '7'))
      throw Error("", "read the field data file",
                  "line " + std::to_string(number) + " gives " + WhatLength(word.index) +
                      " in feet (word " + ToUtf8(Quote(word.text)) +
                      "); the report and the level data file are in metres, so set the level "
                      "to metres and export the job again");
  const GsiWord* start = block->Find(41);
  const GsiWord* id = block->Find(11);
  int readings = 0;
  for (int index : kReadingWords) readings += block->Count(index);
  const GsiWord* height = block->Find(83);
  if (!start && !id && recognised_ && readings == 0 && !height && IsClosingBlock(*block)) {
    ClosingBlock(*block, number, emit);
    return false;
  }
  if (!start && !id) {
    if (recognised_ && (readings > 0 || height))
      Warn(number, "the block has no point id (word 11); it is skipped");
    if (recognised_ && readings > 0) Skip(number, NotReducedReason::NoPointId, emit);
    return false;
  }
  recognised_ = true;
  if (start) {
    LineStart(*block, number, emit);
    return true;
  }
  if (readings == 0 && !height) return true;
  std::string pointId = GsiPointId(*id);
  if (pointId.empty()) {
    Warn(number, "the point id word " + Quote(id->text) + " cannot be read; the block is skipped");
    if (readings > 0) Skip(number, NotReducedReason::NoPointId, emit);
    return true;
  }
  if (readings > 1) {
    Warn(number, "the block holds more than one reading; it is skipped");
    Skip(number, NotReducedReason::UnreadableBlock, emit);
  } else if (singleRun_) {
    SingleRunBlock(*block, pointId, readings, number, emit);
  } else if (readings == 1 && block->Find(333)) {
    Warn(number, "the intermediate sight (word 333) on " + pointId +
                     " is no part of the double run; it is not reduced");
    Skip(number, NotReducedReason::IntermediateSight, emit);
    intermediate_ = pointId;
  } else if (readings == 1) {
    for (int index : kReadingWords)
      if (const GsiWord* word = block->Find(index))
        TakeReading(*block, *word, pointId, number, emit);
  } else if (intermediateBefore != pointId) {
    // The height right after an intermediate sight, on its point, is that
    // sight's height and no height of the line.
    TakeHeight(*block, *height, std::move(pointId), number, emit);
  }
  return true;
}

void GsiReader::Skip(long number, NotReducedReason reason, const Emit& emit) {
  FieldRecord record;
  record.line = number;
  record.skippedReading = reason;
  emit(record);
}

void GsiReader::LineStart(const GsiBlock& block, long number, const Emit& emit) {
  DropIncomplete(emit);
  const GsiWord& word = *block.Find(41);
  const char method = word.data.empty() ? '?' : word.data.back();
  // 1 is BF and 2 BFFB as the levels document them; 3 and 4 are taken as
  // their alternating forms (aBF, aBFFB), as other readers of these files
  // take them: inferred from the files, not documented.
  singleRun_ = method == '1' || method == '3';
  if (!singleRun_ && method != '2' && method != '4')
    Warn(number, "the line names no known measuring method (word " + Quote(word.text) +
                     "); only set-ups that hold all four readings B1 F1 B2 F2 are reduced");
  FieldRecord record;
  record.line = number;
  record.lineStart = true;
  record.singleRun = singleRun_;
  record.method = method == '1'   ? "BF"
                  : method == '2' ? "BFFB"
                  : method == '3' ? "aBF"
                  : method == '4' ? "aBFFB"
                                  : "";
  emit(record);
}

void GsiReader::TakeReading(const GsiBlock& block, const GsiWord& word, std::string pointId,
                            long number, const Emit& emit) {
  std::string problem;
  const std::string valueText = GsiMetresText(word, block.dataWidth, 0, problem);
  const std::optional<double> value = StrictNumber(valueText);
  if (!value) {
    Warn(number, "the reading word " + Quote(word.text) + " cannot be read (" + problem +
                     "); the reading is skipped");
    Skip(number, NotReducedReason::NotANumber, emit);
    return;
  }
  std::string distance;
  if (const GsiWord* sight = block.Find(32)) {
    distance = GsiMetresText(*sight, block.dataWidth, 0, problem);
    if (distance.empty())
      Warn(number, "the distance word " + Quote(sight->text) + " cannot be read (" + problem +
                       "); the reading's distance counts as 0");
  }
  const int role = word.index == 331 ? 0 : word.index == 332 ? 1 : word.index == 335 ? 2 : 3;
  if (std::any_of(setup_.begin(), setup_.end(), [&](const Pending& p) { return p.role == role; }))
    DropIncomplete(emit);
  Pending pending;
  pending.role = role;
  pending.record.line = number;
  pending.record.reading = vireo::Reading{
      role % 2 == 0 ? "Rb" : "Rf", std::move(pointId), *value, std::move(distance), true, number};
  setup_.push_back(std::move(pending));
  if (setup_.size() < 4) return;
  std::array<const std::string*, 4> points{};
  for (const Pending& p : setup_)
    points[static_cast<std::size_t>(p.role)] = &p.record.reading->pointId;
  for (int first = 0; first < 2; ++first) {
    const std::string& one = *points[first];
    const std::string& two = *points[first + 2];
    if (one == two) continue;
    // Paired as they stand, such a set-up would count a sight as 0.
    Warn(setup_.front().record.line, std::string("the set-up reads ") + kRoleNames[first] + " on " +
                                         one + " but " + kRoleNames[first + 2] + " on " + two +
                                         ", so its 4 readings are not reduced");
    for (const Pending& p : setup_) Skip(p.record.line, NotReducedReason::MismatchedGsiSetup, emit);
    setup_.clear();
    return;
  }
  for (Pending& p : setup_) emit(p.record);
  setup_.clear();
}

// A block of a single-run line: its one reading (331 back, 332 fore, 333
// intermediate sight) handed out at once, or a height (the fore point's
// after a set-up, an intermediate point's after its sight).
void GsiReader::SingleRunBlock(const GsiBlock& block, std::string pointId, int readings,
                               long number, const Emit& emit) {
  if (readings == 0) {
    TakeHeight(block, *block.Find(83), std::move(pointId), number, emit);
    return;
  }
  const GsiWord* word = block.Find(331);
  const char* code = "Rb";
  if (!word && (word = block.Find(332))) code = "Rf";
  if (!word && (word = block.Find(333))) code = "Rz";
  if (!word) {
    Warn(number,
         "the block holds a reading of a double run (B2 or F2) in a single-run line; it "
         "is skipped");
    Skip(number, NotReducedReason::SingleRunLine, emit);
    return;
  }
  std::string problem;
  const std::optional<double> value =
      StrictNumber(GsiMetresText(*word, block.dataWidth, 0, problem));
  if (!value) {
    Warn(number, "the reading word " + Quote(word->text) + " cannot be read (" + problem +
                     "); the reading is skipped");
    Skip(number, NotReducedReason::NotANumber, emit);
    return;
  }
  std::string distance;
  if (const GsiWord* sight = block.Find(32))
    distance = GsiMetresText(*sight, block.dataWidth, 0, problem);
  FieldRecord record;
  record.line = number;
  record.reading =
      vireo::Reading{code, std::move(pointId), *value, std::move(distance), true, number};
  emit(record);
}

void GsiReader::TakeHeight(const GsiBlock& block, const GsiWord& word, std::string pointId,
                           long number, const Emit& emit) {
  DropIncomplete(emit);
  std::string problem;
  FieldRecord record;
  record.line = number;
  record.heightPoint = std::move(pointId);
  record.heightText = GsiMetresText(word, block.dataWidth, 5, problem);
  if (record.heightText.empty()) {
    Warn(number, "the height word " + Quote(word.text) + " cannot be read (" + problem +
                     "); the height is skipped");
    return;
  }
  record.height = true;
  emit(record);
}

// The closing block of a line (no point id; words 505-518 and 290): the
// level's count of set-ups (290) and the height it measured at the end
// (513), where it gives them. A single-run line's block ends it all the
// same.
void GsiReader::ClosingBlock(const GsiBlock& block, long number, const Emit& emit) {
  DropIncomplete(emit);
  LineEnd end;
  end.kind = LineEndKind::ClosingBlock;
  if (const GsiWord* count = block.Find(290)) {
    const std::string_view digits = count->data;
    if (!digits.empty() && digits.size() <= 16 &&
        std::all_of(digits.begin(), digits.end(), IsDigit) && !count->negative)
      end.setups = std::stol(std::string(digits));
  }
  if (const GsiWord* measured = block.Find(513)) {
    std::string problem;
    end.endHeightText = GsiMetresText(*measured, block.dataWidth, 5, problem);
  }
  if (const GsiWord* point = block.Find(512)) end.endPoint = GsiPointId(*point);
  if (const GsiWord* point = block.Find(509)) end.startPoint = GsiPointId(*point);
  std::string problem;
  if (const GsiWord* known = block.Find(514))
    end.knownHeightText = GsiMetresText(*known, block.dataWidth, 5, problem);
  if (const GsiWord* misclose = block.Find(505))
    end.miscloseText = GsiMetresText(*misclose, block.dataWidth, 5, problem);
  FieldRecord record;
  record.line = number;
  record.lineEnd = std::move(end);
  emit(record);
}

void GsiReader::DropIncomplete(const Emit& emit) {
  if (setup_.empty()) return;
  std::string missing;
  for (int role = 0; role < 4; ++role)
    if (std::none_of(setup_.begin(), setup_.end(),
                     [&](const Pending& p) { return p.role == role; }))
      missing += std::string(missing.empty() ? "" : " ") + kRoleNames[role];
  Warn(setup_.front().record.line, "the set-up lacks its reading(s) " + missing + ", so its " +
                                       std::to_string(setup_.size()) +
                                       " reading(s) are not reduced");
  for (const Pending& p : setup_) Skip(p.record.line, NotReducedReason::IncompleteGsiSetup, emit);
  setup_.clear();
}

void GsiReader::Finish(const Emit& emit) {
  DropIncomplete(emit);
}

}  // namespace vireo
