#include "channel/if_filter.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <string>

#include "maths/fast_math.h"

namespace vantel::channel {
namespace {

// Complex arithmetic written out, so that the coefficients (and so the
// samples) are the same bits on every machine whatever the library's complex
// functions do.
struct Complex {
    double re, im;
};
Complex operator+(Complex a, Complex b) { return {a.re + b.re, a.im + b.im}; }
Complex operator-(Complex a, Complex b) { return {a.re - b.re, a.im - b.im}; }
Complex operator*(Complex a, Complex b) { return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re}; }
Complex operator*(double k, Complex a) { return {k * a.re, k * a.im}; }
Complex operator/(Complex a, Complex b) {
    const double d = b.re * b.re + b.im * b.im;
    return {(a.re * b.re + a.im * b.im) / d, (a.im * b.re - a.re * b.im) / d};
}
double magnitude(Complex a) { return std::sqrt(a.re * a.re + a.im * a.im); }
// The root with a non-negative real part.
Complex squareRoot(Complex a) {
    const double m = magnitude(a);
    const double re = std::sqrt((m + a.re) / 2);
    const double im = std::sqrt(std::max(0.0, (m - a.re) / 2));
    return {re, a.im < 0 ? -im : im};
}

double tangent(double x) { return fastmath::sin(x) / fastmath::cos(x); }
double sinhOf(double x) { return (fastmath::exp(x) - fastmath::exp(-x)) / 2; }
double coshOf(double x) { return (fastmath::exp(x) + fastmath::exp(-x)) / 2; }
double asinhOf(double x) { return fastmath::log(x + std::sqrt(x * x + 1)); }

// The prototype's poles in the upper half plane (their conjugates implied).
std::vector<Complex> prototypePoles(IfShape shape) {
    switch (shape) {
        case IfShape::Gaussian:
            // Roots of the reverse Bessel polynomial s^4 + 10 s^3 + 45 s^2 + 105 s + 105.
            return {{-2.1037893971796255, 2.6574180418567503}, {-2.8962106028203749, 0.86723412893449914}};
        case IfShape::Butterworth: {
            std::vector<Complex> poles;
            for (int k = 0; k < kButterworthOrder / 2; ++k) {
                const double theta = std::numbers::pi * (2 * k + 1 + kButterworthOrder) / (2 * kButterworthOrder);
                poles.push_back({fastmath::cos(theta), fastmath::sin(theta)});
            }
            return poles;
        }
        case IfShape::Crystal: {
            // Chebyshev type I: p_k = -sinh(v) sin(theta_k) + j cosh(v) cos(theta_k),
            // theta_k = (2k - 1) pi / 2n, v = asinh(1 / eps) / n.
            const double eps = std::sqrt(fastmath::exp(2 * kCrystalRippleDb * fastmath::kNepersPerDb) - 1);
            const double v = asinhOf(1 / eps) / kCrystalOrder;
            std::vector<Complex> poles;
            for (int k = 1; k <= kCrystalOrder / 2; ++k) {
                const double theta = std::numbers::pi * (2 * k - 1) / (2 * kCrystalOrder);
                poles.push_back({-sinhOf(v) * fastmath::sin(theta), coshOf(v) * fastmath::cos(theta)});
            }
            return poles;
        }
    }
    throw text::SettingError("unknown IF filter shape");
}

// |H(j w)| / |H(0)| of the all-pole prototype.
double prototypeGain(const std::vector<Complex>& poles, double w) {
    double gain = 1;
    for (const Complex& p : poles) {
        const Complex up{-p.re, w - p.im}, down{-p.re, w + p.im};
        gain *= (p.re * p.re + p.im * p.im) / (magnitude(up) * magnitude(down));
    }
    return gain;
}

// The prototype's -6 dB frequency, by bisection (the response stays above
// it below that frequency: the ripple is far smaller than 6 dB).
double sixDbFrequency(const std::vector<Complex>& poles) {
    double low = 0, high = 1e3;
    for (int i = 0; i < 200; ++i) {
        const double mid = (low + high) / 2;
        (prototypeGain(poles, mid) > 0.5 ? low : high) = mid;
    }
    return (low + high) / 2;
}

// 1 / |(1 - z^-2) / (1 + a1 z^-1 + a2 z^-2)| at z = e^{j w}.
double sectionScale(double a1, double a2, double w) {
    const double re = 1 + a1 * fastmath::cos(w) + a2 * fastmath::cos(2 * w);
    const double im = a1 * fastmath::sin(w) + a2 * fastmath::sin(2 * w);
    return std::sqrt(re * re + im * im) / (2 * std::abs(fastmath::sin(w)));
}

void checkStable(const IfFilter::Section& s) {
    if (!(s.a2 < 1 && std::abs(s.a1) < 1 + s.a2))
        throw text::SettingError("the IF filter cannot be made stable at this sample rate");
}

// The cascade over a block, its state in registers: `Lanes` filters of N
// sections with the same coefficients, each with its own history and input.
// The sum is formed in the same order as IfFilter::next().
template <std::size_t N, std::size_t Lanes>
void runSections(const IfFilter::Section* sections, IfFilter::History* const* history, const double* const* in,
                 double* const* out, std::size_t n) {
    // Lanes side by side, so that a vector register can hold them.
    double z1[N + 1][Lanes], z2[N + 1][Lanes];
    for (std::size_t l = 0; l < Lanes; ++l)
        for (std::size_t k = 0; k <= N; ++k) {
            z1[k][l] = history[l][k].z1;
            z2[k][l] = history[l][k].z2;
        }
    for (std::size_t i = 0; i < n; ++i) {
        double x[Lanes];
#pragma GCC unroll 2
        for (std::size_t l = 0; l < Lanes; ++l) x[l] = in[l][i];
#pragma GCC unroll 8
        for (std::size_t k = 0; k < N; ++k) {
            const IfFilter::Section s = sections[k];
#pragma GCC unroll 2
            for (std::size_t l = 0; l < Lanes; ++l) {
                const double y = s.g * (x[l] - z2[k][l]) - s.a2 * z2[k + 1][l] - s.a1 * z1[k + 1][l];
                z2[k][l] = z1[k][l];
                z1[k][l] = x[l];
                x[l] = y;
            }
        }
#pragma GCC unroll 2
        for (std::size_t l = 0; l < Lanes; ++l) {
            z2[N][l] = z1[N][l];
            z1[N][l] = x[l];
            out[l][i] = x[l];
        }
    }
    for (std::size_t l = 0; l < Lanes; ++l)
        for (std::size_t k = 0; k <= N; ++k) history[l][k] = {z1[k][l], z2[k][l]};
}

// Two lanes in one vector register (each lane's arithmetic is the scalar
// one, so the values are the same), which halves the work of filtering a
// signal and its wanted part together.
using Pair = double __attribute__((vector_size(16)));

template <std::size_t N>
void runPair(const IfFilter::Section* sections, IfFilter::History* const* history, const double* const* in,
             double* const* out, std::size_t n) {
    Pair z1[N + 1], z2[N + 1];
    for (std::size_t k = 0; k <= N; ++k) {
        z1[k] = Pair{history[0][k].z1, history[1][k].z1};
        z2[k] = Pair{history[0][k].z2, history[1][k].z2};
    }
    Pair g[N], a1[N], a2[N];
    for (std::size_t k = 0; k < N; ++k) {
        g[k] = Pair{sections[k].g, sections[k].g};
        a1[k] = Pair{sections[k].a1, sections[k].a1};
        a2[k] = Pair{sections[k].a2, sections[k].a2};
    }
    for (std::size_t i = 0; i < n; ++i) {
        Pair x{in[0][i], in[1][i]};
#pragma GCC unroll 8
        for (std::size_t k = 0; k < N; ++k) {
            const Pair y = g[k] * (x - z2[k]) - a2[k] * z2[k + 1] - a1[k] * z1[k + 1];
            z2[k] = z1[k];
            z1[k] = x;
            x = y;
        }
        z2[N] = z1[N];
        z1[N] = x;
        out[0][i] = x[0];
        out[1][i] = x[1];
    }
    for (std::size_t l = 0; l < 2; ++l)
        for (std::size_t k = 0; k <= N; ++k) history[l][k] = {z1[k][l], z2[k][l]};
}

template <std::size_t Lanes>
bool runFixed(const std::vector<IfFilter::Section>& sections, IfFilter::History* const* history,
              const double* const* in, double* const* out, std::size_t n) {
    switch (sections.size()) {
        case 4:
            if constexpr (Lanes == 2) runPair<4>(sections.data(), history, in, out, n);
            else runSections<4, Lanes>(sections.data(), history, in, out, n);
            return true;
        case 8:
            if constexpr (Lanes == 2) runPair<8>(sections.data(), history, in, out, n);
            else runSections<8, Lanes>(sections.data(), history, in, out, n);
            return true;
        default: return false;
    }
}

std::complex<double> sectionResponse(const IfFilter::Section& s, double w) {
    const std::complex<double> z1 = std::polar(1.0, -w), z2 = z1 * z1;
    return s.g * (1.0 - z2) / (1.0 + s.a1 * z1 + s.a2 * z2);
}

}  // namespace

IfFilter::IfFilter(IfShape shape, double centreHz, double bandwidthHz, double sampleRate)
    : sampleRate_(sampleRate), centre_(centreHz) {
    limits::kIfBandwidth.check(bandwidthHz);
    text::checkSampleRate(sampleRate);
    const double lowest = kLowestEdgeOfTone * centreHz, highest = kHighestEdgeOfRate * sampleRate;
    if (!(centreHz > 0 && centreHz < highest))
        throw text::SettingError("bad tone for the IF filter '" + text::shortestText(centreHz) + "': use more than 0 up to " +
                                 text::shortestText(highest) + " Hz at this sample rate");
    lowEdge_ = centreHz - bandwidthHz / 2;
    highEdge_ = centreHz + bandwidthHz / 2;
    if (lowEdge_ < lowest) {
        highEdge_ += lowest - lowEdge_;
        lowEdge_ = lowest;
    }
    if (highEdge_ > highest) {
        lowEdge_ = std::max(lowest, lowEdge_ - (highEdge_ - highest));
        highEdge_ = highest;
    }

    const double w1 = tangent(std::numbers::pi * lowEdge_ / sampleRate);
    const double w2 = tangent(std::numbers::pi * highEdge_ / sampleRate);
    const double b = w2 - w1;
    const Complex w0Squared4{4 * w1 * w2, 0};
    const double w = 2 * std::numbers::pi * centreHz / sampleRate;
    const std::vector<Complex> poles = prototypePoles(shape);
    const double scale = 1 / sixDbFrequency(poles);
    for (const Complex& lowPass : poles) {
        const Complex pb = (scale * b) * lowPass;
        const Complex root = squareRoot(pb * pb - w0Squared4);
        for (const Complex& s : {0.5 * (pb + root), 0.5 * (pb - root)}) {
            const Complex one{1, 0};
            const Complex z = (one + s) / (one - s);
            Section section{1, -2 * z.re, z.re * z.re + z.im * z.im};
            checkStable(section);
            section.g = sectionScale(section.a1, section.a2, w);
            sections_.push_back(section);
        }
    }
    history_.assign(sections_.size() + 1, History{});
    noiseBandwidth_ = measureNoiseBandwidth();
    delay_ = measureDelay();
}

double IfFilter::next(double x) {
    double in = x;
    for (std::size_t k = 0; k < sections_.size(); ++k) {
        const Section& s = sections_[k];
        History& input = history_[k];
        const History& output = history_[k + 1];
        const double y = s.g * (in - input.z2) - s.a2 * output.z2 - s.a1 * output.z1;
        input.z2 = input.z1;
        input.z1 = in;
        in = y;
    }
    History& last = history_.back();
    last.z2 = last.z1;
    last.z1 = in;
    return in;
}

void IfFilter::process(const double* in, double* out, std::size_t n) {
    History* const history[] = {history_.data()};
    if (runFixed<1>(sections_, history, &in, &out, n)) return;
    for (std::size_t i = 0; i < n; ++i) out[i] = next(in[i]);
}

void IfFilter::processTwo(IfFilter& first, const double* in1, double* out1, IfFilter& second, const double* in2,
                          double* out2, std::size_t n) {
    History* const history[] = {first.history_.data(), second.history_.data()};
    const double* const in[] = {in1, in2};
    double* const out[] = {out1, out2};
    if (first.sections_.size() == second.sections_.size() && runFixed<2>(first.sections_, history, in, out, n))
        return;
    first.process(in1, out1, n);
    second.process(in2, out2, n);
}

void IfFilter::reset() { history_.assign(history_.size(), History{}); }

double IfFilter::gainAt(double hz) const {
    const double w = 2 * std::numbers::pi * hz / sampleRate_;
    std::complex<double> h = 1;
    for (const Section& s : sections_) h *= sectionResponse(s, w);
    return std::abs(h);
}

// By Parseval: white noise of variance v (one-sided density v / (fs / 2))
// comes out with power v times the impulse response's energy.
double IfFilter::measureNoiseBandwidth() const {
    constexpr std::size_t kBlock = 4096;
    constexpr double kRest = 1e-14;  // the tail's energy left out, relative
    constexpr std::size_t kLongest = std::size_t{1} << 26;
    IfFilter copy = *this;
    copy.reset();
    double energy = 0;
    double x = 1;
    for (std::size_t done = 0; done < kLongest; done += kBlock) {
        double block = 0;
        for (std::size_t i = 0; i < kBlock; ++i, x = 0) {
            const double y = copy.next(x);
            block += y * y;
        }
        energy += block;
        if (done > 0 && block < kRest * energy) break;
    }
    return energy * sampleRate_ / 2;
}

// -d(phase)/dw at the tone, from the response a little either side.
double IfFilter::measureDelay() const {
    const double w = 2 * std::numbers::pi * centre_ / sampleRate_;
    const double dw = 1e-4 * 2 * std::numbers::pi * (highEdge_ - lowEdge_) / sampleRate_;
    std::complex<double> above = 1, below = 1;
    for (const Section& s : sections_) {
        above *= sectionResponse(s, w + dw);
        below *= sectionResponse(s, w - dw);
    }
    return -std::arg(above * std::conj(below)) / (2 * dw);
}

}  // namespace vantel::channel
