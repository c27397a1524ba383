// The set-up buffer of the double run: readings are collected four at a
// time, and the four are paired into the two runs of a back sight and a fore
// sight by code and point id.
#pragma once

#include <array>
#include <vector>

#include "common/Warning.h"
#include "readers/FieldRecord.h"

namespace vireo {

using SetupSlots = std::array<Reading, 4>;

class SetupBuffer {
 public:
  // Puts the reading into the first free slot. A reading without point id
  // leaves slots 1 to 3 free (the next reading takes its place), but as the
  // fourth reading it completes the set-up like any other, so the framing
  // of the readings that follow is kept. Returns true when the set-up is
  // complete; Slots() then holds it until Clear().
  bool Add(Reading&& reading, Warnings& warnings);
  const SetupSlots& Slots() const { return slots_; }
  int Filled() const { return filled_; }
  void Clear() { filled_ = 0; }
  // Reports readings left over at the end of the file and empties the buffer.
  void Finish(Warnings& warnings);

 private:
  SetupSlots slots_;
  int filled_ = 0;
};

// Slot indices (0-3) of the first back-sight reading and its repeat on the
// same point, and likewise for the fore sight; -1 where there is none. Any
// order of the four readings (BFFB, BFBF, BBFF, FBBF) pairs alike.
struct SetupPairing {
  int back = -1;
  int backRepeat = -1;
  int fore = -1;
  int foreRepeat = -1;
  bool BackPaired() const { return backRepeat >= 0; }
  bool ForePaired() const { return foreRepeat >= 0; }
};

SetupPairing PairReadings(const SetupSlots& slots);

// The warnings a set-up's pairing gives: a dropped set-up (no paired fore
// sight), or a set-up recorded without a paired back sight.
void WarnAboutPairing(const SetupSlots& slots, const SetupPairing& pairing, Warnings& warnings);

}  // namespace vireo
