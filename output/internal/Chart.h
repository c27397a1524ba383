// Chart parts: the charts the workbook adds (chart and drawing XML), and the
// cached values of every chart in a package brought up to date with the
// cells they name. Spreadsheets draw a chart from its cells, but other
// readers show the cached values, so they must never go stale.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "output/SheetLayout.h"
#include "output/internal/Sheet.h"

namespace vireo::xlsx {

using Sink = std::function<void(std::string_view)>;

// A reference to cells of one sheet, such as 'Line 2'!$B$2:$B$14.
struct AreaRef {
  std::string sheet;
  int firstRow = 0, firstColumn = 0, lastRow = 0, lastColumn = 0;
};
// Null unless `formula` is a single area (or cell) of a named sheet.
std::optional<AreaRef> ParseAreaRef(std::string_view formula);
// The reference as a formula, absolute ($B$2), the sheet name quoted when
// it needs it.
std::string AreaFormula(const AreaRef& area);
// "Profile!$9:$9": whole rows, for print titles.
std::string RowsFormula(std::string_view sheet, int firstRow, int lastRow);

// The chart part of `chart`, whose data stand on sheet `sheet` (`store`).
void WriteChart(const ScatterChart& chart, const std::string& sheet, const SheetStore& store,
                const Sink& out);
// The drawing part of one sheet's charts; chart i is relationship rId<i+1>.
std::string DrawingXml(const std::vector<ScatterChart>& charts);

// The cells of the sheet of this name when its charts' caches are to be
// refreshed from them, else null.
using CacheSource = std::function<const SheetStore*(std::string_view sheet)>;

// Copies a chart part from `feed` to `out` with every cache of a reference
// that `source` resolves rewritten from the cells. Returns whether any
// cached value differed; if none did, the part need not be written again.
// Throws Error(file, ...) naming `part` for broken XML.
bool RefreshChartCaches(const std::function<void(const Sink&)>& feed, const CacheSource& source,
                        const std::string& file, const std::string& part, const Sink& out);

}  // namespace vireo::xlsx
