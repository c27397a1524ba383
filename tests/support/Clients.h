// The programs that read what Vireo writes, run on its outputs: xmllint,
// LibreOffice (headless) and poppler. Tests skip when one is missing.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

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

// A workbook as LibreOffice prints it: each page's text as poppler lays it
// out, and whether it is landscape. Empty when it could not print.
struct PrintedPages {
  std::vector<std::string> pages;
  std::vector<bool> landscape;
};
inline PrintedPages Print(const std::string& folder, const std::string& workbook) {
  const std::string pdf = Convert(folder, workbook, "pdf");
  const std::string text = folder + "/printed.txt", info = folder + "/printed.info";
  Shell("pdftotext -layout '" + pdf + "' '" + text + "'");
  Shell("pdfinfo -f 1 -l 9999 '" + pdf + "' >'" + info + "'");
  PrintedPages printed;
  const std::string all = ReadFile(text), sizes = ReadFile(info);
  for (std::size_t at = 0, end; (end = all.find('\f', at)) != std::string::npos; at = end + 1)
    printed.pages.push_back(all.substr(at, end - at));
  const std::regex size(R"(size:\s+([\d.]+) x ([\d.]+))");
  for (auto it = std::sregex_iterator(sizes.begin(), sizes.end(), size);
       it != std::sregex_iterator(); ++it)
    printed.landscape.push_back(std::stod((*it)[1]) > std::stod((*it)[2]));
  return printed;
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
