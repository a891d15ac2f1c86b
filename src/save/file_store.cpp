#include "save/file_store.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <filesystem>
#include <random>
#include <system_error>

namespace vantel::save {
namespace {

std::string reason(int error) { return std::error_code(error, std::generic_category()).message(); }

StoreResult failed(std::string message) { return {StoreOutcome::Failed, std::move(message)}; }

// Closes on destruction; close() reports the error a deferred write may give.
class FileHandle {
public:
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    int get() const { return fd_; }
    bool close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result == 0;
    }

private:
    int fd_;
};

// The copy's name while it is being written; removed unless it was moved.
class TemporaryName {
public:
    explicit TemporaryName(std::string path) : path_(std::move(path)) {}
    ~TemporaryName() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    TemporaryName(const TemporaryName&) = delete;
    TemporaryName& operator=(const TemporaryName&) = delete;

    const std::string& path() const { return path_; }
    void moved() { path_.clear(); }

private:
    std::string path_;
};

std::string folderOf(const std::string& target) {
    const std::filesystem::path parent = std::filesystem::path(target).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

// Creates a new hidden file in `folder` under a name nobody else uses; the
// mode follows the umask as for any other file the user creates.
int createTemporary(const std::string& folder, std::string& path) {
    std::random_device entropy;
    constexpr int kAttempts = 100;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        path = folder + "/.vantel-" + std::to_string(::getpid()) + "-" + std::to_string(entropy()) + ".part";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

// Zero when every byte was written, otherwise the error number.
int writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t done = ::write(fd, data, size);
        if (done < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        data += done;
        size -= static_cast<std::size_t>(done);
    }
    return 0;
}

int copyBytes(int from, int to) {
    std::array<char, 64 * 1024> buffer{};
    for (;;) {
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got == 0) return 0;
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (const int error = writeAll(to, buffer.data(), static_cast<std::size_t>(got)); error != 0) return error;
    }
}

// So the new name survives a crash as well as the bytes behind it.
void syncFolder(const std::string& folder) {
    const FileHandle dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
}

bool hardLinksUnsupported(int error) { return error == EPERM || error == EOPNOTSUPP || error == ENOSYS; }

// Gives the finished copy the target name, refusing to replace anything.
// Hard links are the common way; file systems without them may still move a
// file without replacing.
StoreResult publish(TemporaryName& temp, const std::string& target) {
    int error = 0;
    if (::link(temp.path().c_str(), target.c_str()) == 0) {
        syncFolder(folderOf(target));
        return {StoreOutcome::Stored, {}};
    }
    error = errno;
    if (hardLinksUnsupported(error)) {
        if (::renameat2(AT_FDCWD, temp.path().c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
            temp.moved();
            syncFolder(folderOf(target));
            return {StoreOutcome::Stored, {}};
        }
        error = errno;
    }
    if (error == EEXIST) return {StoreOutcome::NameTaken, {}};
    return failed("Cannot store " + target + ": " + reason(error));
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

    std::string tempPath;
    FileHandle out(createTemporary(folderOf(target), tempPath));
    if (out.get() < 0) return failed("Cannot store " + target + ": " + reason(errno));
    TemporaryName temp(tempPath);

    if (const int error = copyBytes(in.get(), out.get()); error != 0) {
        return failed("Cannot store " + target + ": " + reason(error));
    }
    if (::fsync(out.get()) != 0 || !out.close()) return failed("Cannot store " + target + ": " + reason(errno));

    if (beforePublish) beforePublish();
    return publish(temp, target);
}

std::string removeOneFile(const std::string& path) {
    if (::unlink(path.c_str()) == 0 || errno == ENOENT) return {};
    if (errno == EISDIR) return "Not deleted: " + path + " is a folder";
    return "Cannot delete " + path + ": " + reason(errno);
}

}  // namespace vantel::save
