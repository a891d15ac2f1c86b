#include "channel/band_conditions.h"

#include "keying/timing_limits.h"

namespace vantel::channel {

void validate(const BandConditions& c, double characterWpm) {
    limits::kRise.check(c.riseMs);
    keying::checkFarnsworth(c.farnsworthWpm, characterWpm);
    keying::limits::kWordSpace.check(c.wordSpaceFactor);
    keying::limits::kDashRatio.check(c.dashRatio);
    keying::limits::kWeight.check(c.weightPercent);
    keying::limits::kJitter.check(c.jitterPercent);
    keying::limits::kSpeedDrift.check(c.speedDriftPercent);
    limits::kChirp.check(c.chirpHz);
    limits::kDrift.check(c.driftHzPerMin);
    if (c.fading) {
        limits::kFadingSpread.check(c.fadingSpreadHz);
        limits::kFadingDelay.check(c.fadingDelayMs);
    }
    limits::kQsbDepth.check(c.qsbDepthDb);
    limits::kQsbPeriod.check(c.qsbPeriodS);
    limits::kQrmStations.check(c.qrmStations);
    limits::kQrmSpread.check(c.qrmSpreadHz);
    limits::kQrmLevel.check(c.qrmLevelDb);
    limits::kQrnRate.check(c.qrnRate);
    limits::kQrnLevel.check(c.qrnLevelDb);
    limits::kLeadIn.check(c.leadInS);
    limits::kTail.check(c.tailS);
    limits::kDuration.check(c.durationS);
    limits::kCropFrom.check(c.cropFrom);
}

}  // namespace vantel::channel
