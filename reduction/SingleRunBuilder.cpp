// Single-run lines read into the level book: a set-up is one back and one
// fore sight in either order (BF, or FB in the alternating method), with
// the intermediate sights taken from the same stand of the level.
#include <cmath>
#include <utility>

#include "common/Text.h"
#include "reduction/Chain.h"
#include "reduction/LevelBook.h"
#include "reduction/SurveyBuilder.h"

namespace vireo {
namespace {

// The set-up being read, for a height that follows one of its sights.
constexpr std::size_t kOpenSetup = static_cast<std::size_t>(-1);

bool Has(const BookSetup& setup, SightKind kind) {
  for (const BookSight& s : setup.sights)
    if (s.kind == kind) return true;
  return false;
}

SightKind KindOf(const std::string& code) {
  return code == "Rb" ? SightKind::Back : code == "Rf" ? SightKind::Fore : SightKind::Intermediate;
}

}  // namespace

void SurveyBuilder::BookStart(const FieldRecord& record) {
  SingleRunLine line;
  line.fieldLine = record.line;
  line.number = static_cast<int>(survey_.singleRunLines.size()) + 1;
  line.method = record.method;
  survey_.singleRunLines.push_back(std::move(line));
  inBook_ = true;
  lineEnded_.reset();
  lastFore_.clear();
}

void SurveyBuilder::BookReading(Reading&& reading) {
  const double distance = NumberFromText(reading.distance);
  if (!BookReadingUsable(reading, distance)) return;
  SingleRunLine& line = survey_.singleRunLines.back();
  BookSight sight;
  sight.point = std::move(reading.pointId);
  sight.kind = KindOf(reading.code);
  sight.reading = StaffReading{reading.line, reading.value, distance, true};
  awaitingBookHeight_.reset();
  if (sight.kind == SightKind::Intermediate) {
    if (open_) {
      open_->sights.push_back(std::move(sight));
      awaitingBookHeight_.emplace(kOpenSetup, open_->sights.size() - 1);
      return;
    }
    if (line.setups.empty()) {
      warnings_.push_back({reading.line, "the intermediate sight on " + ToUtf8(sight.point) +
                                             " has no back sight before it; it is not reduced"});
      Lost(reading.line, NotReducedReason::UnmatchedSight);
      return;
    }
    // Taken after the fore sight, from the same stand of the level.
    BookSetup& last = line.setups.back();
    last.sights.push_back(std::move(sight));
    LevelBookSetup(last, last.Back().reducedLevel);
    awaitingBookHeight_.emplace(line.setups.size() - 1, last.sights.size() - 1);
    return;
  }
  if (open_ && Has(*open_, sight.kind)) DropOpenSetup(NotReducedReason::UnmatchedSight);
  if (!open_) {
    open_.emplace();
    open_->fieldLine = sight.reading.fieldLine;
  }
  open_->sights.push_back(std::move(sight));
  if (Has(*open_, SightKind::Back) && Has(*open_, SightKind::Fore)) BookSetupComplete();
}

// A set-up with both its sights: levelled on from the one before it, or
// from the start height.
void SurveyBuilder::BookSetupComplete() {
  SingleRunLine& line = survey_.singleRunLines.back();
  BookSetup setup = std::move(*open_);
  open_.reset();
  double backLevel = 0;
  if (line.setups.empty()) {
    if (height_.empty())
      warnings_.push_back({setup.fieldLine,
                           "no height is read before the line's first set-up, so its "
                           "reduced levels start at 0"});
    line.startHeight = height_;
    if (line.startPoint.empty()) line.startPoint = setup.Back().point;
    backLevel = NumberFromText(height_);
  } else {
    const BookSight& before = line.setups.back().Fore();
    backLevel = before.reducedLevel;
    if (auto broken = BreakOfChain(setup.fieldLine, setup.Back().point, &before.point))
      warnings_.push_back({setup.fieldLine, ToUtf8(ChainBreakText(*broken))});
  }
  LevelBookSetup(setup, backLevel);
  if (survey_.firstStation.empty()) survey_.firstStation = setup.Back().point;
  line.setups.push_back(std::move(setup));
  // The level writes the fore point's height after the set-up.
  const std::vector<BookSight>& sights = line.setups.back().sights;
  for (std::size_t i = 0; i < sights.size(); ++i)
    if (sights[i].kind == SightKind::Fore) awaitingBookHeight_.emplace(line.setups.size() - 1, i);
}

void SurveyBuilder::DropOpenSetup(NotReducedReason reason) {
  if (!open_) return;
  warnings_.push_back({open_->fieldLine, "the set-up's back or fore sight is missing, so its " +
                                             std::to_string(open_->sights.size()) +
                                             " reading(s) are not reduced"});
  for (const BookSight& s : open_->sights) Lost(s.reading.fieldLine, reason, open_->fieldLine);
  open_.reset();
}

// A height in a single-run line: the start height before its first set-up,
// else the level's own height of the sight just read (the next height on
// its point), which the checks compare with the book's.
void SurveyBuilder::BookHeight(const FieldRecord& record) {
  const std::optional<double> usable = UsableHeight(record);
  if (!usable) return;
  const double height = *usable;
  SingleRunLine& line = survey_.singleRunLines.back();
  if (awaitingBookHeight_) {
    const auto [setup, index] = *std::exchange(awaitingBookHeight_, std::nullopt);
    BookSight& sight = (setup == kOpenSetup ? *open_ : line.setups[setup]).sights[index];
    if (record.heightPoint.empty() || record.heightPoint == sight.point) {
      sight.levelHeight = height;
      if (sight.kind == SightKind::Intermediate) return;
    }
  } else if (!open_ && !line.setups.empty() &&
             record.heightPoint == line.setups.back().Fore().point) {
    return;  // the fore point's height again (a DiNi Sh record's known height)
  }
  if (line.setups.empty() && !open_) line.startPoint = record.heightPoint;
  height_ = ToUtf8(record.heightText);
}

// The closing block of a GSI line says what it closes on.
void SurveyBuilder::BookEnd(const FieldRecord& record) {
  SingleRunLine& line = survey_.singleRunLines.back();
  const LineEnd& end = *record.lineEnd;
  LevelLineEnd figures{record.line, end.kind, end.setups, std::nullopt};
  if (auto height = StrictNumber(end.endHeightText)) figures.endHeight = *height;
  line.ends.push_back(figures);
  awaitingBookHeight_.reset();
  // The DNA03 writes a second block (515-518, 290) without these words.
  const auto known = StrictNumber(end.knownHeightText);
  if (end.kind != LineEndKind::ClosingBlock || !known) return;
  BookClosure& closure = line.closure;
  closure.closingBlockLine = record.line;
  closure.knownEnd = *known;
  closure.levelMisclose = StrictNumber(end.miscloseText);
  closure.loop = !end.startPoint.empty() && end.startPoint == line.startPoint;
}

// Ends the current single-run line: a set-up left without its other sight
// is lost, and the line's closure is worked out.
void SurveyBuilder::CloseBook() {
  if (!inBook_) return;
  inBook_ = false;
  DropOpenSetup(NotReducedReason::Leftover);
  awaitingBookHeight_.reset();
  SingleRunLine& line = survey_.singleRunLines.back();
  BookClosure& closure = line.closure;
  if (!closure.knownEnd && !line.setups.empty() &&
      line.setups.back().Fore().point == line.setups.front().Back().point) {
    closure.loop = true;
    closure.knownEnd = NumberFromText(line.startHeight);
  }
  CloseSingleRunLine(line);
}

}  // namespace vireo
