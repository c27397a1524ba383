// The report template the program ships as Existing.xlsx: one sheet
// "Report" laid out for the levelling report and ready to print (A4
// landscape, one page wide, the heading row on every page, file name and
// page numbers in the footer), with column widths, number formats, a bold
// header block and heading row with a rule under it, but no cell values.
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

// The first heading row of the report; its cells carry the headings' look.
inline constexpr int kReportHeadingRow = 9;

// The package bytes of the default template.
std::string DefaultTemplateBytes();
// The default template, opened.
Workbook MakeDefaultTemplate();

}  // namespace vireo
