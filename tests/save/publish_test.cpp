// Output names resolved, and files published through a held folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "save/output_target.h"
#include "save/publish.h"
#include "support/run_command.h"
#include "support/wav_file.h"

namespace vantel::save {
namespace {

using testing::listFolder;
using testing::slurp;
using testing::TempDir;

TEST(OutputTarget, EachKindOfNameIsWrittenTheWayItCan) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
    std::filesystem::create_directory(dir / "sub");
    std::filesystem::create_symlink("sub/real.wav", dir / "link.wav");
    std::filesystem::create_symlink("link.wav", dir / "link-to-link.wav");
    std::filesystem::create_symlink("loop-b", dir / "loop-a");
    std::filesystem::create_symlink("loop-a", dir / "loop-b");

    EXPECT_EQ(resolveOutput((dir / "fifo").string()).kind, OutputTarget::Kind::Stream);
    EXPECT_EQ(resolveOutput("/dev/null").kind, OutputTarget::Kind::Stream);
    const OutputTarget fd = resolveOutput("/dev/fd/7");
    EXPECT_EQ(fd.kind, OutputTarget::Kind::Descriptor);
    EXPECT_EQ(fd.descriptor, 7);
    EXPECT_EQ(resolveOutput("/dev/stdout").descriptor, 1);
    const OutputTarget plain = resolveOutput("x.wav");
    EXPECT_EQ(plain.kind, OutputTarget::Kind::File);
    EXPECT_EQ(plain.folder, "");
    EXPECT_EQ(plain.name, "x.wav");
    for (const char* link : {"link.wav", "link-to-link.wav"}) {
        const OutputTarget followed = resolveOutput((dir / link).string());
        EXPECT_EQ(followed.kind, OutputTarget::Kind::File) << link;
        EXPECT_EQ(followed.folder, dir / "sub") << link;
        EXPECT_EQ(followed.name, "real.wav") << link;
    }
    for (const std::string& bad : {(dir / "sub").string(), (dir / "loop-a").string(), std::string()}) {
        EXPECT_THROW(resolveOutput(bad), PublishError) << bad;
    }
}

// A file is published only when complete, never over a name taken meanwhile
// when that is refused, and an unpublished one leaves nothing, even when its
// folder was moved away while it was written.
TEST(PendingFile, PublishesWholeReplacesOnlyWhenAllowedAndLeavesNothingElse) {
    TempDir dir;
    std::filesystem::create_directory(dir / "out");
    const Folder folder(dir / "out", "out");
    {
        PendingFile file(folder, "a.wav", "out/a.wav", ".partial-test", Replace::Refused);
        file.write("new", 3);
        EXPECT_EQ(listFolder(dir / "out"), std::vector<std::string>{"a.wav.partial-test"});
        { std::ofstream(dir / "out" / "a.wav") << "someone else's"; }
        EXPECT_THROW(file.publish(), PublishError);
    }
    EXPECT_EQ(listFolder(dir / "out"), std::vector<std::string>{"a.wav"});
    EXPECT_EQ(slurp(dir / "out" / "a.wav"), "someone else's");
    {
        PendingFile file(folder, "a.wav", "out/a.wav", ".partial-test", Replace::Allowed);
        file.write("new", 3);
        file.publish();
    }
    EXPECT_EQ(slurp(dir / "out" / "a.wav"), "new");

    {
        PendingFile file(folder, "b.wav", "out/b.wav", ".partial-test", Replace::Allowed);
        std::filesystem::rename(dir / "out", dir / "moved");
        EXPECT_THROW(file.publish(true), PublishError);  // not where it was asked for
    }
    {
        PendingFile file(folder, "c.wav", "out/c.wav", ".partial-test", Replace::Refused);
        file.write("x", 1);
    }
    EXPECT_EQ(listFolder(dir / "moved"), std::vector<std::string>{"a.wav"});
}

}  // namespace
}  // namespace vantel::save
