// Fuzzes what a run knows before it writes anything, all in memory: the
// field data file readers (DiNi and GSI, recognised by content), the record
// survey builder with its framing and pairing, the survey model and the checks of the
// double run. No workbook is built, so this target tries many more inputs a
// second than fuzz_process. One input in four is read a second time in
// chunks of a length the input chooses: the survey and the warnings must not
// depend on where reads end.
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

class Chunks : public vireo::InputStream {
 public:
  Chunks(std::string_view bytes, std::size_t chunk) : bytes_(bytes), chunk_(chunk) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t n = std::min({size, chunk_, bytes_.size() - at_});
    std::memcpy(buffer, bytes_.data() + at_, n);
    at_ += n;
    return n;
  }

 private:
  std::string_view bytes_;
  std::size_t chunk_;
  std::size_t at_ = 0;
};

struct Read {
  bool refused = false;
  vireo::Survey survey;
  vireo::Warnings warnings;
  // The set-ups and the warnings as text.
  std::string Shown() const {
    std::string shown = refused ? "refused" : "";
    for (const vireo::LevellingLine& line : survey.lines)
      for (const vireo::Setup& s : line.setups)
        shown += std::to_string(s.fieldLine) + (s.back ? s.back->point : "-") + ">" + s.fore.point +
                 vireo::DecimalText(s.riseFall) + ";";
    for (const vireo::NotReduced& n : survey.notReduced)
      shown += std::to_string(n.firstLine) + "-" + std::to_string(n.readings) + ";";
    for (const vireo::RunWarning& w : warnings) shown += std::to_string(w.line) + w.message;
    return shown;
  }
};

Read ReadSurvey(std::string_view bytes, std::size_t chunk) {
  Read read;
  Chunks in(bytes, chunk);
  try {
    read.survey = vireo::ReadSurvey(in, "/F.dat", read.warnings);
  } catch (const vireo::Error&) {
    read.refused = true;
    return read;
  }
  // Each "and N more" line stands for N warnings.
  if (read.warnings.Count() < read.warnings.size()) __builtin_trap();
  return read;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const Read whole = ReadSurvey(bytes, bytes.size() + 1);
  if (size > 1 && data[0] % 4 == 0) {
    const Read chunked = ReadSurvey(bytes, 1 + data[1] % 61);
    if (whole.Shown() != chunked.Shown()) __builtin_trap();
  }
  if (whole.refused) return 0;

  // Every reading is accounted for; the set-ups with both sights paired are
  // numbered 1, 2, ... in file order, each on its lines.
  const vireo::Survey& survey = whole.survey;
  if (survey.AccountedReadings() != survey.readings) __builtin_trap();
  long number = 0, fieldLine = 0;
  for (const vireo::LevellingLine& line : survey.lines)
    for (const vireo::Setup& s : line.setups) {
      if (s.reduced != (s.BackPaired() ? ++number : 0)) __builtin_trap();
      if (s.fieldLine < fieldLine || s.fieldLine < 1) __builtin_trap();
      fieldLine = s.fieldLine;
    }

  const vireo::ReportClosure closure{survey.closure.misclose,
                                     vireo::ToleranceMm(4, survey.closure.totalDistance),
                                     vireo::SurveyCloses(survey)};
  const vireo::CheckReport report = vireo::RunChecks(survey, vireo::CheckLimits{}, 4, closure);
  if (static_cast<long>(report.setups.size()) != number) __builtin_trap();
  if (vireo::VerdictLine(report).empty()) __builtin_trap();
  return 0;
}
