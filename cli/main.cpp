// vireo-cli: the processing run, the RL adjustment and the settings without
// a window, for batch work, scripts and tests.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>

#include "common/AppFolder.h"
#include "common/AppFolderChoice.h"
#include "common/Error.h"
#include "common/Text.h"
#include "reduction/ProcessField.h"
#include "rlinput/Adjustment.h"
#include "settings/ControlFile.h"
#include "settings/SettingsCommands.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitOutputFailed = 1;
constexpr int kExitRefused = 2;

// Answers the RL prompt as the command line says.
class CommandLineSurroundings : public vireo::RunSurroundings {
 public:
  explicit CommandLineSurroundings(bool answerYes) : answerYes_(answerYes) {}
  bool AskForNewReducedLevel(const std::string&, const std::string&) override { return answerYes_; }

 private:
  bool answerYes_;
};

class FixedAnswer : public vireo::InputBoxPrompter {
 public:
  explicit FixedAnswer(std::string answer) : answer_(std::move(answer)) {}
  std::string Ask(const std::string&, const std::string&, const std::string&) override {
    return answer_;
  }

 private:
  std::string answer_;
};

bool Set(const char* variable) {
  const char* value = std::getenv(variable);
  return value && *value;
}

// Hands the workbook to the desktop's program for it (xdg-open), detached:
// the command does not wait for it and leaves no child behind. Without a
// desktop nothing happens but a note; it never changes the exit status.
void OpenOnDesktop(const std::string& path) {
  if (!Set("DISPLAY") && !Set("WAYLAND_DISPLAY")) {
    std::cerr << "vireo-cli: no desktop (DISPLAY or WAYLAND_DISPLAY) to open " << path << " on\n";
    return;
  }
  const pid_t child = fork();
  if (child == 0) {
    if (fork() == 0) {
      setsid();
      const int null = open("/dev/null", O_RDWR);
      for (int fd = 0; fd <= 2; ++fd) dup2(null, fd);
      execlp("xdg-open", "xdg-open", path.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    _exit(0);
  }
  if (child > 0) waitpid(child, nullptr, 0);
}

// --home, else the program's folder, else (installed read-only) the
// surveyor's own data folder, as the desktop program does.
vireo::AppFolder HomeFolder(const std::string& home) {
  return vireo::ResolveAppFolder(home);
}

int Process(const std::string& fieldFile, const std::string& home,
            const std::optional<std::string>& startRl, const std::optional<std::string>& endRl,
            bool json, bool open) {
  vireo::AppFolder app;
  try {
    app = HomeFolder(home);
  } catch (const vireo::Error& e) {
    std::cerr << "vireo-cli: " << e.what() << "\n";
    return kExitRefused;
  }
  // Keyed levels are checked before the run, so a refused value leaves
  // every earlier output as it was.
  const auto loop = endRl ? vireo::LoopType::OpenLoop : vireo::LoopType::CloseLoop;
  if (startRl) {
    if (auto refusal = vireo::RefuseKeyedLevels(loop, *startRl, endRl.value_or(""))) {
      std::cerr << "vireo-cli: " << *refusal << "\n";
      return kExitRefused;
    }
  }
  CommandLineSurroundings surroundings(startRl.has_value());
  vireo::ProcessResult run;
  try {
    run = vireo::ProcessField(fieldFile, app, surroundings);
  } catch (const vireo::Error& e) {
    std::cerr << "vireo-cli: " << e.what() << "\n";
    return kExitRefused;
  }
  int status = run.OutputsWritten() ? kExitOk : kExitOutputFailed;
  for (const auto& failure : run.failures) std::cerr << "vireo-cli: " << failure << "\n";

  double startLevel = vireo::NumberFromText(run.startRl);
  double endLevel = run.endRl;
  double misclose = run.misclose;
  double permissible = run.permissibleError;
  std::optional<vireo::AdjustmentResult> adjustment;
  std::string skippedAdjustment;
  if (startRl) {
    if (!run.workbookSaved) {
      skippedAdjustment =
          "the RL adjustment is not run, because the processed workbook was not saved";
      std::cerr << "vireo-cli: " << skippedAdjustment << "\n";
    } else {
      adjustment = vireo::AdjustReducedLevels(run.fields, loop, *startRl, endRl.value_or(""), app);
      if (adjustment->status == vireo::AdjustmentResult::Status::Refused) {
        std::cerr << "vireo-cli: " << adjustment->message << "\n";
        status = kExitRefused;
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

  if (json) {
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
              << "  line length:      " << vireo::FormatFixed(run.totalDistance, 2) << " m\n"
              << "  start:            " << run.startReference << " RL "
              << vireo::DecimalText(startLevel) << "\n"
              << "  end:              " << run.endReference << " RL "
              << vireo::DecimalText(endLevel) << "\n"
              << "  "
              << "misclose:         " << vireo::FormatFixed(misclose * 1000, 2)
              << " mm (permissible " << vireo::FormatFixed(permissible, 2) << " mm)\n";
    if (adjustment && adjustment->Ok())
      std::cout << "  adjusted from the keyed "
                << (endRl ? "start and end RL (open loop)" : "start RL (closed loop)") << "\n";
    for (const auto& w : run.warnings)
      std::cerr << "warning: " << (w.line > 0 ? "line " + std::to_string(w.line) + ": " : "")
                << w.message << "\n";
  }
  if (open && run.workbookSaved) OpenOnDesktop(run.workbookPath);
  return status;
}

int ShowSettings(const std::string& home) {
  try {
    const auto settings = vireo::ReadSettings(HomeFolder(home));
    std::cout << "company:      " << settings.companyName << "\n"
              << "personnel:    " << settings.personnelName << "\n"
              << "error factor: " << settings.errorFactor << "\n";
    return kExitOk;
  } catch (const vireo::Error& e) {
    std::cerr << "vireo-cli: " << e.what() << "\n";
    return kExitRefused;
  }
}

int SetSetting(const std::string& name, const std::string& value, const std::string& home) {
  try {
    const vireo::AppFolder app = HomeFolder(home);
    if (name == "error-factor") {
      auto factor = vireo::StrictNumber(value);
      if (!factor || !(*factor >= 2 && *factor <= 10) || *factor != std::floor(*factor) ||
          !vireo::IsErrorFactorChoice(static_cast<int>(*factor))) {
        std::cerr << "vireo-cli: the error factor must be 2, 4, 6, 8 or 10, not \"" << value
                  << "\"\n";
        return kExitRefused;
      }
      vireo::ChooseErrorFactor(static_cast<int>(*factor), app);
      std::cout << "error factor set to " << static_cast<int>(*factor) << "\n";
      return kExitOk;
    }
    const auto& command =
        name == "company" ? vireo::kCompanyNameCommand : vireo::kPersonnelNameCommand;
    FixedAnswer answer(value);
    if (vireo::RunTextSettingCommand(command, answer, app))
      std::cout << name << " set to \"" << value << "\"\n";
    else
      std::cout << name << " unchanged\n";
    return kExitOk;
  } catch (const vireo::Error& e) {
    std::cerr << "vireo-cli: " << e.what() << "\n";
    // Only a failed save means an output could not be written; a control
    // file that cannot be read, or a value refused, is refused input.
    return e.Operation() == vireo::kSaveSettingsOperation ? kExitOutputFailed : kExitRefused;
  }
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App cli{"Vireo: reduction of double-run levelling from DiNi field data files"};
  cli.require_subcommand(1);
  std::string home;

  auto* process = cli.add_subcommand("process", "reduce a field data file");
  std::string fieldFile;
  std::string startRl, endRl;
  bool json = false;
  process->add_option("FIELD_FILE", fieldFile, "the field data file")->required();
  process->add_option("--home", home, "the application folder (default: the program's folder)");
  auto* startOpt =
      process->add_option("--start-rl", startRl, "answer Yes and adjust from this start RL");
  process->add_option("--end-rl", endRl, "open loop: the known end RL")->needs(startOpt);
  process->add_flag("--json", json, "print one JSON object");
  bool open = false;
  process->add_flag("--open", open, "open the saved workbook in the desktop's spreadsheet program");

  auto* settings = cli.add_subcommand("settings", "print the three settings");
  settings->add_option("--home", home, "the application folder");

  auto* set = cli.add_subcommand("set", "change a setting");
  std::string name, value;
  set->add_option("NAME", name, "company, personnel or error-factor")
      ->required()
      ->check(CLI::IsMember({"company", "personnel", "error-factor"}));
  set->add_option("VALUE", value, "the new value")->required();
  set->add_option("--home", home, "the application folder");

  try {
    cli.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int code = cli.exit(e);
    return code == 0 ? 0 : kExitRefused;
  }
  if (*process)
    return Process(fieldFile, home, startOpt->count() ? std::optional(startRl) : std::nullopt,
                   process->get_option("--end-rl")->count() ? std::optional(endRl) : std::nullopt,
                   json, open);
  if (*settings) return ShowSettings(home);
  return SetSetting(name, value, home);
}
