#include "channel/receiver.h"

#include <algorithm>

namespace vantel::channel {

Receiver::Receiver(const BandConditions& conditions, double toneHz, double referenceAmplitude, double sampleRate,
                   std::uint64_t fileSeed)
    : Receiver(conditions.ifShape, conditions.ifBandwidthHz, conditions.agc, conditions.humHz, conditions.humLevelDb,
               toneHz, referenceAmplitude, sampleRate, fileSeed) {}

Receiver::Receiver(IfShape shape, double bandwidthHz, AgcSpeed agc, double humHz, double humLevelDb, double toneHz,
                   double referenceAmplitude, double sampleRate, std::uint64_t fileSeed)
    : filter_(shape, toneHz, bandwidthHz, sampleRate),
      wantedFilter_(filter_),
      agc_(agc, referenceAmplitude, sampleRate),
      hum_(Hum::forFile(fileSeed, humHz, humLevelDb, referenceAmplitude, sampleRate)) {}

double Receiver::next(double x) {
    const double y = filter_.next(x);
    return agc_.gain(y) * y + hum_.next();
}

double Receiver::next(double x, double wanted, double& wantedOut) {
    const double y = filter_.next(x);
    const double g = agc_.gain(y);
    wantedOut = g * wantedFilter_.next(wanted);
    return g * y + hum_.next();
}

void Receiver::process(const double* in, double* out, std::size_t n) {
    double gain[kChunk];
    for (std::size_t start = 0; start < n; start += kChunk) {
        const std::size_t m = std::min(kChunk, n - start);
        double* o = out + start;
        filter_.process(in + start, o, m);
        agc_.gains(o, gain, m);
        for (std::size_t i = 0; i < m; ++i) o[i] *= gain[i];
        hum_.process(o, m);
    }
}

void Receiver::process(const double* in, const double* wanted, double* out, double* wantedOut, std::size_t n) {
    double gain[kChunk];
    for (std::size_t start = 0; start < n; start += kChunk) {
        const std::size_t m = std::min(kChunk, n - start);
        double* o = out + start;
        double* w = wantedOut + start;
        IfFilter::processTwo(filter_, in + start, o, wantedFilter_, wanted + start, w, m);
        agc_.gains(o, gain, m);
        for (std::size_t i = 0; i < m; ++i) {
            o[i] *= gain[i];
            w[i] *= gain[i];
        }
        hum_.process(o, m);
    }
}

void Receiver::reset() {
    filter_.reset();
    wantedFilter_.reset();
    agc_.reset();
    hum_.reset();
}

}  // namespace vantel::channel
