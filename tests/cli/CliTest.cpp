// vireo-cli run as a surveyor's script would run it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <thread>

#include "examples/GsiFileWriter.h"
#include "output/Workbook.h"
#include "tests/support/Cli.h"
#include "tests/support/Clients.h"
#include "tests/support/FieldFiles.h"

using namespace vireo::testing;

namespace {

struct CliHome {
  AppFixture fixture;
  const std::string field = fixture.AddFieldFile(
      "LINE 7.dat", vireo::examples::SimulateFieldFile({.seed = 3, .setupsPerLine = 5}));
  std::string Home() const { return " --home " + Quote(fixture.app.root); }
  // Processes the field file in this application folder.
  std::string Process() const { return "process " + Quote(field) + Home(); }
};

}  // namespace

TEST(Cli, start_and_end_rl_run_the_adjustment_and_a_refused_level_writes_nothing) {
  CliHome home;
  // The adjustment itself: AdjustmentTest and InputOptionTest.
  auto open = RunCli(home.Process() + " --json --start-rl 150 --end-rl 150.5");
  ASSERT_EQ(open.status, 0) << open.err;
  auto j = nlohmann::json::parse(open.out);
  EXPECT_EQ(j["start_rl"], 150.0);
  EXPECT_NEAR(j["misclose_mm"].get<double>(), (150.5 - j["end_rl"].get<double>()) * 1000, 1e-6);
  // The verdict the keyed levels give, one sentence in the JSON, the
  // summary and the Checks sheet.
  const std::string verdict = j["checks"]["verdict"];
  EXPECT_NE(verdict.find(": OUT OF TOLERANCE."), std::string::npos) << verdict;
  EXPECT_EQ(verdict.find("Every check passes"), std::string::npos) << verdict;
  EXPECT_EQ(j["checks"]["pass"], false);
  vireo::Workbook book = vireo::Workbook::Open(home.fixture.app.ProcessedWorkbook("LINE 7"));
  EXPECT_EQ(book.Sheet("Checks").Get(2, 1).text, verdict);
  auto summary = RunCli(home.Process() + " --start-rl 150 --end-rl 150.5");
  EXPECT_NE(summary.out.find(verdict), std::string::npos) << summary.out;

  // A refused level leaves every earlier output byte for byte as it was.
  const std::string workbook = ReadFile(home.fixture.app.ProcessedWorkbook("LINE 7"));
  const std::string levelData = ReadFile(home.fixture.app.LevelDataFile("LINE 7"));
  for (const char* keyed :
       {" --start-rl 12,5", " --start-rl abc", " --start-rl 1 --end-rl 2x", " --start-rl 1e999",
        " --start-rl 1e300", " --start-rl 1 --end-rl -1e15", " --start-rl 100000.001"}) {
    auto refused = RunCli(home.Process() + keyed);
    EXPECT_EQ(refused.status, 2) << keyed;
    EXPECT_THAT(refused.err,
                ::testing::AnyOf(::testing::HasSubstr("is not a number"),
                                 ::testing::HasSubstr("RL 1e300 m is outside the levels a line "
                                                      "can carry (-100000 to 100000 m)"),
                                 ::testing::HasSubstr("end RL -1e15 m is outside"),
                                 ::testing::HasSubstr("start RL 100000.001 m is outside")));
    EXPECT_EQ(ReadFile(home.fixture.app.ProcessedWorkbook("LINE 7")), workbook);
    EXPECT_EQ(ReadFile(home.fixture.app.LevelDataFile("LINE 7")), levelData);
  }
}

TEST(Cli, refusals_and_failures_have_their_own_exit_status) {
  CliHome home;
  auto missing = RunCli("process /nowhere/L.dat" + home.Home());
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("/nowhere/L.dat"), std::string::npos) << missing.err;
  // A refused file creates no folder either.
  const std::string empty = home.fixture.AddFieldFile("EMPTY.dat", "");
  EXPECT_EQ(RunCli("process " + Quote(empty) + home.Home()).status, 2);
  EXPECT_FALSE(std::filesystem::exists(home.fixture.app.StarNetFolder()));
  EXPECT_FALSE(std::filesystem::exists(home.fixture.app.ProcessedFiles()));
  for (const char* usage : {"process", "frobnicate", "process x --end-rl 3"})  // no --start-rl
    EXPECT_EQ(RunCli(usage).status, 2) << usage;

  // Only the level data file cannot be written: the workbook is not saved
  // either, so the pair stays one run's, and no adjustment follows.
  WriteFile(home.fixture.app.StarNetFolder(), "not a folder");
  auto noLevelFile = RunCli(home.Process() + " --json --start-rl 150");
  EXPECT_EQ(noLevelFile.status, 1);
  EXPECT_THAT(noLevelFile.err,
              ::testing::HasSubstr("is kept as it was, the pair of the earlier level data file"));
  EXPECT_FALSE(std::filesystem::exists(home.fixture.app.ProcessedWorkbook("LINE 7")));
  std::filesystem::remove(home.fixture.app.StarNetFolder());

  std::filesystem::remove_all(home.fixture.app.ProcessedFiles());
  WriteFile(home.fixture.app.ProcessedFiles(), "not a folder");
  auto blocked = RunCli(home.Process() + " --json");
  EXPECT_EQ(blocked.status, 1);
  EXPECT_NE(blocked.err.find("Processed Files"), std::string::npos);
  EXPECT_FALSE(nlohmann::json::parse(blocked.out)["warnings"].empty());
  auto skipped = RunCli(home.Process() + " --json --start-rl 150");
  EXPECT_EQ(skipped.status, 1);
  EXPECT_NE(skipped.out.find("the RL adjustment is not run"), std::string::npos) << skipped.out;
}

TEST(Cli, settings_are_shown_and_changed_through_the_commands) {
  CliHome home;
  EXPECT_EQ(RunCli("set company 'North  Survey '" + home.Home()).status, 0);
  EXPECT_EQ(RunCli("set error-factor 10" + home.Home()).status, 0);
  EXPECT_EQ(RunCli("set error-factor 3" + home.Home()).status, 2);
  EXPECT_EQ(RunCli("set error-factor 1e300" + home.Home()).status, 2);
  EXPECT_EQ(RunCli("set company \"$(printf 'Acme\\rE99')\"" + home.Home()).status, 2);
  EXPECT_EQ(RunCli("set personnel ''" + home.Home()).status, 0);  // empty: unchanged
  auto shown = RunCli("settings" + home.Home());
  EXPECT_EQ(shown.status, 0);
  EXPECT_EQ(shown.out.substr(0, shown.out.find("check limits")),
            "company:      North  Survey \npersonnel:    Jo Bloggs\nerror factor: 10\n");
  EXPECT_EQ(ReadFile(home.fixture.app.ControlFile()), "YNorth  Survey \r\nPJo Bloggs\r\nE10\r\n");

  // Nothing could be read, so nothing was written: refused, not a failed save.
  std::filesystem::remove(home.fixture.app.ControlFile());
  EXPECT_EQ(RunCli("set company X" + home.Home()).status, 2);
}

TEST(Cli, process_takes_a_gsi_file_and_refuses_one_in_feet) {
  CliHome home;
  std::string gsi =
      vireo::examples::GsiFromDini(ReadFile(home.field), vireo::examples::GsiWidth::Gsi16);
  const std::string path = home.fixture.AddFieldFile("JOB1.GSI", gsi);
  auto o = RunCli("process " + Quote(path) + home.Home() + " --json");
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(nlohmann::json::parse(o.out)["setups"], 5);
  const std::string levelData = ReadFile(home.fixture.app.LevelDataFile("JOB1"));

  // The loop's last set-up cut short, its F2 and B2 blocks lost: the
  // verdict fails on what was lost, and --strict says so.
  std::string cut = gsi;
  for (const char* word : {" 336.", " 335."}) {
    const std::size_t at = cut.rfind(word), start = cut.rfind('\n', at) + 1;
    cut.erase(start, cut.find('\n', at) + 1 - start);
  }
  home.fixture.AddFieldFile("CUT.gsi", cut);
  auto strict = RunCli("process " + Quote(home.fixture.app.FieldData() + "/CUT.gsi") + home.Home() +
                       " --json --strict");
  EXPECT_EQ(strict.status, 3) << strict.err;
  const auto checks = nlohmann::json::parse(strict.out)["checks"];
  EXPECT_EQ(checks["pass"], false);
  EXPECT_EQ(checks["completeness"]["reduced_setups"], 4);
  EXPECT_EQ(nlohmann::json::parse(strict.out)["reduced_setups"], 4);
  ASSERT_EQ(checks["completeness"]["not_reduced"].size(), 1u);
  EXPECT_THAT(checks["verdict"].get<std::string>(),
              ::testing::HasSubstr("2 readings lost at file lines"));

  gsi.replace(gsi.find("32...8+"), 7, "32...7+");
  WriteFile(path, gsi);
  auto feet = RunCli("process " + Quote(path) + home.Home());
  EXPECT_EQ(feet.status, 2);
  EXPECT_THAT(feet.err, ::testing::HasSubstr("JOB1.GSI: read the field data file (line 3 gives a "
                                             "sight distance in feet"));
  EXPECT_EQ(ReadFile(home.fixture.app.LevelDataFile("JOB1")), levelData);
}

TEST(Cli, an_output_that_cannot_be_delivered_or_a_doubtful_setting_is_said) {
  CliHome home;
  // Standard output on a full disk: the result never reached its reader.
  for (const std::string& command : {"settings" + home.Home(), home.Process() + " --json"}) {
    auto full = RunCli(command, "", "/dev/full");
    EXPECT_EQ(full.status, 1) << command;
    EXPECT_NE(full.err.find("could not be written to standard output"), std::string::npos);
  }
  for (const char* command : {"settings", "set company X", "set check.sight_length_m 50",
                              "process L.dat", "adjust L.dat --fixed A=1"})
    for (const char* home : {"''", "/nowhere"})
      EXPECT_EQ(RunCli(std::string(command) + " --home " + home).status, 2) << command << home;

  // A missing or unknown error factor keeps the report as it was, but is named.
  for (const char* control : {"YAcme\r\n", "E-4\r\n"}) {
    WriteFile(home.fixture.app.ControlFile(), control);
    auto shown = RunCli("settings" + home.Home());
    EXPECT_EQ(shown.status, 0);
    EXPECT_EQ(shown.out.find("error factor: \n"), std::string::npos) << shown.out;
    EXPECT_NE(shown.err.find("ctlini.dat: the error factor"), std::string::npos) << shown.err;
    auto run = RunCli(home.Process() + " --json");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("ctlini.dat: the error factor"), std::string::npos) << run.out;
  }
}

TEST(Cli, process_prints_the_results_and_checks_as_json_and_strict_makes_a_failure_exit_3) {
  CliHome home;
  const std::string process = home.Process() + " --json";
  auto passed = RunCli(process + " --strict");
  ASSERT_EQ(passed.status, 0) << passed.err;
  const auto json = nlohmann::json::parse(passed.out);
  EXPECT_EQ(json["base_name"], "LINE 7");
  EXPECT_EQ(json["workbook"], home.fixture.app.ProcessedWorkbook("LINE 7"));
  EXPECT_EQ(json["level_data_file"], home.fixture.app.LevelDataFile("LINE 7"));
  EXPECT_EQ(json["setups"].dump() + json["start_reference"].dump() + json["end_reference"].dump() +
                json["start_rl"].dump() + json["warnings"].dump(),
            "5\"BM1\"\"BM1\"100.0[]");
  for (const char* key : {"total_distance_m", "misclose_mm", "permissible_error_mm", "end_rl"})
    EXPECT_TRUE(json[key].is_number()) << key;
  const auto checks = json["checks"];
  EXPECT_EQ(checks["pass"], true);
  EXPECT_EQ(checks["limits"]["sight_length_m"], 60);
  EXPECT_EQ(checks["lines"].size(), 1u);
  EXPECT_EQ(checks["lines"][0]["loop"], true);
  EXPECT_EQ(checks["file"]["pass"], true);

  ASSERT_EQ(RunCli("set check.sight_length_m 1" + home.Home()).status, 0);
  EXPECT_EQ(RunCli(process).status, 0);  // failed checks are results
  auto failed = RunCli(process + " --strict");
  EXPECT_EQ(failed.status, 3);
  const auto strict = nlohmann::json::parse(failed.out)["checks"];
  EXPECT_EQ(strict["pass"], false);
  ASSERT_EQ(strict["failed"].size(), 5u);  // every set-up has sights over 1 m
  EXPECT_EQ(strict["failed"][0]["check"], "sight_length_m");
  EXPECT_EQ(strict["failed"][0]["setup"], 1);
  EXPECT_EQ(strict["failed"][0]["limit"], 1);
  EXPECT_GT(strict["failed"][0]["field_line"].get<long>(), 0);
}

TEST(Cli, open_hands_the_workbook_to_the_desktop_and_never_fails_without_one) {
  CliHome home;
  TempFolder bin;  // an xdg-open that notes what it was given
  const std::string opened = bin / "opened";
  WriteFile(bin / "xdg-open", "#!/bin/sh\necho \"$1\" > '" + opened + "'\n");
  chmod((bin / "xdg-open").c_str(), 0755);
  const std::string args = home.Process() + " --open --json";
  const std::string path = "PATH=" + Quote(bin.Path()) + ":\"$PATH\" ";

  auto o = RunCli(args, "env -u DISPLAY -u WAYLAND_DISPLAY " + path);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.err.find("no desktop"), std::string::npos) << o.err;

  o = RunCli(args, "env -u WAYLAND_DISPLAY DISPLAY=:99 " + path);
  EXPECT_EQ(o.status, 0) << o.err;
  // The shell makes the file before it writes the line.
  for (int wait = 0; wait < 100 && (!std::filesystem::exists(opened) || ReadFile(opened).empty());
       ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(ReadFile(opened), home.fixture.app.ProcessedWorkbook("LINE 7") + "\n");
}

// One loop followed by half a million lines that each raise a warning (the
// marks of a reading record out of column): each command keeps the first
// thousand, counts the rest in one line, and stays within a bound on memory
// that the list of every warning would break many times over.
TEST(Cli, a_flood_of_warnings_is_counted_in_bounded_memory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer needs more address space than the bound";
#endif
  CliHome home;
  std::string field = ReadFile(home.field);
  for (int i = 1; i <= 500000; ++i)
    field += "For M5|Adr " + std::to_string(i) + "|KD1      TP1 Rb 1.23456 m  HD 12.345 m |\r\n";
  const std::string path = Quote(home.fixture.AddFieldFile("FLOOD.dat", field));
  const std::string more = "and 499000 more of this kind, lines ";
  for (const std::string& command :
       {"process " + path, "process " + path + " --json", "adjust " + path + " --fixed BM1=100"}) {
    const Outcome o = RunCli(command + home.Home(), "ulimit -v 100000 && ");
    ASSERT_EQ(o.status, 0) << command << ": " << o.err.substr(0, 500);
    EXPECT_NE((o.out + o.err).find(more), std::string::npos) << command;
    EXPECT_LT(o.err.size(), 300000u) << command;
    if (command.find("--json") == std::string::npos) continue;
    // Printed one warning at a time, as the whole document would print.
    const auto json = nlohmann::json::parse(o.out);
    EXPECT_EQ(o.out, json.dump(2) + "\n");
    ASSERT_EQ(json["warnings"].size(), 1001u);
    EXPECT_EQ(json["warnings"][1000]["message"].get<std::string>().find(more), 0u);
  }
}

// A stored file the surveyor cannot write is never replaced: the command
// names it and exits 1, and the run's other output is kept with it. Run as
// an ordinary user on files that user may not write, in folders it may
// (where the tests run as root: as "nobody" through setpriv).
TEST(Cli, read_only_files_are_kept_and_named) {
  CliHome home;
  const vireo::AppFolder& app = home.fixture.app;
  const std::string adjust = "adjust " + Quote(home.field) + " --fixed BM1=100" + home.Home();
  ASSERT_EQ(RunCli(home.Process()).status, 0);
  ASSERT_EQ(RunCli(adjust).status, 0);
  ASSERT_EQ(RunCli("set check.sight_length_m 50" + home.Home()).status, 0);
  std::string as;
  auto own = [&](const std::string& path, uid_t user) { return chown(path.c_str(), user, user); };
  if (geteuid() == 0) {
    if (Shell("setpriv --reuid=65534 --regid=65534 --clear-groups true") != 0)
      GTEST_SKIP() << "running as root without setpriv: no ordinary user to run as";
    as = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    for (const auto& entry : std::filesystem::recursive_directory_iterator(app.root))
      ASSERT_EQ(own(entry.path().string(), 65534), 0);
    ASSERT_EQ(own(app.root, 65534), 0);
  }
  // Owned by root (as root), or without write permission, for the user.
  auto protect = [&](const std::string& path, bool on) {
    if (!as.empty()) return own(path, on ? 0 : 65534);
    return chmod(path.c_str(), on ? 0444 : 0644);
  };
  const std::string workbook = app.ProcessedWorkbook("LINE 7");
  const std::string levelData = app.LevelDataFile("LINE 7");
  const std::string network = app.AdjustedNetworkWorkbook("LINE 7");
  auto outputs = [&] {
    std::string all;
    for (const std::string& path :
         {workbook, levelData, network, app.CheckSettingsFile(), app.ControlFile()})
      all += ReadFile(path) + ";";
    return all + ListFolder(app.root) + ListFolder(app.ProcessedFiles()) +
           ListFolder(app.StarNetFolder()) + ListFolder(app.AdjustedNetworks());
  };
  const std::string before = outputs();
  for (const auto& [path, command] : std::vector<std::pair<std::string, std::string>>{
           {workbook, home.Process()},
           {levelData, home.Process() + " --json"},
           {app.CheckSettingsFile(), "set check.sight_length_m 40" + home.Home()},
           {app.ControlFile(), "set company Other" + home.Home()},
           {network, adjust}}) {
    ASSERT_EQ(protect(path, true), 0);
    const Outcome o = RunCli(command, as);
    EXPECT_EQ(o.status, 1) << command << "\n" << o.err;
    EXPECT_THAT(o.err, ::testing::HasSubstr(path + ": replace (the file is read-only")) << command;
    EXPECT_EQ(outputs(), before) << command;
    ASSERT_EQ(protect(path, false), 0);
  }
  EXPECT_EQ(RunCli(home.Process(), as).status, 0);  // writable again, replaced again
}

// A limit outside the values that make sense is a slip of the keyboard:
// refused with its range named, and checks.ini kept as it was.
TEST(Cli, check_limits_outside_their_range_are_refused) {
  CliHome home;
  ASSERT_EQ(RunCli("set check.staff_max_m 2" + home.Home()).status, 0);
  const std::string before = ReadFile(home.fixture.app.CheckSettingsFile());
  const Outcome huge = RunCli("set check.sight_length_m 1e300" + home.Home());
  EXPECT_EQ(huge.status, 2);
  EXPECT_EQ(huge.err,
            "vireo-cli: the sight_length_m must be a number from 0 to 1000, not \"1e300\"\n");
  EXPECT_THAT(RunCli("set check.staff_min_m 3" + home.Home()).err,
              ::testing::HasSubstr("the lowest staff reading (staff_min_m 3) must be below the "
                                   "highest (staff_max_m 2)"));
  EXPECT_EQ(ReadFile(home.fixture.app.CheckSettingsFile()), before);
  EXPECT_EQ(RunCli("set check.staff_min_m -0.5" + home.Home()).status, 0);  // an inverted staff
}

TEST(Cli, version_is_printed_without_a_command) {
  const Outcome o = RunCli("--version");
  EXPECT_EQ(o.status, 0);
  EXPECT_TRUE(std::regex_match(o.out, std::regex("vireo-cli \\d+\\.\\d+\\.\\d+\n"))) << o.out;
}

// "E1e9" in the control file: a permissible error of 888,200,973 mm that
// passes anything; no misclose is judged, and --strict says the run fails.
TEST(Cli, process_judges_no_misclose_with_a_meaningless_error_factor) {
  CliHome home;
  WriteFile(home.fixture.app.ControlFile(), "YAcme Levels\r\nPJo Bloggs\r\nE1e9\r\n");
  const auto o = RunCli(home.Process() + " --json --strict");
  EXPECT_EQ(o.status, 3) << o.err;
  EXPECT_THAT(nlohmann::json::parse(o.out)["checks"]["verdict"].get<std::string>(),
              ::testing::HasSubstr("not judged, the control file's error factor is not a usable"));
}

// With --json standard output is one JSON object on every exit, and an
// output nobody can read is exit 1, whatever the run's own status.
TEST(Cli, json_answers_every_exit_and_an_unwritable_standard_output_is_exit_1) {
  CliHome home;
  for (const std::string& refused :
       {"process /nowhere/L.dat" + home.Home(),
        "process --json --home /nowhere " + Quote(home.field), std::string("adjust --json --alpha"),
        home.Process() + " --start-rl abc"}) {
    auto o = RunCli(refused + " --json");
    EXPECT_EQ(o.status, 2) << refused;
    const auto j = nlohmann::json::parse(o.out.empty() ? "null" : o.out);
    EXPECT_EQ(j.value("exit", 0), 2) << refused << "\n" << o.out;
    EXPECT_TRUE(j.contains("error") && j["error"].contains("cause")) << o.out;
  }
  EXPECT_EQ(nlohmann::json::parse(
                RunCli("process /nowhere/L.dat --json" + home.Home()).out)["error"]["file"],
            "/nowhere/L.dat");

  // A failed save names no path as if saved.
  std::filesystem::create_directories(home.fixture.app.ProcessedWorkbook("LINE 7"));
  auto failed = RunCli(home.Process() + " --json");
  EXPECT_EQ(failed.status, 1);
  const auto j = nlohmann::json::parse(failed.out);
  EXPECT_TRUE(j["workbook"].is_null() && j["level_data_file"].is_null()) << failed.out;
  auto text = RunCli(home.Process());
  EXPECT_THAT(text.out, ::testing::HasSubstr("report workbook:  not saved")) << text.out;

  // Closed, and a pipe whose reader has gone: never 3 (--strict) or 141.
  std::filesystem::remove(home.fixture.app.ProcessedWorkbook("LINE 7"));
  const std::string run = Quote(VIREO_CLI) + " " + home.Process() + " --json --strict";
  EXPECT_EQ(WEXITSTATUS(std::system((run + " >&- 2>/dev/null").c_str())), 1);
  TempFolder scratch;
  std::system(("(" + run + " 2>/dev/null; echo $? >" + Quote(scratch / "status") +
               ") | (exec 0<&-; sleep 1)")
                  .c_str());
  EXPECT_EQ(ReadFile(scratch / "status"), "1\n");
}

// A single-run GSI job with intermediate sights: the Level Book, the points
// for CAD, and keyed levels that level its last line again.
TEST(Cli, a_single_run_job_gives_its_level_book_points_and_keyed_levels) {
  AppFixture fixture;
  const std::string dini = vireo::examples::SimulateFieldFile(
      {.seed = 4, .setupsPerLine = 6, .method = "BF", .intermediates = 1});
  const std::string field = fixture.AddFieldFile(
      "SITE.gsi", vireo::examples::GsiFromDini(dini, vireo::examples::GsiWidth::Gsi8));
  const std::string points = fixture.app.root + "/points.csv";
  const std::string run = "process " + Quote(field) + " --home " + Quote(fixture.app.root);
  auto processed = RunCli(run + " --json --points " + Quote(points));
  ASSERT_EQ(processed.status, 0) << processed.err;
  auto j = nlohmann::json::parse(processed.out);
  EXPECT_EQ(j["checks"]["pass"], true) << j["checks"]["verdict"];
  EXPECT_EQ(j["checks"]["single_run_lines"][0]["intermediate_sights"], 6);
  // The start height, then back, intermediate and fore sight of each set-up.
  ASSERT_EQ(j["points"].size(), 1u + 6 * 3);
  const auto& intermediate = j["points"][2];
  EXPECT_EQ(intermediate["kind"], "intermediate");
  EXPECT_NEAR(
      intermediate["reduced_level_m"].get<double>(),
      intermediate["instrument_level_m"].get<double>() - intermediate["reading_m"].get<double>(),
      1e-9);
  const std::string csv = ReadFile(points);
  EXPECT_EQ(csv.substr(0, csv.find('\n')),
            "point,kind,line,field_line,reduced_level_m,adjusted_level_m\r");
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 1 + 6 * 3);

  // Adjusted as a network, each intermediate sight stands on its set-up.
  auto adjusted = RunCli("adjust " + Quote(field) + " --fixed BM1=100 --json --home " +
                         Quote(fixture.app.root));
  ASSERT_EQ(adjusted.status, 0) << adjusted.err;
  const auto sights = nlohmann::json::parse(adjusted.out)["intermediate_sights"];
  ASSERT_EQ(sights.size(), 6u);
  EXPECT_EQ(sights[0]["point"], intermediate["point"]);
  EXPECT_NEAR(sights[0]["adjusted_height_m"].get<double>(),
              intermediate["reduced_level_m"].get<double>(), 0.001);

  auto keyed = RunCli(run + " --json --start-rl 50");
  ASSERT_EQ(keyed.status, 0) << keyed.err;
  vireo::Workbook book = vireo::Workbook::Open(fixture.app.ProcessedWorkbook("SITE"));
  EXPECT_EQ(book.ActiveSheetName(), "Level Book");  // opens on it, not on an empty report
  vireo::Worksheet sheet = book.Sheet("Level Book");
  EXPECT_EQ(sheet.Get(8, 7), vireo::CellValue::Number(50));  // the first back sight
  // A loop closed on the keyed start: the last Adj. RL is it.
  EXPECT_NEAR(sheet.Get(8 + 6 * 3 - 1, 8).number, 50, 1e-9);
}
