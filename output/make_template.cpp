// vireo-make-template OUTPUT_PATH: writes the default report template.
#include <iostream>

#include "common/Error.h"
#include "common/FileSystem.h"
#include "output/DefaultTemplate.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: vireo-make-template OUTPUT_PATH\n";
    return 2;
  }
  try {
    const std::string bytes = vireo::DefaultTemplateBytes();
    vireo::ReplaceFile(vireo::RealFileSystem(), argv[1],
                       [&](vireo::OutputStream& out) { out.Write(bytes); });
  } catch (const vireo::Error& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
  return 0;
}
