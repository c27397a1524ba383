#include "readers/DiniFormat.h"

#include <algorithm>
#include <cmath>

#include "common/Text.h"

namespace vireo {
namespace {

bool IsBlankOrBar(char c) {
  return c == ' ' || c == '\t' || c == '|';
}

// `mark` at `at` stands alone: a blank, a bar or the line's end on each side.
bool StandsAlone(std::string_view line, std::size_t at, std::size_t length) {
  return (at == 0 || IsBlankOrBar(line[at - 1])) &&
         (at + length == line.size() || IsBlankOrBar(line[at + length]));
}

// The first place from `from` on where `mark` stands alone, or npos.
std::size_t FindMark(std::string_view line, std::string_view mark, std::size_t from = 0) {
  for (std::size_t at = line.find(mark, from); at != std::string_view::npos;
       at = line.find(mark, at + 1))
    if (StandsAlone(line, at, mark.size())) return at;
  return std::string_view::npos;
}

}  // namespace

const char* ReadingCode(std::string_view code) {
  // A level set to German writes "Lr" and "Lv" (and "E" for "HD", which
  // the columns make no matter).
  if (code == "Rb" || code == "Lr") return "Rb";
  if (code == "Rf" || code == "Lv") return "Rf";
  if (code == "Rz" || code == "Lz") return "Rz";
  return nullptr;
}

std::string UnknownCodeWarning(std::string_view line, const FieldRecord& record) {
  if (record.reading || Columns(line, 18, 20) != "KD1" || Columns(line, 30, 34) == "#####")
    return {};
  const std::string_view code = TrimBlanks(Columns(line, 50, 51));
  static constexpr std::string_view kKnown[] = {"Sh", "dz", "Db", "Df", "HD", "E",  "Z",
                                                "sR", "sL", "Rb", "Rf", "Rz", "Lr", "Lv",
                                                "Lz", "ds", "Dh", "Zd", "Zb", "Zf"};
  if (code.empty() || std::find(std::begin(kKnown), std::end(kKnown), code) != std::end(kKnown))
    return {};
  const bool letters = std::all_of(code.begin(), code.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  });
  if (!letters) return {};
  return "the record's code \"" + std::string(code) +
         "\" is no reading code the level writes (Rb, Rf, Rz; set to German Lr, Lv, Lz); the "
         "record is skipped";
}

std::string_view Columns(std::string_view line, std::size_t first, std::size_t last) {
  if (first > line.size()) return {};
  return line.substr(first - 1, last - first + 1);
}

FieldRecord ClassifyDiniLine(std::string_view line) {
  FieldRecord record;
  // The ten columns hold "Start-Line" trimmed only when they hold it alone.
  record.lineStart = Columns(line, 22, 31) == "Start-Line";
  if (record.lineStart) {
    // The measuring method follows in the columns before the line number.
    const std::string_view rest = TrimBlanks(Columns(line, 32, 43));
    record.method = std::string(rest.substr(0, rest.find(' ')));
    record.singleRun = record.method == "BF" || record.method == "aBF";
  }
  const bool kd1 = Columns(line, 18, 20) == "KD1";
  if (kd1 && Columns(line, 96, 96) == "Z") {
    record.height = true;
    record.heightText = std::string(TrimBlanks(Columns(line, 97, 112)));
    record.heightPoint = std::string(TrimBlanks(Columns(line, 21, 29)));
  }
  if (Columns(line, 22, 29) == "End-Line") {
    record.lineEnd.emplace().kind = LineEndKind::EndLineText;
  } else if (Columns(line, 18, 20) == "KD2") {
    LineEnd end;
    end.kind = LineEndKind::EndRecord;
    end.endPoint = std::string(TrimBlanks(Columns(line, 21, 29)));
    const std::string_view count = TrimBlanks(Columns(line, 30, 43));
    // A count is a whole number a line can hold; anything else is no count.
    if (auto setups = StrictNumber(count);
        setups && *setups >= 0 && *setups <= 1e9 && *setups == std::floor(*setups))
      end.setups = static_cast<long>(*setups);
    if (Columns(line, 96, 96) == "Z")
      end.endHeightText = std::string(TrimBlanks(Columns(line, 97, 112)));
    record.lineEnd = std::move(end);
  }
  const char* code = ReadingCode(Columns(line, 50, 51));
  if (kd1 && Columns(line, 30, 34) != "#####" && code) {
    Reading reading;
    reading.code = code;
    reading.pointId = std::string(TrimBlanks(Columns(line, 21, 29)));
    auto value = StrictNumber(Columns(line, 52, 66));
    reading.valueWasNumber = value.has_value();
    reading.value = value.value_or(0.0);
    reading.distance = std::string(TrimBlanks(Columns(line, 75, 89)));
    record.reading = std::move(reading);
  }
  return record;
}

OutOfColumn FindOutOfColumn(std::string_view line, const FieldRecord& record) {
  const char* kind = nullptr;
  bool reading = false;
  // A reading record in its columns is neither a reading nor a height out of
  // column, whatever else the line holds.
  const std::size_t kd1 = record.reading ? std::string_view::npos : line.find("KD1");
  if (kd1 != std::string_view::npos) {
    // Marks are looked for after the point id (nine columns after "KD1"),
    // so a point named "Rb" or "Z" is no mark.
    const std::size_t after = kd1 + 12;
    std::size_t code = std::string_view::npos;
    for (std::string_view mark : {"Rb", "Rf", "Rz", "Lr", "Lv", "Lz"})
      code = std::min(code, FindMark(line, mark, after));
    const bool inColumn = kd1 == 17 && code == 49;
    reading = !record.reading && code != std::string_view::npos && !inColumn;
    if (reading)
      kind = "a reading record (\"KD1\" and an \"Rb\", \"Rf\" or \"Rz\" code)";
    else if (!record.height && !record.reading &&
             FindMark(line, "Z", after) != std::string_view::npos)
      kind = "a height record (\"KD1\" and the \"Z\" flag)";
  }
  if (!kind && !record.lineStart && FindMark(line, "Start-Line") != std::string_view::npos)
    kind = "a line start record (\"Start-Line\")";
  if (!kind) return {};
  return {std::string("the line has the marks of ") + kind +
              ", but its fields are out of column; it is skipped",
          reading};
}

}  // namespace vireo
