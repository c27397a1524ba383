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
    const vireo::CheckLimitKey& key = vireo::kCheckLimitKeys[i];
    const auto value = vireo::StrictNumber(fields_[i]->text().toStdString());
    if (!value || !vireo::IsUsableLimit(key, *value)) {
      tell_(QStringLiteral("%1: \"%2\" is not %3.")
                .arg(QString::fromLatin1(key.label), fields_[i]->text(),
                     QString::fromStdString(vireo::LimitRangeText(key))));
      fields_[i]->setFocus();
      return;
    }
    values[i] = *value;
  }
  vireo::CheckLimits limits;
  std::vector<std::pair<std::string, double>> changes;
  for (std::size_t i = 0; i < vireo::kCheckLimitKeys.size(); ++i) {
    const vireo::CheckLimitKey& key = vireo::kCheckLimitKeys[i];
    limits.*(key.member) = values[i];
    if (values[i] != shown_.*(key.member)) changes.emplace_back(key.key, values[i]);
  }
  if (const std::string conflict = vireo::LimitsConflict(limits); !conflict.empty()) {
    tell_(QStringLiteral("Lowest staff reading (m), Highest staff reading (m): ") +
          QString::fromStdString(conflict) + QLatin1Char('.'));
    Field("staff_min_m")->setFocus();
    return;
  }
  try {
    if (!changes.empty()) vireo::SetCheckLimits(app_, changes);
  } catch (const std::exception& e) {
    tell_(QString::fromStdString(e.what()));
    return;
  }
  accept();
}

}  // namespace vireo::app
