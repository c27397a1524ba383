// vireo-cli: the processing run, the RL adjustment, the settings and the
// network adjustment without a window, for batch work, scripts and tests.
#include <fcntl.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <new>
#include <nlohmann/json.hpp>

#include "checks/CheckLimits.h"
#include "cli/Commands.h"
#include "common/AppFolderChoice.h"
#include "common/Error.h"
#include "common/Text.h"

using namespace vireo::cli;

vireo::AppFolder vireo::cli::HomeFolder(const std::string& home) {
  return ResolveAppFolder(home);
}

int vireo::cli::Refuse(const vireo::Error& e, bool json) {
  std::cerr << "vireo-cli: " << (e.File().empty() ? vireo::EscapeControlBytes(e.Cause()) : e.what())
            << "\n";
  if (json) {
    const nlohmann::ordered_json error = {
        {"error", {{"file", e.File()}, {"operation", e.Operation()}, {"cause", e.Cause()}}},
        {"exit", kExitRefused}};
    std::cout << error.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  }
  return kExitRefused;
}

namespace {

// Standard input, output and error closed by the caller are opened on
// /dev/null first, so that no file the run opens takes their numbers (and
// printed text never lands in an output). Standard output is opened for
// reading only: what is printed to it fails, as it failed before. A closed
// pipe gives a failed write (EPIPE) instead of ending the program.
void GuardStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd)
    if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
      const int opened = ::open("/dev/null", fd == 2 ? O_WRONLY : O_RDONLY);
      if (opened >= 0 && opened != fd) {
        ::dup2(opened, fd);
        ::close(opened);
      }
    }
  std::signal(SIGPIPE, SIG_IGN);
}

// What was printed must reach its reader: a full disk, a closed pipe or a
// closed standard output is a failed output, whatever the run's own status.
int Delivered(int status) {
  errno = 0;
  std::cout.flush();
  if (std::cout && std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
  const int cause = errno;
  std::cerr << "vireo-cli: the output could not be written to standard output"
            << (cause ? " (" + vireo::SystemCause(cause) + ")" : std::string()) << "\n";
  return kExitOutputFailed;
}

// A numeric option given with no value would quietly mean its default.
const CLI::Validator kNotEmpty(
    [](std::string& value) {
      return vireo::TrimBlanks(value).empty() ? std::string(
                                                    "the value is empty; give a number "
                                                    "or leave the option out")
                                              : std::string();
    },
    "NUMBER");

int Run(int argc, char** argv) {
  CLI::App cli{
      "Vireo: reduction of double-run levelling from DiNi M5 or Leica GSI field data files"};
  cli.require_subcommand(1);
  cli.set_version_flag("--version", std::string("vireo-cli ") + VIREO_VERSION);
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
  bool strict = false;
  process->add_flag("--strict", strict, "exit 3 when a check fails");
  bool open = false;
  process->add_flag("--open", open, "open the saved workbook in the desktop's spreadsheet program");
  std::string pointsFile;
  process->add_option("--points", pointsFile,
                      "write every point with its reduced and adjusted level to this CSV file");

  auto* settings = cli.add_subcommand("settings", "print the settings and the check limits");
  settings->add_option("--home", home, "the application folder");

  auto* set = cli.add_subcommand("set", "change a setting");
  std::string name, value;
  std::vector<std::string> names = {"company", "personnel", "error-factor"};
  for (const vireo::CheckLimitKey& key : vireo::kCheckLimitKeys)
    names.push_back(std::string("check.") + key.key);
  set->add_option("NAME", name, "company, personnel, error-factor or check.<limit>")
      ->required()
      ->check(CLI::IsMember(names));
  set->add_option("VALUE", value, "the new value")->required();
  set->add_option("--home", home, "the application folder");

  auto* adjust = cli.add_subcommand("adjust", "least-squares adjustment of a levelling network");
  AdjustArguments adjustArgs;
  adjust->add_option("FILE", adjustArgs.files,
                     "field data files and level data files (instead of the job's inputs)");
  adjust->add_option("--job", adjustArgs.job,
                     "a network job file (inputs, benchmarks, sigma for 1 km, name); the files "
                     "and options given beside it replace its own");
  adjust
      ->add_option("--fixed", adjustArgs.fixed, "a benchmark of fixed height NAME=HEIGHT (metres)")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  adjust
      ->add_option("--benchmarks", adjustArgs.benchmarkFiles,
                   "a file of lines NAME,HEIGHT[,SIGMA_MM]")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  adjust
      ->add_option("--sigma-km", adjustArgs.sigmaKm,
                   "standard deviation of 1 km of levelling, mm (default 1.0)")
      ->check(kNotEmpty);
  adjust
      ->add_option("--single-run-factor", adjustArgs.singleRunFactor,
                   "sigma of a single-run set-up over a double-run one (default 1.41421, sqrt 2)")
      ->check(kNotEmpty);
  adjust->add_option("--name", adjustArgs.name,
                     "the adjustment's name (default: the first file's)");
  adjust->add_flag("--snoop", adjustArgs.snoop,
                   "data snooping: remove the section with the largest |w| and adjust again, "
                   "round by round");
  adjust
      ->add_option("--alpha", adjustArgs.alpha,
                   "significance level of the w-test (default 0.001: flag limit 3.29)")
      ->check(kNotEmpty);
  adjust->add_option("--home", home, "the application folder");
  adjust->add_flag("--json", adjustArgs.json, "print one JSON object");
  adjust->add_flag("--strict", adjustArgs.strict,
                   "exit 3 when the global test fails or an observation is flagged");

  // With --json even a refused command line is answered in JSON.
  const bool wantsJson = std::any_of(argv + 1, argv + argc, [](const char* argument) {
    return std::string_view(argument) == "--json";
  });
  try {
    cli.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0 || !wantsJson) {
      int code = cli.exit(e);
      return code == 0 ? 0 : kExitRefused;
    }
    return Refuse(vireo::Error("", "read the command line", e.what()), true);
  }
  // An empty --home would quietly mean the program's own folder; a missing
  // one is refused before any command does work it could not save.
  for (const CLI::App* command : {process, settings, set, adjust}) {
    if (!*command || !command->get_option("--home")->count()) continue;
    if (home.empty())
      return Refuse(vireo::Error("--home", "find the application folder",
                                 "--home needs a folder; leave it out to use the program's folder"),
                    wantsJson);
    std::error_code error;
    if (!std::filesystem::is_directory(home, error))
      return Refuse(vireo::Error(home, "use the application folder",
                                 "there is no such folder (--home names the folder that holds "
                                 "ctlini.dat)"),
                    wantsJson);
  }
  if (*process) {
    ProcessArguments arguments{fieldFile, std::nullopt, std::nullopt, json,
                               strict,    open,         pointsFile};
    if (startOpt->count()) arguments.startRl = startRl;
    if (process->get_option("--end-rl")->count()) arguments.endRl = endRl;
    return Process(arguments, home);
  }
  if (*settings) return ShowSettings(home);
  if (*adjust) {
    if (adjustArgs.files.empty() && adjustArgs.job.empty())
      return Refuse(
          vireo::Error("", "adjust the network", "adjust needs the input files or --job FILE"),
          adjustArgs.json);
    return Adjust(adjustArgs, home);
  }
  return SetSetting(name, value, home);
}

}  // namespace

int main(int argc, char** argv) {
  GuardStandardStreams();
  int status;
  try {
    status = Run(argc, argv);
  } catch (const std::bad_alloc&) {
    // Unwinding has removed every temporary file; what was not replaced yet
    // is as it was.
    std::cerr << "vireo-cli: there was not enough memory to finish; every output not reported "
                 "as written is as it was before\n";
    return kExitOutputFailed;
  } catch (const std::exception& e) {
    // Anything else the system refuses (a thread, a descriptor) ends the
    // run the same way, never in an abort.
    std::cerr << "vireo-cli: the run could not finish (" << e.what()
              << "); every output not reported as written is as it was before\n";
    return kExitOutputFailed;
  }
  return Delivered(status);
}
