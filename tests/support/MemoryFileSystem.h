// A file system held in memory, for fuzzing the run without touching disk.
#pragma once

#include <cstring>
#include <map>
#include <set>
#include <string>

#include "common/Error.h"
#include "common/FileSystem.h"

namespace vireo::testing {

class MemoryFileSystem : public FileSystem {
 public:
  std::map<std::string, std::string> files;
  std::set<std::string> folders;

  std::unique_ptr<InputStream> OpenForReading(const std::string& path) override {
    auto it = files.find(path);
    if (it == files.end()) throw Error(path, "open for reading", "No such file or directory");
    return std::make_unique<Input>(it->second);
  }
  std::unique_ptr<OutputStream> Create(const std::string& path) override {
    files[path].clear();
    return std::make_unique<Output>(files[path]);
  }
  void Rename(const std::string& from, const std::string& to) override {
    auto it = files.find(from);
    if (it == files.end()) throw Error(to, "replace with " + from, "No such file or directory");
    std::string content = std::move(it->second);
    files.erase(it);
    files[to] = std::move(content);
  }
  void Remove(const std::string& path) override { files.erase(path); }
  void CreateFolder(const std::string& path) override { folders.insert(path); }
  bool Exists(const std::string& path) override {
    return files.count(path) > 0 || folders.count(path) > 0;
  }

 private:
  class Input : public InputStream {
   public:
    explicit Input(const std::string& content) : content_(content) {}
    std::size_t Read(char* buffer, std::size_t size) override {
      const std::size_t n = std::min(size, content_.size() - position_);
      std::memcpy(buffer, content_.data() + position_, n);
      position_ += n;
      return n;
    }

   private:
    const std::string& content_;
    std::size_t position_ = 0;
  };
  class Output : public OutputStream {
   public:
    explicit Output(std::string& target) : target_(target) {}
    void Write(std::string_view bytes) override { target_.append(bytes); }
    void Commit() override {}

   private:
    std::string& target_;
  };
};

}  // namespace vireo::testing
