#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "channel/band_conditions.h"
#include "settings/generation_settings.h"
#include "keying/timing_limits.h"

// The options a request is made of, in tables that every front end reads:
// the command line, the Python module's keywords, the manifest's columns and
// a sweep's file names all follow them.
namespace vantel::batch {

// A request or a command line that cannot be used; the text says what is
// wrong, in one line.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The options that type a text into one of the window's boxes.
enum class Typed { Message, Wpm, ToneLength, Tone, SpaceTone, Rate, Snr, Bw, Level, FilterCf, FilterBw };
inline constexpr std::size_t kTypedCount = static_cast<std::size_t>(Typed::FilterBw) + 1;

// One typed option: its name on the command line and the box it types into.
// The box's entry rule (settings::enterText) does the rest, exactly as the
// window's change handler for that box.
struct TypedOption {
    Typed id;
    std::string_view name;
    settings::Box box;
};

// In the order they are typed, which is the order the window's layout makes
// natural and the manifest lists them in: the speed before the mode switch
// (the tone length after it, into the same box), the sample rate before the
// filter bandwidth, whose FIR length rule reads the rate.
inline constexpr std::array<TypedOption, kTypedCount> kTypedOptions{{
    {Typed::Message, "--message", settings::Box::Messagetext},
    {Typed::Wpm, "--wpm", settings::Box::WPMtext},
    {Typed::ToneLength, "--tone-length", settings::Box::WPMtext},
    {Typed::Tone, "--tone", settings::Box::Ftonetext},
    {Typed::SpaceTone, "--space-tone", settings::Box::SpaceToneText},
    {Typed::Rate, "--rate", settings::Box::FStext},
    {Typed::Snr, "--snr", settings::Box::SNtext},
    {Typed::Bw, "--bw", settings::Box::BWtext},
    {Typed::Level, "--level", settings::Box::ScaleText},
    {Typed::FilterCf, "--filter-cf", settings::Box::FilterCFtext},
    {Typed::FilterBw, "--filter-bw", settings::Box::FilterBWtext},
}};

inline const TypedOption& typedOption(Typed id) { return kTypedOptions[static_cast<std::size_t>(id)]; }

// What an option not given stands for: its box's start-up text, or for the
// tone length the window's start-up tone length.
std::string_view untypedText(const TypedOption& option);

// The texts of a table's options given, by option.
template <typename Id, std::size_t Count>
class OptionTexts {
public:
    std::optional<std::string>& operator[](Id id) { return texts_[static_cast<std::size_t>(id)]; }
    const std::optional<std::string>& operator[](Id id) const { return texts_[static_cast<std::size_t>(id)]; }
    bool operator==(const OptionTexts&) const = default;

private:
    std::array<std::optional<std::string>, Count> texts_;
};

using TypedTexts = OptionTexts<Typed, kTypedCount>;

// The band-condition options: settings of the engine's channel::BandConditions
// rather than texts for the window's boxes, so they are read strictly (the
// whole text a number within its channel::limits range) and refused with
// exit status 2 otherwise. Every one is off when not given.
enum class Band {
    Rise,
    Farnsworth,
    WordSpace,
    Jitter,
    DashRatio,
    Weight,
    SpeedDrift,
    Channel,
    FadingSpread,
    FadingDelay,
    QsbDepth,
    QsbPeriod,
    Qrm,
    QrmSpread,
    QrmLevel,
    Qrn,
    QrnLevel,
    Chirp,
    Drift,
    LeadIn,
    Tail,
    Duration,
    CropFrom,
    QrmTraffic,
    QrmTimeSpread,
    QrnModel,
    QrnIndex,
    QrnGamma,
    QsbRandom,
    QsbTime,
    FadingPaths,
    Receiver,
    IfShape,
    IfBw,
    Agc,
    Hum,
    HumLevel,
};
inline constexpr std::size_t kBandCount = static_cast<std::size_t>(Band::HumLevel) + 1;

enum class BandValue {
    Number,       // any number in the limit's range
    Seconds,      // the same in seconds, or with a unit: 90s, 5m, 1h
    WholeNumber,  // a count
    Farnsworth,   // 0, or 1 up to below the character speed (checked with the speed)
    Preset,       // a name of channel::kFadingPresets
    Choice,       // one of the option's `choices`
    Paths,        // fading paths, channel::parseFadingPaths
    Flag,         // no value: given or not
};

struct BandOption {
    Band id;
    std::string_view name;       // on the command line
    std::string_view valueName;  // in the help text
    BandValue value;
    const text::Limit* limit;  // the range, for Number and WholeNumber
    std::string_view namePart;    // a sweep's file names when it varies: "Rise5"
    std::string_view usedField;   // the manifest's column of the value used
    std::span<const std::string_view> choices = {};  // the names a Choice takes, in its enum's order
};

// In this order a sweep varies them (inside the messages, outside the
// speeds), names its files and the manifest lists them.
inline constexpr std::array<BandOption, kBandCount> kBandOptions{{
    {Band::Rise, "--rise", "MS", BandValue::Number, &channel::limits::kRise, "Rise", "rise_ms"},
    {Band::Farnsworth, "--farnsworth", "WPM", BandValue::Farnsworth, nullptr, "Farnsworth", "farnsworth_wpm"},
    {Band::WordSpace, "--word-space", "FACTOR", BandValue::Number, &keying::limits::kWordSpace, "WordSpace",
     "word_space"},
    {Band::Jitter, "--jitter", "PERCENT", BandValue::Number, &keying::limits::kJitter, "Jitter", "jitter_percent"},
    {Band::DashRatio, "--dash-ratio", "R", BandValue::Number, &keying::limits::kDashRatio, "Dash", "dash_ratio"},
    {Band::Weight, "--weight", "PERCENT", BandValue::Number, &keying::limits::kWeight, "Weight", "weight_percent"},
    {Band::SpeedDrift, "--speed-drift", "PERCENT", BandValue::Number, &keying::limits::kSpeedDrift, "SpeedDrift",
     "speed_drift_percent"},
    {Band::Channel, "--channel", "PRESET", BandValue::Preset, nullptr, "Chan", "channel"},
    {Band::FadingSpread, "--fading-spread", "HZ", BandValue::Number, &channel::limits::kFadingSpread, "Spread",
     "fading_spread_hz"},
    {Band::FadingDelay, "--fading-delay", "MS", BandValue::Number, &channel::limits::kFadingDelay, "Delay",
     "fading_delay_ms"},
    {Band::QsbDepth, "--qsb-depth", "DB", BandValue::Number, &channel::limits::kQsbDepth, "Qsb", "qsb_depth_db"},
    {Band::QsbPeriod, "--qsb-period", "S", BandValue::Number, &channel::limits::kQsbPeriod, "QsbPeriod",
     "qsb_period_s"},
    {Band::Qrm, "--qrm", "N", BandValue::WholeNumber, &channel::limits::kQrmStations, "Qrm", "qrm_stations"},
    {Band::QrmSpread, "--qrm-spread", "HZ", BandValue::Number, &channel::limits::kQrmSpread, "QrmSpread",
     "qrm_spread_hz"},
    {Band::QrmLevel, "--qrm-level", "DB", BandValue::Number, &channel::limits::kQrmLevel, "QrmLevel", "qrm_level_db"},
    {Band::Qrn, "--qrn", "RATE", BandValue::Number, &channel::limits::kQrnRate, "Qrn", "qrn_rate"},
    {Band::QrnLevel, "--qrn-level", "DB", BandValue::Number, &channel::limits::kQrnLevel, "QrnLevel", "qrn_level_db"},
    {Band::Chirp, "--chirp", "HZ", BandValue::Number, &channel::limits::kChirp, "Chirp", "chirp_hz"},
    {Band::Drift, "--drift", "HZ_PER_MIN", BandValue::Number, &channel::limits::kDrift, "Drift", "drift_hz_per_min"},
    {Band::LeadIn, "--lead-in", "S", BandValue::Seconds, &channel::limits::kLeadIn, "LeadIn", "lead_in_s"},
    {Band::Tail, "--tail", "S", BandValue::Seconds, &channel::limits::kTail, "Tail", "tail_s"},
    {Band::Duration, "--duration", "S", BandValue::Seconds, &channel::limits::kDuration, "Duration", "duration_s"},
    {Band::CropFrom, "--crop-from", "SHARE", BandValue::Number, &channel::limits::kCropFrom, "CropFrom", "crop_from"},
    {Band::QrmTraffic, "--qrm-traffic", "MODE", BandValue::Choice, nullptr, "Traffic", "qrm_traffic",
     channel::kQrmTrafficNames},
    {Band::QrmTimeSpread, "--qrm-time-spread", "S", BandValue::Number, &channel::limits::kQrmTimeSpread, "QrmTime",
     "qrm_time_spread_s"},
    {Band::QrnModel, "--qrn-model", "MODEL", BandValue::Choice, nullptr, "QrnModel", "qrn_model",
     channel::kQrnModelNames},
    {Band::QrnIndex, "--qrn-index", "A", BandValue::Number, &channel::limits::kQrnIndex, "QrnA", "qrn_index"},
    {Band::QrnGamma, "--qrn-gamma", "GAMMA", BandValue::Number, &channel::limits::kQrnGamma, "QrnGamma", "qrn_gamma"},
    {Band::QsbRandom, "--qsb-random", "DB", BandValue::Number, &channel::limits::kQsbRandom, "QsbRandom",
     "qsb_random_db"},
    {Band::QsbTime, "--qsb-time", "S", BandValue::Seconds, &channel::limits::kQsbTime, "QsbTime", "qsb_time_s"},
    {Band::FadingPaths, "--fading-paths", "PATHS", BandValue::Paths, nullptr, "Paths", "fading_paths"},
    {Band::Receiver, "--receiver", "", BandValue::Flag, nullptr, "Rx", "receiver"},
    {Band::IfShape, "--if-shape", "SHAPE", BandValue::Choice, nullptr, "If", "if_shape", channel::kIfShapeNames},
    {Band::IfBw, "--if-bw", "HZ", BandValue::Number, &channel::limits::kIfBandwidth, "IfBw", "if_bw_hz"},
    {Band::Agc, "--agc", "SPEED", BandValue::Choice, nullptr, "Agc", "agc", channel::kAgcNames},
    {Band::Hum, "--hum", "HZ", BandValue::Number, &channel::limits::kHum, "Hum", "hum_hz"},
    {Band::HumLevel, "--hum-level", "DB", BandValue::Number, &channel::limits::kHumLevel, "HumLevel", "hum_level_db"},
}};
// The text a flag's entry holds when the flag is given.
inline constexpr std::string_view kFlagGiven = "on";

inline const BandOption& bandOption(Band id) { return kBandOptions[static_cast<std::size_t>(id)]; }

using BandTexts = OptionTexts<Band, kBandCount>;

inline constexpr std::string_view kAutoLevel = "auto";
inline constexpr double kDefaultAutoRmsDbfs = -20;

}  // namespace vantel::batch
