#include "reduction/SurveyBuilder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "common/Error.h"
#include "common/Text.h"
#include "reduction/Closure.h"
#include "reduction/Tolerance.h"

namespace vireo {
namespace {

// What no level or staff gives: a staff is a few metres long, a sight a few
// tens of metres, and no benchmark lies 10 km above or below the datum.
constexpr double kStaffLimitM = 10;
constexpr double kSightLimitM = 1e6;
constexpr double kHeightLimitM = 10000;

// The sight distances of a set-up's four readings, in metres.
using SlotDistances = std::array<double, 4>;

SlotDistances DistancesOf(const SetupSlots& slots) {
  SlotDistances distances;
  for (std::size_t i = 0; i < slots.size(); ++i) distances[i] = NumberFromText(slots[i].distance);
  return distances;
}

StaffReading ReadingOf(const Reading& reading, double distance) {
  return {reading.line, reading.value, distance, reading.valueWasNumber};
}

// Why a reading cannot be reduced, or "" when it can.
std::string Impossible(const Reading& reading, double distance) {
  if (std::abs(reading.value) > kStaffLimitM)
    return "the staff reading " + DecimalText(reading.value) + " m of " + reading.pointId +
           " lies outside -10 to +10 m (a staff is a few metres long)";
  if (!(distance >= 0 && distance <= kSightLimitM))
    return "the sight distance \"" + reading.distance + "\" of " + reading.pointId +
           " is negative or too long to be a sight";
  return {};
}

}  // namespace

long Survey::SetupCount() const {
  long count = 0;
  for (const LevellingLine& line : lines) count += static_cast<long>(line.setups.size());
  return count;
}

long Survey::ReducedSetupCount() const {
  long count = 0;
  ForEachReduced([&](const Setup&) { ++count; });
  return count;
}

long Survey::AccountedReadings() const {
  long count = 4 * ReducedSetupCount() + BookReadings();
  for (const NotReduced& lost : notReduced) count += lost.takenAsZero ? 0 : lost.readings;
  return count;
}

long Survey::BookReadings() const {
  long count = 0;
  for (const SingleRunLine& line : singleRunLines)
    for (const BookSetup& setup : line.setups) count += static_cast<long>(setup.sights.size());
  return count;
}

const Setup* Survey::LastSetup() const {
  for (auto line = lines.rbegin(); line != lines.rend(); ++line)
    if (!line->setups.empty()) return &line->setups.back();
  return nullptr;
}

SurveyBuilder::SurveyBuilder(std::string file, Warnings& warnings) : warnings_(warnings) {
  survey_.file = std::move(file);
}

void SurveyBuilder::Take(FieldRecord& record) {
  if (record.skippedReading) {
    ++survey_.readings;
    Lost(record.line, *record.skippedReading);
    lostSinceSetup_ = true;
    return;
  }
  if (record.lineStart) {
    CloseBook();
    if (record.singleRun)
      BookStart(record);
    else
      LineStart(record.line, false);
  }
  if (inBook_) {
    if (record.lineEnd) BookEnd(record);
    if (record.height) BookHeight(record);
    if (record.reading) {
      ++survey_.readings;
      BookReading(std::move(*record.reading));
    }
    return;
  }
  if (record.lineEnd) EndOfLine(record);
  if (record.height) {
    if (record.heightPoint.empty() || record.heightPoint != intermediatePoint_) Height(record);
    intermediatePoint_.clear();
  }
  if (!record.reading) return;
  if (record.reading->code == "Rz") {
    // An intermediate sight is no part of a double run.
    ++survey_.readings;
    warnings_.push_back({record.line, "the intermediate sight on " +
                                          ToUtf8(record.reading->pointId) +
                                          " is no part of the double run; it is not reduced"});
    Lost(record.line, NotReducedReason::IntermediateSight);
    intermediatePoint_ = record.reading->pointId;
    return;
  }
  intermediatePoint_.clear();
  if (!inLine_) {
    // A file that starts with readings is reduced as though a line start
    // record preceded them.
    warnings_.push_back(
        {record.line, "no line start record before the first reading; one is assumed"});
    LineStart(record.line, true);
  }
  if (lineEnded_ && buffer_.Filled() == 0) {
    const auto [endLine, end] = *std::exchange(lineEnded_, std::nullopt);
    warnings_.push_back({record.line, "the set-up follows the " + end + " at file line " +
                                          std::to_string(endLine) +
                                          " with no line start record between them"});
    survey_.unopened.push_back({endLine, end, record.line});
  }
  ++survey_.readings;
  awaitingHeight_.reset();
  AddReading(std::move(*record.reading));
}

void SurveyBuilder::LineStart(long fieldLine, bool assumed) {
  survey_.lines.push_back({fieldLine, assumed, {}, {}, {}, {}, {}});
  inLine_ = true;
  lastHeight_.reset();
  awaitingHeight_.reset();
  lineEnded_.reset();
  lastFore_.clear();
  lostSinceSetup_ = false;
}

bool SurveyBuilder::LineHasSetup() const {
  if (!inLine_ || survey_.lines.empty()) return false;
  const LevellingLine& line = survey_.lines.back();
  return !line.setups.empty() || !line.dropped.empty() || !line.impossible.empty();
}

void SurveyBuilder::EndOfLine(const FieldRecord& record) {
  if (!inLine_) return;
  const LineEnd& end = *record.lineEnd;
  LevelLineEnd figures{record.line, end.kind, end.setups, std::nullopt};
  if (auto height = StrictNumber(end.endHeightText); height && std::abs(*height) <= kHeightLimitM)
    figures.endHeight = *height;
  survey_.lines.back().ends.push_back(figures);
  if (!lineEnded_) lineEnded_.emplace(record.line, LineEndText(end.kind));
}

std::optional<double> SurveyBuilder::UsableHeight(const FieldRecord& record) {
  const double height = NumberFromText(record.heightText);
  if (std::abs(height) <= kHeightLimitM) return height;
  warnings_.push_back({record.line, "the height " + ToUtf8(record.heightText) +
                                        " lies outside -10,000 to +10,000 m; it is not used"});
  return std::nullopt;
}

void SurveyBuilder::Height(const FieldRecord& record) {
  // The height of a point other than the one the last set-up ended on,
  // where a set-up could begin: the start height of another line.
  if (!lineEnded_ && !record.heightPoint.empty() && !lastFore_.empty() &&
      record.heightPoint != lastFore_ && buffer_.Filled() == 0 && !lostSinceSetup_ &&
      LineHasSetup())
    lineEnded_.emplace(record.line, "start height of " + ToUtf8(record.heightPoint));
  const std::optional<double> usable = UsableHeight(record);
  if (!usable) return;
  const double height = *usable;
  height_ = ToUtf8(record.heightText);
  if (awaitingHeight_ && !survey_.lines.empty())
    survey_.lines.back().setups[*awaitingHeight_].heightAfter = height;
  awaitingHeight_.reset();
  lastHeight_ = height;
}

void SurveyBuilder::AddReading(Reading&& reading) {
  const int before = buffer_.Filled();
  const long line = reading.line;
  if (!buffer_.Add(std::move(reading), warnings_)) {
    if (buffer_.Filled() == before) Lost(line, NotReducedReason::NoPointId);
    return;
  }
  const SetupSlots& slots = buffer_.Slots();
  const SetupPairing pairing = PairReadings(slots);
  ReduceSetup(slots, pairing);
  WarnAboutPairing(slots, pairing, warnings_);
  buffer_.Clear();
}

void SurveyBuilder::Lost(long line, NotReducedReason reason, long setupLine, bool takenAsZero) {
  auto& lost = survey_.notReduced;
  if (!lost.empty() && lost.back().reason == reason && lost.back().setupLine == setupLine &&
      lost.back().lastLine < line) {
    lost.back().lastLine = line;
    ++lost.back().readings;
    return;
  }
  lost.push_back({line, line, 1, reason, setupLine, takenAsZero, {}, {}});
}

// The set-up's points on the readings of it just listed as not reduced.
void SurveyBuilder::NameLostSetup(const SetupSlots& slots, long setupLine) {
  auto& lost = survey_.notReduced;
  if (lost.empty() || lost.back().setupLine != setupLine) return;
  for (const Reading& r : slots) {
    std::string& point = r.code == "Rb" ? lost.back().back : lost.back().fore;
    if (point.empty()) point = r.pointId;
  }
}

// The reduction of one set-up of four readings. Its fore sight must be
// paired or the set-up is dropped; a back sight without its repeat counts
// as 0 in the rise or fall, as the report has always done, and the set-up
// gets no elevation difference record.
void SurveyBuilder::ReduceSetup(const SetupSlots& slots, const SetupPairing& pairing) {
  const long setupLine = slots[0].line;
  const std::optional<double> before = std::exchange(lastHeight_, std::nullopt);
  awaitingHeight_.reset();
  lostSinceSetup_ = false;
  lastFore_ = pairing.fore >= 0 ? slots[static_cast<std::size_t>(pairing.fore)].pointId : "";
  const SlotDistances distance = DistancesOf(slots);
  for (std::size_t i = 0; i < slots.size(); ++i) {
    const Reading& reading = slots[i];
    if (std::string why = Impossible(reading, distance[i]); !why.empty()) {
      warnings_.push_back({reading.line, ToUtf8(why) + "; its set-up is not reduced"});
      for (const Reading& r : slots) Lost(r.line, NotReducedReason::ImpossibleValue, setupLine);
      NameLostSetup(slots, setupLine);
      survey_.lines.back().impossible.push_back(setupLine);
      return;
    }
  }
  if (pairing.BackPaired() && survey_.firstStation.empty())
    survey_.firstStation = slots[pairing.back].pointId;
  LevellingLine& line = survey_.lines.back();
  if (!pairing.ForePaired()) {
    for (const Reading& r : slots) Lost(r.line, NotReducedReason::DroppedSetup, setupLine);
    NameLostSetup(slots, setupLine);
    line.dropped.push_back({setupLine, line.setups.size(), pairing.back >= 0, pairing.BackPaired(),
                            pairing.fore >= 0});
    return;
  }

  Setup setup;
  setup.fieldLine = setupLine;
  setup.line = static_cast<int>(survey_.lines.size());
  if (pairing.back >= 0) {
    const auto b = static_cast<std::size_t>(pairing.back);
    setup.back = Sight{slots[b].pointId, ReadingOf(slots[b], distance[b]), std::nullopt};
    if (pairing.BackPaired()) {
      const auto repeat = static_cast<std::size_t>(pairing.backRepeat);
      setup.back->repeat = ReadingOf(slots[repeat], distance[repeat]);
    }
  }
  const auto f = static_cast<std::size_t>(pairing.fore);
  const auto fr = static_cast<std::size_t>(pairing.foreRepeat);
  setup.fore =
      Sight{slots[f].pointId, ReadingOf(slots[f], distance[f]), ReadingOf(slots[fr], distance[fr])};
  setup.riseFall = RiseFallOf(setup.AveBackSight(), setup.AveForeSight());
  if (line.setups.empty()) {
    if (height_.empty())
      warnings_.push_back({setupLine,
                           "no height is read before the line's first set-up, so its "
                           "reduced levels start at 0"});
    line.startHeight = height_;
    setup.calRlBack = CarriedLevel(NumberFromText(height_));
  } else {
    setup.calRlBack = CarriedLevel(line.setups.back().calRlFore);
  }
  setup.calRlFore = setup.calRlBack + setup.riseFall;

  Closure& closure = survey_.closure;
  if (setup.riseFall > 0) {
    closure.sumRise += setup.riseFall;
    closure.anyRise = true;
  } else if (setup.riseFall < 0) {
    closure.sumFall += -setup.riseFall;
    closure.anyFall = true;
  }
  closure.totalDistance += setup.BackDistance();
  closure.totalDistance += setup.ForeDistance();

  if (setup.BackPaired()) {
    setup.reduced = ++reduced_;
    setup.heightBefore = before;
    for (const Reading& r : slots)
      if (!r.valueWasNumber) Lost(r.line, NotReducedReason::NotANumber, setupLine, true);
  } else {
    for (const Reading& r : slots) Lost(r.line, NotReducedReason::UnpairedBackSight, setupLine);
  }
  NameLostSetup(slots, setupLine);
  line.setups.push_back(std::move(setup));
  if (line.setups.back().BackPaired()) awaitingHeight_ = line.setups.size() - 1;
}

// The misclose of the whole file spread over the last line, as for a closed
// loop.
void SurveyBuilder::Spread() {
  if (survey_.lines.empty()) return;
  std::vector<Setup>& setups = survey_.lines.back().setups;
  std::vector<LevelledPair> pairs;
  pairs.reserve(setups.size());
  for (const Setup& s : setups)
    pairs.push_back(
        {s.calRlBack, s.calRlFore, s.BackDistance(), s.ForeDistance(), s.Rise(), s.Fall()});
  const Closure& closure = survey_.closure;
  const std::vector<AdjustedPair> adjusted =
      SpreadMisclose(pairs, closure.totalDistance, closure.misclose);
  for (std::size_t i = 0; i < setups.size(); ++i) {
    setups[i].adjRlBack = adjusted[i].back;
    setups[i].adjRlFore = adjusted[i].fore;
  }
}

bool SurveyBuilder::BookReadingUsable(const Reading& reading, double distance) {
  std::string why = Impossible(reading, distance);
  if (why.empty() && !reading.valueWasNumber) why = "the reading is not a number";
  if (why.empty()) return true;
  warnings_.push_back({reading.line, ToUtf8(why) + "; it is not reduced"});
  Lost(reading.line,
       reading.valueWasNumber ? NotReducedReason::ImpossibleValue : NotReducedReason::NotANumber);
  return false;
}

Survey SurveyBuilder::Finish(FieldFormat format) {
  CloseBook();
  for (int i = 0; i < buffer_.Filled(); ++i)
    Lost(buffer_.Slots()[static_cast<std::size_t>(i)].line, NotReducedReason::Leftover);
  buffer_.Finish(warnings_);
  // The readers hand out a GSI set-up's lost readings when it is given up,
  // after lines that follow them.
  std::stable_sort(
      survey_.notReduced.begin(), survey_.notReduced.end(),
      [](const NotReduced& a, const NotReduced& b) { return a.firstLine < b.firstLine; });
  survey_.format = format;
  survey_.lastHeight = height_;
  survey_.closure.misclose = survey_.closure.sumFall - survey_.closure.sumRise;
  Spread();
  return std::move(survey_);
}

Survey ReadSurvey(InputStream& in, const std::string& path, Warnings& warnings) {
  FieldRecordReader reader(warnings);
  SurveyBuilder builder(path, warnings);
  ReadFieldRecords(in, path, reader, [&](FieldRecord& record) { builder.Take(record); });
  Survey survey = builder.Finish(reader.Format());
  if (!reader.SawReading() && !reader.SawLineStart()) {
    if (reader.LooksLike() == OtherLayout::DiniRec500)
      throw Error(path, "read the field data file",
                  "it is a DiNi file in the older REC 500 format; export the job from the level "
                  "(or its transfer program) as M5 and choose that file");
    if (reader.LooksLike() == OtherLayout::TotalStation)
      throw Error(path, "read the field data file",
                  "it is a total station's GSI file (angles, words 21 and 22), not levelling; "
                  "choose the file the digital level wrote");
    throw Error(path, "read the field data file",
                "nothing in it is a record of a field data file (DiNi M5 or Leica GSI); "
                "choose the file the level wrote");
  }
  if (!reader.SawReading()) warnings.push_back({0, "the file holds no reading"});
  return survey;
}

Survey ReadSurvey(const std::string& path, Warnings& warnings, FileSystem& fs) {
  std::unique_ptr<InputStream> in;
  try {
    in = fs.OpenForReading(path);
  } catch (const Error& e) {
    throw Error(path, "open the field data file", e.Cause());
  }
  return ReadSurvey(*in, path, warnings);
}

}  // namespace vireo
