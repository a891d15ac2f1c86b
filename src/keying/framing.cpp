#include "keying/framing.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace vantel::keying {
namespace {

// Appends a run, merging it into the last one of the same key state.
void append(std::vector<KeyRun>& runs, bool keyDown, std::int64_t samples) {
    if (samples <= 0) return;
    if (!runs.empty() && runs.back().keyDown == keyDown) {
        runs.back().samples += samples;
    } else {
        runs.push_back({keyDown, samples});
    }
}

// The runs' samples in [from, to), samples counted from the first run.
void appendSlice(std::vector<KeyRun>& out, const std::vector<KeyRun>& runs, std::int64_t from, std::int64_t to) {
    std::int64_t at = 0;
    for (const KeyRun& run : runs) {
        const std::int64_t start = std::max(at, from), end = std::min(at + run.samples, to);
        append(out, run.keyDown, end - start);
        at += run.samples;
        if (at >= to) break;
    }
}

// The first sample of a symbol's keying: its label starts one sample late.
std::int64_t keyedStart(const TimedLabel& label) { return label.start - 1; }

}  // namespace

TimedMessage frameMessage(const TimedMessage& message, const Framing& framing) {
    const std::vector<TimedLabel>& labels = message.labels;
    const std::int64_t leadIn = framing.duration > 0 ? std::min(framing.leadIn, framing.duration) : framing.leadIn;
    const std::size_t count = labels.size();
    auto first = static_cast<std::size_t>(std::clamp(std::floor(framing.cropFrom * static_cast<double>(count)), 0.0,
                                                      static_cast<double>(count)));
    while (first < count && labels[first].text == " ") ++first;
    // Where each symbol's keying ends with the key-up gap after it.
    auto gapEnd = [&](std::size_t j) {
        return j + 1 < count ? keyedStart(labels[j + 1]) : message.totalSamples;
    };
    const std::int64_t from = first < count ? keyedStart(labels[first]) : message.totalSamples;
    std::size_t end = count;  // one past the last symbol kept
    if (framing.duration > 0) {
        end = first;
        while (end < count && leadIn + gapEnd(end) - from <= framing.duration) ++end;
    }
    while (end > first && labels[end - 1].text == " ") --end;  // a clip ends with a character, not a gap
    const std::int64_t to = end > first ? (framing.duration > 0 ? gapEnd(end - 1) : message.totalSamples) : from;

    TimedMessage framed;
    append(framed.runs, false, leadIn);
    appendSlice(framed.runs, message.runs, from, to);
    const std::int64_t kept = leadIn + (to - from);
    append(framed.runs, false, framing.duration > 0 ? framing.duration - kept : framing.tail);
    for (std::size_t j = first; j < end; ++j) {
        const TimedLabel& label = labels[j];
        framed.labels.push_back({label.text, label.start - from + leadIn, label.end - from + leadIn});
    }
    for (const KeyRun& run : framed.runs) framed.totalSamples += run.samples;
    return framed;
}

}  // namespace vantel::keying
