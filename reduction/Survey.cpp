#include "reduction/Survey.h"

#include <cmath>

#include "common/Error.h"
#include "common/Text.h"
#include "reduction/Tolerance.h"

namespace vireo {
namespace {

double Metres(const std::string& text) {
  const double value = NumberFromText(text);
  return std::isfinite(value) ? value : 0.0;
}

}  // namespace

double ReducedSetup::BackDistance() const {
  return (backDistance1 + backDistance2) / 2;
}

double ReducedSetup::ForeDistance() const {
  return (foreDistance1 + foreDistance2) / 2;
}

double ReducedSetup::RiseFall() const {
  return RoundedToFiveDecimals(HeightDifference());
}

long Survey::SetupCount() const {
  long count = 0;
  for (const LevellingLine& line : lines) count += static_cast<long>(line.setups.size());
  return count;
}

void SurveyBuilder::LineStart(long fieldLine, bool /*assumed*/) {
  survey_.lines.push_back({fieldLine, {}});
  lastHeight_.reset();
  awaitingHeight_ = nullptr;
}

void SurveyBuilder::Height(const FieldRecord& record) {
  const double height = NumberFromText(record.heightText);
  if (!std::isfinite(height)) return;
  if (awaitingHeight_) awaitingHeight_->heightAfter = height;
  awaitingHeight_ = nullptr;
  lastHeight_ = height;
}

void SurveyBuilder::ReadingSeen(const Reading& /*reading*/) {
  awaitingHeight_ = nullptr;
}

void SurveyBuilder::Setup(const SetupSlots& slots, const SetupPairing& pairing) {
  const std::optional<double> before = lastHeight_;
  lastHeight_.reset();
  awaitingHeight_ = nullptr;
  if (!pairing.BackPaired() || !pairing.ForePaired()) return;
  if (survey_.lines.empty()) survey_.lines.push_back({slots[0].line, {}});
  const Reading& b1 = slots[pairing.back];
  const Reading& b2 = slots[pairing.backRepeat];
  const Reading& f1 = slots[pairing.fore];
  const Reading& f2 = slots[pairing.foreRepeat];
  ReducedSetup setup;
  setup.number = ++reduced_;
  setup.fieldLine = slots[0].line;
  setup.line = static_cast<int>(survey_.lines.size());
  setup.back = b1.pointId;
  setup.fore = f1.pointId;
  setup.bs1 = b1.value;
  setup.bs2 = b2.value;
  setup.fs1 = f1.value;
  setup.fs2 = f2.value;
  setup.backDistance1 = Metres(b1.distance);
  setup.backDistance2 = Metres(b2.distance);
  setup.foreDistance1 = Metres(f1.distance);
  setup.foreDistance2 = Metres(f2.distance);
  setup.heightBefore = before;
  auto& setups = survey_.lines.back().setups;
  setups.push_back(std::move(setup));
  awaitingHeight_ = &setups.back();
}

Survey SurveyBuilder::Take(FieldFormat format) {
  awaitingHeight_ = nullptr;
  survey_.format = format;
  return std::move(survey_);
}

Survey ReadSurvey(const std::string& path, Warnings& warnings, FileSystem& fs) {
  std::unique_ptr<InputStream> in;
  try {
    in = fs.OpenForReading(path);
  } catch (const Error& e) {
    throw Error(path, "open the field data file", e.Cause());
  }
  SurveyBuilder builder(path);
  const FieldFormat format = RunRecordLoop(*in, path, builder, warnings);
  return builder.Take(format);
}

}  // namespace vireo
