#include "channel/channel_kernels.h"

#include <cmath>
#include <cstring>

#include "channel/sample_formulas.h"
#include "maths/simd.h"

namespace vantel::channel::kernels {
namespace {

// The count i as a double through a 32-bit integer, whose conversion every
// vector unit has. The loops that count go through pieces of at most kPiece
// samples, the piece's start added to their first sample number: all whole
// numbers below 2^53, so the sums are exact whatever the order.
constexpr std::size_t kPiece = std::size_t{1} << 24;
double counted(std::size_t i) { return static_cast<double>(static_cast<std::int32_t>(i)); }
double pieceStart(std::size_t start) { return static_cast<double>(start); }

}  // namespace

VANTEL_MULTIVERSION
void edge(bool keyDown, double firstPosition, double length, double* out, std::size_t n) {
    for (std::size_t start = 0; start < n; start += kPiece) {
        const std::size_t m = n - start < kPiece ? n - start : kPiece;
        const double first = firstPosition + pieceStart(start);
        double* piece = out + start;
        for (std::size_t i = 0; i < m; ++i) piece[i] = formula::edge(keyDown, first + counted(i), length);
    }
}

VANTEL_MULTIVERSION
void tone(double amplitude, const double* envelope, const double* phase, double* inPhase, double* quadrature,
          std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        inPhase[i] = amplitude * envelope[i] * fastmath::sin(formula::kTwoPi * phase[i]);
    }
    if (quadrature == nullptr) return;
    for (std::size_t i = 0; i < n; ++i) {
        quadrature[i] = amplitude * envelope[i] * fastmath::cos(formula::kTwoPi * phase[i]);
    }
}

VANTEL_MULTIVERSION
void steadyTone(double amplitude, const double* envelope, double firstSample, double increment, double startPhase,
                double* inPhase, double* quadrature, std::size_t n) {
    for (std::size_t start = 0; start < n; start += kPiece) {
        const std::size_t m = n - start < kPiece ? n - start : kPiece;
        const double sample = firstSample + pieceStart(start);
        const double* e = envelope + start;
        double* s = inPhase + start;
        for (std::size_t i = 0; i < m; ++i) {
            const double angle = formula::kTwoPi * formula::steadyPhase(sample + counted(i), increment, startPhase);
            s[i] = amplitude * e[i] * fastmath::sin(angle);
        }
        if (quadrature == nullptr) continue;
        double* c = quadrature + start;
        for (std::size_t i = 0; i < m; ++i) {
            const double angle = formula::kTwoPi * formula::steadyPhase(sample + counted(i), increment, startPhase);
            c[i] = amplitude * e[i] * fastmath::cos(angle);
        }
    }
}

VANTEL_MULTIVERSION
void driftingTone(double amplitude, const double* envelope, double firstSample, double increment,
                  double driftPerSample, double startPhase, double* inPhase, double* quadrature, std::size_t n) {
    for (std::size_t start = 0; start < n; start += kPiece) {
        const std::size_t m = n - start < kPiece ? n - start : kPiece;
        const double sample = firstSample + pieceStart(start);
        const double* e = envelope + start;
        double* s = inPhase + start;
        double* c = quadrature == nullptr ? nullptr : quadrature + start;
        for (std::size_t i = 0; i < m; ++i) {
            const double angle =
                formula::kTwoPi * formula::driftingPhase(sample + counted(i), increment, driftPerSample, startPhase);
            s[i] = amplitude * e[i] * fastmath::sin(angle);
            if (c != nullptr) c[i] = amplitude * e[i] * fastmath::cos(angle);
        }
    }
}

VANTEL_MULTIVERSION
void expGains(double scale, double exponent, double* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out[i] = scale * fastmath::exp(exponent * out[i]);
}

VANTEL_MULTIVERSION
void increments(double toneIncrement, double driftPerSample, double firstSample, bool chirping, double chirpIncrement,
                double decayPerSample, double firstSince, double* out, std::size_t n) {
    for (std::size_t start = 0; start < n; start += kPiece) {
        const std::size_t m = n - start < kPiece ? n - start : kPiece;
        const double sample = firstSample + pieceStart(start);
        const double since = firstSince + pieceStart(start);
        double* piece = out + start;
        for (std::size_t i = 0; i < m; ++i) {
            piece[i] = formula::drifted(toneIncrement, driftPerSample, sample + counted(i));
        }
        if (!chirping) continue;
        for (std::size_t i = 0; i < m; ++i) {
            piece[i] = formula::chirped(piece[i], chirpIncrement, decayPerSample, since + counted(i));
        }
    }
}

VANTEL_MULTIVERSION
void qsb(double firstSample, double cyclesPerSample, double startPhase, double exponent, double scale, double* out,
         std::size_t n) {
    for (std::size_t start = 0; start < n; start += kPiece) {
        const std::size_t m = n - start < kPiece ? n - start : kPiece;
        const double sample = firstSample + pieceStart(start);
        double* piece = out + start;
        for (std::size_t i = 0; i < m; ++i) {
            piece[i] = scale * formula::qsb(sample + counted(i), cyclesPerSample, startPhase, exponent);
        }
    }
}

VANTEL_MULTIVERSION
void interpolate(double from, double to, double invStep, double firstPosition, double* out, std::size_t n) {
    for (std::size_t start = 0; start < n; start += kPiece) {
        const std::size_t m = n - start < kPiece ? n - start : kPiece;
        const double position = firstPosition + pieceStart(start);
        double* piece = out + start;
        for (std::size_t i = 0; i < m; ++i) {
            piece[i] = formula::interpolated(from, to, (position + counted(i)) * invStep);
        }
    }
}

VANTEL_MULTIVERSION
void fadingMix(double scale, const FadingBlock& b, double* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = formula::fadingMix(scale, b.g1re[i], b.g1im[i], b.g2re[i], b.g2im[i], b.inPhase[i], b.quadrature[i],
                                    b.delayedInPhase[i], b.delayedQuadrature[i]);
    }
}

VANTEL_MULTIVERSION
void addPath(double amplitude, const PathBlock& b, double* sum, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        const formula::Complex h{amplitude * b.gRe[i], amplitude * b.gIm[i]};
        sum[i] = formula::pathSum(sum[i], h, b.inPhase[i], b.quadrature[i]);
    }
}

VANTEL_MULTIVERSION
void addShiftedPath(double anchorRe, double anchorIm, const double* turnRe, const double* turnIm,
                    const PathBlock& b, double* sum, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        const formula::Complex h =
            formula::shiftedGain({b.gRe[i], b.gIm[i]}, {anchorRe, anchorIm}, {turnRe[i], turnIm[i]});
        sum[i] = formula::pathSum(sum[i], h, b.inPhase[i], b.quadrature[i]);
    }
}

VANTEL_MULTIVERSION
void addCrashVariance(double firstSample, double crashStart, double attack, double decayPerSample, double peak,
                      double* variance, std::size_t n) {
    for (std::size_t start = 0; start < n; start += kPiece) {
        const std::size_t m = n - start < kPiece ? n - start : kPiece;
        const double sample = firstSample + pieceStart(start);
        double* piece = variance + start;
        for (std::size_t i = 0; i < m; ++i) {
            const double sigma = formula::crashSigma((sample + counted(i)) - crashStart, attack, decayPerSample, peak);
            piece[i] += sigma * sigma;
        }
    }
}

namespace {
using maths::Vec4;
}  // namespace

VANTEL_MULTIVERSION
FirSum firSum(const double* taps, const double* re, const double* im, std::size_t n) {
    Vec4 sumRe{}, sumIm{};
    std::size_t k = 0;
    for (; k + 4 <= n; k += 4) {
        Vec4 t, r, i;
        std::memcpy(&t, taps + k, sizeof t);
        std::memcpy(&r, re + k, sizeof r);
        std::memcpy(&i, im + k, sizeof i);
        sumRe += t * r;
        sumIm += t * i;
    }
    for (std::size_t lane = 0; k < n; ++k, ++lane) {
        sumRe[lane] += taps[k] * re[k];
        sumIm[lane] += taps[k] * im[k];
    }
    return {((sumRe[0] + sumRe[1]) + sumRe[2]) + sumRe[3], ((sumIm[0] + sumIm[1]) + sumIm[2]) + sumIm[3]};
}

}  // namespace vantel::channel::kernels
