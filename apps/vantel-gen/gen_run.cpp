#include "gen_run.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "keying/morse_encoder.h"
#include "settings/entry_rules.h"
#include "synth/generation_run.h"
#include "text/number_text.h"
#include "wav/wav_writer.h"

namespace vantel::gen {
namespace {

using settings::Mode;

// A text the program writes into a box: the box's handler runs only when the
// text actually changes.
template <typename Handler>
void setBoxText(std::string& box, const std::string& text, Handler handler) {
    if (box == text) return;
    box = text;
    handler(box);
}

// A text the user types: select all, then key by key, each key running the
// box's handler, which may itself rewrite the box (the output level does). Past
// the first keys the rest goes in at once, so a huge text costs no more than a
// paste.
template <typename Handler>
void typeText(std::string& box, const std::string& text, Handler handler) {
    constexpr std::size_t kKeystrokes = 64;
    if (box == text) return;
    if (text.empty()) {
        setBoxText(box, text, handler);
        return;
    }
    setBoxText(box, text.substr(0, 1), handler);
    for (std::size_t i = 1; i < text.size(); ++i) {
        const std::size_t keys = i < kKeystrokes ? 1 : text.size() - i;
        setBoxText(box, box + text.substr(i, keys), handler);
        i += keys - 1;
    }
}

void outputLevelChanged(TypedForm& f) {
    const auto scroll = settings::enterOutputScaling(f.s, f.scaleText);
    if (scroll && *scroll != f.scaleScroll) {
        f.scaleScroll = *scroll;
        // The scroll bar writes its value back, which runs this handler once more.
        setBoxText(f.scaleText, text::plainInteger(*scroll), [&](const std::string&) { outputLevelChanged(f); });
    }
}

auto outputLevelHandler(TypedForm& f) {
    return [&f](const std::string&) { outputLevelChanged(f); };
}

keying::KeyingPattern buildPattern(TypedForm& f) {
    // The Generate command encodes only a non-empty message; in tone mode the
    // run builds the tone from the speed box in any case.
    if (f.mode == Mode::ToneOnly) {
        f.s.Dotperiod = 0.1;
        return keying::tonePattern(text::readNumber(f.wpmText));
    }
    if (f.messageText.empty()) return f.s.CWPattern;
    f.messageText = keying::toUpperAscii(f.messageText);
    keying::MorseEncoding encoding = keying::encodeMorse(f.messageText);
    f.s.Duration = static_cast<double>(encoding.duration);
    return keying::KeyingPattern::fromText(std::move(encoding.pattern));
}

void repair(TypedForm& f) {
    auto read = [&](settings::Box box) { return box == settings::Box::SNtext ? f.snText : f.scaleText; };
    auto write = [&](settings::Box box, const std::string& text) {
        switch (box) {
            case settings::Box::SNtext: f.snText = text; break;
            case settings::Box::ScaleText: setBoxText(f.scaleText, text, outputLevelHandler(f)); break;
            case settings::Box::WPMtext: f.wpmText = text; break;
            default: break;  // the repair has already set the value these boxes hold
        }
    };
    settings::repairForRun(f.s, f.mode, read, write);
}

std::string temporaryNameFor(const std::string& output) {
    return output + ".partial-" + std::to_string(::getpid());
}

}  // namespace

TypedForm typeIntoForm(const GenOptions& o) {
    TypedForm f;
    auto speed = [&](const std::string& t) { settings::enterSpeed(f.s, f.mode, t); };
    if (o.wpm) typeText(f.wpmText, *o.wpm, speed);
    f.mode = o.mode;
    if (f.mode != Mode::OnOffCW) setBoxText(f.wpmText, settings::speedTextForMode(f.s, f.mode), speed);
    if (f.mode == Mode::ToneOnly && o.toneLength) typeText(f.wpmText, *o.toneLength, speed);
    if (o.message) f.messageText = *o.message;

    std::string box;
    auto type = [&](const std::optional<std::string>& text, const char* startup, auto handler) {
        box = startup;
        if (text) typeText(box, *text, handler);
    };
    type(o.tone, "800", [&](const std::string& t) { settings::enterTone(f.s, t); });
    type(o.spaceTone, "600", [&](const std::string& t) { settings::enterSpaceTone(f.s, t); });
    type(o.rate, "12000", [&](const std::string& t) { settings::enterSampleRate(f.s, t); });
    if (o.snr) typeText(f.snText, *o.snr, [&](const std::string& t) { settings::enterSignalToNoise(f.s, t); });
    type(o.bw, "300", [&](const std::string& t) { settings::enterReferenceBandwidth(f.s, t); });
    if (o.level) typeText(f.scaleText, *o.level, outputLevelHandler(f));
    type(o.filterCf, "1800", [&](const std::string& t) { settings::enterFilterCentre(f.s, t); });
    type(o.filterBw, "3000", [&](const std::string& t) { settings::enterFilterBandwidth(f.s, f.firLength, t); });
    f.filterOn = !o.noFilter;
    return f;
}

synth::Report generate(const GenOptions& options) {
    TypedForm f = typeIntoForm(options);
    f.s.CWPattern = buildPattern(f);
    repair(f);
    if (f.mode == Mode::ToneOnly) f.s.CWPattern = keying::tonePattern(text::readNumber(f.wpmText));

    synth::SynthesisState state;
    if (options.seed) state.noise = synth::NoiseSource(*options.seed);
    const synth::RunPlan plan = synth::prepareRun(state, f.s, f.mode, f.s.CWPattern, f.firLength);

    const std::string temporary = temporaryNameFor(options.output);
    // Created exclusively: if the name is taken, nothing of ours exists to remove.
    auto writer = std::make_unique<wav::WavWriter>(temporary, plan.sampleRate, plan.totalSamples, true);
    try {
        synth::GenerationRun run(state, plan, f.s.CWPattern, *writer);
        const synth::LiveControls live{f.mode == Mode::FSKCW, f.filterOn, f.s.ScaleFact, f.firLength, false};
        while (run.running()) run.runElements(plan.elements, live);
        writer->finish();
        if (std::rename(temporary.c_str(), options.output.c_str()) != 0) {
            throw wav::FileError("Cannot create " + options.output + ": " + std::strerror(errno));
        }
        return synth::levelReport(options.output, plan.totalSamples, run.stats());
    } catch (...) {
        writer.reset();
        std::remove(temporary.c_str());
        throw;
    }
}

}  // namespace vantel::gen
