#include "batch/render.h"

#include <unistd.h>

#include <cmath>
#include <memory>

#include "batch/options.h"
#include "formats/encoded_writer.h"
#include "save/output_target.h"
#include "synth/generation_run.h"
#include "synth/level_plan.h"
#include "text/number_text.h"
#include "wav/wav_writer.h"

namespace vantel::batch {
namespace {

constexpr const char* kStandardOutputName = "standard output";
constexpr double kComparisonBandwidth = 2500;

// Asked while a stream's reader takes nothing: a stop ends the wait.
save::WhileWaiting stopWhileWaiting(const StopRequested& stop) {
    return [&stop] {
        if (stop && stop()) throw Interrupted();
    };
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

// Every sample to the file's writer and to a monitor beside it.
class Tee : public synth::SampleSink {
public:
    Tee(synth::SampleSink& file, synth::SampleSink& monitor) : file_(file), monitor_(monitor) {}
    void append(std::span<const std::int16_t> samples) override {
        file_.append(samples);
        monitor_.append(samples);
    }
    void append(std::int16_t sample) override {
        file_.append(sample);
        monitor_.append(sample);
    }

private:
    synth::SampleSink& file_;
    synth::SampleSink& monitor_;
};

// `write` fills the writer (and the monitor, if any), which is then finished.
template <typename Writer, typename Write>
void fillAndFinish(Writer& writer, synth::SampleSink* monitor, Write write) {
    if (monitor) {
        Tee both(writer, *monitor);
        write(static_cast<synth::SampleSink&>(both));
    } else {
        write(static_cast<synth::SampleSink&>(writer));
    }
    writer.finish();
}

// A format's refusal of the run is the user's to mend: a usage error.
void checkUsable(const formats::Encoding& encoding, std::int32_t sampleRate) {
    try {
        formats::checkEncoding(encoding);
        formats::checkSampleRate(encoding.format, sampleRate);
    } catch (const formats::FormatError& e) {
        throw UsageError(e.what());
    }
}

// Writes a file in `folder` under `name` only when it is complete: `write`
// fills a writer on a temporary beside it (created exclusively: if that name
// is taken, nothing of ours exists to remove), which is then finished and
// published. On any error or stop the temporary is removed; errors name
// `shown`, the name the user gave.
template <typename Write>
void writeThroughTemporary(const save::Folder& folder, const std::string& name, const std::string& shown,
                           const FileWriting& how, std::int32_t sampleRate, std::int64_t samples,
                           const StopRequested& stop, const formats::Encoding& encoding, synth::SampleSink* monitor,
                           Write write) {
    checkUsable(encoding, sampleRate);
    save::PendingFile file(folder, name, shown, how.temporarySuffix, how.replace);
    if (encoding.format == formats::AudioFormat::Wav) {
        fillAndFinish(*wav::WavWriter::intoFile(file.fd(), shown, sampleRate, samples), monitor, write);
    } else {
        fillAndFinish(*formats::EncodedWriter::intoFile(file.fd(), shown, sampleRate, encoding), monitor, write);
    }
    if (stop && stop()) throw Interrupted();
    file.publish(how.folderMustStay);
}

// Writes into an open stream as the samples are made.
template <typename Write>
void writeStream(int fd, const std::string& shown, std::int32_t sampleRate, std::int64_t samples,
                 const StopRequested& stop, const formats::Encoding& encoding, synth::SampleSink* monitor,
                 Write write) {
    if (encoding.format == formats::AudioFormat::Wav) {
        fillAndFinish(*wav::WavWriter::toStream(fd, shown, sampleRate, samples, stopWhileWaiting(stop)), monitor,
                      write);
    } else {
        fillAndFinish(*formats::EncodedWriter::toStream(fd, shown, sampleRate, encoding, stopWhileWaiting(stop)),
                      monitor, write);
    }
}

// Writes to the output name as given (save::resolveOutput): a file through
// its temporary, or a stream as it is made; `write` fills the writer.
template <typename Write>
void writeOutput(const std::string& output, std::int32_t sampleRate, std::int64_t samples, const StopRequested& stop,
                 const formats::Encoding& encoding, synth::SampleSink* monitor, Write write) {
    checkUsable(encoding, sampleRate);
    if (output == kStandardOutput) {
        writeStream(STDOUT_FILENO, kStandardOutputName, sampleRate, samples, stop, encoding, monitor, write);
        return;
    }
    const save::OutputTarget target = save::resolveOutput(output);
    if (target.kind != save::OutputTarget::Kind::File) {
        const OpenStream stream(save::openStream(target, output, stopWhileWaiting(stop)));
        writeStream(stream.fd(), output, sampleRate, samples, stop, encoding, monitor, write);
        return;
    }
    const save::Folder folder(target.folder, output);
    // The file must be where it was asked for: a folder moved meanwhile fails it.
    const FileWriting how{save::processTemporarySuffix(), save::Replace::Allowed, true};
    writeThroughTemporary(folder, target.name, output, how, sampleRate, samples, stop, encoding, monitor, write);
}

}  // namespace

synth::SynthesisState startingState(const PreparedFile& prepared) {
    synth::SynthesisState state;
    state.noise = synth::NoiseSource(prepared.seed);
    const TypedForm& f = prepared.form;
    synth::designRunFilter(state.FIRCoeffs, f.s, f.s.FilterCF, f.firLength);
    return state;
}

void renderInto(FileResult& result, synth::SynthesisState& state, synth::SampleSink& sink, const StopRequested& stop) {
    const TypedForm& f = result.prepared.form;
    synth::GenerationRun run(state, result.prepared.setup, sink);
    const synth::LiveControls live{f.mode == settings::Mode::FSKCW, f.filterOn, f.s.ScaleFact, f.firLength, false};
    while (run.running()) {
        if (stop && stop()) throw Interrupted();
        run.runCall(live);
    }
    result.stats = run.stats();
    result.measure = run.signalMeasure();
}

formats::Encoding encodingFor(const std::string& output, std::optional<std::string_view> formatOption,
                              std::optional<double> quality, formats::Tags tags) {
    try {
        formats::Encoding encoding{formats::chooseFormat(output, formatOption), quality, std::move(tags)};
        formats::checkEncoding(encoding);
        return encoding;
    } catch (const formats::FormatError& e) {
        throw UsageError(e.what());
    }
}

FileResult writeFile(const FileRequest& request, const std::string& output, const StopRequested& stop,
                     const formats::Encoding& encoding, synth::SampleSink* monitor) {
    FileResult result{prepareFile(request), {}, {}, {}};
    const synth::RunPlan& plan = result.prepared.setup.plan;
    synth::SynthesisState state = startingState(result.prepared);
    writeOutput(output, plan.sampleRate, plan.totalSamples, stop, encoding, monitor,
                [&](synth::SampleSink& sink) { renderInto(result, state, sink, stop); });
    const std::string shown = output == kStandardOutput ? kStandardOutputName : output;
    result.report = synth::levelReport(shown, plan.totalSamples, result.stats);
    return result;
}

FileResult writeFileIn(const save::Folder& folder, const std::string& name, const std::string& shownName,
                       const FileWriting& how, const FileRequest& request, const StopRequested& stop,
                       const formats::Encoding& encoding, synth::SampleSink* monitor) {
    FileResult result{prepareFile(request), {}, {}, {}};
    const synth::RunPlan& plan = result.prepared.setup.plan;
    synth::SynthesisState state = startingState(result.prepared);
    writeThroughTemporary(folder, name, shownName, how, plan.sampleRate, plan.totalSamples, stop, encoding, monitor,
                          [&](synth::SampleSink& sink) { renderInto(result, state, sink, stop); });
    result.report = synth::levelReport(shownName, plan.totalSamples, result.stats);
    return result;
}

void writeSamplesFile(const std::string& output, std::int32_t sampleRate, std::span<const std::int16_t> samples,
                      const StopRequested& stop, const formats::Encoding& encoding, synth::SampleSink* monitor) {
    writeOutput(output, sampleRate, static_cast<std::int64_t>(samples.size()), stop, encoding, monitor,
                [&](synth::SampleSink& sink) { sink.append(samples); });
}

Clip renderClip(const FileRequest& request, const std::string& reportName, const StopRequested& stop) {
    Clip clip{{prepareFile(request), {}, {}, {}}, {}};
    FileResult& result = clip.result;
    const synth::RunPlan& plan = result.prepared.setup.plan;
    synth::SynthesisState state = startingState(result.prepared);
    synth::SampleBuffer buffer(static_cast<std::size_t>(plan.totalSamples));
    renderInto(result, state, buffer, stop);
    clip.samples = std::move(buffer.samples());
    result.report = synth::levelReport(reportName, plan.totalSamples, result.stats);
    return clip;
}

std::optional<std::string> levelAvoidingClipping(const FileResult& result) {
    if (result.stats.clipped == 0 || !std::isfinite(result.stats.peak) || !(result.stats.peak > 0)) return std::nullopt;
    constexpr double kLargestSample = 32767;
    const double used = text::readNumber(result.prepared.form.text(settings::Box::ScaleText));
    const double excess = synth::decibels(result.stats.peak * result.stats.peak / (kLargestSample * kLargestSample));
    return nearestTypedLevelNotAbove(used - excess);
}

double measuredSnrDb(const FileResult& result) {
    const auto& s = result.prepared.form.s;
    return result.measure.snrDb(s.BW, s.FSample);
}

double outputSnrDb(const FileResult& result) { return result.measure.outputSnrDb(); }

double measuredSnrDb2500(const FileResult& result) {
    return result.measure.snrDb(kComparisonBandwidth, result.prepared.form.s.FSample);
}

}  // namespace vantel::batch
