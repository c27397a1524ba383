// The programs that read what Vireo writes, run on its outputs: xmllint,
// LibreOffice (headless) and poppler. Tests skip when one is missing.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>

#include "tests/support/Package.h"
#include "tests/support/TempFolder.h"

namespace vireo::testing {

// Runs a shell command with its output discarded; gives its exit status.
inline int Shell(const std::string& command) {
  return std::system(("(" + command + ") >/dev/null 2>&1").c_str());
}

inline bool OnPath(const std::string& program) {
  return Shell("command -v " + program) == 0;
}

// Converts `file` with LibreOffice to `format` ("pdf", "html" or a filter
// such as "csv:..."), written into `folder`; gives the new file's path. A
// private profile keeps parallel runs from locking each other out.
inline std::string Convert(const std::string& folder, const std::string& file,
                           const std::string& format) {
  Shell("soffice -env:UserInstallation=file://" + folder + "/profile --headless --convert-to '" +
        format + "' --outdir '" + folder + "' '" + file + "'");
  return folder + "/" + std::filesystem::path(file).stem().string() + "." +
         format.substr(0, format.find(':'));
}

// How often the regular expression `pattern` is found in `text`.
inline long Count(const std::string& text, const std::string& pattern) {
  const std::regex r(pattern);
  return std::distance(std::sregex_iterator(text.begin(), text.end(), r), {});
}

// The XML parts of a package that xmllint refuses; empty when it takes all.
inline std::string PartsXmllintRefuses(const std::string& package, const std::string& folder) {
  std::string refused;
  int checked = 0;
  for (const auto& [name, content] : PartsOf(package)) {
    if (!name.ends_with(".xml") && !name.ends_with(".rels")) continue;
    const std::string path = folder + "/part" + std::to_string(++checked) + ".xml";
    WriteFile(path, content);
    if (Shell("xmllint --noout '" + path + "'") != 0) refused += name + " ";
  }
  return checked >= 5 ? refused : "fewer than five parts";
}

}  // namespace vireo::testing
