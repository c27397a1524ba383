// The processing run checked against a second, deliberately plain reading
// of the reduction rules on many simulated field files: every cell of the
// report and every byte of the level data file must agree.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <variant>

#include "common/Text.h"
#include "examples/FieldFileWriter.h"
#include "output/LevelDataFile.h"
#include "output/Workbook.h"
#include "report/ProcessField.h"
#include "tests/support/FieldFiles.h"

using namespace vireo;
using namespace vireo::testing;

namespace {

using Cell = std::variant<std::monostate, double, std::string>;

// The reference: the rules followed step by step, cells kept as the rules
// name them (five-decimal values as text), no shared code with the run
// beyond the number reader and the "0.00000" pattern.
struct Reference {
  std::map<std::pair<int, int>, Cell> cells;
  std::string level;

  double Val(int r, int c) const {
    auto it = cells.find({r, c});
    if (it == cells.end()) return 0;
    if (auto d = std::get_if<double>(&it->second)) return *d;
    if (auto s = std::get_if<std::string>(&it->second)) return NumberFromText(*s);
    return 0;
  }

  void Run(const std::string& file, const std::string& factor) {
    static const char* headings[] = {"Ref.",      "BS1(m)",    "BS2(m)",      "FS1(m)",
                                     "FS2(m)",    "Dist1(m)",  "Dist2(m)",    "Ave_Dist(m)",
                                     "Ave_BS(m)", "Ave_FS(m)", "Av. Rise(+)", "Av. Fall(-)",
                                     "Cal. RL",   "Adj. RL"};
    int currentRow = 4, firstDataRow = 0;
    std::string startRl, firstStation, backStation, foreStation;
    double aveBs = 0, aveFs = 0, sumRise = 0, sumFall = 0, total = 0;
    bool rose = false, fell = false;
    struct Slot {
      std::string code, id, dist;
      double reading = 0;
    } slot[5];
    int n = 0;
    std::size_t pos = 0;
    while (pos < file.size()) {
      std::size_t end = file.find_first_of("\r\n", pos);
      if (end == std::string::npos) end = file.size();
      std::string line = file.substr(pos, end - pos);
      pos = end + (file.compare(end, 2, "\r\n") == 0 ? 2 : 1);
      auto field = [&](std::size_t a, std::size_t b) {
        return a > line.size() ? std::string() : line.substr(a - 1, b - a + 1);
      };
      auto trim = [](std::string s) { return std::string(TrimBlanks(s)); };
      if (trim(field(22, 31)) == "Start-Line") {
        firstDataRow = currentRow + 5;
        for (int c = 1; c <= 14; ++c) cells[{firstDataRow, c}] = std::string(headings[c - 1]);
        firstDataRow += 1;
        currentRow = firstDataRow;
      }
      if (field(18, 20) == "KD1" && field(96, 96) == "Z") startRl = trim(field(97, 112));
      if (field(18, 20) == "KD1" && field(30, 34) != "#####" &&
          (field(50, 51) == "Rb" || field(50, 51) == "Rf")) {
        ++n;
        slot[n] = {field(50, 51), trim(field(21, 29)), trim(field(75, 89)),
                   std::stod(trim(field(52, 66)))};
        if (n < 4) continue;
        n = 0;
        const int r = currentRow;
        int k = 0;
        if (slot[1].code == "Rb") {
          cells[{r, 1}] = slot[1].id;
          cells[{r, 2}] = slot[1].reading;
          cells[{r, 6}] = NumberFromText(slot[1].dist);
          for (int j = 2; j <= 4 && !k; ++j)
            if (slot[j].id == slot[1].id) k = j;
          if (k) {
            if (firstStation.empty()) firstStation = slot[1].id;
            backStation = slot[1].id;
            cells[{r, 3}] = slot[k].reading;
            cells[{r, 7}] = NumberFromText(slot[k].dist);
            cells[{r, 9}] = aveBs = (slot[1].reading + slot[k].reading) / 2;
            cells[{r, 8}] = (NumberFromText(slot[1].dist) + NumberFromText(slot[k].dist)) / 2;
          }
        }
        if (slot[2].code != "Rf") continue;
        cells[{r + 1, 1}] = slot[2].id;
        cells[{r + 1, 4}] = slot[2].reading;
        cells[{r + 1, 6}] = NumberFromText(slot[2].dist);
        k = 0;
        for (int j = 3; j <= 4 && !k; ++j)
          if (slot[j].id == slot[2].id) k = j;
        if (!k) continue;
        foreStation = slot[2].id;
        cells[{r + 1, 5}] = slot[k].reading;
        cells[{r + 1, 7}] = NumberFromText(slot[k].dist);
        cells[{r + 1, 10}] = aveFs = (slot[2].reading + slot[k].reading) / 2;
        cells[{r + 1, 8}] = (NumberFromText(slot[2].dist) + NumberFromText(slot[k].dist)) / 2;
        const std::string riseFall = FormatFixed(Val(r, 9) - Val(r + 1, 10), 5);
        // Elevation difference record.
        std::string pair = backStation + "-" + foreStation;
        std::string pad(pair.size() < 12 ? 12 - pair.size() : 0, ' ');
        if (aveBs - aveFs > 0) pad += " ";
        double d = std::floor(NumberFromText(slot[1].dist) + NumberFromText(slot[2].dist));
        std::string dist = std::to_string(static_cast<long long>(d));
        level += "L  " + pair + std::string(23, ' ') + pad + FormatFixed(aveBs - aveFs, 5) + " " +
                 std::string(dist.size() < 4 ? 4 - dist.size() : 0, ' ') + dist + "   '" +
                 firstStation + "\r\n";
        if (NumberFromText(riseFall) > 0) {
          cells[{r + 1, 11}] = riseFall;
          sumRise += NumberFromText(riseFall), rose = true;
        }
        if (NumberFromText(riseFall) < 0) {
          cells[{r + 1, 12}] = std::fabs(NumberFromText(riseFall));
          sumFall += std::fabs(NumberFromText(riseFall)), fell = true;
        }
        const bool heading = cells.count({r - 1, 13}) && cells.at({r - 1, 13}) == Cell("Cal. RL");
        cells[{r, 13}] = FormatFixed(heading ? NumberFromText(startRl) : Val(r - 1, 13), 5);
        cells[{r + 1, 13}] = Val(r, 13) + NumberFromText(riseFall);
        total += Val(r, 8);
        total += Val(r + 1, 8);
        currentRow += 2;
      }
    }
    // Closure summary.
    const int s = currentRow;
    if (rose) cells[{s, 11}] = sumRise;
    if (fell) cells[{s, 12}] = sumFall;
    cells[{s, 8}] = total;
    cells[{s, 5}] = std::string("Summation of Readings");
    int adj = firstDataRow;
    cells[{adj, 14}] = Val(firstDataRow, 13);
    const double misclose = sumFall - sumRise;
    cells[{adj + 1, 14}] = Val(adj, 14) + (Val(adj, 8) + Val(adj + 1, 8)) / total * misclose +
                           Val(adj + 1, 11) - Val(adj + 1, 12);
    double cum = Val(adj, 8) + Val(adj + 1, 8);
    adj += 2;
    while (Val(adj, 6) != 0) {
      cells[{adj, 14}] = Val(adj - 1, 14);
      cum = cum + Val(adj, 8) + Val(adj + 1, 8);
      cells[{adj + 1, 14}] = Val(adj + 1, 13) + cum / total * misclose;
      adj += 2;
    }
    cells[{adj + 3, 5}] = "The Calculated Misclose is " + FormatFixed(misclose * 1000, 2) + " mm";
    cells[{adj + 4, 5}] = "The Permissible Error is     " +
                          FormatFixed(NumberFromText(factor) * std::sqrt(total / 1000), 2) + " mm";
  }
};

}  // namespace

TEST(ReferenceModel, agrees_cell_by_cell_and_byte_by_byte_on_simulated_files) {
  long cellsCompared = 0;
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    // A loop needs two set-ups.
    const std::string file =
        examples::SimulateFieldFile({.seed = seed,
                                     .lines = 1 + static_cast<int>(seed % 3),
                                     .setupsPerLine = 2 + static_cast<int>(seed * 7 % 23),
                                     .method = seed % 2 ? "BFFB" : "BFBF",
                                     .startHeight = 10.0 + seed * 13.37,
                                     .closedLoop = seed % 4 != 0,
                                     .lineEnd = seed % 3 ? "\r\n" : "\n"});

    AppFixture fixture(seed % 5 ? "E4\r\n" : "E10\r\n");
    const ProcessResult result = fixture.Process("SIM.dat", file);
    ASSERT_TRUE(result.warnings.empty()) << "seed " << seed << ": " << result.warnings[0].message;
    const Workbook workbook = Workbook::Open(result.workbookPath);
    Reference reference;
    reference.Run(file, seed % 5 ? "4" : "10");

    EXPECT_EQ(ReadFile(result.levelDataPath), LevelDataHeader() + reference.level)
        << "seed " << seed;
    const int lastRow = workbook.LastRow();
    ASSERT_EQ(lastRow, reference.cells.rbegin()->first.first) << "seed " << seed;
    for (int row = 5; row <= lastRow; ++row) {
      for (int column = 1; column <= 14; ++column, ++cellsCompared) {
        const CellValue got = workbook.Get(row, column);
        CellValue expected;
        auto it = reference.cells.find({row, column});
        if (it == reference.cells.end()) {
        } else if (auto d = std::get_if<double>(&it->second)) {
          expected = CellValue::Number(*d);
        } else if (auto text = std::get_if<std::string>(&it->second)) {
          // Five-decimal values are stored as the numbers they show.
          expected = (column == 11 || column == 13) && got.kind == CellValue::Kind::Number
                         ? CellValue::Number(NumberFromText(*text))
                         : CellValue::Text(*text);
        }
        EXPECT_EQ(got, expected) << "seed " << seed << " row " << row << " column " << column;
      }
    }
  }
  std::printf("compared 40 files, %ld cells\n", cellsCompared);
}
