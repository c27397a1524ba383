#include "reduction/Chain.h"

namespace vireo {

std::optional<ChainBreak> BreakOfChain(long fieldLine, const std::string& back,
                                       const std::string* previousFore) {
  if (!previousFore || back == *previousFore) return std::nullopt;
  return ChainBreak{fieldLine, back, *previousFore};
}

std::string ChainBreakText(const ChainBreak& chainBreak) {
  return "the set-up starts at " + chainBreak.back + ", not at " + chainBreak.previousFore +
         " where the previous set-up ended";
}

}  // namespace vireo
