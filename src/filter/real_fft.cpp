#include "filter/real_fft.h"

#include <stdexcept>
#include <utility>

#include "synth/fast_math.h"

#define VANTEL_MULTIVERSION [[gnu::target_clones("avx512f", "avx2", "default")]]

namespace vantel::filter {
namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;

// Twiddles of one radix-4 stage, for p = 0..quarter-1: w^p, w^2p, w^3p.
struct StageTwiddles {
    const double* w1r;
    const double* w1i;
    const double* w2r;
    const double* w2i;
    const double* w3r;
    const double* w3i;

    StageTwiddles(const double* base, std::size_t quarter)
        : w1r(base),
          w1i(base + quarter),
          w2r(base + 2 * quarter),
          w2i(base + 3 * quarter),
          w3r(base + 4 * quarter),
          w3i(base + 5 * quarter) {}
};

// One radix-4 butterfly: inputs a, b, c, d; outputs to o0..o3. `sign` is -1
// for the inverse, which conjugates the twiddles and turns j into -j.
struct Radix4 {
    double o0r, o0i, o1r, o1i, o2r, o2i, o3r, o3i;

    Radix4(double ar, double ai, double br, double bi, double cr, double ci, double dr, double di, double w1r,
           double w1i, double w2r, double w2i, double w3r, double w3i, double sign) {
        const double apcR = ar + cr, apcI = ai + ci;
        const double amcR = ar - cr, amcI = ai - ci;
        const double bpdR = br + dr, bpdI = bi + di;
        const double jbmdR = -sign * (bi - di);
        const double jbmdI = sign * (br - dr);
        const double e1R = amcR - jbmdR, e1I = amcI - jbmdI;
        const double e2R = apcR - bpdR, e2I = apcI - bpdI;
        const double e3R = amcR + jbmdR, e3I = amcI + jbmdI;
        w1i *= sign;
        w2i *= sign;
        w3i *= sign;
        o0r = apcR + bpdR;
        o0i = apcI + bpdI;
        o1r = e1R * w1r - e1I * w1i;
        o1i = e1R * w1i + e1I * w1r;
        o2r = e2R * w2r - e2I * w2i;
        o2i = e2R * w2i + e2I * w2r;
        o3r = e3R * w3r - e3I * w3i;
        o3i = e3R * w3i + e3I * w3r;
    }
};

// The first stage (s = 1): p runs inside, each butterfly's outputs side by side.
inline void radix4FirstStage(const double* __restrict xr, const double* __restrict xi, double* __restrict yr,
                             double* __restrict yi, const StageTwiddles& w, std::size_t quarter, double sign) {
    const std::size_t q1 = quarter, q2 = 2 * quarter, q3 = 3 * quarter;
    for (std::size_t p = 0; p < quarter; ++p) {
        const Radix4 r(xr[p], xi[p], xr[p + q1], xi[p + q1], xr[p + q2], xi[p + q2], xr[p + q3], xi[p + q3],
                       w.w1r[p], w.w1i[p], w.w2r[p], w.w2i[p], w.w3r[p], w.w3i[p], sign);
        yr[4 * p] = r.o0r;
        yi[4 * p] = r.o0i;
        yr[4 * p + 1] = r.o1r;
        yi[4 * p + 1] = r.o1i;
        yr[4 * p + 2] = r.o2r;
        yi[4 * p + 2] = r.o2i;
        yr[4 * p + 3] = r.o3r;
        yi[4 * p + 3] = r.o3i;
    }
}

// Radix-4 butterflies on `count` consecutive q that share twiddles.
struct QuadRun {
    const double* __restrict ar;
    const double* __restrict ai;
    const double* __restrict br;
    const double* __restrict bi;
    const double* __restrict cr;
    const double* __restrict ci;
    const double* __restrict dr;
    const double* __restrict di;
};

inline void radix4Run(QuadRun in, double* __restrict y0r, double* __restrict y0i, double* __restrict y1r,
                      double* __restrict y1i, double* __restrict y2r, double* __restrict y2i, double* __restrict y3r,
                      double* __restrict y3i, double w1r, double w1i, double w2r, double w2i, double w3r, double w3i,
                      double sign, std::size_t count) {
    const double* __restrict ar = in.ar;
    const double* __restrict ai = in.ai;
    const double* __restrict br = in.br;
    const double* __restrict bi = in.bi;
    const double* __restrict cr = in.cr;
    const double* __restrict ci = in.ci;
    const double* __restrict dr = in.dr;
    const double* __restrict di = in.di;
    for (std::size_t q = 0; q < count; ++q) {
        const Radix4 r(ar[q], ai[q], br[q], bi[q], cr[q], ci[q], dr[q], di[q], w1r, w1i, w2r, w2i, w3r, w3i, sign);
        y0r[q] = r.o0r;
        y0i[q] = r.o0i;
        y1r[q] = r.o1r;
        y1i[q] = r.o1i;
        y2r[q] = r.o2r;
        y2i[q] = r.o2i;
        y3r[q] = r.o3r;
        y3i[q] = r.o3i;
    }
}

// A later stage (s >= 4): the s consecutive q of each p share twiddles.
inline void radix4LaterStage(const double* xr, const double* xi, double* yr, double* yi, const StageTwiddles& w,
                             std::size_t quarter, std::size_t s, double sign) {
    const std::size_t q1 = s * quarter;
    for (std::size_t p = 0; p < quarter; ++p) {
        const std::size_t a = s * p;
        const std::size_t o = 4 * s * p;
        const QuadRun in{xr + a, xi + a, xr + a + q1, xi + a + q1, xr + a + 2 * q1, xi + a + 2 * q1,
                         xr + a + 3 * q1, xi + a + 3 * q1};
        radix4Run(in, yr + o, yi + o, yr + o + s, yi + o + s, yr + o + 2 * s, yi + o + 2 * s, yr + o + 3 * s,
                  yi + o + 3 * s, w.w1r[p], w.w1i[p], w.w2r[p], w.w2i[p], w.w3r[p], w.w3i[p], sign, s);
    }
}

// One radix-4 Stockham stage over blocks of `len`, s apart: x into y.
VANTEL_MULTIVERSION
void radix4Stage(const double* xr, const double* xi, double* yr, double* yi, const double* twiddles,
                 std::size_t len, std::size_t s, bool inverse) {
    const double sign = inverse ? -1.0 : 1.0;
    const std::size_t quarter = len / 4;
    const StageTwiddles w(twiddles, quarter);
    if (s == 1) {
        radix4FirstStage(xr, xi, yr, yi, w, quarter, sign);
    } else {
        radix4LaterStage(xr, xi, yr, yi, w, quarter, s, sign);
    }
}

// The last stage when the size is an odd power of two: pairs without twiddles.
VANTEL_MULTIVERSION
void radix2LastStage(const double* __restrict xr, const double* __restrict xi, double* __restrict yr,
                     double* __restrict yi, std::size_t s) {
    for (std::size_t q = 0; q < s; ++q) {
        yr[q] = xr[q] + xr[q + s];
        yi[q] = xi[q] + xi[q + s];
        yr[q + s] = xr[q] - xr[q + s];
        yi[q + s] = xi[q] - xi[q + s];
    }
}

}  // namespace

RealFft::RealFft(std::size_t size) : size_(size), half_(size / 2) {
    if (size < 4 || (size & (size - 1)) != 0) throw std::invalid_argument("FFT size must be a power of two >= 4");
    for (std::size_t len = half_; len >= 4; len /= 4) {
        for (std::size_t k = 1; k <= 3; ++k) {
            for (int part = 0; part < 2; ++part) {
                for (std::size_t p = 0; p < len / 4; ++p) {
                    const double angle = kTwoPi * static_cast<double>(k * p) / static_cast<double>(len);
                    stageTwiddles_.push_back(part == 0 ? fastmath::cos(angle) : -fastmath::sin(angle));
                }
            }
        }
    }
    for (std::size_t k = 0; k <= half_; ++k) {
        const double angle = kTwoPi * static_cast<double>(k) / static_cast<double>(size_);
        packTwiddleRe_.push_back(fastmath::cos(angle));
        packTwiddleIm_.push_back(-fastmath::sin(angle));
    }
    re_.resize(half_);
    im_.resize(half_);
    workRe_.resize(half_);
    workIm_.resize(half_);
}

void RealFft::complexTransform(bool inverse) {
    double* xr = re_.data();
    double* xi = im_.data();
    double* yr = workRe_.data();
    double* yi = workIm_.data();
    std::size_t offset = 0;
    std::size_t stride = 1;
    std::size_t len = half_;
    for (; len >= 4; len /= 4) {
        radix4Stage(xr, xi, yr, yi, &stageTwiddles_[offset], len, stride, inverse);
        std::swap(xr, yr);
        std::swap(xi, yi);
        offset += 6 * (len / 4);
        stride *= 4;
    }
    if (len == 2) {
        radix2LastStage(xr, xi, yr, yi, stride);
        std::swap(xr, yr);
        std::swap(xi, yi);
    }
    if (xr != re_.data()) {
        std::swap(re_, workRe_);
        std::swap(im_, workIm_);
    }
}

namespace {

// Real input as the half-size complex sequence z[k] = x[2k] + j x[2k+1].
VANTEL_MULTIVERSION
void deinterleave(const double* __restrict x, double* __restrict re, double* __restrict im, std::size_t half) {
    for (std::size_t k = 0; k < half; ++k) {
        re[k] = x[2 * k];
        im[k] = x[2 * k + 1];
    }
}

VANTEL_MULTIVERSION
void interleave(const double* __restrict re, const double* __restrict im, double* __restrict x, std::size_t half) {
    for (std::size_t k = 0; k < half; ++k) {
        x[2 * k] = re[k];
        x[2 * k + 1] = im[k];
    }
}

// Bins 0..half of the real transform from Z, the transform of z:
// E = (Z[k] + conj Z[n-k]) / 2, O = (Z[k] - conj Z[n-k]) / 2j, X = E + w^k O.
VANTEL_MULTIVERSION
void splitSpectrum(const double* __restrict zr, const double* __restrict zi, const double* __restrict wr,
                   const double* __restrict wi, double* __restrict re, double* __restrict im, std::size_t half) {
    for (std::size_t k = 0; k <= half; ++k) {
        const std::size_t a = k == half ? 0 : k;
        const std::size_t b = k == 0 ? 0 : half - k;
        const double er = 0.5 * (zr[a] + zr[b]);
        const double ei = 0.5 * (zi[a] - zi[b]);
        const double oddR = 0.5 * (zi[a] + zi[b]);
        const double oddI = -0.5 * (zr[a] - zr[b]);
        re[k] = er + (oddR * wr[k] - oddI * wi[k]);
        im[k] = ei + (oddR * wi[k] + oddI * wr[k]);
    }
}

// The inverse of splitSpectrum: Z[k] = E + j O, with O = (X[k] - conj X[n-k]) / 2
// times the conjugate twiddle.
VANTEL_MULTIVERSION
void joinSpectrum(const double* __restrict re, const double* __restrict im, const double* __restrict wr,
                  const double* __restrict wi, double* __restrict zr, double* __restrict zi, std::size_t half) {
    for (std::size_t k = 0; k < half; ++k) {
        const std::size_t b = half - k;
        const double er = 0.5 * (re[k] + re[b]);
        const double ei = 0.5 * (im[k] - im[b]);
        const double dr = 0.5 * (re[k] - re[b]);
        const double di = 0.5 * (im[k] + im[b]);
        const double oddR = dr * wr[k] + di * wi[k];
        const double oddI = -dr * wi[k] + di * wr[k];
        zr[k] = er - oddI;
        zi[k] = ei + oddR;
    }
}

}  // namespace

void RealFft::forward(const double* x, double* re, double* im) {
    deinterleave(x, re_.data(), im_.data(), half_);
    complexTransform(false);
    splitSpectrum(re_.data(), im_.data(), packTwiddleRe_.data(), packTwiddleIm_.data(), re, im, half_);
}

void RealFft::inverse(const double* re, const double* im, double* x) {
    joinSpectrum(re, im, packTwiddleRe_.data(), packTwiddleIm_.data(), re_.data(), im_.data(), half_);
    complexTransform(true);
    interleave(re_.data(), im_.data(), x, half_);
}

}  // namespace vantel::filter
