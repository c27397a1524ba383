// A file system for tests that fails one chosen operation: the k-th call of
// open, create, write, commit, rename, remove, create-folder or lock
// (counted from 1 across all of them) throws as a full disk or a locked file
// would, or as memory running out (std::bad_alloc).
#pragma once

#include <new>
#include <string>

#include "common/Error.h"
#include "common/FileSystem.h"

namespace vireo::testing {

class FaultyFileSystem : public FileSystem {
 public:
  explicit FaultyFileSystem(long failAt = 0, bool outOfMemory = false)
      : failAt_(failAt), outOfMemory_(outOfMemory) {}

  bool Failed() const { return failed_; }

  void Step(const std::string& path, const char* operation) {
    if (++count_ == failAt_) {
      failed_ = true;
      if (outOfMemory_) throw std::bad_alloc();
      throw Error(path, operation, "injected failure");
    }
  }

  std::unique_ptr<InputStream> OpenForReading(const std::string& path) override {
    Step(path, "open for reading");
    return RealFileSystem().OpenForReading(path);
  }
  std::unique_ptr<OutputStream> Create(const std::string& path) override {
    Step(path, "create");
    return std::make_unique<Output>(*this, path, RealFileSystem().Create(path));
  }
  void Rename(const std::string& from, const std::string& to) override {
    Step(to, "rename");
    RealFileSystem().Rename(from, to);
  }
  void Remove(const std::string& path) override {
    Step(path, "delete");
    RealFileSystem().Remove(path);
  }
  void CreateFolder(const std::string& path) override {
    Step(path, "create folder");
    RealFileSystem().CreateFolder(path);
  }
  bool Exists(const std::string& path) override { return RealFileSystem().Exists(path); }
  std::string NotAFile(const std::string& path) override { return RealFileSystem().NotAFile(path); }
  std::unique_ptr<OutputStream> CreateNew(const std::string& path) override {
    Step(path, "create");
    auto real = RealFileSystem().CreateNew(path);
    return real ? std::make_unique<Output>(*this, path, std::move(real)) : nullptr;
  }
  std::unique_ptr<FileLock> Lock(const std::string& path) override {
    Step(path, "lock");
    return RealFileSystem().Lock(path);
  }
  void RemoveStaleTemporaries(const std::string& target) override {
    RealFileSystem().RemoveStaleTemporaries(target);
  }

 private:
  class Output : public OutputStream {
   public:
    Output(FaultyFileSystem& fs, std::string path, std::unique_ptr<OutputStream> real)
        : fs_(fs), path_(std::move(path)), real_(std::move(real)) {}
    void Write(std::string_view bytes) override {
      fs_.Step(path_, "write");
      real_->Write(bytes);
    }
    void Commit() override {
      fs_.Step(path_, "flush to disk");
      real_->Commit();
    }

   private:
    FaultyFileSystem& fs_;
    std::string path_;
    std::unique_ptr<OutputStream> real_;
  };

  long failAt_;
  bool outOfMemory_;
  long count_ = 0;
  bool failed_ = false;
};

// Runs `attempt` with its k-th file operation failed, k = 1, 2, ..., first as
// the file system fails, then as memory running out (which the front ends
// report), until an attempt meets no failure. `attempt` gives the failure it
// reported, empty for none; `failed(k, reported)` checks each failed attempt
// and `passed(reported)` the last one. Gives the number of failed attempts.
template <class Attempt, class Failed, class Passed = void (*)(const std::string&)>
long FailEachOperation(
    Attempt attempt, Failed failed, Passed passed = [](const std::string&) {}) {
  long points = 0;
  for (bool outOfMemory : {false, true}) {
    for (long k = 1;; ++k) {
      FaultyFileSystem fs(k, outOfMemory);
      std::string reported;
      try {
        reported = attempt(fs);
      } catch (const Error& e) {
        reported = e.what();
      } catch (const std::bad_alloc&) {
        reported = "out of memory";
      }
      if (!fs.Failed()) {
        passed(reported);
        break;
      }
      ++points;
      failed(k, reported);
    }
  }
  return points;
}

}  // namespace vireo::testing
