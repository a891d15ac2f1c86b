#include <array>

#include "practice/draws.h"
#include "practice/practice_texts.h"

namespace vantel::practice {
namespace {

using Entry = Weighted<std::string_view>;

// "#" is the call area's digit; "[A-L]" or "[GY]" one character of a range or
// a list; a prefix without "#" carries its own digit (HB9, 9M2). The weights
// are roughly how often each is heard on the HF bands.
constexpr auto kPrefixes = std::to_array<Entry>({
    {"K#", 8},      {"W#", 8},  {"N#", 4},  {"A[A-L]#", 2}, {"K[A-Z]#", 3}, {"N[A-Z]#", 1}, {"W[A-Z]#", 2},
    {"VE#", 2},     {"VA#", 1}, {"DL#", 5}, {"DJ#", 2},     {"DK#", 2},     {"G[0-8]", 3},  {"M[0-7]", 2},
    {"2E[01]", 1},  {"F#", 3},  {"I#", 1},  {"IK#", 2},     {"IZ#", 2},     {"EA#", 3},     {"PA#", 2},
    {"ON#", 2},     {"OH#", 2}, {"SM#", 2}, {"LA#", 1},     {"OZ#", 1},     {"OK#", 2},     {"OM#", 1},
    {"SP#", 2},     {"HA#", 1}, {"YO#", 1}, {"LZ#", 1},     {"YU#", 1},     {"9A#", 1},     {"S5#", 1},
    {"OE#", 1},     {"HB9", 1}, {"EI#", 1}, {"UA#", 3},     {"R[A-Z]#", 1}, {"U[R-Z]#", 2}, {"J[A-S]#", 5},
    {"7[K-N]#", 1}, {"VK#", 2}, {"ZL#", 1}, {"ZS#", 1},     {"PY#", 2},     {"LU#", 1},     {"CE#", 1},
    {"XE#", 1},     {"4X#", 1}, {"9M2", 1}, {"B[GY]#", 2},  {"HL#", 1},     {"DS#", 1},     {"VU[23]", 1},
});

constexpr auto kSuffixLengths = std::to_array<Weighted<std::size_t>>({{1, 1}, {2, 4}, {3, 5}});

enum class Form { Regular, Portable, Special };
constexpr auto kForms = std::to_array<Weighted<Form>>({{Form::Regular, 90}, {Form::Portable, 8}, {Form::Special, 2}});

// "digit": a call area of the same country (K1ABC/4); "front": abroad
// (DL/G4ABC).
constexpr auto kPortable =
    std::to_array<Entry>({{"/P", 12}, {"/M", 6}, {"/QRP", 3}, {"/MM", 1}, {"digit", 5}, {"front", 6}});
constexpr auto kFrontPrefixes = std::to_array<std::string_view>(
    {"DL", "F", "G", "EA", "I", "PA", "ON", "OE", "HB9", "OZ", "SM", "LA", "SV", "CT", "EI", "OH"});
constexpr auto kEventPrefixes =
    std::to_array<std::string_view>({"GB", "TM", "II", "DR", "DQ", "OH", "SN", "HF", "OL", "OP", "EG", "LY", "8J"});

constexpr std::string_view kDigits = "0123456789";

// One character for the pattern part at pattern[at]; `at` moves past it.
char drawPart(Draws& draws, std::string_view pattern, std::size_t& at) {
    const char c = pattern[at++];
    if (c == '#') return draws.pick(kDigits);
    if (c != '[') return c;
    const std::size_t close = pattern.find(']', at);
    const std::string_view inside = pattern.substr(at, close - at);
    at = close + 1;
    if (inside.size() == 3 && inside[1] == '-')
        return static_cast<char>(inside[0] + draws.below(inside[2] - inside[0] + 1));
    return draws.pick(inside);
}

std::string regularCall(Draws& draws) {
    const std::string_view pattern = draws.weighted(kPrefixes);
    std::string call;
    for (std::size_t at = 0; at < pattern.size();) call += drawPart(draws, pattern, at);
    return call + draws.letters(draws.weighted(kSuffixLengths));
}

std::string portableCall(Draws& draws) {
    const std::string call = regularCall(draws);
    const std::string_view form = draws.weighted(kPortable);
    if (form == "digit") return call + "/" + std::to_string(draws.between(1, 9));
    if (form != "front") return call + std::string(form);
    const std::string_view front = draws.pick(kFrontPrefixes);
    // Nobody signs portable in their own country this way (DL/DL1ABC).
    return call.starts_with(front) ? call + "/P" : std::string(front) + "/" + call;
}

std::string specialCall(Draws& draws) {
    // The operands of + may be evaluated in any order: each draw is a
    // statement of its own so that the seed gives the same call everywhere.
    std::string call(draws.pick(kEventPrefixes));
    if (draws.chance(0.5)) {  // GB2RS, 8J1XYZ
        call += draws.pick(kDigits);
        return call + draws.letters(draws.between(2, 4));
    }
    call += std::to_string(draws.between(10, 99));  // OH20XYZ
    return call + draws.letters(draws.between(1, 3));
}

}  // namespace

std::string drawCallSign(Draws& draws) {
    switch (draws.weighted(kForms)) {
        case Form::Portable:
            return portableCall(draws);
        case Form::Special:
            return specialCall(draws);
        case Form::Regular:
            break;
    }
    return regularCall(draws);
}

std::vector<std::string> callSigns(std::size_t count, std::uint64_t seed) {
    checkWordCount(count);
    Draws draws(seed, TextKind::CallSigns);
    std::vector<std::string> calls;
    calls.reserve(count);
    for (std::size_t k = 0; k < count; ++k) calls.push_back(drawCallSign(draws));
    return calls;
}

}  // namespace vantel::practice
