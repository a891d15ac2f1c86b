#include "save/publish.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace vantel::save {
namespace {

std::string reason(int error) { return std::error_code(error, std::generic_category()).message(); }

bool sameEntry(const struct stat& a, dev_t device, ino_t inode) { return a.st_dev == device && a.st_ino == inode; }

// Gives the temporary the name without replacing anything: a no-replace
// rename, or on file systems without one a hard link and an unlink.
int renameWithoutReplacing(int folder, const std::string& from, const std::string& to) {
    if (::renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
    if (::linkat(folder, from.c_str(), folder, to.c_str(), 0) != 0) return errno;
    ::unlinkat(folder, from.c_str(), 0);
    return 0;
}

}  // namespace

std::string cannotCreate(const std::string& shownName, int error) {
    return "Cannot create " + shownName + ": " + reason(error);
}

PublishError::PublishError(const std::string& shownName, const std::string& why, int error)
    : std::runtime_error("Cannot create " + shownName + ": " + why), reason_(why), error_(error) {}

Folder::Folder(const std::filesystem::path& path, const std::string& shownName)
    : path_(path.empty() ? std::filesystem::path(".") : path) {
    fd_ = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) throw PublishError(shownName, reason(errno), errno);
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        const int error = errno;
        ::close(fd_);
        throw PublishError(shownName, reason(error), error);
    }
    device_ = st.st_dev;
    inode_ = st.st_ino;
}

Folder::~Folder() {
    if (fd_ >= 0) ::close(fd_);
}

bool Folder::stillAtItsPath() const {
    struct stat st {};
    return ::stat(path_.c_str(), &st) == 0 && sameEntry(st, device_, inode_);
}

void Folder::sync() const { ::fsync(fd_); }

std::filesystem::path Folder::whereNow() const {
    std::error_code error;
    const auto now = std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd_), error);
    return error ? path_ : now;
}

PendingFile::PendingFile(const Folder& folder, std::string name, std::string shownName, std::string temporarySuffix,
                         Replace replace)
    : folder_(folder),
      name_(std::move(name)),
      shown_(std::move(shownName)),
      temporary_(name_ + temporarySuffix),
      replace_(replace) {
    fd_ = ::openat(folder_.fd(), temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd_ < 0) throw PublishError(shown_, reason(errno), errno);
    created_ = true;
    struct stat st {};
    if (::fstat(fd_, &st) != 0) fail(errno);
    device_ = st.st_dev;
    inode_ = st.st_ino;
}

PendingFile::~PendingFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!published_) removeTemporary();
}

void PendingFile::removeTemporary() {
    if (created_) ::unlinkat(folder_.fd(), temporary_.c_str(), 0);
    created_ = false;
}

void PendingFile::fail(int error) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    removeTemporary();
    throw PublishError(shown_, reason(error), error);
}

void PendingFile::write(const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail(n < 0 ? errno : ENOSPC);
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

void PendingFile::sync() {
    if (::fsync(fd_) != 0) fail(errno);
}

void PendingFile::publish(bool folderMustStay) {
    const int fd = fd_;
    fd_ = -1;
    // A write the system deferred may fail only now.
    if (::close(fd) != 0) fail(errno);
    // The temporary must still be this file: a file someone put under its
    // name is not published as ours.
    struct stat st {};
    if (::fstatat(folder_.fd(), temporary_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !sameEntry(st, device_, inode_)) {
        created_ = false;
        throw PublishError(shown_, "it was removed or replaced while being written");
    }
    if (folderMustStay && !folder_.stillAtItsPath()) {
        removeTemporary();
        throw PublishError(shown_, "its folder was moved or removed while it was written");
    }
    const int error = replace_ == Replace::Allowed
                          ? (::renameat(folder_.fd(), temporary_.c_str(), folder_.fd(), name_.c_str()) == 0 ? 0 : errno)
                          : renameWithoutReplacing(folder_.fd(), temporary_, name_);
    if (error == EEXIST) {
        removeTemporary();
        throw PublishError(shown_, "something else took that name meanwhile; it was left as it was", EEXIST);
    }
    if (error != 0) fail(error);
    created_ = false;  // the temporary's name is gone with the rename
    published_ = true;
}

void PendingFile::withdraw() {
    struct stat st {};
    if (!published_ || ::fstatat(folder_.fd(), name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return;
    if (sameEntry(st, device_, inode_)) ::unlinkat(folder_.fd(), name_.c_str(), 0);
    published_ = false;
}

std::string processTemporarySuffix() { return ".partial-" + std::to_string(::getpid()); }

}  // namespace vantel::save
