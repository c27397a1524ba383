#include "common/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <random>

#include "common/Error.h"

namespace vireo {
namespace {

#ifdef __EMSCRIPTEN__
// The page's file system in memory serves one run at a time, and its C
// library knows only the classic record locks (which it grants).
constexpr int kWaitForLock = F_SETLKW;
#else
constexpr int kWaitForLock = F_OFD_SETLKW;
#endif

constexpr std::size_t kMaxNameBytes = 255;  // the longest file name Linux file systems take
constexpr std::size_t kTagLength = 12;      // hex digits of a temporary name's random tag
constexpr std::string_view kTempSuffix = ".vireo-tmp";
constexpr const char* kLockFileName = ".vireo.lock";

std::uint64_t Fnv1a(std::string_view text) {
  std::uint64_t hash = 0xcbf29ce484222325u;
  for (unsigned char c : text) hash = (hash ^ c) * 0x100000001b3u;
  return hash;
}

std::string Hex(std::uint64_t value, std::size_t digits) {
  std::string text(digits, '0');
  for (std::size_t i = digits; i-- > 0; value >>= 4) text[i] = "0123456789abcdef"[value & 15];
  return text;
}

// Splits a path into its folder ("." for none) and its file name.
std::pair<std::string, std::string> FolderAndName(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// The target's name as it stands in its temporary names.
std::string ShortName(const std::string& name) {
  if (name.size() + 1 + kTagLength + kTempSuffix.size() <= kMaxNameBytes) return name;
  std::size_t cut = 200;
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
  return name.substr(0, cut) + "~" + Hex(Fnv1a(name), 8);
}

std::string RandomTag() {
  thread_local std::mt19937_64 generator{
      (static_cast<std::uint64_t>(std::random_device{}()) << 32) ^ std::random_device{}() ^
      static_cast<std::uint64_t>(::getpid())};
  return Hex(generator(), kTagLength);
}

std::string NotARegularFile(mode_t mode) {
  if (S_ISDIR(mode)) return "it is a folder, not a file";
  if (S_ISFIFO(mode)) return "it is a named pipe, not a file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device, not a file";
  if (S_ISSOCK(mode)) return "it is a socket, not a file";
  return "it is not a regular file";
}

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
  // `holdOpen`: the file stays open after Commit, keeping its flock, until
  // the stream is destroyed.
  PosixOutput(int fd, std::string path, bool holdOpen = false)
      : fd_(fd), path_(std::move(path)), holdOpen_(holdOpen) {}
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
    if (holdOpen_) return;
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
  bool holdOpen_;
  std::string buffer_;
};

// An open-file-description lock on one byte of the folder's lock file: the
// byte is chosen by the locked file's name, so files of one folder lock
// independently, and the lock ends with the descriptor (or the process).
class PosixLock : public FileLock {
 public:
  explicit PosixLock(int fd) : fd_(fd) {}
  ~PosixLock() override { ::close(fd_); }

 private:
  int fd_;
};

class PosixFileSystem : public FileSystem {
 public:
  bool ReadsFromManyThreads() const override { return true; }
  std::unique_ptr<InputStream> OpenForReading(const std::string& path) override {
    // Without blocking: opening a FIFO for reading waits for a writer.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat st;
    if (fd < 0) {
      const int err = errno;
      if (err == ENXIO && ::stat(path.c_str(), &st) == 0)
        throw Error(path, "open for reading", NotARegularFile(st.st_mode));
      throw Error(path, "open for reading", SystemCause(err));
    }
    const bool known = ::fstat(fd, &st) == 0;
    if (!known || !S_ISREG(st.st_mode)) {
      const std::string cause = known ? NotARegularFile(st.st_mode) : SystemCause(errno);
      ::close(fd);
      throw Error(path, "open for reading", cause);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return std::make_unique<PosixInput>(fd, path);
  }
  std::unique_ptr<OutputStream> Create(const std::string& path) override {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw Error(path, "create", SystemCause(errno));
    return std::make_unique<PosixOutput>(fd, path);
  }
  std::unique_ptr<OutputStream> CreateNew(const std::string& path) override {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
      if (errno == EEXIST) return nullptr;
      throw Error(path, "create", SystemCause(errno));
    }
    // A sweep of another run that took the file before this lock (it is
    // new and not held yet) has unlinked it: start again under a new name.
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    struct stat st;
    if (::fstat(fd, &st) == 0 && st.st_nlink == 0) {
      ::close(fd);
      return nullptr;
    }
    return std::make_unique<PosixOutput>(fd, path, true);
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
  bool IsReadOnly(const std::string& path) override {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return true;
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES;
  }
  std::string NotAFile(const std::string& path) override {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) return {};
    return NotARegularFile(st.st_mode);
  }
  std::unique_ptr<FileLock> Lock(const std::string& path) override {
    const auto [folder, name] = FolderAndName(path);
    const std::string lockFile = folder + "/" + kLockFileName;
    int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) throw Error(path, "lock against other runs", lockFile + ": " + SystemCause(errno));
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    range.l_start = static_cast<off_t>(Fnv1a(name) >> 2);
    range.l_len = 1;
    while (::fcntl(fd, kWaitForLock, &range) != 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      throw Error(path, "lock against other runs", lockFile + ": " + SystemCause(err));
    }
    return std::make_unique<PosixLock>(fd);
  }
#ifndef __EMSCRIPTEN__
  // (The page's file system in memory leaves this out: it serves one run at
  // a time, and there flock grants every lock, so that a sweep would take
  // the run's own temporary file.)
  void RemoveStaleTemporaries(const std::string& target) override {
    const std::string folder = FolderAndName(target).first;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir)) {
      if (!IsTemporaryOf(entry->d_name, target)) continue;
      const std::string path = folder + "/" + entry->d_name;
      int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
      if (fd < 0) continue;
      // A run at work holds its temporary file's flock; a dead one does not.
      struct stat held, now;
      if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
          ::lstat(path.c_str(), &now) == 0 && now.st_ino == held.st_ino &&
          now.st_dev == held.st_dev)
        ::unlink(path.c_str());
      ::close(fd);
    }
    ::closedir(dir);
  }
#endif
};

class NoLock : public FileLock {};

}  // namespace

std::unique_ptr<OutputStream> FileSystem::CreateNew(const std::string& path) {
  return Exists(path) ? nullptr : Create(path);
}

std::unique_ptr<FileLock> FileSystem::Lock(const std::string&) {
  return std::make_unique<NoLock>();
}

void FileSystem::RemoveStaleTemporaries(const std::string&) {}

bool FileSystem::IsReadOnly(const std::string&) {
  return false;
}

std::string FileSystem::NotAFile(const std::string&) {
  return {};
}

void RefuseNotAFile(FileSystem& fs, const std::string& path) {
  const std::string cause = fs.NotAFile(path);
  if (!cause.empty())
    throw Error(path, "replace",
                cause + ", so nothing is put in its place; move it away or rename it");
}

void RefuseReadOnly(FileSystem& fs, const std::string& path) {
  if (fs.IsReadOnly(path))
    throw Error(path, "replace",
                "the file is read-only, so it is kept as it was; make it writable to replace it");
}

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

std::string TemporaryName(const std::string& target, std::string_view tag) {
  const auto [folder, name] = FolderAndName(target);
  const std::string file = ShortName(name) + "." + std::string(tag) + std::string(kTempSuffix);
  return target.find('/') == std::string::npos ? file : folder + "/" + file;
}

bool IsTemporaryOf(std::string_view fileName, const std::string& target) {
  const std::string name = FolderAndName(target).second;
  if (fileName == name + std::string(kTempSuffix)) return true;  // earlier versions
  const std::string prefix = ShortName(name) + ".";
  if (fileName.size() != prefix.size() + kTagLength + kTempSuffix.size() ||
      fileName.substr(0, prefix.size()) != prefix ||
      fileName.substr(fileName.size() - kTempSuffix.size()) != kTempSuffix)
    return false;
  for (char c : fileName.substr(prefix.size(), kTagLength))
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

StagedFile::StagedFile(FileSystem& fs, std::string target) : fs_(fs), target_(std::move(target)) {
  for (int attempt = 0; attempt < 100 && !out_; ++attempt) {
    temp_ = TemporaryName(target_, RandomTag());
    out_ = fs_.CreateNew(temp_);
  }
  if (!out_) throw Error(target_, "create a temporary file", "no free temporary name");
}

StagedFile::~StagedFile() {
  if (done_) return;
  out_.reset();
  try {
    fs_.Remove(temp_);
  } catch (...) {
    // The original failure is the one to report; the target is untouched.
    // Nothing may leave a destructor, not even a failed allocation while
    // the failure is put into words.
  }
}

void StagedFile::Commit() {
  if (committed_) return;
  out_->Commit();
  committed_ = true;
}

void StagedFile::Install(bool keepWhenRenameFails) {
  RefuseNotAFile(fs_, target_);
  RefuseReadOnly(fs_, target_);
  Commit();
  fs_.RemoveStaleTemporaries(target_);
  try {
    fs_.Rename(temp_, target_);
  } catch (const Error& e) {
    if (!keepWhenRenameFails) throw;
    done_ = true;
    out_.reset();
    throw Error(target_, "replace", e.Cause() + "; the new file is complete and kept as " + temp_);
  }
  done_ = true;
  out_.reset();
}

void ReplaceFile(FileSystem& fs, const std::string& target,
                 const std::function<void(OutputStream&)>& fill, const ReplaceOptions& options) {
  StagedFile staged(fs, target);
  fill(staged.Out());
  staged.Install(options.keepTempWhenRenameFails);
}

void RewriteLocked(FileSystem& fs, const std::string& path,
                   const std::function<std::string(const std::string&)>& change,
                   const LockedRewriteOptions& options) {
  std::unique_ptr<FileLock> lock;
  try {
    lock = fs.Lock(path);
  } catch (const Error& e) {
    throw Error(path, options.saveOperation, e.what());
  }
  std::string text;
  if (!options.missingIsEmpty || fs.Exists(path)) {
    try {
      text = ReadWholeFile(fs, path, options.limit);
    } catch (const Error& e) {
      throw Error(path, options.readOperation, e.Cause());
    }
  }
  const std::string changed = change(text);
  try {
    ReplaceFile(fs, path, [&](OutputStream& out) { out.Write(changed); });
  } catch (const Error& e) {
    throw Error(path, options.saveOperation, e.what());
  }
}

}  // namespace vireo
