#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "settings/generation_settings.h"

namespace vantel::gen {

// A command line that cannot be used; the text says what is wrong.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The texts the options give, each as a user would type it into the window's
// matching box; an option not given leaves the box's start-up text.
struct GenOptions {
    std::string output = "CWTemp.wav";
    settings::Mode mode = settings::Mode::OnOffCW;
    std::optional<std::string> message;
    std::optional<std::string> wpm;
    std::optional<std::string> toneLength;
    std::optional<std::string> tone;
    std::optional<std::string> spaceTone;
    std::optional<std::string> rate;
    std::optional<std::string> snr;
    std::optional<std::string> bw;
    std::optional<std::string> level;
    std::optional<std::string> filterCf;
    std::optional<std::string> filterBw;
    bool noFilter = false;
    std::optional<std::uint64_t> seed;
    bool help = false;
    bool version = false;

    // A sweep: --snr, --wpm and --tone hold lists or ranges, --messages a
    // file of messages, and the output is a folder.
    bool sweep = false;
    bool outputGiven = false;
    std::optional<std::string> messagesFile;
    std::optional<unsigned> jobs;
    bool quiet = false;
};

GenOptions parseOptions(const std::vector<std::string>& args);

std::string usageText();

}  // namespace vantel::gen
