#include "save/output_target.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>

#include "save/publish.h"

namespace vantel::save {
namespace {

constexpr int kWaitMs = 100;
// More links in a chain than this is a loop, as the system itself counts.
constexpr int kMostLinks = 40;

// The descriptor a name stands for: /dev/fd/N, /proc/self/fd/N,
// /proc/PID/fd/N for this process, /dev/stdout, /dev/stderr; -1 for any other.
int descriptorNamed(std::string_view name) {
    if (name == "/dev/stdout") return STDOUT_FILENO;
    if (name == "/dev/stderr") return STDERR_FILENO;
    const std::string self = "/proc/" + std::to_string(::getpid()) + "/fd/";
    for (std::string_view prefix : {std::string_view("/dev/fd/"), std::string_view("/proc/self/fd/"),
                                    std::string_view(self)}) {
        if (!name.starts_with(prefix)) continue;
        const std::string_view digits = name.substr(prefix.size());
        int fd = -1;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), fd);
        if (error == std::errc() && end == digits.data() + digits.size() && !digits.empty()) return fd;
    }
    return -1;
}

// The path a chain of symbolic links ends at (the path itself when it is no
// link), each link read relative to its own folder; the end need not exist.
std::filesystem::path followLinks(const std::filesystem::path& path, const std::string& given) {
    std::filesystem::path at = path;
    for (int links = 0;; ++links) {
        struct stat st {};
        if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;
        if (links == kMostLinks) throw PublishError(cannotCreate(given, ELOOP));
        std::error_code error;
        const std::filesystem::path target = std::filesystem::read_symlink(at, error);
        if (error) throw PublishError(cannotCreate(given, error.value()));
        at = target.is_absolute() ? target : at.parent_path() / target;
    }
}

OutputTarget fileAt(const std::filesystem::path& path) {
    OutputTarget target;
    target.folder = path.parent_path();
    target.name = path.filename().string();
    return target;
}

}  // namespace

OutputTarget resolveOutput(const std::string& given) {
    if (given.empty()) throw PublishError("Cannot create a file without a name");
    if (const int fd = descriptorNamed(given); fd >= 0) {
        OutputTarget target;
        target.kind = OutputTarget::Kind::Descriptor;
        target.descriptor = fd;
        return target;
    }
    struct stat st {};
    if (::stat(given.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) throw PublishError("Cannot create " + given + ": it is a folder");
        if (S_ISBLK(st.st_mode)) {
            throw PublishError("Cannot create " + given + ": it is a block device, which a WAV file is not written into");
        }
        if (!S_ISREG(st.st_mode)) {
            OutputTarget target;
            target.kind = OutputTarget::Kind::Stream;
            target.path = given;
            return target;
        }
    }
    const std::filesystem::path end = followLinks(given, given);
    if (end.filename().empty() || end.filename() == "." || end.filename() == "..") {
        throw PublishError("Cannot create " + given + ": it names a folder");
    }
    return fileAt(end);
}

int openStream(const OutputTarget& target, const std::string& given, const WhileWaiting& whileWaiting) {
    if (target.kind == OutputTarget::Kind::Descriptor) {
        const int fd = ::fcntl(target.descriptor, F_DUPFD_CLOEXEC, 0);
        if (fd < 0) throw PublishError("Cannot write " + given + ": " + std::string(errno == EBADF ? "no such open descriptor" : std::strerror(errno)));
        return fd;
    }
    // Opened without blocking, so that a FIFO with no reader yet can be
    // waited for a little at a time and the wait given up.
    for (;;) {
        const int fd = ::open(target.path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd >= 0) return fd;
        if (errno != ENXIO && errno != EINTR) throw PublishError("Cannot write " + given + ": " + std::strerror(errno));
        if (whileWaiting) whileWaiting();
        ::poll(nullptr, 0, kWaitMs);
    }
}

}  // namespace vantel::save
