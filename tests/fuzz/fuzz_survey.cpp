// Fuzzes what a run knows before it writes anything, all in memory: the
// field data file readers (DiNi and GSI, recognised by content), the survey
// builder with its framing and pairing, the survey model and the checks of
// the double run. No workbook is built, so this target tries many more
// inputs a second than fuzz_process. One input in four is read a second
// time in pieces of a length the input chooses: the survey and the warnings
// must not depend on where reads end.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "checks/Checks.h"
#include "common/Error.h"
#include "common/Text.h"
#include "reduction/SurveyBuilder.h"
#include "reduction/Tolerance.h"

namespace {

class Pieces : public vireo::InputStream {
 public:
  Pieces(std::string_view bytes, std::size_t piece) : bytes_(bytes), piece_(piece) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t n = std::min({size, piece_, bytes_.size()});
    std::memcpy(buffer, bytes_.data(), n);
    bytes_.remove_prefix(n);
    return n;
  }

 private:
  std::string_view bytes_;
  std::size_t piece_;
};

// The survey read in pieces of `piece` bytes; its set-ups, the readings not
// reduced and the warnings as text, or "refused".
std::string ReadSurvey(std::string_view bytes, std::size_t piece, vireo::Survey& survey) {
  Pieces in(bytes, piece);
  vireo::Warnings warnings;
  try {
    survey = vireo::ReadSurvey(in, "/F.dat", warnings);
  } catch (const vireo::Error&) {
    return "refused";
  }
  if (warnings.Count() < warnings.size()) __builtin_trap();  // "and N more" stands for N
  std::string shown;
  for (const vireo::LevellingLine& line : survey.lines)
    for (const vireo::Setup& s : line.setups)
      shown += std::to_string(s.fieldLine) + (s.back ? s.back->point : "-") + ">" + s.fore.point +
               vireo::DecimalText(s.riseFall) + ";";
  for (const vireo::NotReduced& n : survey.notReduced)
    shown += std::to_string(n.firstLine) + "-" + std::to_string(n.readings) + ";";
  for (const vireo::RunWarning& w : warnings) shown += std::to_string(w.line) + w.message;
  return shown;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  vireo::Survey survey, again;
  const std::string shown = ReadSurvey(bytes, bytes.size() + 1, survey);
  if (size > 1 && data[0] % 4 == 0 && ReadSurvey(bytes, 1 + data[1] % 61, again) != shown)
    __builtin_trap();
  if (shown == "refused") return 0;

  // Every reading is accounted for; the set-ups with both sights paired are
  // numbered 1, 2, ... in file order, each on its lines.
  if (survey.AccountedReadings() != survey.readings) __builtin_trap();
  long number = 0, fieldLine = 0;
  for (const vireo::LevellingLine& line : survey.lines)
    for (const vireo::Setup& s : line.setups) {
      if (s.reduced != (s.BackPaired() ? ++number : 0)) __builtin_trap();
      if (s.fieldLine < fieldLine || s.fieldLine < 1) __builtin_trap();
      fieldLine = s.fieldLine;
    }

  const vireo::ReportClosure closure{survey.closure.misclose,
                                     vireo::ToleranceMm(4, survey.closure.totalDistance)};
  const vireo::CheckReport report = vireo::RunChecks(survey, vireo::CheckLimits{}, 4, closure);
  if (static_cast<long>(report.setups.size()) != number) __builtin_trap();
  if (vireo::VerdictLine(report).empty()) __builtin_trap();
  // Whatever the double run lost fails the verdict.
  if (!vireo::LostText(report.completeness).empty() && report.Pass()) __builtin_trap();
  return 0;
}
