// Cell values: what goes in comes out, in memory and through a saved file.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <limits>

#include "common/Error.h"
#include "output/Workbook.h"
#include "tests/output/ZipPackage.h"

namespace vireo {
namespace {

using test::Entry;

Workbook Reopen(const Workbook& workbook) {
  return Workbook::OpenFromBytes(workbook.SaveToBytes(), "reopened.xlsx");
}

std::string SheetOf(const Workbook& workbook) {
  return Entry(workbook.SaveToBytes(), "xl/worksheets/sheet1.xml");
}

const double kNumbers[] = {0.1 + 0.2,
                           1.0 / 7.0,
                           1e300,
                           DBL_MAX,
                           -DBL_MAX,
                           -0.0,
                           std::numeric_limits<double>::denorm_min(),
                           DBL_MIN / 3,
                           9007199254740993.0,  // 2^53 + 1 rounds to 2^53 + 2
                           9007199254740991.0,
                           123.45678,
                           -1e-300,
                           0.0};

void ExpectNumbersBitExact(const Workbook& workbook) {
  int row = 1;
  for (double v : kNumbers) {
    CellValue got = workbook.Get(row++, 2);
    ASSERT_EQ(got.kind, CellValue::Kind::Number) << v;
    EXPECT_EQ(std::bit_cast<std::uint64_t>(got.number), std::bit_cast<std::uint64_t>(v)) << v;
  }
}

TEST(WorkbookNumbers, bit_exact_in_memory_and_after_save) {
  Workbook workbook = Workbook::CreateBlank();
  int row = 1;
  for (double v : kNumbers) workbook.SetNumber(row++, 2, v);
  ExpectNumbersBitExact(workbook);
  ExpectNumbersBitExact(Reopen(workbook));
  ExpectNumbersBitExact(Reopen(Reopen(workbook)));
}

TEST(WorkbookNumbers, non_finite_refused_and_cell_left_alone) {
  Workbook workbook = Workbook::CreateBlank();
  workbook.SetNumber(1, 1, 5.0);
  for (double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
    EXPECT_THROW(workbook.SetNumber(1, 1, bad), Error);
    EXPECT_THROW(workbook.SetNumber(2, 1, bad, "0.00000"), Error);
    EXPECT_THROW(workbook.Set(3, 1, CellValue::Number(bad)), Error);
  }
  EXPECT_EQ(workbook.Get(1, 1), CellValue::Number(5.0));
  EXPECT_TRUE(workbook.Get(2, 1).IsEmpty());
  EXPECT_EQ(workbook.LastRow(), 1);
}

// glibc finds locales in LOCPATH: build de_DE.UTF-8 there when the system
// has none installed, so the test runs on bare build machines too.
bool UseGermanLocale(const test::TempDir& dir) {
  if (std::setlocale(LC_ALL, "de_DE.UTF-8")) return true;
  if (!test::OnPath("localedef")) return false;
  const std::string command =
      "localedef -i de_DE -f UTF-8 " + (dir / "de_DE.UTF-8") + " >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0 && !std::filesystem::exists(dir / "de_DE.UTF-8"))
    return false;
  setenv("LOCPATH", dir.Path().c_str(), 1);
  return std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
}

TEST(WorkbookNumbers, german_locale_changes_nothing) {
  test::TempDir dir;
  if (!UseGermanLocale(dir)) GTEST_SKIP() << "no de_DE.UTF-8 locale";
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  Workbook workbook = Workbook::CreateBlank();
  int row = 1;
  for (double v : kNumbers) workbook.SetNumber(row++, 2, v, "0.00000");
  const std::string sheet = SheetOf(workbook);
  ExpectNumbersBitExact(Reopen(workbook));
  std::setlocale(LC_ALL, "C");
  unsetenv("LOCPATH");
  EXPECT_NE(sheet.find("<v>0.30000000000000004</v>"), std::string::npos);
  EXPECT_EQ(sheet, SheetOf(workbook));
}

TEST(WorkbookText, escaped_on_save_and_read_back_exactly) {
  const std::string texts[] = {
      "line\r\nbreak",   "lf\nonly",   "tab\there", std::string("ctl\x01") + "x",
      "_x0041_ literal", "  leading",  "trailing ", "\xF0\x9F\x98\x80 emoji",
      "a < b & c > d",   "\"quoted\"", "x\x7Fy",    std::string("nul\0z", 5)};
  Workbook workbook = Workbook::CreateBlank();
  int row = 1;
  for (const std::string& t : texts) workbook.SetText(row++, 1, t);
  for (const Workbook& w : {Reopen(workbook)}) {
    row = 1;
    for (const std::string& t : texts) EXPECT_EQ(w.Get(row++, 1), CellValue::Text(t)) << t;
  }
  const std::string sheet = SheetOf(workbook);
  EXPECT_NE(sheet.find("line_x000D_\nbreak"), std::string::npos);
  EXPECT_NE(sheet.find("ctl_x0001_x"), std::string::npos);
  EXPECT_NE(sheet.find("nul_x0000_z"), std::string::npos);
  EXPECT_NE(sheet.find("_x005F_x0041_ literal"), std::string::npos);
  EXPECT_NE(sheet.find("<t xml:space=\"preserve\">  leading</t>"), std::string::npos);
  EXPECT_NE(sheet.find("<t xml:space=\"preserve\">trailing </t>"), std::string::npos);
  EXPECT_NE(sheet.find("a &lt; b &amp; c &gt; d"), std::string::npos);
  EXPECT_NE(sheet.find("t=\"inlineStr\""), std::string::npos);
}

TEST(WorkbookText, noncharacters_escaped) {
  Workbook workbook = Workbook::CreateBlank();
  workbook.SetText(1, 1,
                   "a\xEF\xBF\xBE"
                   "b\xEF\xBF\xBF");
  EXPECT_NE(SheetOf(workbook).find("a_xFFFE_b_xFFFF_"), std::string::npos);
  EXPECT_EQ(Reopen(workbook).Get(1, 1), CellValue::Text("a\xEF\xBF\xBE"
                                                        "b\xEF\xBF\xBF"));
}

TEST(WorkbookText, invalid_utf8_taken_as_windows1252) {
  Workbook workbook = Workbook::CreateBlank();
  workbook.SetText(1, 1, "caf\xE9 \x80");
  EXPECT_EQ(workbook.Get(1, 1), CellValue::Text("caf\xC3\xA9 \xE2\x82\xAC"));
  EXPECT_EQ(Reopen(workbook).Get(1, 1), CellValue::Text("caf\xC3\xA9 \xE2\x82\xAC"));
}

TEST(WorkbookLimits, grid_corners_accepted_beyond_refused) {
  Workbook workbook = Workbook::CreateBlank();
  workbook.SetNumber(1, 1, 1);
  workbook.SetText(Workbook::kMaxRows, Workbook::kMaxColumns, "corner");
  EXPECT_EQ(workbook.LastRow(), Workbook::kMaxRows);
  Workbook back = Reopen(workbook);
  EXPECT_EQ(back.Get(1, 1), CellValue::Number(1));
  EXPECT_EQ(back.Get(Workbook::kMaxRows, Workbook::kMaxColumns), CellValue::Text("corner"));
  EXPECT_NE(SheetOf(workbook).find("<dimension ref=\"A1:XFD1048576\"/>"), std::string::npos);
  EXPECT_NE(SheetOf(workbook).find("r=\"XFD1048576\""), std::string::npos);
  for (auto [row, column] : {std::pair{0, 1},
                             {1, 0},
                             {Workbook::kMaxRows + 1, 1},
                             {1, Workbook::kMaxColumns + 1},
                             {-5, -5}}) {
    EXPECT_THROW(workbook.SetNumber(row, column, 1), Error);
    EXPECT_THROW(workbook.SetText(row, column, "x"), Error);
    EXPECT_THROW(workbook.Get(row, column), Error);
    EXPECT_THROW(workbook.Clear(row, column), Error);
  }
}

TEST(WorkbookLimits, text_length_counted_in_utf16_units) {
  Workbook workbook = Workbook::CreateBlank();
  workbook.SetText(1, 1, std::string(Workbook::kMaxTextLength, 'x'));
  EXPECT_EQ(Reopen(workbook).Get(1, 1).text.size(), 32767u);
  EXPECT_THROW(workbook.SetText(2, 1, std::string(Workbook::kMaxTextLength + 1, 'x')), Error);
  std::string emoji;
  for (int i = 0; i < 16384; ++i) emoji += "\xF0\x9F\x98\x80";  // two units each
  EXPECT_THROW(workbook.SetText(3, 1, emoji), Error);
  emoji.resize(emoji.size() - 4);
  workbook.SetText(3, 1, emoji + "x");
  EXPECT_TRUE(workbook.Get(2, 1).IsEmpty());
}

TEST(WorkbookLayout, rows_and_cells_written_in_order_with_fresh_dimension) {
  Workbook workbook = Workbook::CreateBlank();
  workbook.SetNumber(5, 3, 3);
  workbook.SetNumber(5, 1, 1);
  workbook.SetText(2, 2, "b");
  workbook.SetNumber(5, 2, 2);
  workbook.SetNumber(1, 28, 7);
  const std::string sheet = SheetOf(workbook);
  const auto at = [&](const char* s) { return sheet.find(s); };
  EXPECT_LT(at("r=\"AB1\""), at("r=\"B2\""));
  EXPECT_LT(at("r=\"B2\""), at("r=\"A5\""));
  EXPECT_LT(at("r=\"A5\""), at("r=\"B5\""));
  EXPECT_LT(at("r=\"B5\""), at("r=\"C5\""));
  EXPECT_NE(at("<dimension ref=\"A1:AB5\"/>"), std::string::npos);
  EXPECT_EQ(workbook.LastRow(), 5);
  Workbook back = Reopen(workbook);
  EXPECT_EQ(back.Get(1, 28), CellValue::Number(7));
  EXPECT_EQ(back.Get(5, 2), CellValue::Number(2));
}

TEST(WorkbookLayout, clear_and_set_empty_keep_the_style) {
  Workbook workbook = Workbook::CreateBlank();
  workbook.SetNumber(2, 2, 1.5, "0.00000");
  workbook.SetNumber(3, 2, 2.5, "0.00000");
  workbook.Clear(2, 2);
  workbook.Set(3, 2, CellValue::Empty());
  workbook.Clear(9, 9);  // nothing there: nothing made
  EXPECT_TRUE(workbook.Get(2, 2).IsEmpty());
  const std::string sheet = SheetOf(workbook);
  EXPECT_NE(sheet.find("<c r=\"B2\" s=\"1\"/>"), std::string::npos);
  EXPECT_NE(sheet.find("<c r=\"B3\" s=\"1\"/>"), std::string::npos);
  EXPECT_EQ(sheet.find("I9"), std::string::npos);
  EXPECT_EQ(workbook.LastRow(), 0);
  Workbook back = Reopen(workbook);
  back.SetNumber(2, 2, 4);  // written again: the style is still there
  EXPECT_NE(SheetOf(back).find("<c r=\"B2\" s=\"1\"><v>4</v></c>"), std::string::npos);
}

TEST(WorkbookLayout, overwriting_changes_kind) {
  Workbook workbook = Workbook::CreateBlank();
  workbook.SetText(1, 1, "text");
  workbook.SetNumber(1, 1, 2);
  EXPECT_EQ(workbook.Get(1, 1), CellValue::Number(2));
  workbook.Set(1, 1, CellValue::Text("again"));
  EXPECT_EQ(Reopen(workbook).Get(1, 1), CellValue::Text("again"));
  EXPECT_EQ(workbook.ActiveSheetName(), "Sheet1");
}

}  // namespace
}  // namespace vireo
