#pragma once

#include <sys/mount.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "support/run_command.h"
#include "support/wav_file.h"

// What the fault tests share: a small file system of their own that can fill
// up or turn read-only (a tmpfs mount: as root, file permissions prove
// nothing), a change of the current folder for the window's "CWTemp.wav", and
// checks on WAV files.
namespace vantel::testing {

// A tmpfs of `bytes` mounted on a fresh folder, unmounted and removed at the
// end. `refusal` says why not when mounting is not allowed here.
class ScratchMount {
public:
    explicit ScratchMount(std::size_t bytes) : options_("size=" + std::to_string(bytes)) {
        std::string pattern = (std::filesystem::temp_directory_path() / "vantel-mount-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            refusal_ = std::string("mkdtemp: ") + std::strerror(errno);
            return;
        }
        path_ = pattern;
        if (::mount("tmpfs", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options_.c_str()) != 0) {
            refusal_ = "mounting a tmpfs was refused (" + std::string(std::strerror(errno)) +
                       "); these tests need root and a kernel that lets it mount";
            ::rmdir(path_.c_str());
            path_.clear();
        }
    }
    ~ScratchMount() {
        if (path_.empty()) return;
        ::umount2(path_.c_str(), MNT_DETACH);
        ::rmdir(path_.c_str());
    }
    ScratchMount(const ScratchMount&) = delete;
    ScratchMount& operator=(const ScratchMount&) = delete;

    bool mounted() const { return !path_.empty(); }
    const std::string& refusal() const { return refusal_; }
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

    bool remountReadOnly() {
        return ::mount(nullptr, path_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV,
                       options_.c_str()) == 0;
    }

private:
    std::string options_;
    std::filesystem::path path_;
    std::string refusal_;
};

// The process's current folder, where the window writes "CWTemp.wav", for
// the life of this object.
class InFolder {
public:
    explicit InFolder(const std::filesystem::path& folder) : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~InFolder() { std::filesystem::current_path(previous_); }
    InFolder(const InFolder&) = delete;
    InFolder& operator=(const InFolder&) = delete;

private:
    std::filesystem::path previous_;
};

inline void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    QFile file(QString::fromStdString(path.string()));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
                                                static_cast<qint64>(bytes.size())) {
        qFatal("cannot write %s", path.c_str());
    }
}

// A WAV file that is whole: a 16-bit mono header whose sizes agree with the
// file's length.
inline bool isCompleteWav(const std::filesystem::path& path) {
    const std::vector<std::uint8_t> b = readBytes(path);
    if (b.size() < 44) return false;
    const WavContents wav = readWav(path);
    return std::equal(b.begin(), b.begin() + 4, "RIFF") && std::equal(b.begin() + 8, b.begin() + 12, "WAVE") &&
           wav.riffSize == static_cast<std::int32_t>(b.size() - 8) &&
           wav.dataBytes == static_cast<std::int32_t>(b.size() - 44);
}

inline CommandResult runGen(const std::filesystem::path& cwd, const std::vector<std::string>& args) {
    return runIn(cwd, VANTEL_GEN_PATH, args);
}

}  // namespace vantel::testing
