// The program's only way to the file system. Every stored file goes through
// this seam, so tests can fail any single operation and check that nothing
// is lost.
//
// Several runs of the program (two windows, a window and a script, a batch
// job) may work in one application folder at once. Each behaves as if it
// were alone: a new file is written under a temporary name no other run can
// share (StagedFile) and renamed into place; a read-modify-write, or the
// replacement of files that belong together, holds the advisory lock of the
// file it protects (FileSystem::Lock).
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace vireo {

class InputStream {
 public:
  virtual ~InputStream() = default;
  // Reads up to `size` bytes; returns 0 at the end. Throws Error.
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
};

class OutputStream {
 public:
  virtual ~OutputStream() = default;
  // Throws Error.
  virtual void Write(std::string_view bytes) = 0;
  // Flushes the file to disk (and closes it, unless it was made by
  // CreateNew). Throws Error.
  virtual void Commit() = 0;
};

// An advisory lock, held until the handle is destroyed.
class FileLock {
 public:
  virtual ~FileLock() = default;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Only regular files are opened: a folder, a FIFO, a device or a socket
  // is refused before a byte is read (a FIFO would block, a device may
  // never end).
  virtual std::unique_ptr<InputStream> OpenForReading(const std::string& path) = 0;
  // Creates the file, or empties an existing one.
  virtual std::unique_ptr<OutputStream> Create(const std::string& path) = 0;
  // Replaces `to` if it exists.
  virtual void Rename(const std::string& from, const std::string& to) = 0;
  // A missing file is not an error.
  virtual void Remove(const std::string& path) = 0;
  // An existing folder is not an error.
  virtual void CreateFolder(const std::string& path) = 0;
  virtual bool Exists(const std::string& path) = 0;

  // The real file system overrides the five below; the defaults serve test
  // file systems that only one run uses.

  // Whether several threads may read files through this at once.
  virtual bool ReadsFromManyThreads() const { return false; }

  // Whether `path` is a file the surveyor has protected from change: one
  // this user may not write, or one without any write permission (chmod
  // 444), which even an administrator's run keeps. A missing file is not.
  virtual bool IsReadOnly(const std::string& path);
  // Why a file cannot be put at `path`: something other than a regular file
  // (or a link) stands there, such as a folder. Empty when it is a regular
  // file, a symbolic link or nothing.
  virtual std::string NotAFile(const std::string& path);

  // Creates `path` only if nothing of that name exists; null when something
  // does. The file stays marked as in use by this run until the stream is
  // destroyed, so RemoveStaleTemporaries of another run leaves it alone.
  virtual std::unique_ptr<OutputStream> CreateNew(const std::string& path);
  // Waits for the advisory lock of `path` (which need not exist) and holds
  // it until the handle is destroyed. Throws Error.
  virtual std::unique_ptr<FileLock> Lock(const std::string& path);
  // Removes this program's temporary files of `target` (see TemporaryName)
  // that no running program holds: the remains of a killed run. Never
  // throws.
  virtual void RemoveStaleTemporaries(const std::string& target);
};

FileSystem& RealFileSystem();

// Reads a whole file; refuses files larger than `limit` bytes.
std::string ReadWholeFile(FileSystem& fs, const std::string& path,
                          std::size_t limit = std::size_t{1} << 30);

// The name of a temporary file for `target` in its folder:
// "<target name>.<12 hex digits>.vireo-tmp". A target name too long for that
// to stay within the 255 bytes a file name may have is cut at a character
// boundary and followed by "~" and 8 hex digits of the whole name, so the
// temporary name still tells which target it belongs to.
std::string TemporaryName(const std::string& target, std::string_view tag);
// Whether `fileName` (without folder) is one of this program's temporary
// files for `target`, including the "<target name>.vireo-tmp" of earlier
// versions.
bool IsTemporaryOf(std::string_view fileName, const std::string& target);

// Refuses (Error naming `path`) a file that IsReadOnly: a stored file made
// read-only is never replaced, though its folder would allow it.
void RefuseReadOnly(FileSystem& fs, const std::string& path);
// Refuses (Error naming `path`) to replace what FileSystem::NotAFile names:
// a folder at an output's path is never moved or written into.
void RefuseNotAFile(FileSystem& fs, const std::string& path);

// A new version of `target`, written under a temporary name of its own in
// the target's folder, created exclusively. Destroyed before Install(), it
// removes its temporary file and the target stays as it was.
class StagedFile {
 public:
  StagedFile(FileSystem& fs, std::string target);  // throws Error
  ~StagedFile();
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  OutputStream& Out() { return *out_; }
  // Flushes the file to disk. Throws Error.
  void Commit();
  // Commits, removes stale temporary files of the target, and renames this
  // one over the target. Throws Error; the temporary file is then removed,
  // unless `keepWhenRenameFails`: then the complete file stays and the
  // message names it. A read-only target is refused (RefuseReadOnly).
  void Install(bool keepWhenRenameFails = false);

  const std::string& Target() const { return target_; }
  const std::string& TempPath() const { return temp_; }

 private:
  FileSystem& fs_;
  std::string target_;
  std::string temp_;
  std::unique_ptr<OutputStream> out_;
  bool committed_ = false;
  bool done_ = false;
};

struct ReplaceOptions {
  // When only the final rename fails, leave the complete temporary file in
  // place (the message says where it is) instead of removing it.
  bool keepTempWhenRenameFails = false;
};

// Writes a file atomically: `fill` writes the content into a StagedFile,
// which is flushed to disk and renamed over `target`. On any failure the
// temporary file is removed (see ReplaceOptions) and the error is rethrown;
// `target` is then as it was.
void ReplaceFile(FileSystem& fs, const std::string& target,
                 const std::function<void(OutputStream&)>& fill,
                 const ReplaceOptions& options = {});

struct LockedRewriteOptions {
  std::size_t limit = std::size_t{1} << 20;  // a larger file is refused
  bool missingIsEmpty = false;               // else a missing file is refused
  std::string readOperation = "read";        // names a failed read
  std::string saveOperation = "save";        // names a failed lock or save
};

// The read-modify-write of a small settings file, under the file's lock so
// that no concurrent change by another run is lost. `change` gets the text
// of the file and returns the new text. Throws Error: a failed read carries
// options.readOperation, a failed lock or save options.saveOperation, and an
// Error of `change` passes through; the file is then as it was.
void RewriteLocked(FileSystem& fs, const std::string& path,
                   const std::function<std::string(const std::string&)>& change,
                   const LockedRewriteOptions& options = {});

}  // namespace vireo
