#include "common/Parallel.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

namespace vireo {

void ForEachOnAllCores(std::size_t count, const std::function<void(std::size_t)>& work) {
  std::atomic<std::size_t> next{0};
  auto run = [&] {
    for (std::size_t i; (i = next++) < count;) work(i);
  };
  const std::size_t threads =
      std::min<std::size_t>(count, std::max(1u, std::thread::hardware_concurrency()));
  std::vector<std::thread> helpers;
  for (std::size_t t = 1; t < threads; ++t) {
    try {
      helpers.emplace_back(run);
    } catch (const std::system_error&) {
      break;  // fewer helpers, the same work
    }
  }
  run();
  for (std::thread& helper : helpers) helper.join();
}

}  // namespace vireo
