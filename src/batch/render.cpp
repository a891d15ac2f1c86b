#include "batch/render.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "settings/entry_rules.h"
#include "synth/generation_run.h"
#include "synth/level_plan.h"
#include "text/number_text.h"
#include "save/output_target.h"
#include "wav/wav_writer.h"

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

TypedForm::TypedForm() {
    for (std::size_t box = 0; box < settings::kBoxCount; ++box) {
        texts[box] = settings::startupText(static_cast<Box>(box));
    }
}

TypedForm typeIntoForm(const GenOptions& o) {
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
    f.filterOn = !o.noFilter;
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

std::string chooseAutoLevel(const GenOptions& options) {
    GenOptions probe = options;
    probe.typed[Typed::Level].reset();
    const PreparedFile prepared = prepareFile(probe);
    const TypedForm& f = prepared.form;
    filter::CoefficientStore coeffs{};
    synth::designRunFilter(coeffs, f.s, f.s.FilterCF, f.firLength);
    const double meanSquare = synth::expectedMeanSquare(prepared.setup, f.mode, f.filterOn, coeffs, f.firLength);
    const auto text = meanSquare > 0 && std::isfinite(meanSquare)
                          ? nearestTypedLevel(synth::levelForRms(meanSquare, options.autoRmsDbfs), false)
                          : std::nullopt;
    if (!text) throw synth::RunError("--level auto: the signal's level has no finite value to scale from");
    return *text;
}

}  // namespace

PreparedFile prepareFile(const GenOptions& options) {
    if (options.autoLevel()) {
        GenOptions chosen = options;
        chosen.typed[Typed::Level] = chooseAutoLevel(options);
        PreparedFile prepared = prepareFile(chosen);
        prepared.autoLevelText = chosen.typed[Typed::Level];
        return prepared;
    }
    PreparedFile prepared{typeIntoForm(options), {}, options.seed.value_or(synth::NoiseSource::kStartupSeed), {}};
    TypedForm& f = prepared.form;
    // The Generate command encodes only a non-empty message.
    if (const std::string message = f.text(Box::Messagetext); !message.empty()) {
        setBoxText(f, Box::Messagetext, synth::encodeForRun(f.s, f.mode, message, f.text(Box::WPMtext)));
    }
    repair(f);
    const synth::BandSetup band{bandConditions(options), options.extended, f.text(Box::Messagetext), prepared.seed};
    prepared.setup = synth::setUpRun(f.s, f.mode, f.text(Box::WPMtext), band);
    return prepared;
}

namespace {

constexpr const char* kStandardOutputName = "standard output";

// Sounds the whole run into `writer`, looking for a stop between calls.
void soundRun(FileResult& result, synth::SynthesisState& state, synth::SampleSink& writer, const StopRequested& stop) {
    const TypedForm& f = result.prepared.form;
    synth::GenerationRun run(state, result.prepared.setup, writer);
    const synth::LiveControls live{f.mode == Mode::FSKCW, f.filterOn, f.s.ScaleFact, f.firLength, false};
    while (run.running()) {
        if (stop && stop()) throw Interrupted();
        run.runCall(live);
    }
    result.stats = run.stats();
    result.measure = run.signalMeasure();
}

// Asked while a stream's reader takes nothing: a stop ends the wait.
save::WhileWaiting stopWhileWaiting(const StopRequested& stop) {
    return [&stop] {
        if (stop && stop()) throw Interrupted();
    };
}

// The header is known before the first sample, so the file can go down a
// pipe as it is made.
void generateToStream(FileResult& result, synth::SynthesisState& state, int fd, const std::string& name,
                      const StopRequested& stop) {
    const synth::RunPlan& plan = result.prepared.setup.plan;
    const auto writer = wav::WavWriter::toStream(fd, name, plan.sampleRate, plan.totalSamples, stopWhileWaiting(stop));
    soundRun(result, state, *writer, stop);
    writer->finish();
    result.report = synth::levelReport(name, plan.totalSamples, result.stats);
}

// Closes a descriptor on the way out.
class OpenStream {
public:
    explicit OpenStream(int fd) : fd_(fd) {}
    ~OpenStream() { ::close(fd_); }
    OpenStream(const OpenStream&) = delete;
    OpenStream& operator=(const OpenStream&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

// The state a file's run starts from: a fresh noise stream at its seed, and
// the filter designed.
synth::SynthesisState startingState(const PreparedFile& prepared) {
    synth::SynthesisState state;
    state.noise = synth::NoiseSource(prepared.seed);
    const TypedForm& f = prepared.form;
    synth::designRunFilter(state.FIRCoeffs, f.s, f.s.FilterCF, f.firLength);
    return state;
}

}  // namespace

namespace {

// Writes a file in `folder` under `name` only when it is complete: `write`
// fills a WAV writer on a temporary beside it (created exclusively: if that
// name is taken, nothing of ours exists to remove), which is then finished
// and published. On any error or stop the temporary is removed; errors name
// `shown`, the name the user gave.
template <typename Write>
void writeThroughTemporary(const save::Folder& folder, const std::string& name, const std::string& shown,
                           const FileWriting& how, std::int32_t sampleRate, std::int64_t samples,
                           const StopRequested& stop, Write write) {
    save::PendingFile file(folder, name, shown, how.temporarySuffix, how.replace);
    const auto writer = wav::WavWriter::intoFile(file.fd(), shown, sampleRate, samples);
    write(*writer);
    writer->finish();
    if (stop && stop()) throw Interrupted();
    file.publish(how.folderMustStay);
}

// Writes a file, or a stream, under the output name as given: `write` fills
// the WAV writer.
template <typename Write>
void writeOutput(const std::string& output, std::int32_t sampleRate, std::int64_t samples, const StopRequested& stop,
                 Write write) {
    const save::OutputTarget target = save::resolveOutput(output);
    if (target.kind != save::OutputTarget::Kind::File) {
        const OpenStream stream(save::openStream(target, output, stopWhileWaiting(stop)));
        const auto writer = wav::WavWriter::toStream(stream.fd(), output, sampleRate, samples, stopWhileWaiting(stop));
        write(*writer);
        writer->finish();
        return;
    }
    const save::Folder folder(target.folder, output);
    // The file must be where it was asked for: a folder moved meanwhile fails it.
    const FileWriting how{save::processTemporarySuffix(), save::Replace::Allowed, true};
    writeThroughTemporary(folder, target.name, output, how, sampleRate, samples, stop, write);
}

}  // namespace

FileResult generateFile(const GenOptions& options, const StopRequested& stop) {
    FileResult result{prepareFile(options), {}, {}, {}};
    const synth::RunPlan& plan = result.prepared.setup.plan;
    synth::SynthesisState state = startingState(result.prepared);
    if (options.toStandardOutput()) {
        generateToStream(result, state, STDOUT_FILENO, kStandardOutputName, stop);
        return result;
    }
    writeOutput(options.output, plan.sampleRate, plan.totalSamples, stop,
                [&](wav::WavWriter& writer) { soundRun(result, state, writer, stop); });
    result.report = synth::levelReport(options.output, plan.totalSamples, result.stats);
    return result;
}

FileResult generateFileIn(const save::Folder& folder, const std::string& name, const FileWriting& how,
                          const GenOptions& options, const StopRequested& stop) {
    FileResult result{prepareFile(options), {}, {}, {}};
    const synth::RunPlan& plan = result.prepared.setup.plan;
    synth::SynthesisState state = startingState(result.prepared);
    writeThroughTemporary(folder, name, options.output, how, plan.sampleRate, plan.totalSamples, stop,
                          [&](wav::WavWriter& writer) { soundRun(result, state, writer, stop); });
    result.report = synth::levelReport(options.output, plan.totalSamples, result.stats);
    return result;
}

void writeSamplesFile(const std::string& output, std::int32_t sampleRate, std::span<const std::int16_t> samples,
                      const StopRequested& stop) {
    writeOutput(output, sampleRate, static_cast<std::int64_t>(samples.size()), stop,
                [&](wav::WavWriter& writer) { writer.append(samples); });
}

Clip generateClip(const GenOptions& options, const StopRequested& stop) {
    Clip clip{{prepareFile(options), {}, {}, {}}, {}};
    FileResult& result = clip.result;
    const synth::RunPlan& plan = result.prepared.setup.plan;
    synth::SynthesisState state = startingState(result.prepared);
    synth::SampleBuffer buffer(static_cast<std::size_t>(plan.totalSamples));
    soundRun(result, state, buffer, stop);
    clip.samples = std::move(buffer.samples());
    result.report = synth::levelReport(options.output, plan.totalSamples, result.stats);
    return clip;
}

std::optional<std::string> levelAvoidingClipping(const FileResult& result) {
    if (result.stats.clipped == 0 || !std::isfinite(result.stats.peak) || !(result.stats.peak > 0)) return std::nullopt;
    constexpr double kLargestSample = 32767;
    const double used = text::readNumber(result.prepared.form.text(Box::ScaleText));
    const double excess = synth::decibels(result.stats.peak * result.stats.peak / (kLargestSample * kLargestSample));
    return nearestTypedLevel(used - excess, true);
}

double measuredSnrDb(const FileResult& result) {
    const auto& s = result.prepared.form.s;
    return result.measure.snrDb(s.BW, s.FSample);
}

double measuredSnrDb2500(const FileResult& result) {
    return result.measure.snrDb(kComparisonBandwidth, result.prepared.form.s.FSample);
}

std::optional<std::string> measuredInterferenceLine(const FileResult& result) {
    const channel::BandConditions& c = result.prepared.setup.conditions;
    const synth::SignalMeasure& m = result.measure;
    auto figure = [](double db) { return std::isnan(db) ? std::string("none") : oneDecimal(db) + " dB"; };
    std::string line;
    if (c.qrmStations > 0) line = "QRM measured: " + figure(m.qrmDb()) + " against the wanted signal";
    if (c.qrnRate > 0) {
        if (!line.empty()) line += "; ";
        line += "QRN measured: " + figure(m.qrnDb()) + " against the noise (" + std::to_string(m.qrnCrashes) +
                (m.qrnCrashes == 1 ? " crash)" : " crashes)");
    }
    if (line.empty()) return std::nullopt;
    return line;
}

std::string measuredSnrLine(const FileResult& result) {
    const double inReference = measuredSnrDb(result);
    if (std::isnan(inReference)) return "S/N measured: none (no tone or no noise)";
    return "S/N measured: " + oneDecimal(inReference) + " dB in " + shortNumber(result.prepared.form.s.BW) +
           " Hz (one-sided), " + oneDecimal(measuredSnrDb2500(result)) + " dB in 2500 Hz";
}

}  // namespace vantel::batch
