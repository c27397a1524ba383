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
  if (equals == std::string_view::npos || TrimBlanks(trimmed.substr(0, equals)).empty())
    return {{}, {}, true};
  return {TrimBlanks(trimmed.substr(0, equals)), TrimBlanks(trimmed.substr(equals + 1)), false};
}

template <typename F>
void ForEachLine(std::string_view text, F&& take) {
  LineSplitter splitter;
  splitter.Feed(WithoutByteOrderMark(text), take);
  splitter.Finish(take);
}

}  // namespace

const CheckLimitKey* FindCheckLimitKey(std::string_view key) {
  for (const CheckLimitKey& k : kCheckLimitKeys)
    if (key == k.key) return &k;
  return nullptr;
}

bool IsUsableLimit(const CheckLimitKey& key, double value) {
  return std::isfinite(value) && value >= key.lowest && value <= key.highest;
}

std::string LimitRangeText(const CheckLimitKey& key) {
  return "a number from " + DecimalText(key.lowest) + " to " + DecimalText(key.highest);
}

std::string LimitsConflict(const CheckLimits& limits) {
  if (limits.staffMinM == 0 || limits.staffMaxM == 0 || limits.staffMinM < limits.staffMaxM)
    return {};
  return "the lowest staff reading (staff_min_m " + DecimalText(limits.staffMinM) +
         ") must be below the highest (staff_max_m " + DecimalText(limits.staffMaxM) +
         "), or every set-up fails";
}

CheckLimits CheckLimitsFromText(std::string_view text, const std::string& file,
                                Warnings& warnings) {
  CheckLimits limits;
  std::array<long, kCheckLimitKeys.size()> setOnLine{};
  ForEachLine(text, [&](std::string_view line, long number) {
    const KeyedLine keyed = SplitLine(line);
    auto warn = [&](const std::string& why) {
      warnings.push_back({0, file + " line " + std::to_string(number) + ": " + why});
    };
    if (keyed.malformed) return warn("not a \"key = value\" line; it is ignored");
    if (keyed.key.empty()) return;
    const CheckLimitKey* key = FindCheckLimitKey(keyed.key);
    if (!key) return warn("\"" + ToUtf8(keyed.key) + "\" is not a limit; the line is ignored");
    long& first = setOnLine[static_cast<std::size_t>(key - kCheckLimitKeys.data())];
    if (first > 0)
      warn("the " + std::string(key->key) + " is set again (first on line " +
           std::to_string(first) + "); the last readable value counts");
    else
      first = number;
    const auto value = StrictNumber(keyed.value);
    if (!value || !IsUsableLimit(*key, *value))
      return warn("the " + std::string(key->key) + " \"" + ToUtf8(keyed.value) + "\" is not " +
                  LimitRangeText(*key) + "; the default " +
                  DecimalText(CheckLimits{}.*(key->member)) + " is used");
    limits.*(key->member) = *value;
  });
  if (const std::string conflict = LimitsConflict(limits); !conflict.empty()) {
    warnings.push_back({0, file + ": " + conflict + "; both keep their default (off)"});
    limits.staffMinM = CheckLimits{}.staffMinM;
    limits.staffMaxM = CheckLimits{}.staffMaxM;
  }
  return limits;
}

std::string RewriteCheckLimitText(std::string_view text, std::string_view key, double value) {
  const std::string newLine = std::string(key) + " = " + DecimalText(value);
  // A byte-order mark stays at the start, where it was.
  std::string out(text.substr(0, text.size() - WithoutByteOrderMark(text).size()));
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

void SetCheckLimits(const AppFolder& app,
                    const std::vector<std::pair<std::string, double>>& changes, FileSystem& fs) {
  const std::string path = app.CheckSettingsFile();
  for (const auto& [name, value] : changes) {
    const CheckLimitKey* key = FindCheckLimitKey(name);
    if (!key) throw Error(path, kSetCheckLimitOperation, "\"" + ToUtf8(name) + "\" is not a limit");
    if (!IsUsableLimit(*key, value))
      throw Error(
          path, kSetCheckLimitOperation,
          "the " + name + " must be " + LimitRangeText(*key) + ", not " + DecimalText(value));
  }
  LockedRewriteOptions options;
  options.limit = kCheckFileLimit;
  options.missingIsEmpty = true;
  options.readOperation = "read the check limits";
  options.saveOperation = kSaveCheckLimitsOperation;
  RewriteLocked(
      fs, path,
      [&](const std::string& text) {
        Warnings ignored;
        CheckLimits limits = CheckLimitsFromText(text, "checks.ini", ignored);
        std::string changed = text;
        for (const auto& [name, value] : changes) {
          limits.*(FindCheckLimitKey(name)->member) = value;
          changed = RewriteCheckLimitText(changed, name, value);
        }
        if (const std::string conflict = LimitsConflict(limits); !conflict.empty())
          throw Error(path, kSetCheckLimitOperation, conflict);
        return changed;
      },
      options);
}

void SetCheckLimit(const AppFolder& app, std::string_view key, double value, FileSystem& fs) {
  SetCheckLimits(app, {{std::string(key), value}}, fs);
}

}  // namespace vireo
