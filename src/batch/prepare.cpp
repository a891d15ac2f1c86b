#include "batch/prepare.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "batch/practice.h"
#include "settings/entry_rules.h"
#include "synth/level_plan.h"
#include "text/number_text.h"

namespace vantel::batch {
namespace {


using settings::Box;
using settings::Mode;

void boxChanged(TypedForm& f, Box box);

// A text the program writes into a box: the box's handler runs only when the
// text actually changes.
void setBoxText(TypedForm& f, Box box, const std::string& text) {
    std::string& held = f.texts[static_cast<std::size_t>(box)];
    if (held == text) return;
    held = text;
    boxChanged(f, box);
}

// The box's change handler: its entry rule, and for the output level the
// scroll bar, which writes its value back and so runs this handler once more.
void boxChanged(TypedForm& f, Box box) {
    const auto scroll = settings::enterText(box, f.s, f.firLength, f.mode, f.text(box));
    if (scroll && *scroll != f.scaleScroll) {
        f.scaleScroll = *scroll;
        setBoxText(f, box, text::plainInteger(*scroll));
    }
}

// A text the user types: select all, then key by key, each key running the
// box's handler, which may itself rewrite the box (the output level does). Past
// the first keys the rest goes in at once, so a huge text costs no more than a
// paste.
void typeText(TypedForm& f, Box box, const std::string& text) {
    constexpr std::size_t kKeystrokes = 64;
    if (f.text(box) == text) return;
    if (text.empty()) {
        setBoxText(f, box, text);
        return;
    }
    setBoxText(f, box, text.substr(0, 1));
    for (std::size_t i = 1; i < text.size(); ++i) {
        const std::size_t keys = i < kKeystrokes ? 1 : text.size() - i;
        setBoxText(f, box, f.text(box) + text.substr(i, keys));
        i += keys - 1;
    }
}

// Choosing the mode puts back the speed (or the tone length) it last had.
void switchMode(TypedForm& f, Mode mode) {
    if (mode == f.mode) return;
    f.mode = mode;
    setBoxText(f, Box::WPMtext, settings::speedTextForMode(f.s, f.mode));
}

void repair(TypedForm& f) {
    auto read = [&](Box box) { return f.text(box); };
    auto write = [&](Box box, const std::string& text) { setBoxText(f, box, text); };
    settings::repairForRun(f.s, f.mode, read, write);
}

}  // namespace

TypedForm::TypedForm() {
    for (std::size_t box = 0; box < settings::kBoxCount; ++box) {
        texts[box] = settings::startupText(static_cast<Box>(box));
    }
}

TypedForm typeIntoForm(const FileRequest& o) {
    TypedForm f;
    for (const TypedOption& option : kTypedOptions) {
        if (option.id == Typed::ToneLength) {
            // The mode is chosen after the speed; the tone length is what the
            // speed box holds in continuous-tone mode.
            switchMode(f, o.mode);
            if (f.mode != Mode::ToneOnly) continue;
        }
        if (const auto& text = o.typed[option.id]) typeText(f, option.box, *text);
    }
    f.filterOn = o.filterOn;
    return f;
}

namespace {

// A level of `tenths` tenths of a dB as a user types it: "-45.4", "3", "0".
std::string levelText(std::int64_t tenths) {
    const std::int64_t magnitude = tenths < 0 ? -tenths : tenths;
    std::string text = (tenths < 0 ? "-" : "") + std::to_string(magnitude / 10);
    if (magnitude % 10 != 0) text += "." + std::to_string(magnitude % 10);
    return text;
}

// The level a text gives once typed into the level box: the scroll bar
// rounds some texts to whole dB as they are typed.
double typedLevel(const std::string& text) {
    TypedForm f;
    typeText(f, Box::ScaleText, text);
    return text::readNumber(f.text(Box::ScaleText));
}

// Of the texts on the 0.1 dB grid within 1 dB of `wanted` (searching from it
// outwards, or downwards only when `notAbove`), the one whose typed level is
// nearest `wanted` and, with `notAbove`, not above it. Among texts that give
// the same level, one that stands as typed ("-9", not "-8.9" rounded to -9).
std::optional<std::string> nearestTypedLevel(double wanted, bool notAbove) {
    constexpr std::int64_t kSearch = 10;
    const double start = notAbove ? std::floor(wanted * 10) : std::round(wanted * 10);
    if (!std::isfinite(start) || std::fabs(start) > 1e15) return std::nullopt;
    std::optional<std::string> best;
    double bestDistance = 0;
    bool bestStands = false;
    for (std::int64_t step = 0; step <= 2 * kSearch; ++step) {
        const std::int64_t offset = notAbove ? -step : (step % 2 == 0 ? step / 2 : -(step + 1) / 2);
        const std::string text = levelText(static_cast<std::int64_t>(start) + offset);
        const double used = typedLevel(text);
        if (notAbove && used > wanted) continue;
        const double distance = std::fabs(used - wanted);
        const bool stands = used == text::readNumber(text);
        if (!best || distance < bestDistance || (distance == bestDistance && stands && !bestStands)) {
            best = text;
            bestDistance = distance;
            bestStands = stands;
        }
    }
    return best;
}

PreparedFile prepareTyped(const FileRequest& request);

std::string chooseAutoLevel(const FileRequest& request) {
    FileRequest probe = request;
    probe.typed[Typed::Level].reset();
    probe.level.automatic = false;
    const PreparedFile prepared = prepareTyped(probe);
    const TypedForm& f = prepared.form;
    filter::CoefficientStore coeffs{};
    synth::designRunFilter(coeffs, f.s, f.s.FilterCF, f.firLength);
    const double meanSquare = synth::expectedMeanSquare(prepared.setup, f.mode, f.filterOn, coeffs, f.firLength);
    const auto text = meanSquare > 0 && std::isfinite(meanSquare)
                          ? nearestTypedLevel(synth::levelForRms(meanSquare, request.level.target()), false)
                          : std::nullopt;
    if (!text) throw synth::RunError("--level auto: the signal's level has no finite value to scale from");
    return *text;
}

PreparedFile prepareTyped(const FileRequest& request) {
    if (request.level.automatic) {
        FileRequest chosen = request;
        chosen.level.automatic = false;
        chosen.level.targetRmsDbfs.reset();
        chosen.typed[Typed::Level] = chooseAutoLevel(request);
        PreparedFile prepared = prepareTyped(chosen);
        prepared.autoLevelText = chosen.typed[Typed::Level];
        return prepared;
    }
    PreparedFile prepared{typeIntoForm(request), {}, request.noiseSeed(), {}};
    TypedForm& f = prepared.form;
    // The Generate command encodes only a non-empty message.
    if (const std::string message = f.text(Box::Messagetext); !message.empty()) {
        setBoxText(f, Box::Messagetext, synth::encodeForRun(f.s, f.mode, message, f.text(Box::WPMtext)));
    }
    repair(f);
    const synth::BandSetup band{bandConditions(request), request.extended, f.text(Box::Messagetext), prepared.seed};
    prepared.setup = synth::setUpRun(f.s, f.mode, f.text(Box::WPMtext), band);
    return prepared;
}

}  // namespace

std::optional<std::string> nearestTypedLevelNotAbove(double wanted) { return nearestTypedLevel(wanted, true); }

std::size_t charactersKept(const FileRequest& request) {
    FileRequest probe = request;
    probe.level = {};
    const PreparedFile prepared = prepareTyped(probe);
    if (!prepared.setup.timed) return 0;
    const auto& labels = prepared.setup.timed->labels;
    return static_cast<std::size_t>(
        std::count_if(labels.begin(), labels.end(), [](const keying::TimedLabel& l) { return l.text != " "; }));
}

PreparedFile prepareFile(const FileRequest& request) {
    if (!request.practice.given() && !request.typed[Typed::Message]) return prepareTyped(request);
    const MessageText text = messageFor(request, request.noiseSeed(), charactersKept);
    FileRequest typed = request;
    typed.practice = {};
    const bool changed = text.message != request.typed[Typed::Message];
    if (changed) typed.typed[Typed::Message] = text.message;
    PreparedFile prepared = prepareTyped(typed);
    prepared.textChanges = text.changes;
    prepared.textSource = text.source;
    if (changed) prepared.sentText = text.message;
    return prepared;
}

}  // namespace vantel::batch
