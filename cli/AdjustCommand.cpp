// vireo-cli adjust: the least-squares adjustment of a levelling network.
#include <algorithm>
#include <cmath>
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "common/Error.h"
#include "common/Text.h"
#include "network/NetworkAdjustment.h"
#include "network/NetworkJob.h"
#include "network/NetworkWorkbook.h"

namespace vireo::cli {
namespace {

std::string WarningText(const NetworkWarning& w) {
  std::string where = w.file;
  if (w.line > 0) where += (where.empty() ? "line " : " line ") + std::to_string(w.line);
  return where.empty() ? w.message : where + ": " + w.message;
}

// One object per line inside the two long arrays, so that a network of any
// size is printed without a document tree of it in memory.
void PrintAdjustmentJson(const NetworkAdjustment& result, const std::string& workbook) {
  using Json = nlohmann::ordered_json;  // keys in the documented order
  auto dump = [](const Json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  };
  std::string out = "{\n  \"points\": [";
  for (std::size_t i = 0; i < result.points.size(); ++i) {
    const AdjustedPoint& p = result.points[i];
    out += (i > 0 ? ",\n    " : "\n    ");
    out += dump({{"name", p.name},
                 {"height_m", p.height},
                 {"sigma_mm", p.sigma},
                 {"kind", PointKindName(p.kind)}});
  }
  std::cout << out << "\n  ],\n  \"observations\": [";
  for (std::size_t i = 0; i < result.observations.size(); ++i) {
    const AdjustedObservation& o = result.observations[i];
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
                       {"sigma_a_priori_mm", o.sigma},
                       {"redundancy", o.redundancy},
                       {"standardized_residual", w},
                       {"flagged", o.flagged}});
  }
  Json tail = {{"degrees_of_freedom", result.degreesOfFreedom},
               {"variance_factor", nullptr},
               {"chi_square", nullptr},
               {"workbook", workbook.empty() ? Json(nullptr) : Json(workbook)},
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

void PrintAdjustmentSummary(const NetworkAdjustment& result, const std::string& name,
                            const std::string& workbook) {
  long fixed = 0, weighted = 0, network = 0, turning = 0;
  for (const auto& p : result.points) {
    (p.turningPoint ? turning : network) += 1;
    fixed += p.kind == PointKind::Fixed;
    weighted += p.kind == PointKind::Weighted;
  }
  std::cout << "Adjusted network " << name << ": " << result.inputs.size() << " input file"
            << (result.inputs.size() == 1 ? "" : "s") << ", " << result.setups << " set-ups, "
            << network << " network points (" << fixed << " fixed, " << weighted << " weighted), "
            << turning << " turning points\n"
            << "  workbook:             " << (workbook.empty() ? "not saved" : workbook) << "\n"
            << "  degrees of freedom:   " << result.degreesOfFreedom << "\n";
  if (result.test) {
    std::cout << "  variance factor s0²:  " << FormatFixed(*result.varianceFactor, 3) << " (s0 "
              << FormatFixed(std::sqrt(*result.varianceFactor), 3) << ")\n"
              << "  global test (95 %):   " << FormatFixed(result.test->statistic, 2)
              << (result.test->pass ? " within " : " outside ") << "["
              << FormatFixed(result.test->lower, 2) << ", " << FormatFixed(result.test->upper, 2)
              << "]: " << (result.test->pass ? "passed" : "FAILED") << "\n";
  }
  std::cout << "  flagged (|w| > 3.29): " << result.FlaggedCount() << "\n";
  if (auto largest = result.LargestStandardizedResidual()) {
    const auto& o = result.observations[*largest];
    std::cout << "  largest |w|:          " << FormatFixed(std::abs(*o.standardizedResidual), 2)
              << ", " << o.file << " line " << o.fieldLine << " ("
              << (o.benchmark ? "benchmark " + o.to : o.from + " -> " + o.to) << ")\n";
  }
  std::cout << "Heights of the network points (m; standard deviation mm):\n";
  std::size_t width = 0;
  for (const auto& p : result.points) width = std::max(width, p.turningPoint ? 0 : p.name.size());
  for (const auto& p : result.points) {
    if (p.turningPoint) continue;
    const std::string height = FormatFixed(p.height, 5);
    const std::string sigma = FormatFixed(p.sigma, 2);
    std::cout << "  " << p.name << std::string(width - p.name.size(), ' ')
              << std::string(height.size() < 12 ? 14 - height.size() : 2, ' ') << height
              << std::string(sigma.size() < 7 ? 9 - sigma.size() : 2, ' ') << sigma << "  "
              << PointKindName(p.kind) << (p.observed ? "" : " (not observed)") << "\n";
  }
}

}  // namespace

int Adjust(const AdjustArguments& a, const std::string& home) {
  NetworkAdjustment result;
  std::vector<NetworkInput> inputs;
  std::string name;
  AppFolder app;
  try {
    // Everything on the command line is checked before any input is read;
    // what it gives replaces the job's own.
    NetworkJob job;
    if (!a.job.empty()) job = ReadNetworkJob(a.job);
    if (!a.files.empty()) job.inputs = a.files;
    if (job.inputs.empty()) throw Error(a.job, "adjust the network", "the job names no input file");
    AdjustmentOptions options;
    if (job.sigmaKm) options.sigmaKm = *job.sigmaKm;
    if (!a.sigmaKm.empty()) options.sigmaKm = StrictNumber(a.sigmaKm).value_or(-1);
    if (!(options.sigmaKm >= 0.001 && options.sigmaKm <= 1000))
      throw Error(a.sigmaKm.empty() ? a.job : std::string("--sigma-km"),
                  "read the standard deviation for 1 km",
                  "\"" + (a.sigmaKm.empty() ? FormatFixed(options.sigmaKm, 6) : a.sigmaKm) +
                      "\" is not a number from 0.001 to 1000 mm");
    name = AdjustmentName(a.name.empty() ? job.name : a.name, job.inputs.front());
    std::vector<Benchmark> benchmarks;
    for (const std::string& text : a.fixed) benchmarks.push_back(ParseFixedBenchmark(text));
    for (const std::string& file : a.benchmarkFiles) {
      auto list = ReadBenchmarkFile(file);
      benchmarks.insert(benchmarks.end(), list.begin(), list.end());
    }
    if (benchmarks.empty()) benchmarks = job.benchmarks;
    if (benchmarks.empty())
      throw Error(a.job.empty() ? job.inputs.front() : a.job, "adjust the network",
                  "no benchmark is given; name at least one with --fixed NAME=HEIGHT or "
                  "--benchmarks FILE");
    inputs = ReadNetworkInputs(job.inputs);
    result = AdjustNetwork(inputs, benchmarks, options);
    // Only an adjusted network touches the application folder (which, when
    // installed read-only, may be seeded on first use).
    app = HomeFolder(home);
  } catch (const Error& e) {
    // What was doubtful in the inputs may be why they cannot be adjusted.
    for (const NetworkInput& input : inputs)
      for (const auto& w : input.warnings) std::cerr << "warning: " << WarningText(w) << "\n";
    std::cerr << "vireo-cli: " << e.what() << "\n";
    return kExitRefused;
  }
  int status = kExitOk;
  std::string workbook;
  try {
    workbook = SaveNetworkWorkbook(result, name, app);
  } catch (const Error& e) {
    const std::string failure = std::string("the network workbook was not saved: ") + e.what();
    std::cerr << "vireo-cli: " << failure << "\n";
    if (a.json) result.warnings.push_back({"", 0, failure});
    status = kExitOutputFailed;
  }
  if (a.json) {
    PrintAdjustmentJson(result, workbook);
  } else {
    PrintAdjustmentSummary(result, name, workbook);
    for (const auto& w : result.warnings) std::cerr << "warning: " << WarningText(w) << "\n";
  }
  if (status == kExitOk && a.strict && (result.TestFailed() || result.FlaggedCount() > 0))
    return kExitNotAccepted;
  return status;
}

}  // namespace vireo::cli
