#include "common/Error.h"

#include <cstring>

#include "common/Text.h"

namespace vireo {

Error::Error(std::string file, std::string operation, std::string cause)
    : std::runtime_error(EscapeControlBytes(file + ": " + operation + " (" + cause + ")")),
      file_(std::move(file)),
      operation_(std::move(operation)),
      cause_(std::move(cause)) {}

std::string SystemCause(int errnoValue) {
  char buffer[256];
  // GNU strerror_r returns the message, possibly not in `buffer`.
  return std::string(strerror_r(errnoValue, buffer, sizeof buffer));
}

}  // namespace vireo
