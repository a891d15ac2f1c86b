#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace vantel::channel {

// Splits a stretch of keying envelope into what sounds and what is silent,
// for the paths that skip their work while a key is up. A sample is silent
// when its envelope is 0 and at least `echo` samples of envelope 0 came
// before it (a fading channel's delay line must have emptied, too).
class SilenceTracker {
public:
    explicit SilenceTracker(std::int64_t echo = 0) : echo_(echo) {}
    void reset() { zerosBefore_ = 0; }

    // Calls sound(from, to) and silence(from, to) for the spans of
    // envelope[0, n) in order.
    template <typename Sound, typename Silence>
    void split(const double* envelope, std::size_t n, Sound sound, Silence silence) {
        for (std::size_t i = 0; i < n;) {
            const std::size_t j = silentAt(envelope[i]) ? endOfSilence(envelope, i, n) : endOfSound(envelope, i, n);
            if (silentAt(envelope[i])) {
                silence(i, j);
                zerosBefore_ += static_cast<std::int64_t>(j - i);  // all of it zeros
            } else {
                sound(i, j);
                zerosBefore_ = zerosAfter(envelope, i, j);
            }
            i = j;
        }
    }

private:
    bool silentAt(double envelope) const { return envelope == 0 && zerosBefore_ >= echo_; }

    // The first index from `from` on whose envelope is (or is not) zero, or
    // n. Whole blocks are tested first without an early exit, which the
    // compiler vectorises: the scan runs over every sample of every station.
    template <bool FindZero>
    static std::size_t nextWhere(const double* envelope, std::size_t from, std::size_t n) {
        constexpr std::size_t kBlock = 16;
        std::size_t j = from;
        for (; j + kBlock <= n; j += kBlock) {
            bool any = false;
            for (std::size_t k = 0; k < kBlock; ++k) any |= (envelope[j + k] == 0) == FindZero;
            if (any) break;
        }
        while (j < n && (envelope[j] == 0) != FindZero) ++j;
        return j;
    }
    static std::size_t nextNonZero(const double* envelope, std::size_t from, std::size_t n) {
        return nextWhere<false>(envelope, from, n);
    }
    static std::size_t nextZero(const double* envelope, std::size_t from, std::size_t n) {
        return nextWhere<true>(envelope, from, n);
    }

    std::size_t endOfSilence(const double* envelope, std::size_t from, std::size_t n) const {
        return nextNonZero(envelope, from, n);
    }

    // Sound lasts until a sample that is silent: past every nonzero value and
    // the echo of zeros after it.
    std::size_t endOfSound(const double* envelope, std::size_t from, std::size_t n) const {
        std::int64_t zeros = zerosBefore_;
        for (std::size_t j = from; j < n;) {
            if (envelope[j] != 0) {
                j = nextZero(envelope, j, n);
                zeros = 0;
                continue;
            }
            if (zeros >= echo_) return j;
            const std::size_t zerosEnd = nextNonZero(envelope, j, n);
            const auto needed = static_cast<std::size_t>(echo_ - zeros);
            if (zerosEnd - j >= needed) return j + needed;
            zeros += static_cast<std::int64_t>(zerosEnd - j);
            j = zerosEnd;
        }
        return n;
    }

    // The zeros the span [from, to) leaves at its end, counting those before it.
    std::int64_t zerosAfter(const double* envelope, std::size_t from, std::size_t to) const {
        std::size_t k = to;
        while (k > from && envelope[k - 1] == 0) --k;
        const auto trailing = static_cast<std::int64_t>(to - k);
        return k == from ? zerosBefore_ + trailing : trailing;
    }

    std::int64_t echo_;
    std::int64_t zerosBefore_ = 0;
};

}  // namespace vantel::channel
