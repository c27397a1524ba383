#include "rlinput/InputOption.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <exception>
#include <new>

#include "common/Text.h"
#include "gui/Geometry.h"

namespace vireo::rlinput {

using namespace vireo::gui;
using gui::JobCancelled;
using gui::JobControl;
namespace {

const QString kMsSansSerif = QStringLiteral("MS Sans Serif");

template <typename W, typename... Args>
W* Make(QWidget* parent, const char* name, Args&&... args) {
  W* widget = new W(std::forward<Args>(args)..., parent);
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, int left, int top,
                  int width, int height) {
  QLabel* label = Make<QLabel>(parent, name, caption);
  label->setFont(ClassicFont(kMsSansSerif, Face::SansSerif, 12, true));
  PlaceInTwips(label, left, top, width, height);
  if (!caption.isEmpty()) ShrinkToFit(label);
  return label;
}

QLineEdit* MakeTextBox(QWidget* parent, const char* name) {
  QLineEdit* edit = Make<QLineEdit>(parent, name);
  edit->setFont(ClassicFont(kMsSansSerif, Face::SansSerif, 9.75, false));
  return edit;
}

QGroupBox* MakeFrame(QWidget* parent, const char* name, const QString& caption) {
  QGroupBox* frame = Make<QGroupBox>(parent, name, caption);
  frame->setFont(ClassicFont(kMsSansSerif, Face::SansSerif, 9.75, true));
  return frame;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption) {
  QPushButton* button = Make<QPushButton>(parent, name, caption);
  // Enter presses the focused button, else OK (the default); Escape cancels.
  button->setAutoDefault(true);
  return button;
}

}  // namespace

InputOption::InputOption(vireo::AppFolder app, MessageSink tell, QWidget* parent)
    : QDialog(parent), app_(std::move(app)), tell_(std::move(tell)) {
  setObjectName(QStringLiteral("InputOption"));
  setWindowTitle(QStringLiteral("Input RL"));
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(Px(3540), Px(5820));

  command1_ = MakeButton(this, "Command1", QStringLiteral("OK"));
  command1_->setDefault(true);
  PlaceInTwips(command1_, 1200, 5280, 975, 375);
  command2_ = MakeButton(this, "Command2", QStringLiteral("Cancel"));
  PlaceInTwips(command2_, 2280, 5280, 975, 375);

  frame1_ = MakeFrame(this, "Frame1", QString());
  PlaceInTwips(frame1_, 240, 120, 3015, 1455);
  option1_ = Make<QRadioButton>(frame1_, "Option1");
  option1_->setFont(QApplication::font());
  PlaceInTwips(option1_, 240, 360, 255, 255);
  option2_ = Make<QRadioButton>(frame1_, "Option2");
  option2_->setFont(QApplication::font());
  PlaceInTwips(option2_, 240, 840, 255, 255);
  // Alt+C and Alt+O reach the loop type (Space chooses it); a click on the
  // words does not change it.
  MakeLabel(frame1_, "Label1", QStringLiteral("&Close Loop"), 960, 360, 1695, 375)
      ->setBuddy(option1_);
  MakeLabel(frame1_, "Label2", QStringLiteral("&Open Loop"), 960, 840, 1695, 375)
      ->setBuddy(option2_);

  frame2_ = MakeFrame(this, "Frame2", QStringLiteral("Input Start RL"));
  PlaceInTwips(frame2_, 240, 1680, 3015, 1695);
  MakeLabel(frame2_, "Label3", QStringLiteral("Reference :"), 240, 480, 1455, 375);
  label4_ = MakeLabel(frame2_, "Label4", QString(), 1800, 480, 975, 375);
  QLabel* label5 = MakeLabel(frame2_, "Label5", QStringLiteral("&RL :"), 240, 960, 615, 375);
  text1_ = MakeTextBox(frame2_, "Text1");
  label5->setBuddy(text1_);
  PlaceInTwips(text1_, 1080, 960, 1575, 375);

  frame3_ = MakeFrame(this, "Frame3", QStringLiteral("Input End RL"));
  PlaceInTwips(frame3_, 240, 3480, 3015, 1695);
  text2_ = MakeTextBox(frame3_, "Text2");
  PlaceInTwips(text2_, 1080, 960, 1575, 375);
  label6_ = MakeLabel(frame3_, "Label6", QStringLiteral("R&L :"), 240, 960, 615, 375);
  label6_->setBuddy(text2_);
  label7_ = MakeLabel(frame3_, "Label7", QString(), 1800, 480, 975, 375);
  label8_ = MakeLabel(frame3_, "Label8", QStringLiteral("Reference :"), 240, 480, 1455, 375);

  job_ = new JobBar(this);
  PlaceInTwips(job_, 240, 5280, 3015, 375);

  // As the dialog reads: the loop type, the levels, then OK and Cancel.
  setTabOrder(option1_, option2_);
  setTabOrder(option2_, text1_);
  setTabOrder(text1_, text2_);
  setTabOrder(text2_, command1_);
  setTabOrder(command1_, command2_);

  option1_->setChecked(true);
  SetLoop(vireo::LoopType::CloseLoop);
  command1_->setFocus(Qt::OtherFocusReason);

  connect(option1_, &QRadioButton::toggled, this, [this](bool on) {
    if (on) SetLoop(vireo::LoopType::CloseLoop);
  });
  connect(option2_, &QRadioButton::toggled, this, [this](bool on) {
    if (on) SetLoop(vireo::LoopType::OpenLoop);
  });
  connect(command1_, &QPushButton::clicked, this, &InputOption::Ok);
  connect(command2_, &QPushButton::clicked, this, &QWidget::close);
}

void InputOption::Fill(const vireo::RunSummary& summary) {
  summary_ = summary;
  // The workbook OK adjusts, named where the dialog has room, whole in its tip.
  const QString workbook = QString::fromStdString(summary.workbookPath);
  frame1_->setTitle(
      ElidedMiddle(QFileInfo(workbook).fileName(), frame1_->font(), frame1_->width() - Px(240)));
  frame1_->setToolTip(QStringLiteral("Adjusts ") + workbook);
  label4_->setText(QString::fromStdString(summary.startReference));
  label7_->setText(QString::fromStdString(summary.endReference));
  text1_->setText(QString::fromStdString(summary.startRl));
  text2_->setText(QString::fromStdString(vireo::DecimalText(summary.endRl)));
}

std::string InputOption::StartRlText() const {
  return text1_->text().toStdString();
}

std::string InputOption::EndRlText() const {
  return text2_->text().toStdString();
}

vireo::LoopType InputOption::Loop() const {
  return option2_->isChecked() ? vireo::LoopType::OpenLoop : vireo::LoopType::CloseLoop;
}

void InputOption::SetLoop(vireo::LoopType loop) {
  // Close Loop greys the end-RL frame; Text2 keeps its text either way.
  const bool open = loop == vireo::LoopType::OpenLoop;
  frame3_->setEnabled(open);
  label6_->setEnabled(open);
  label7_->setEnabled(open);
  label8_->setEnabled(open);
  text2_->setEnabled(open);
}

void InputOption::Ok() {
  if (job_->Running()) return;
  // Levels that cannot be used are refused at once, the dialog as it is.
  if (auto refusal = vireo::RefuseKeyedLevels(Loop(), StartRlText(), EndRlText())) {
    vireo::AdjustmentResult refused;
    refused.message = *refusal;
    return Finish(refused);
  }
  auto result = std::make_shared<vireo::AdjustmentResult>();
  const auto bytes = static_cast<std::size_t>(
      std::max<qint64>(0, QFileInfo(QString::fromStdString(summary_.workbookPath)).size()));
  ShowAdjusting(true);
  job_->Start(
      QStringLiteral("Adjusting"),
      [result, bytes, summary = summary_, loop = Loop(), start = StartRlText(), end = EndRlText(),
       app = app_](JobControl& job) {
        job.SetBytesToRead(bytes);
        *result = vireo::AdjustReducedLevels(summary, loop, start, end, app, job.Files());
      },
      [this, result](std::exception_ptr failure) {
        ShowAdjusting(false);
        try {
          if (failure) std::rethrow_exception(failure);
        } catch (const JobCancelled&) {
          // The workbook is as it was; the dialog waits for another OK.
          command1_->setFocus(Qt::OtherFocusReason);
          return;
        } catch (const std::bad_alloc&) {
          result->status = vireo::AdjustmentResult::Status::Refused;
          result->message = "There was not enough memory to adjust the workbook; it is as it was.";
        } catch (const std::exception& e) {
          result->status = vireo::AdjustmentResult::Status::Refused;
          result->message = e.what();
        }
        Finish(*result);
      });
}

void InputOption::ShowAdjusting(bool adjusting) {
  command1_->setVisible(!adjusting);
  command2_->setVisible(!adjusting);
  for (QWidget* part : {static_cast<QWidget*>(frame1_), static_cast<QWidget*>(frame2_)})
    part->setEnabled(!adjusting);
  if (adjusting)
    frame3_->setEnabled(false);
  else
    SetLoop(Loop());
}

void InputOption::reject() {
  if (job_->Running())
    job_->Cancel();
  else
    QDialog::reject();
}

void InputOption::closeEvent(QCloseEvent* event) {
  if (!job_->Running()) return QDialog::closeEvent(event);
  job_->Cancel();
  event->ignore();
}

void InputOption::Finish(const vireo::AdjustmentResult& result) {
  lastAdjustment_ = result;
  const QString message = QString::fromStdString(result.message);
  switch (result.status) {
    case vireo::AdjustmentResult::Status::Adjusted:
      emit Saved(QString::fromStdString(summary_.workbookPath));
      close();
      break;
    case vireo::AdjustmentResult::Status::Refused:
      // The surveyor can correct the keyed levels and press OK again: the
      // focus goes back to the level refused (the end RL when the start RL
      // alone would do).
      if (tell_) tell_(windowTitle(), message, false);
      {
        QLineEdit* field =
            Loop() == vireo::LoopType::OpenLoop &&
                    !vireo::RefuseKeyedLevels(vireo::LoopType::CloseLoop, StartRlText(), "")
                ? text2_
                : text1_;
        activateWindow();
        field->setFocus(Qt::OtherFocusReason);
        field->selectAll();
      }
      break;
    case vireo::AdjustmentResult::Status::SaveFailed:
    case vireo::AdjustmentResult::Status::Blocked:
      // The dialog's figures no longer belong to a workbook it could adjust.
      if (tell_) tell_(windowTitle(), message, true);
      close();
      break;
  }
}

}  // namespace vireo::rlinput
