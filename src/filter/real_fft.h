#pragma once

#include <cstddef>
#include <vector>

namespace vantel::filter {

// Fast Fourier transform of real blocks whose size is a power of two, done as a
// half-size complex transform (Stockham, radix 4) on separate real and
// imaginary arrays. Plain arithmetic in a fixed order, so every processor gives
// the same bits.
class RealFft {
public:
    explicit RealFft(std::size_t size);

    std::size_t size() const { return size_; }
    std::size_t bins() const { return half_ + 1; }

    // Spectrum bins 0..size/2 of x[0..size).
    void forward(const double* x, double* re, double* im);
    // The inverse of `forward`, times size/2: x[0..size) from bins 0..size/2.
    void inverse(const double* re, const double* im, double* x);
    // inverse(forward(x) times the gains of bins 0..size/2), in one pass over
    // the spectrum: the same values as the three steps in turn.
    void filter(const double* x, const double* gainRe, const double* gainIm, double* y);

private:
    void complexTransform(bool inverse);

    std::size_t size_;
    std::size_t half_;
    std::vector<double> stageTwiddles_;  // per radix-4 stage: w1 re, w1 im, w2 re, ... each over p
    std::vector<double> packTwiddleRe_;   // exp(-2 pi i k / size), k = 0..size/2
    std::vector<double> packTwiddleIm_;
    std::vector<double> re_, im_, workRe_, workIm_;
};

}  // namespace vantel::filter
