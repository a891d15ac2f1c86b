#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// The kinds of audio file Vantel writes, how one is chosen for an output
// name, and what each can hold: its sample rates, a quality for the lossy
// ones, and tags.
namespace vantel::formats {

// A format that cannot be used as asked (an extension Vantel does not
// write, a rate or a quality the format cannot take); one line saying what
// to do instead.
class FormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class AudioFormat { Wav, Flac, Vorbis, Opus, Mp3 };

// The name as --format takes it: "wav", "flac", "ogg", "opus", "mp3".
std::string_view formatName(AudioFormat format);
// The usual file extension, with its dot: ".wav", ".flac", ".ogg", ".opus", ".mp3".
std::string_view fileExtension(AudioFormat format);
// "wav, flac, ogg, opus or mp3": the names, for messages.
std::string formatNamesText();

// The format named `name` (in any case); FormatError naming the formats
// Vantel writes for any other.
AudioFormat formatNamed(std::string_view name);

// The format to write `output` in: `formatOption` (--format) if given, else
// the one its extension names (in any case: .wav .flac .ogg .oga .opus .mp3).
// A name without an extension, or with one that names no audio format
// (".out", "-"), is WAV. FormatError for the extension of an audio format
// Vantel does not write (.aac, .aiff, ...), and for a --format the extension
// contradicts (.ogg and .oga take Vorbis or Opus).
AudioFormat chooseFormat(const std::string& output, std::optional<std::string_view> formatOption = std::nullopt);

// Whether `sampleRate` can be written in `format`, and the rates that can, as
// a message offers them ("8000, 12000, 16000, 24000 or 48000 Hz").
bool holdsRate(AudioFormat format, std::int32_t sampleRate);
std::string ratesText(AudioFormat format);

// Text tags, kept by FLAC, Ogg and MP3 files; empty ones are left out.
struct Tags {
    std::string title;
    std::string artist;
    std::string album;
    std::optional<int> trackNumber;
    std::string comment;

    bool empty() const;
};

// How a file is encoded. `quality` (0 to 10, 10 best) is for the lossy
// formats only; without it each has a default (defaultQuality).
struct Encoding {
    AudioFormat format = AudioFormat::Wav;
    std::optional<double> quality;
    Tags tags;
};

inline constexpr double kLowestQuality = 0;
inline constexpr double kBestQuality = 10;

// Whether the format loses nothing (WAV, FLAC).
bool isLossless(AudioFormat format);
// The quality a lossy format is written at when none is asked for.
double defaultQuality(AudioFormat format);

// Checks that `encoding` can be used: a quality in range and only for a
// lossy format, tags only for a format that keeps them, a track number from
// 1. FormatError saying what would work instead.
void checkEncoding(const Encoding& encoding);

// Checks that `format` can hold `sampleRate`; FormatError listing the rates
// that work otherwise.
void checkSampleRate(AudioFormat format, std::int32_t sampleRate);

}  // namespace vantel::formats
