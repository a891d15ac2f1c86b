#pragma once

#include <sys/types.h>

#include <filesystem>
#include <stdexcept>
#include <string>

// Writing a file so that its name never shows it half made: the bytes go to
// a temporary name in the file's folder, which is given the file's name only
// when everything is written (published). The folder is held open, and every
// name is looked up in it rather than along its path: a temporary is removed
// even when the folder was moved meanwhile, and nothing ends up in another
// folder that took the path.
namespace vantel::save {

// A file could not be made or published; the text names the file as the user
// gave it and says why in words ("Cannot create out.wav: No space left on
// device").
class PublishError : public std::runtime_error {
public:
    // "Cannot create NAME: reason"; `error` the errno value it stems from (0
    // when none), EEXIST when something else took the name.
    PublishError(const std::string& shownName, const std::string& reason, int error = 0);
    explicit PublishError(const std::string& message) : std::runtime_error(message) {}

    const std::string& reason() const { return reason_; }
    int error() const { return error_; }

private:
    std::string reason_;
    int error_ = 0;
};

// "Cannot create NAME: reason" for an errno value.
std::string cannotCreate(const std::string& shownName, int error);

// An open folder.
class Folder {
public:
    // Opens `path` (the current folder when empty); PublishError names
    // `shownName` when it cannot.
    Folder(const std::filesystem::path& path, const std::string& shownName);
    ~Folder();
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    int fd() const { return fd_; }
    const std::filesystem::path& path() const { return path_; }
    // Whether its path still leads to this folder.
    bool stillAtItsPath() const;
    // Where the folder is now (it may have been moved), as the system names it.
    std::filesystem::path whereNow() const;
    // So that names just given survive a crash; failures are ignored (a name
    // already stands, only its durability is in question).
    void sync() const;

private:
    std::filesystem::path path_;
    int fd_ = -1;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

enum class Replace {
    Allowed,  // the name's file, if any, is replaced as a whole
    Refused,  // an entry under the name, however late it appeared, is never touched: PublishError
};

// A file being made under `name` in `folder`: created under the temporary
// name `name` + `temporarySuffix` (exclusively: a name already taken is never
// written into). Destroyed unpublished, it removes its temporary, and only
// that. The folder must outlive it.
class PendingFile {
public:
    PendingFile(const Folder& folder, std::string name, std::string shownName, std::string temporarySuffix,
                Replace replace);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    int fd() const { return fd_; }
    const std::string& shownName() const { return shown_; }

    // Writes all of `data` at the end of what was written; PublishError naming
    // the file on failure.
    void write(const char* data, std::size_t size);
    // Flushes the bytes to the disk before the file is given its name.
    void sync();
    // Closes the file and gives it its name. With `folderMustStay`, refuses
    // when the folder's path no longer leads to the folder (moved or removed
    // while the file was made): the file would not be where it was asked for.
    // On failure the temporary is removed and PublishError thrown.
    void publish(bool folderMustStay = false);
    // Takes a published file's name away again, when it still leads to this
    // file (one of a pair that must appear together, whose other failed).
    void withdraw();

private:
    void removeTemporary();
    [[noreturn]] void fail(int error);

    const Folder& folder_;
    std::string name_, shown_, temporary_;
    Replace replace_;
    int fd_ = -1;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    bool created_ = false;
    bool published_ = false;
};

// The temporary suffix every writer of this process uses: ".partial-PID".
std::string processTemporarySuffix();

}  // namespace vantel::save
