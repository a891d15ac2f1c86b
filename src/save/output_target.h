#pragma once

#include <filesystem>
#include <functional>
#include <string>

// What an output name given by the user stands for. A regular file (or a
// name nothing bears yet) is written through a temporary beside it and
// replaced only when complete. Anything else that can be written into is
// written into as a stream, as it is made: a FIFO (its reader gets the bytes,
// and keeps its pipe), a character device (/dev/null stays a device), or a
// descriptor of this process (/dev/fd/N from a shell's process substitution,
// /dev/stdout). A symbolic link is followed: the file it leads to is written
// and the link stays.
namespace vantel::save {

struct OutputTarget {
    enum class Kind {
        File,        // through a temporary in `folder`, published as `name`
        Stream,      // open `path` for writing
        Descriptor,  // write into `descriptor`, an open descriptor of this process
    };
    Kind kind = Kind::File;
    std::filesystem::path folder;  // File
    std::string name;              // File
    std::filesystem::path path;    // Stream
    int descriptor = -1;           // Descriptor
};

// PublishError (naming `given`) for a name that cannot be written: a folder,
// a block device, an empty name, a chain of links that loops.
OutputTarget resolveOutput(const std::string& given);

// Called about every 100 ms while a stream waits (for a FIFO's reader to
// open it, or to take more); it may throw to give up the wait.
using WhileWaiting = std::function<void()>;

// Opens a Stream target for writing (a FIFO waits for its reader), or
// duplicates a Descriptor target; the caller closes what it gets.
// PublishError naming `given` when it cannot.
int openStream(const OutputTarget& target, const std::string& given, const WhileWaiting& whileWaiting);

}  // namespace vantel::save
