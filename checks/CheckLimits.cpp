#include "checks/CheckLimits.h"

#include <cmath>

#include "common/Error.h"
#include "common/Text.h"

namespace vireo {
namespace {

// A settings file of eight short lines; anything near this size is not one.
constexpr std::size_t kCheckFileLimit = 1u << 20;

struct KeyedLine {
  std::string_view key;  // empty for a blank or comment line
  std::string_view value;
  bool malformed = false;
};

KeyedLine SplitLine(std::string_view line) {
  const std::string_view trimmed = TrimBlanks(line);
  if (trimmed.empty() || trimmed[0] == '#' || trimmed[0] == ';') return {};
  const auto equals = trimmed.find('=');
  if (equals == std::string_view::npos) return {{}, {}, true};
  return {TrimBlanks(trimmed.substr(0, equals)), TrimBlanks(trimmed.substr(equals + 1)), false};
}

template <typename F>
void ForEachLine(std::string_view text, F&& take) {
  LineSplitter splitter;
  splitter.Feed(text, take);
  splitter.Finish(take);
}

}  // namespace

const CheckLimitKey* FindCheckLimitKey(std::string_view key) {
  for (const CheckLimitKey& k : kCheckLimitKeys)
    if (key == k.key) return &k;
  return nullptr;
}

bool IsUsableLimit(double value) {
  return std::isfinite(value) && value >= 0;
}

CheckLimits CheckLimitsFromText(std::string_view text, const std::string& file,
                                Warnings& warnings) {
  CheckLimits limits;
  ForEachLine(text, [&](std::string_view line, long number) {
    const KeyedLine keyed = SplitLine(line);
    auto warn = [&](const std::string& why) {
      warnings.push_back({0, file + " line " + std::to_string(number) + ": " + why});
    };
    if (keyed.malformed) return warn("not a \"key = value\" line; it is ignored");
    if (keyed.key.empty()) return;
    const CheckLimitKey* key = FindCheckLimitKey(keyed.key);
    if (!key) return warn("\"" + ToUtf8(keyed.key) + "\" is not a limit; the line is ignored");
    const auto value = StrictNumber(keyed.value);
    if (!value || !IsUsableLimit(*value))
      return warn("the " + std::string(key->key) + " \"" + ToUtf8(keyed.value) +
                  "\" is not a number of 0 or more; the default " +
                  DecimalText(CheckLimits{}.*(key->member)) + " is used");
    limits.*(key->member) = *value;
  });
  return limits;
}

std::string RewriteCheckLimitText(std::string_view text, std::string_view key, double value) {
  const std::string newLine = std::string(key) + " = " + DecimalText(value);
  std::string out;
  bool replaced = false;
  ForEachLine(text, [&](std::string_view line, long) {
    if (SplitLine(line).key == key) {
      if (!replaced) out += newLine + "\r\n";
      replaced = true;
      return;
    }
    out.append(line);
    out += "\r\n";
  });
  if (!replaced) out += newLine + "\r\n";
  return out;
}

CheckLimits ReadCheckLimits(const AppFolder& app, Warnings& warnings, FileSystem& fs) {
  const std::string path = app.CheckSettingsFile();
  if (!fs.Exists(path)) return {};
  try {
    return CheckLimitsFromText(ReadWholeFile(fs, path, kCheckFileLimit), "checks.ini", warnings);
  } catch (const Error& e) {
    throw Error(path, "read the check limits", e.Cause());
  }
}

void SetCheckLimit(const AppFolder& app, std::string_view key, double value, FileSystem& fs) {
  const std::string path = app.CheckSettingsFile();
  if (!FindCheckLimitKey(key))
    throw Error(path, "set a check limit", "\"" + ToUtf8(key) + "\" is not a limit");
  if (!IsUsableLimit(value))
    throw Error(path, "set a check limit",
                "the " + std::string(key) + " must be a number of 0 or more");
  LockedRewriteOptions options;
  options.limit = kCheckFileLimit;
  options.missingIsEmpty = true;
  options.readOperation = "read the check limits";
  options.saveOperation = kSaveCheckLimitsOperation;
  RewriteLocked(
      fs, path, [&](const std::string& text) { return RewriteCheckLimitText(text, key, value); },
      options);
}

}  // namespace vireo
