#include "checks/CheckedRun.h"

#include "checks/ChecksSheet.h"
#include "common/Text.h"

namespace vireo {
namespace {

class ChecksExtension : public RunExtension {
 public:
  ChecksExtension(const CheckLimits& limits, CheckReport& report)
      : limits_(limits), report_(report) {}
  void Extend(Workbook& workbook, ProcessResult& run) override {
    report_ = RunChecks(run.survey, limits_, run.summary.errorFactor, ClosureOf(run));
    if (!WriteChecksSheet(workbook, report_, run.survey)) {
      run.warnings.push_back({0, std::string("the template has a sheet \"") + kChecksSheet +
                                     "\" of its own; it is kept and the checks are not added"});
      return;
    }
    const VerdictFacts facts = report_.Facts();
    run.summary.verdict = {true,
                           facts.lost,
                           facts.failedSetups,
                           facts.failedOthers,
                           facts.unusableErrorFactor,
                           report_.lines.empty() || report_.lines.back().booking.pass};
  }

 private:
  const CheckLimits& limits_;
  CheckReport& report_;
};

}  // namespace

ReportClosure ClosureOf(const ProcessResult& run) {
  return {run.survey.closure.misclose, run.permissibleError};
}

CheckedRun ProcessAndCheck(const std::string& fieldPath, const AppFolder& app, FileSystem& fs) {
  Warnings limitWarnings;
  const CheckLimits limits = ReadCheckLimits(app, limitWarnings, fs);
  CheckedRun checked;
  ChecksExtension extension(limits, checked.checks);
  checked.run = ProcessField(fieldPath, app, fs, &extension);
  checked.run.warnings.Prepend(limitWarnings);
  return checked;
}

}  // namespace vireo
