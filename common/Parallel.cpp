#include "common/Parallel.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
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
      kThreadsAvailable
          ? std::min<std::size_t>(count, std::max(1u, std::thread::hardware_concurrency()))
          : 1;
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

void Prefault(const std::vector<MemoryRange>& ranges) {
#ifdef MADV_POPULATE_WRITE
  // Pieces of whole pages; a small total is left to the faults.
  constexpr std::size_t kPiece = std::size_t{8} << 20, kWorthIt = std::size_t{16} << 20;
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  std::vector<MemoryRange> pieces;
  std::size_t total = 0;
  for (const MemoryRange& range : ranges) {
    const auto start = reinterpret_cast<std::uintptr_t>(range.data);
    const std::uintptr_t first = (start + page - 1) / page * page;
    const std::uintptr_t end = (start + range.bytes) / page * page;
    for (std::uintptr_t at = first; at < end; at += kPiece) {
      const std::size_t bytes = std::min<std::uintptr_t>(kPiece, end - at);
      pieces.push_back({reinterpret_cast<const void*>(at), bytes});
      total += bytes;
    }
  }
  if (total < kWorthIt) return;
  ForEachOnAllCores(pieces.size(), [&pieces](std::size_t i) {
    madvise(const_cast<void*>(pieces[i].data), pieces[i].bytes, MADV_POPULATE_WRITE);
  });
#else
  (void)ranges;
#endif
}

}  // namespace vireo
