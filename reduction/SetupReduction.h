// The double-run reduction of one set-up: four readings, paired by code and
// point id, become a back-sight row and a fore-sight row of the report and
// one elevation difference record.
#pragma once

#include <array>
#include <functional>
#include <vector>

#include "output/LevelDataFile.h"
#include "output/Workbook.h"
#include "reduction/FieldRecord.h"
#include "reduction/RunVariables.h"

namespace vireo {

// The number a cell shows: a number as it is, a text through the
// permissive number reader, an empty cell 0.
double CellNumber(const CellValue& cell);

class SetupReducer {
 public:
  using RecordSink = std::function<void(const ElevationRecord&)>;

  SetupReducer(Workbook& sheet, RunVariables& run, RecordSink sink,
               std::vector<RunWarning>& warnings);

  // Stores one reading; the fourth reading of a set-up reduces it.
  void AddReading(const Reading& reading);
  // Reports readings left over at the end of the file.
  void Finish();

 private:
  void Reduce();
  void Put(int row, int column, double value);
  void Put(int row, int column, double value, const char* format);
  void PutText(int row, int column, const std::string& text);
  double Value(int row, int column) const { return CellNumber(sheet_.Get(row, column)); }
  // Messages may quote point ids, which keep the field file's own bytes.
  void Warn(long line, const std::string& message);

  Workbook& sheet_;
  RunVariables& run_;
  RecordSink sink_;
  std::vector<RunWarning>& warnings_;
  std::array<Reading, 4> slots_;
  int filled_ = 0;
  std::vector<std::pair<int, int>> written_;  // cells of the set-up under way
};

}  // namespace vireo
