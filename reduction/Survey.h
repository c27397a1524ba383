// The reduced set-ups of a field data file as plain values, line of
// levelling by line of levelling: what the checks and the network
// adjustment work from. A set-up counts here when both its back sight and
// its fore sight are paired (the set-ups that give an elevation difference
// record).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/FileSystem.h"
#include "common/Warning.h"
#include "readers/FieldFile.h"
#include "reduction/RecordLoop.h"

namespace vireo {

struct ReducedSetup {
  long number = 0;     // counts the file's reduced set-ups from 1
  long fieldLine = 0;  // field file line of the set-up's first reading
  int line = 0;        // line of levelling, counted from 1
  std::string back;    // point ids, the field file's own bytes
  std::string fore;
  // Staff readings of the first and second run, metres (BS1, BS2, FS1, FS2).
  double bs1 = 0, bs2 = 0, fs1 = 0, fs2 = 0;
  // Sight distances of the same readings, metres.
  double backDistance1 = 0, backDistance2 = 0, foreDistance1 = 0, foreDistance2 = 0;
  // The instrument's own computed heights of the point before the set-up
  // (the start height or the previous set-up's fore point) and of the fore
  // point right after it, where the field file carries them.
  std::optional<double> heightBefore;
  std::optional<double> heightAfter;

  double AveBackSight() const { return (bs1 + bs2) / 2; }
  double AveForeSight() const { return (fs1 + fs2) / 2; }
  // "Ave_Dist(m)" of the back-sight row and of the fore-sight row.
  double BackDistance() const;
  double ForeDistance() const;
  // Back minus fore, unrounded.
  double HeightDifference() const { return AveBackSight() - AveForeSight(); }
  // The rise or fall as the report shows it, rounded to five decimals.
  double RiseFall() const;
  // Station difference (BS1 - FS1) - (BS2 - FS2), metres.
  double StationDifference() const { return (bs1 - fs1) - (bs2 - fs2); }
};

struct LevellingLine {
  long fieldLine = 0;  // its line start record; the first reading's when assumed
  std::vector<ReducedSetup> setups;
};

struct Survey {
  std::string file;  // path of the field data file
  FieldFormat format = FieldFormat::Unknown;
  std::vector<LevellingLine> lines;
  long SetupCount() const;
};

// Builds the survey from the record loop.
class SurveyBuilder : public RecordListener {
 public:
  explicit SurveyBuilder(std::string file) { survey_.file = std::move(file); }
  void LineStart(long fieldLine, bool assumed) override;
  void Height(const FieldRecord& record) override;
  void ReadingSeen(const Reading& reading) override;
  void Setup(const SetupSlots& slots, const SetupPairing& pairing) override;
  Survey Take(FieldFormat format);

 private:
  Survey survey_;
  long reduced_ = 0;
  std::optional<double> lastHeight_;        // since the last set-up or line start
  ReducedSetup* awaitingHeight_ = nullptr;  // the set-up just reduced
};

// Reads the field data file at `path` into a survey, with the warnings of
// the record loop. Throws Error naming the file when it cannot be read or
// holds no record.
Survey ReadSurvey(const std::string& path, Warnings& warnings, FileSystem& fs = RealFileSystem());

}  // namespace vireo
