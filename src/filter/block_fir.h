#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "filter/fir_design.h"
#include "filter/fir_filter.h"
#include "filter/real_fft.h"

namespace vantel::filter {

// The output filter for blocks of samples, by FFT overlap-save. It reads and
// leaves the ring exactly as the same samples through FirRing::process would:
// same contents, same position, so the two can take turns. Results agree with
// the ring's to rounding (the sums are formed in another order).
class BlockFir {
public:
    void process(FirRing& ring, const CoefficientStore& coeffs, std::int16_t length, const double* in, double* out,
                 std::size_t n);

private:
    void prepare(const CoefficientStore& coeffs, int length);
    void filterLinear(const double* in, double* out, std::size_t n);

    int length_ = 0;
    std::vector<double> taps_;  // the coefficients the spectrum was made from
    std::unique_ptr<RealFft> fft_;
    SpectralGains gains_;
    std::vector<double> block_, result_;
};

}  // namespace vantel::filter
