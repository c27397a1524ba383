// "1 warning", "3 warnings": a count with its noun, for the windows' texts.
#pragma once

#include <QString>

namespace vireo::gui {

inline QString Plural(qsizetype count, const char* one, const char* many) {
  return QString::number(count) + QLatin1Char(' ') + QLatin1String(count == 1 ? one : many);
}

}  // namespace vireo::gui
