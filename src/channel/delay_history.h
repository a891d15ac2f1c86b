#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace vantel::channel {

// A fading channel's delay line over a chunk of one component: into
// `history` the ring of the last `delay` inputs in time order (its oldest at
// `head`), then the chunk's n inputs, so that the input `delay` samples
// before chunk sample k is history[k]; the ring is left holding the chunk's
// last `delay` inputs, oldest first (its head at 0).
inline void delayChunk(std::vector<double>& ring, std::size_t head, std::size_t delay, const double* in,
                       std::size_t n, std::vector<double>& history) {
    for (std::size_t k = 0; k < delay; ++k) history[k] = ring[head + k < delay ? head + k : head + k - delay];
    std::copy(in, in + n, history.data() + delay);
    std::copy(history.data() + n, history.data() + n + delay, ring.data());
}

}  // namespace vantel::channel
