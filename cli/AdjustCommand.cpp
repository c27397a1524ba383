// vireo-cli adjust: the least-squares adjustment of a levelling network.
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "common/CharConv.h"
#include "common/Error.h"
#include "common/Parallel.h"
#include "common/Text.h"
#include "network/NetworkAdjustment.h"
#include "network/NetworkJob.h"
#include "network/NetworkWorkbook.h"
#include "settings/ControlFile.h"

namespace vireo::cli {
namespace {

using Json = nlohmann::ordered_json;  // keys in the documented order

std::string WarningText(const NetworkWarning& w) {
  std::string where = w.file;
  if (w.line > 0) where += (where.empty() ? "line " : " line ") + std::to_string(w.line);
  return where.empty() ? w.message : where + ": " + w.message;
}

std::string Dump(const Json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

Json Optional(const std::optional<double>& value) {
  return value ? Json(*value) : Json(nullptr);
}

Json TestJson(const std::optional<GlobalTest>& test) {
  if (!test) return nullptr;
  return {{"statistic", test->statistic},
          {"lower", test->lower},
          {"upper", test->upper},
          {"pass", test->pass}};
}

// Where a section or a benchmark's height stands, as the snooping rounds
// and the suspects name it.
Json TargetJson(const NetworkAdjustment& r, const SnoopingTarget& t) {
  if (t.benchmark >= 0) {
    const Benchmark& b = r.benchmarks[t.benchmark];
    return {{"file", b.source}, {"line", b.sourceLine}, {"from", nullptr}, {"to", b.name},
            {"setups", 0},      {"length_m", nullptr},  {"w", t.w}};
  }
  const AdjustedSection& s = r.sections[t.section];
  return {{"file", r.FileOf(s)},
          {"line", s.line},
          {"from", r.points[s.from].name},
          {"to", r.points[s.to].name},
          {"setups", s.setups},
          {"length_m", s.length},
          {"w", t.w}};
}

Json SectionJson(const NetworkAdjustment& r, const AdjustedSection& s) {
  return {{"from", r.points[s.from].name},
          {"to", r.points[s.to].name},
          {"file", r.FileOf(s)},
          {"line", s.line},
          {"first_field_line", s.firstFieldLine},
          {"last_field_line", s.lastFieldLine},
          {"setups", s.setups},
          {"length_m", s.length},
          {"observed_m", s.observed},
          {"adjusted_m", s.adjusted},
          {"residual_mm", s.residual},
          {"redundancy", s.redundancy},
          {"standardized_residual", Optional(s.standardizedResidual)},
          {"mdb_mm", Optional(s.mdb)},
          {"flagged", s.flagged},
          {"removed_in_round", s.removedInRound > 0 ? Json(s.removedInRound) : Json(nullptr)},
          {"in_loop", s.inLoop}};
}

// The sections, the runs forward and back, the loops and the snooping.
Json ClosuresJson(const NetworkAdjustment& r) {
  Json tail;
  Json& pairs = tail["forward_back"] = Json::array();
  for (const ForwardBackPair& p : r.forwardBack)
    pairs.push_back({{"forward", p.forward},
                     {"back", p.back},
                     {"difference_mm", p.differenceMm},
                     {"mean_length_m", p.meanLength},
                     {"tolerance_mm", p.toleranceMm},
                     {"pass", p.pass}});
  Json& loops = tail["loops"] = Json::array();
  for (const LevellingLoop& loop : r.loops) {
    Json steps = Json::array();
    for (const LevellingLoop::Step& step : loop.steps)
      steps.push_back({{"section", step.section}, {"reversed", step.reversed}});
    loops.push_back({{"sections", steps},
                     {"length_m", loop.length},
                     {"misclose_mm", loop.miscloseMm},
                     {"tolerance_mm", loop.toleranceMm},
                     {"pass", loop.pass}});
  }
  Json& alone = tail["sections_in_no_loop"] = Json::array();
  for (std::size_t s = 0; s < r.sections.size(); ++s)
    if (!r.sections[s].inLoop) alone.push_back(s);
  tail["snooping"] = nullptr;
  tail["snooping_suspects"] = nullptr;
  tail["snooping_end"] = nullptr;
  if (r.snooping) {
    Json& rounds = tail["snooping"] = Json::array();
    for (const SnoopingRound& round : r.snooping->rounds) {
      Json entry = {{"round", round.round}};
      entry.update(TargetJson(r, round.removed));
      entry["estimated_blunder_mm"] = round.estimatedBlunderMm;
      entry["global_test_after"] = TestJson(round.testAfter);
      rounds.push_back(std::move(entry));
    }
    Json& suspects = tail["snooping_suspects"] = Json::array();
    for (const SnoopingTarget& t : r.snooping->suspects) suspects.push_back(TargetJson(r, t));
    tail["snooping_end"] = r.snooping->end;
  }
  return tail;
}

// One JSON object on one line, put together in place: the long arrays
// print a million of them. Its numbers and texts read back as nlohmann's
// own would print them.
class JsonRow {
 public:
  explicit JsonRow(std::string& out) : out_(out) { out_ += '{'; }
  void End() { out_ += '}'; }
  void Text(const char* key, std::string_view value) {
    Key(key);
    const bool plain = std::all_of(value.begin(), value.end(), [](char c) {
      return c >= 0x20 && c < 0x7F && c != '"' && c != '\\';
    });
    if (plain) {
      out_ += '"';
      out_ += value;
      out_ += '"';
    } else {
      out_ += Dump(Json(std::string(value)));
    }
  }
  void Number(const char* key, double value) {
    Key(key);
    if (!std::isfinite(value)) {
      out_ += "null";
      return;
    }
    char buffer[32];
    char* end = vireo::ToChars(buffer, buffer + sizeof buffer, value).ptr;
    out_.append(buffer, end);
    if (std::find_if(buffer, end, [](char c) { return c == '.' || c == 'e'; }) == end) out_ += ".0";
  }
  void Whole(const char* key, long value) {
    Key(key);
    out_ += std::to_string(value);
  }
  void Optional(const char* key, const std::optional<double>& value) {
    if (value)
      Number(key, *value);
    else
      Null(key);
  }
  void Null(const char* key) {
    Key(key);
    out_ += "null";
  }
  void Flag(const char* key, bool value) {
    Key(key);
    out_ += value ? "true" : "false";
  }

 private:
  void Key(const char* key) {
    if (!first_) out_ += ',';
    first_ = false;
    out_ += '"';
    out_ += key;
    out_ += "\":";
  }
  std::string& out_;
  bool first_ = true;
};

void ObservationJson(const NetworkAdjustment& r, const AdjustedObservation& o, std::string& out) {
  JsonRow row(out);
  row.Text("file", r.FileOf(o));
  row.Whole("field_line", o.fieldLine);
  if (o.IsBenchmark())
    row.Null("from");
  else
    row.Text("from", r.points[o.from].name);
  row.Text("to", r.points[o.to].name);
  if (o.IsBenchmark())
    row.Null("length_m");
  else
    row.Number("length_m", o.length);
  row.Number("observed_m", o.observed);
  row.Number("adjusted_m", o.adjusted);
  row.Number("residual_mm", o.residual);
  row.Number("sigma_a_priori_mm", o.sigma);
  row.Number("redundancy", o.redundancy);
  row.Optional("standardized_residual", o.standardizedResidual);
  row.Optional("mdb_mm", o.mdb);
  row.Flag("flagged", o.flagged);
  if (o.removedInRound > 0)
    row.Whole("removed_in_round", o.removedInRound);
  else
    row.Null("removed_in_round");
  row.End();
}

// The objects of a long array, one per line after `opening`, printed as they
// are put together: in blocks of rows on worker threads, a few blocks ahead
// of the one printed, so that a network of any size is printed without a
// document of it in memory and on every core.
void PrintLongArray(std::string_view opening, std::size_t count,
                    const std::function<void(std::size_t, std::string&)>& object) {
  constexpr std::size_t kBlock = 4096;
  std::cout << opening;
  InOrderOnWorkers((count + kBlock - 1) / kBlock,
                   [&](std::size_t b) {
                     std::string block;
                     for (std::size_t i = b * kBlock; i < std::min(count, (b + 1) * kBlock); ++i) {
                       block += i > 0 ? ",\n    " : "\n    ";
                       object(i, block);
                     }
                     return block;
                   },
                   [](const std::string& block) { std::cout << block; });
}

void PrintAdjustmentJson(const NetworkAdjustment& result, const std::string& workbook) {
  PrintLongArray("{\n  \"points\": [", result.points.size(),
                 [&result](std::size_t i, std::string& block) {
                   const AdjustedPoint& p = result.points[i];
                   JsonRow row(block);
                   row.Text("name", p.name);
                   row.Number("height_m", p.height);
                   row.Number("sigma_mm", p.sigma);
                   row.Text("kind", PointKindName(p.kind));
                   row.End();
                 });
  PrintLongArray("\n  ],\n  \"observations\": [", result.observations.size(),
                 [&result](std::size_t i, std::string& block) {
                   ObservationJson(result, result.observations[i], block);
                 });
  PrintLongArray("\n  ],\n  \"sections\": [", result.sections.size(),
                 [&result](std::size_t i, std::string& block) {
                   block += Dump(SectionJson(result, result.sections[i]));
                 });
  std::cout << "\n  ]";
  Json tail = {{"degrees_of_freedom", result.degreesOfFreedom},
               {"variance_factor", Optional(result.varianceFactor)},
               {"chi_square", TestJson(result.test)},
               {"flag_limit", result.limits.flagLimit},
               {"lambda0", result.limits.lambda0}};
  tail.update(ClosuresJson(result));
  tail["workbook"] = workbook.empty() ? Json(nullptr) : Json(workbook);
  tail["chain_breaks"] = Json::array();
  for (const NetworkChainBreak& b : result.chainBreaks)
    tail["chain_breaks"].push_back({{"file", result.inputs[b.input]},
                                    {"line", b.at.fieldLine},
                                    {"back", ToUtf8(b.at.back)},
                                    {"previous_fore", ToUtf8(b.at.previousFore)},
                                    {"message", ToUtf8(ChainBreakText(b.at))}});
  tail["intermediate_sights"] = Json::array();
  for (const auto& s : result.sideShots)
    tail["intermediate_sights"].push_back(
        {{"file", result.inputs[static_cast<std::size_t>(s.input)]},
         {"field_line", s.fieldLine},
         {"point", s.point},
         {"adjusted_height_m", s.height}});
  tail["warnings"] = Json::array();
  for (const auto& w : result.warnings)
    tail["warnings"].push_back({{"file", w.file}, {"line", w.line}, {"message", w.message}});
  for (const auto& [key, value] : tail.items())
    std::cout << ",\n  \"" << key << "\": " << Dump(value);
  std::cout << "\n}\n";
}

std::string TestLine(const GlobalTest& t) {
  return FormatFixed(t.statistic, 2) + (t.pass ? " within " : " outside ") + "[" +
         FormatFixed(t.lower, 2) + ", " + FormatFixed(t.upper, 2) +
         "]: " + (t.pass ? "passed" : "FAILED");
}

std::string SectionText(const NetworkAdjustment& r, const AdjustedSection& s) {
  return r.FileOf(s) + " line " + std::to_string(s.line) + " (" + r.Route(s, " -> ") + ", " +
         std::to_string(s.setups) + " set-ups, " + FormatFixed(s.length, 1) + " m)";
}

std::string TargetText(const NetworkAdjustment& r, const SnoopingTarget& t) {
  return t.benchmark >= 0 ? "the height given for the benchmark " + r.benchmarks[t.benchmark].name
                          : SectionText(r, r.sections[t.section]);
}

void PrintSnooping(const NetworkAdjustment& result) {
  const Snooping& s = *result.snooping;
  if (s.testBefore)
    std::cout << "  before snooping:      global test " << TestLine(*s.testBefore) << "\n";
  for (const SnoopingRound& r : s.rounds)
    std::cout << "  snooping round " << r.round << ":     removed " << TargetText(result, r.removed)
              << ", w " << FormatFixed(r.removed.w, 2) << ", estimated blunder "
              << FormatFixed(r.estimatedBlunderMm, 2) << " mm; global test after: "
              << (r.testAfter ? TestLine(*r.testAfter) : "none (no redundancy left)") << "\n";
  for (const SnoopingTarget& t : s.suspects)
    std::cout << "  suspect:              " << TargetText(result, t) << ", w "
              << FormatFixed(t.w, 2) << "\n";
  std::cout << "  snooping ended:       " << s.end << "\n";
  for (const SnoopingRound& r : s.rounds)
    std::cout << "  re-level:             " << TargetText(result, r.removed) << "\n";
}

std::string Count(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The sections run forward and back and the loops, each failure named.
void PrintClosures(const NetworkAdjustment& result) {
  constexpr std::size_t kListed = 10;
  std::size_t pairsFailing = 0, loopsFailing = 0, alone = 0;
  for (const ForwardBackPair& p : result.forwardBack) pairsFailing += p.pass ? 0 : 1;
  for (const LevellingLoop& l : result.loops) loopsFailing += l.pass ? 0 : 1;
  for (const AdjustedSection& s : result.sections) alone += s.inLoop ? 0 : 1;
  std::cout << "  sections:             " << result.sections.size()
            << "; run forward and back: " << Count(result.forwardBack.size(), "pair", "pairs")
            << ", " << pairsFailing << " out of tolerance\n";
  std::size_t listed = 0;
  for (const ForwardBackPair& p : result.forwardBack)
    if (!p.pass && listed++ < kListed)
      std::cout << "    FAIL " << SectionText(result, result.sections[p.forward]) << " and "
                << SectionText(result, result.sections[p.back]) << ": "
                << FormatFixed(p.differenceMm, 2) << " mm, tolerance "
                << FormatFixed(p.toleranceMm, 2) << " mm\n";
  std::cout << "  chain of set-ups:     " << Count(result.chainBreaks.size(), "break", "breaks")
            << "\n";
  for (std::size_t b = 0; b < result.chainBreaks.size() && b < kListed; ++b) {
    const NetworkChainBreak& at = result.chainBreaks[b];
    std::cout << "    FAIL " << result.inputLabels[at.input] << " file line " << at.at.fieldLine
              << ": " << ToUtf8(ChainBreakText(at.at)) << "\n";
  }
  std::cout << "  loops:                " << result.loops.size() << ", " << loopsFailing
            << " out of tolerance; " << Count(alone, "section", "sections") << " in no loop\n";
  listed = 0;
  for (const LevellingLoop& loop : result.loops) {
    if (loop.pass || listed++ >= kListed) continue;
    std::string route;
    for (const LevellingLoop::Step& step : loop.steps) {
      const AdjustedSection& s = result.sections[step.section];
      route += (route.empty() ? "" : ", ") + result.FileOf(s) + " line " + std::to_string(s.line) +
               (step.reversed ? " backwards" : "");
    }
    std::cout << "    FAIL loop of " << FormatFixed(loop.length, 1) << " m (" << route
              << "): " << FormatFixed(loop.miscloseMm, 2) << " mm, tolerance "
              << FormatFixed(loop.toleranceMm, 2) << " mm\n";
  }
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
            << "  workbook:             " << (workbook.empty() ? "not saved" : workbook) << "\n";
  if (result.snooping) PrintSnooping(result);
  std::cout << "  degrees of freedom:   " << result.degreesOfFreedom << "\n";
  if (result.test) {
    std::cout << "  variance factor s0²:  " << FormatFixed(*result.varianceFactor, 3) << " (s0 "
              << FormatFixed(std::sqrt(*result.varianceFactor), 3) << ")\n"
              << "  global test (95 %):   " << TestLine(*result.test) << "\n";
  }
  std::cout << "  flagged (|w| > " << FormatFixed(result.limits.flagLimit, 2)
            << "): " << result.FlaggedCount() << "\n";
  if (auto largest = result.LargestStandardizedResidual()) {
    const auto& o = result.observations[*largest];
    std::cout << "  largest |w|:          " << FormatFixed(std::abs(*o.standardizedResidual), 2)
              << ", " << result.FileOf(o) << " line " << o.fieldLine << " ("
              << result.Route(o, " -> ") << ")\n";
  }
  if (auto largest = result.LargestMdbSection())
    std::cout << "  largest MDB:          " << FormatFixed(*result.sections[*largest].mdb, 2)
              << " mm, " << SectionText(result, result.sections[*largest]) << "\n";
  PrintClosures(result);
  std::cout << "Heights of the network points (m; standard deviation mm):\n";
  // Names are UTF-8: a column counts characters, not bytes.
  auto shown = [](const std::string& name) {
    return static_cast<std::size_t>(
        std::count_if(name.begin(), name.end(), [](char c) { return (c & 0xC0) != 0x80; }));
  };
  std::size_t width = 0;
  for (const auto& p : result.points) width = std::max(width, p.turningPoint ? 0 : shown(p.name));
  for (const auto& p : result.points) {
    if (p.turningPoint) continue;
    const std::string height = FormatFixed(p.height, 5);
    const std::string sigma = FormatFixed(p.sigma, 2);
    std::cout << "  " << p.name << std::string(width - shown(p.name), ' ')
              << std::string(height.size() < 12 ? 14 - height.size() : 2, ' ') << height
              << std::string(sigma.size() < 7 ? 9 - sigma.size() : 2, ' ') << sigma << "  "
              << PointKindName(p.kind) << (p.observed ? "" : " (not observed)") << "\n";
  }
}

// "reading the inputs: k of N" on standard error while the files are read,
// where a surveyor watches it (a terminal) and there are many files.
InputProgress InputsProgress() {
  if (!::isatty(STDERR_FILENO)) return {};
  return [](std::size_t done, std::size_t total) {
    if (total < 100) return;
    std::cerr << "\rreading the inputs: " << done << " of " << total << (done == total ? "\n" : "")
              << std::flush;
  };
}

// What the command line asks for, checked before any input is read.
AdjustmentOptions OptionsOf(const AdjustArguments& a) {
  AdjustmentOptions options;
  if (!a.sigmaKm.empty()) {
    const auto sigma = StrictNumber(a.sigmaKm);
    if (!sigma || !(*sigma >= kMinSigmaKm && *sigma <= kMaxSigmaKm))
      throw Error("--sigma-km", "read the standard deviation for 1 km",
                  "\"" + a.sigmaKm + "\" is not a number of millimetres from " +
                      DecimalText(kMinSigmaKm) + " to " + DecimalText(kMaxSigmaKm));
    options.sigmaKm = *sigma;
  }
  if (!a.singleRunFactor.empty()) {
    const auto factor = StrictNumber(a.singleRunFactor);
    if (!factor || !(*factor >= 1 && *factor <= 10))
      throw Error("--single-run-factor", "read the single-run factor",
                  "\"" + a.singleRunFactor +
                      "\" is not a number from 1 to 10 (one run against "
                      "the mean of two is sqrt 2, 1.41421)");
    options.singleRunFactor = *factor;
  }
  if (!a.alpha.empty()) {
    const auto alpha = StrictNumber(a.alpha);
    if (!alpha || !(*alpha > 0 && *alpha <= 0.5) || !TestLimitsFor(*alpha).Finite())
      throw Error(
          "--alpha", "read the significance level",
          "\"" + a.alpha +
              "\" is not a probability above 0 and at most 0.5 that gives a flag limit (0.001 is "
              "0.1 %)");
    options.alpha = *alpha;
  }
  options.snoop = a.snoop;
  return options;
}

}  // namespace

int Adjust(const AdjustArguments& a, const std::string& home) {
  NetworkAdjustment result;
  std::string name;
  AppFolder app;
  NetworkWarnings refusalWarnings;
  try {
    // Everything on the command line is checked before any input is read;
    // what it gives replaces the job's own.
    AdjustmentOptions options = OptionsOf(a);
    NetworkJob job;
    if (!a.job.empty()) job = ReadNetworkJob(a.job);
    if (!a.files.empty()) job.inputs = a.files;
    if (job.inputs.empty()) throw Error(a.job, "adjust the network", "the job names no input file");
    if (job.sigmaKm && a.sigmaKm.empty()) options.sigmaKm = *job.sigmaKm;
    options.snoop = options.snoop || job.snoop;
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
    std::optional<std::string> factorWarning;
    {
      const auto inputs = ReadNetworkInputs(job.inputs, RealFileSystem(), InputsProgress());
      // The application folder (which, when installed read-only, may be
      // seeded on first use) gives the error factor of the tolerances.
      app = HomeFolder(home);
      options.errorFactor = ErrorFactorForTolerances(app, factorWarning);
      result = AdjustNetwork(inputs, benchmarks, options, &refusalWarnings);
    }
    if (factorWarning) result.warnings.push_back({"", 0, *factorWarning});
  } catch (const Error& e) {
    for (const auto& w : refusalWarnings) std::cerr << "warning: " << WarningText(w) << "\n";
    return Refuse(e, a.json);
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
  // Snooping that removed or suspects a section found a blunder to re-level.
  const bool blunder =
      result.snooping && (!result.snooping->rounds.empty() || !result.snooping->suspects.empty());
  if (status == kExitOk && a.strict &&
      (result.TestFailed() || result.FlaggedCount() > 0 || blunder || !result.chainBreaks.empty()))
    return kExitNotAccepted;
  return status;
}

}  // namespace vireo::cli
