#include <algorithm>
#include <array>
#include <map>

#include "practice/draws.h"
#include "practice/practice_texts.h"

namespace vantel::practice {
namespace {

using Texts = std::vector<std::string_view>;

const Texts kNames{"JOHN", "BOB",  "BILL", "JIM", "TOM",  "MIKE",  "DAVE", "PETE",   "ED",    "AL",   "RON",
                   "KEN",  "PAUL", "SUE",  "ANN", "HANS", "KLAUS", "JEAN", "LUIGI",  "MARCO", "JOSE", "PACO",
                   "IVAN", "JAN",  "PIET", "OLE", "LARS", "KENJI", "TARO", "GEORGE", "MARIA", "TONY"};
const Texts kCities{"BOSTON",  "DENVER", "DALLAS",   "SEATTLE",  "CHICAGO", "TORONTO", "MUNICH", "BERLIN",
                    "HAMBURG", "PARIS",  "LYON",     "ROME",     "MILAN",   "MADRID",  "LONDON", "LEEDS",
                    "DUBLIN",  "OSLO",   "HELSINKI", "PRAGUE",   "WARSAW",  "VIENNA",  "ZURICH", "TOKYO",
                    "OSAKA",   "SYDNEY", "PERTH",    "AUCKLAND", "KIEV",    "BUDAPEST"};
const Texts kRigs{"IC7300", "IC7610", "IC718", "IC705", "FT991A", "FTDX10", "FT710", "FT817",
                  "FT891",  "TS590",  "TS480", "K3",    "K4",     "KX3",    "QCX",   "HOMEBREW"};
const Texts kAntennas{"DIPOLE", "VERTICAL", "3 EL YAGI", "2 EL QUAD", "G5RV", "EFHW",
                      "LOOP",   "LONGWIRE", "WINDOM",    "HEXBEAM",   "INV V"};
const Texts kWeather{"SUNNY", "CLOUDY", "RAIN", "SNOW", "FOG", "WINDY", "FINE", "HOT", "COLD", "OVERCAST"};
constexpr auto kReports = std::to_array<Weighted<std::string_view>>(
    {{"599", 6}, {"589", 3}, {"579", 3}, {"569", 2}, {"559", 2}, {"549", 1}, {"449", 1}, {"479", 1}, {"339", 1}});
constexpr auto kPowers = std::to_array<Weighted<std::string_view>>(
    {{"5W", 2}, {"10W", 2}, {"50W", 1}, {"100W", 6}, {"200W", 1}, {"400W", 1}, {"500W", 1}, {"1KW", 1}});
constexpr auto kBandStarts = std::to_array<std::size_t>({3510, 7010, 10110, 14010, 18070, 21010, 24890, 28010});

const Texts kOpenings{"{call} DE {mycall}", "{call} DE {mycall} {mycall}", "{call} {call} DE {mycall}"};
const Texts kGreetings{"GM OM",
                       "GA OM",
                       "GE OM",
                       "GM DR OM",
                       "TNX FER CALL",
                       "GM OM TNX FER CALL",
                       "GA ES TNX FER CALL",
                       "R R TNX FER RPT",
                       "GE DR OM TNX FER CALL",
                       "VY GLD TO MEET U"};
const Texts kReportTexts{"UR RST {rst} {rst}", "UR RST IS {rst} {rst}", "RST {rst} {rst}",
                         "UR SIGS {rst} {rst} WID QSB", "UR RST {rst} {rst} QRM HR"};
const Texts kNameTexts{"NAME IS {name} {name}", "NAME HR {name} {name}", "OP IS {name} {name}", "NAME {name}"};
const Texts kQthTexts{"QTH NR {city}", "QTH IS {city} {city}", "QTH {city} {city}", "MY QTH IS {city}"};
// One sentence from each of a few subjects, so that an over has no two
// weather reports.
const std::vector<Texts> kTopics{
    {"WX {wx} TEMP {temp}", "WX HR {wx} ES {temp}", "WX IS {wx}"},
    {"RIG {rig} {pwr}", "RIG HR {rig} PWR {pwr}", "RIG IS {rig}", "NW QRP {qrp}"},
    {"ANT {ant}", "ANT IS {ant} UP {height}", "ANT HR {ant}"},
    {"AGE HR {age}", "HAM SINCE {year}", "LIC IN {year}"},
    {"QRM HR SRI", "QRN FROM TS", "QSB ON UR SIG", "SOLID CPY HR", "FB ON UR RIG"},
    {"PSE QRS", "HW CPY?", "PSE AGN UR NAME?", "QSY TO {freq}", "UR NR {serial}"},
    {"QSL VIA BURO", "QSL VIA LOTW", "PSE QSL VIA BURO"},
};
const Texts kClosings{"TNX FER QSO 73", "73 ES GL", "73 ES 88", "HPE CUAGN 73", "TNX FER FB QSO 73 ES GD DX",
                      "QRT NW 73",      "CUL 73",   "HW?",      "QRZ?"};

std::string padded(std::size_t number) {
    std::string text = std::to_string(number);
    return std::string(text.size() < 3 ? 3 - text.size() : 0, '0') + text;
}

// One over's stations: the same calls from its first sentence to its last.
struct Stations {
    std::string call;
    std::string mycall;
};

std::string fieldValue(Draws& draws, std::string_view field, const Stations& stations) {
    if (field == "call") return stations.call;
    if (field == "mycall") return stations.mycall;
    if (field == "name") return std::string(draws.pick(kNames));
    if (field == "city") return std::string(draws.pick(kCities));
    if (field == "rig") return std::string(draws.pick(kRigs));
    if (field == "ant") return std::string(draws.pick(kAntennas));
    if (field == "wx") return std::string(draws.pick(kWeather));
    if (field == "rst") return std::string(draws.weighted(kReports));
    if (field == "pwr") return std::string(draws.weighted(kPowers));
    if (field == "qrp") return std::to_string(draws.between(1, 5)) + "W";
    if (field == "temp") return std::to_string(draws.below(36)) + "C";
    if (field == "height") return std::to_string(draws.between(6, 30)) + "M";
    if (field == "age") return std::to_string(draws.between(16, 89));
    if (field == "year") return std::to_string(draws.between(1955, 2024));
    if (field == "freq") {
        const std::size_t bandStart = draws.pick(kBandStarts);
        return std::to_string(bandStart + draws.below(40));
    }
    return padded(draws.between(1, 999));  // serial
}

// A sentence template with its fields filled in; a field named twice ("UR
// RST {rst} {rst}") takes the same value both times.
std::string filled(Draws& draws, std::string_view sentence, const Stations& stations) {
    std::map<std::string_view, std::string> values;
    std::string text;
    for (std::size_t at = 0; at < sentence.size();) {
        const std::size_t open = std::min(sentence.find('{', at), sentence.size());
        text += sentence.substr(at, open - at);
        if (open == sentence.size()) break;
        const std::size_t close = sentence.find('}', open);
        const std::string_view field = sentence.substr(open + 1, close - open - 1);
        if (!values.contains(field)) values[field] = fieldValue(draws, field, stations);
        text += values[field];
        at = close + 1;
    }
    return text;
}

std::vector<std::string_view> overTemplates(Draws& draws) {
    std::vector<std::string_view> templates;
    if (draws.chance(0.5)) templates.push_back(draws.pick(kOpenings));
    templates.push_back(draws.pick(kGreetings));
    templates.push_back(draws.pick(kReportTexts));
    for (const std::string_view about :
         draws.shuffled<std::string_view>({draws.pick(kNameTexts), draws.pick(kQthTexts)})) {
        templates.push_back(about);
    }
    const std::vector<Texts> topics = draws.shuffled(kTopics);
    const std::size_t topicCount = draws.between(2, 4);
    for (std::size_t t = 0; t < topicCount; ++t) templates.push_back(draws.pick(topics[t]));
    templates.push_back(draws.pick(kClosings));
    return templates;
}

// A CQ now and then, else one station's turn with its sentences in the
// order of a real QSO, handed over with the calls.
void appendOver(Draws& draws, bool extended, std::vector<std::string>& words) {
    const Stations stations{drawCallSign(draws), drawCallSign(draws)};
    if (draws.chance(0.15)) {
        appendWords(words, filled(draws, "CQ CQ CQ DE {mycall} {mycall} {mycall}", stations));
        appendWords(words, extended ? "<AR> K" : "K");
        return;
    }
    const std::vector<std::string_view> templates = overTemplates(draws);
    for (std::size_t s = 0; s < templates.size(); ++s) {
        if (extended && s > 0) words.emplace_back("=");
        appendWords(words, filled(draws, templates[s], stations));
    }
    const bool signingOff = templates.back().find("73") != std::string_view::npos;
    if (extended) words.emplace_back(signingOff ? "<SK>" : "<AR>");
    appendWords(words, filled(draws, "{call} DE {mycall}", stations));
    if (!signingOff || !extended) words.emplace_back(extended ? "<KN>" : draws.chance(0.3) ? "KN" : "K");
}

// A serial number, now and then in cut numbers (T for 0, N for 9), as
// contesters send them.
std::string serialNumber(Draws& draws) {
    std::string serial = padded(draws.between(1, 999));
    if (draws.chance(0.3)) {
        for (char& c : serial) c = c == '0' ? 'T' : c == '9' ? 'N' : c;
    }
    return serial;
}

constexpr auto kContestEnds = std::to_array<Weighted<std::string_view>>({{"TU", 6}, {"TNX", 1}, {"QSL", 1}, {"GL", 1}});

void appendExchange(Draws& draws, std::vector<std::string>& words) {
    words.push_back(drawCallSign(draws));
    words.emplace_back(draws.chance(0.8) ? "5NN" : "599");
    const std::size_t kind = draws.below(10);
    if (kind < 5) {
        words.push_back(serialNumber(draws));
    } else if (kind < 8) {
        words.push_back(std::to_string(draws.between(1, 40)));  // CQ zone
    } else {
        words.push_back(std::to_string(draws.between(1, 90)));  // ITU zone
    }
    words.emplace_back(draws.weighted(kContestEnds));
}

template <typename Append>
std::vector<std::string> wordsOf(std::size_t count, Append append) {
    checkWordCount(count);
    std::vector<std::string> words;
    while (words.size() < count) append(words);
    words.resize(count);
    return words;
}

}  // namespace

std::vector<std::string> qsoWords(std::size_t count, bool extended, std::uint64_t seed) {
    Draws draws(seed, TextKind::Qso);
    return wordsOf(count, [&](std::vector<std::string>& words) { appendOver(draws, extended, words); });
}

std::vector<std::string> contestWords(std::size_t count, std::uint64_t seed) {
    Draws draws(seed, TextKind::Contest);
    return wordsOf(count, [&](std::vector<std::string>& words) { appendExchange(draws, words); });
}

}  // namespace vantel::practice
