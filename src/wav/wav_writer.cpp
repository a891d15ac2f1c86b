#include "wav/wav_writer.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

namespace vantel::wav {
namespace {

void putTag(std::uint8_t* out, const char (&tag)[5]) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(tag[i]);
}

void putLe32(std::uint8_t* out, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

void putLe16(std::uint8_t* out, std::int16_t value) {
    const auto bits = static_cast<std::uint16_t>(value);
    out[0] = static_cast<std::uint8_t>(bits);
    out[1] = static_cast<std::uint8_t>(bits >> 8);
}

// Samples as little-endian 16-bit values. On a little-endian machine that is
// how they already lie in memory, so they are copied whole.
void putSamplesLe16(std::uint8_t* out, std::span<const std::int16_t> samples) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, samples.data(), samples.size_bytes());
    } else {
        for (std::size_t i = 0; i < samples.size(); ++i) putLe16(out + 2 * i, samples[i]);
    }
}

}  // namespace

std::array<std::uint8_t, kHeaderBytes> header(std::int32_t sampleRate, std::int64_t samples) {
    constexpr std::int32_t kFormatChunkBytes = 16;
    constexpr std::int16_t kPcm = 1;
    constexpr std::int16_t kChannels = 1;
    constexpr std::int16_t kBitsPerSample = 16;
    constexpr std::int16_t kBlockAlign = kChannels * kBitsPerSample / 8;  // bytes per sample frame
    if (samples < 0 || samples > kMaxSamples) throw FileError("Too many samples for a WAV header");
    const auto dataBytes = static_cast<std::int32_t>(samples * kBlockAlign);
    std::array<std::uint8_t, kHeaderBytes> h{};
    putTag(&h[0], "RIFF");
    putLe32(&h[4], dataBytes + kRiffHeaderBytes);
    putTag(&h[8], "WAVE");
    putTag(&h[12], "fmt ");
    putLe32(&h[16], kFormatChunkBytes);
    putLe16(&h[20], kPcm);
    putLe16(&h[22], kChannels);
    putLe32(&h[24], sampleRate);
    putLe32(&h[28], static_cast<std::int32_t>(std::int64_t{sampleRate} * kBlockAlign));  // bytes per second
    putLe16(&h[32], kBlockAlign);
    putLe16(&h[34], kBitsPerSample);
    putTag(&h[36], "data");
    putLe32(&h[40], dataBytes);
    return h;
}

WavWriter::WavWriter(std::string path, std::int32_t sampleRate, std::int64_t plannedSamples, bool exclusive)
    : path_(std::move(path)), sampleRate_(sampleRate), planned_(plannedSamples) {
    const auto h = header(sampleRate, plannedSamples);
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (exclusive ? O_EXCL : O_TRUNC);
    fd_ = ::open(path_.c_str(), flags, 0644);
    if (fd_ < 0) fail("Cannot create", errno);
    struct stat st {};
    if (::fstat(fd_, &st) != 0) fail("Cannot create", errno);
    device_ = st.st_dev;
    inode_ = st.st_ino;
    buffer_.reserve(kBufferSamples);
    writeAll(h.data(), h.size(), 0);
}

WavWriter::WavWriter(Target target, int fd, std::string name, std::int32_t sampleRate, std::int64_t plannedSamples,
                     WhileBlocked whileBlocked)
    : path_(std::move(name)),
      fd_(fd),
      target_(target),
      whileBlocked_(std::move(whileBlocked)),
      sampleRate_(sampleRate),
      planned_(plannedSamples) {
    const auto h = header(sampleRate, plannedSamples);
    if (target_ == Target::Stream) {
        struct stat st {};
        const bool fileLike = ::fstat(fd_, &st) == 0 && (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode));
        streamChunk_ = fileLike ? SIZE_MAX : PIPE_BUF;
    }
    buffer_.reserve(kBufferSamples);
    writeAll(h.data(), h.size(), 0);
}

std::unique_ptr<WavWriter> WavWriter::intoFile(int fd, std::string name, std::int32_t sampleRate,
                                               std::int64_t plannedSamples) {
    return std::unique_ptr<WavWriter>(
        new WavWriter(Target::OpenFile, fd, std::move(name), sampleRate, plannedSamples, {}));
}

std::unique_ptr<WavWriter> WavWriter::toStream(int fd, std::string name, std::int32_t sampleRate,
                                               std::int64_t plannedSamples, WhileBlocked whileBlocked) {
    return std::unique_ptr<WavWriter>(
        new WavWriter(Target::Stream, fd, std::move(name), sampleRate, plannedSamples, std::move(whileBlocked)));
}

WavWriter::~WavWriter() {
    if (fd_ >= 0 && target_ == Target::OwnPath) ::close(fd_);
}

void WavWriter::append(std::span<const std::int16_t> samples) {
    if (buffer_.size() + samples.size() > kBufferSamples) flush();
    if (samples.size() >= kBufferSamples) {
        bytes_.resize(samples.size() * 2);
        putSamplesLe16(bytes_.data(), samples);
        const std::int64_t offset = static_cast<std::int64_t>(kHeaderBytes) + written_ * 2;
        written_ += static_cast<std::int64_t>(samples.size());
        writeAll(bytes_.data(), bytes_.size(), offset);
        return;
    }
    buffer_.insert(buffer_.end(), samples.begin(), samples.end());
    if (buffer_.size() >= kBufferSamples) flush();
}

void WavWriter::flush() {
    if (buffer_.empty()) return;
    bytes_.resize(buffer_.size() * 2);
    putSamplesLe16(bytes_.data(), buffer_);
    const std::int64_t offset = static_cast<std::int64_t>(kHeaderBytes) + written_ * 2;
    written_ += static_cast<std::int64_t>(buffer_.size());
    buffer_.clear();
    writeAll(bytes_.data(), bytes_.size(), offset);
}

ssize_t WavWriter::writeToStream(const std::uint8_t* data, std::size_t size) {
    constexpr int kLookMs = 100;
    if (streamChunk_ != SIZE_MAX) {
        pollfd wanted{fd_, POLLOUT, 0};
        for (;;) {
            const int ready = ::poll(&wanted, 1, kLookMs);
            // Ready, or an error (a reader gone) that the write will report.
            if (ready > 0 || (ready < 0 && errno != EINTR)) break;
            if (whileBlocked_) whileBlocked_();
        }
    }
    const ssize_t n = ::write(fd_, data, std::min(size, streamChunk_));
    if (n < 0 && errno == EAGAIN) return 0;  // a stream opened without blocking, full after all
    return n;
}

void WavWriter::writeAll(const std::uint8_t* data, std::size_t size, std::int64_t offset) {
    while (size > 0) {
        // Every write goes on where the last ended, so a stream needs no offset.
        const ssize_t n = target_ == Target::Stream ? writeToStream(data, size) : ::pwrite(fd_, data, size, offset);
        if (n < 0 && errno == EINTR) {
            if (target_ == Target::Stream && whileBlocked_) whileBlocked_();
            continue;
        }
        if (n == 0 && target_ == Target::Stream) continue;
        if (n <= 0) fail("Cannot write", n < 0 ? errno : ENOSPC);
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += n;
    }
}

void WavWriter::finish() {
    if (fd_ < 0) return;
    flush();
    if (target_ == Target::Stream) {
        fd_ = -1;
        if (written_ != planned_) throw FileError("Cannot finish " + path_ + ": the stream is short of samples");
        return;
    }
    if (written_ != planned_) {
        const auto h = header(sampleRate_, written_);
        writeAll(h.data(), h.size(), 0);
    }
    if (target_ == Target::OpenFile) {
        fd_ = -1;
        return;
    }
    if (!nameLeadsToFile()) {
        throw FileError("Cannot finish " + path_ + ": it was removed or replaced while being written");
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) fail("Cannot close", errno);
}

bool WavWriter::nameLeadsToFile() const {
    struct stat st {};
    return ::lstat(path_.c_str(), &st) == 0 && st.st_dev == device_ && st.st_ino == inode_;
}

void WavWriter::discard() {
    if (target_ != Target::OwnPath) {
        fd_ = -1;
        return;
    }
    if (inode_ != 0 && nameLeadsToFile()) ::unlink(path_.c_str());
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void WavWriter::fail(const std::string& what, int error) {
    if (fd_ >= 0) {
        if (target_ == Target::OwnPath) ::close(fd_);
        fd_ = -1;
    }
    throw FileError(what + " " + path_ + ": " + std::strerror(error));
}

}  // namespace vantel::wav
