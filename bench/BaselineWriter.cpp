// The baseline: libxlsxwriter in constant_memory mode writing a sheet of the
// same shape as the report of N set-ups (header block, heading row 9, two
// rows per set-up from row 10 with 9 and 10 cells, the Ref. column as text,
// the summation row and the two closure lines).
//   vireo-bench-baseline OUT.xlsx SETUPS
#include <xlsxwriter.h>

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <random>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: vireo-bench-baseline OUT.xlsx SETUPS\n";
    return 2;
  }
  const long setups = std::atol(argv[2]);
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;
  lxw_workbook* workbook = workbook_new_opt(argv[1], &options);
  if (!workbook) {
    std::cerr << argv[1] << ": cannot create\n";
    return 1;
  }
  lxw_worksheet* sheet = workbook_add_worksheet(workbook, "Sheet1");
  lxw_format* five = workbook_add_format(workbook);
  format_set_num_format(five, "0.00000");

  const char* headings[14] = {"Ref.",        "BS1(m)",      "BS2(m)",      "FS1(m)",    "FS2(m)",
                              "Dist1(m)",    "Dist2(m)",    "Ave_Dist(m)", "Ave_BS(m)", "Ave_FS(m)",
                              "Av. Rise(+)", "Av. Fall(-)", "Cal. RL",     "Adj. RL"};
  worksheet_write_string(sheet, 0, 0, "Vireo Surveys", nullptr);
  worksheet_write_string(sheet, 1, 0, "File Name                - BENCH", nullptr);
  worksheet_write_string(sheet, 2, 0, "Survey carried out by    - Bench", nullptr);
  worksheet_write_string(sheet, 3, 0, "Leveling Error Seleceted - 8SQRT(k)", nullptr);
  for (int c = 0; c < 14; ++c) worksheet_write_string(sheet, 8, c, headings[c], nullptr);

  std::mt19937 random(7);
  std::uniform_real_distribution<double> staff(0.6, 3.2), sight(5.0, 55.0), noise(-2e-5, 2e-5);
  auto reading = [&](double v) { return std::round((v + noise(random)) * 1e5) / 1e5; };
  double level = 100.0, adjusted = 100.0, total = 0;
  lxw_row_t row = 9;  // row 10
  for (long s = 1; s <= setups; ++s, row += 2) {
    const std::string back = s == 1 ? "BM1" : "TP" + std::to_string(1000 + s - 1);
    const std::string fore = s == setups ? "BM1" : "TP" + std::to_string(1000 + s);
    const double bs = staff(random), fs = staff(random);
    const double b1 = reading(bs), b2 = reading(bs), f1 = reading(fs), f2 = reading(fs);
    const double db1 = reading(sight(random)), db2 = reading(db1), df1 = reading(sight(random)),
                 df2 = reading(df1);
    const double aveBs = (b1 + b2) / 2, aveFs = (f1 + f2) / 2, rise = aveBs - aveFs;
    total += (db1 + db2) / 2 + (df1 + df2) / 2;
    // Back-sight row: 9 cells.
    worksheet_write_string(sheet, row, 0, back.c_str(), nullptr);
    worksheet_write_number(sheet, row, 1, b1, nullptr);
    worksheet_write_number(sheet, row, 2, b2, nullptr);
    worksheet_write_number(sheet, row, 5, db1, nullptr);
    worksheet_write_number(sheet, row, 6, db2, nullptr);
    worksheet_write_number(sheet, row, 7, (db1 + db2) / 2, nullptr);
    worksheet_write_number(sheet, row, 8, aveBs, nullptr);
    worksheet_write_number(sheet, row, 12, level, five);
    worksheet_write_number(sheet, row, 13, adjusted, nullptr);
    // Fore-sight row: 10 cells.
    worksheet_write_string(sheet, row + 1, 0, fore.c_str(), nullptr);
    worksheet_write_number(sheet, row + 1, 3, f1, nullptr);
    worksheet_write_number(sheet, row + 1, 4, f2, nullptr);
    worksheet_write_number(sheet, row + 1, 5, df1, nullptr);
    worksheet_write_number(sheet, row + 1, 6, df2, nullptr);
    worksheet_write_number(sheet, row + 1, 7, (df1 + df2) / 2, nullptr);
    worksheet_write_number(sheet, row + 1, 9, aveFs, nullptr);
    if (rise > 0)
      worksheet_write_number(sheet, row + 1, 10, rise, five);
    else
      worksheet_write_number(sheet, row + 1, 11, -rise, nullptr);
    level += rise;
    adjusted = level + 1e-7 * static_cast<double>(s);
    worksheet_write_number(sheet, row + 1, 12, level, nullptr);
    worksheet_write_number(sheet, row + 1, 13, adjusted, nullptr);
  }
  worksheet_write_number(sheet, row, 10, 123.45678, nullptr);
  worksheet_write_number(sheet, row, 11, 123.45679, nullptr);
  worksheet_write_number(sheet, row, 7, total, nullptr);
  worksheet_write_string(sheet, row, 4, "Summation of Readings", nullptr);
  worksheet_write_string(sheet, row + 3, 4, "The Calculated Misclose is 0.01 mm", nullptr);
  worksheet_write_string(sheet, row + 4, 4, "The Permissible Error is     1.00 mm", nullptr);
  if (workbook_close(workbook) != LXW_NO_ERROR) {
    std::cerr << argv[1] << ": cannot write\n";
    return 1;
  }
  return 0;
}
