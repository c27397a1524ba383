// The reduction: the records of a field data file become the survey model.
// Double-run readings are framed into set-ups of four and paired, each
// set-up is reduced here and nowhere else; single-run lines become a level
// book; every reading record that is not reduced is kept with its reason.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/FileSystem.h"
#include "common/Warning.h"
#include "readers/FieldFile.h"
#include "reduction/SetupBuffer.h"
#include "reduction/Survey.h"

namespace vireo {

class SurveyBuilder {
 public:
  SurveyBuilder(std::string file, Warnings& warnings);

  // The records of the file, in order; a record's reading is moved out.
  void Take(FieldRecord& record);
  // Ends the file: readings left over, the closure and the Adj. RL of the
  // last line.
  Survey Finish(FieldFormat format);

 private:
  void LineStart(long fieldLine, bool assumed);
  void Height(const FieldRecord& record);
  // The record's height, or none (with a warning) outside +-10,000 m.
  std::optional<double> UsableHeight(const FieldRecord& record);
  void EndOfLine(const FieldRecord& record);
  bool LineHasSetup() const;
  void AddReading(Reading&& reading);
  void ReduceSetup(const SetupSlots& slots, const SetupPairing& pairing);
  void Lost(long line, NotReducedReason reason, long setupLine = 0, bool takenAsZero = false);
  void NameLostSetup(const SetupSlots& slots, long setupLine);
  void Spread();

  // Single-run lines, reduced as a level book (SingleRunBuilder.cpp).
  void BookStart(const FieldRecord& record);
  void BookReading(Reading&& reading);
  void BookHeight(const FieldRecord& record);
  void BookEnd(const FieldRecord& record);
  void BookSetupComplete();
  void DropOpenSetup(NotReducedReason reason);
  void CloseBook();
  bool BookReadingUsable(const Reading& reading, double distance);

  Survey survey_;
  Warnings& warnings_;
  SetupBuffer buffer_;
  std::string height_;                         // the height text the next line's first set-up takes
  std::optional<double> lastHeight_;           // instrument height since the last set-up
  std::optional<std::size_t> awaitingHeight_;  // the reduced set-up just added, in the last line
  long reduced_ = 0;
  bool inLine_ = false;
  // What ended the current line (file line, text) while no line start
  // record has come since; the next set-up joins two lines.
  std::optional<std::pair<long, std::string>> lineEnded_;
  std::string lastFore_;         // fore point of the last set-up; empty: unknown
  bool lostSinceSetup_ = false;  // readings the reader could not hand on since then
  // The point of a double run's intermediate sight just read: the height
  // that follows on it is that sight's, no height of the line.
  std::string intermediatePoint_;

  bool inBook_ = false;            // the current line is single-run
  std::optional<BookSetup> open_;  // the set-up being read: back or fore so far
  std::optional<std::pair<std::size_t, std::size_t>> awaitingBookHeight_;  // set-up, sight
};

// Reads a field data file into the survey model, with the warnings of every
// record. A file in which no line is a reading record or a line start
// record of any format is refused (Error naming `path`); so is a failed read.
Survey ReadSurvey(InputStream& in, const std::string& path, Warnings& warnings);
Survey ReadSurvey(const std::string& path, Warnings& warnings, FileSystem& fs = RealFileSystem());

}  // namespace vireo
