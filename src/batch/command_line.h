#pragma once

#include <optional>
#include <string>
#include <vector>

#include "batch/request.h"

// vantel-gen's command line, which `python3 -m vantel sweep` takes too: how
// the command behaves (help, version, output, strictness, warnings, jobs,
// progress) beside the request it makes.
namespace vantel::batch {

struct CommandLine {
    bool help = false;
    bool version = false;
    std::string output = "CWTemp.wav";  // "-": standard output; a sweep's folder
    bool outputGiven = false;
    bool strict = false;         // a clipped file is an error (exit 3)
    bool quietWarnings = false;  // no warnings about loosely read texts
    // A sweep: --snr, --wpm, --tone and the band options hold lists or
    // ranges, --messages names a file of messages, and the output is a folder.
    bool sweep = false;
    std::optional<std::string> messagesFile;
    std::optional<unsigned> jobs;
    bool quiet = false;  // no progress line
    bool audioFolder = false;  // metadata.csv too
    // The output's format and its tags (nothing: from the output name's
    // extension, WAV when it names none), and playing while writing.
    std::optional<std::string> format;
    std::optional<std::string> quality;
    std::optional<std::string> title;
    std::optional<std::string> artist;
    std::optional<std::string> album;
    std::optional<std::string> split;  // "5m", "90" (seconds) or "chapters": numbered files
    bool play = false;
    // For a sweep its list-valued texts are the axes (sweepRequest).
    FileRequest request;

    bool toStandardOutput() const { return output == "-"; }
};

// Throws UsageError for anything that cannot be used: an unknown option, a
// missing or bad value, options that do not go together; for a single file
// the band options are read strictly here, for a sweep once expanded.
CommandLine parseCommandLine(const std::vector<std::string>& args);

// The sweep a --sweep command line asks for: its lists expanded, its
// messages file read. Throws UsageError.
SweepRequest sweepRequest(const CommandLine& commandLine);

std::string usageText();

// One option as the usage text lists it: its long name ("--snr"), the name of
// its value ("TEXT"; empty for a flag) and what the text says of it, its
// lines joined. Each option once, in the order of the text.
struct OptionHelp {
    std::string name;
    std::string value;
    std::string help;
};
std::vector<OptionHelp> optionHelp();

}  // namespace vantel::batch
