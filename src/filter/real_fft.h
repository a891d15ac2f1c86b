#pragma once

#include <cstddef>
#include <vector>

namespace vantel::filter {

// A filter's gains in the form RealFft::filter applies them. Unpacking the
// real spectrum from the half-size complex one, multiplying by the gains and
// packing again is linear, so it folds into two factors per bin k of the
// complex spectrum: Z'[k] = P Z[k] + Q conj Z[half - k].
struct SpectralGains {
    std::vector<double> pkRe, pkIm, qkRe, qkIm;  // for bins k = 0..half/2
    std::vector<double> pmRe, pmIm, qmRe, qmIm;  // for their mirrors half - k, stored at k
};

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
    // The gains of bins 0..size/2 made ready for `filter`.
    SpectralGains prepareGains(const double* gainRe, const double* gainIm) const;
    // The inverse transform of forward(x) times the gains, scaled by size/2:
    // a circular convolution with the filter the gains came from.
    void filter(const double* x, const SpectralGains& gains, double* y);

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
