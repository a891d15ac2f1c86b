#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <memory>
#include <vector>

#include "synth/sample_sink.h"

namespace vantel::wav {

inline constexpr std::size_t kHeaderBytes = 44;
// The RIFF size counts the file after its first 8 bytes: the header's other
// 36 bytes, then the samples.
inline constexpr std::int32_t kRiffHeaderBytes = static_cast<std::int32_t>(kHeaderBytes) - 8;

// A file could not be created, written or closed; the text says which and why.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The largest sample count whose RIFF size (2N + 36) fits a signed 32-bit field.
inline constexpr std::int64_t kMaxSamples = (std::int64_t{INT32_MAX} - kRiffHeaderBytes) / 2;
static_assert(kMaxSamples == synth::kMostRunSamples, "every run fits a WAV file");

// The 44-byte header of a 16-bit mono PCM file holding `samples` samples.
std::array<std::uint8_t, kHeaderBytes> header(std::int32_t sampleRate, std::int64_t samples);

// Writes a 16-bit mono WAV file: header first, then samples, buffered. The
// destructor closes without reporting; call finish() to learn whether every
// byte reached the file.
class WavWriter : public synth::SampleSink {
public:
    // Creates `path` (replacing a file of that name) and writes the header for
    // `plannedSamples`. With `exclusive`, refuses to replace anything.
    WavWriter(std::string path, std::int32_t sampleRate, std::int64_t plannedSamples, bool exclusive = false);
    // Writes into a file already open for writing (at its start), with
    // positioned writes so that the header can be rewritten; `name` stands
    // for it in messages. The file is not closed: its owner publishes it.
    static std::unique_ptr<WavWriter> intoFile(int fd, std::string name, std::int32_t sampleRate,
                                               std::int64_t plannedSamples);
    // Called about every 100 ms while a stream's reader takes nothing; it may
    // throw to give up (a stop asked for), which leaves the writer unusable.
    using WhileBlocked = std::function<void()>;
    // Writes to an open stream (a pipe, a device, standard output) instead,
    // strictly in order; `name` stands for it in messages. The stream is not
    // closed, and its header cannot be rewritten, so it must get every
    // planned sample. A reader that stalls never holds the writer beyond the
    // next call of `whileBlocked`.
    static std::unique_ptr<WavWriter> toStream(int fd, std::string name, std::int32_t sampleRate,
                                               std::int64_t plannedSamples, WhileBlocked whileBlocked = {});
    ~WavWriter() override;
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    void append(std::int16_t sample) override {
        buffer_.push_back(sample);
        if (buffer_.size() >= kBufferSamples) flush();
    }
    void append(std::span<const std::int16_t> samples) override;
    void append(std::span<std::int16_t> samples) { append(std::span<const std::int16_t>(samples)); }

    std::int64_t samplesWritten() const { return written_ + static_cast<std::int64_t>(buffer_.size()); }
    const std::string& path() const { return path_; }

    // Flushes and closes. If fewer samples than planned were written (an
    // abort), the header is first rewritten for what the file really holds.
    // Fails if the file's name no longer leads to this file (it was removed
    // or replaced while being written): what is under the name is not it.
    // A stream is flushed only, and fails when it is short of samples.
    void finish();

    // After a failure: removes the file, but only if its name still leads to
    // the file this writer made, so nobody else's file is ever removed.
    void discard();

private:
    enum class Target {
        OwnPath,   // created here by name, closed here, its name checked at the end
        OpenFile,  // someone else's open file, written in place
        Stream,    // someone else's stream, written in order
    };
    WavWriter(Target target, int fd, std::string name, std::int32_t sampleRate, std::int64_t plannedSamples,
              WhileBlocked whileBlocked);

    static constexpr std::size_t kBufferSamples = 32768;
    void flush();
    void writeAll(const std::uint8_t* data, std::size_t size, std::int64_t offset);
    // Up to `size` bytes into the stream once it can take some.
    ssize_t writeToStream(const std::uint8_t* data, std::size_t size);
    [[noreturn]] void fail(const std::string& what, int error);

    bool nameLeadsToFile() const;

    std::string path_;
    int fd_ = -1;
    Target target_ = Target::OwnPath;
    WhileBlocked whileBlocked_;
    // The most a stream takes in one write: a pipe that polls writable has
    // room for this much without blocking.
    std::size_t streamChunk_ = 0;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    std::int32_t sampleRate_;
    std::int64_t planned_;
    std::int64_t written_ = 0;
    std::vector<std::int16_t> buffer_;
    std::vector<std::uint8_t> bytes_;
};

}  // namespace vantel::wav
