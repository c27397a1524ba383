// The program's only way to the file system. Every stored file goes through
// this seam, so tests can fail any single operation and check that nothing
// is lost.
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
  // Flushes the file to disk and closes it. Throws Error.
  virtual void Commit() = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
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
};

FileSystem& RealFileSystem();

// Reads a whole file; refuses files larger than `limit` bytes.
std::string ReadWholeFile(FileSystem& fs, const std::string& path,
                          std::size_t limit = std::size_t{1} << 30);

struct ReplaceOptions {
  // Temporary file beside the target; empty means target + ".vireo-tmp".
  std::string tempPath;
  // When only the final rename fails, leave the complete temporary file in
  // place (the caller tells the surveyor where it is) instead of removing it.
  bool keepTempWhenRenameFails = false;
};

// Writes a file atomically: `fill` writes the content under the temporary
// name, the file is flushed to disk, then renamed over `target`. On any
// failure the temporary file is removed (see ReplaceOptions) and the error
// is rethrown; `target` is then as it was.
void ReplaceFile(FileSystem& fs, const std::string& target,
                 const std::function<void(OutputStream&)>& fill,
                 const ReplaceOptions& options = {});

}  // namespace vireo
