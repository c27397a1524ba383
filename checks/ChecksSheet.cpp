#include "checks/ChecksSheet.h"

#include <array>
#include <cmath>
#include <memory>

#include "common/Text.h"
#include "output/SheetTable.h"

namespace vireo {
namespace {

constexpr const char* kTitle = "Checks of the double run";
constexpr int kVerdictRow = 2, kFailuresRow = 3, kFileHeadingRow = 5, kFileRow = 6;
constexpr int kLimitsHeadingRow = 8;
// The set-up table's columns; the verdict lines span them all.
constexpr int kSetupColumns = 14;

constexpr CellFormat kMm{.numberFormat = "0.00"};
constexpr CellFormat kMetres{.numberFormat = "0.000"};
constexpr CellFormat kReading{.numberFormat = "0.00000"};
constexpr ColumnKind kNumber = ColumnKind::Number, kText = ColumnKind::Text;

CellFormat Failing(CellFormat format, bool fails) {
  format.redFill = fails;
  return format;
}

std::string Result(const std::optional<bool>& pass) {
  return pass ? (*pass ? "PASS" : "FAIL") : "not judged";
}

// A line of text across the whole width of the tables, filled red as a
// whole when `fails`.
void WriteBanner(Worksheet& sheet, int row, const std::string& text, CellFormat format) {
  format.align = Align::Left;
  sheet.SetText(row, 1, text, format);
  for (int column = 2; column <= kSetupColumns; ++column) sheet.SetFormat(row, column, format);
  sheet.MergeCells(row, 1, row, kSetupColumns);
}

SheetTable FileTable(Worksheet& sheet, ColumnWidths& widths) {
  return SheetTable(sheet, widths, kFileHeadingRow,
                    {{"File", kText},
                     {"Misclose (mm)", kNumber},
                     {"Permissible (mm)", kNumber},
                     {"Result", kText}});
}

void WriteFile(SheetTable& table, const FileCheck& file) {
  table.Number(kFileRow, 2, file.miscloseMm, kMm);
  table.Number(kFileRow, 3, file.permissibleMm, kMm);
  table.Text(kFileRow, 4, Result(file.pass), Failing({}, file.pass == false));
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

// The widths the streamed set-up table needs, worked out from the values
// before they are written.
void FitSetups(ColumnWidths& widths, const CheckReport& report, const Survey& survey) {
  survey.ForEachReduced([&](const Setup& s) {
    widths.FitNumber(1, static_cast<double>(s.reduced), {});
    widths.FitNumber(2, s.line, {});
    widths.FitNumber(3, static_cast<double>(s.fieldLine), {});
    widths.Fit(4, ToUtf8(s.back->point), false, true);
    widths.Fit(5, ToUtf8(s.fore.point), false, true);
  });
  for (const SetupCheck& c : report.setups) {
    widths.FitNumber(6, c.stationDifferenceMm, kMm.numberFormat);
    widths.FitNumber(7, c.backRepeatMm, kMm.numberFormat);
    widths.FitNumber(8, c.foreRepeatMm, kMm.numberFormat);
    widths.FitNumber(9, c.sightLengthM, kMetres.numberFormat);
    widths.FitNumber(10, c.imbalanceM, kMetres.numberFormat);
    widths.FitNumber(11, c.staffMinM, kReading.numberFormat);
    widths.FitNumber(12, c.staffMaxM, kReading.numberFormat);
    if (c.instrumentAgreementMm) widths.FitNumber(13, *c.instrumentAgreementMm, kMm.numberFormat);
    if (c.failed) widths.Fit(14, FailedNames(c.failed), false, true);
  }
}

}  // namespace

bool WriteChecksSheet(Workbook& workbook, const CheckReport& report, const Survey& survey) {
  if (workbook.HasSheet(kChecksSheet)) return false;
  Worksheet sheet = workbook.AddSheet(kChecksSheet);
  ColumnWidths widths;

  sheet.SetText(1, 1, kTitle, {.bold = true});
  WriteBanner(sheet, kVerdictRow, FileVerdictText(report.file),
              {.bold = true, .redFill = report.file.pass == false});
  WriteBanner(sheet, kFailuresRow, FailuresText(report), {.redFill = !report.failed.empty()});
  SheetTable file = FileTable(sheet, widths);
  file.Text(kFileRow, 1, "Whole file");
  WriteFile(file, report.file);

  // A limit's name spans the first three columns, its key three more.
  SheetTable limits(sheet, widths, kLimitsHeadingRow,
                    {{"Limit", kText, 3}, {"Value", kNumber}, {"Key (checks.ini)", kText, 3}});
  int row = kLimitsHeadingRow + 1;
  for (const CheckLimitKey& key : kCheckLimitKeys) {
    limits.Text(row, 1, key.label);
    const double value = report.limits.*(key.member);
    if (value > 0)
      limits.Number(row, 4, value);
    else
      limits.Text(row, 4, "off", AlignedAs(kNumber));  // where the number stands
    limits.Text(row++, 5, key.key);
  }

  row += 1;
  sheet.SetText(row++, 1, "Lines of levelling", {.bold = true});
  SheetTable lines(sheet, widths, row++,
                   {{"Line", kNumber},
                    {"Start", kText},
                    {"End", kText},
                    {"Set-ups", kNumber},
                    {"Length (m)", kNumber},
                    {"Height diff. (m)", kNumber},
                    {"Imbalance (m)", kNumber},
                    {"Sum stn. diff. (mm)", kNumber},
                    {"Loop", kText},
                    {"Misclose (mm)", kNumber},
                    {"Permissible (mm)", kNumber},
                    {"Result", kText}});
  for (const LineCheck& line : report.lines) {
    lines.Number(row, 1, line.line);
    lines.Text(row, 2, line.start);
    lines.Text(row, 3, line.end);
    lines.Number(row, 4, static_cast<double>(line.setups));
    lines.Number(row, 5, line.lengthM, kMetres);
    lines.Number(row, 6, line.heightDifferenceM, kReading);
    lines.Number(row, 7, line.imbalanceM, Failing(kMetres, line.imbalanceFails));
    lines.Number(row, 8, line.stationDifferenceSumMm, kMm);
    lines.Text(row, 9, line.loop ? "yes" : "no");
    if (line.loop) {
      lines.Number(row, 10, *line.miscloseMm, Failing(kMm, line.pass == false));
      lines.Number(row, 11, *line.permissibleMm, kMm);
    }
    const bool fails = line.pass == false || line.imbalanceFails;
    lines.Text(row++, 12, fails ? "FAIL" : "PASS", Failing({}, fails));
  }

  row += 1;
  sheet.SetText(row++, 1, "Sections run forward and back", {.bold = true});
  SheetTable sections(sheet, widths, row++,
                      {{"Lines", kText},
                       {"From", kText},
                       {"To", kText},
                       {"Difference (mm)", kNumber},
                       {"Permissible (mm)", kNumber},
                       {"Result", kText}});
  if (report.sections.empty())
    sheet.SetText(row++, 1, "none: no two lines have swapped ends", AlignedAs(kText));
  for (const SectionCheck& s : report.sections) {
    sections.Text(row, 1, std::to_string(s.first) + " and " + std::to_string(s.second));
    sections.Text(row, 2, s.from);
    sections.Text(row, 3, s.to);
    sections.Number(row, 4, s.differenceMm, Failing(kMm, !s.pass));
    sections.Number(row, 5, s.permissibleMm, kMm);
    sections.Text(row++, 6, s.pass ? "PASS" : "FAIL", Failing({}, !s.pass));
  }

  // The set-up table starts a page, and its heading row heads every page
  // it prints on.
  row += 1;
  const int setupsTitleRow = row;
  sheet.SetText(row++, 1, "Set-ups", {.bold = true});
  SheetTable setups(sheet, widths, row++,
                    {{"Set-up", kNumber},
                     {"Line", kNumber},
                     {"File line", kNumber},
                     {"Back", kText},
                     {"Fore", kText},
                     {"Stn. diff. (mm)", kNumber},
                     {"BS1-BS2 (mm)", kNumber},
                     {"FS1-FS2 (mm)", kNumber},
                     {"Longest sight (m)", kNumber},
                     {"Imbalance (m)", kNumber},
                     {"Lowest (m)", kNumber},
                     {"Highest (m)", kNumber},
                     {"Instrument (mm)", kNumber},
                     {"Failed", kText}});
  FitSetups(widths, report, survey);
  widths.Apply(sheet);

  PageSetup page;
  page.landscape = true;
  page.fitToWidth = true;
  page.margins = kNarrowMargins;
  page.footer = "&L&F&RPage &P of &N";
  page.firstTitleRow = page.lastTitleRow = setups.HeadingRow();
  page.rowBreaks = {setupsTitleRow};
  sheet.SetPageSetup(page);

  // The set-up table can hold hundreds of thousands of rows: it is
  // written when the workbook is saved, not held in memory.
  struct Look {
    CellStyleId plain, failing;
  };
  auto look = [&](int column, const CellFormat& format) {
    const CellFormat aligned = setups.Look(column, format);
    return Look{sheet.StyleFor(column, aligned), sheet.StyleFor(column, Failing(aligned, true))};
  };
  const std::array<Look, 14> looks = {
      look(1, {}),        look(2, {}),        look(3, {}),   look(4, {}),      look(5, {}),
      look(6, kMm),       look(7, kMm),       look(8, kMm),  look(9, kMetres), look(10, kMetres),
      look(11, kReading), look(12, kReading), look(13, kMm), look(14, {})};
  auto cursor = std::make_shared<std::pair<std::size_t, std::size_t>>(0, 0);  // line, set-up
  const double repeatLimit = report.limits.repeatDifferenceMm;
  // The staff range is shown where a limit checks it (off by default).
  const bool staffChecked = report.limits.staffMinM > 0 || report.limits.staffMaxM > 0;
  sheet.StreamRows(
      row, static_cast<int>(report.setups.size()), kSetupColumns,
      [&survey, &report, looks, cursor, repeatLimit, staffChecked](int, RowWriter& out) {
        auto& [l, i] = *cursor;  // the next reduced set-up
        while (i >= survey.lines[l].setups.size() || !survey.lines[l].setups[i].BackPaired()) {
          if (i < survey.lines[l].setups.size())
            ++i;
          else
            ++l, i = 0;
        }
        const Setup& s = survey.lines[l].setups[i++];
        const SetupCheck& c = report.setups[static_cast<std::size_t>(s.reduced - 1)];
        const unsigned f = c.failed;
        auto number = [&](int column, double value, bool fails) {
          const Look& at = looks[static_cast<std::size_t>(column - 1)];
          out.Number(column, value, fails ? at.failing : at.plain);
        };
        number(1, static_cast<double>(s.reduced), false);
        number(2, s.line, false);
        number(3, static_cast<double>(s.fieldLine), false);
        out.Text(4, s.back->point, looks[3].plain);
        out.Text(5, s.fore.point, looks[4].plain);
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
  // The verdict's and the result's old looks go first, or a red fill
  // would stay: the title's look is plain bold, "Whole file"'s plain text.
  const CellFormat verdict{.bold = true, .redFill = file.pass == false, .align = Align::Left};
  for (int column = 1; column <= kSetupColumns; ++column) {
    sheet.CopyFormat(1, 1, kVerdictRow, column);
    sheet.SetFormat(kVerdictRow, column, verdict);
  }
  sheet.SetText(kVerdictRow, 1, FileVerdictText(file), verdict);
  sheet.CopyFormat(kFileRow, 1, kFileRow, 4);
  ColumnWidths unused;  // the sheet keeps its columns
  SheetTable table = FileTable(sheet, unused);
  WriteFile(table, file);
  return true;
}

}  // namespace vireo
