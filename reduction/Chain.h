// The chain of set-ups of a line of levelling: each set-up stands its staff
// first on the point where the set-up before it ended. One rule for the
// processing run's checks and for the network, so both name the same
// breaks.
#pragma once

#include <optional>
#include <string>

namespace vireo {

struct ChainBreak {
  long fieldLine = 0;        // the first reading of the set-up that does not follow on
  std::string back;          // where it starts
  std::string previousFore;  // where the set-up before it ended
};

// None when the set-up starting at `back` follows on from a set-up that
// ended at `previousFore`; `previousFore` is null for a line's first set-up.
std::optional<ChainBreak> BreakOfChain(long fieldLine, const std::string& back,
                                       const std::string* previousFore);

// "the set-up starts at 15, not at 14 where the previous set-up ended",
// names as the file holds them.
std::string ChainBreakText(const ChainBreak& chainBreak);

}  // namespace vireo
