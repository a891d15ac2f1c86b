// The timed runs' labels against the manifest's labels for the classic timing.
#include <gtest/gtest.h>

#include "keying/morse_timing.h"
#include "labels.h"

namespace vantel::gen {
namespace {

TEST(TimingLabels, DefaultTimingGivesTheManifestLabels) {
    const char* messages[] = {"TESTING", "cq cq de w1aw k", " A  B ", "PARIS PARIS ", "SOS?/.,0123#", "  "};
    const struct {
        double rate;
        double wpm;
        std::int64_t element;
    } speeds[] = {{8000, 20, 480}, {11025, 18, 735}, {44100, 20, 2646}, {48000, 25, 2304}};
    for (const char* message : messages) {
        for (const auto& speed : speeds) {
            if (speed.rate * 1.2 / speed.wpm != static_cast<double>(speed.element)) continue;  // not a whole dot
            const auto timed = keying::timeMessage(keying::parseExtendedMessage(message), speed.rate, speed.wpm);
            const auto expected = characterLabels(encodedMessage(message), speed.element);
            ASSERT_EQ(timed.labels.size(), expected.size()) << message;
            for (std::size_t i = 0; i < expected.size(); ++i) {
                EXPECT_EQ(timed.labels[i].text, std::string(1, expected[i].character));
                EXPECT_EQ(timed.labels[i].start, expected[i].start) << message << " " << i;
                EXPECT_EQ(timed.labels[i].end, expected[i].end) << message << " " << i;
            }
        }
    }
}

}  // namespace
}  // namespace vantel::gen
