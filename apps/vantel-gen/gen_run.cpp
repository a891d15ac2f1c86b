#include "gen_run.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
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
            // The repair has already set the values these boxes hold; their
            // texts are kept for the names and the manifest.
            case settings::Box::FStext: f.rateText = text; break;
            case settings::Box::Ftonetext: f.toneText = text; break;
            case settings::Box::SpaceToneText: f.spaceToneText = text; break;
            case settings::Box::BWtext: f.bwText = text; break;
            default: break;
        }
    };
    settings::repairForRun(f.s, f.mode, read, write);
}

std::string temporaryNameFor(const std::string& output) {
    return output + ".partial-" + std::to_string(::getpid());
}

// A write error about the unfinished file, told of the file the user asked for.
wav::FileError namingOutput(const wav::FileError& error, const std::string& temporary, const std::string& output) {
    std::string message = error.what();
    for (auto at = message.find(temporary); at != std::string::npos; at = message.find(temporary, at + output.size())) {
        message.replace(at, temporary.size(), output);
    }
    return wav::FileError(message);
}

constexpr double kComparisonBandwidth = 2500;

std::string oneDecimal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// 300 as "300", 312.5 as "312.5".
std::string shortNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
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

    auto type = [](const std::optional<std::string>& text, std::string& box, auto handler) {
        if (text) typeText(box, *text, handler);
    };
    type(o.tone, f.toneText, [&](const std::string& t) { settings::enterTone(f.s, t); });
    type(o.spaceTone, f.spaceToneText, [&](const std::string& t) { settings::enterSpaceTone(f.s, t); });
    type(o.rate, f.rateText, [&](const std::string& t) { settings::enterSampleRate(f.s, t); });
    type(o.snr, f.snText, [&](const std::string& t) { settings::enterSignalToNoise(f.s, t); });
    type(o.bw, f.bwText, [&](const std::string& t) { settings::enterReferenceBandwidth(f.s, t); });
    if (o.level) typeText(f.scaleText, *o.level, outputLevelHandler(f));
    type(o.filterCf, f.filterCfText, [&](const std::string& t) { settings::enterFilterCentre(f.s, t); });
    type(o.filterBw, f.filterBwText,
         [&](const std::string& t) { settings::enterFilterBandwidth(f.s, f.firLength, t); });
    f.filterOn = !o.noFilter;
    return f;
}

PreparedFile prepareFile(const GenOptions& options) {
    PreparedFile prepared{typeIntoForm(options), {}, options.seed.value_or(synth::NoiseSource::kStartupSeed)};
    TypedForm& f = prepared.form;
    f.s.CWPattern = buildPattern(f);
    repair(f);
    if (f.mode == Mode::ToneOnly) f.s.CWPattern = keying::tonePattern(text::readNumber(f.wpmText));
    prepared.plan = synth::planRun(f.s, f.mode, f.s.CWPattern);
    return prepared;
}

FileResult generateFile(const GenOptions& options, const StopRequested& stop) {
    FileResult result{prepareFile(options), {}, {}, {}};
    const TypedForm& f = result.prepared.form;
    synth::SynthesisState state;
    state.noise = synth::NoiseSource(result.prepared.seed);
    const synth::RunPlan plan = synth::prepareRun(state, f.s, f.mode, f.s.CWPattern, f.firLength);

    const std::string temporary = temporaryNameFor(options.output);
    std::unique_ptr<wav::WavWriter> writer;
    try {
        // Created exclusively: if the name is taken, nothing of ours exists to remove.
        writer = std::make_unique<wav::WavWriter>(temporary, plan.sampleRate, plan.totalSamples, true);
    } catch (const wav::FileError& e) {
        throw namingOutput(e, temporary, options.output);
    }
    try {
        synth::GenerationRun run(state, plan, f.s.CWPattern, *writer);
        const synth::LiveControls live{f.mode == Mode::FSKCW, f.filterOn, f.s.ScaleFact, f.firLength, false};
        const std::int64_t perCall = synth::elementsPerCall(plan);
        while (run.running()) {
            if (stop && stop()) throw Interrupted();
            run.runElements(perCall, live);
        }
        writer->finish();
        if (stop && stop()) throw Interrupted();
        if (std::rename(temporary.c_str(), options.output.c_str()) != 0) {
            throw wav::FileError("Cannot create " + options.output + ": " + std::strerror(errno));
        }
        result.report = synth::levelReport(options.output, plan.totalSamples, run.stats());
        result.stats = run.stats();
        result.measure = run.signalMeasure();
        return result;
    } catch (const wav::FileError& e) {
        writer.reset();
        std::remove(temporary.c_str());
        throw namingOutput(e, temporary, options.output);
    } catch (...) {
        writer.reset();
        std::remove(temporary.c_str());
        throw;
    }
}

double measuredSnrDb(const FileResult& result) {
    const auto& s = result.prepared.form.s;
    return result.measure.snrDb(s.BW, s.FSample);
}

double measuredSnrDb2500(const FileResult& result) {
    return result.measure.snrDb(kComparisonBandwidth, result.prepared.form.s.FSample);
}

std::string measuredSnrLine(const FileResult& result) {
    const double inReference = measuredSnrDb(result);
    if (std::isnan(inReference)) return "S/N measured: none (no tone or no noise)";
    return "S/N measured: " + oneDecimal(inReference) + " dB in " + shortNumber(result.prepared.form.s.BW) +
           " Hz (one-sided), " + oneDecimal(measuredSnrDb2500(result)) + " dB in 2500 Hz";
}

}  // namespace vantel::gen
