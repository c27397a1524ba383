// A child process of the benchmark, so that its peak memory is its own:
//   vireo-bench-child process HOME FIELD FIELDS_OUT   the processing run (RL prompt answered
//                                                    Yes); writes the nine dialog fields
//   vireo-bench-child adjust HOME FIELDS_IN START_RL  the OK of the RL input dialog only
// Prints the seconds the call took.
#include <chrono>
#include <fstream>
#include <iostream>
#include <string>

#include "common/Error.h"
#include "checks/CheckedRun.h"
#include "reduction/ProcessField.h"
#include "rlinput/Adjustment.h"

namespace {

class AnswerYes : public vireo::RunSurroundings {
 public:
  bool AskForNewReducedLevel(const std::string&, const std::string&) override { return true; }
};

std::string* FieldList(vireo::InputOptionFields& f, int i) {
  std::string* all[] = {&f.label4,  &f.label7,  &f.label9, &f.label10, &f.label11,
                        &f.label12, &f.label13, &f.text1,  &f.text2};
  return all[i];
}

}  // namespace

int main(int argc, char** argv) {
  using Clock = std::chrono::steady_clock;
  const std::string mode = argc > 1 ? argv[1] : "";
  if (!((mode == "process" && argc == 5) || (mode == "adjust" && argc == 5))) {
    std::cerr << "usage: vireo-bench-child process HOME FIELD FIELDS_OUT\n"
                 "       vireo-bench-child adjust HOME FIELDS_IN START_RL\n";
    return 2;
  }
  const vireo::AppFolder app = vireo::MakeAppFolder(argv[2]);
  try {
    if (mode == "process") {
      AnswerYes yes;
      const auto start = Clock::now();
      // The run as the front ends make it, with the Checks sheet.
      vireo::ProcessResult run = vireo::ProcessAndCheck(argv[3], app, yes).run;
      const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
      if (!run.OutputsWritten()) {
        std::cerr << "vireo-bench-child: " << run.failures.front() << "\n";
        return 1;
      }
      std::ofstream out(argv[4], std::ios::binary);
      for (int i = 0; i < 9; ++i) out << *FieldList(run.fields, i) << "\n";
      if (!out.flush()) return 1;
      std::cout << seconds << "\n";
      return 0;
    }
    vireo::InputOptionFields fields;
    std::ifstream in(argv[3], std::ios::binary);
    for (int i = 0; i < 9; ++i) std::getline(in, *FieldList(fields, i));
    if (!in) {
      std::cerr << "vireo-bench-child: cannot read " << argv[3] << "\n";
      return 2;
    }
    const auto start = Clock::now();
    const vireo::AdjustmentResult result =
        vireo::AdjustReducedLevels(fields, vireo::LoopType::CloseLoop, argv[4], "", app);
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
