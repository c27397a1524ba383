#include "settings/ControlFile.h"

#include <cmath>
#include <vector>

#include "common/Error.h"
#include "common/Text.h"

namespace vireo {
namespace {

// A control file holds three short lines; anything near this size is not one.
constexpr std::size_t kControlFileLimit = 64u << 20;

std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> lines;
  LineSplitter splitter;
  auto take = [&](std::string_view line, long) { lines.emplace_back(line); };
  splitter.Feed(WithoutByteOrderMark(text), take);
  splitter.Finish(take);
  return lines;
}

std::string ReadControlText(const AppFolder& app, FileSystem& fs) {
  try {
    return ReadWholeFile(fs, app.ControlFile(), kControlFileLimit);
  } catch (const Error& e) {
    throw Error(app.ControlFile(), "read the settings", e.Cause());
  }
}

}  // namespace

std::string ValueFromControlText(std::string_view text, char key) {
  std::string value;
  for (const auto& line : Lines(text))
    if (!line.empty() && line[0] == key) value = line.substr(1);
  return value;
}

std::string RewriteControlText(std::string_view text, char key, std::string_view newLine) {
  // A byte-order mark stays at the start, where it was.
  std::string out(text.substr(0, text.size() - WithoutByteOrderMark(text).size()));
  bool replaced = false;
  for (const auto& line : Lines(text)) {
    if (!line.empty() && line[0] == key) {
      out += newLine;
      replaced = true;
    } else {
      out += line;
    }
    out += "\r\n";
  }
  if (!replaced) {
    out += newLine;
    out += "\r\n";
  }
  return out;
}

std::optional<std::string> ErrorFactorWarning(const AppFolder& app,
                                              const std::string& errorFactor) {
  for (const char* choice : {"2", "4", "6", "8", "10"})
    if (errorFactor == choice) return std::nullopt;
  const std::string what = errorFactor.empty() ? "the error factor is missing"
                                               : "the error factor \"" + ToUtf8(errorFactor) +
                                                     "\" is not one of 2, 4, 6, 8, 10";
  return app.ControlFile() + ": " + what +
         ", so a permissible error worked out from it means nothing; choose 2, 4, 6, 8 or 10 "
         "(menu Error Settings, or vireo-cli set error-factor)";
}

double ErrorFactorForTolerances(const AppFolder& app, std::optional<std::string>& warning,
                                FileSystem& fs) {
  warning.reset();
  std::string text;
  try {
    text = ReadControlValue(app, 'E', fs);
  } catch (const Error& e) {
    warning = std::string(e.what()) + "; the tolerances use the error factor " +
              DecimalText(kDefaultErrorFactor);
    return kDefaultErrorFactor;
  }
  warning = ErrorFactorWarning(app, text);
  const double factor = NumberFromText(text);
  if (factor > 0 && std::isfinite(factor)) return factor;
  *warning += "; the tolerances use the error factor " + DecimalText(kDefaultErrorFactor);
  return kDefaultErrorFactor;
}

std::string ReadControlValue(const AppFolder& app, char key, FileSystem& fs) {
  return ValueFromControlText(ReadControlText(app, fs), key);
}

Settings ReadSettings(const AppFolder& app, FileSystem& fs) {
  const std::string text = ReadControlText(app, fs);
  return Settings{ValueFromControlText(text, 'Y'), ValueFromControlText(text, 'P'),
                  ValueFromControlText(text, 'E')};
}

void RewriteControlFile(const AppFolder& app, char key, std::string_view newLine, FileSystem& fs) {
  // A line break inside a setting would split it into lines of its own,
  // which the next read takes as other settings.
  if (newLine.find_first_of("\r\n") != std::string_view::npos)
    throw Error(app.ControlFile(), "check the new setting",
                "a setting cannot hold a line break; key it in on one line");
  LockedRewriteOptions options;
  options.limit = kControlFileLimit;
  options.readOperation = "read the settings";
  options.saveOperation = kSaveSettingsOperation;
  RewriteLocked(
      fs, app.ControlFile(),
      [&](const std::string& text) { return RewriteControlText(text, key, newLine); }, options);
}

}  // namespace vireo
