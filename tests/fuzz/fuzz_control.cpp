// Fuzzes the control file reader and rewrite: a rewrite sets its key and
// leaves the other settings as they were.
#include <cstdint>
#include <string>

#include "settings/ControlFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string company = vireo::ValueFromControlText(text, 'Y');
  const std::string personnel = vireo::ValueFromControlText(text, 'P');
  const std::string rewritten = vireo::RewriteControlText(text, 'E', "E10");
  if (vireo::ValueFromControlText(rewritten, 'E') != "10") __builtin_trap();
  if (vireo::ValueFromControlText(rewritten, 'Y') != company) __builtin_trap();
  if (vireo::ValueFromControlText(rewritten, 'P') != personnel) __builtin_trap();
  if (rewritten.size() < 5 || rewritten.compare(rewritten.size() - 2, 2, "\r\n") != 0)
    __builtin_trap();
  return 0;
}
