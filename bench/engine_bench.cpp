// Micro-benchmarks of the generator's stages, in samples per second.
#include <benchmark/benchmark.h>

#include <optional>
#include <string>
#include <vector>

#include "channel/channel_kernels.h"
#include "channel/edge_shaper.h"
#include "channel/qrm.h"
#include "channel/qrn.h"
#include "channel/qsb.h"
#include "random/random_stream.h"
#include "channel/tone_wander.h"
#include "channel/watterson_fading.h"
#include "filter/block_fir.h"
#include "filter/fir_design.h"
#include "filter/real_fft.h"
#include "keying/morse_timing.h"
#include "synth/block_kernels.h"
#include "synth/keyed_oscillator.h"
#include "synth/noise_source.h"

namespace {

using namespace vantel;

constexpr std::size_t kBlock = 65536;

void setRate(benchmark::State& state) {
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kBlock));
}

void BM_Noise(benchmark::State& state) {
    std::vector<double> out(kBlock);
    std::uint64_t pair = 0;
    for (auto _ : state) {
        synth::kernels::noise(42, pair, 6324.6, out.data(), kBlock);
        pair += kBlock;
        benchmark::DoNotOptimize(out.data());
    }
    setRate(state);
}
BENCHMARK(BM_Noise);

void BM_OscillatorAndTone(benchmark::State& state) {
    std::vector<double> phase(kBlock), amplitude(kBlock), out(kBlock);
    synth::KeyedOscillator oscillator(800.0 / 12000, 600.0 / 12000);
    for (auto _ : state) {
        oscillator.process(true, false, phase.data(), amplitude.data(), kBlock);
        synth::kernels::tone(phase.data(), amplitude.data(), out.data(), kBlock);
        benchmark::DoNotOptimize(out.data());
    }
    setRate(state);
}
BENCHMARK(BM_OscillatorAndTone);

void BM_OscillatorFill(benchmark::State& state) {
    std::vector<double> phase(kBlock), amplitude(kBlock);
    synth::KeyedOscillator oscillator(800.0 / 48000, 600.0 / 48000);
    for (auto _ : state) {
        oscillator.process(true, false, phase.data(), amplitude.data(), kBlock);
        benchmark::DoNotOptimize(phase.data());
    }
    setRate(state);
}
BENCHMARK(BM_OscillatorFill);

void BM_BlockFir(benchmark::State& state) {
    const auto length = static_cast<std::int16_t>(state.range(0));
    filter::CoefficientStore coeffs{};
    filter::designBandPass(coeffs, 800, 48000.0 * 4 / length, 48000, length);
    filter::FirRing ring;
    filter::BlockFir fir;
    std::vector<double> in(kBlock, 1000.0), out(kBlock);
    for (auto _ : state) {
        fir.process(ring, coeffs, length, in.data(), out.data(), kBlock);
        benchmark::DoNotOptimize(out.data());
    }
    setRate(state);
}
BENCHMARK(BM_BlockFir)->Arg(200)->Arg(1920)->Arg(4096);

// One block through the transform filter; the rate is in block samples.
void BM_FftFilter(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    filter::RealFft fft(size);
    std::vector<double> in(size, 1000.0), gainRe(fft.bins(), 0.5), gainIm(fft.bins(), 0.25), out(size);
    const filter::SpectralGains gains = fft.prepareGains(gainRe.data(), gainIm.data());
    for (auto _ : state) {
        fft.filter(in.data(), gains, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * size));
}
BENCHMARK(BM_FftFilter)->RangeMultiplier(2)->Range(1024, 32768);

void BM_Limit(benchmark::State& state) {
    std::vector<double> in(kBlock);
    for (std::size_t i = 0; i < kBlock; ++i) in[i] = static_cast<double>(i % 70000) - 35000;
    std::vector<std::int16_t> out(kBlock);
    synth::LevelStats stats;
    for (auto _ : state) {
        synth::kernels::limit(in.data(), 1.0, out.data(), kBlock, stats);
        benchmark::DoNotOptimize(out.data());
    }
    setRate(state);
}
BENCHMARK(BM_Limit);

// The band-condition effects, each in samples per second at 12 kHz on
// "PARIS " repeated at 20 WPM, in blocks of kBlock.
constexpr double kBandRate = 12000;

// Blocks of kBlock until `total` samples, then from the start again: the
// objects walk a file of that length, as they would in a run.
template <typename Object>
void restartAtFileEnd(Object& object, std::int64_t& done, std::int64_t total) {
    done += static_cast<std::int64_t>(kBlock);
    if (done + static_cast<std::int64_t>(kBlock) > total) {
        object.reset();
        done = 0;
    }
}

keying::TimedMessage parisMessage(int words, const keying::TimingOptions& options = {}) {
    std::string message;
    for (int i = 0; i < words; ++i) message += "PARIS ";
    return keying::timeMessage(keying::parseExtendedMessage(message), kBandRate, 20, options, 1);
}

// 0: one draw per call, 1: a block at once.
void BM_RandomStreamGaussian(benchmark::State& state) {
    random::RandomStream stream(1, random::StreamId::Jitter);
    std::vector<double> out(kBlock);
    for (auto _ : state) {
        if (state.range(0) == 0) {
            for (double& x : out) x = stream.gaussian();
        } else {
            stream.fillGaussians(out.data(), kBlock);
        }
        benchmark::DoNotOptimize(out.data());
    }
    setRate(state);
}
BENCHMARK(BM_RandomStreamGaussian)->Arg(0)->Arg(1);

// Rate in samples of the timed message: Farnsworth at 10 WPM and 10 % jitter.
void BM_MorseTiming(benchmark::State& state) {
    const keying::TimingOptions options{10, 1, 3, 50, 10, 0};
    std::int64_t samples = 0;
    for (auto _ : state) {
        const keying::TimedMessage timed = parisMessage(200, options);
        samples += timed.totalSamples;
        benchmark::DoNotOptimize(timed.runs.data());
    }
    state.SetItemsProcessed(samples);
}
BENCHMARK(BM_MorseTiming);

void BM_EdgeShaper(benchmark::State& state) {
    const keying::TimedMessage timed = parisMessage(2000);
    channel::EdgeShaper shaper(timed.runs, channel::riseSamples(5, kBandRate));
    std::vector<double> out(kBlock);
    std::int64_t done = 0;
    for (auto _ : state) {
        shaper.process(out.data(), kBlock);
        benchmark::DoNotOptimize(out.data());
        restartAtFileEnd(shaper, done, timed.totalSamples);
    }
    setRate(state);
}
BENCHMARK(BM_EdgeShaper);

void BM_ToneWander(benchmark::State& state) {
    const keying::TimedMessage timed = parisMessage(2000);
    channel::ToneWander wander(timed.runs, kBandRate, 700, 50, 10);
    channel::PhaseAccumulator phase;
    std::vector<double> increments(kBlock), phases(kBlock);
    std::int64_t done = 0;
    for (auto _ : state) {
        wander.process(increments.data(), kBlock);
        phase.process(increments.data(), phases.data(), kBlock);
        benchmark::DoNotOptimize(phases.data());
        restartAtFileEnd(wander, done, timed.totalSamples);
    }
    setRate(state);
}
BENCHMARK(BM_ToneWander);

// Spread and delay of a preset: 0 moderate, 1 flutter.
void BM_WattersonChannel(benchmark::State& state) {
    const channel::FadingPreset preset = channel::kFadingPresets[state.range(0) == 0 ? 1 : 3];
    channel::WattersonChannel fading =
        channel::WattersonChannel::forFile(1, preset.spreadHz, preset.delayMs, kBandRate);
    std::vector<double> i(kBlock, 1000.0), q(kBlock, 500.0), out(kBlock);
    for (auto _ : state) {
        fading.process(i.data(), q.data(), out.data(), kBlock);
        benchmark::DoNotOptimize(out.data());
    }
    setRate(state);
}
BENCHMARK(BM_WattersonChannel)->Arg(0)->Arg(1);

// The mean gain power of a moderate channel over ten minutes, per sample.
void BM_WattersonMeanPower(benchmark::State& state) {
    const channel::WattersonChannel fading = channel::WattersonChannel::forFile(1, 0.5, 1, kBandRate);
    constexpr std::int64_t kTenMinutes = 600 * 12000;
    for (auto _ : state) benchmark::DoNotOptimize(fading.meanGainPower(kTenMinutes));
    state.SetItemsProcessed(state.iterations() * kTenMinutes);
}
BENCHMARK(BM_WattersonMeanPower);

void BM_Qsb(benchmark::State& state) {
    channel::QsbGain qsb = channel::QsbGain::forFile(1, 20, 8, kBandRate);
    std::vector<double> out(kBlock);
    for (auto _ : state) {
        qsb.process(out.data(), kBlock);
        benchmark::DoNotOptimize(out.data());
    }
    setRate(state);
}
BENCHMARK(BM_Qsb);

// Crashes per second.
void BM_Qrn(benchmark::State& state) {
    channel::QrnSource qrn(static_cast<double>(state.range(0)), 20, 6000, kBandRate, 1);
    std::vector<double> out(kBlock, 0.0);
    for (auto _ : state) {
        qrn.process(out.data(), kBlock);
        benchmark::DoNotOptimize(out.data());
    }
    setRate(state);
}
BENCHMARK(BM_Qrn)->Arg(2)->Arg(20);

// Three stations with 5 ms edges; 1: each faded (moderate).
void BM_Qrm(benchmark::State& state) {
    constexpr std::int64_t kTotal = 100 * 12000;
    const std::optional<channel::QrmFading> fading =
        state.range(0) ? std::optional<channel::QrmFading>({0.5, 1}) : std::nullopt;
    channel::QrmSource qrm(channel::makeQrmStations({3, 400, -6}, 700, 20, kBandRate, kTotal, 1), 14142.13,
                           channel::riseSamples(5, kBandRate), kBandRate, kTotal, 1, fading);
    std::vector<double> out(kBlock, 0.0);
    std::int64_t done = 0;
    for (auto _ : state) {
        qrm.process(out.data(), kBlock);
        benchmark::DoNotOptimize(out.data());
        restartAtFileEnd(qrm, done, kTotal);
    }
    setRate(state);
}
BENCHMARK(BM_Qrm)->Arg(0)->Arg(1);

// The whole set on one signal: Farnsworth and 10 % jitter (timed once),
// 5 ms edges, the wanted tone's in-phase and quadrature components through a
// moderate channel, three moderately faded stations and 2 crashes a second.
void BM_BandConditionsTogether(benchmark::State& state) {
    const keying::TimedMessage timed = parisMessage(40, {10, 1, 3, 50, 10, 0});
    const std::int64_t kTotal = timed.totalSamples;
    channel::EdgeShaper shaper(timed.runs, channel::riseSamples(5, kBandRate));
    channel::PhaseAccumulator phase;
    channel::WattersonChannel fading = channel::WattersonChannel::forFile(1, 0.5, 1, kBandRate);
    fading.normaliseOver(kTotal);
    channel::QrmSource qrm(channel::makeQrmStations({3, 400, -6}, 700, 20, kBandRate, kTotal, 1), 14142.13,
                           channel::riseSamples(5, kBandRate), kBandRate, kTotal, 1, channel::QrmFading{0.5, 1});
    channel::QrnSource qrn(2, 20, 6000, kBandRate, 1);
    std::vector<double> envelope(kBlock), phases(kBlock), i(kBlock), q(kBlock), out(kBlock);
    std::int64_t done = 0;
    for (auto _ : state) {
        shaper.process(envelope.data(), kBlock);
        phase.fillConstant(700 / kBandRate, phases.data(), kBlock);
        channel::kernels::tone(14142.13, envelope.data(), phases.data(), i.data(), q.data(), kBlock);
        fading.process(i.data(), q.data(), out.data(), kBlock);
        qrm.process(out.data(), kBlock);
        qrn.process(out.data(), kBlock);
        benchmark::DoNotOptimize(out.data());
        done += static_cast<std::int64_t>(kBlock);
        if (done + static_cast<std::int64_t>(kBlock) > kTotal) {
            shaper.reset();
            phase.reset();
            fading.reset();
            qrm.reset();
            qrn.reset();
            done = 0;
        }
    }
    setRate(state);
}
BENCHMARK(BM_BandConditionsTogether);

}  // namespace
