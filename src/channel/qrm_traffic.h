#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "channel/qrm.h"
#include "random/random_stream.h"

namespace vantel::channel {

// A traffic station's fist and transmitter, drawn uniformly unless said.
inline constexpr double kTrafficMostJitterPercent = 15;  // from a keyer's 0 to a shaky straight key
inline constexpr double kTrafficLightestWeight = 40;     // light and heavy fists around the classic 50 %
inline constexpr double kTrafficHeaviestWeight = 60;
inline constexpr double kTrafficChirpShare = 0.2;     // most transmitters are clean; one in five chirps
inline constexpr double kTrafficMostChirpHz = 30;     // an old or poorly regulated transmitter's pull
inline constexpr double kTrafficMostDriftHzPerMin = 2;  // a VFO still warming up, either way
// Its own path: spread log-uniform between ITU-R F.1487's quiet and
// disturbed mid-latitude values, delay uniform over the usual one-hop spread.
inline constexpr double kTrafficLeastFadingHz = 0.1;
inline constexpr double kTrafficMostFadingHz = 2;
inline constexpr double kTrafficLeastFadingDelayMs = 0.5;
inline constexpr double kTrafficMostFadingDelayMs = 2;
// Every frequency keeps this far from 0 Hz and from half the sample rate,
// where a receiver's audio still passes it.
inline constexpr double kTrafficBandEdgeHz = 150;

// QSOs. Overs are kept apart by a gap in which the other operator listens
// and takes over.
inline constexpr double kOverGapShortestS = 0.5;
inline constexpr double kOverGapLongestS = 2;
inline constexpr double kQsoPartnerOffsetHz = 5;  // an answering station zero-beats within a few Hz
inline constexpr double kQsoMeanPauseS = 40;      // mean wait (Poisson) between a pair's QSOs
inline constexpr int kMostUnansweredCqs = 2;      // CQs nobody answers before the partner does
inline constexpr double kCqListenShortestS = 2;   // listening after an unanswered CQ
inline constexpr double kCqListenLongestS = 6;
inline constexpr int kLoneCqsInARow = 4;  // an unanswered station's CQs before it pauses

// A contest run: callers zero-beat the runner roughly; contest operators
// answer fast; a CQ or a TU is answered by another caller this often.
inline constexpr double kContestCallerOffsetHz = 50;
inline constexpr double kContestGapShortestS = 0.2;
inline constexpr double kContestGapLongestS = 0.8;
inline constexpr double kContestAnswerChance = 0.7;
inline constexpr int kMostStartSerial = 300;  // the runs are already going when the file starts

// A pile-up: between rounds the wanted station answers one caller; a caller
// sends its call twice this often and sits a round out this often.
inline constexpr double kPileupGapShortestS = 1.5;
inline constexpr double kPileupGapLongestS = 4;
inline constexpr double kPileupTwiceChance = 0.4;
inline constexpr double kPileupSkipChance = 0.15;

// The stations of a traffic mode (settings.traffic not Continuous), from the
// file's first sample to its last. Station k draws its call, level, speed
// (within +-30 % of wantedWpm), frequency, fist and path from
// RandomStream(fileSeed, QrmTraffic).derive(k); a QSO's schedule comes from
// its first station's stream, a contest's from the runner's and a
// pile-up's rounds from station 0's, and each over's jitter from its own
// station's stream.
//   Qso: stations 2k and 2k+1 work each other on one frequency, turn by
//        turn (CQ, answer, exchange, reply, 73s); the first QSO is under
//        way when the file starts, the next follow after random pauses; a
//        lone last station calls CQ unanswered.
//   Contest: station 0 runs ("CQ TEST"), the others call it one at a time
//        within kContestCallerOffsetHz and exchange serial numbers.
//   Pileup: every station calls the wanted station in rounds, each starting
//        within settings.timeSpreadS of the round's start, within
//        +-spreadHz of the tone.
// Frequencies stay within [kTrafficBandEdgeHz, sampleRate / 2 -
// kTrafficBandEdgeHz]; throws text::SettingError when that is empty.
// The caller has checked the settings common to every mode.
std::vector<QrmStation> makeTrafficStations(const QrmSettings& settings, double toneHz, double wantedWpm,
                                            double sampleRate, std::int64_t totalSamples, std::uint64_t fileSeed);

// A random call sign (qrm.cpp): one or two letters, a digit, one to three
// letters, in nine draws.
std::string callSign(random::RandomStream& stream);

}  // namespace vantel::channel
