// Long work off the window's thread: a job runs on a thread of its own while
// the window shows a progress bar and a Cancel button and stays responsive.
// Cancel is honoured at the job's next read or write of a file, or at the
// lock it takes to install its outputs: every output is written to a
// temporary file and installed by rename under that lock, so a cancelled job
// leaves every earlier output as it was. Once the lock is held the install
// (a few renames) runs to its end and the job counts as done.
#pragma once

#include <QWidget>
#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "common/FileSystem.h"

class QProgressBar;
class QPushButton;
class QTimer;

namespace vireo::gui {

// Thrown inside a job once Cancel is pressed (deliberately no std::exception,
// so that no handler of failures takes it for one).
struct JobCancelled {};

// What a job's thread and the window share.
class JobControl {
 public:
  JobControl();
  ~JobControl();
  // The real file system, stopping at the next read, write or lock once a
  // stop is requested; it counts the bytes read.
  FileSystem& Files();
  void RequestStop() { stop_ = true; }
  bool StopRequested() const { return stop_; }
  // Throws JobCancelled once a stop is requested: between the steps of work
  // that reads and writes through other means.
  void StopPoint() const;
  // The step under way and how far it is (done of total; total 0: not
  // known). Without SetProgress the bytes read count against `bytesToRead`.
  void SetStep(const std::string& step);
  void SetProgress(std::size_t done, std::size_t total);
  void SetBytesToRead(std::size_t total) { bytesToRead_ = total; }
  std::string Step() const;
  // Thousandths done; -1 when not known.
  int Permille() const;

 private:
  std::atomic<bool> stop_{false};
  std::atomic<std::size_t> bytesRead_{0}, bytesToRead_{0};
  std::atomic<std::size_t> done_{0}, total_{0};
  mutable std::mutex stepLock_;
  std::string step_;
  std::unique_ptr<FileSystem> files_;
};

// A progress bar and its Cancel button; hidden unless a job runs.
class JobBar : public QWidget {
  Q_OBJECT

 public:
  using Work = std::function<void(JobControl&)>;
  // Called on the window's thread when the work has returned (null) or
  // thrown (its exception; JobCancelled when cancelled).
  using Done = std::function<void(std::exception_ptr)>;

  explicit JobBar(QWidget* parent = nullptr);
  // Cancels a job still running and waits for its thread.
  ~JobBar() override;

  // Starts `work` on a thread of its own and shows the bar. One job at a
  // time: returns false (and starts nothing) while one runs.
  bool Start(const QString& step, Work work, Done done);
  bool Running() const { return thread_.joinable(); }
  // The Cancel button: asks the job to stop; `done` tells how it ended.
  void Cancel();
  // Cancels the running job and waits for it to end, the window's events
  // handled meanwhile; `done` has been called when it returns.
  void CancelAndWait();

 signals:
  void Finished();

 private:
  void ShowProgress();
  void Finish(std::exception_ptr failure);

  QProgressBar* bar_;
  QPushButton* cancel_;
  QTimer* poll_;
  std::shared_ptr<JobControl> control_;
  Done done_;
  std::thread thread_;
};

}  // namespace vireo::gui
