#include "reduction/SetupReduction.h"

#include <cmath>

#include "common/Error.h"
#include "common/Text.h"

namespace vireo {

double CellNumber(const CellValue& cell) {
  switch (cell.kind) {
    case CellValue::Kind::Number:
      return cell.number;
    case CellValue::Kind::Text:
      return NumberFromText(cell.text);
    case CellValue::Kind::Empty:
      break;
  }
  return 0.0;
}

SetupReducer::SetupReducer(Workbook& sheet, RunVariables& run, RecordSink sink, Warnings& warnings)
    : sheet_(sheet), run_(run), sink_(std::move(sink)), warnings_(warnings) {}

void SetupReducer::Put(int row, int column, double value) {
  if (!std::isfinite(value)) {
    warnings_.push_back(
        {setupLine_, "a value of the set-up is too large to store; its cell is left as it was"});
    return;
  }
  sheet_.SetNumber(row, column, value);
  written_.emplace_back(row, column);
}

void SetupReducer::Put(int row, int column, double value, const char* format) {
  if (!std::isfinite(value)) {
    warnings_.push_back(
        {setupLine_, "a value of the set-up is too large to store; its cell is left as it was"});
    return;
  }
  sheet_.SetNumber(row, column, value, format);
  written_.emplace_back(row, column);
}

void SetupReducer::PutText(int row, int column, const std::string& text) {
  sheet_.SetText(row, column, text);
  written_.emplace_back(row, column);
}

void SetupReducer::Reduce(const SetupSlots& slots, const SetupPairing& pairing) {
  const int r = run_.currentRow;
  if (r + 1 > Workbook::kMaxRows)
    throw Error("", "reduce the set-ups",
                "the report would need more than " + std::to_string(Workbook::kMaxRows) +
                    " rows, the most a workbook holds");
  written_.clear();
  setupLine_ = slots[0].line;
  const int back = pairing.back;
  const int backRepeat = pairing.backRepeat;
  const int fore = pairing.fore;
  const int foreRepeat = pairing.foreRepeat;

  // Back-sight row.
  if (back >= 0) {
    const Reading& b = slots[back];
    PutText(r, kRef, ToUtf8(b.pointId));
    Put(r, kBs1, b.value);
    Put(r, kDist1, NumberFromText(b.distance));
    if (backRepeat >= 0) {
      const Reading& k = slots[backRepeat];
      if (run_.firstStation.empty()) run_.firstStation = b.pointId;
      run_.backStation = b.pointId;
      Put(r, kBs2, k.value);
      Put(r, kDist2, NumberFromText(k.distance));
      run_.aveBackSight = (b.value + k.value) / 2;
      Put(r, kAveBs, run_.aveBackSight);
      Put(r, kAveDist, (NumberFromText(b.distance) + NumberFromText(k.distance)) / 2);
    }
  }

  // Fore-sight row; without a paired fore sight the set-up is dropped and
  // leaves no trace in the report.
  bool forePaired = false;
  if (fore >= 0) {
    const Reading& f = slots[fore];
    PutText(r + 1, kRef, ToUtf8(f.pointId));
    Put(r + 1, kFs1, f.value);
    Put(r + 1, kDist1, NumberFromText(f.distance));
    if (foreRepeat >= 0) {
      const Reading& k = slots[foreRepeat];
      forePaired = true;
      run_.foreStation = f.pointId;
      Put(r + 1, kFs2, k.value);
      Put(r + 1, kDist2, NumberFromText(k.distance));
      run_.aveForeSight = (f.value + k.value) / 2;
      Put(r + 1, kAveFs, run_.aveForeSight);
      Put(r + 1, kAveDist, (NumberFromText(f.distance) + NumberFromText(k.distance)) / 2);
    }
  }
  if (!forePaired) {
    for (auto [row, column] : written_) sheet_.Clear(row, column);
    return;
  }

  const std::string riseFall = FormatFixed(Value(r, kAveBs) - Value(r + 1, kAveFs), 5);
  const double rise = NumberFromText(riseFall);

  if (back >= 0 && backRepeat >= 0)
    sink_(ElevationRecord{run_.backStation, run_.foreStation, run_.aveBackSight, run_.aveForeSight,
                          slots[back].distance, slots[fore].distance, run_.firstStation});

  if (rise > 0) {
    Put(r + 1, kRise, rise, kFiveDecimals);
    run_.sumRise += rise;
    run_.anyRise = true;
  } else if (rise < 0) {
    Put(r + 1, kFall, -rise);
    run_.sumFall += -rise;
    run_.anyFall = true;
  }

  const CellValue above = sheet_.Get(r - 1, kCalRl);
  double backLevel;
  if (above.kind == CellValue::Kind::Text && above.text == "Cal. RL") {
    backLevel = NumberFromText(FormatFixed(NumberFromText(run_.startRl), 5));
    run_.lineStartRl = run_.startRl;
  } else {
    backLevel = NumberFromText(FormatFixed(CellNumber(above), 5));
  }
  Put(r, kCalRl, backLevel, kFiveDecimals);
  Put(r + 1, kCalRl, Value(r, kCalRl) + rise);
  run_.lastRl = Value(r + 1, kCalRl);
  run_.totalDistance += Value(r, kAveDist);
  run_.totalDistance += Value(r + 1, kAveDist);
  run_.currentRow += 2;
  ++run_.setups;
  run_.lineHasSetup = true;
}

}  // namespace vireo
