// Cell values: what goes in comes out, in memory and through a saved file.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <regex>

#include "common/Error.h"
#include "common/Text.h"
#include "output/Workbook.h"
#include "tests/support/Package.h"
#include "tests/support/TempFolder.h"

namespace vireo {
namespace {

Workbook Reopen(const Workbook& workbook) {
  return Workbook::OpenFromBytes(workbook.SaveToBytes(), "reopened.xlsx");
}

std::string SheetOf(const Workbook& workbook) {
  return testing::PartOf(workbook.SaveToBytes(), "xl/worksheets/sheet1.xml");
}

// 5e-324 is the smallest denormal; 2^53 + 1 is written as 2^53 + 2, the
// double it rounds to.
const double kNumbers[] = {
    0.1 + 0.2,          1.0 / 7.0,          1e300,     DBL_MAX, -DBL_MAX, -0.0, 5e-324, DBL_MIN / 3,
    9007199254740993.0, 9007199254740991.0, 123.45678, -1e-300, 0.0};

void ExpectNumbersBitExact(const Workbook& workbook) {
  int row = 1;
  for (double v : kNumbers) {
    CellValue got = workbook.Get(row++, 2);
    ASSERT_EQ(got.kind, CellValue::Kind::Number) << v;
    EXPECT_EQ(std::bit_cast<std::uint64_t>(got.number), std::bit_cast<std::uint64_t>(v)) << v;
  }
}

// glibc finds locales in LOCPATH: build de_DE.UTF-8 there when the system
// has none installed, so the test runs on bare build machines too.
bool UseGermanLocale(const testing::TempFolder& dir) {
  if (std::setlocale(LC_ALL, "de_DE.UTF-8")) return true;
  const std::string command =
      "localedef -i de_DE -f UTF-8 " + (dir / "de_DE.UTF-8") + " >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0 && !std::filesystem::exists(dir / "de_DE.UTF-8"))
    return false;
  setenv("LOCPATH", dir.Path().c_str(), 1);
  return std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
}

TEST(WorkbookNumbers, bit_exact_after_saves_under_any_locale_and_non_finite_refused) {
  Workbook workbook = Workbook::CreateBlank();
  int row = 1;
  for (double v : kNumbers) workbook.SetNumber(row++, 2, v, "0.00000");
  ExpectNumbersBitExact(Reopen(Reopen(workbook)));
  for (double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
    EXPECT_THROW(workbook.SetNumber(1, 2, bad), Error);
    EXPECT_THROW(workbook.Set(20, 1, CellValue::Number(bad)), Error);
  }
  EXPECT_EQ(workbook.Get(1, 2), CellValue::Number(0.1 + 0.2));
  EXPECT_EQ(workbook.LastRow(), 13);
  const std::string sheet = SheetOf(workbook);
  EXPECT_NE(sheet.find("<v>0.30000000000000004</v>"), std::string::npos);

  // A German locale changes neither the cells nor the number texts.
  testing::TempFolder dir;
  if (!UseGermanLocale(dir)) GTEST_SKIP() << "no de_DE.UTF-8 locale";
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  const std::string german = SheetOf(workbook);
  ExpectNumbersBitExact(Reopen(workbook));
  EXPECT_EQ(FormatFixed(1.5, 2) + " " + DecimalText(2.75), "1.50 2.75");
  EXPECT_EQ(NumberFromText("2.75"), 2.75);
  std::setlocale(LC_ALL, "C");
  unsetenv("LOCPATH");
  EXPECT_EQ(german, sheet);
}

TEST(WorkbookText, escaped_on_save_and_read_back_exactly) {
  const std::pair<std::string, const char*> texts[] = {
      // written, and held in the sheet as
      {"line\r\nbreak", "line_x000D_\nbreak"},
      {"ctl\x01x\tab", "ctl_x0001_x\tab"},
      {std::string("nul\0z", 5), "nul_x0000_z"},
      {"_x0041_ literal", "_x005F_x0041_ literal"},
      {"  leading", "<t xml:space=\"preserve\">  leading</t>"},
      {"trailing ", "<t xml:space=\"preserve\">trailing </t>"},
      {"a < b & \"c\" > d", "a &lt; b &amp; \"c\" &gt; d"},
      {"\xF0\x9F\x98\x80 x\x7Fy", "\xF0\x9F\x98\x80 x\x7Fy"},
      {"a\xEF\xBF\xBE"
       "b\xEF\xBF\xBF",
       "a_xFFFE_b_xFFFF_"}};
  Workbook workbook = Workbook::CreateBlank();
  int row = 1;
  for (const auto& [text, held] : texts) workbook.SetText(row++, 1, text);
  workbook.SetText(row, 1, "caf\xE9 \x80");  // no UTF-8: taken as Windows-1252
  const Workbook reopened = Reopen(workbook);
  const std::string sheet = SheetOf(workbook);
  row = 1;
  for (const auto& [text, held] : texts) {
    EXPECT_EQ(reopened.Get(row++, 1), CellValue::Text(text)) << text;
    EXPECT_NE(sheet.find(held), std::string::npos) << held;
  }
  EXPECT_EQ(reopened.Get(row, 1), CellValue::Text("caf\xC3\xA9 \xE2\x82\xAC"));
}

TEST(WorkbookLimits, the_grid_and_text_length_at_their_limits_and_cells_in_order) {
  Workbook workbook = Workbook::CreateBlank();
  workbook.SetText(Workbook::kMaxRows, Workbook::kMaxColumns, "corner");
  workbook.SetNumber(3, 28, 7);
  workbook.SetText(2, 1, std::string(Workbook::kMaxTextLength, 'x'));
  std::string emoji;
  for (int i = 0; i < 16384; ++i) emoji += "\xF0\x9F\x98\x80";  // two UTF-16 units each
  EXPECT_THROW(workbook.SetText(3, 1, emoji), Error);
  EXPECT_THROW(workbook.SetText(3, 1, std::string(Workbook::kMaxTextLength + 1, 'x')), Error);
  EXPECT_TRUE(workbook.Get(3, 1).IsEmpty());
  workbook.SetText(3, 1, emoji.substr(4) + "x");
  workbook.SetNumber(3, 2, 2);
  for (auto [row, column] :
       {std::pair{0, 1}, {1, 0}, {Workbook::kMaxRows + 1, 1}, {1, Workbook::kMaxColumns + 1}}) {
    EXPECT_THROW(workbook.SetNumber(row, column, 1), Error);
    EXPECT_THROW(workbook.Get(row, column), Error);
  }
  const Workbook back = Reopen(workbook);
  EXPECT_EQ(back.Get(Workbook::kMaxRows, Workbook::kMaxColumns), CellValue::Text("corner"));
  EXPECT_EQ(back.Get(2, 1).text.size(), 32767u);
  EXPECT_EQ(back.Get(3, 28), CellValue::Number(7));
  // Rows and cells in order, as Excel requires, under a fresh dimension.
  const std::string sheet = SheetOf(workbook);
  const std::regex reference("<(row|c) r=\"(\\w+)\"");
  std::string order;
  for (std::sregex_iterator it(sheet.begin(), sheet.end(), reference), end; it != end; ++it)
    order += (*it)[2].str() + " ";
  EXPECT_EQ(order, "2 A2 3 A3 B3 AB3 1048576 XFD1048576 ");
  EXPECT_NE(sheet.find("<dimension ref=\"A2:XFD1048576\"/>"), std::string::npos);
}

}  // namespace
}  // namespace vireo
