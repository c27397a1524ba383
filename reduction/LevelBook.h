// The level book of a single-run line: the arithmetic of its set-ups and
// its closure. A set-up's rise or fall is B - F to five decimals, as in the
// double run; its height of collimation is the back point's level plus B,
// and an intermediate sight's level that height minus its reading.
#pragma once

#include <optional>

#include "reduction/Survey.h"

namespace vireo {

// Fills the levels of a complete set-up (one back and one fore sight, any
// intermediate sights) standing on `backLevel` (rounded to five decimals
// first, as a carried level is).
void LevelBookSetup(BookSetup& setup, double backLevel);

// The line's closure from its set-ups and closing figures (knownEnd, loop
// and the level's misclose already read): its length, its misclose and
// the Adj. RL of every sight. The misclose, in the report's sense (the
// level it should end on minus the last level, so the opposite of the
// level's own 505), is spread in proportion to the distance walked, back and
// fore sights only; an intermediate sight takes the correction of its
// set-up's back point.
void CloseSingleRunLine(SingleRunLine& line);

// The line's misclose against n·√k mm (k its length in km): none when it
// has nothing to close on or the error factor is not a usable one.
std::optional<bool> MiscloseWithinTolerance(const SingleRunLine& line, double errorFactor);
// The closing block's misclose (505, measured minus known) and the one the
// readings give differ by more than 0.01 mm.
bool DisagreesWithLevel(const BookClosure& closure);

// The booking check of a level book: sum of back sights minus sum of fore
// sights, rises minus falls and last level minus first, metres.
struct BookSums {
  double backSights = 0, foreSights = 0, rises = 0, falls = 0;
  double firstLevel = 0, lastLevel = 0;
  // The three agree within the rounding of the rises to 0.00001 m.
  bool Agree() const;
};
BookSums SumLevelBook(const SingleRunLine& line);

}  // namespace vireo
