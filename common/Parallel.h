// Independent pieces of work shared out over the machine's cores.
#pragma once

#include <cstddef>
#include <functional>

namespace vireo {

// Calls work(0) .. work(count - 1), each once, on up to as many threads as
// the machine has cores (this one among them) and returns when all are
// done. `work` must not throw: a piece keeps its own failure. Where no
// thread can be started, the pieces run here.
void ForEachOnAllCores(std::size_t count, const std::function<void(std::size_t)>& work);

}  // namespace vireo
