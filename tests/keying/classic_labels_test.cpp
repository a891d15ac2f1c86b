// The timed runs' labels against the classic pattern's for the classic timing.
#include <gtest/gtest.h>

#include "keying/morse_timing.h"
#include "keying/classic_labels.h"

namespace vantel::keying {
namespace {

TEST(ClassicLabels, DefaultTimingGivesThePatternsLabels) {
    const char* messages[] = {"TESTING", "cq cq de w1aw k", " A  B ", "PARIS PARIS ", "SOS?/.,0123#", "  "};
    const struct {
        double rate;
        double wpm;
        std::int64_t element;
    } speeds[] = {{8000, 20, 480}, {11025, 18, 735}, {44100, 20, 2646}, {48000, 25, 2304}};
    for (const char* message : messages) {
        for (const auto& speed : speeds) {
            if (speed.rate * 1.2 / speed.wpm != static_cast<double>(speed.element)) continue;  // not a whole dot
            const auto timed = timeMessage(parseExtendedMessage(message), speed.rate, speed.wpm);
            const auto expected = classicLabels(encodedMessage(message), speed.element);
            ASSERT_EQ(timed.labels.size(), expected.size()) << message;
            for (std::size_t i = 0; i < expected.size(); ++i) {
                EXPECT_EQ(timed.labels[i], expected[i]) << message << " " << i;
            }
        }
    }
}

}  // namespace
}  // namespace vantel::keying
