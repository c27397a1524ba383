// Fuzzes the workbook reader on arbitrary bytes. What it opens must take
// writes, save, and reopen with the same cells. Every other sheet is read
// and written too, so the charts that show it are refreshed.
#include <algorithm>
#include <cstdint>
#include <string>

#include "common/Error.h"
#include "output/Workbook.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  try {
    vireo::Workbook w = vireo::Workbook::OpenFromBytes(bytes, "fuzz.xlsx");
    const int rows = std::min(w.LastRow(), 40);
    for (int r = 1; r <= rows; ++r)
      for (int c = 1; c <= 16; ++c) w.Get(r, c);
    w.SetText(1, 1, "Ref.\x01<&>\r\n");
    w.SetNumber(2, 2, 1.0 / 3, "0.00000");
    w.SetNumber(rows + 3, 14, -0.0);
    w.Clear(2, 3);
    for (const std::string& name : w.SheetNames()) {
      try {
        w.Sheet(name).SetNumber(2, 2, 2.5);
      } catch (const vireo::Error&) {
      }
    }
    const std::string saved = w.SaveToBytes();
    vireo::Workbook again = vireo::Workbook::OpenFromBytes(saved, "saved.xlsx");
    for (int r = 1; r <= rows + 3; ++r)
      for (int c = 1; c <= 16; ++c)
        if (!(again.Get(r, c) == w.Get(r, c))) __builtin_trap();
  } catch (const vireo::Error&) {
  }
  return 0;
}
