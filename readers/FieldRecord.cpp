#include "readers/FieldRecord.h"

namespace vireo {

const char* ReasonText(NotReducedReason reason) {
  switch (reason) {
    case NotReducedReason::UnpairedBackSight:
      return "unpaired back sight";
    case NotReducedReason::DroppedSetup:
      return "dropped set-up (no paired fore sight)";
    case NotReducedReason::Leftover:
      return "leftover (no complete set-up at the end of the file)";
    case NotReducedReason::NoPointId:
      return "no point id";
    case NotReducedReason::NotANumber:
      return "not a number";
    case NotReducedReason::OutOfColumn:
      return "out of column";
    case NotReducedReason::SingleRunLine:
      return "single-run line";
    case NotReducedReason::IntermediateSight:
      return "intermediate sight";
    case NotReducedReason::IncompleteGsiSetup:
      return "GSI set-up incomplete";
    case NotReducedReason::MismatchedGsiSetup:
      return "GSI set-up reads two points for one sight";
    case NotReducedReason::UnreadableBlock:
      return "GSI block with several readings";
    case NotReducedReason::ImpossibleValue:
      return "impossible value";
    case NotReducedReason::DamagedRecord:
      return "damaged record: the file ends inside it";
    case NotReducedReason::UnmatchedSight:
      return "single-run sight without its back or fore sight";
  }
  return "unknown";
}

const char* LineEndText(LineEndKind kind) {
  switch (kind) {
    case LineEndKind::EndLineText:
      return "End-Line record";
    case LineEndKind::EndRecord:
      return "end record (KD2)";
    case LineEndKind::ClosingBlock:
      return "closing block";
  }
  return "end record";
}

bool IsPartOfDoubleRun(NotReducedReason reason) {
  return reason != NotReducedReason::SingleRunLine && reason != NotReducedReason::IntermediateSight;
}

}  // namespace vireo
