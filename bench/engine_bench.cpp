// Micro-benchmarks of the generator's stages, in samples per second.
#include <benchmark/benchmark.h>

#include <vector>

#include "filter/block_fir.h"
#include "filter/fir_design.h"
#include "filter/real_fft.h"
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
        oscillator.fill(true, false, phase.data(), amplitude.data(), kBlock);
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
        oscillator.fill(true, false, phase.data(), amplitude.data(), kBlock);
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

}  // namespace
