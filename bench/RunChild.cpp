// A child process of the benchmark, so that its peak memory is its own:
//   vireo-bench-child process HOME FIELD SUMMARY_OUT  the processing run; writes the run's
//                                                    summary for the RL adjustment
//   vireo-bench-child adjust HOME SUMMARY_IN START_RL the OK of the RL input dialog only
// Prints the seconds the call took.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "checks/CheckedRun.h"
#include "common/Error.h"
#include "common/Text.h"
#include "report/ProcessField.h"
#include "rlinput/Adjustment.h"

namespace {

std::string Exact(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

void Write(std::ostream& out, const vireo::RunSummary& s) {
  out << s.startReference << "\n"
      << s.endReference << "\n"
      << s.startRl << "\n"
      << Exact(s.endRl) << "\n"
      << s.firstDataRow << "\n"
      << Exact(s.totalDistanceM) << "\n"
      << Exact(s.miscloseM) << "\n"
      << Exact(s.errorFactor) << "\n"
      << s.workbookPath << "\n"
      << s.figures << "\n";
}

bool Read(std::istream& in, vireo::RunSummary& s) {
  std::string endRl, row, distance, misclose, factor;
  std::getline(in, s.startReference);
  std::getline(in, s.endReference);
  std::getline(in, s.startRl);
  std::getline(in, endRl);
  std::getline(in, row);
  std::getline(in, distance);
  std::getline(in, misclose);
  std::getline(in, factor);
  std::getline(in, s.workbookPath);
  std::getline(in, s.figures);
  s.endRl = vireo::NumberFromText(endRl);
  s.firstDataRow = static_cast<int>(vireo::NumberFromText(row));
  s.totalDistanceM = vireo::NumberFromText(distance);
  s.miscloseM = vireo::NumberFromText(misclose);
  s.errorFactor = vireo::NumberFromText(factor);
  return static_cast<bool>(in);
}

}  // namespace

int main(int argc, char** argv) {
  using Clock = std::chrono::steady_clock;
  const std::string mode = argc > 1 ? argv[1] : "";
  if (!((mode == "process" && argc == 5) || (mode == "adjust" && argc == 5))) {
    std::cerr << "usage: vireo-bench-child process HOME FIELD SUMMARY_OUT\n"
                 "       vireo-bench-child adjust HOME SUMMARY_IN START_RL\n";
    return 2;
  }
  const vireo::AppFolder app = vireo::MakeAppFolder(argv[2]);
  try {
    if (mode == "process") {
      const auto start = Clock::now();
      // The run as the front ends make it, with the Checks sheet.
      vireo::ProcessResult run = vireo::ProcessAndCheck(argv[3], app).run;
      const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
      if (!run.OutputsWritten()) {
        std::cerr << "vireo-bench-child: " << run.failures.front() << "\n";
        return 1;
      }
      std::ofstream out(argv[4], std::ios::binary);
      Write(out, run.summary);
      if (!out.flush()) return 1;
      std::cout << seconds << "\n";
      return 0;
    }
    vireo::RunSummary summary;
    std::ifstream in(argv[3], std::ios::binary);
    if (!Read(in, summary)) {
      std::cerr << "vireo-bench-child: cannot read " << argv[3] << "\n";
      return 2;
    }
    const auto start = Clock::now();
    const vireo::AdjustmentResult result =
        vireo::AdjustReducedLevels(summary, vireo::LoopType::CloseLoop, argv[4], "", app);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!result.Ok()) {
      std::cerr << "vireo-bench-child: " << result.message << "\n";
      return 1;
    }
    std::cout << seconds << "\n";
    return 0;
  } catch (const vireo::Error& e) {
    std::cerr << "vireo-bench-child: " << e.what() << "\n";
    return 2;
  }
}
