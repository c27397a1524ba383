// vireo-cli run through the shell as a surveyor's script would run it, for
// test targets that define VIREO_CLI.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "tests/support/TempFolder.h"

namespace vireo::testing {

struct Outcome {
  int status = -1;
  std::string out, err;
};

inline std::string Quote(const std::string& s) {
  return "'" + s + "'";
}

// `environment` goes before the command, such as "env DISPLAY=:9 " or
// "ulimit -v 100000 && "; `out`: where standard output goes, empty for a
// file read back into `out`.
inline Outcome RunCli(const std::string& arguments, const std::string& environment = "",
                      const std::string& out = "") {
  TempFolder scratch;
  const std::string command = environment + Quote(VIREO_CLI) + " " + arguments + " >" +
                              Quote(out.empty() ? scratch / "out" : out) + " 2>" +
                              Quote(scratch / "err");
  const int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(scratch / "out"),
          ReadFile(scratch / "err")};
}

}  // namespace vireo::testing
