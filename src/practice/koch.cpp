#include <algorithm>

#include "keying/extended_morse.h"
#include "keying/morse_encoder.h"
#include "practice/draws.h"
#include "practice/practice_texts.h"

namespace vantel::practice {
namespace {

constexpr std::string_view kStandardOrder = "KMURESNAPTLWI.JZ=FOY,VG5/Q92H38B?47C1D60X";

bool isNameText(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

// Why one character of a custom order cannot be in it, or "".
std::string characterProblem(std::string_view character, const keying::Utf8Character& read) {
    if (!read.valid) return "holds a byte that is not UTF-8";
    if (read.codePoint < 0x80) {
        const char c = character[0];
        if (c >= 'a' && c <= 'z') return "has '" + std::string(character) + "': write the characters in capitals";
        if (keying::extendedMorseCode(static_cast<unsigned char>(c)).empty()) {
            return "has '" + std::string(character) + "', which has no Morse code";
        }
        return "";
    }
    const auto letter = keying::nationalLetter(read.codePoint);
    if (!letter) return "has '" + std::string(character) + "', which has no Morse code";
    if (letter->capital != character) return "has '" + std::string(character) + "': write the characters in capitals";
    return "";
}

KochOrder customOrder(std::string_view text) {
    KochOrder order{std::string(text), {}};
    for (std::size_t at = 0; at < text.size();) {
        const keying::Utf8Character read = keying::readUtf8(text, at);
        const std::string character(text.substr(at, read.length));
        at += read.length;
        if (character == " ") continue;
        if (const std::string problem = characterProblem(character, read); !problem.empty()) {
            throw PracticeError("Koch order '" + std::string(text) + "' " + problem);
        }
        if (std::find(order.characters.begin(), order.characters.end(), character) != order.characters.end()) {
            throw PracticeError("Koch order '" + std::string(text) + "' has '" + character + "' twice");
        }
        order.characters.push_back(character);
    }
    if (order.characters.size() < 2) {
        throw PracticeError("Koch order '" + std::string(text) + "' needs at least 2 characters");
    }
    return order;
}

void checkLesson(const KochOrder& order, std::size_t lesson) {
    const std::size_t last = order.characters.size() - 1;
    if (lesson < 1 || lesson > last) {
        throw PracticeError("Koch lesson " + std::to_string(lesson) + " is not in the " + order.name +
                            " order: choose 1 to " + std::to_string(last));
    }
}

}  // namespace

KochOrder kochOrder(std::string_view nameOrCharacters) {
    if (nameOrCharacters == kDefaultKochOrder) {
        KochOrder standard = customOrder(kStandardOrder);
        standard.name = kDefaultKochOrder;
        return standard;
    }
    if (isNameText(nameOrCharacters)) {
        throw PracticeError("unknown Koch order '" + std::string(nameOrCharacters) + "': use " +
                            std::string(kDefaultKochOrder) + " or give the characters in order, in capitals");
    }
    return customOrder(nameOrCharacters);
}

std::vector<std::string> kochLessonCharacters(const KochOrder& order, std::size_t lesson) {
    checkLesson(order, lesson);
    return {order.characters.begin(), order.characters.begin() + static_cast<std::ptrdiff_t>(lesson + 1)};
}

bool lessonNeedsExtended(const KochOrder& order, std::size_t lesson) {
    const std::vector<std::string> characters = kochLessonCharacters(order, lesson);
    return std::any_of(characters.begin(), characters.end(), [](const std::string& character) {
        return character.size() > 1 || keying::morseCode(static_cast<unsigned char>(character[0])).empty();
    });
}

std::vector<std::string> kochGroups(const KochOrder& order, std::size_t lesson, std::size_t count,
                                    std::size_t groupLength, std::uint64_t seed) {
    const std::vector<std::string> characters = kochLessonCharacters(order, lesson);
    checkWordCount(count);
    if (groupLength == 0) throw PracticeError("a Koch group needs at least 1 character");
    // The newest character, the one the lesson is there to learn, is twice
    // as likely as each older one.
    const std::size_t older = characters.size() - 1;
    Draws draws(seed, TextKind::Koch);
    std::vector<std::string> groups;
    groups.reserve(count);
    for (std::size_t g = 0; g < count; ++g) {
        std::string group;
        for (std::size_t k = 0; k < groupLength; ++k) group += characters[std::min(draws.below(older + 2), older)];
        groups.push_back(std::move(group));
    }
    return groups;
}

}  // namespace vantel::practice
