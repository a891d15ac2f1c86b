#include "filter/fir_filter.h"

#include <algorithm>

namespace vantel::filter {

double FirRing::process(double x, const CoefficientStore& coeffs, std::int16_t length) {
    const int n = std::clamp<int>(length, 1, kMaxFirLength);
    int p = position_;
    // After a shrinking length the old position may lie past the new ring; the
    // slot still exists, and the first step below brings p back into range.
    delay_[static_cast<std::size_t>(p)] = static_cast<float>(x);
    double acc = 0;
    for (int m = 0; m < n; ++m) {
        p = (p + 1) % n;
        acc += delay_[static_cast<std::size_t>(p)] * coeffs[static_cast<std::size_t>(m)];
    }
    acc += delay_[static_cast<std::size_t>(p)] * coeffs[static_cast<std::size_t>(n)];
    position_ = (p + 1) % n;
    return acc;
}

}  // namespace vantel::filter
