// The report template the program ships as Existing.xlsx: one sheet laid
// out for the levelling report, with column widths, a bold heading row and
// the "0.00000" number format ready, but no cell values.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "output/Workbook.h"

namespace vireo {

// The headings of the report columns A..N.
inline constexpr std::array<std::string_view, 14> kReportColumnHeadings = {
    "Ref.",        "BS1(m)",    "BS2(m)",    "FS1(m)",      "FS2(m)",      "Dist1(m)", "Dist2(m)",
    "Ave_Dist(m)", "Ave_BS(m)", "Ave_FS(m)", "Av. Rise(+)", "Av. Fall(-)", "Cal. RL",  "Adj. RL"};

// The first heading row of the report; it carries the bold row style.
inline constexpr int kReportHeadingRow = 9;

// The package bytes of the default template.
std::string DefaultTemplateBytes();
// The default template, opened.
Workbook MakeDefaultTemplate();

}  // namespace vireo
