#include <algorithm>

#include "practice/draws.h"
#include "practice/practice_texts.h"

namespace vantel::practice {

void checkWordCount(std::size_t count) {
    if (count > kMostWords) {
        throw PracticeError("cannot make " + std::to_string(count) + " words at once: at most " +
                            std::to_string(kMostWords));
    }
}

void appendWords(std::vector<std::string>& words, std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t blank = std::min(text.find(' ', at), text.size());
        if (blank > at) words.emplace_back(text.substr(at, blank - at));
        at = blank + 1;
    }
}

std::vector<std::string> listWords(const std::vector<std::string>& words, std::size_t count, std::uint64_t seed) {
    if (words.empty()) throw PracticeError("the word list holds no words");
    checkWordCount(count);
    Draws draws(seed, TextKind::WordList);
    std::vector<std::string> drawn;
    drawn.reserve(count);
    for (std::size_t k = 0; k < count; ++k) drawn.push_back(draws.pick(words));
    return drawn;
}

}  // namespace vantel::practice
