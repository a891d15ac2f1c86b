#include "formats/audio_format.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <span>

#include "text/limit.h"

namespace vantel::formats {
namespace {

struct FormatFacts {
    AudioFormat format;
    std::string_view name;
    std::string_view extension;
};

constexpr std::array<FormatFacts, 5> kFormats{{
    {AudioFormat::Wav, "wav", ".wav"},
    {AudioFormat::Flac, "flac", ".flac"},
    {AudioFormat::Vorbis, "ogg", ".ogg"},
    {AudioFormat::Opus, "opus", ".opus"},
    {AudioFormat::Mp3, "mp3", ".mp3"},
}};

const FormatFacts& factsOf(AudioFormat format) {
    return kFormats[static_cast<std::size_t>(format)];
}

// Extensions of audio formats Vantel does not write: a file so named would
// not be what its name says, so it is refused rather than written as WAV.
constexpr std::array<std::string_view, 40> kOtherAudioExtensions{
    ".aac", ".m4a", ".m4b", ".mp4",  ".wma",  ".aif", ".aiff", ".aifc", ".au",   ".snd",
    ".caf", ".ape", ".wv",  ".mka",  ".mp1",  ".mp2", ".mpa",  ".ac3",  ".eac3", ".dts",
    ".amr", ".spx", ".raw", ".pcm",  ".w64",  ".rf64", ".voc", ".sd2",  ".sds",  ".htk",
    ".pvf", ".xi",  ".paf", ".ircam", ".avr", ".svx", ".8svx", ".tta",  ".webm", ".weba",
};

// Sample rates (in Hz) the encoders take, checked against libsndfile 1.2.0
// with libFLAC, libvorbis, libopus and LAME.
constexpr std::array<std::int32_t, 5> kOpusRates{8000, 12000, 16000, 24000, 48000};
constexpr std::array<std::int32_t, 9> kMp3Rates{8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
constexpr std::int32_t kHighestFlacRate = 655350;
constexpr std::int32_t kHighestVorbisRate = 200000;

// A practice file at 12000 Hz comes out at about 27 (Vorbis), 44 (Opus) and
// 52 (MP3) kbit/s. libsndfile spreads Opus's qualities evenly over 6 to 256
// kbit/s whatever the rate, hence its low number; LAME drops to 13-20 kbit/s
// and audible loss below 3.5.
constexpr double kDefaultVorbisQuality = 4;
constexpr double kDefaultOpusQuality = 1.5;
constexpr double kDefaultMp3Quality = 5;

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

std::string listText(std::span<const std::int32_t> rates) {
    std::string out;
    for (std::size_t i = 0; i < rates.size(); ++i) {
        if (i > 0) out += i + 1 == rates.size() ? " or " : ", ";
        out += std::to_string(rates[i]);
    }
    return out + " Hz";
}

// The format an extension names, if it names one Vantel writes.
std::optional<AudioFormat> formatOfExtension(const std::string& extension) {
    if (extension == ".oga") return AudioFormat::Vorbis;
    for (const FormatFacts& facts : kFormats) {
        if (facts.extension == extension) return facts.format;
    }
    return std::nullopt;
}

bool isOggExtension(const std::string& extension) { return extension == ".ogg" || extension == ".oga"; }

}  // namespace

std::string_view formatName(AudioFormat format) { return factsOf(format).name; }

std::string_view fileExtension(AudioFormat format) { return factsOf(format).extension; }

std::string formatNamesText() {
    std::string out;
    for (std::size_t i = 0; i < kFormats.size(); ++i) {
        if (i > 0) out += i + 1 == kFormats.size() ? " or " : ", ";
        out += kFormats[i].name;
    }
    return out;
}

AudioFormat formatNamed(std::string_view name) {
    const std::string wanted = lowered(name);
    for (const FormatFacts& facts : kFormats) {
        if (facts.name == wanted) return facts.format;
    }
    throw FormatError("unknown --format '" + std::string(name) + "': use " + formatNamesText());
}

AudioFormat chooseFormat(const std::string& output, std::optional<std::string_view> formatOption) {
    const std::string extension = lowered(std::filesystem::path(output).extension().string());
    if (std::find(kOtherAudioExtensions.begin(), kOtherAudioExtensions.end(), extension) !=
        kOtherAudioExtensions.end()) {
        throw FormatError("cannot write " + extension + " files (" + output + "): Vantel writes " +
                          formatNamesText() + " files");
    }
    const std::optional<AudioFormat> named = formatOfExtension(extension);
    if (!formatOption) return named.value_or(AudioFormat::Wav);
    const AudioFormat chosen = formatNamed(*formatOption);
    const bool fits = !named || *named == chosen || (isOggExtension(extension) && chosen == AudioFormat::Opus);
    if (!fits) {
        throw FormatError("--format " + std::string(formatName(chosen)) + " does not go with the name " + output +
                          ": name it " + std::string(fileExtension(chosen)) + " or leave --format out");
    }
    return chosen;
}

bool holdsRate(AudioFormat format, std::int32_t sampleRate) {
    switch (format) {
        case AudioFormat::Wav: return text::kSampleRate.allows(sampleRate);
        case AudioFormat::Flac: return sampleRate >= 1 && sampleRate <= kHighestFlacRate;
        case AudioFormat::Vorbis: return sampleRate >= 1 && sampleRate <= kHighestVorbisRate;
        case AudioFormat::Opus:
            return std::find(kOpusRates.begin(), kOpusRates.end(), sampleRate) != kOpusRates.end();
        case AudioFormat::Mp3: return std::find(kMp3Rates.begin(), kMp3Rates.end(), sampleRate) != kMp3Rates.end();
    }
    return false;
}

std::string ratesText(AudioFormat format) {
    switch (format) {
        case AudioFormat::Wav: return text::kSampleRate.rangeText();
        case AudioFormat::Flac: return "1 to " + std::to_string(kHighestFlacRate) + " Hz";
        case AudioFormat::Vorbis: return "1 to " + std::to_string(kHighestVorbisRate) + " Hz";
        case AudioFormat::Opus: return listText(kOpusRates);
        case AudioFormat::Mp3: return listText(kMp3Rates);
    }
    return {};
}

bool Tags::empty() const {
    return title.empty() && artist.empty() && album.empty() && !trackNumber && comment.empty();
}

bool isLossless(AudioFormat format) { return format == AudioFormat::Wav || format == AudioFormat::Flac; }

double defaultQuality(AudioFormat format) {
    switch (format) {
        case AudioFormat::Vorbis: return kDefaultVorbisQuality;
        case AudioFormat::Opus: return kDefaultOpusQuality;
        case AudioFormat::Mp3: return kDefaultMp3Quality;
        default: throw FormatError(std::string(formatName(format)) + " files are lossless and have no quality");
    }
}

void checkSampleRate(AudioFormat format, std::int32_t sampleRate) {
    if (holdsRate(format, sampleRate)) return;
    throw FormatError(std::string(formatName(format)) + " files cannot hold a sample rate of " +
                      std::to_string(sampleRate) + " Hz: use " + ratesText(format) + ", or another format");
}

void checkEncoding(const Encoding& encoding) {
    const std::string name(formatName(encoding.format));
    if (encoding.quality && isLossless(encoding.format)) {
        throw FormatError("a quality is for ogg, opus and mp3 files; " + name + " files are lossless: leave it out");
    }
    if (encoding.quality && !(*encoding.quality >= kLowestQuality && *encoding.quality <= kBestQuality)) {
        throw FormatError("bad quality '" + text::shortestText(*encoding.quality) + "': use 0 to 10 (10 best)");
    }
    if (encoding.format == AudioFormat::Wav && !encoding.tags.empty()) {
        throw FormatError("wav files are written without tags: leave them out, or write flac, ogg, opus or mp3");
    }
    if (encoding.tags.trackNumber && *encoding.tags.trackNumber < 1) {
        throw FormatError("bad track number '" + std::to_string(*encoding.tags.trackNumber) + "': use 1 or more");
    }
}

}  // namespace vantel::formats
