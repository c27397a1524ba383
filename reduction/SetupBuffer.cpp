#include "reduction/SetupBuffer.h"

#include <string>
#include <utility>

#include "common/Text.h"

namespace vireo {
namespace {

// Messages may quote point ids, which keep the field file's own bytes.
void Warn(Warnings& warnings, long line, const std::string& message) {
  warnings.push_back({line, ToUtf8(message)});
}

}  // namespace

bool SetupBuffer::Add(Reading&& reading, Warnings& warnings) {
  if (!reading.valueWasNumber)
    Warn(warnings, reading.line,
         "the reading of " + reading.pointId + " is not a number; it is taken as 0");
  if (reading.pointId.empty()) {
    if (filled_ < 3) {
      Warn(warnings, reading.line, "a reading without a point id is skipped");
      return false;
    }
    Warn(warnings, reading.line,
         "a reading without a point id ends its set-up, which it cannot complete");
  }
  slots_[filled_++] = std::move(reading);
  return filled_ == 4;
}

void SetupBuffer::Finish(Warnings& warnings) {
  if (filled_ > 0)
    Warn(warnings, slots_[0].line,
         std::to_string(filled_) +
             " reading(s) at the end of the file make no complete set-up and are not reduced");
  filled_ = 0;
}

SetupPairing PairReadings(const SetupSlots& slots) {
  auto first = [&](const char* code) {
    for (int i = 0; i < 4; ++i)
      if (slots[i].code == code) return i;
    return -1;
  };
  auto repeat = [&](int of) {
    if (of < 0) return -1;
    for (int i = of + 1; i < 4; ++i)
      if (slots[i].code == slots[of].code && slots[i].pointId == slots[of].pointId) return i;
    return -1;
  };
  SetupPairing pairing;
  pairing.back = first("Rb");
  pairing.backRepeat = repeat(pairing.back);
  pairing.fore = first("Rf");
  pairing.foreRepeat = repeat(pairing.fore);
  return pairing;
}

void WarnAboutPairing(const SetupSlots& slots, const SetupPairing& pairing, Warnings& warnings) {
  const long line = slots[0].line;
  if (!pairing.ForePaired()) {
    Warn(warnings, line,
         pairing.fore < 0 ? "a set-up without a fore-sight reading is dropped"
                          : "the fore sight on " + slots[pairing.fore].pointId +
                                " has no second reading; the set-up is dropped");
  } else if (!pairing.BackPaired()) {
    Warn(warnings, line,
         pairing.back < 0 ? "a set-up without a back-sight reading: its rise or fall counts the "
                            "back sight as 0 and it has no elevation difference record"
                          : "the back sight on " + slots[pairing.back].pointId +
                                " has no second reading: its rise or fall counts the back sight "
                                "as 0 and it has no elevation difference record");
  }
}

}  // namespace vireo
