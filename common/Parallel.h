// Independent pieces of work shared out over the machine's cores.
#pragma once

#include <algorithm>
#include <cstddef>
#include <deque>
#include <functional>
#include <future>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace vireo {

// Whether this build can start threads. The page's WebAssembly build (no
// SharedArrayBuffer from a file on disk) cannot, and there std::thread
// starts nothing rather than failing: its work runs on the one thread.
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
inline constexpr bool kThreadsAvailable = false;
#else
inline constexpr bool kThreadsAvailable = true;
#endif

// How std::async starts a piece of work: on a thread of its own where
// threads are available, else when the piece is taken.
inline constexpr std::launch kOwnThread =
    kThreadsAvailable ? std::launch::async : std::launch::deferred;

// Calls work(0) .. work(count - 1), each once, on up to as many threads as
// the machine has cores (this one among them) and returns when all are
// done. `work` must not throw: a piece keeps its own failure. Where no
// thread can be started, the pieces run here.
void ForEachOnAllCores(std::size_t count, const std::function<void(std::size_t)>& work);

// Makes pieces 0 .. count - 1 with `make` on worker threads, a few ahead of
// the one handed on, and hands each to `take` on this thread, in order. An
// exception of a piece comes out in its order, as on one thread, and no
// worker outlives the call. Where no thread can be started, a piece is
// made here when it is handed on.
template <typename Make, typename Take>
void InOrderOnWorkers(std::size_t count, const Make& make, const Take& take) {
  using Piece = decltype(make(std::size_t{}));
  const std::size_t ahead = std::max(2u, std::thread::hardware_concurrency()) + 1;
  std::deque<std::future<Piece>> made;
  try {
    for (std::size_t next = 0; next < count || !made.empty();) {
      if (next < count && made.size() < ahead) {
        auto job = [&make, i = next++] { return make(i); };
        try {
          made.push_back(std::async(kOwnThread, job));
        } catch (const std::system_error&) {
          made.push_back(std::async(std::launch::deferred, job));
        }
        continue;
      }
      Piece piece = made.front().get();
      made.pop_front();
      take(std::move(piece));
    }
  } catch (...) {
    for (auto& piece : made)
      if (piece.valid()) piece.wait();
    throw;
  }
}

// Memory allocated and not yet written, such as a vector's reserved room.
struct MemoryRange {
  const void* data = nullptr;
  std::size_t bytes = 0;
};

// Makes the pages of `ranges` present for writing, on all cores: one call
// per piece instead of a page fault per 4 KiB written, about three times as
// fast for the hundreds of megabytes of a large network. Only a hint: where
// the system cannot, the pages come as they are first written.
void Prefault(const std::vector<MemoryRange>& ranges);

}  // namespace vireo
