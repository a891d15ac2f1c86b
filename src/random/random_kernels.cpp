#include "random/random_kernels.h"

#include <cmath>

#include "maths/simd.h"
#include "random/gaussian.h"
#include "random/splitmix64.h"

namespace vantel::random::kernels {

VANTEL_MULTIVERSION
void gaussians(std::uint64_t firstInput, double* out, std::size_t n) {
    std::uint64_t input = firstInput;
    for (std::size_t i = 0; i < n; ++i, input += kGoldenGamma) {
        out[i] = gaussian(splitMix64(input));
    }
}

VANTEL_MULTIVERSION
void complexGaussians(std::uint64_t firstInput, double* re, double* im, std::size_t n) {
    std::uint64_t input = firstInput;
    for (std::size_t i = 0; i < n; ++i, input += kGoldenGamma) {
        const ComplexValue z = complexGaussian(splitMix64(input));
        re[i] = z.re;
        im[i] = z.im;
    }
}

VANTEL_MULTIVERSION
void scaledGaussians(std::uint64_t firstInput, const double* variance, double* out, std::size_t n) {
    gaussians(firstInput, out, n);
    for (std::size_t i = 0; i < n; ++i) out[i] = variance[i] > 0 ? std::sqrt(variance[i]) * out[i] : 0.0;
}

}  // namespace vantel::random::kernels
