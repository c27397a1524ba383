// The RL input dialog "Input RL": after a run answered Yes it shows the start
// and end references, takes the start RL (and for an open loop the end RL),
// and its OK hands them to AdjustReducedLevels. It holds no adjustment logic.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>

#include "common/AppFolder.h"
#include "gui/Job.h"
#include "report/ProcessField.h"
#include "rlinput/Adjustment.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vireo::rlinput {

class InputOption : public QDialog {
  Q_OBJECT

 public:
  // Shows a message to the surveyor (title, text, whether it reports a
  // failure): the adjustment's refusal or its failed save.
  using MessageSink = std::function<void(const QString&, const QString&, bool)>;

  // A dialog in its load state: Close Loop, the end-RL frame disabled, the
  // focus on OK. OK is the default button (Enter), Escape cancels. It deletes itself when it is
  // closed (unloaded).
  InputOption(vireo::AppFolder app, MessageSink tell, QWidget* parent = nullptr);

  // Shows the run's references and levels (start reference, end reference,
  // start RL, computed end RL) and keeps the rest of its summary for OK;
  // the loop type stays.
  void Fill(const vireo::RunSummary& summary);

  // The run's summary as OK hands it on, and the keyed levels as they stand.
  const vireo::RunSummary& Summary() const { return summary_; }
  std::string StartRlText() const;
  std::string EndRlText() const;
  vireo::LoopType Loop() const;
  // What the last OK did: its misclose, permissible error, booking check.
  const vireo::AdjustmentResult& LastAdjustment() const { return lastAdjustment_; }
  // The OK's adjustment works off the window's thread, a progress bar and
  // Cancel in place of OK and Cancel; Escape or closing the dialog cancels
  // it, and the dialog stays with the levels keyed.
  bool Adjusting() const { return job_->Running(); }
  gui::JobBar* AdjustmentProgress() const { return job_; }
  // Cancels a running adjustment and waits for it to end.
  void CancelAdjustment() { job_->CancelAndWait(); }

 protected:
  void reject() override;
  void closeEvent(QCloseEvent* event) override;

 signals:
  // The OK has adjusted and saved the processed workbook at this path.
  void Saved(const QString& workbookPath);

 private:
  void Ok();
  // How the OK's adjustment ended: told, and the dialog closed or kept.
  void Finish(const vireo::AdjustmentResult& result);
  void ShowAdjusting(bool adjusting);
  void SetLoop(vireo::LoopType loop);

  vireo::AppFolder app_;
  MessageSink tell_;
  vireo::RunSummary summary_;
  vireo::AdjustmentResult lastAdjustment_;

  QPushButton* command1_;
  QPushButton* command2_;
  QGroupBox* frame1_;
  QRadioButton* option1_;
  QRadioButton* option2_;
  QGroupBox* frame2_;
  QLabel* label4_;
  QLineEdit* text1_;
  QGroupBox* frame3_;
  QLineEdit* text2_;
  QLabel* label6_;
  QLabel* label7_;
  QLabel* label8_;
  gui::JobBar* job_;
};

}  // namespace vireo::rlinput
