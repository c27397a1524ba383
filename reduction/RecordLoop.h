// The record loop of a run: a field data file read record by record, its
// readings framed into set-ups and paired, with the warnings of each step.
// The processing run and the survey model listen to the same loop, so they
// count the same set-ups and give the same warnings.
#pragma once

#include <string>
#include <vector>

#include "common/FileSystem.h"
#include "common/Warning.h"
#include "readers/FieldFile.h"
#include "reduction/SetupBuffer.h"

namespace vireo {

class RecordListener {
 public:
  virtual ~RecordListener() = default;
  // A line start record; `assumed` for the one a file whose first readings
  // come before any line start record is given at its first reading.
  virtual void LineStart(long /*fieldLine*/, bool /*assumed*/) {}
  virtual void Height(const FieldRecord& /*record*/) {}
  // Every reading record, before it enters the set-up buffer.
  virtual void ReadingSeen(const Reading& /*reading*/) {}
  // A complete set-up of four readings, paired.
  virtual void Setup(const SetupSlots& /*slots*/, const SetupPairing& /*pairing*/) {}
};

// Reads `in` (the field data file at `path`) to its end. A file in which no
// line is a reading record or a line start record of any format is refused
// with Error naming `path`; so is a failed read. Returns the file's format.
FieldFormat RunRecordLoop(InputStream& in, const std::string& path, RecordListener& listener,
                          Warnings& warnings);

}  // namespace vireo
