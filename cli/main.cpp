// vireo-cli: the processing run, the RL adjustment and the settings without
// a window, for batch work, scripts and tests.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <new>
#include <nlohmann/json.hpp>
#include <optional>

#include "common/AppFolder.h"
#include "common/AppFolderChoice.h"
#include "common/Error.h"
#include "common/Text.h"
#include "network/NetworkAdjustment.h"
#include "reduction/ProcessField.h"
#include "rlinput/Adjustment.h"
#include "settings/ControlFile.h"
#include "settings/SettingsCommands.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitOutputFailed = 1;
constexpr int kExitRefused = 2;
constexpr int kExitNotAccepted = 3;  // --strict: the network failed a test

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

// --home, else the program's folder, else (installed read-only) the
// surveyor's own data folder, as the desktop program does.
vireo::AppFolder HomeFolder(const std::string& home) {
  return vireo::ResolveAppFolder(home);
}

int Process(const std::string& fieldFile, const std::string& home,
            const std::optional<std::string>& startRl, const std::optional<std::string>& endRl,
            bool json) {
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
      } else if (adjustment->status == vireo::AdjustmentResult::Status::Blocked) {
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
  return status;
}

int ShowSettings(const std::string& home) {
  try {
    const vireo::AppFolder app = HomeFolder(home);
    const auto settings = vireo::ReadSettings(app);
    std::cout << "company:      " << settings.companyName << "\n"
              << "personnel:    " << settings.personnelName << "\n"
              << "error factor: "
              << (settings.errorFactor.empty() ? "(missing)" : settings.errorFactor) << "\n";
    if (auto warning = vireo::ErrorFactorWarning(app, settings.errorFactor))
      std::cerr << "warning: " << *warning << "\n";
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

struct AdjustArguments {
  std::vector<std::string> files;
  std::vector<std::string> fixed;
  std::vector<std::string> benchmarkFiles;
  std::string sigmaKm;
  std::string name;
  bool json = false;
  bool strict = false;
};

std::string WarningText(const vireo::NetworkWarning& w) {
  std::string where = w.file;
  if (w.line > 0) where += (where.empty() ? "line " : " line ") + std::to_string(w.line);
  return where.empty() ? w.message : where + ": " + w.message;
}

// One object per line inside the two long arrays, so that a network of any
// size is printed without a document tree of it in memory.
void PrintAdjustmentJson(const vireo::NetworkAdjustment& result) {
  using Json = nlohmann::ordered_json;  // keys in the documented order
  auto dump = [](const Json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  };
  std::string out = "{\n  \"points\": [";
  for (std::size_t i = 0; i < result.points.size(); ++i) {
    const vireo::AdjustedPoint& p = result.points[i];
    out += (i > 0 ? ",\n    " : "\n    ");
    out += dump({{"name", p.name},
                 {"height_m", p.height},
                 {"sigma_mm", p.sigma},
                 {"kind", vireo::PointKindName(p.kind)}});
  }
  std::cout << out << "\n  ],\n  \"observations\": [";
  for (std::size_t i = 0; i < result.observations.size(); ++i) {
    const vireo::AdjustedObservation& o = result.observations[i];
    Json w = nullptr;
    if (o.standardizedResidual) w = *o.standardizedResidual;
    std::cout << (i > 0 ? ",\n    " : "\n    ")
              << dump({{"file", o.file},
                       {"field_line", o.fieldLine},
                       {"from", o.benchmark ? Json(nullptr) : Json(o.from)},
                       {"to", o.to},
                       {"length_m", o.benchmark ? Json(nullptr) : Json(o.length)},
                       {"observed_m", o.observed},
                       {"adjusted_m", o.adjusted},
                       {"residual_mm", o.residual},
                       {"standardized_residual", w},
                       {"flagged", o.flagged}});
  }
  Json tail = {{"degrees_of_freedom", result.degreesOfFreedom},
               {"variance_factor", nullptr},
               {"chi_square", nullptr},
               {"workbook", nullptr},
               {"warnings", Json::array()}};
  if (result.varianceFactor) tail["variance_factor"] = *result.varianceFactor;
  if (result.test)
    tail["chi_square"] = {{"statistic", result.test->statistic},
                          {"lower", result.test->lower},
                          {"upper", result.test->upper},
                          {"pass", result.test->pass}};
  for (const auto& w : result.warnings)
    tail["warnings"].push_back({{"file", w.file}, {"line", w.line}, {"message", w.message}});
  std::cout << "\n  ]";
  for (const char* key :
       {"degrees_of_freedom", "variance_factor", "chi_square", "workbook", "warnings"})
    std::cout << ",\n  \"" << key << "\": " << dump(tail[key]);
  std::cout << "\n}\n";
}

void PrintAdjustmentSummary(const vireo::NetworkAdjustment& result, const std::string& name) {
  long fixed = 0, weighted = 0, network = 0, turning = 0;
  for (const auto& p : result.points) {
    (p.turningPoint ? turning : network) += 1;
    fixed += p.kind == vireo::PointKind::Fixed;
    weighted += p.kind == vireo::PointKind::Weighted;
  }
  std::cout << "Adjusted network " << name << ": " << result.inputs.size() << " input file"
            << (result.inputs.size() == 1 ? "" : "s") << ", " << result.setups << " set-ups, "
            << network << " network points (" << fixed << " fixed, " << weighted << " weighted), "
            << turning << " turning points\n"
            << "  degrees of freedom:   " << result.degreesOfFreedom << "\n";
  if (result.test) {
    std::cout << "  variance factor s0²:  " << vireo::FormatFixed(*result.varianceFactor, 3)
              << " (s0 " << vireo::FormatFixed(std::sqrt(*result.varianceFactor), 3) << ")\n"
              << "  global test (95 %):   " << vireo::FormatFixed(result.test->statistic, 2)
              << (result.test->pass ? " within " : " outside ") << "["
              << vireo::FormatFixed(result.test->lower, 2) << ", "
              << vireo::FormatFixed(result.test->upper, 2)
              << "]: " << (result.test->pass ? "passed" : "FAILED") << "\n";
  }
  std::cout << "  flagged (|w| > 3.29): " << result.FlaggedCount() << "\n";
  if (auto largest = result.LargestStandardizedResidual()) {
    const auto& o = result.observations[*largest];
    std::cout << "  largest |w|:          "
              << vireo::FormatFixed(std::abs(*o.standardizedResidual), 2) << ", " << o.file
              << " line " << o.fieldLine << " ("
              << (o.benchmark ? "benchmark " + o.to : o.from + " -> " + o.to) << ")\n";
  }
  std::cout << "Heights of the network points (m; standard deviation mm):\n";
  std::size_t width = 0;
  for (const auto& p : result.points) width = std::max(width, p.turningPoint ? 0 : p.name.size());
  for (const auto& p : result.points) {
    if (p.turningPoint) continue;
    const std::string height = vireo::FormatFixed(p.height, 5);
    const std::string sigma = vireo::FormatFixed(p.sigma, 2);
    std::cout << "  " << p.name << std::string(width - p.name.size(), ' ')
              << std::string(height.size() < 12 ? 14 - height.size() : 2, ' ') << height
              << std::string(sigma.size() < 7 ? 9 - sigma.size() : 2, ' ') << sigma << "  "
              << vireo::PointKindName(p.kind) << (p.observed ? "" : " (not observed)") << "\n";
  }
}

int Adjust(const AdjustArguments& a) {
  vireo::NetworkAdjustment result;
  std::string name = a.name.empty() ? vireo::BaseNameOf(a.files.front()) : a.name;
  try {
    // Everything on the command line is checked before any input is read.
    vireo::AdjustmentOptions options;
    if (!a.sigmaKm.empty()) {
      const auto sigma = vireo::StrictNumber(a.sigmaKm);
      if (!sigma || !(*sigma > 0))
        throw vireo::Error("--sigma-km", "read the standard deviation for 1 km",
                           "\"" + a.sigmaKm + "\" is not a number of millimetres above 0");
      options.sigmaKm = *sigma;
    }
    if (name.empty() || name.find_first_of("/\\") != std::string::npos)
      throw vireo::Error("--name", "name the adjustment",
                         "\"" + name + "\" cannot name a workbook; give a name without a folder");
    std::vector<vireo::Benchmark> benchmarks;
    for (const std::string& text : a.fixed) benchmarks.push_back(vireo::ParseFixedBenchmark(text));
    for (const std::string& file : a.benchmarkFiles) {
      auto list = vireo::ReadBenchmarkFile(file);
      benchmarks.insert(benchmarks.end(), list.begin(), list.end());
    }
    if (benchmarks.empty())
      throw vireo::Error(a.files.front(), "adjust the network",
                         "no benchmark is given; name at least one with --fixed NAME=HEIGHT or "
                         "--benchmarks FILE");
    const auto inputs = vireo::ReadNetworkInputs(a.files);
    result = vireo::AdjustNetwork(inputs, benchmarks, options);
  } catch (const vireo::Error& e) {
    std::cerr << "vireo-cli: " << e.what() << "\n";
    return kExitRefused;
  }
  if (a.json) {
    PrintAdjustmentJson(result);
  } else {
    PrintAdjustmentSummary(result, name);
    for (const auto& w : result.warnings) std::cerr << "warning: " << WarningText(w) << "\n";
  }
  if (a.strict && (result.TestFailed() || result.FlaggedCount() > 0)) return kExitNotAccepted;
  return kExitOk;
}

// What was printed must reach its reader: a full disk or a closed pipe on
// standard output is a failed output, not success.
int Delivered(int status) {
  errno = 0;
  std::cout.flush();
  if (std::cout && std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
  const int cause = errno;
  std::cerr << "vireo-cli: the output could not be written to standard output"
            << (cause ? " (" + vireo::SystemCause(cause) + ")" : std::string()) << "\n";
  return status == kExitOk ? kExitOutputFailed : status;
}

int Run(int argc, char** argv) {
  CLI::App cli{
      "Vireo: reduction of double-run levelling from DiNi M5 or Leica GSI field data files"};
  cli.require_subcommand(1);
  std::string home;

  auto* process = cli.add_subcommand("process", "reduce a field data file");
  std::string fieldFile;
  std::string startRl, endRl;
  bool json = false;
  process->add_option("FIELD_FILE", fieldFile, "the field data file (DiNi M5 or Leica GSI)")
      ->required();
  process->add_option("--home", home, "the application folder (default: the program's folder)");
  auto* startOpt =
      process->add_option("--start-rl", startRl, "answer Yes and adjust from this start RL");
  process->add_option("--end-rl", endRl, "open loop: the known end RL")->needs(startOpt);
  process->add_flag("--json", json, "print one JSON object");

  auto* settings = cli.add_subcommand("settings", "print the three settings");
  settings->add_option("--home", home, "the application folder");

  auto* set = cli.add_subcommand("set", "change a setting");
  std::string name, value;
  set->add_option("NAME", name, "company, personnel or error-factor")
      ->required()
      ->check(CLI::IsMember({"company", "personnel", "error-factor"}));
  set->add_option("VALUE", value, "the new value")->required();
  set->add_option("--home", home, "the application folder");

  auto* adjust = cli.add_subcommand("adjust", "least-squares adjustment of a levelling network");
  AdjustArguments adjustArgs;
  adjust->add_option("FILE", adjustArgs.files, "field data files and level data files")->required();
  adjust
      ->add_option("--fixed", adjustArgs.fixed, "a benchmark of fixed height NAME=HEIGHT (metres)")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  adjust
      ->add_option("--benchmarks", adjustArgs.benchmarkFiles,
                   "a file of lines NAME,HEIGHT[,SIGMA_MM]")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  adjust->add_option("--sigma-km", adjustArgs.sigmaKm,
                     "standard deviation of 1 km of levelling, mm (default 1.0)");
  adjust->add_option("--name", adjustArgs.name,
                     "the adjustment's name (default: the first file's)");
  adjust->add_option("--home", home, "the application folder");
  adjust->add_flag("--json", adjustArgs.json, "print one JSON object");
  adjust->add_flag("--strict", adjustArgs.strict,
                   "exit 3 when the global test fails or an observation is flagged");

  try {
    cli.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int code = cli.exit(e);
    return code == 0 ? 0 : kExitRefused;
  }
  // An empty --home would quietly mean the program's own folder.
  for (const CLI::App* command : {process, settings, set})
    if (*command && command->get_option("--home")->count() && home.empty()) {
      std::cerr << "vireo-cli: --home needs a folder; leave it out to use the program's folder\n";
      return kExitRefused;
    }
  if (*process)
    return Process(fieldFile, home, startOpt->count() ? std::optional(startRl) : std::nullopt,
                   process->get_option("--end-rl")->count() ? std::optional(endRl) : std::nullopt,
                   json);
  if (*settings) return ShowSettings(home);
  if (*adjust) return Adjust(adjustArgs);
  return SetSetting(name, value, home);
}

}  // namespace

int main(int argc, char** argv) {
  int status;
  try {
    status = Run(argc, argv);
  } catch (const std::bad_alloc&) {
    // Unwinding has removed every temporary file; what was not replaced yet
    // is as it was.
    std::cerr << "vireo-cli: there was not enough memory to finish; every output not reported "
                 "as written is as it was before\n";
    return kExitOutputFailed;
  }
  return Delivered(status);
}
