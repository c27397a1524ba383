#include "gui/Job.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace vireo::gui {
namespace {

// The real file system, stopping a job at its next read, write or lock once
// Cancel is pressed. Renames and removals always pass: they are the install
// and the clean-up, which must run to their end.
class StoppableFiles : public FileSystem {
 public:
  StoppableFiles(const std::atomic<bool>& stop, std::atomic<std::size_t>& bytesRead)
      : stop_(stop), bytesRead_(bytesRead) {}

  std::unique_ptr<InputStream> OpenForReading(const std::string& path) override {
    Check();
    return std::make_unique<In>(*this, real_.OpenForReading(path));
  }
  std::unique_ptr<OutputStream> Create(const std::string& path) override {
    Check();
    return std::make_unique<Out>(*this, real_.Create(path));
  }
  std::unique_ptr<OutputStream> CreateNew(const std::string& path) override {
    Check();
    std::unique_ptr<OutputStream> made = real_.CreateNew(path);
    return made ? std::make_unique<Out>(*this, std::move(made)) : nullptr;
  }
  std::unique_ptr<FileLock> Lock(const std::string& path) override {
    Check();
    return real_.Lock(path);
  }
  // The stop and the count are atomic: readers on several threads share them.
  bool ReadsFromManyThreads() const override { return true; }
  void Rename(const std::string& from, const std::string& to) override { real_.Rename(from, to); }
  void Remove(const std::string& path) override { real_.Remove(path); }
  void CreateFolder(const std::string& path) override { real_.CreateFolder(path); }
  bool Exists(const std::string& path) override { return real_.Exists(path); }
  bool IsReadOnly(const std::string& path) override { return real_.IsReadOnly(path); }
  std::string NotAFile(const std::string& path) override { return real_.NotAFile(path); }
  void RemoveStaleTemporaries(const std::string& target) override {
    real_.RemoveStaleTemporaries(target);
  }

 private:
  void Check() const {
    if (stop_) throw JobCancelled{};
  }

  class In : public InputStream {
   public:
    In(StoppableFiles& files, std::unique_ptr<InputStream> in)
        : files_(files), in_(std::move(in)) {}
    std::size_t Read(char* buffer, std::size_t size) override {
      files_.Check();
      const std::size_t read = in_->Read(buffer, size);
      files_.bytesRead_ += read;
      return read;
    }

   private:
    StoppableFiles& files_;
    std::unique_ptr<InputStream> in_;
  };

  class Out : public OutputStream {
   public:
    Out(StoppableFiles& files, std::unique_ptr<OutputStream> out)
        : files_(files), out_(std::move(out)) {}
    void Write(std::string_view bytes) override {
      files_.Check();
      out_->Write(bytes);
    }
    void Commit() override { out_->Commit(); }

   private:
    StoppableFiles& files_;
    std::unique_ptr<OutputStream> out_;
  };

  FileSystem& real_ = RealFileSystem();
  const std::atomic<bool>& stop_;
  std::atomic<std::size_t>& bytesRead_;
};

}  // namespace

JobControl::JobControl() : files_(std::make_unique<StoppableFiles>(stop_, bytesRead_)) {}
JobControl::~JobControl() = default;

FileSystem& JobControl::Files() {
  return *files_;
}

void JobControl::StopPoint() const {
  if (stop_) throw JobCancelled{};
}

void JobControl::SetStep(const std::string& step) {
  std::lock_guard<std::mutex> hold(stepLock_);
  step_ = step;
}

void JobControl::SetProgress(std::size_t done, std::size_t total) {
  total_ = total;
  done_ = done;
}

std::string JobControl::Step() const {
  std::lock_guard<std::mutex> hold(stepLock_);
  return step_;
}

int JobControl::Permille() const {
  std::size_t done = done_, total = total_;
  if (total == 0) done = bytesRead_, total = bytesToRead_;
  // Once everything is read, what follows (reduction, writing) has no count.
  if (total == 0 || done >= total) return -1;
  return static_cast<int>(static_cast<double>(done) * 1000 / static_cast<double>(total));
}

JobBar::JobBar(QWidget* parent)
    : QWidget(parent),
      bar_(new QProgressBar(this)),
      cancel_(new QPushButton(QStringLiteral("&Cancel"), this)),
      poll_(new QTimer(this)) {
  setObjectName(QStringLiteral("JobBar"));
  bar_->setObjectName(QStringLiteral("JobProgress"));
  cancel_->setObjectName(QStringLiteral("CancelJob"));
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(bar_, 1);
  row->addWidget(cancel_);
  poll_->setInterval(100);
  connect(poll_, &QTimer::timeout, this, &JobBar::ShowProgress);
  connect(cancel_, &QPushButton::clicked, this, &JobBar::Cancel);
  hide();
}

JobBar::~JobBar() {
  if (!thread_.joinable()) return;
  control_->RequestStop();
  thread_.join();
}

bool JobBar::Start(const QString& step, Work work, Done done) {
  if (Running()) return false;
  control_ = std::make_shared<JobControl>();
  control_->SetStep(step.toStdString());
  done_ = std::move(done);
  cancel_->setEnabled(true);
  ShowProgress();
  show();
  thread_ = std::thread([this, control = control_, work = std::move(work)] {
    std::exception_ptr failure;
    try {
      work(*control);
    } catch (...) {
      failure = std::current_exception();
    }
    // Handed to the window's thread; dropped if the bar is gone by then.
    QMetaObject::invokeMethod(
        this, [this, failure] { Finish(failure); }, Qt::QueuedConnection);
  });
  poll_->start();
  return true;
}

void JobBar::Cancel() {
  if (!Running()) return;
  control_->RequestStop();
  cancel_->setEnabled(false);
  ShowProgress();
}

void JobBar::CancelAndWait() {
  if (!Running()) return;
  Cancel();
  QEventLoop wait;
  connect(this, &JobBar::Finished, &wait, &QEventLoop::quit);
  wait.exec();
}

void JobBar::ShowProgress() {
  if (!control_) return;
  const int permille = control_->Permille();
  bar_->setRange(0, permille < 0 ? 0 : 1000);  // 0..0: busy, no count
  if (permille >= 0) bar_->setValue(permille);
  const QString step = control_->StopRequested() ? QStringLiteral("Cancelling...")
                                                 : QString::fromStdString(control_->Step());
  bar_->setFormat(permille < 0 ? step : step + QStringLiteral(" %p%"));
  bar_->setToolTip(step);
}

void JobBar::Finish(std::exception_ptr failure) {
  thread_.join();
  poll_->stop();
  control_.reset();
  hide();
  Done done = std::move(done_);
  done_ = nullptr;
  if (done) done(failure);
  emit Finished();
}

}  // namespace vireo::gui
