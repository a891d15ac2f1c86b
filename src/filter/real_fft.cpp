#include "filter/real_fft.h"

#include <complex>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "maths/fast_math.h"
#include "maths/simd.h"

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

using maths::Vec4;

// Always inlined: each copy then takes the instruction set of the kernel it
// sits in, and no four-lane value crosses a call.
#define VANTEL_INLINE [[gnu::always_inline]] inline

VANTEL_INLINE Vec4 load4(const double* p) {
    Vec4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

VANTEL_INLINE void store4(double* p, Vec4 v) { std::memcpy(p, &v, sizeof v); }

// One radix-4 butterfly on inputs a, b, c, d (a value or four lanes of them).
// `sign` is -1 for the inverse, which conjugates the twiddles and turns j into -j.
// Without twiddles (every stage's p = 0, where they are all 1) the products
// are left out: multiplying by 1 and adding a product with 0 changes no value.
template <typename T, bool kTwiddled = true>
struct Radix4 {
    T o0r, o0i, o1r, o1i, o2r, o2i, o3r, o3i;

    [[gnu::always_inline]] Radix4(T ar, T ai, T br, T bi, T cr, T ci, T dr, T di, T w1r, T w1i, T w2r, T w2i, T w3r, T w3i, double sign) {
        const T apcR = ar + cr, apcI = ai + ci;
        const T amcR = ar - cr, amcI = ai - ci;
        const T bpdR = br + dr, bpdI = bi + di;
        const T jbmdR = -sign * (bi - di);
        const T jbmdI = sign * (br - dr);
        const T e1R = amcR - jbmdR, e1I = amcI - jbmdI;
        const T e2R = apcR - bpdR, e2I = apcI - bpdI;
        const T e3R = amcR + jbmdR, e3I = amcI + jbmdI;
        o0r = apcR + bpdR;
        o0i = apcI + bpdI;
        if constexpr (kTwiddled) {
            w1i = sign * w1i;
            w2i = sign * w2i;
            w3i = sign * w3i;
            o1r = e1R * w1r - e1I * w1i;
            o1i = e1R * w1i + e1I * w1r;
            o2r = e2R * w2r - e2I * w2i;
            o2i = e2R * w2i + e2I * w2r;
            o3r = e3R * w3r - e3I * w3i;
            o3i = e3R * w3i + e3I * w3r;
        } else {
            o1r = e1R, o1i = e1I, o2r = e2R, o2i = e2I, o3r = e3R, o3i = e3I;
        }
    }
};

// Lanes A..D of the eight in x and y, in the spelling each compiler knows.
template <int A, int B, int C, int D>
VANTEL_INLINE Vec4 shuffle4(Vec4 x, Vec4 y) {
#if defined(__clang__)
    return __builtin_shufflevector(x, y, A, B, C, D);
#else
    using Index = long __attribute__((vector_size(32)));
    return __builtin_shuffle(x, y, Index{A, B, C, D});
#endif
}

// Stores o0..o3 (each over four consecutive p) as y[4p + k]: a 4 x 4 transpose.
VANTEL_INLINE void storeTransposed(double* y, Vec4 o0, Vec4 o1, Vec4 o2, Vec4 o3) {
    const Vec4 t0 = shuffle4<0, 4, 2, 6>(o0, o1);
    const Vec4 t1 = shuffle4<1, 5, 3, 7>(o0, o1);
    const Vec4 t2 = shuffle4<0, 4, 2, 6>(o2, o3);
    const Vec4 t3 = shuffle4<1, 5, 3, 7>(o2, o3);
    store4(y, shuffle4<0, 1, 4, 5>(t0, t2));
    store4(y + 4, shuffle4<0, 1, 4, 5>(t1, t3));
    store4(y + 8, shuffle4<2, 3, 6, 7>(t0, t2));
    store4(y + 12, shuffle4<2, 3, 6, 7>(t1, t3));
}

// The first stage (s = 1): four p at a time, each butterfly's outputs side by side.
VANTEL_INLINE void radix4FirstStage(const double* xr, const double* xi, double* yr, double* yi, const StageTwiddles& w,
                             std::size_t quarter, double sign) {
    const std::size_t q1 = quarter, q2 = 2 * quarter, q3 = 3 * quarter;
    std::size_t p = 0;
    for (; p + 4 <= quarter; p += 4) {
        const Radix4<Vec4> r(load4(xr + p), load4(xi + p), load4(xr + p + q1), load4(xi + p + q1),
                             load4(xr + p + q2), load4(xi + p + q2), load4(xr + p + q3), load4(xi + p + q3),
                             load4(w.w1r + p), load4(w.w1i + p), load4(w.w2r + p), load4(w.w2i + p),
                             load4(w.w3r + p), load4(w.w3i + p), sign);
        storeTransposed(yr + 4 * p, r.o0r, r.o1r, r.o2r, r.o3r);
        storeTransposed(yi + 4 * p, r.o0i, r.o1i, r.o2i, r.o3i);
    }
    for (; p < quarter; ++p) {
        const Radix4<double> r(xr[p], xi[p], xr[p + q1], xi[p + q1], xr[p + q2], xi[p + q2], xr[p + q3],
                               xi[p + q3], w.w1r[p], w.w1i[p], w.w2r[p], w.w2i[p], w.w3r[p], w.w3i[p], sign);
        const double outR[4] = {r.o0r, r.o1r, r.o2r, r.o3r};
        const double outI[4] = {r.o0i, r.o1i, r.o2i, r.o3i};
        std::memcpy(yr + 4 * p, outR, sizeof outR);
        std::memcpy(yi + 4 * p, outI, sizeof outI);
    }
}

// The butterflies of one p in a later stage: s consecutive q sharing twiddles.
template <bool kTwiddled>
VANTEL_INLINE void radix4Column(const double* xr, const double* xi, double* yr, double* yi, const StageTwiddles& w,
                                std::size_t quarter, std::size_t s, std::size_t p, double sign) {
    const std::size_t q1 = s * quarter, q2 = 2 * q1, q3 = 3 * q1;
    const Vec4 w1r = Vec4{} + w.w1r[p], w1i = Vec4{} + w.w1i[p];
    const Vec4 w2r = Vec4{} + w.w2r[p], w2i = Vec4{} + w.w2i[p];
    const Vec4 w3r = Vec4{} + w.w3r[p], w3i = Vec4{} + w.w3i[p];
    for (std::size_t q = 0; q < s; q += 4) {
        const std::size_t a = s * p + q;
        const std::size_t o = 4 * s * p + q;
        const Radix4<Vec4, kTwiddled> r(load4(xr + a), load4(xi + a), load4(xr + a + q1), load4(xi + a + q1),
                                        load4(xr + a + q2), load4(xi + a + q2), load4(xr + a + q3),
                                        load4(xi + a + q3), w1r, w1i, w2r, w2i, w3r, w3i, sign);
        store4(yr + o, r.o0r);
        store4(yi + o, r.o0i);
        store4(yr + o + s, r.o1r);
        store4(yi + o + s, r.o1i);
        store4(yr + o + 2 * s, r.o2r);
        store4(yi + o + 2 * s, r.o2i);
        store4(yr + o + 3 * s, r.o3r);
        store4(yi + o + 3 * s, r.o3i);
    }
}

// A later stage (s a multiple of 4). Its p = 0 has unit twiddles; in the last
// stage that is every butterfly.
VANTEL_INLINE void radix4LaterStage(const double* xr, const double* xi, double* yr, double* yi, const StageTwiddles& w,
                             std::size_t quarter, std::size_t s, double sign) {
    radix4Column<false>(xr, xi, yr, yi, w, quarter, s, 0, sign);
    for (std::size_t p = 1; p < quarter; ++p) radix4Column<true>(xr, xi, yr, yi, w, quarter, s, p, sign);
}

// One radix-4 Stockham stage over blocks of `len`, s apart: x into y. Stages
// after the first have s >= 4 only when the size allows; tiny transforms take
// the first-stage path throughout.
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

// Lanes in reverse order.
VANTEL_INLINE Vec4 reversed(Vec4 v) { return shuffle4<3, 2, 1, 0>(v, v); }

// Real input as the half-size complex sequence z[k] = x[2k] + j x[2k+1].
VANTEL_MULTIVERSION
void deinterleave(const double* x, double* re, double* im, std::size_t half) {
    std::size_t k = 0;
    for (; k + 4 <= half; k += 4) {
        const Vec4 a = load4(x + 2 * k);
        const Vec4 b = load4(x + 2 * k + 4);
        store4(re + k, shuffle4<0, 2, 4, 6>(a, b));
        store4(im + k, shuffle4<1, 3, 5, 7>(a, b));
    }
    for (; k < half; ++k) {
        re[k] = x[2 * k];
        im[k] = x[2 * k + 1];
    }
}

VANTEL_MULTIVERSION
void interleave(const double* re, const double* im, double* x, std::size_t half) {
    std::size_t k = 0;
    for (; k + 4 <= half; k += 4) {
        const Vec4 r = load4(re + k);
        const Vec4 i = load4(im + k);
        store4(x + 2 * k, shuffle4<0, 4, 1, 5>(r, i));
        store4(x + 2 * k + 4, shuffle4<2, 6, 3, 7>(r, i));
    }
    for (; k < half; ++k) {
        x[2 * k] = re[k];
        x[2 * k + 1] = im[k];
    }
}

// One bin of the real transform from Z at k (a) and its mirror n - k (b):
// E = (Z[k] + conj Z[n-k]) / 2, O = (Z[k] - conj Z[n-k]) / 2j, X = E + w^k O.
template <typename T>
VANTEL_INLINE void splitBin(T ar, T ai, T br, T bi, T wr, T wi, T& re, T& im) {
    const T er = 0.5 * (ar + br);
    const T ei = 0.5 * (ai - bi);
    const T oddR = 0.5 * (ai + bi);
    const T oddI = -0.5 * (ar - br);
    re = er + (oddR * wr - oddI * wi);
    im = ei + (oddR * wi + oddI * wr);
}

// Bins 0..half of the real transform from Z, the transform of z.
VANTEL_MULTIVERSION
void splitSpectrum(const double* zr, const double* zi, const double* wr, const double* wi, double* re, double* im,
                   std::size_t half) {
    splitBin(zr[0], zi[0], zr[0], zi[0], wr[0], wi[0], re[0], im[0]);
    std::size_t k = 1;
    for (; k + 4 <= half; k += 4) {
        const std::size_t mirror = half - k - 3;  // lanes run down from half - k
        Vec4 outR, outI;
        splitBin(load4(zr + k), load4(zi + k), reversed(load4(zr + mirror)), reversed(load4(zi + mirror)),
                 load4(wr + k), load4(wi + k), outR, outI);
        store4(re + k, outR);
        store4(im + k, outI);
    }
    for (; k < half; ++k) splitBin(zr[k], zi[k], zr[half - k], zi[half - k], wr[k], wi[k], re[k], im[k]);
    splitBin(zr[0], zi[0], zr[0], zi[0], wr[half], wi[half], re[half], im[half]);
}

// Y = X G for bins k and m = n - k of the real transform, from and back to
// the half-size complex spectrum Z: Z'[k] = P Z[k] + Q conj Z[m], with the
// factors prepareGains folded from the gains and the packing twiddles.
template <typename T>
VANTEL_INLINE void mixBin(T zkR, T zkI, T zmR, T zmI, T pR, T pI, T qR, T qI, T& outR, T& outI) {
    outR = (pR * zkR - pI * zkI) + (qR * zmR + qI * zmI);
    outI = (pR * zkI + pI * zkR) + (qI * zmR - qR * zmI);
}

VANTEL_MULTIVERSION
void filterSpectrum(double* zr, double* zi, const SpectralGains& g, std::size_t half) {
    const double* pkR = g.pkRe.data();
    const double* pkI = g.pkIm.data();
    const double* qkR = g.qkRe.data();
    const double* qkI = g.qkIm.data();
    const double* pmR = g.pmRe.data();
    const double* pmI = g.pmIm.data();
    const double* qmR = g.qmRe.data();
    const double* qmI = g.qmIm.data();
    // Bin 0 and the middle bin are their own mirrors (two bins, as half >= 2).
    const std::size_t middle = half / 2;
    for (const std::size_t k : {std::size_t{0}, middle}) {
        mixBin(zr[k], zi[k], zr[k], zi[k], pkR[k], pkI[k], qkR[k], qkI[k], zr[k], zi[k]);
    }
    std::size_t k = 1;
    for (; k + 4 <= middle; k += 4) {
        const std::size_t m = half - k - 3;  // lanes run down from half - k
        const Vec4 zkR = load4(zr + k), zkI = load4(zi + k);
        const Vec4 zmR = reversed(load4(zr + m)), zmI = reversed(load4(zi + m));
        Vec4 outR, outI;
        mixBin(zkR, zkI, zmR, zmI, load4(pkR + k), load4(pkI + k), load4(qkR + k), load4(qkI + k), outR, outI);
        store4(zr + k, outR);
        store4(zi + k, outI);
        mixBin(zmR, zmI, zkR, zkI, load4(pmR + k), load4(pmI + k), load4(qmR + k), load4(qmI + k), outR, outI);
        store4(zr + m, reversed(outR));
        store4(zi + m, reversed(outI));
    }
    for (; k < middle; ++k) {
        const std::size_t m = half - k;
        const double zkR = zr[k], zkI = zi[k], zmR = zr[m], zmI = zi[m];
        mixBin(zkR, zkI, zmR, zmI, pkR[k], pkI[k], qkR[k], qkI[k], zr[k], zi[k]);
        mixBin(zmR, zmI, zkR, zkI, pmR[k], pmI[k], qmR[k], qmI[k], zr[m], zi[m]);
    }
}

}  // namespace

void RealFft::forward(const double* x, double* re, double* im) {
    deinterleave(x, re_.data(), im_.data(), half_);
    complexTransform(false);
    splitSpectrum(re_.data(), im_.data(), packTwiddleRe_.data(), packTwiddleIm_.data(), re, im, half_);
}

SpectralGains RealFft::prepareGains(const double* gainRe, const double* gainIm) const {
    using Complex = std::complex<double>;
    const Complex j(0, 1);
    const auto twiddle = [&](std::size_t k) { return Complex(packTwiddleRe_[k], packTwiddleIm_[k]); };
    const auto gain = [&](std::size_t k) { return Complex(gainRe[k], gainIm[k]); };
    // Unpacking gives X[k] = a Z[k] + b conj Z[m]; packing gives
    // Z'[k] = c Y[k] + d conj Y[m], with Y = G X on both bins.
    const auto factors = [&](std::size_t k, std::size_t m) {
        const Complex w = twiddle(k), wm = twiddle(m);
        const Complex a = 0.5 * (1.0 - j * w), b = 0.5 * (1.0 + j * w);
        const Complex c = 0.5 * (1.0 + j * std::conj(w)), d = 0.5 * (1.0 - j * std::conj(w));
        const Complex am = 0.5 * (1.0 - j * wm), bm = 0.5 * (1.0 + j * wm);
        const Complex gm = std::conj(gain(m));
        return std::pair{c * gain(k) * a + d * gm * std::conj(bm), c * gain(k) * b + d * gm * std::conj(am)};
    };
    SpectralGains g;
    const std::size_t count = half_ / 2 + 1;
    for (auto* v : {&g.pkRe, &g.pkIm, &g.qkRe, &g.qkIm, &g.pmRe, &g.pmIm, &g.qmRe, &g.qmIm}) v->resize(count);
    for (std::size_t k = 0; k < count; ++k) {
        // Bin 0's mirror in the real spectrum is bin n, though in Z it is 0 itself.
        const auto [p, q] = factors(k, half_ - k);
        const auto [pm, qm] = factors(half_ - k, k);
        g.pkRe[k] = p.real(), g.pkIm[k] = p.imag(), g.qkRe[k] = q.real(), g.qkIm[k] = q.imag();
        g.pmRe[k] = pm.real(), g.pmIm[k] = pm.imag(), g.qmRe[k] = qm.real(), g.qmIm[k] = qm.imag();
    }
    return g;
}

void RealFft::filter(const double* x, const SpectralGains& gains, double* y) {
    deinterleave(x, re_.data(), im_.data(), half_);
    complexTransform(false);
    filterSpectrum(re_.data(), im_.data(), gains, half_);
    complexTransform(true);
    interleave(re_.data(), im_.data(), y, half_);
}

}  // namespace vantel::filter
