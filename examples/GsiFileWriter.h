// Writes a simulated DiNi M5 job (SimulateFieldFile) again as the Leica GSI
// file a DNA03 would have written for the same observations: per line of
// levelling a line start block (word 41, method 2 BFFB or 4 aBFFB), the
// start height block (11, 83), one block per reading (11, 32 distance,
// 331 B1 / 332 F1 / 336 F2 / 335 B2, 390 and 391), after each set-up the
// result block (11, 571-574, 83 the height of the fore point) and at the
// line's end two closing blocks. A single-run line (method 1 BF, 3 aBF)
// is written as an LS level writes it: one block per reading (331 back,
// 333 intermediate sight with its height block, 332 fore) and after each
// set-up a block with 573, 574 and the fore point's height. Readings, distances and heights are
// written in unit 8 (0.01 mm). Used for the bundled GSI sample and the
// tests that compare both formats.
#pragma once

#include <string>
#include <string_view>

namespace vireo::examples {

enum class GsiWidth { Gsi8, Gsi16 };

// Throws std::invalid_argument when the DiNi text holds a value with more
// than five decimals, a set-up with more than two back or two fore
// readings, or (GSI-8) a point id longer than 8 characters.
std::string GsiFromDini(std::string_view dini, GsiWidth width, const std::string& lineEnd = "\n");

}  // namespace vireo::examples
