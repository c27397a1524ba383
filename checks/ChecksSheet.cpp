#include "checks/ChecksSheet.h"

#include <array>
#include <cmath>
#include <memory>
#include <optional>
#include <vector>

#include "common/Text.h"
#include "output/SheetTable.h"

namespace vireo {
namespace {

constexpr const char* kTitle = "Checks of the double run";
constexpr const char* kReadingsTitle = "Readings";
// The head of the sheet, which the RL adjustment reads and rewrites: the
// verdict, the file's misclose, and the facts the verdict is told from.
constexpr int kVerdictRow = 2, kFileHeadingRow = 4, kFileRow = 5, kReadingsRow = 7;
constexpr int kReadingsCountRow = 8, kReducedRow = 9, kLostRow = 10, kFailedSetupsRow = 11,
              kFailedOthersRow = 12, kBookingRow = 13;
constexpr int kNotReducedHeadingRow = 15;
// At most this many runs of readings not reduced are listed, then a count.
constexpr std::size_t kListedNotReduced = 1000;
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

std::string Result(const FileCheck& file) {
  return file.pass ? (*file.pass ? "PASS" : "FAIL") : "not judged \u2014 " + file.notJudged;
}

// The lines the file's closure covers, runs of them as "1–32".
std::string Covers(const FileCheck& file) {
  std::string lines;
  const std::vector<int>& l = file.lines;
  for (std::size_t i = 0; i < l.size();) {
    std::size_t j = i;
    while (j + 1 < l.size() && l[j + 1] == l[j] + 1) ++j;
    lines += (lines.empty() ? "" : ", ") + std::to_string(l[i]);
    if (j > i) lines += (j == i + 1 ? ", " : "\u2013") + std::to_string(l[j]);
    i = j + 1;
  }
  return lines;
}

std::string BookingResult(const BookingCheck& booking) {
  return booking.pass ? "PASS" : "FAIL (" + FormatFixed(booking.discrepancyMm, 2) + " mm)";
}

// A line of text across the whole width of the tables, filled red as a
// whole when `fails`.
void WriteBanner(Worksheet& sheet, int row, const std::string& text, CellFormat format) {
  format.align = Align::Left;
  sheet.SetText(row, 1, text, format);
  for (int column = 2; column <= kSetupColumns; ++column) sheet.SetFormat(row, column, format);
  if (!sheet.KeepsItsLayout()) sheet.MergeCells(row, 1, row, kSetupColumns);
}

// The sheet's printed page: A4 landscape, one page wide, narrow margins.
PageSetup ChecksPage() {
  PageSetup page;
  page.landscape = true;
  page.fitToWidth = true;
  page.margins = kNarrowMargins;
  page.footer = "&L&F&RPage &P of &N";
  return page;
}

// The printed pages of the tables above the set-up table, laid out as they
// are written. A table that runs past a page goes on at the top of the
// next one under its heading row again, and a table's title and heading
// stay with its first row. A page holds no more rows than
// RowsPerPrintedPage gives for the columns as wide as they are so far:
// columns only grow, and wider columns print smaller, so the page printed
// holds at least as many.
class Paper {
 public:
  Paper(const PageSetup& page, const ColumnWidths& widths) : page_(page), widths_(widths) {
    Measure();
  }
  // Starts a printed page at `row` (nothing when one starts there).
  void NewPage(int row) {
    if (row == first_) return;
    breaks_.push_back(row);
    first_ = row;
  }
  // Keeps rows row..row+count-1 on one page: a new page at `row` when
  // they would run past this one.
  void KeepTogether(int row, int count) {
    if (!Fits(row, count)) NewPage(row);
  }
  // The row the next row of `table` goes on: `row`, or, when it would run
  // past the page, the row below the table's heading repeated at `row` at
  // the top of a new page.
  int Next(SheetTable& table, int row) {
    if (Fits(row, 1)) return row;
    NewPage(row);
    table.RepeatHeading(row);
    return row + 1;
  }
  // The rows that start a page, ascending.
  const std::vector<int>& Breaks() const { return breaks_; }

 private:
  bool Fits(int row, int count) {
    if (row + count - first_ <= rows_) return true;
    Measure();  // the columns may have grown since
    return row + count - first_ <= rows_;
  }
  // The set-up table's heading row is the sheet's print title: counted on
  // every page, although LibreOffice and Excel print it only from its own
  // page on.
  void Measure() { rows_ = RowsPerPrintedPage(page_, widths_.AppliedSpan(kSetupColumns), 1); }
  const PageSetup& page_;
  const ColumnWidths& widths_;
  int first_ = 1;  // the first row of the page being filled
  int rows_ = 0;   // rows the page surely holds
  std::vector<int> breaks_;
};

SheetTable FileTable(Worksheet& sheet, ColumnWidths& widths) {
  return SheetTable(sheet, widths, kFileHeadingRow,
                    {{"File", kText},
                     {"Misclose (mm)", kNumber},
                     {"Permissible (mm)", kNumber},
                     {"Result", kText, 3},
                     {"Lines covered", kText, 2}});
}

void WriteFile(SheetTable& table, const FileCheck& file) {
  table.Number(kFileRow, 2, file.miscloseMm, kMm);
  table.Number(kFileRow, 3, file.permissibleMm, kMm);
  table.Text(kFileRow, 4, Result(file), Failing({}, file.pass == false));
  if (!file.lines.empty()) table.Text(kFileRow, 7, Covers(file));
}

// The facts of the verdict, beside their labels.
SheetTable FactsTable(Worksheet& sheet, ColumnWidths& widths) {
  return SheetTable(sheet, widths, 0, {{"", kText, 3}, {"", kNumber}, {"", kText, 6}});
}

void WriteFacts(SheetTable& table, const VerdictFacts& facts, const BookingCheck& lastLine) {
  table.Number(kFailedSetupsRow, 4, static_cast<double>(facts.failedSetups),
               Failing({}, facts.failedSetups > 0));
  table.Number(kFailedOthersRow, 4, static_cast<double>(facts.failedOthers),
               Failing({}, facts.failedOthers > 0));
  table.Text(kBookingRow, 5, BookingResult(lastLine), Failing({}, !lastLine.pass));
}

void WriteVerdict(Worksheet& sheet, const VerdictFacts& facts) {
  WriteBanner(sheet, kVerdictRow, VerdictText(facts), {.bold = true, .redFill = !facts.Pass()});
}

// The head: verdict, file, the facts, and every reading not reduced.
int WriteHead(Worksheet& sheet, ColumnWidths& widths, Paper& paper, const CheckReport& report) {
  const VerdictFacts facts = report.Facts();
  sheet.SetText(1, 1, kTitle, {.bold = true});
  WriteVerdict(sheet, facts);
  SheetTable file = FileTable(sheet, widths);
  file.Text(kFileRow, 1, "Whole file");
  WriteFile(file, report.file);

  const Completeness& c = report.completeness;
  sheet.SetText(kReadingsRow, 1, kReadingsTitle, {.bold = true});
  SheetTable table = FactsTable(sheet, widths);
  table.Text(kReadingsCountRow, 1, "Reading records in the file");
  table.Number(kReadingsCountRow, 4, static_cast<double>(c.readings));
  table.Text(kReducedRow, 1, "Set-ups reduced");
  table.Number(kReducedRow, 4, static_cast<double>(c.reducedSetups));
  table.Text(kLostRow, 1, "Lost to the double run");
  table.Text(kLostRow, 5, facts.lost.empty() ? "none" : facts.lost,
             Failing({}, !facts.lost.empty()));
  table.Text(kFailedSetupsRow, 1, "Set-ups failing their checks");
  table.Text(kFailedOthersRow, 1, "Line, section and booking checks failing");
  table.Text(kBookingRow, 1, "Booking check of the report's last line");
  const BookingCheck lastLine = report.lines.empty() ? BookingCheck{} : report.lines.back().booking;
  WriteFacts(table, facts, lastLine);

  int row = kNotReducedHeadingRow;
  SheetTable lost(sheet, widths, row++,
                  {{"File line", kNumber},
                   {"To line", kNumber},
                   {"Readings", kNumber},
                   {"Reason", kText, 4},
                   {"Set-up from line", kNumber},
                   {"", kText, 3}});
  if (c.notReduced.empty()) {
    row = paper.Next(lost, row);
    sheet.SetText(row++, 1, "every reading is reduced", AlignedAs(kText));
  }
  for (std::size_t i = 0; i < c.notReduced.size() && i < kListedNotReduced; ++i, ++row) {
    row = paper.Next(lost, row);
    const NotReduced& n = c.notReduced[i];
    const bool isLost = IsPartOfDoubleRun(n.reason);
    lost.Number(row, 1, static_cast<double>(n.firstLine), Failing({}, isLost));
    if (n.lastLine != n.firstLine) lost.Number(row, 2, static_cast<double>(n.lastLine));
    lost.Number(row, 3, static_cast<double>(n.readings));
    lost.Text(row, 4, ReasonText(n.reason));
    if (n.setupLine != 0) lost.Number(row, 8, static_cast<double>(n.setupLine));
    lost.Text(row, 9,
              n.takenAsZero ? "taken as 0"
              : isLost      ? "lost"
                            : "not part of the double run");
  }
  if (c.notReduced.size() > kListedNotReduced) {
    row = paper.Next(lost, row);
    sheet.SetText(row++, 1,
                  "and " + std::to_string(c.notReduced.size() - kListedNotReduced) +
                      " more runs of readings not reduced",
                  AlignedAs(kText));
  }
  return row + 1;
}

// The names of the checks a set-up fails, for its last column.
std::string FailedNames(unsigned failed) {
  static constexpr std::array<std::pair<unsigned, const char*>, 8> kNames{{
      {kStationDifferenceBit, "station difference"},
      {kRepeatDifferenceBit, "repeat difference"},
      {kSightLengthBit, "sight length"},
      {kSetupImbalanceBit, "imbalance"},
      {kStaffMinBit, "lowest reading"},
      {kStaffMaxBit, "highest reading"},
      {kInstrumentAgreementBit, "instrument"},
      {kChainBit, "chain"},
  }};
  std::string names;
  for (auto [bit, name] : kNames)
    if (failed & bit) names += (names.empty() ? "" : ", ") + std::string(name);
  return names;
}

std::vector<TableColumn> SetupColumns() {
  return {{"Set-up", kNumber},
          {"Line of levelling", kNumber},
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
          {"Failed", kText}};
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

// The limits the run was checked against.
int WriteLimits(Worksheet& sheet, ColumnWidths& widths, Paper& paper, int row,
                const CheckLimits& limitValues) {
  // A limit's name spans the first three columns, its key three more.
  paper.KeepTogether(row, 2);
  SheetTable limits(sheet, widths, row++,
                    {{"Limit", kText, 3}, {"Value", kNumber}, {"Key (checks.ini)", kText, 3}});
  for (const CheckLimitKey& key : kCheckLimitKeys) {
    row = paper.Next(limits, row);
    limits.Text(row, 1, key.label);
    const double value = limitValues.*(key.member);
    if (value != 0)
      limits.Number(row, 4, value);
    else
      limits.Text(row, 4, "off", AlignedAs(kNumber));  // where the number stands
    limits.Text(row++, 5, key.key);
  }

  return row;
}

int WriteLines(Worksheet& sheet, ColumnWidths& widths, Paper& paper, int row,
               const CheckReport& report) {
  row += 1;
  paper.KeepTogether(row, 3);  // the title, the heading and the first line
  sheet.SetText(row++, 1, "Lines of levelling", {.bold = true});
  SheetTable lines(sheet, widths, row++,
                   {{"Line of levelling", kNumber},
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
    row = paper.Next(lines, row);
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
    const bool judged = !line.loop || line.pass.has_value();
    lines.Text(row++, 12, fails ? "FAIL" : judged ? "PASS" : "not judged", Failing({}, fails));
  }

  return row;
}

// Single-run lines, and the checks their set-ups fail. A single run has
// no second reading of a set-up to check it by.
int WriteSingleRunLines(Worksheet& sheet, ColumnWidths& widths, Paper& paper, int row,
                        const CheckReport& report) {
  if (report.singleRunLines.empty()) return row;
  row += 1;
  paper.KeepTogether(row, 3);
  sheet.SetText(row++, 1,
                "Single-run lines (station and repeat differences: single run, not checked)",
                {.bold = true});
  SheetTable lines(sheet, widths, row++,
                   {{"Line", kNumber},
                    {"Start", kText},
                    {"End", kText},
                    {"Set-ups", kNumber},
                    {"Length (m)", kNumber},
                    {"Interm. sights", kNumber},
                    {"Imbalance (m)", kNumber},
                    {"Level's misclose (mm)", kNumber},
                    {"Loop", kText},
                    {"Misclose (mm)", kNumber},
                    {"Permissible (mm)", kNumber},
                    {"Result", kText},
                    {"Booking check", kText},
                    {"Set-ups failing", kNumber}});
  for (const SingleRunLineCheck& line : report.singleRunLines) {
    row = paper.Next(lines, row);
    lines.Number(row, 1, line.number);
    lines.Text(row, 2, line.start);
    lines.Text(row, 3, line.end);
    lines.Number(row, 4, static_cast<double>(line.setups));
    lines.Number(row, 5, line.lengthM, kMetres);
    lines.Number(row, 6, static_cast<double>(line.intermediates));
    lines.Number(row, 7, line.imbalanceM, kMetres);
    if (line.levelMiscloseMm)
      lines.Number(row, 8, *line.levelMiscloseMm, Failing(kMm, line.levelDisagrees));
    lines.Text(row, 9, line.loop ? "yes" : line.miscloseMm ? "onto known RL" : "open");
    if (line.miscloseMm) {
      lines.Number(row, 10, *line.miscloseMm, Failing(kMm, line.pass == false));
      lines.Number(row, 11, *line.permissibleMm, kMm);
    }
    const bool fails = line.pass == false;
    lines.Text(row, 12, fails ? "FAIL" : line.pass ? "PASS" : "not judged", Failing({}, fails));
    lines.Text(row, 13, line.bookingPass ? "PASS" : "FAIL", Failing({}, !line.bookingPass));
    lines.Number(row++, 14, static_cast<double>(line.failedSetups),
                 Failing({}, line.failedSetups > 0));
  }
  std::optional<SheetTable> failed;
  for (const FailedCheck& f : report.failed) {
    if (f.singleRunSetup == 0) continue;
    if (!failed) {
      row += 1;
      paper.KeepTogether(row, 2);
      failed.emplace(sheet, widths, row++,
                     std::vector<TableColumn>{{"File line", kNumber},
                                              {"Back", kText},
                                              {"Sight", kText},
                                              {"Check", kText, 2},
                                              {"Value", kNumber},
                                              {"Limit", kNumber}});
    }
    row = paper.Next(*failed, row);
    failed->Number(row, 1, static_cast<double>(f.fieldLine), Failing({}, true));
    failed->Text(row, 2, f.back);
    failed->Text(row, 3, f.fore);
    failed->Text(row, 4, f.check);
    failed->Number(row, 6, f.value, Failing({}, true));
    failed->Number(row++, 7, f.limit);
  }
  return row;
}

int WriteBooking(Worksheet& sheet, ColumnWidths& widths, Paper& paper, int row,
                 const CheckReport& report) {
  // The booking check starts a page, apart from the lines it checks.
  row += 1;
  paper.NewPage(row);
  sheet.SetText(row++, 1,
                "Booking check: sum of Ave_BS - sum of Ave_FS = rises - falls = last "
                "Cal. RL - first Cal. RL",
                {.bold = true});
  SheetTable booking(sheet, widths, row++,
                     {{"Line of levelling", kNumber},
                      {"BS - FS (m)", kNumber},
                      {"Rise - fall (m)", kNumber},
                      {"Last - first RL (m)", kNumber},
                      {"Result", kText}});
  for (const LineCheck& line : report.lines) {
    if (line.booking.setups == 0) continue;
    row = paper.Next(booking, row);
    booking.Number(row, 1, line.line);
    booking.Number(row, 2, line.booking.backMinusForeM, kReading);
    booking.Number(row, 3, line.booking.riseMinusFallM, kReading);
    booking.Number(row, 4, line.booking.levelsM, kReading);
    booking.Text(row++, 5, BookingResult(line.booking), Failing({}, !line.booking.pass));
  }

  return row;
}

int WriteSections(Worksheet& sheet, ColumnWidths& widths, Paper& paper, int row,
                  const CheckReport& report) {
  row += 1;
  paper.KeepTogether(row, 3);
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
    row = paper.Next(sections, row);
    sections.Text(row, 1, std::to_string(s.first) + " and " + std::to_string(s.second));
    sections.Text(row, 2, s.from);
    sections.Text(row, 3, s.to);
    const bool fails = s.pass == false;
    sections.Number(row, 4, s.differenceMm, Failing(kMm, fails));
    sections.Number(row, 5, s.permissibleMm, kMm);
    sections.Text(row++, 6, !s.pass ? "not judged" : fails ? "FAIL" : "PASS", Failing({}, fails));
  }

  return row;
}

// What the records of the file say against the reduction: set-ups that do
// not follow on, lines without their start, the level's own figures.
int WriteFindings(Worksheet& sheet, ColumnWidths& widths, Paper& paper, int row,
                  const CheckReport& report) {
  row += 1;
  paper.KeepTogether(row, 3);
  sheet.SetText(row++, 1, "The file's records", {.bold = true});
  SheetTable findings(sheet, widths, row++,
                      {{"File line", kNumber}, {"Points", kText, 2}, {"Finding", kText, 9}});
  bool any = false;
  for (const FailedCheck& f : report.failed) {
    if (f.finding.empty()) continue;
    any = true;
    row = paper.Next(findings, row);
    findings.Number(row, 1, static_cast<double>(f.fieldLine), Failing({}, true));
    if (!f.back.empty() || !f.fore.empty()) findings.Text(row, 2, f.back + " \u2192 " + f.fore);
    findings.Text(row++, 4, f.finding, Failing({}, true));
  }
  if (!any)
    sheet.SetText(row++, 1, "every set-up follows on and every line has its start",
                  AlignedAs(kText));
  return row;
}

// The set-up table, from `row` on, and the sheet's page setup. Its widths
// are fitted already (FitSetups).
void WriteSetups(Worksheet& sheet, ColumnWidths& widths, Paper& paper, PageSetup page, int row,
                 const CheckReport& report, const Survey& survey) {
  // The set-up table starts a page, and its heading row heads every page
  // it prints on.
  row += 1;
  paper.NewPage(row);
  sheet.SetText(row++, 1, "Set-ups", {.bold = true});
  SheetTable setups(sheet, widths, row++, SetupColumns());
  widths.Apply(sheet);

  page.firstTitleRow = page.lastTitleRow = setups.HeadingRow();
  page.rowBreaks = paper.Breaks();
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
  const bool staffChecked = report.limits.staffMinM != 0 || report.limits.staffMaxM != 0;
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
}

}  // namespace

bool WriteChecksSheet(Workbook& workbook, const CheckReport& report, const Survey& survey) {
  if (workbook.HasSheet(kChecksSheet)) return false;
  Worksheet sheet = workbook.AddSheet(kChecksSheet);
  // The set-up table's columns, fitted first, give the printed pages of
  // the tables above it their scale.
  ColumnWidths widths;
  FitHeadings(widths, SetupColumns());
  FitSetups(widths, report, survey);
  const PageSetup page = ChecksPage();
  Paper paper(page, widths);
  int row = WriteHead(sheet, widths, paper, report);
  row = WriteLimits(sheet, widths, paper, row, report.limits);
  row = WriteLines(sheet, widths, paper, row, report);
  row = WriteSingleRunLines(sheet, widths, paper, row, report);
  row = WriteBooking(sheet, widths, paper, row, report);
  row = WriteSections(sheet, widths, paper, row, report);
  row = WriteFindings(sheet, widths, paper, row, report);
  WriteSetups(sheet, widths, paper, page, row, report, survey);
  return true;
}

bool UpdateChecksSheetVerdict(Workbook& workbook, const VerdictFacts& facts,
                              const BookingCheck& lastLine) {
  if (!workbook.HasSheet(kChecksSheet)) return false;
  // Only the top of the sheet changes; its long tables stay unread.
  Worksheet sheet = workbook.SheetHead(kChecksSheet, kBookingRow);
  if (sheet.Get(1, 1) != CellValue::Text(kTitle) ||
      sheet.Get(kFileHeadingRow, 1) != CellValue::Text("File") ||
      sheet.Get(kReadingsRow, 1) != CellValue::Text(kReadingsTitle))
    return false;

  // The verdict's and the results' old looks go first, or a red fill
  // would stay: the title's look is plain bold, "Whole file"'s plain text.
  for (int column = 1; column <= kSetupColumns; ++column)
    sheet.CopyFormat(1, 1, kVerdictRow, column);
  WriteVerdict(sheet, facts);
  for (int column : {4, 5, 6}) sheet.CopyFormat(kFileRow, 1, kFileRow, column);
  for (int row : {kFailedOthersRow, kBookingRow})
    for (int column : {4, 5}) sheet.CopyFormat(kReducedRow, 1, row, column);
  ColumnWidths unused;  // the sheet keeps its columns
  SheetTable table = FileTable(sheet, unused);
  WriteFile(table, facts.file);
  SheetTable facts2 = FactsTable(sheet, unused);
  WriteFacts(facts2, facts, lastLine);
  return true;
}

}  // namespace vireo
