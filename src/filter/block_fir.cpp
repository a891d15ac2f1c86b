#include "filter/block_fir.h"

#include <algorithm>


namespace vantel::filter {
namespace {

std::size_t fftSizeFor(int length) {
    std::size_t size = 1024;
    while (size < 4 * static_cast<std::size_t>(length)) size *= 2;
    return size;
}


}  // namespace

void BlockFir::prepare(const CoefficientStore& coeffs, int length) {
    const auto first = coeffs.begin();
    if (length == length_ && std::equal(taps_.begin(), taps_.end(), first, first + length + 1)) return;
    length_ = length;
    taps_.assign(first, first + length + 1);
    fft_ = std::make_unique<RealFft>(fftSizeFor(length));
    const std::size_t size = fft_->size();
    // Impulse response on the newest-first axis: the two last taps both act on
    // the newest sample. The inverse transform's factor size/2 is divided out here.
    std::vector<double> impulse(size, 0.0);
    const double norm = 2.0 / static_cast<double>(size);
    impulse[0] = (taps_[length - 1] + taps_[length]) * norm;
    for (int k = 1; k < length; ++k) impulse[k] = taps_[length - 1 - k] * norm;
    std::vector<double> spectrumRe(fft_->bins()), spectrumIm(fft_->bins());
    fft_->forward(impulse.data(), spectrumRe.data(), spectrumIm.data());
    gains_ = fft_->prepareGains(spectrumRe.data(), spectrumIm.data());
    block_.assign(size, 0.0);
    result_.resize(size);
}

void BlockFir::process(FirRing& ring, const CoefficientStore& coeffs, std::int16_t length, const double* in,
                       double* out, std::size_t n) {
    const int taps = std::clamp<int>(length, 1, kMaxFirLength);
    // A position left past the ring by a shorter length is brought back by the
    // sample-by-sample step, which handles that case exactly. So are blocks too
    // short to repay a transform (a window run of very short elements).
    const bool shortBlock = n * static_cast<std::size_t>(taps + 1) < 20 * fftSizeFor(taps);
    while (n > 0 && (shortBlock || ring.position() >= taps)) {
        *out++ = ring.process(*in++, coeffs, length);
        --n;
    }
    if (n == 0) return;
    prepare(coeffs, taps);

    auto& slots = ring.delayLine();
    const int start = ring.position();
    const std::size_t history = static_cast<std::size_t>(taps - 1);
    // The ring as a line, oldest first: the slots after the write position.
    for (std::size_t j = 0; j < history; ++j) block_[j] = slots[(start + 1 + j) % taps];
    filterLinear(in, out, n);

    const std::size_t kept = std::min<std::size_t>(n, static_cast<std::size_t>(taps));
    for (std::size_t k = n - kept; k < n; ++k) slots[(start + k) % taps] = static_cast<float>(in[k]);
    ring.setPosition(static_cast<int>((start + n) % static_cast<std::size_t>(taps)));
}

void BlockFir::filterLinear(const double* in, double* out, std::size_t n) {
    const std::size_t size = fft_->size();
    const std::size_t history = static_cast<std::size_t>(length_ - 1);
    const std::size_t step = size - history;
    for (std::size_t done = 0; done < n;) {
        const std::size_t count = std::min(step, n - done);
        // The ring stores single precision; so does the block.
        for (std::size_t i = 0; i < count; ++i) block_[history + i] = static_cast<float>(in[done + i]);
        std::fill(block_.begin() + static_cast<std::ptrdiff_t>(history + count), block_.end(), 0.0);
        fft_->filter(block_.data(), gains_, result_.data());
        std::copy_n(result_.begin() + static_cast<std::ptrdiff_t>(history), count, out + done);
        // Keep the newest inputs as the next block's history.
        std::copy_n(block_.begin() + static_cast<std::ptrdiff_t>(count), history, block_.begin());
        done += count;
    }
}

}  // namespace vantel::filter
