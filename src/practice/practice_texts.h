#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Practice texts for Morse: Koch lessons, call signs, QSOs, contest exchanges
// and words from a list. Each is a list of words (what goes between blanks),
// drawn one after the other from its own random stream of the seed, so the
// same seed gives the same text and asking for more words gives the same
// first words.
namespace vantel::practice {

// A practice text that cannot be made as asked; the text is one line.
class PracticeError : public std::invalid_argument {
   public:
    using std::invalid_argument::invalid_argument;
};

// The most words one call makes.
inline constexpr std::size_t kMostWords = 10'000'000;

// ----- Koch lessons -----

// The order the Koch method teaches characters in: `name` is "standard" or
// the characters as given; each character is one UTF-8 character.
struct KochOrder {
    std::string name;
    std::vector<std::string> characters;
};

// The name of the order in wide use, K M U R E S N A P T L W I . J Z = F O Y
// , V G 5 / Q 9 2 H 3 8 B ? 4 7 C 1 D 6 0 X.
inline constexpr std::string_view kDefaultKochOrder = "standard";

// A named order ("standard") or one given as its characters in capitals,
// blanks ignored ("KMRSUAPTLOWI.NJEF0Y,VG5/Q9ZH38B?427C1D6X"): at least two,
// each once, each with a code (the extended punctuation and national letters
// included). Throws PracticeError.
KochOrder kochOrder(std::string_view nameOrCharacters);

// The characters of a lesson: lesson 1 the order's first two, each later
// lesson one more, up to lesson characters.size() - 1. Throws PracticeError
// for a lesson outside the order.
std::vector<std::string> kochLessonCharacters(const KochOrder& order, std::size_t lesson);

// Whether the lesson has a character only the extended characters send (the
// standard order's '=' from lesson 16 on).
bool lessonNeedsExtended(const KochOrder& order, std::size_t lesson);

// `count` random groups of `groupLength` characters of the lesson. Throws
// PracticeError for a lesson outside the order, a group length of 0 or
// more than kMostWords groups.
std::vector<std::string> kochGroups(const KochOrder& order, std::size_t lesson, std::size_t count,
                                    std::size_t groupLength, std::uint64_t seed);

// ----- Call signs, QSOs, contests -----

// `count` call signs as heard on the HF bands: the formats of real prefixes
// (K1ABC, DL2XY, G4ABC, JA1XYZ, HB9AB, 9A3XY ...) weighted roughly as heard,
// now and then portable (/P, /M, /QRP, /3, DL/G4ABC) or a special-event call
// (GB2RS, OH20XYZ, 8J1ABC). Only A-Z, 0-9 and '/'.
std::vector<std::string> callSigns(std::size_t count, std::uint64_t seed);

// The words of `count` words of plain QSOs: overs in the order of a real
// one (calls, greeting, report, name and QTH, a few of rig, antenna, weather
// and the like, the sign-off), now and then a CQ. Only A-Z, 0-9 and . , ? /
// unless `extended`: then '=' between the parts and <AR>, <KN> or <SK> at
// the end of an over.
std::vector<std::string> qsoWords(std::size_t count, bool extended, std::uint64_t seed);

// The words of contest exchanges, each of kContestExchangeWords words: a
// call, 5NN or 599, a serial number (cut numbers now and then, T for 0 and N
// for 9), a CQ zone or an ITU zone, and TU or the like.
inline constexpr std::size_t kContestExchangeWords = 4;
std::vector<std::string> contestWords(std::size_t count, std::uint64_t seed);
constexpr std::size_t contestWordsFor(std::size_t exchanges) { return exchanges * kContestExchangeWords; }

// ----- Word lists -----

// `count` words drawn from `words`, each equally likely every time. Throws
// PracticeError for an empty list.
std::vector<std::string> listWords(const std::vector<std::string>& words, std::size_t count, std::uint64_t seed);

}  // namespace vantel::practice
