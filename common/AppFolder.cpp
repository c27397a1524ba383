#include "common/AppFolder.h"

#include <unistd.h>

#include <climits>

#include "common/Error.h"

namespace vireo {

std::string ExecutableFolder() {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) throw Error("/proc/self/exe", "find the program's folder", SystemCause(errno));
  std::string path(buffer, static_cast<std::size_t>(n));
  auto slash = path.rfind('/');
  return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

AppFolder MakeAppFolder(std::string root) {
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return AppFolder{std::move(root)};
}

std::string BaseNameOf(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const auto dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

}  // namespace vireo
