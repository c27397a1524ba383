#include "checks/FailedCheckRows.h"

#include <string_view>

#include "common/Text.h"

namespace vireo {
namespace {

struct CheckName {
  std::string_view key;
  const char* label;
  int decimals;
};

// Checks that are not a limit of checks.ini.
constexpr CheckName kOtherChecks[] = {
    {"misclose_mm", "Loop misclose (mm)", 2},
    {"section_misclose_mm", "Section forward and back (mm)", 2},
    {"booking_check_mm", "Booking check (mm)", 2},
    {"setup_chain", "Chain of set-ups", 2},
    {"line_start", "Line start", 2},
    {"level_figures", "The level's own figures", 2},
    {"line_end", "Line end", 2},
};

CheckName NameOf(std::string_view key) {
  for (const CheckName& name : kOtherChecks)
    if (name.key == key) return name;
  const CheckLimitKey* limit = FindCheckLimitKey(key);
  if (!limit) return {key, nullptr, 2};
  // Staff readings are shown as the report shows readings.
  const int decimals = key.starts_with("staff_") ? 5 : key.ends_with("_mm") ? 2 : 3;
  return {key, limit->label, decimals};
}

std::string Points(const std::string& from, const std::string& to) {
  if (from.empty() && to.empty()) return {};
  return ToUtf8(from) + " \u2192 " + ToUtf8(to);
}

}  // namespace

std::vector<FailedCheckRow> FailedCheckRows(const CheckReport& report) {
  // The line of levelling of every set-up, and of every line start.
  std::vector<int> lineOfSetup;
  for (const LineCheck& line : report.lines)
    lineOfSetup.insert(lineOfSetup.end(), static_cast<std::size_t>(line.setups), line.line);
  auto lineStartingAt = [&](long fieldLine) {
    for (const LineCheck& line : report.lines)
      if (line.fieldLine == fieldLine) return line.line;
    return 0;
  };
  // The line of levelling a record of the file lies in.
  auto lineHolding = [&](long fieldLine) {
    int holding = 0;
    for (const LineCheck& line : report.lines)
      if (line.fieldLine <= fieldLine) holding = line.line;
    return holding;
  };

  std::vector<FailedCheckRow> rows;
  rows.reserve(report.failed.size() + 1);
  // What the double run lost comes first: no limit can judge it.
  for (const NotReduced& n : report.completeness.notReduced) {
    if (!IsPartOfDoubleRun(n.reason) && !n.takenAsZero) continue;
    FailedCheckRow& row = rows.emplace_back();
    row.kind = FailedRowKind::NotReduced;
    row.fieldLine = n.firstLine;
    if (const int holding = lineHolding(n.firstLine); holding > 0)
      row.lines = std::to_string(holding);
    row.points = Points(n.back, n.fore);
    row.reason = ReasonText(n.reason);
    if (n.takenAsZero) row.reason += ", taken as 0";
    if (n.readings > 1)
      row.reason += " (" + std::to_string(n.readings) + " readings to file line " +
                    std::to_string(n.lastLine) + ")";
  }
  for (const FailedCheck& f : report.failed) {
    FailedCheckRow& row = rows.emplace_back();
    row.setup = f.setup;
    row.fieldLine = f.fieldLine;
    row.points = Points(f.back, f.fore);
    const CheckName name = NameOf(f.check);
    row.check = name.label ? name.label : f.check;
    row.decimals = name.decimals;
    if (f.finding.empty()) {
      row.value = f.value;
      row.limit = f.limit;
    } else {
      row.check += ": " + ToUtf8(f.finding);
    }
    if (f.setup > 0 && static_cast<std::size_t>(f.setup) <= lineOfSetup.size()) {
      row.lines = std::to_string(lineOfSetup[static_cast<std::size_t>(f.setup - 1)]);
    } else if (f.check == "section_misclose_mm") {
      const int second = lineStartingAt(f.fieldLine);
      for (const SectionCheck& s : report.sections)
        if (s.second == second)
          row.lines = std::to_string(s.first) + " and " + std::to_string(s.second);
    } else if (const int line = lineStartingAt(f.fieldLine); line > 0) {
      row.lines = std::to_string(line);
    } else if (const int holding = lineHolding(f.fieldLine); holding > 0) {
      row.lines = std::to_string(holding);
    }
  }
  if (report.file.pass == false) {
    FailedCheckRow& row = rows.emplace_back();
    row.check = "File misclose (mm)";
    row.value = report.file.miscloseMm;
    row.limit = report.file.permissibleMm;
  }
  return rows;
}

std::vector<std::string> FailedCheckHeadings() {
  return {"Set-up", "File line", "Line of levelling", "Points", "Check", "Value", "Limit"};
}

std::vector<std::string> FailedCheckCells(const FailedCheckRow& row) {
  auto count = [](long n) { return n > 0 ? std::to_string(n) : std::string(); };
  auto number = [&](const std::optional<double>& v) {
    return v ? FormatFixed(*v, row.decimals) : std::string();
  };
  const std::string check =
      row.kind == FailedRowKind::NotReduced ? "Reading not reduced: " + row.reason : row.check;
  return {count(row.setup),  count(row.fieldLine), row.lines, row.points, check,
          number(row.value), number(row.limit)};
}

}  // namespace vireo
