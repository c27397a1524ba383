// Building a new workbook package from scratch.
#pragma once

#include <string>
#include <string_view>

namespace vireo::xlsx {

// A package with one worksheet "Sheet1". `sheetBody` is what stands in the
// worksheet between <sheetFormatPr> and <pageMargins>: <cols> (optional) and
// <sheetData>.
std::string BuildWorkbookPackage(std::string_view sheetBody, std::string_view stylesXml);

}  // namespace vireo::xlsx
