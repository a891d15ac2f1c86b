#pragma once

#include <cstddef>
#include <cstdint>

// Gaussian draws in blocks, built for several instruction sets (maths/simd.h);
// each value is the one random::gaussian gives for the same output.
namespace vantel::random::kernels {

// out[i] = gaussian(splitMix64(firstInput + i * golden gamma)): the
// Gaussians of SplitMix64 outputs in counter order.
void gaussians(std::uint64_t firstInput, double* out, std::size_t n);

// re[i], im[i] = complexGaussian of the same outputs.
void complexGaussians(std::uint64_t firstInput, double* re, double* im, std::size_t n);

// out[i] = variance[i] > 0 ? sqrt(variance[i]) * gaussian(bits) : 0, the bits
// splitMix64(firstInput + i * golden gamma), i.e. SplitMix64 outputs in counter order.
void scaledGaussians(std::uint64_t firstInput, const double* variance, double* out, std::size_t n);

}  // namespace vantel::random::kernels
