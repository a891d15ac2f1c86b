// Files encoded through libsndfile, read back with it: FLAC loses nothing,
// the lossy codecs keep the signal within their tolerance, tags survive, and
// what a format cannot hold is refused before anything is written.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "batch/options.h"
#include "batch/render.h"
#include "batch/request.h"
#include "formats/audio_format.h"
#include "formats/encoded_writer.h"
#include "support/wav_file.h"

namespace vantel::formats {
namespace {

using testing::readBytes;
using testing::TempDir;

struct Decoded {
    int sampleRate = 0;
    std::vector<std::int16_t> samples;
    std::map<int, std::string> tags;

    std::string tag(int kind) const { return tags.contains(kind) ? tags.at(kind) : "(none)"; }
};

Decoded decode(const std::filesystem::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    Decoded decoded;
    if (!file) return decoded;
    decoded.sampleRate = info.samplerate;
    decoded.samples.resize(static_cast<std::size_t>(info.frames));
    decoded.samples.resize(static_cast<std::size_t>(sf_read_short(file, decoded.samples.data(), info.frames)));
    for (int kind : {SF_STR_TITLE, SF_STR_ARTIST, SF_STR_ALBUM, SF_STR_TRACKNUMBER, SF_STR_COMMENT}) {
        if (const char* text = sf_get_string(file, kind)) decoded.tags[kind] = text;
    }
    sf_close(file);
    return decoded;
}

void writeBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

// The S/N in dB of `decoded` against `original`, at the codec's delay (the
// lag, up to `mostLag` samples, where they correlate best).
double alignedSnrDb(const std::vector<std::int16_t>& original, const std::vector<std::int16_t>& decoded,
                    std::size_t mostLag = 4096) {
    const auto at = [&](std::size_t i, std::size_t lag) {
        return i + lag < decoded.size() ? static_cast<double>(decoded[i + lag]) : 0.0;
    };
    std::size_t bestLag = 0;
    double best = -1e300;
    for (std::size_t lag = 0; lag <= mostLag; ++lag) {
        double sum = 0;
        for (std::size_t i = 0; i < original.size(); i += 4) sum += original[i] * at(i, lag);
        if (sum > best) std::tie(best, bestLag) = std::tie(sum, lag);
    }
    double signal = 0, error = 0;
    for (std::size_t i = 0; i < original.size(); ++i) {
        signal += static_cast<double>(original[i]) * original[i];
        error += (at(i, bestLag) - original[i]) * (at(i, bestLag) - original[i]);
    }
    return 10 * std::log10(signal / error);
}

batch::FileRequest practiceRequest(const std::string& rate = "12000") {
    batch::FileRequest request;
    batch::setRequestOption(request, "--message", "CQ CQ DE VANTEL VANTEL K");
    batch::setRequestOption(request, "--rate", rate);
    return request;
}

const Tags kTags{"Lesson 7", "Vantel", "Koch course", 7, "20 wpm"};
const std::map<int, std::string> kTagsRead{{SF_STR_TITLE, "Lesson 7"},   {SF_STR_ARTIST, "Vantel"},
                                           {SF_STR_ALBUM, "Koch course"}, {SF_STR_TRACKNUMBER, "7"},
                                           {SF_STR_COMMENT, "20 wpm"}};

TEST(EncodedFiles, KeepTheSamplesAndTagsWithinEachCodecsTolerance) {
    const batch::Clip clip = batch::renderClip(practiceRequest());
    TempDir dir;
    const auto encoded = [&](const Encoding& encoding) {
        const auto writer = EncodedWriter::intoMemory("clip", 12000, encoding);
        writer->append(clip.samples);
        writer->finish();
        return writer->bytes();
    };
    // The least S/N each codec keeps at its default quality, a few dB under
    // what it gives (Vorbis and Opus 19 dB, MP3 40 dB).
    const std::pair<AudioFormat, double> lossy[] = {
        {AudioFormat::Vorbis, 16}, {AudioFormat::Opus, 16}, {AudioFormat::Mp3, 35}};
    for (const auto& [format, leastSnrDb] : lossy) {
        EXPECT_GT(encoded({format, kBestQuality, {}}).size(), 1.5 * encoded({format, kLowestQuality, {}}).size())
            << formatName(format);
        const auto path = dir / ("clip" + std::string(fileExtension(format)));
        writeBytes(path, encoded({format, std::nullopt, kTags}));
        const Decoded decoded = decode(path);
        EXPECT_EQ(decoded.sampleRate, 12000) << formatName(format);
        EXPECT_GE(alignedSnrDb(clip.samples, decoded.samples), leastSnrDb) << formatName(format);
        EXPECT_EQ(decoded.tags, kTagsRead) << formatName(format);
    }
    writeBytes(dir / "clip.flac", encoded({AudioFormat::Flac, std::nullopt, kTags}));
    const Decoded decoded = decode(dir / "clip.flac");
    EXPECT_EQ(decoded.samples, clip.samples);
    EXPECT_EQ(decoded.tags, kTagsRead);
}

TEST(EncodedFiles, FormatChosenByNameOrOptionAndRefusedWhereItCannotBe) {
    EXPECT_EQ(chooseFormat("lesson.FLAC"), AudioFormat::Flac);
    EXPECT_EQ(chooseFormat("dir.v2/lesson"), AudioFormat::Wav);
    EXPECT_EQ(chooseFormat("lesson.out"), AudioFormat::Wav);
    EXPECT_EQ(chooseFormat("-"), AudioFormat::Wav);
    EXPECT_EQ(chooseFormat("lesson.oga"), AudioFormat::Vorbis);
    EXPECT_EQ(chooseFormat("lesson.ogg", "opus"), AudioFormat::Opus);
    EXPECT_EQ(chooseFormat("lesson.dat", "MP3"), AudioFormat::Mp3);
    EXPECT_EQ(chooseFormat("-", "flac"), AudioFormat::Flac);
    for (const char* unwritten : {"lesson.aac", "lesson.M4A", "lesson.aiff", "lesson.wma", "lesson.spx"}) {
        EXPECT_THROW(chooseFormat(unwritten), FormatError) << unwritten;
    }
    EXPECT_THROW(chooseFormat("lesson.flac", "mp3"), FormatError);
    EXPECT_THROW(chooseFormat("lesson.opus", "ogg"), FormatError);
    EXPECT_THROW(chooseFormat("lesson.wav", "aac"), FormatError);

    EXPECT_NO_THROW(checkSampleRate(AudioFormat::Mp3, 8000));
    EXPECT_NO_THROW(checkSampleRate(AudioFormat::Vorbis, 200000));
    EXPECT_NO_THROW(checkSampleRate(AudioFormat::Flac, 655350));
    const std::pair<AudioFormat, std::int32_t> unheld[] = {{AudioFormat::Mp3, 96000},
                                                           {AudioFormat::Opus, 11025},
                                                           {AudioFormat::Vorbis, 200001},
                                                           {AudioFormat::Flac, 655351}};
    for (const auto& [format, rate] : unheld) {
        EXPECT_THROW(checkSampleRate(format, rate), FormatError) << formatName(format) << ' ' << rate;
        // Refused by the writer too, before libsndfile could half make it.
        EXPECT_THROW(EncodedWriter::intoMemory("x", rate, {format, std::nullopt, {}}), FormatError);
    }
    try {
        checkSampleRate(AudioFormat::Opus, 44100);
        ADD_FAILURE() << "44100 Hz Opus accepted";
    } catch (const FormatError& e) {
        EXPECT_NE(std::string(e.what()).find("8000, 12000, 16000, 24000 or 48000 Hz"), std::string::npos) << e.what();
    }
    EXPECT_THROW(checkEncoding({AudioFormat::Flac, 5.0, {}}), FormatError);
    EXPECT_THROW(checkEncoding({AudioFormat::Mp3, 10.5, {}}), FormatError);
    EXPECT_THROW(checkEncoding({AudioFormat::Wav, std::nullopt, kTags}), FormatError);
}

// Reads everything from `fd` until its writers are gone.
std::vector<std::uint8_t> readAll(int fd) {
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[65536];
    for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0;) bytes.insert(bytes.end(), chunk, chunk + n);
    return bytes;
}

// What writeFile sends into a pipe (as for "-o -" or a FIFO).
std::vector<std::uint8_t> streamed(const batch::FileRequest& request, const Encoding& encoding) {
    int ends[2];
    EXPECT_EQ(::pipe(ends), 0);
    std::vector<std::uint8_t> bytes;
    std::thread reader([&] { bytes = readAll(ends[0]); });
    batch::writeFile(request, "/dev/fd/" + std::to_string(ends[1]), {}, encoding);
    ::close(ends[1]);
    reader.join();
    ::close(ends[0]);
    return bytes;
}

TEST(EncodedFiles, WriteFilePublishesThemWholeAndStreamsTheSameBytes) {
    TempDir dir;
    const batch::FileRequest request = practiceRequest();
    for (const char* name : {"lesson.mp3", "lesson.flac"}) {
        const std::string path = (dir / name).string();
        const Encoding encoding = batch::encodingFor(path, std::nullopt, std::nullopt, kTags);
        synth::SampleBuffer monitor;
        batch::writeFile(request, path, {}, encoding, &monitor);
        const Decoded decoded = decode(path);
        EXPECT_EQ(decoded.samples.size(), monitor.samples().size()) << name;
        EXPECT_EQ(decoded.tag(SF_STR_TITLE), kTags.title) << name;
        EXPECT_EQ(streamed(request, encoding), readBytes(path)) << name;
    }
    // Ogg pages go out as they are made; their serial numbers are random,
    // so the stream's file decodes to the published file's samples.
    const std::string ogg = (dir / "lesson.ogg").string();
    const Encoding vorbis = batch::encodingFor(ogg, std::nullopt);
    batch::writeFile(request, ogg, {}, vorbis);
    const std::vector<std::int16_t> published = decode(ogg).samples;
    writeBytes(ogg, streamed(request, vorbis));
    EXPECT_EQ(decode(ogg).samples, published);
    EXPECT_GT(alignedSnrDb(batch::renderClip(request).samples, published), 15);

    // A rate MP3 cannot hold is the user's to mend, and leaves nothing behind.
    std::filesystem::remove_all(dir.path());
    std::filesystem::create_directory(dir.path());
    EXPECT_THROW(batch::writeFile(practiceRequest("96000"), (dir / "high.mp3").string(), {},
                                  {AudioFormat::Mp3, std::nullopt, {}}),
                 batch::UsageError);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    EXPECT_THROW(batch::encodingFor("lesson.m4a", std::nullopt), batch::UsageError);
}

}  // namespace
}  // namespace vantel::formats
