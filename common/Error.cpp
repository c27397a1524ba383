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
#ifdef __EMSCRIPTEN__
  // The XSI strerror_r of the WebAssembly build's C library fills `buffer`.
  if (strerror_r(errnoValue, buffer, sizeof buffer) != 0)
    return "error " + std::to_string(errnoValue);
  return std::string(buffer);
#else
  // GNU strerror_r returns the message, possibly not in `buffer`.
  return std::string(strerror_r(errnoValue, buffer, sizeof buffer));
#endif
}

}  // namespace vireo
