// "Check Settings": the limits of the double run's checks, one field per
// limit, read from checks.ini when the dialog opens and written there by OK
// (a limit of 0 switches its check off).
#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <functional>

#include "checks/CheckLimits.h"
#include "common/AppFolder.h"

class QLineEdit;

namespace vireo::app {

class CheckSettingsDialog : public QDialog {
  Q_OBJECT

 public:
  // Tells the surveyor of a refused value or a failed save.
  using MessageSink = std::function<void(const QString& text)>;

  CheckSettingsDialog(vireo::AppFolder app, MessageSink tell, QWidget* parent = nullptr);

  // The field of a limit, by its key (e.g. "sight_length_m").
  QLineEdit* Field(const char* key) const;
  // OK: every field must hold a number in its limit's range, and the lowest
  // staff reading lie below the highest; the changed limits are written in
  // one rewrite and the dialog closes. Otherwise it names the field, says
  // why and stays open.
  void Ok();

 private:
  vireo::AppFolder app_;
  MessageSink tell_;
  vireo::CheckLimits shown_;
  std::array<QLineEdit*, vireo::kCheckLimitKeys.size()> fields_{};
};

}  // namespace vireo::app
