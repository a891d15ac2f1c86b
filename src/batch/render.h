#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "batch/prepare.h"
#include "batch/request.h"
#include "formats/audio_format.h"
#include "save/publish.h"
#include "synth/generation_run.h"
#include "synth/level_report.h"
#include "synth/level_stats.h"
#include "synth/sample_sink.h"
#include "synth/signal_measure.h"

// A request rendered: into any sample sink, a file or stream under an output
// name, a file in a held folder, or memory.
namespace vantel::batch {

// A run stopped from outside (Ctrl-C) before its file was complete; nothing of
// it is left behind.
class Interrupted : public std::runtime_error {
public:
    Interrupted() : std::runtime_error("interrupted") {}
};

// The stop token: asked between pieces of a run (a fraction of a second of
// work apart) and while a stream's reader takes nothing; true stops the run
// with Interrupted.
using StopRequested = std::function<bool()>;

// The output name that stands for standard output.
inline constexpr std::string_view kStandardOutput = "-";

struct FileResult {
    PreparedFile prepared;
    synth::Report report;
    synth::LevelStats stats;
    synth::SignalMeasure measure;
};

// The state a file's run starts from: a fresh noise stream at its seed, and
// the filter designed.
synth::SynthesisState startingState(const PreparedFile& prepared);

// Sounds the whole prepared run into `sink`, looking for a stop between calls,
// and keeps its statistics in `result`.
void renderInto(FileResult& result, synth::SynthesisState& state, synth::SampleSink& sink, const StopRequested& stop);

// The encoding to write `output` in: the format `formatOption` (--format)
// or the name's extension gives (formats::chooseFormat), with `quality` and
// `tags`. UsageError when they cannot be used; the sample rate is checked as
// the file is written.
formats::Encoding encodingFor(const std::string& output, std::optional<std::string_view> formatOption,
                              std::optional<double> quality = std::nullopt, formats::Tags tags = {});

// The file the window's first Generate would write for the request's texts,
// under the output name as given ("-": standard output; see
// save::resolveOutput): a file appears under its name only when complete
// (replacing a file of that name); a FIFO, a device or a descriptor is
// written into as a stream. The file is encoded as `encoding` says (WAV, the
// default, byte for byte as ever); every sample written also goes to
// `monitor`, when given. An encoding that cannot hold the run (its sample
// rate) is a UsageError before anything is written. On any error or stop
// nothing is left behind and RunError, wav::FileError, formats::WriteError,
// save::PublishError or Interrupted is thrown.
FileResult writeFile(const FileRequest& request, const std::string& output, const StopRequested& stop = {},
                     const formats::Encoding& encoding = {}, synth::SampleSink* monitor = nullptr);

// How a file is written into a held folder.
struct FileWriting {
    std::string temporarySuffix;  // the temporary's name is the file's and this
    save::Replace replace = save::Replace::Refused;
    bool folderMustStay = false;  // refuse to publish in a folder moved away
};

// The same as `name` in `folder` (a sweep's), `shownName` standing for it in
// messages and the report.
FileResult writeFileIn(const save::Folder& folder, const std::string& name, const std::string& shownName,
                       const FileWriting& how, const FileRequest& request, const StopRequested& stop = {},
                       const formats::Encoding& encoding = {}, synth::SampleSink* monitor = nullptr);

// Writes samples made in memory (a Clip's) as the file writeFile would have
// written for them, to the output as writeFile would. On an error nothing is
// left behind and UsageError, wav::FileError, formats::WriteError or
// save::PublishError is thrown, naming `output`.
void writeSamplesFile(const std::string& output, std::int32_t sampleRate, std::span<const std::int16_t> samples,
                      const StopRequested& stop = {}, const formats::Encoding& encoding = {},
                      synth::SampleSink* monitor = nullptr);

// The samples writeFile would write for the request, made in memory;
// `reportName` names the file in the level report.
struct Clip {
    FileResult result;
    std::vector<std::int16_t> samples;
};
Clip renderClip(const FileRequest& request, const std::string& reportName = "CWTemp.wav",
                const StopRequested& stop = {});

// The level text (on a 0.1 dB grid, as it reads once typed) that would have
// kept every sample of this file within 16 bits; nothing when no sample
// clipped or the peak has no finite value.
std::optional<std::string> levelAvoidingClipping(const FileResult& result);

// The measured S/N of a file: in the reference bandwidth (one-sided), then in
// 2500 Hz; NaN when there was no tone or no noise to compare.
double measuredSnrDb(const FileResult& result);
double measuredSnrDb2500(const FileResult& result);
// The S/N at the receiver's output (NaN without a receiver).
double outputSnrDb(const FileResult& result);

}  // namespace vantel::batch
