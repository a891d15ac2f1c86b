#include "save/file_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "save/publish.h"

namespace vantel::save {
namespace {

std::string reason(int error) { return std::error_code(error, std::generic_category()).message(); }

StoreResult failed(std::string message) { return {StoreOutcome::Failed, std::move(message)}; }

// Closes on destruction.
class FileHandle {
public:
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    int get() const { return fd_; }

private:
    int fd_;
};

std::string folderOf(const std::string& target) {
    const std::filesystem::path parent = std::filesystem::path(target).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

int copyBytes(int from, PendingFile& to) {
    std::array<char, 64 * 1024> buffer{};
    for (;;) {
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got == 0) return 0;
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        to.write(buffer.data(), static_cast<std::size_t>(got));
    }
}

}  // namespace

bool nameTaken(const std::string& path) {
    struct stat entry {};
    return ::lstat(path.c_str(), &entry) == 0;
}

StoreResult copyWithoutReplacing(const std::string& source, const std::string& target,
                                 const BeforePublish& beforePublish) {
    const FileHandle in(::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (in.get() < 0) return failed("Cannot store: " + source + " cannot be read (" + reason(errno) + ")");
    struct stat sourceEntry {};
    if (::fstat(in.get(), &sourceEntry) != 0 || !S_ISREG(sourceEntry.st_mode)) {
        return failed("Cannot store: " + source + " is not a file");
    }
    try {
        const Folder folder(folderOf(target), target);
        PendingFile copy(folder, std::filesystem::path(target).filename().string(), target, processTemporarySuffix(),
                         Replace::Refused);
        if (const int error = copyBytes(in.get(), copy); error != 0) {
            return failed("Cannot store " + target + ": " + reason(error));
        }
        copy.sync();
        if (beforePublish) beforePublish();
        copy.publish();
        folder.sync();
        return {StoreOutcome::Stored, {}};
    } catch (const PublishError& e) {
        if (e.error() == EEXIST) return {StoreOutcome::NameTaken, {}};
        return failed("Cannot store " + target + ": " + e.reason());
    }
}

std::string removeOneFile(const std::string& path) {
    if (::unlink(path.c_str()) == 0 || errno == ENOENT) return {};
    if (errno == EISDIR) return "Not deleted: " + path + " is a folder";
    return "Cannot delete " + path + ": " + reason(errno);
}

}  // namespace vantel::save
