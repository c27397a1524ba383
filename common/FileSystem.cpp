#include "common/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "common/Error.h"

namespace vireo {
namespace {

class PosixInput : public InputStream {
 public:
  PosixInput(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixInput() override { ::close(fd_); }
  std::size_t Read(char* buffer, std::size_t size) override {
    for (;;) {
      ssize_t n = ::read(fd_, buffer, size);
      if (n >= 0) return static_cast<std::size_t>(n);
      if (errno != EINTR) throw Error(path_, "read", SystemCause(errno));
    }
  }

 private:
  int fd_;
  std::string path_;
};

class PosixOutput : public OutputStream {
 public:
  PosixOutput(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixOutput() override {
    if (fd_ >= 0) ::close(fd_);
  }
  void Write(std::string_view bytes) override {
    buffer_.append(bytes);
    if (buffer_.size() >= (1u << 20)) Drain();
  }
  void Commit() override {
    Drain();
    if (::fsync(fd_) != 0) throw Error(path_, "flush to disk", SystemCause(errno));
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) throw Error(path_, "close", SystemCause(errno));
  }

 private:
  void Drain() {
    std::size_t done = 0;
    while (done < buffer_.size()) {
      ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        throw Error(path_, "write", SystemCause(errno));
      }
      done += static_cast<std::size_t>(n);
    }
    buffer_.clear();
  }
  int fd_;
  std::string path_;
  std::string buffer_;
};

class PosixFileSystem : public FileSystem {
 public:
  std::unique_ptr<InputStream> OpenForReading(const std::string& path) override {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw Error(path, "open for reading", SystemCause(errno));
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(fd);
      throw Error(path, "open for reading", "it is a folder, not a file");
    }
    return std::make_unique<PosixInput>(fd, path);
  }
  std::unique_ptr<OutputStream> Create(const std::string& path) override {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw Error(path, "create", SystemCause(errno));
    return std::make_unique<PosixOutput>(fd, path);
  }
  void Rename(const std::string& from, const std::string& to) override {
    if (std::rename(from.c_str(), to.c_str()) != 0)
      throw Error(to, "replace with " + from, SystemCause(errno));
  }
  void Remove(const std::string& path) override {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
      throw Error(path, "delete", SystemCause(errno));
  }
  void CreateFolder(const std::string& path) override {
    if (::mkdir(path.c_str(), 0755) == 0) return;
    int err = errno;
    struct stat st;
    if (err == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return;
    throw Error(path, "create folder",
                err == EEXIST ? "a file of that name is in the way" : SystemCause(err));
  }
  bool Exists(const std::string& path) override {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
  }
};

}  // namespace

FileSystem& RealFileSystem() {
  static PosixFileSystem fs;
  return fs;
}

std::string ReadWholeFile(FileSystem& fs, const std::string& path, std::size_t limit) {
  auto in = fs.OpenForReading(path);
  std::string content;
  char buffer[65536];
  for (;;) {
    std::size_t n = in->Read(buffer, sizeof buffer);
    if (n == 0) break;
    if (content.size() + n > limit)
      throw Error(path, "read", "larger than " + std::to_string(limit) + " bytes");
    content.append(buffer, n);
  }
  return content;
}

void ReplaceFile(FileSystem& fs, const std::string& target,
                 const std::function<void(OutputStream&)>& fill, const ReplaceOptions& options) {
  const std::string temp = options.tempPath.empty() ? target + ".vireo-tmp" : options.tempPath;
  auto removeTemp = [&] {
    try {
      fs.Remove(temp);
    } catch (const Error&) {
      // The original failure is the one to report.
    }
  };
  try {
    auto out = fs.Create(temp);
    fill(*out);
    out->Commit();
  } catch (...) {
    removeTemp();
    throw;
  }
  try {
    fs.Rename(temp, target);
  } catch (const Error& e) {
    if (options.keepTempWhenRenameFails)
      throw Error(target, "replace", e.Cause() + "; the new file is complete and kept as " + temp);
    removeTemp();
    throw;
  }
}

}  // namespace vireo
