#include "formats/encoded_writer.h"

#include <limits.h>
#include <poll.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vantel::formats {

// The encoder's bytes go through libsndfile's virtual I/O into one of these.
// A failure is kept, not thrown through libsndfile's C frames, and thrown by
// the writer once libsndfile has returned.
class EncodedWriter::Destination {
public:
    virtual ~Destination() = default;
    virtual sf_count_t length() = 0;
    virtual sf_count_t seek(sf_count_t offset, int whence) = 0;
    virtual sf_count_t read(void* data, sf_count_t size) = 0;
    virtual sf_count_t write(const void* data, sf_count_t size) = 0;
    virtual sf_count_t tell() = 0;
    // After the encoder closed: hands on what was held back.
    virtual void complete() {}
    virtual const std::vector<std::uint8_t>* memory() const { return nullptr; }

    // Runs `step`, keeping what it throws; `failed` is returned instead.
    template <typename Step>
    sf_count_t guarded(Step step, sf_count_t failed) {
        if (error_ || abandoned_) return failed;
        try {
            return step();
        } catch (...) {
            error_ = std::current_exception();
            return failed;
        }
    }
    std::exception_ptr error() const { return error_; }
    // Takes nothing more: what the encoder still has to say on closing after
    // a failure must not reach (or wait for) the file or stream.
    void abandon() { abandoned_ = true; }

protected:
    // Where a seek lands, or -1 before the start.
    static sf_count_t target(sf_count_t offset, int whence, sf_count_t position, sf_count_t end) {
        const sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? position : end;
        return base + offset < 0 ? -1 : base + offset;
    }

private:
    std::exception_ptr error_;
    bool abandoned_ = false;
};

namespace {

std::string errnoText(const std::string& name, int error) {
    return "Cannot write " + name + ": " + std::strerror(error);
}

// A regular file, written in place with positioned writes.
class FileDestination : public EncodedWriter::Destination {
public:
    FileDestination(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}

    sf_count_t length() override { return end_; }
    sf_count_t seek(sf_count_t offset, int whence) override {
        const sf_count_t to = target(offset, whence, position_, end_);
        if (to >= 0) position_ = to;
        return to;
    }
    sf_count_t read(void* data, sf_count_t size) override {
        return guarded([&] {
            const ssize_t n = ::pread(fd_, data, static_cast<std::size_t>(size), position_);
            if (n < 0) throw WriteError(errnoText(name_, errno));
            position_ += n;
            return static_cast<sf_count_t>(n);
        }, 0);
    }
    sf_count_t write(const void* data, sf_count_t size) override {
        return guarded([&] {
            const auto* bytes = static_cast<const std::uint8_t*>(data);
            for (sf_count_t left = size; left > 0;) {
                const ssize_t n = ::pwrite(fd_, bytes, static_cast<std::size_t>(left), position_);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) throw WriteError(errnoText(name_, n < 0 ? errno : ENOSPC));
                bytes += n;
                left -= n;
                position_ += n;
            }
            end_ = std::max(end_, position_);
            return size;
        }, 0);
    }
    sf_count_t tell() override { return position_; }

private:
    int fd_;
    std::string name_;
    sf_count_t position_ = 0;
    sf_count_t end_ = 0;
};

// Memory, for a file made whole before it goes anywhere.
class MemoryDestination : public EncodedWriter::Destination {
public:
    sf_count_t length() override { return static_cast<sf_count_t>(bytes_.size()); }
    sf_count_t seek(sf_count_t offset, int whence) override {
        const sf_count_t to = target(offset, whence, position_, length());
        if (to >= 0) position_ = to;
        return to;
    }
    sf_count_t read(void* data, sf_count_t size) override {
        const sf_count_t n = std::clamp<sf_count_t>(length() - position_, 0, size);
        std::memcpy(data, bytes_.data() + position_, static_cast<std::size_t>(n));
        position_ += n;
        return n;
    }
    sf_count_t write(const void* data, sf_count_t size) override {
        return guarded([&] {
            const auto end = static_cast<std::size_t>(position_ + size);
            if (end > bytes_.size()) bytes_.resize(end);
            std::memcpy(bytes_.data() + position_, data, static_cast<std::size_t>(size));
            position_ += size;
            return size;
        }, 0);
    }
    sf_count_t tell() override { return position_; }
    const std::vector<std::uint8_t>* memory() const override { return &bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
    sf_count_t position_ = 0;
};

// A stream: bytes go out strictly in order, and a reader that stalls never
// holds the writer beyond the next call of `whileBlocked`.
class StreamDestination : public EncodedWriter::Destination {
public:
    StreamDestination(int fd, std::string name, EncodedWriter::WhileBlocked whileBlocked)
        : fd_(fd), name_(std::move(name)), whileBlocked_(std::move(whileBlocked)) {
        struct stat st {};
        const bool fileLike = ::fstat(fd_, &st) == 0 && (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode));
        // A pipe that polls writable has room for this much without blocking.
        chunk_ = fileLike ? SIZE_MAX : PIPE_BUF;
    }

    sf_count_t length() override { return written_; }
    // Only "where it is now": a stream cannot go back.
    sf_count_t seek(sf_count_t offset, int whence) override {
        const sf_count_t to = target(offset, whence, written_, written_);
        return to == written_ ? to : -1;
    }
    sf_count_t read(void*, sf_count_t) override { return 0; }
    sf_count_t write(const void* data, sf_count_t size) override {
        return guarded([&] {
            writeAll(static_cast<const std::uint8_t*>(data), static_cast<std::size_t>(size));
            return size;
        }, 0);
    }
    sf_count_t tell() override { return written_; }

    void writeAll(const std::uint8_t* data, std::size_t size) {
        while (size > 0) {
            waitUntilWritable();
            const ssize_t n = ::write(fd_, data, std::min(size, chunk_));
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
                if (whileBlocked_) whileBlocked_();
                continue;
            }
            if (n <= 0) throw WriteError(errnoText(name_, n < 0 ? errno : ENOSPC));
            data += n;
            size -= static_cast<std::size_t>(n);
            written_ += n;
        }
    }

private:
    void waitUntilWritable() {
        constexpr int kLookMs = 100;
        if (chunk_ == SIZE_MAX) return;
        pollfd wanted{fd_, POLLOUT, 0};
        for (;;) {
            const int ready = ::poll(&wanted, 1, kLookMs);
            // Ready, or an error (a reader gone) that the write will report.
            if (ready > 0 || (ready < 0 && errno != EINTR)) return;
            if (whileBlocked_) whileBlocked_();
        }
    }

    int fd_;
    std::string name_;
    EncodedWriter::WhileBlocked whileBlocked_;
    std::size_t chunk_ = 0;
    sf_count_t written_ = 0;
};

// A file made in memory, then written to a stream whole: for formats whose
// encoder goes back to complete the header.
class HeldForStream : public MemoryDestination {
public:
    HeldForStream(int fd, std::string name, EncodedWriter::WhileBlocked whileBlocked)
        : stream_(fd, std::move(name), std::move(whileBlocked)) {}
    void complete() override {
        const std::vector<std::uint8_t>& held = *memory();
        stream_.writeAll(held.data(), held.size());
    }

private:
    StreamDestination stream_;
};

EncodedWriter::Destination& destinationOf(void* user) { return *static_cast<EncodedWriter::Destination*>(user); }

SF_VIRTUAL_IO virtualIo() {
    SF_VIRTUAL_IO io{};
    io.get_filelen = [](void* user) { return destinationOf(user).length(); };
    io.seek = [](sf_count_t offset, int whence, void* user) { return destinationOf(user).seek(offset, whence); };
    io.read = [](void* data, sf_count_t size, void* user) { return destinationOf(user).read(data, size); };
    io.write = [](const void* data, sf_count_t size, void* user) { return destinationOf(user).write(data, size); };
    io.tell = [](void* user) { return destinationOf(user).tell(); };
    return io;
}

int sndfileFormat(AudioFormat format) {
    switch (format) {
        case AudioFormat::Flac: return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
        case AudioFormat::Vorbis: return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
        case AudioFormat::Opus: return SF_FORMAT_OGG | SF_FORMAT_OPUS;
        case AudioFormat::Mp3: return SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
        case AudioFormat::Wav: break;
    }
    throw FormatError("WAV files are written by the WAV writer, not encoded");
}

// libsndfile's compression level for a quality: 0 best, 1 smallest. LAME's
// VBR scale stops short of its smallest end (it takes 1.0 as 0.999 and says
// it failed), so the smallest MP3 asks for that.
double compressionLevel(AudioFormat format, double quality) {
    constexpr double kSmallestMp3Level = 0.999;
    const double level = 1 - quality / kBestQuality;
    return format == AudioFormat::Mp3 ? std::min(level, kSmallestMp3Level) : level;
}

SNDFILE* handle(void* file) { return static_cast<SNDFILE*>(file); }

}  // namespace

EncodedWriter::EncodedWriter(std::unique_ptr<Destination> destination, std::string name, std::int32_t sampleRate,
                             const Encoding& encoding)
    : destination_(std::move(destination)), name_(std::move(name)) {
    checkEncoding(encoding);
    checkSampleRate(encoding.format, sampleRate);
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 1;
    info.format = sndfileFormat(encoding.format);
    SF_VIRTUAL_IO io = virtualIo();
    file_ = sf_open_virtual(&io, SFM_WRITE, &info, destination_.get());
    if (!file_) {
        rethrowDestinationError();
        fail(sf_strerror(nullptr));
    }
    const Tags& tags = encoding.tags;
    const std::string track = tags.trackNumber ? std::to_string(*tags.trackNumber) : std::string();
    const std::pair<int, const std::string*> strings[] = {{SF_STR_TITLE, &tags.title},   {SF_STR_ARTIST, &tags.artist},
                                                          {SF_STR_ALBUM, &tags.album},   {SF_STR_TRACKNUMBER, &track},
                                                          {SF_STR_COMMENT, &tags.comment}};
    for (const auto& [kind, text] : strings) {
        if (!text->empty() && sf_set_string(handle(file_), kind, text->c_str()) != 0) {
            fail("its tags cannot be set: " + std::string(sf_strerror(handle(file_))));
        }
    }
    if (!isLossless(encoding.format)) {
        double level = compressionLevel(encoding.format, encoding.quality.value_or(defaultQuality(encoding.format)));
        if (sf_command(handle(file_), SFC_SET_COMPRESSION_LEVEL, &level, sizeof level) != SF_TRUE) {
            fail("its quality cannot be set: " + std::string(sf_strerror(handle(file_))));
        }
    }
    buffer_.reserve(kBufferSamples);
}

std::unique_ptr<EncodedWriter> EncodedWriter::intoFile(int fd, std::string name, std::int32_t sampleRate,
                                                       const Encoding& encoding) {
    auto destination = std::make_unique<FileDestination>(fd, name);
    return std::unique_ptr<EncodedWriter>(new EncodedWriter(std::move(destination), std::move(name), sampleRate,
                                                            encoding));
}

std::unique_ptr<EncodedWriter> EncodedWriter::toStream(int fd, std::string name, std::int32_t sampleRate,
                                                       const Encoding& encoding, WhileBlocked whileBlocked) {
    // Ogg pages are written once and in order; the FLAC and MP3 encoders go
    // back at the end to complete their headers (sample count, seek table).
    const bool inOrder = encoding.format == AudioFormat::Vorbis || encoding.format == AudioFormat::Opus;
    std::unique_ptr<Destination> destination;
    if (inOrder) {
        destination = std::make_unique<StreamDestination>(fd, name, std::move(whileBlocked));
    } else {
        destination = std::make_unique<HeldForStream>(fd, name, std::move(whileBlocked));
    }
    return std::unique_ptr<EncodedWriter>(new EncodedWriter(std::move(destination), std::move(name), sampleRate,
                                                            encoding));
}

std::unique_ptr<EncodedWriter> EncodedWriter::intoMemory(std::string name, std::int32_t sampleRate,
                                                         const Encoding& encoding) {
    return std::unique_ptr<EncodedWriter>(new EncodedWriter(std::make_unique<MemoryDestination>(), std::move(name),
                                                            sampleRate, encoding));
}

EncodedWriter::~EncodedWriter() { abandon(); }

void EncodedWriter::append(std::span<const std::int16_t> samples) {
    if (buffer_.size() + samples.size() > kBufferSamples) flush();
    if (samples.size() >= kBufferSamples) {
        encode(samples);
        return;
    }
    buffer_.insert(buffer_.end(), samples.begin(), samples.end());
    if (buffer_.size() >= kBufferSamples) flush();
}

void EncodedWriter::flush() {
    if (buffer_.empty()) return;
    encode(buffer_);
    buffer_.clear();
}

void EncodedWriter::encode(std::span<const std::int16_t> samples) {
    if (!file_) fail("it was already finished or failed");
    // libvorbis, given millions of samples in one call, writes out of bounds.
    for (std::size_t at = 0; at < samples.size(); at += kBufferSamples) {
        const std::span<const std::int16_t> piece = samples.subspan(at, std::min(kBufferSamples, samples.size() - at));
        const auto count = static_cast<sf_count_t>(piece.size());
        const sf_count_t written = sf_write_short(handle(file_), piece.data(), count);
        rethrowDestinationError();
        if (written != count) fail(sf_strerror(handle(file_)));
    }
}

void EncodedWriter::finish() {
    if (!file_) return;
    flush();
    SNDFILE* file = handle(file_);
    file_ = nullptr;
    const int closed = sf_close(file);
    rethrowDestinationError();
    if (closed != 0) fail(sf_error_number(closed));
    destination_->complete();
}

const std::vector<std::uint8_t>& EncodedWriter::bytes() const {
    static const std::vector<std::uint8_t> kNone;
    const std::vector<std::uint8_t>* held = destination_->memory();
    return held ? *held : kNone;
}

void EncodedWriter::abandon() {
    destination_->abandon();
    if (file_) sf_close(handle(file_));
    file_ = nullptr;
}

void EncodedWriter::rethrowDestinationError() {
    const std::exception_ptr error = destination_->error();
    if (!error) return;
    abandon();
    std::rethrow_exception(error);
}

void EncodedWriter::fail(const std::string& why) {
    abandon();
    throw WriteError("Cannot write " + name_ + ": " + why);
}

}  // namespace vantel::formats
