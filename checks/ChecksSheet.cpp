#include "checks/ChecksSheet.h"

#include <array>
#include <cmath>
#include <memory>

#include "common/Text.h"

namespace vireo {
namespace {

constexpr const char* kTitle = "Checks of the double run";
constexpr int kVerdictRow = 2, kFailuresRow = 3, kFileHeadingRow = 5, kFileRow = 6;
constexpr int kLimitsHeadingRow = 8;

constexpr CellFormat kHeading{.bold = true, .ruleBelow = true};
constexpr CellFormat kMm{.numberFormat = "0.00"};
constexpr CellFormat kMetres{.numberFormat = "0.000"};
constexpr CellFormat kReading{.numberFormat = "0.00000"};

CellFormat Failing(CellFormat format, bool fails) {
  format.redFill = fails;
  return format;
}

std::string Result(const std::optional<bool>& pass) {
  return pass ? (*pass ? "PASS" : "FAIL") : "not judged";
}

void Headings(Worksheet& sheet, int row, std::initializer_list<const char*> headings) {
  int column = 1;
  for (const char* heading : headings) sheet.SetText(row, column++, heading, kHeading);
}

void WriteFile(Worksheet& sheet, const FileCheck& file) {
  sheet.SetText(kVerdictRow, 1, FileVerdictText(file),
                {.bold = true, .redFill = file.pass == false});
  sheet.SetNumber(kFileRow, 2, file.miscloseMm, kMm);
  sheet.SetNumber(kFileRow, 3, file.permissibleMm, kMm);
  sheet.SetText(kFileRow, 4, Result(file.pass), Failing({}, file.pass == false));
}

// The names of the checks a set-up fails, for its last column.
std::string FailedNames(unsigned failed) {
  static constexpr std::array<std::pair<unsigned, const char*>, 7> kNames{{
      {kStationDifferenceBit, "station difference"},
      {kRepeatDifferenceBit, "repeat difference"},
      {kSightLengthBit, "sight length"},
      {kSetupImbalanceBit, "imbalance"},
      {kStaffMinBit, "lowest reading"},
      {kStaffMaxBit, "highest reading"},
      {kInstrumentAgreementBit, "instrument"},
  }};
  std::string names;
  for (auto [bit, name] : kNames)
    if (failed & bit) names += (names.empty() ? "" : ", ") + std::string(name);
  return names;
}

}  // namespace

bool WriteChecksSheet(Workbook& workbook, const CheckReport& report, const Survey& survey) {
  if (workbook.HasSheet(kChecksSheet)) return false;
  Worksheet sheet = workbook.AddSheet(kChecksSheet);
  sheet.SetColumns(1, 1, 13.7109375);
  sheet.SetColumns(2, 14, 18.7109375);
  PageSetup page;
  page.landscape = true;
  page.fitToWidth = true;
  page.margins = kNarrowMargins;
  page.footer = "&L&F&RPage &P of &N";
  sheet.SetPageSetup(page);

  sheet.SetText(1, 1, kTitle, {.bold = true});
  sheet.SetText(kFailuresRow, 1, FailuresText(report), {.redFill = !report.failed.empty()});
  Headings(sheet, kFileHeadingRow, {"File", "Misclose (mm)", "Permissible (mm)", "Result"});
  sheet.SetText(kFileRow, 1, "Whole file");
  WriteFile(sheet, report.file);

  Headings(sheet, kLimitsHeadingRow, {"Limit", "", "", "Value", "Key (checks.ini)"});
  int row = kLimitsHeadingRow + 1;
  for (const CheckLimitKey& key : kCheckLimitKeys) {
    sheet.SetText(row, 1, key.label);
    const double value = report.limits.*(key.member);
    if (value != 0)
      sheet.SetNumber(row, 4, value);
    else
      sheet.SetText(row, 4, "off");
    sheet.SetText(row++, 5, key.key);
  }

  row += 1;
  sheet.SetText(row++, 1, "Lines of levelling", {.bold = true});
  Headings(sheet, row++,
           {"Line", "Start", "End", "Set-ups", "Length (m)", "Height diff. (m)", "Imbalance (m)",
            "Sum stn. diff. (mm)", "Loop", "Misclose (mm)", "Permissible (mm)", "Result"});
  for (const LineCheck& line : report.lines) {
    sheet.SetNumber(row, 1, line.line);
    sheet.SetText(row, 2, line.start);
    sheet.SetText(row, 3, line.end);
    sheet.SetNumber(row, 4, static_cast<double>(line.setups));
    sheet.SetNumber(row, 5, line.lengthM, kMetres);
    sheet.SetNumber(row, 6, line.heightDifferenceM, kReading);
    sheet.SetNumber(row, 7, line.imbalanceM, Failing(kMetres, line.imbalanceFails));
    sheet.SetNumber(row, 8, line.stationDifferenceSumMm, kMm);
    sheet.SetText(row, 9, line.loop ? "yes" : "no");
    if (line.loop) {
      sheet.SetNumber(row, 10, *line.miscloseMm, Failing(kMm, line.pass == false));
      sheet.SetNumber(row, 11, *line.permissibleMm, kMm);
    }
    const bool fails = line.pass == false || line.imbalanceFails;
    sheet.SetText(row++, 12, fails ? "FAIL" : "PASS", Failing({}, fails));
  }

  row += 1;
  sheet.SetText(row++, 1, "Sections run forward and back", {.bold = true});
  Headings(sheet, row++, {"Lines", "From", "To", "Difference (mm)", "Permissible (mm)", "Result"});
  if (report.sections.empty()) sheet.SetText(row++, 1, "none: no two lines have swapped ends");
  for (const SectionCheck& s : report.sections) {
    sheet.SetText(row, 1, std::to_string(s.first) + " and " + std::to_string(s.second));
    sheet.SetText(row, 2, s.from);
    sheet.SetText(row, 3, s.to);
    sheet.SetNumber(row, 4, s.differenceMm, Failing(kMm, !s.pass));
    sheet.SetNumber(row, 5, s.permissibleMm, kMm);
    sheet.SetText(row++, 6, s.pass ? "PASS" : "FAIL", Failing({}, !s.pass));
  }

  row += 1;
  sheet.SetText(row++, 1, "Set-ups", {.bold = true});
  Headings(sheet, row++,
           {"Set-up", "Line", "File line", "Back", "Fore", "Stn. diff. (mm)", "BS1-BS2 (mm)",
            "FS1-FS2 (mm)", "Longest sight (m)", "Imbalance (m)", "Lowest (m)", "Highest (m)",
            "Instrument (mm)", "Failed"});
  // The set-up table can hold hundreds of thousands of rows: it is
  // written when the workbook is saved, not held in memory.
  struct Look {
    CellStyleId plain, failing;
  };
  auto look = [&](int column, const CellFormat& format) {
    return Look{sheet.StyleFor(column, format), sheet.StyleFor(column, Failing(format, true))};
  };
  const std::array<Look, 14> looks = {Look{},
                                      Look{},
                                      Look{},
                                      Look{},
                                      Look{},
                                      look(6, kMm),
                                      look(7, kMm),
                                      look(8, kMm),
                                      look(9, kMetres),
                                      look(10, kMetres),
                                      look(11, kReading),
                                      look(12, kReading),
                                      look(13, kMm),
                                      look(14, {})};
  auto cursor = std::make_shared<std::pair<std::size_t, std::size_t>>(0, 0);  // line, set-up
  const double repeatLimit = report.limits.repeatDifferenceMm;
  // The staff range is shown where a limit checks it (off by default).
  const bool staffChecked = report.limits.staffMinM > 0 || report.limits.staffMaxM > 0;
  sheet.StreamRows(
      row, static_cast<int>(report.setups.size()), 14,
      [&survey, &report, looks, cursor, repeatLimit, staffChecked](int, RowWriter& out) {
        auto& [l, i] = *cursor;
        while (i >= survey.lines[l].setups.size()) l++, i = 0;
        const ReducedSetup& s = survey.lines[l].setups[i++];
        const SetupCheck& c = report.setups[static_cast<std::size_t>(s.number - 1)];
        const unsigned f = c.failed;
        auto number = [&](int column, double value, bool fails) {
          const Look& at = looks[static_cast<std::size_t>(column - 1)];
          out.Number(column, value, fails ? at.failing : at.plain);
        };
        out.Number(1, static_cast<double>(s.number));
        out.Number(2, s.line);
        out.Number(3, static_cast<double>(s.fieldLine));
        out.Text(4, s.back);
        out.Text(5, s.fore);
        const bool repeat = f & kRepeatDifferenceBit;
        number(6, c.stationDifferenceMm, f & kStationDifferenceBit);
        number(7, c.backRepeatMm, repeat && std::abs(c.backRepeatMm) > repeatLimit);
        number(8, c.foreRepeatMm, repeat && std::abs(c.foreRepeatMm) > repeatLimit);
        number(9, c.sightLengthM, f & kSightLengthBit);
        number(10, c.imbalanceM, f & kSetupImbalanceBit);
        if (staffChecked) {
          number(11, c.staffMinM, f & kStaffMinBit);
          number(12, c.staffMaxM, f & kStaffMaxBit);
        }
        if (c.instrumentAgreementMm)
          number(13, *c.instrumentAgreementMm, f & kInstrumentAgreementBit);
        if (f) out.Text(14, FailedNames(f), looks[13].failing);
      });
  return true;
}

bool UpdateChecksSheetFile(Workbook& workbook, const FileCheck& file) {
  if (!workbook.HasSheet(kChecksSheet)) return false;
  // Only the top of the sheet changes; its long set-up table stays unread.
  Worksheet sheet = workbook.SheetHead(kChecksSheet, kFileRow);
  if (sheet.Get(1, 1) != CellValue::Text(kTitle) ||
      sheet.Get(kFileHeadingRow, 1) != CellValue::Text("File"))
    return false;
  WriteFile(sheet, file);
  return true;
}

}  // namespace vireo
