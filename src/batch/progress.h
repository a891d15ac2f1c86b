#pragma once

#include <chrono>
#include <cstddef>
#include <ostream>
#include <string>

namespace vantel::batch {

// "12/100 files  0:05 elapsed  0:37 left": the remaining time from the pace so
// far, "?" until the first file is done.
std::string progressText(std::size_t done, std::size_t total, std::chrono::seconds elapsed);

// A line on a terminal redrawn in place; does nothing when not enabled.
class ProgressLine {
public:
    ProgressLine(std::ostream& out, std::size_t total, bool enabled);
    // Redraws at most a few times a second, however often it is asked.
    void show(std::size_t done);
    // Leaves the last state on the screen and moves to a new line.
    void end(std::size_t done);

private:
    std::ostream& out_;
    std::size_t total_;
    bool enabled_;
    void draw(std::size_t done);

    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point drawn_{};
    std::size_t widest_ = 0;
};

}  // namespace vantel::batch
