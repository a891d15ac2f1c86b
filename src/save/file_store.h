#pragma once

#include <functional>
#include <string>

// Storing a copy of a file under a new name without ever replacing anything,
// and removing exactly one named file. Names without a folder are taken
// relative to the current directory; names are never expanded as patterns.
namespace vantel::save {

// Whether any directory entry bears this name: a file of any kind, hidden or
// not, a folder, or a link, even one that points nowhere.
bool nameTaken(const std::string& path);

enum class StoreOutcome {
    Stored,     // the copy is complete, flushed and under the target name
    NameTaken,  // something bears the target name; it was left untouched
    Failed,     // nothing was stored; the message says why
};

struct StoreResult {
    StoreOutcome outcome;
    std::string message;  // one line for Failed, empty otherwise
};

// Runs when the copy is complete and flushed under its temporary name, just
// before it takes the target name.
using BeforePublish = std::function<void()>;

// Copies `source` byte for byte to `target`, through the one "temporary, then
// publish" routine (save::PendingFile): under a temporary name in the target's
// folder, flushed, and only then given the target name, which fails if
// anything has taken that name meanwhile; so the target name never shows a
// partial copy and never replaces an entry, however late that entry appeared.
// No temporary file is left behind in any outcome.
StoreResult copyWithoutReplacing(const std::string& source, const std::string& target,
                                 const BeforePublish& beforePublish = {});

// Removes the one entry named `path` (a file, or a link itself), never a
// folder. Empty when the name is free afterwards, otherwise one line saying
// why it is not.
std::string removeOneFile(const std::string& path);

}  // namespace vantel::save
