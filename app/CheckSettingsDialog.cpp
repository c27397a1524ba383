#include "app/CheckSettingsDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <exception>
#include <optional>
#include <vector>

#include "common/Text.h"

namespace vireo::app {

CheckSettingsDialog::CheckSettingsDialog(vireo::AppFolder app, MessageSink tell, QWidget* parent)
    : QDialog(parent), app_(std::move(app)), tell_(std::move(tell)) {
  setObjectName(QStringLiteral("CheckSettings"));
  setWindowTitle(QStringLiteral("Check Settings"));
  auto* form = new QFormLayout(this);
  form->addRow(new QLabel(QStringLiteral("Limits of the checks (0 switches a check off):")));
  vireo::Warnings warnings;
  try {
    shown_ = vireo::ReadCheckLimits(app_, warnings);
  } catch (const std::exception& e) {
    tell_(QString::fromStdString(e.what()) + QStringLiteral("\nThe defaults are shown."));
  }
  for (const vireo::RunWarning& w : warnings) tell_(QString::fromStdString(w.message));
  for (std::size_t i = 0; i < vireo::kCheckLimitKeys.size(); ++i) {
    const vireo::CheckLimitKey& key = vireo::kCheckLimitKeys[i];
    fields_[i] = new QLineEdit(QString::fromStdString(vireo::DecimalText(shown_.*(key.member))));
    fields_[i]->setObjectName(QString::fromLatin1(key.key));
    form->addRow(QString::fromLatin1(key.label), fields_[i]);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("OK"));
  buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("Cancel"));
  form->addRow(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &CheckSettingsDialog::Ok);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QLineEdit* CheckSettingsDialog::Field(const char* key) const {
  for (std::size_t i = 0; i < vireo::kCheckLimitKeys.size(); ++i)
    if (std::string_view(vireo::kCheckLimitKeys[i].key) == key) return fields_[i];
  return nullptr;
}

void CheckSettingsDialog::Ok() {
  // Every field is checked before any is written.
  std::array<double, vireo::kCheckLimitKeys.size()> values{};
  for (std::size_t i = 0; i < vireo::kCheckLimitKeys.size(); ++i) {
    const auto value = vireo::StrictNumber(fields_[i]->text().toStdString());
    if (!value || !vireo::IsUsableLimit(*value)) {
      tell_(QStringLiteral("%1: \"%2\" is not a number of 0 or more.")
                .arg(QString::fromLatin1(vireo::kCheckLimitKeys[i].label), fields_[i]->text()));
      fields_[i]->setFocus();
      return;
    }
    values[i] = *value;
  }
  try {
    for (std::size_t i = 0; i < vireo::kCheckLimitKeys.size(); ++i) {
      const vireo::CheckLimitKey& key = vireo::kCheckLimitKeys[i];
      if (values[i] != shown_.*(key.member)) vireo::SetCheckLimit(app_, key.key, values[i]);
    }
  } catch (const std::exception& e) {
    tell_(QString::fromStdString(e.what()));
    return;
  }
  accept();
}

}  // namespace vireo::app
