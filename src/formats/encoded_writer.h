#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "formats/audio_format.h"
#include "synth/sample_sink.h"

// Writing a run's samples as a FLAC, Ogg Vorbis, Opus or MP3 file through
// libsndfile, into an open file, a stream or memory.
namespace vantel::formats {

// A file that could not be encoded or written; the text names it and says
// why, in one line.
class WriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Encodes 16-bit mono samples as `encoding` says (anything but WAV, which
// wav::WavWriter writes), its tags set before the first sample. The
// destructor drops what is unfinished without reporting; call finish() to
// learn whether the file is whole.
class EncodedWriter : public synth::SampleSink {
public:
    // Called about every 100 ms while a stream's reader takes nothing; it may
    // throw to give up, which leaves the writer unusable.
    using WhileBlocked = std::function<void()>;

    // Into a regular file open for writing, from its start; `name` stands
    // for it in messages. The file is not closed: its owner publishes it.
    static std::unique_ptr<EncodedWriter> intoFile(int fd, std::string name, std::int32_t sampleRate,
                                                   const Encoding& encoding);
    // Into a stream (a pipe, a device, standard output), strictly in order.
    // Ogg files go out as they are made; FLAC and MP3 files, whose headers
    // are completed at the end, are made in memory and go out on finish().
    // The stream is not closed.
    static std::unique_ptr<EncodedWriter> toStream(int fd, std::string name, std::int32_t sampleRate,
                                                   const Encoding& encoding, WhileBlocked whileBlocked = {});
    // Into memory, for bytes().
    static std::unique_ptr<EncodedWriter> intoMemory(std::string name, std::int32_t sampleRate,
                                                     const Encoding& encoding);

    ~EncodedWriter() override;
    EncodedWriter(const EncodedWriter&) = delete;
    EncodedWriter& operator=(const EncodedWriter&) = delete;

    void append(std::span<const std::int16_t> samples) override;
    void append(std::int16_t sample) override {
        buffer_.push_back(sample);
        if (buffer_.size() >= kBufferSamples) flush();
    }

    // Encodes what is left, completes the file and closes the encoder;
    // WriteError (or what `whileBlocked` threw) when any of it failed.
    void finish();

    // The file made in memory (intoMemory), whole after finish().
    const std::vector<std::uint8_t>& bytes() const;

    // Where the encoder's bytes go; see encoded_writer.cpp.
    class Destination;

private:
    EncodedWriter(std::unique_ptr<Destination> destination, std::string name, std::int32_t sampleRate,
                  const Encoding& encoding);

    static constexpr std::size_t kBufferSamples = 8192;
    void flush();
    void encode(std::span<const std::int16_t> samples);
    [[noreturn]] void fail(const std::string& why);
    void rethrowDestinationError();
    // Closes the encoder, dropping what it still writes.
    void abandon();

    std::unique_ptr<Destination> destination_;
    std::string name_;
    void* file_ = nullptr;  // the SNDFILE being written
    std::vector<std::int16_t> buffer_;
};

}  // namespace vantel::formats
