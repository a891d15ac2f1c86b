#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "practice/practice_texts.h"
#include "random/random_stream.h"

// What the practice texts share: their streams and the draws made from them.
namespace vantel::practice {

// Each kind of text draws from its own sub-stream of the practice stream.
enum class TextKind : std::uint64_t { Koch = 1, CallSigns, Qso, Contest, WordList };

// An item and how often it is heard, relative to the others of its table.
template <typename Item>
struct Weighted {
    Item item;
    int weight;
};

class Draws {
   public:
    Draws(std::uint64_t seed, TextKind kind)
        : stream_(random::RandomStream(seed, random::StreamId::PracticeText).derive(static_cast<std::uint64_t>(kind))) {
    }

    // A whole number in [0, n), every value equally likely; n > 0.
    std::size_t below(std::size_t n) {
        const auto value = static_cast<std::size_t>(stream_.uniform() * static_cast<double>(n));
        return value < n ? value : n - 1;
    }
    // A whole number in [low, high].
    std::size_t between(std::size_t low, std::size_t high) { return low + below(high - low + 1); }
    bool chance(double probability) { return stream_.uniform() < probability; }

    template <typename List>
    const auto& pick(const List& list) {
        return list[below(std::size(list))];
    }

    // One item of the table, in proportion to the weights.
    template <typename Table>
    const auto& weighted(const Table& table) {
        int total = 0;
        for (const auto& entry : table) total += entry.weight;
        std::size_t left = below(static_cast<std::size_t>(total));
        for (const auto& entry : table) {
            if (left < static_cast<std::size_t>(entry.weight)) return entry.item;
            left -= static_cast<std::size_t>(entry.weight);
        }
        return std::end(table)[-1].item;
    }

    // `count` capital letters.
    std::string letters(std::size_t count) {
        std::string text;
        for (std::size_t k = 0; k < count; ++k) text += static_cast<char>('A' + below(26));
        return text;
    }

    // The items in a random order (Fisher-Yates).
    template <typename Item>
    std::vector<Item> shuffled(std::vector<Item> items) {
        for (std::size_t last = items.size(); last > 1; --last) std::swap(items[last - 1], items[below(last)]);
        return items;
    }

   private:
    random::RandomStream stream_;
};

// Throws PracticeError when `count` words are more than one call makes.
void checkWordCount(std::size_t count);

// A text's words, split at blanks, appended to `words`.
void appendWords(std::vector<std::string>& words, std::string_view text);

// One call sign (see callSigns()).
std::string drawCallSign(Draws& draws);

}  // namespace vantel::practice
