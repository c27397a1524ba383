// vireo-cli process: the processing run, the RL adjustment after it when
// levels are keyed in, and the results as text or JSON.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <nlohmann/json.hpp>

#include "checks/CheckedRun.h"
#include "cli/Commands.h"
#include "common/Error.h"
#include "common/Text.h"
#include "report/PointList.h"
#include "report/ProcessField.h"
#include "rlinput/Adjustment.h"

namespace vireo::cli {
namespace {

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
      std::signal(SIGPIPE, SIG_DFL);
      execlp("xdg-open", "xdg-open", path.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    _exit(0);
  }
  if (child > 0) waitpid(child, nullptr, 0);
}

// Runs of readings not reduced that the JSON lists; the rest are counted.
constexpr std::size_t kListedNotReduced = 1000;

nlohmann::json NumberOrNull(const std::optional<double>& value) {
  return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

nlohmann::json ChecksJson(const CheckReport& report) {
  nlohmann::json limits = nlohmann::json::object();
  for (const CheckLimitKey& key : kCheckLimitKeys) limits[key.key] = report.limits.*(key.member);
  nlohmann::json lines = nlohmann::json::array();
  for (const LineCheck& l : report.lines)
    lines.push_back({{"line", l.line},
                     {"start", ToUtf8(l.start)},
                     {"end", ToUtf8(l.end)},
                     {"setups", l.setups},
                     {"length_m", l.lengthM},
                     {"height_difference_m", l.heightDifferenceM},
                     {"imbalance_m", l.imbalanceM},
                     {"station_difference_sum_mm", l.stationDifferenceSumMm},
                     {"loop", l.loop},
                     {"misclose_mm", NumberOrNull(l.miscloseMm)},
                     {"permissible_mm", NumberOrNull(l.permissibleMm)},
                     {"pass", l.pass ? nlohmann::json(*l.pass) : nlohmann::json(nullptr)}});
  nlohmann::json sections = nlohmann::json::array();
  for (const SectionCheck& s : report.sections)
    sections.push_back({{"lines", {s.first, s.second}},
                        {"from", ToUtf8(s.from)},
                        {"to", ToUtf8(s.to)},
                        {"difference_mm", s.differenceMm},
                        {"permissible_mm", s.permissibleMm},
                        {"pass", s.pass ? nlohmann::json(*s.pass) : nlohmann::json(nullptr)}});
  nlohmann::json failed = nlohmann::json::array();
  for (const FailedCheck& f : report.failed) {
    nlohmann::json& row = failed.emplace_back(
        nlohmann::json{{"setup", f.setup > 0 ? nlohmann::json(f.setup) : nlohmann::json(nullptr)},
                       {"field_line", f.fieldLine},
                       {"back", ToUtf8(f.back)},
                       {"fore", ToUtf8(f.fore)},
                       {"check", f.check},
                       {"value", f.value},
                       {"limit", f.limit}});
    if (!f.finding.empty()) {
      row["value"] = nullptr;
      row["limit"] = nullptr;
      row["finding"] = ToUtf8(f.finding);
    }
  }
  for (std::size_t i = 0; i < report.lines.size(); ++i) {
    const BookingCheck& b = report.lines[i].booking;
    lines[i]["booking"] = {{"back_minus_fore_m", b.backMinusForeM},
                           {"rise_minus_fall_m", b.riseMinusFallM},
                           {"levels_m", b.levelsM},
                           {"pass", b.pass}};
  }
  const Completeness& c = report.completeness;
  nlohmann::json notReduced = nlohmann::json::array();
  for (std::size_t i = 0; i < c.notReduced.size() && i < kListedNotReduced; ++i) {
    const NotReduced& n = c.notReduced[i];
    notReduced.push_back({{"line", n.firstLine},
                          {"last_line", n.lastLine},
                          {"readings", n.readings},
                          {"reason", ReasonText(n.reason)},
                          {"lost", IsPartOfDoubleRun(n.reason)}});
  }
  nlohmann::json singleRun = nlohmann::json::array();
  for (const SingleRunLineCheck& l : report.singleRunLines)
    singleRun.push_back({{"line", l.number},
                         {"field_line", l.fieldLine},
                         {"method", l.method},
                         {"start", ToUtf8(l.start)},
                         {"end", ToUtf8(l.end)},
                         {"setups", l.setups},
                         {"intermediate_sights", l.intermediates},
                         {"length_m", l.lengthM},
                         {"imbalance_m", l.imbalanceM},
                         {"loop", l.loop},
                         {"misclose_mm", NumberOrNull(l.miscloseMm)},
                         {"permissible_mm", NumberOrNull(l.permissibleMm)},
                         {"level_misclose_mm", NumberOrNull(l.levelMiscloseMm)},
                         {"pass", l.pass ? nlohmann::json(*l.pass) : nlohmann::json(nullptr)},
                         {"booking_pass", l.bookingPass},
                         {"failed_setups", l.failedSetups}});
  nlohmann::json completeness = {
      {"readings", c.readings}, {"reduced_setups", c.reducedSetups}, {"not_reduced", notReduced}};
  if (c.notReduced.size() > kListedNotReduced)
    completeness["not_reduced_more"] = c.notReduced.size() - kListedNotReduced;
  nlohmann::json file = {
      {"misclose_mm", report.file.miscloseMm},
      {"permissible_mm", report.file.permissibleMm},
      {"pass", report.file.pass ? nlohmann::json(*report.file.pass) : nlohmann::json(nullptr)},
      {"lines", report.file.lines}};
  if (!report.file.pass) file["not_judged"] = report.file.notJudged;
  nlohmann::json checks = {{"pass", report.Pass()}, {"verdict", VerdictLine(report)},
                           {"limits", limits},      {"completeness", completeness},
                           {"file", file},          {"lines", lines},
                           {"sections", sections},  {"failed", failed}};
  // Files without single-run lines keep the JSON they have always given.
  if (!singleRun.empty()) checks["single_run_lines"] = singleRun;
  return checks;
}

// The value as dump(2) writes it, every line after the first indented by
// `indent` more: in one pass, however long the text.
std::string Dumped(const nlohmann::json& value, const std::string& indent) {
  const std::string text = value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
  if (indent.empty()) return text;
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (char c : text) {
    out += c;
    if (c == '\n') out += indent;
  }
  return out;
}

nlohmann::json PointJson(const PointEntry& p) {
  return {{"point", p.point},
          {"kind", p.kind},
          {"run", p.singleRun ? "single" : "double"},
          {"line", p.line},
          {"field_line", p.fieldLine},
          {"reading_m", NumberOrNull(p.reading)},
          {"distance_m", NumberOrNull(p.distance)},
          {"reduced_level_m", NumberOrNull(p.reducedLevel)},
          {"adjusted_level_m", NumberOrNull(p.adjustedLevel)},
          {"instrument_level_m", NumberOrNull(p.instrumentLevel)}};
}

// An array printed one entry at a time as dump(2) prints it at depth 1.
template <typename List, typename ToJson>
void PrintArray(const char* key, const List& list, ToJson toJson, std::string& separator) {
  std::cout << separator << "  \"" << key << "\": " << (list.empty() ? "[]" : "[");
  const char* between = "\n    ";
  for (const auto& item : list) {
    std::cout << between << Dumped(toJson(item), "    ");
    between = ",\n    ";
  }
  if (!list.empty()) std::cout << "\n  ]";
  separator = ",\n";
}

// Prints `members`, the "points" and the "warnings" arrays as one object,
// keys in the order nlohmann::json keeps them, as its dump(2) would. The
// two arrays are printed one entry at a time, so that no document tree of
// them is ever built (a file of 100,000 set-ups has 200,000 points).
void PrintRunJson(const nlohmann::json& members, const std::vector<PointEntry>& points,
                  const Warnings& warnings) {
  std::string separator = "{\n";
  bool printedPoints = false, printedWarnings = false;
  auto pointsNow = [&] {
    PrintArray("points", points, PointJson, separator);
    printedPoints = true;
  };
  auto warningsNow = [&] {
    PrintArray(
        "warnings", warnings,
        [](const RunWarning& w) {
          return nlohmann::json{{"line", w.line}, {"message", w.message}};
        },
        separator);
    printedWarnings = true;
  };
  for (const auto& [key, value] : members.items()) {
    if (!printedPoints && key > "points") pointsNow();
    if (!printedWarnings && key > "warnings") warningsNow();
    std::cout << separator << "  " << nlohmann::json(key).dump() << ": " << Dumped(value, "  ");
    separator = ",\n";
  }
  if (!printedPoints) pointsNow();
  if (!printedWarnings) warningsNow();
  std::cout << "\n}\n";
}

// The verdict and at most ten failed checks, for a terminal.
void PrintChecks(const CheckReport& report) {
  std::cout << "  checks:           " << (report.Pass() ? "pass" : "FAIL") << " - "
            << VerdictLine(report) << "\n";
  constexpr std::size_t kListed = 10;
  for (std::size_t i = 0; i < report.failed.size() && i < kListed; ++i) {
    const FailedCheck& f = report.failed[i];
    std::cout << "    " << (f.setup > 0 ? "set-up " + std::to_string(f.setup) : "levelling")
              << " (file line " << f.fieldLine << ", " << ToUtf8(f.back) << " -> " << ToUtf8(f.fore)
              << "): " << f.check << " " << DecimalText(std::round(f.value * 1000) / 1000)
              << ", limit " << DecimalText(std::round(f.limit * 1000) / 1000) << "\n";
  }
  if (report.failed.size() > kListed)
    std::cout << "    and " << report.failed.size() - kListed << " more\n";
}

}  // namespace

namespace {

// The levels and misclose the run ends with: the run's own, or those of
// the keyed levels when --start-rl adjusted the workbook.
struct Outcome {
  double startLevel = 0, endLevel = 0, misclose = 0, permissible = 0;
  std::optional<AdjustmentResult> adjustment;
  std::string skippedAdjustment;
  int status = kExitOk;
};

// --start-rl answers the RL question with Yes and keys in the levels; the
// checks then judge the misclose they give.
Outcome AdjustFromKeyedLevels(const ProcessArguments& arguments, const ProcessResult& run,
                              CheckReport& checks, const AppFolder& app) {
  Outcome outcome;
  outcome.status = run.OutputsWritten() ? kExitOk : kExitOutputFailed;
  outcome.startLevel = NumberFromText(run.summary.startRl);
  outcome.endLevel = run.summary.endRl;
  outcome.misclose = run.survey.closure.misclose;
  outcome.permissible = run.permissibleError;
  if (!arguments.startRl) return outcome;
  if (!run.workbookSaved) {
    outcome.skippedAdjustment =
        "the RL adjustment is not run, because the processed workbook was not saved";
    std::cerr << "vireo-cli: " << outcome.skippedAdjustment << "\n";
    return outcome;
  }
  const auto loop = arguments.endRl ? LoopType::OpenLoop : LoopType::CloseLoop;
  outcome.adjustment =
      AdjustReducedLevels(run.summary, loop, *arguments.startRl, arguments.endRl.value_or(""), app);
  const AdjustmentResult& adjusted = *outcome.adjustment;
  if (!adjusted.Ok()) std::cerr << "vireo-cli: " << adjusted.message << "\n";
  if (adjusted.status == AdjustmentResult::Status::Refused) {
    outcome.status = kExitRefused;
    return outcome;
  }
  if (!adjusted.Ok()) outcome.status = kExitOutputFailed;
  if (adjusted.status == AdjustmentResult::Status::Blocked) return outcome;
  outcome.startLevel = adjusted.startRl;
  outcome.endLevel = adjusted.endRl;
  outcome.misclose = adjusted.misclose;
  outcome.permissible = adjusted.permissibleError;
  if (adjusted.Ok())
    JudgeKeyedLevels(checks, {adjusted.misclose, adjusted.permissibleError}, adjusted.booking);
  return outcome;
}

void PrintJson(const ProcessResult& run, const CheckReport& checks, const Outcome& o) {
  Warnings warnings = run.warnings;
  for (const auto& f : run.failures) warnings.push_back({0, f});
  if (o.adjustment && !o.adjustment->Ok()) warnings.push_back({0, o.adjustment->message});
  if (!o.skippedAdjustment.empty()) warnings.push_back({0, o.skippedAdjustment});
  const nlohmann::json out = {
      {"base_name", run.baseName},
      // Only outputs this run wrote are named; the warnings say what was kept.
      {"workbook", run.workbookSaved ? nlohmann::json(run.workbookPath) : nlohmann::json(nullptr)},
      {"level_data_file",
       run.workbookSaved ? nlohmann::json(run.levelDataPath) : nlohmann::json(nullptr)},
      {"setups", run.survey.SetupCount()},
      {"reduced_setups", run.survey.ReducedSetupCount()},
      {"total_distance_m", run.survey.closure.totalDistance},
      {"misclose_mm", o.misclose * 1000},
      {"permissible_error_mm", o.permissible},
      {"start_reference", run.summary.startReference},
      {"end_reference", run.summary.endReference},
      {"start_rl", o.startLevel},
      {"end_rl", o.endLevel},
      {"checks", ChecksJson(checks)},
  };
  PrintRunJson(out, PointsOf(run.survey), warnings);
}

void PrintText(const ProcessArguments& arguments, const ProcessResult& run,
               const CheckReport& checks, const Outcome& o) {
  const RunSummary& summary = run.summary;
  const std::string notSaved = "not saved (the earlier file is kept as it was)";
  std::cout << "Processed " << arguments.fieldFile << "\n"
            << "  report workbook:  " << (run.workbookSaved ? run.workbookPath : notSaved) << "\n"
            << "  level data file:  " << (run.workbookSaved ? run.levelDataPath : notSaved) << "\n";
  // A file of single-run lines only has no double run to sum up.
  if (!run.survey.lines.empty() || run.survey.singleRunLines.empty())
    std::cout << "  set-ups recorded: " << run.survey.SetupCount() << "\n"
              << "  set-ups reduced:  " << run.survey.ReducedSetupCount() << "\n"
              << "  line length:      " << FormatFixed(run.survey.closure.totalDistance, 2)
              << " m\n"
              << "  start:            " << summary.startReference << " RL "
              << DecimalText(o.startLevel) << "\n"
              << "  end:              " << summary.endReference << " RL " << DecimalText(o.endLevel)
              << "\n"
              << "  " << (checks.lines.size() > 1 ? "misclose (file):  " : "misclose:         ")
              << FormatFixed(o.misclose * 1000, 2) << " mm (permissible "
              << FormatFixed(o.permissible, 2) << " mm)\n";
  for (const SingleRunLineCheck& l : checks.singleRunLines)
    std::cout << "  single-run line " << l.number << " (" << l.method << "): " << l.setups
              << " set-ups, " << l.intermediates << " intermediate sights, "
              << FormatFixed(l.lengthM, 2) << " m, "
              << (l.miscloseMm ? "misclose " + FormatFixed(*l.miscloseMm, 2) + " mm (permissible " +
                                     FormatFixed(*l.permissibleMm, 2) + " mm)"
                               : std::string("open, not judged"))
              << "\n";
  if (o.adjustment && o.adjustment->Ok())
    std::cout << "  adjusted from the keyed "
              << (arguments.endRl ? "start and end RL (open loop)" : "start RL (closed loop)")
              << "\n";
  PrintChecks(checks);
  for (const auto& w : run.warnings)
    std::cerr << "warning: " << (w.line > 0 ? "line " + std::to_string(w.line) + ": " : "")
              << w.message << "\n";
}

// --points: the list of points as CSV, written whole or not at all.
void WritePoints(const std::string& path, const ProcessResult& run, Outcome& outcome) {
  try {
    const std::string csv = PointsCsv(PointsOf(run.survey));
    ReplaceFile(RealFileSystem(), path, [&](OutputStream& out) { out.Write(csv); });
  } catch (const Error& e) {
    std::cerr << "vireo-cli: the points were not written: " << e.what() << "\n";
    if (outcome.status == kExitOk) outcome.status = kExitOutputFailed;
  }
}

}  // namespace

int Process(const ProcessArguments& arguments, const std::string& home) {
  AppFolder app;
  try {
    app = HomeFolder(home);
  } catch (const Error& e) {
    return Refuse(e, arguments.json);
  }
  // Keyed levels are checked before the run, so a refused value leaves
  // every earlier output as it was.
  if (arguments.startRl) {
    const auto loop = arguments.endRl ? LoopType::OpenLoop : LoopType::CloseLoop;
    if (auto refusal = RefuseKeyedLevels(loop, *arguments.startRl, arguments.endRl.value_or("")))
      return Refuse(Error("", "read the keyed levels", *refusal), arguments.json);
  }
  CheckedRun checked;
  try {
    checked = ProcessAndCheck(arguments.fieldFile, app);
  } catch (const Error& e) {
    return Refuse(e, arguments.json);
  }
  const ProcessResult& run = checked.run;
  for (const auto& failure : run.failures) std::cerr << "vireo-cli: " << failure << "\n";
  Outcome outcome = AdjustFromKeyedLevels(arguments, run, checked.checks, app);
  if (!arguments.pointsFile.empty()) WritePoints(arguments.pointsFile, run, outcome);
  if (arguments.json)
    PrintJson(run, checked.checks, outcome);
  else
    PrintText(arguments, run, checked.checks, outcome);
  if (arguments.open && run.workbookSaved) OpenOnDesktop(run.workbookPath);
  if (arguments.strict && outcome.status == kExitOk && !checked.checks.Pass())
    return kExitNotAccepted;
  return outcome.status;
}

}  // namespace vireo::cli
