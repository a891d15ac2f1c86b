// What vantel-gen does to the file system around its output: streams and
// devices are written into, links followed, a sweep's folder held for it
// alone, and nothing of its own left behind on any error or stop.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/run_command.h"
#include "support/spawn.h"
#include "support/wav_file.h"

namespace vantel {
namespace {

using testing::listFolder;
using testing::readBytes;
using testing::runIn;
using testing::shellQuote;
using testing::slurp;
using testing::TempDir;

using Args = std::vector<std::string>;

const std::string kGen = VANTEL_GEN_PATH;
const Args kClip{"--message", "cq test", "--rate", "8000", "--seed", "3"};

Args operator+(Args a, const Args& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// vantel-gen as a shell line (its arguments quoted) with `redirections`.
testing::CommandResult genRedirected(const std::filesystem::path& cwd, const Args& args,
                                     const std::string& redirections) {
    std::string line = shellQuote(kGen);
    for (const std::string& a : args) line += " " + shellQuote(a);
    return runIn(cwd, "/bin/bash", {"-c", line + " " + redirections});
}

// vantel-gen on a disk that is full after `kilobytes` (a file size limit,
// its signal ignored so that writes fail as on a full disk). Its messages
// pass through a pipe, which the limit does not reach.
testing::CommandResult genOnAFullDisk(const std::filesystem::path& cwd, int kilobytes, const Args& args) {
    std::string line = "set -o pipefail; { ( ulimit -f " + std::to_string(kilobytes) + "; trap '' XFSZ; exec " +
                       shellQuote(kGen);
    for (const std::string& a : args) line += " " + shellQuote(a);
    return runIn(cwd, "/bin/bash", {"-c", line + " ) 2>&1 1>&3 | cat >&2; } 3>&1"});
}

bool isFifo(const std::filesystem::path& p) { return std::filesystem::is_fifo(std::filesystem::symlink_status(p)); }

TEST(OutputFiles, StreamsDevicesAndLinksAreWrittenIntoNeverReplaced) {
    TempDir dir;
    ASSERT_EQ(runIn(dir.path(), kGen, kClip + Args{"-o", "reference.wav"}).exitCode, 0);
    const auto reference = readBytes(dir / "reference.wav");

    // A FIFO: its reader gets the file, and the FIFO stays.
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
    std::vector<std::uint8_t> read;
    std::thread reader([&] { read = readBytes(dir / "fifo"); });
    const auto toFifo = runIn(dir.path(), kGen, kClip + Args{"-o", "fifo"});
    reader.join();
    EXPECT_EQ(toFifo.exitCode, 0) << toFifo.err;
    EXPECT_EQ(read, reference);
    EXPECT_TRUE(isFifo(dir / "fifo"));

    // A device stays a device.
    EXPECT_EQ(runIn(dir.path(), kGen, kClip + Args{"-o", "/dev/null"}).exitCode, 0);
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));

    // A descriptor: the pipe a shell hands over as /dev/fd/3.
    const auto piped = genRedirected(dir.path(), kClip + Args{"-o", "/dev/fd/3"}, "3>&1 >/dev/null | cat > piped.wav");
    EXPECT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_EQ(readBytes(dir / "piped.wav"), reference);

    // Links are followed: the file they lead to is written, the link stays;
    // a link that leads nowhere yet makes its file.
    { std::ofstream(dir / "target.wav") << "an older file"; }
    std::filesystem::create_symlink("target.wav", dir / "link.wav");
    std::filesystem::create_directory(dir / "elsewhere");
    std::filesystem::create_symlink("elsewhere/made.wav", dir / "dangling.wav");
    for (const char* link : {"link.wav", "dangling.wav"}) {
        const auto result = runIn(dir.path(), kGen, kClip + Args{"-o", link});
        EXPECT_EQ(result.exitCode, 0) << link << ": " << result.err;
        EXPECT_TRUE(std::filesystem::is_symlink(dir / link)) << link;
        EXPECT_EQ(readBytes(dir / link), reference) << link;
    }
    EXPECT_EQ(listFolder(dir / "elsewhere"), std::vector<std::string>{"made.wav"});

    // A folder is no file to write.
    const auto folder = runIn(dir.path(), kGen, kClip + Args{"-o", "elsewhere"});
    EXPECT_EQ(folder.exitCode, 1);
    EXPECT_EQ(folder.err, "vantel-gen: Cannot create elsewhere: it is a folder\n");
}

// A disk that fills (here a file size limit) at the header, half-way, or in
// a sweep: one line, a failure status, and nothing of the run left.
TEST(OutputFiles, AFullDiskLeavesNothingBehind) {
    TempDir dir;
    const auto atHeader = genOnAFullDisk(dir.path(), 0, kClip + Args{"-o", "x.wav"});
    EXPECT_EQ(atHeader.exitCode, 1);
    EXPECT_EQ(atHeader.err, "vantel-gen: Cannot write x.wav: File too large\n");
    const auto halfWay = genOnAFullDisk(dir.path(), 8, kClip + Args{"-o", "x.wav"});
    EXPECT_EQ(halfWay.exitCode, 1);
    EXPECT_EQ(halfWay.err, "vantel-gen: Cannot write x.wav: File too large\n");
    EXPECT_EQ(listFolder(dir.path()), std::vector<std::string>{});

    const auto sweep = genOnAFullDisk(dir.path(), 8, kClip + Args{"--sweep", "-q", "-o", "set", "--snr", "0:9:1"});
    EXPECT_EQ(sweep.exitCode, 1) << sweep.err;
    for (const std::string& name : listFolder(dir / "set")) {
        EXPECT_EQ(name.find(".partial-"), std::string::npos) << name;
    }
}

// A second sweep into a folder one is writing is refused at once, and the
// first one's files are all its own, each as its manifest row says.
TEST(OutputFiles, ASweepHoldsItsFolderForItself) {
    TempDir dir;
    const Args sweep{"--sweep", "-q", "--mode", "tone", "--tone-length", "20", "--rate", "48000", "--snr", "0:19:1"};
    ASSERT_EQ(runIn(dir.path(), kGen, sweep + Args{"-o", "alone", "-j", "1", "--seed", "1"}).exitCode, 0);
    const pid_t first = testing::spawnIn(dir.path(), kGen, sweep + Args{"-o", "set", "-j", "1", "--seed", "1"});
    ASSERT_TRUE(testing::waitFor([&] { return std::filesystem::exists(dir / "set"); }, std::chrono::seconds(20)));
    const auto second = runIn(dir.path(), kGen, sweep + Args{"-o", "set", "--seed", "2"});
    EXPECT_EQ(second.exitCode, 2);
    EXPECT_EQ(second.err, "vantel-gen: the output folder set is being written by another sweep: wait for it, or "
                          "choose another folder\n");
    EXPECT_EQ(testing::exitStatusOf(first), 0);
    EXPECT_EQ(listFolder(dir / "set"), listFolder(dir / "alone"));
    for (const std::string& name : listFolder(dir / "alone")) {
        EXPECT_EQ(readBytes(dir / "set" / name), readBytes(dir / "alone" / name)) << name;
    }
}

// Ctrl-C or SIGTERM ends a run whose reader stopped reading, with the usual
// status; before, the write waited for the reader forever.
TEST(OutputFiles, AStalledReaderDoesNotHoldOffAStop) {
    TempDir dir;
    for (const int signal : {SIGINT, SIGTERM}) {
        int pipeEnds[2];
        ASSERT_EQ(::pipe(pipeEnds), 0);
        const pid_t gen = ::fork();
        if (gen == 0) {
            ::dup2(pipeEnds[1], STDOUT_FILENO);
            ::close(pipeEnds[0]);
            const int devNull = ::open("/dev/null", O_WRONLY);
            ::dup2(devNull, STDERR_FILENO);
            ::execl(kGen.c_str(), kGen.c_str(), "--mode", "tone", "--tone-length", "600", "-o", "-", nullptr);
            ::_exit(127);
        }
        ::close(pipeEnds[1]);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the pipe fills and stays full
        ::kill(gen, signal);
        int status = 0;
        const bool ended = testing::waitFor([&] { return ::waitpid(gen, &status, WNOHANG) == gen; },
                                            std::chrono::seconds(5));
        if (!ended) ::kill(gen, SIGKILL), ::waitpid(gen, &status, 0);
        EXPECT_TRUE(ended) << "signal " << signal;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + signal) << "signal " << signal;
        ::close(pipeEnds[0]);
    }
}

}  // namespace
}  // namespace vantel
