#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "settings/generation_settings.h"

namespace vantel::gen {

// A command line that cannot be used; the text says what is wrong.
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

// The texts of the typed options given, by option.
class TypedTexts {
public:
    std::optional<std::string>& operator[](Typed id) { return texts_[static_cast<std::size_t>(id)]; }
    const std::optional<std::string>& operator[](Typed id) const { return texts_[static_cast<std::size_t>(id)]; }
    bool operator==(const TypedTexts&) const = default;

private:
    std::array<std::optional<std::string>, kTypedCount> texts_;
};

inline constexpr std::string_view kAutoLevel = "auto";
inline constexpr double kDefaultAutoRmsDbfs = -20;

// The texts the options give, each as a user would type it into the window's
// matching box; an option not given leaves the box's start-up text.
struct GenOptions {
    std::string output = "CWTemp.wav";  // "-": standard output
    settings::Mode mode = settings::Mode::OnOffCW;
    TypedTexts typed;
    bool noFilter = false;
    std::optional<std::uint64_t> seed;
    bool help = false;
    bool version = false;

    // --level auto: the level is chosen before the run so that the file's RMS
    // sits at autoRmsDbfs; the chosen text is then typed as if given.
    double autoRmsDbfs = kDefaultAutoRmsDbfs;
    bool autoRmsGiven = false;
    bool strict = false;          // a clipped file is an error (exit 3)
    bool quietWarnings = false;   // no warnings about loosely read texts

    bool autoLevel() const { return typed[Typed::Level] == std::string(kAutoLevel); }
    bool toStandardOutput() const { return output == "-"; }

    // A sweep: --snr, --wpm and --tone hold lists or ranges, --messages a
    // file of messages, and the output is a folder.
    bool sweep = false;
    bool outputGiven = false;
    std::optional<std::string> messagesFile;
    std::optional<unsigned> jobs;
    bool quiet = false;
};

GenOptions parseOptions(const std::vector<std::string>& args);

std::string usageText();

}  // namespace vantel::gen
