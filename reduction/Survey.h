// The survey model of record: what a field data file holds and what the
// reduction made of every reading in it: double-run lines reduced as pairs,
// single-run lines as a level book. Lines of levelling with
// their set-ups (readings, means, rise or fall, Cal. RL and Adj. RL), the
// closure of the levelling, and every reading record that was not reduced
// with the reason. The report, the level data file, the profile, the checks
// and the network are all rendered from it; nothing here knows a cell.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "readers/FieldFile.h"
#include "readers/FieldRecord.h"

namespace vireo {

// One staff reading as the reduction uses it.
struct StaffReading {
  long fieldLine = 0;
  double value = 0;     // metres; 0 when its text was not a number
  double distance = 0;  // metres, the sight distance (0 when the file gives none)
  bool valueWasNumber = true;
};

// A staff point of a set-up and its readings in the two runs.
struct Sight {
  std::string point;                   // point id, the field file's own bytes
  StaffReading first;                  // BS1 or FS1
  std::optional<StaffReading> repeat;  // BS2 or FS2; none when the point is not read twice

  bool Paired() const { return repeat.has_value(); }
  // "Ave_BS(m)" / "Ave_FS(m)" and "Ave_Dist(m)" of a paired sight.
  double Mean() const { return (first.value + repeat->value) / 2; }
  double MeanDistance() const { return (first.distance + repeat->distance) / 2; }
};

// A set-up the report records: its fore sight is paired. Its back sight may
// be missing or unpaired (it then counts as 0, as the report has always
// done, and the set-up is no reduced set-up of the double run).
struct Setup {
  long fieldLine = 0;         // line of its first reading
  int line = 0;               // line of levelling, counted from 1
  long reduced = 0;           // counts the set-ups with both sights paired from 1; 0 for the others
  std::optional<Sight> back;  // none when the set-up holds no back-sight reading
  Sight fore;
  double riseFall = 0;   // back mean minus fore mean, to five decimals
  double calRlBack = 0;  // five decimals: carried from the level before
  double calRlFore = 0;  // calRlBack + riseFall
  // Adj. RL, spread over the last line of the file only; the fore level is
  // none when the levelling has no length to spread the misclose over.
  std::optional<double> adjRlBack, adjRlFore;
  // The instrument's own computed heights of the back point and of the fore
  // point, where the file carries them (reduced set-ups only).
  std::optional<double> heightBefore, heightAfter;

  bool BackPaired() const { return back && back->Paired(); }
  // What the report's columns hold: an unpaired back sight counts as 0.
  double AveBackSight() const { return BackPaired() ? back->Mean() : 0; }
  double AveForeSight() const { return fore.Mean(); }
  double BackDistance() const { return BackPaired() ? back->MeanDistance() : 0; }
  double ForeDistance() const { return fore.MeanDistance(); }
  // The rise or fall as the report's columns show them: 0 when none.
  double Rise() const { return riseFall > 0 ? riseFall : 0; }
  double Fall() const { return riseFall < 0 ? -riseFall : 0; }

  // Of a reduced set-up (both sights paired): BS1, BS2, FS1, FS2.
  double Bs1() const { return back->first.value; }
  double Bs2() const { return back->repeat->value; }
  double Fs1() const { return fore.first.value; }
  double Fs2() const { return fore.repeat->value; }
  // Back minus fore mean, unrounded.
  double HeightDifference() const { return AveBackSight() - AveForeSight(); }
  // (BS1 - FS1) - (BS2 - FS2), metres.
  double StationDifference() const { return (Bs1() - Fs1()) - (Bs2() - Fs2()); }
};

// A set-up dropped for want of a paired fore sight: which of its sights
// were read (the report empties the cells they took) and where it stood,
// before the line's set-up `before` (its count of set-ups at the time).
struct DroppedSetup {
  long fieldLine = 0;
  std::size_t before = 0;
  bool backRead = false, backPaired = false, foreRead = false;
};

// An end record of a line of levelling (DiNi End-Line or KD2, a GSI
// closing block) with the level's own figures, where it gives them.
struct LevelLineEnd {
  long fieldLine = 0;
  LineEndKind kind = LineEndKind::EndLineText;
  std::optional<long> setups;       // the level's count of set-ups
  std::optional<double> endHeight;  // the height the level measured at the end
};

struct LevellingLine {
  long fieldLine = 0;    // its line start record; the first reading's when assumed
  bool assumed = false;  // readings came before any line start record
  // The height text its first set-up's Cal. RL starts from; empty when the
  // line has no set-up or no height was read before it.
  std::string startHeight;
  std::vector<Setup> setups;
  std::vector<DroppedSetup> dropped;
  std::vector<long> impossible;    // first file lines of set-ups lost to an impossible value
  std::vector<LevelLineEnd> ends;  // in the file's order
};

// A set-up that follows the end of a line of levelling (an end record, or
// the start height of another point) with no line start record between
// them: two lines joined into one.
struct UnopenedLine {
  long endLine = 0;    // file line of what ended the line
  std::string end;     // what it was: "End-Line record", "start height of I"
  long setupLine = 0;  // the first reading of the set-up that follows
};

// The kind of a sight in a level book.
enum class SightKind : std::uint8_t { Back, Intermediate, Fore };

// One reading of a single-run line as the level book shows it.
struct BookSight {
  std::string point;  // the field file's own bytes
  SightKind kind = SightKind::Back;
  StaffReading reading;
  double reducedLevel = 0;              // five decimals
  std::optional<double> adjustedLevel;  // none when the line has no misclose to spread
  // The level's own height of the point (GSI word 83, DiNi Z) where the
  // file gives one right after the sight.
  std::optional<double> levelHeight;
};

// A set-up of a single-run line: its back sight, the intermediate sights
// taken from it, and its fore sight, in the file's order.
struct BookSetup {
  long fieldLine = 0;  // line of its first reading
  std::vector<BookSight> sights;
  double riseFall = 0;     // B - F, five decimals
  double collimation = 0;  // height of collimation: the back point's level plus B

  const BookSight& Back() const;
  const BookSight& Fore() const;
};

// What a single-run line closes on, and how far it misses.
struct BookClosure {
  double lengthM = 0;  // back and fore sights, intermediate sights left out
  // The level it should end on: its start height when it ends on its start
  // point (a loop), or the known height of its closing block. None: an
  // open line with nothing to close on, not judged.
  std::optional<double> knownEnd;
  bool loop = false;
  std::optional<double> misclose;       // metres, knownEnd minus the last level
  std::optional<double> levelMisclose;  // the closing block's own (505, last minus known), m
  long closingBlockLine = 0;            // file line of the closing block; 0: none
};

// A line of levelling measured single-run, reduced as a level book.
struct SingleRunLine {
  long fieldLine = 0;  // its line start record
  int number = 0;      // counts the file's single-run lines from 1
  std::string method;  // "BF" or "aBF"
  std::string startPoint;
  std::string startHeight;  // the height text it starts from; empty: none (levels from 0)
  std::vector<BookSetup> setups;
  std::vector<LevelLineEnd> ends;
  BookClosure closure;
};

// Reading records not reduced, consecutive ones of one reason (and of one
// set-up) together.
struct NotReduced {
  long firstLine = 0, lastLine = 0;  // field file lines
  long readings = 0;
  NotReducedReason reason = NotReducedReason::DroppedSetup;
  long setupLine = 0;  // first line of the set-up they belonged to; 0 for none
  // A reading that is no number in a set-up with both sights paired: the
  // set-up is reduced with the reading taken as 0.
  bool takenAsZero = false;
  // The back and fore points of that set-up, as the file names them; empty
  // for readings of no set-up.
  std::string back, fore;
};

// The closure of the whole file as the report gives it.
struct Closure {
  double sumRise = 0, sumFall = 0;  // of the rounded rises and falls
  bool anyRise = false, anyFall = false;
  double totalDistance = 0;  // metres, "Ave_Dist(m)" of every recorded set-up's rows
  double misclose = 0;       // metres, sumFall - sumRise
};

struct Survey {
  std::string file;  // path of the field data file
  FieldFormat format = FieldFormat::Unknown;
  std::vector<LevellingLine> lines;  // the double-run lines
  std::vector<SingleRunLine> singleRunLines;
  std::vector<NotReduced> notReduced;
  std::vector<UnopenedLine> unopened;
  long readings = 0;  // reading records of the file, reduced or not
  // The back point of the file's first set-up with a paired back sight: the
  // descriptor of every elevation difference record.
  std::string firstStation;
  std::string lastHeight;  // the last height text read (UTF-8)
  Closure closure;

  long SetupCount() const;         // recorded set-ups
  long ReducedSetupCount() const;  // set-ups with both sights paired
  // Every reading record is either one of a reduced set-up's four or not
  // reduced: 4 x reduced set-ups + the readings not reduced outside them.
  long AccountedReadings() const;
  // Readings reduced in single-run lines.
  long BookReadings() const;
  const Setup* LastSetup() const;
  // Calls fn(setup) for every set-up with both sights paired, in order.
  template <typename F>
  void ForEachReduced(F&& fn) const {
    for (const LevellingLine& line : lines)
      for (const Setup& setup : line.setups)
        if (setup.BackPaired()) fn(setup);
  }
};

}  // namespace vireo
