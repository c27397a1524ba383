// What the page's script calls in the core beside the command line's main.
#include <emscripten/emscripten.h>

#include <iostream>

#include "common/Error.h"
#include "common/FileSystem.h"
#include "output/DefaultTemplate.h"

// Writes the bundled report template to `path`, as the native build's
// vireo-make-template does. 0 when written.
extern "C" EMSCRIPTEN_KEEPALIVE int vireo_write_default_template(const char* path) {
  try {
    const std::string bytes = vireo::DefaultTemplateBytes();
    vireo::ReplaceFile(vireo::RealFileSystem(), path,
                       [&](vireo::OutputStream& out) { out.Write(bytes); });
  } catch (const vireo::Error& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
  return 0;
}
