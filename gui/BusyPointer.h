// The busy pointer while a window works: set on construction, restored on
// every way out, exactly one restore for the one set.
#pragma once

#include <QApplication>

namespace vireo::gui {

class BusyPointer {
 public:
  BusyPointer() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyPointer() { QApplication::restoreOverrideCursor(); }
  BusyPointer(const BusyPointer&) = delete;
  BusyPointer& operator=(const BusyPointer&) = delete;
};

}  // namespace vireo::gui
