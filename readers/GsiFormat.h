// Leica GSI levelling files (DNA03, DNA10, LS10, LS15): one block a line,
// a block being words separated by a blank. A word is a head of seven
// characters (word index and information in positions 1-6, the sign in 7)
// followed by its data: 8 characters in GSI-8, 16 in GSI-16 (whose lines
// begin with "*"), right-justified and zero-padded. The word index has
// three digits when position 3 is a digit and position 4 is "."
// (331, 571, ...), otherwise two (11, 32, 41, 83). Position 6 is the unit:
// 0 metres in mm, 6 in 0.1 mm, 8 in 0.01 mm; 1 and 7 feet.
//   41   line start, the measuring method in the last data character
//   11   point id; 32 sight distance
//   331 B1, 332 F1, 335 B2, 336 F2 staff readings; 333 intermediate sight
//   83   height: the start height, or the height of the fore point after
//        each set-up
//   505-518, 290  the closing block of a line (no word 11): 290 the
//        level's count of set-ups, 509 the start point, 512 the point
//        measured last, 513 its measured height, 514 the known height it
//        closes on, 505 the misclosure 513 - 514
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Warning.h"
#include "readers/FieldRecord.h"

namespace vireo {

struct GsiWord {
  std::string_view text;  // the word as written
  int index = 0;          // word index: 11, 32, 41, 83, 331, ...
  char unit = '.';        // position 6
  bool negative = false;  // sign "-" in position 7
  std::string_view data;  // from position 8, trailing blanks removed
};

struct GsiBlock {
  int dataWidth = 8;  // 8 (GSI-8) or 16 (GSI-16)
  std::vector<GsiWord> words;
  const GsiWord* Find(int index) const;
  int Count(int index) const;
};

// The words of one line. A word ends only at a blank that is followed by a
// word head, so text data may hold blanks and a word may outgrow its width.
// Nothing when the line does not begin with a word head (after the "*").
std::optional<GsiBlock> ParseGsiBlock(std::string_view line);

// The value of a length word (unit 0, 6 or 8) as decimal text in metres,
// with the unit's decimals but at least `decimals`: data 0000000000159977
// in unit 8 gives "1.59977", a negative zero gives no sign. The data must
// be digits of the block's width; a GSI-8 value that outgrows 8 digits
// (running line lengths past 999.99999 m) has a leading digit other than 0
// and at most 16 digits. Empty, with `problem` set, when the word is none
// of this.
std::string GsiMetresText(const GsiWord& word, int dataWidth, int decimals, std::string& problem);

// The point id of word 11: its data with blanks and the leading zero padding
// removed ("000000000000000G" is "G", an all-zero id is "0"). Empty when the
// data is empty, longer than 16 characters or holds a control character.
std::string GsiPointId(const GsiWord& word);

// Turns the blocks of a GSI file into field records. It keeps the
// measuring method of the current line and collects the readings of a
// set-up until all four (B1 F1 B2 F2, handed out in the order written) are
// there, so a reading that is missing or cannot be read costs its own
// set-up only, never the pairing of the set-ups after it; a set-up whose
// two back (or fore) readings name different points is not handed out
// either. A line measured single-run hands out each reading as it comes,
// intermediate sights (333) and every height included. In a double run an
// intermediate sight is no reading, and the height block after it is no
// height of the line. A file in feet is refused. Every reading block that
// is not handed on as a reading is handed out as a skipped reading.
class GsiReader {
 public:
  using Emit = std::function<void(FieldRecord&)>;

  explicit GsiReader(Warnings& warnings) : warnings_(warnings) {}

  // Reads one line (`number` counts from 1) and hands out the records it
  // completes, each with its own line number. Returns true when the line is
  // a block with a word 41 or 11, which makes the file a GSI file. A length
  // in feet throws Error (no file name; the caller adds it).
  bool Line(std::string_view text, long number, const Emit& emit);
  // At the end of the file: reports a set-up left incomplete.
  void Finish(const Emit& emit);

 private:
  struct Pending {
    FieldRecord record;
    int role = 0;  // 0 B1, 1 F1, 2 B2, 3 F2
  };
  void Warn(long line, const std::string& message);
  void LineStart(const GsiBlock& block, long number, const Emit& emit);
  void TakeReading(const GsiBlock& block, const GsiWord& word, std::string pointId, long number,
                   const Emit& emit);
  void TakeHeight(const GsiBlock& block, const GsiWord& word, std::string pointId, long number,
                  const Emit& emit);
  void SingleRunBlock(const GsiBlock& block, std::string pointId, int readings, long number,
                      const Emit& emit);
  void ClosingBlock(const GsiBlock& block, long number, const Emit& emit);
  void DropIncomplete(const Emit& emit);
  // Hands out a reading record that is not reduced, and why.
  void Skip(long number, NotReducedReason reason, const Emit& emit);

  Warnings& warnings_;
  bool recognised_ = false;
  bool singleRun_ = false;  // the current line is measured single-run
  std::vector<Pending> setup_;
  std::optional<std::string> intermediate_;  // point of the block before, a 333
};

}  // namespace vireo
