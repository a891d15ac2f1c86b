#include "channel/qrm_traffic.h"

#include <algorithm>
#include <array>

#include "keying/extended_morse.h"
#include "keying/morse_timing.h"
#include "maths/fast_math.h"
#include "text/limit.h"
#include "text/number_text.h"

namespace vantel::channel {
namespace {

constexpr std::array<const char*, 12> kNames{
    {"JOHN", "PETE", "BOB", "ANNA", "HANS", "YURI", "KEN", "MARIA", "TOM", "JIM", "LUC", "PAOLO"}};
constexpr std::array<const char*, 12> kPlaces{
    {"BERLIN", "OSLO", "LYON", "TURIN", "KRAKOW", "BOSTON", "OSAKA", "PERTH", "MADRID", "RIGA", "DALLAS", "GENT"}};
// A QSO's overs: CQ, answer, exchange, reply, 73, 73.
constexpr std::size_t kQsoOvers = 6;
constexpr std::array<const char*, 6> kReports{{"599", "579", "589", "569", "559", "449"}};

double uniformIn(random::RandomStream& stream, double low, double high) { return low + (high - low) * stream.uniform(); }

bool chance(random::RandomStream& stream, double probability) { return stream.uniform() < probability; }

template <std::size_t N>
std::string pickFrom(random::RandomStream& stream, const std::array<const char*, N>& list) {
    return list[static_cast<std::size_t>(stream.uniform() * N)];
}

// Serial numbers as contesters send them, three digits at least.
std::string serialText(int serial) {
    std::string digits = std::to_string(serial);
    return std::string(digits.size() < 3 ? 3 - digits.size() : 0, '0') + digits;
}

struct AudioBand {
    double low;
    double high;
    double clamp(double hz) const { return std::clamp(hz, low, high); }
};

AudioBand audioBand(double sampleRate) {
    const AudioBand band{kTrafficBandEdgeHz, sampleRate / 2 - kTrafficBandEdgeHz};
    if (band.high < band.low) {
        throw text::SettingError("sample rate " + text::shortestText(sampleRate) + " Hz leaves no room for QRM traffic");
    }
    return band;
}

// A station's operator while the schedules are drawn: its stream (after the
// station's own draws), its details, and how far its keying has got.
struct Operator {
    random::RandomStream stream;
    std::string call;
    std::string name;
    std::string place;
    int serial = 1;
    std::int64_t end = 0;  // the sample after its last key-down so far
};

void appendRun(std::vector<keying::KeyRun>& runs, bool keyDown, std::int64_t from, std::int64_t samples,
               std::int64_t total) {
    const std::int64_t length = std::min(samples, total - from);
    if (length <= 0) return;
    if (!runs.empty() && runs.back().keyDown == keyDown) {
        runs.back().samples += length;
    } else {
        runs.push_back({keyDown, length});
    }
}

class Traffic {
public:
    Traffic(const QrmSettings& settings, double toneHz, double wantedWpm, double sampleRate, std::int64_t totalSamples,
            std::uint64_t fileSeed)
        : settings_(settings), band_(audioBand(sampleRate)), rate_(sampleRate), total_(totalSamples) {
        const random::RandomStream traffic(fileSeed, random::StreamId::QrmTraffic);
        for (int k = 0; k < settings.stations; ++k) {
            operators_.push_back({traffic.derive(static_cast<std::uint64_t>(k)), "", "", "", 1, 0});
            stations_.push_back(drawStation(operators_.back(), toneHz, wantedWpm));
        }
    }

    std::vector<QrmStation> qsos() {
        for (std::size_t a = 0; a + 1 < stations_.size(); a += 2) {
            pair(a, a + 1);
            qsoSchedule(a, a + 1);
        }
        if (stations_.size() % 2 == 1) loneSchedule(stations_.size() - 1);
        return finish();
    }

    std::vector<QrmStation> contest() {
        for (std::size_t k = 0; k < stations_.size(); ++k) {
            QrmStation& station = stations_[k];
            station.role = k == 0 ? "runner" : "caller";
            if (k == 0) continue;
            station.partner = 0;
            const double offset = uniformIn(operators_[k].stream, -kContestCallerOffsetHz, kContestCallerOffsetHz);
            station.frequencyHz = band_.clamp(stations_[0].frequencyHz + offset);
        }
        if (!stations_.empty()) contestSchedule();
        return finish();
    }

    std::vector<QrmStation> pileup() {
        for (QrmStation& station : stations_) station.role = "caller";
        if (!stations_.empty()) pileupSchedule();
        return finish();
    }

private:
    // The station's settings, in a fixed number of draws from its stream.
    QrmStation drawStation(Operator& op, double toneHz, double wantedWpm) {
        random::RandomStream& stream = op.stream;
        QrmStation station;
        station.wpm = wantedWpm * uniformIn(stream, 1 - kQrmSpeedSpread, 1 + kQrmSpeedSpread);
        station.frequencyHz = uniformIn(stream, band_.clamp(toneHz - settings_.spreadHz),
                                        band_.clamp(toneHz + settings_.spreadHz));
        station.levelDb = settings_.levelDb + uniformIn(stream, -kQrmLevelSpreadDb, kQrmLevelSpreadDb);
        station.startPhase = stream.uniform();
        station.jitterPercent = uniformIn(stream, 0, kTrafficMostJitterPercent);
        station.weightPercent = uniformIn(stream, kTrafficLightestWeight, kTrafficHeaviestWeight);
        const bool chirps = chance(stream, kTrafficChirpShare);
        const double pull = uniformIn(stream, 0, kTrafficMostChirpHz);
        station.chirpHz = chirps ? pull : 0;
        station.driftHzPerMin = uniformIn(stream, -kTrafficMostDriftHzPerMin, kTrafficMostDriftHzPerMin);
        station.fadingSpreadHz = fastmath::exp(
            uniformIn(stream, fastmath::log(kTrafficLeastFadingHz), fastmath::log(kTrafficMostFadingHz)));
        station.fadingDelayMs = uniformIn(stream, kTrafficLeastFadingDelayMs, kTrafficMostFadingDelayMs);
        op.call = callSign(stream);
        op.name = pickFrom(stream, kNames);
        op.place = pickFrom(stream, kPlaces);
        op.serial = 1 + static_cast<int>(stream.uniform() * kMostStartSerial);
        station.message = op.call;
        station.startSample = total_;
        return station;
    }

    // Partners share the first one's frequency, the second zero-beating it.
    void pair(std::size_t a, std::size_t b) {
        stations_[a].role = stations_[b].role = "qso-partner";
        stations_[a].partner = static_cast<int>(b);
        stations_[b].partner = static_cast<int>(a);
        const double offset = uniformIn(operators_[b].stream, -kQsoPartnerOffsetHz, kQsoPartnerOffsetHz);
        stations_[b].frequencyHz = band_.clamp(stations_[a].frequencyHz + offset);
    }

    std::int64_t samples(double seconds) const {
        return static_cast<std::int64_t>(text::roundHalfEven(seconds * rate_));
    }
    std::int64_t between(random::RandomStream& stream, double shortestS, double longestS) const {
        return samples(uniformIn(stream, shortestS, longestS));
    }

    // Keys `text` on station k from sample `at` (or from the end of its last
    // over, if later) with its fist, each over's jitter drawn afresh.
    // Returns the sample after its last key-down.
    std::int64_t send(std::size_t k, const std::string& text, std::int64_t at) {
        QrmStation& station = stations_[k];
        Operator& op = operators_[k];
        const std::uint64_t jitterSeed = op.stream.nextBits();
        at = std::max(at, op.end);
        if (at >= total_) return at;
        keying::TimingOptions options;
        options.weightPercent = station.weightPercent;
        options.jitterPercent = station.jitterPercent;
        const keying::TimedMessage over =
            keying::timeMessage(keying::parseExtendedMessage(text), rate_, station.wpm, options, jitterSeed);
        if (station.startSample == total_) station.startSample = at;
        appendRun(station.runs, false, op.end, at - op.end, total_);
        std::int64_t position = at, keyedEnd = at;
        for (const keying::KeyRun& run : over.runs) {
            appendRun(station.runs, run.keyDown, position, run.samples, total_);
            position += run.samples;
            if (run.keyDown) keyedEnd = position;
        }
        for (const keying::TimedLabel& label : over.labels) {
            const std::int64_t start = label.start + at;
            if (start >= total_) break;
            station.labels.push_back({label.text, start, std::min(label.end + at, total_)});
        }
        // A trailing key-up run is not part of the over: the listening gap follows.
        if (!station.runs.empty() && !station.runs.back().keyDown) {
            station.runs.back().samples -= std::min(position, total_) - std::min(keyedEnd, total_);
            if (station.runs.back().samples == 0) station.runs.pop_back();
        }
        op.end = keyedEnd;
        return keyedEnd;
    }

    std::string cq(std::size_t k) {
        const std::string& call = operators_[k].call;
        return chance(operators_[k].stream, 0.5) ? "CQ CQ DE " + call + " " + call + " K"
                                                 : "CQ CQ CQ DE " + call + " " + call + " " + call + " K";
    }

    void qsoSchedule(std::size_t a, std::size_t b) {
        random::RandomStream& s = operators_[a].stream;
        // The band is busy when the file starts: the first QSO is under way,
        // taken up at any of its overs.
        std::int64_t t = between(s, 0, kQrmLatestStartS);
        auto from = static_cast<std::size_t>(s.uniform() * kQsoOvers);
        while (t < total_) {
            const bool aCalls = chance(s, 0.5);
            const std::size_t c = aCalls ? a : b;
            const std::size_t d = aCalls ? b : a;
            const Operator& caller = operators_[c];
            const Operator& answerer = operators_[d];
            const std::string cde = answerer.call + " DE " + caller.call;
            const std::string dde = caller.call + " DE " + answerer.call;
            const int unanswered = static_cast<int>(s.uniform() * (kMostUnansweredCqs + 1));
            for (int i = 0; i < (from == 0 ? unanswered : 0); ++i) {
                t = send(c, cq(c), t) + between(s, kCqListenShortestS, kCqListenLongestS);
            }
            const std::string toD = pickFrom(s, kReports);
            const std::string toC = pickFrom(s, kReports);
            const std::array<std::string, kQsoOvers> overs{
                cq(c),
                dde + " " + answerer.call + " K",
                cde + " TNX FER CALL UR RST " + toD + " " + toD + " NAME " + caller.name + " " + caller.name + " QTH " +
                    caller.place + " " + caller.place + " HW? " + cde + " <KN>",
                dde + " R TNX UR RST " + toC + " " + toC + " NAME " + answerer.name + " " + answerer.name + " QTH " +
                    answerer.place + " " + answerer.place + " " + dde + " <KN>",
                cde + " TNX QSO 73 <SK>",
                "TU 73 " + dde + " <SK>",
            };
            for (std::size_t i = from; i < overs.size(); ++i) {
                t = send(i % 2 == 0 ? c : d, overs[i], t) + between(s, kOverGapShortestS, kOverGapLongestS);
            }
            from = 0;
            t += samples(s.poissonInterval(1 / kQsoMeanPauseS));
        }
    }

    void loneSchedule(std::size_t k) {
        random::RandomStream& s = operators_[k].stream;
        std::int64_t t = between(s, 0, kQrmLatestStartS);
        while (t < total_) {
            for (int i = 0; i < kLoneCqsInARow; ++i) {
                t = send(k, cq(k), t) + between(s, kCqListenShortestS, kCqListenLongestS);
            }
            t += samples(s.poissonInterval(1 / kQsoMeanPauseS));
        }
    }

    void contestSchedule() {
        random::RandomStream& s = operators_[0].stream;
        const std::string run = operators_[0].call;
        std::int64_t t = samples(uniformIn(s, 0, kQrmLatestStartS));
        while (t < total_) {
            std::int64_t end = send(0, chance(s, 0.5) ? "CQ TEST " + run + " " + run : "TEST " + run, t);
            while (stations_.size() > 1 && end < total_ && chance(s, kContestAnswerChance)) {
                const std::size_t c = 1 + static_cast<std::size_t>(s.uniform() * static_cast<double>(stations_.size() - 1));
                Operator& caller = operators_[c];
                const std::string call = chance(caller.stream, 0.3) ? caller.call + " " + caller.call : caller.call;
                end = send(c, call, end + between(s, kContestGapShortestS, kContestGapLongestS));
                end = send(0, caller.call + " 5NN " + serialText(operators_[0].serial++),
                           end + between(s, kContestGapShortestS, kContestGapLongestS));
                end = send(c, "TU 5NN " + serialText(caller.serial),
                           end + between(s, kContestGapShortestS, kContestGapLongestS));
                // Between its calls here it works other runs.
                caller.serial += 1 + static_cast<int>(caller.stream.uniform() * 4);
                end = send(0, "TU " + run + " TEST", end + between(s, kContestGapShortestS, kContestGapLongestS));
            }
            t = end + between(s, kOverGapShortestS, kOverGapLongestS);
        }
    }

    void pileupSchedule() {
        random::RandomStream& s = operators_[0].stream;
        std::int64_t round = between(s, 0, kPileupGapShortestS);
        while (round < total_) {
            std::int64_t end = round;
            for (std::size_t k = 0; k < stations_.size(); ++k) {
                random::RandomStream& own = operators_[k].stream;
                const bool skips = chance(own, kPileupSkipChance);
                const std::int64_t start = round + between(own, 0, settings_.timeSpreadS);
                const std::string& call = operators_[k].call;
                const std::string text = chance(own, kPileupTwiceChance) ? call + " " + call : call;
                if (!skips) end = std::max(end, send(k, text, start));
            }
            round = end + between(s, kPileupGapShortestS, kPileupGapLongestS);
        }
    }

    std::vector<QrmStation> finish() {
        for (std::size_t k = 0; k < stations_.size(); ++k) {
            appendRun(stations_[k].runs, false, operators_[k].end, total_ - operators_[k].end, total_);
        }
        return std::move(stations_);
    }

    QrmSettings settings_;
    AudioBand band_;
    double rate_;
    std::int64_t total_;
    std::vector<Operator> operators_;
    std::vector<QrmStation> stations_;
};

}  // namespace

std::vector<QrmStation> makeTrafficStations(const QrmSettings& settings, double toneHz, double wantedWpm,
                                            double sampleRate, std::int64_t totalSamples, std::uint64_t fileSeed) {
    limits::kQrmTimeSpread.check(settings.timeSpreadS);
    Traffic traffic(settings, toneHz, wantedWpm, sampleRate, totalSamples, fileSeed);
    switch (settings.traffic) {
        case QrmTraffic::Qso: return traffic.qsos();
        case QrmTraffic::Contest: return traffic.contest();
        case QrmTraffic::Pileup: return traffic.pileup();
        case QrmTraffic::Continuous: break;
    }
    throw text::SettingError("QRM traffic mode not known");
}

}  // namespace vantel::channel
