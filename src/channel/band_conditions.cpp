#include "channel/band_conditions.h"

#include <string>

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
    limits::kQrmTimeSpread.check(c.qrmTimeSpreadS);
    limits::kQrnIndex.check(c.qrnIndex);
    limits::kQrnGamma.check(c.qrnGamma);
    limits::kQsbRandom.check(c.qsbRandomDb);
    limits::kQsbTime.check(c.qsbTimeS);
    if (c.fadingPaths.size() > static_cast<std::size_t>(limits::kMostFadingPaths)) {
        throw text::SettingError("--fading-paths gives at most " + std::to_string(limits::kMostFadingPaths) + " paths");
    }
    for (const FadingPathSetting& path : c.fadingPaths) {
        limits::kPathDelay.check(path.delayMs);
        limits::kPathSpread.check(path.spreadHz);
        limits::kPathPower.check(path.powerDb);
        limits::kPathShift.check(path.shiftHz);
    }
    limits::kIfBandwidth.check(c.ifBandwidthHz);
    limits::kHum.check(c.humHz);
    limits::kHumLevel.check(c.humLevelDb);
    limits::kLeadIn.check(c.leadInS);
    limits::kTail.check(c.tailS);
    limits::kDuration.check(c.durationS);
    limits::kCropFrom.check(c.cropFrom);
}

}  // namespace vantel::channel
