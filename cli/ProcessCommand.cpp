// vireo-cli process: the processing run, the RL adjustment after it when
// levels are keyed in, and the results as text or JSON.
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "common/AppFolderChoice.h"
#include "common/Error.h"
#include "common/Text.h"
#include "reduction/ProcessField.h"
#include "rlinput/Adjustment.h"

namespace vireo::cli {
namespace {

// Answers the RL prompt as the command line says.
class CommandLineSurroundings : public RunSurroundings {
 public:
  explicit CommandLineSurroundings(bool answerYes) : answerYes_(answerYes) {}
  bool AskForNewReducedLevel(const std::string&, const std::string&) override { return answerYes_; }

 private:
  bool answerYes_;
};

}  // namespace

AppFolder HomeFolder(const std::string& home) {
  return ResolveAppFolder(home);
}

int Process(const ProcessArguments& arguments, const std::string& home) {
  const std::string& fieldFile = arguments.fieldFile;
  const std::optional<std::string>& startRl = arguments.startRl;
  const std::optional<std::string>& endRl = arguments.endRl;
  AppFolder app;
  try {
    app = HomeFolder(home);
  } catch (const Error& e) {
    std::cerr << "vireo-cli: " << e.what() << "\n";
    return kExitRefused;
  }
  // Keyed levels are checked before the run, so a refused value leaves
  // every earlier output as it was.
  const auto loop = endRl ? LoopType::OpenLoop : LoopType::CloseLoop;
  if (startRl) {
    if (auto refusal = RefuseKeyedLevels(loop, *startRl, endRl.value_or(""))) {
      std::cerr << "vireo-cli: " << *refusal << "\n";
      return kExitRefused;
    }
  }
  CommandLineSurroundings surroundings(startRl.has_value());
  ProcessResult run;
  try {
    run = ProcessField(fieldFile, app, surroundings);
  } catch (const Error& e) {
    std::cerr << "vireo-cli: " << e.what() << "\n";
    return kExitRefused;
  }
  int status = run.OutputsWritten() ? kExitOk : kExitOutputFailed;
  for (const auto& failure : run.failures) std::cerr << "vireo-cli: " << failure << "\n";

  double startLevel = NumberFromText(run.startRl);
  double endLevel = run.endRl;
  double misclose = run.misclose;
  double permissible = run.permissibleError;
  std::optional<AdjustmentResult> adjustment;
  std::string skippedAdjustment;
  if (startRl) {
    if (!run.workbookSaved) {
      skippedAdjustment =
          "the RL adjustment is not run, because the processed workbook was not saved";
      std::cerr << "vireo-cli: " << skippedAdjustment << "\n";
    } else {
      adjustment = AdjustReducedLevels(run.fields, loop, *startRl, endRl.value_or(""), app);
      if (adjustment->status == AdjustmentResult::Status::Refused) {
        std::cerr << "vireo-cli: " << adjustment->message << "\n";
        status = kExitRefused;
      } else if (adjustment->status == AdjustmentResult::Status::Blocked) {
        std::cerr << "vireo-cli: " << adjustment->message << "\n";
        status = kExitOutputFailed;
      } else {
        if (!adjustment->Ok()) {
          std::cerr << "vireo-cli: " << adjustment->message << "\n";
          status = kExitOutputFailed;
        }
        startLevel = adjustment->startRl;
        endLevel = adjustment->endRl;
        misclose = adjustment->misclose;
        permissible = adjustment->permissibleError;
      }
    }
  }

  if (arguments.json) {
    nlohmann::json warnings = nlohmann::json::array();
    for (const auto& w : run.warnings)
      warnings.push_back({{"line", w.line}, {"message", w.message}});
    for (const auto& f : run.failures) warnings.push_back({{"line", 0}, {"message", f}});
    if (adjustment && !adjustment->Ok())
      warnings.push_back({{"line", 0}, {"message", adjustment->message}});
    if (!skippedAdjustment.empty())
      warnings.push_back({{"line", 0}, {"message", skippedAdjustment}});
    nlohmann::json out = {
        {"base_name", run.baseName},
        {"workbook", run.workbookPath},
        {"level_data_file", run.levelDataPath},
        {"setups", run.setups},
        {"total_distance_m", run.totalDistance},
        {"misclose_mm", misclose * 1000},
        {"permissible_error_mm", permissible},
        {"start_reference", run.startReference},
        {"end_reference", run.endReference},
        {"start_rl", startLevel},
        {"end_rl", endLevel},
        {"warnings", warnings},
    };
    std::cout << out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  } else {
    std::cout << "Processed " << fieldFile << "\n"
              << "  report workbook:  " << run.workbookPath << "\n"
              << "  level data file:  " << run.levelDataPath << "\n"
              << "  set-ups reduced:  " << run.setups << "\n"
              << "  line length:      " << FormatFixed(run.totalDistance, 2) << " m\n"
              << "  start:            " << run.startReference << " RL " << DecimalText(startLevel)
              << "\n"
              << "  end:              " << run.endReference << " RL " << DecimalText(endLevel)
              << "\n"
              << "  "
              << "misclose:         " << FormatFixed(misclose * 1000, 2) << " mm (permissible "
              << FormatFixed(permissible, 2) << " mm)\n";
    if (adjustment && adjustment->Ok())
      std::cout << "  adjusted from the keyed "
                << (endRl ? "start and end RL (open loop)" : "start RL (closed loop)") << "\n";
    for (const auto& w : run.warnings)
      std::cerr << "warning: " << (w.line > 0 ? "line " + std::to_string(w.line) + ": " : "")
                << w.message << "\n";
  }
  return status;
}

}  // namespace vireo::cli
