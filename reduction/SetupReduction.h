// The double-run reduction of one set-up into the report: four paired
// readings become a back-sight row and a fore-sight row of the report and
// one elevation difference record.
#pragma once

#include <array>
#include <functional>
#include <vector>

#include "output/LevelDataFile.h"
#include "output/Workbook.h"
#include "reduction/RunVariables.h"
#include "reduction/SetupBuffer.h"

namespace vireo {

// The number a cell shows: a number as it is, a text through the
// permissive number reader, an empty cell 0.
double CellNumber(const CellValue& cell);

class SetupReducer {
 public:
  using RecordSink = std::function<void(const ElevationRecord&)>;

  SetupReducer(Workbook& sheet, RunVariables& run, RecordSink sink, Warnings& warnings);

  // Writes the set-up's rows and record and carries the run forward. A
  // set-up without a paired fore sight is dropped and leaves no trace.
  void Reduce(const SetupSlots& slots, const SetupPairing& pairing);

 private:
  void Put(int row, int column, double value);
  void Put(int row, int column, double value, const char* format);
  void PutText(int row, int column, const std::string& text);
  double Value(int row, int column) const { return CellNumber(sheet_.Get(row, column)); }

  Workbook& sheet_;
  RunVariables& run_;
  RecordSink sink_;
  Warnings& warnings_;
  long setupLine_ = 0;
  std::vector<std::pair<int, int>> written_;  // cells of the set-up under way
};

}  // namespace vireo
