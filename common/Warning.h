// A doubtful record or value that the run went on over: shown to the
// surveyor with the line of the file it belongs to.
#pragma once

#include <string>

namespace vireo {

struct RunWarning {
  long line = 0;  // line of the input file; 0 when not tied to one
  std::string message;
};

}  // namespace vireo
