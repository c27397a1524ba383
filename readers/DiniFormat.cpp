#include "readers/DiniFormat.h"

#include "common/Text.h"

namespace vireo {

std::string_view Columns(std::string_view line, std::size_t first, std::size_t last) {
  if (first > line.size()) return {};
  return line.substr(first - 1, last - first + 1);
}

FieldRecord ClassifyDiniLine(std::string_view line) {
  FieldRecord record;
  record.lineStart = TrimBlanks(Columns(line, 22, 31)) == "Start-Line";
  const bool kd1 = Columns(line, 18, 20) == "KD1";
  if (kd1 && Columns(line, 96, 96) == "Z") {
    record.height = true;
    record.heightText = std::string(TrimBlanks(Columns(line, 97, 112)));
  }
  const std::string_view code = Columns(line, 50, 51);
  if (kd1 && Columns(line, 30, 34) != "#####" && (code == "Rb" || code == "Rf")) {
    Reading reading;
    reading.code = std::string(code);
    reading.pointId = std::string(TrimBlanks(Columns(line, 21, 29)));
    auto value = StrictNumber(Columns(line, 52, 66));
    reading.valueWasNumber = value.has_value();
    reading.value = value.value_or(0.0);
    reading.distance = std::string(TrimBlanks(Columns(line, 75, 89)));
    record.reading = std::move(reading);
  }
  return record;
}

}  // namespace vireo
