#include "channel/qrm.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "channel/band_conditions.h"
#include "channel/channel_kernels.h"
#include "channel/qrm_traffic.h"
#include "random/random_stream.h"
#include "channel/sample_formulas.h"
#include "keying/extended_morse.h"
#include "maths/fast_math.h"
#include "text/number_text.h"

namespace vantel::channel {
namespace {

// "#" stands for the station's call sign, "%" for the one it answers.
constexpr std::array<const char*, 5> kPatterns{{
    "CQ CQ DE # # K",
    "CQ TEST # # TEST",
    "% DE # 5NN TU",
    "TEST #",
    "QRZ? DE # K",
}};

double uniformIn(random::RandomStream& stream, double low, double high) { return low + (high - low) * stream.uniform(); }

char pick(random::RandomStream& stream, char first, int count) {
    return static_cast<char>(first + static_cast<int>(stream.uniform() * count));
}

}  // namespace

// One or two letters, a digit, one to three letters; always nine draws, so
// that the message is the only thing a call sign's length changes.
std::string callSign(random::RandomStream& stream) {
    const int prefix = 1 + static_cast<int>(stream.uniform() * 2);
    const int suffix = 1 + static_cast<int>(stream.uniform() * 3);
    std::array<char, 2> prefixLetters{pick(stream, 'A', 26), pick(stream, 'A', 26)};
    const char digit = pick(stream, '0', 10);
    std::array<char, 3> suffixLetters{pick(stream, 'A', 26), pick(stream, 'A', 26), pick(stream, 'A', 26)};
    return std::string(prefixLetters.data(), static_cast<std::size_t>(prefix)) + digit +
           std::string(suffixLetters.data(), static_cast<std::size_t>(suffix));
}

namespace {

std::string stationMessage(random::RandomStream& stream) {
    const std::string pattern = kPatterns[static_cast<std::size_t>(stream.uniform() * kPatterns.size())];
    const std::string own = callSign(stream);
    const std::string other = callSign(stream);
    std::string message;
    for (char c : pattern) message += c == '#' ? own : c == '%' ? other : std::string(1, c);
    return message;
}

// The runs from the file's start: a key-up run until the station starts,
// then its sendings, cut at the file's end.
std::vector<keying::KeyRun> fileRuns(const std::vector<keying::KeyRun>& sent, std::int64_t start,
                                     std::int64_t totalSamples) {
    std::vector<keying::KeyRun> runs;
    if (start > 0) runs.push_back({false, std::min(start, totalSamples)});
    std::int64_t at = start;
    for (const keying::KeyRun& run : sent) {
        if (at >= totalSamples) break;
        const std::int64_t length = std::min(run.samples, totalSamples - at);
        if (!runs.empty() && runs.back().keyDown == run.keyDown) {
            runs.back().samples += length;
        } else {
            runs.push_back({run.keyDown, length});
        }
        at += length;
    }
    return runs;
}

// Times the message repeated often enough to reach the file's end.
void timeStation(QrmStation& station, double sampleRate, std::int64_t totalSamples) {
    const std::string sending = station.message + " ";
    const keying::TimedMessage once =
        keying::timeMessage(keying::parseExtendedMessage(sending), sampleRate, station.wpm);
    const std::int64_t needed = std::max<std::int64_t>(totalSamples - station.startSample, 1);
    const std::int64_t repeats = needed / std::max<std::int64_t>(once.totalSamples, 1) + 2;
    std::string text;
    for (std::int64_t r = 0; r < repeats; ++r) text += sending;
    const keying::TimedMessage all = keying::timeMessage(keying::parseExtendedMessage(text), sampleRate, station.wpm);
    station.runs = fileRuns(all.runs, station.startSample, totalSamples);
    for (const keying::TimedLabel& label : all.labels) {
        const std::int64_t start = label.start + station.startSample;
        if (start >= totalSamples) break;
        station.labels.push_back({label.text, start, std::min(label.end + station.startSample, totalSamples)});
    }
}

QrmStation drawStation(random::RandomStream stream, const QrmSettings& settings, double toneHz, double wantedWpm,
                       double sampleRate) {
    QrmStation station;
    station.wpm = wantedWpm * uniformIn(stream, 1 - kQrmSpeedSpread, 1 + kQrmSpeedSpread);
    const double low = std::max(0.0, toneHz - settings.spreadHz);
    const double high = std::min(sampleRate / 2, toneHz + settings.spreadHz);
    station.frequencyHz = uniformIn(stream, low, std::max(low, high));
    station.levelDb = settings.levelDb + uniformIn(stream, -kQrmLevelSpreadDb, kQrmLevelSpreadDb);
    const double startS = uniformIn(stream, 0, kQrmLatestStartS);
    station.startSample = static_cast<std::int64_t>(text::roundHalfEven(startS * sampleRate));
    station.startPhase = stream.uniform();
    station.message = stationMessage(stream);
    return station;
}

}  // namespace

std::vector<QrmStation> makeQrmStations(const QrmSettings& settings, double toneHz, double wantedWpm,
                                        double sampleRate, std::int64_t totalSamples, std::uint64_t fileSeed) {
    limits::kQrmStations.check(settings.stations);
    limits::kQrmSpread.check(settings.spreadHz);
    limits::kQrmLevel.check(settings.levelDb);
    text::checkSampleRate(sampleRate);
    if (!(std::isfinite(toneHz) && toneHz >= 0)) throw text::SettingError("bad tone frequency '" + text::shortestText(toneHz) + "'");
    if (settings.traffic != QrmTraffic::Continuous) {
        return makeTrafficStations(settings, toneHz, wantedWpm, sampleRate, totalSamples, fileSeed);
    }
    const random::RandomStream qrm(fileSeed, random::StreamId::Qrm);
    std::vector<QrmStation> stations;
    for (int k = 0; k < settings.stations; ++k) {
        const auto sub = static_cast<std::uint64_t>(k);
        stations.push_back(drawStation(qrm.derive(sub), settings, toneHz, wantedWpm, sampleRate));
        timeStation(stations.back(), sampleRate, totalSamples);
    }
    return stations;
}

double stationAmplitude(const QrmStation& station, double wantedAmplitude) {
    return wantedAmplitude * fastmath::exp(station.levelDb * fastmath::kNepersPerDb);
}

QrmSource::QrmSource(std::vector<QrmStation> stations, double wantedAmplitude, std::int64_t riseSamples,
                     double sampleRate, std::int64_t totalSamples, std::uint64_t fileSeed,
                     std::optional<QrmFading> fading)
    : stations_(std::move(stations)) {
    text::checkSampleRate(sampleRate);
    const random::RandomStream path1(fileSeed, random::StreamId::QrmFadingPath1);
    const random::RandomStream path2(fileSeed, random::StreamId::QrmFadingPath2);
    for (std::size_t k = 0; k < stations_.size(); ++k) {
        const QrmStation& station = stations_[k];
        Voice voice{EdgeShaper(station.runs, riseSamples), station.frequencyHz / sampleRate, station.startPhase,
                    stationAmplitude(station, wantedAmplitude), std::nullopt, SilenceTracker(), std::nullopt,
                    PhaseAccumulator(station.startPhase), 0.0};
        // A chirp's phase is a running sum; a drift alone has a closed form,
        // which spares its silent stretches.
        if (station.chirpHz != 0) {
            voice.wander.emplace(station.runs, sampleRate, station.frequencyHz, station.chirpHz, station.driftHzPerMin);
        } else {
            voice.drift = station.driftHzPerMin / 60 / sampleRate / sampleRate;
        }
        if (station.fadingSpreadHz > 0) {
            voice.channel.emplace(station.fadingSpreadHz, station.fadingDelayMs, sampleRate, path1.derive(k),
                                  path2.derive(k));
            voice.channel->normaliseOver(totalSamples);
            voice.silence = SilenceTracker(voice.channel->delaySamples());
        } else if (fading && !fading->paths.empty()) {
            voice.paths.emplace(MultipathChannel::forStation(fileSeed, k, fading->paths, sampleRate));
            voice.paths->normaliseOver(totalSamples);
            voice.silence = SilenceTracker(voice.paths->delaySamples());
        } else if (fading) {
            voice.channel.emplace(fading->spreadHz, fading->delayMs, sampleRate, path1.derive(k), path2.derive(k));
            voice.channel->normaliseOver(totalSamples);
            voice.silence = SilenceTracker(voice.channel->delaySamples());
        }
        voices_.push_back(std::move(voice));
    }
}

double QrmSource::voiceSample(Voice& voice) const {
    const double envelope = voice.shaper.next();
    const auto sample = static_cast<double>(sample_);
    const double phase =
        voice.wander       ? voice.phase.next(voice.wander->nextIncrement())
        : voice.drift != 0 ? formula::driftingPhase(sample, voice.increment, voice.drift, voice.startPhase)
                           : formula::steadyPhase(sample, voice.increment, voice.startPhase);
    const double angle = formula::kTwoPi * phase;
    const double a = voice.amplitude * envelope;
    if (voice.channel) return voice.channel->next(a * fastmath::sin(angle), a * fastmath::cos(angle));
    if (voice.paths) return voice.paths->next(a * fastmath::sin(angle), a * fastmath::cos(angle));
    return a * fastmath::sin(angle);
}

double QrmSource::next() {
    double sum = 0;
    for (Voice& voice : voices_) sum += voiceSample(voice);
    ++sample_;
    return sum;
}

// A station is silent between its marks most of the time. Where its key is
// up and its fading's delay line has emptied, it adds nothing: the tone and
// the channel are not computed there, only the fading's gains move on. What
// is left out is 0 (or -0) in every sample, so the sum is the same.
void QrmSource::addVoice(Voice& voice, double* sum, std::size_t n) {
    voice.shaper.process(envelope_.data(), n);
    // A wandering tone's phase is a running sum: made for every sample.
    if (voice.wander) {
        voice.wander->process(increments_.data(), n);
        voice.phase.process(increments_.data(), phases_.data(), n);
    }
    voice.silence.split(
        envelope_.data(), n, [&](std::size_t from, std::size_t to) { addSounding(voice, sum, from, to); },
        [&](std::size_t from, std::size_t to) {
            if (voice.channel) voice.channel->skipSilence(static_cast<std::int64_t>(to - from));
            if (voice.paths) voice.paths->skipSilence(static_cast<std::int64_t>(to - from));
        });
}

void QrmSource::addSounding(Voice& voice, double* sum, std::size_t from, std::size_t to) {
    const std::size_t n = to - from;
    double* quadrature = voice.channel || voice.paths ? quadrature_.data() : nullptr;
    const auto first = static_cast<double>(sample_ + static_cast<std::int64_t>(from));
    if (voice.wander) {
        kernels::tone(voice.amplitude, envelope_.data() + from, phases_.data() + from, inPhase_.data(), quadrature, n);
    } else if (voice.drift != 0) {
        kernels::driftingTone(voice.amplitude, envelope_.data() + from, first, voice.increment, voice.drift,
                              voice.startPhase, inPhase_.data(), quadrature, n);
    } else {
        kernels::steadyTone(voice.amplitude, envelope_.data() + from,
                            static_cast<double>(sample_ + static_cast<std::int64_t>(from)), voice.increment,
                            voice.startPhase, inPhase_.data(), quadrature, n);
    }
    const double* tone = inPhase_.data();
    if (voice.channel) {
        voice.channel->process(inPhase_.data(), quadrature_.data(), faded_.data(), n);
        tone = faded_.data();
    } else if (voice.paths) {
        voice.paths->process(inPhase_.data(), quadrature_.data(), faded_.data(), n);
        tone = faded_.data();
    }
    for (std::size_t i = 0; i < n; ++i) sum[from + i] += tone[i];
}

void QrmSource::process(double* out, std::size_t n) {
    for (auto* scratch : {&envelope_, &inPhase_, &quadrature_, &faded_, &sum_, &increments_, &phases_}) scratch->resize(kChunk);
    for (std::size_t done = 0; done < n;) {
        const std::size_t count = std::min(kChunk, n - done);
        // The voices summed in the order next() sums them.
        std::fill(sum_.begin(), sum_.begin() + static_cast<std::ptrdiff_t>(count), 0.0);
        for (Voice& voice : voices_) addVoice(voice, sum_.data(), count);
        std::copy(sum_.begin(), sum_.begin() + static_cast<std::ptrdiff_t>(count), out + done);
        sample_ += static_cast<std::int64_t>(count);
        done += count;
    }
}

void QrmSource::reset() {
    for (Voice& voice : voices_) {
        voice.shaper.reset();
        if (voice.channel) voice.channel->reset();
        if (voice.paths) voice.paths->reset();
        if (voice.wander) voice.wander->reset();
        voice.phase.reset();
        voice.silence.reset();
    }
    sample_ = 0;
}

}  // namespace vantel::channel
