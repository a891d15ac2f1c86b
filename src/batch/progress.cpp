#include "batch/progress.h"

#include <algorithm>

namespace vantel::batch {
namespace {

// 75 s as "1:15", 3725 s as "1:02:05".
std::string clockText(std::chrono::seconds duration) {
    const long long total = duration.count();
    const long long hours = total / 3600, minutes = total / 60 % 60, seconds = total % 60;
    auto two = [](long long v) { return std::string(v < 10 ? 1 : 0, '0').append(std::to_string(v)); };
    if (hours > 0) return std::to_string(hours) + ":" + two(minutes) + ":" + two(seconds);
    return std::to_string(minutes) + ":" + two(seconds);
}

}  // namespace

std::string progressText(std::size_t done, std::size_t total, std::chrono::seconds elapsed) {
    std::string left = "?";
    if (done > 0) {
        const auto perFile = std::chrono::duration<double>(elapsed) / static_cast<double>(done);
        left = clockText(std::chrono::duration_cast<std::chrono::seconds>(perFile * static_cast<double>(total - done)));
    }
    return std::to_string(done) + "/" + std::to_string(total) + " files  " + clockText(elapsed) + " elapsed  " +
           left + " left";
}

ProgressLine::ProgressLine(std::ostream& out, std::size_t total, bool enabled)
    : out_(out), total_(total), enabled_(enabled) {}

void ProgressLine::show(std::size_t done) {
    constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
    if (!enabled_ || std::chrono::steady_clock::now() - drawn_ < kRedrawInterval) return;
    draw(done);
}

void ProgressLine::draw(std::size_t done) {
    drawn_ = std::chrono::steady_clock::now();
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(drawn_ - start_);
    std::string line = progressText(done, total_, elapsed);
    // Blanks over what a longer earlier line left on the screen.
    const std::size_t width = line.size();
    if (widest_ > width) line.append(widest_ - width, ' ');
    widest_ = std::max(widest_, width);
    out_ << '\r' << line << std::flush;
}

void ProgressLine::end(std::size_t done) {
    if (!enabled_) return;
    draw(done);
    out_ << '\n' << std::flush;
}

}  // namespace vantel::batch
