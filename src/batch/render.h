#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "batch/options.h"
#include "save/publish.h"
#include "settings/generation_settings.h"
#include "synth/level_report.h"
#include "synth/level_stats.h"
#include "synth/run_setup.h"
#include "synth/signal_measure.h"

namespace vantel::batch {

// The window's settings and box texts after the options' texts were typed into
// its boxes in the order of kTypedOptions, with every change handler's effect
// on the settings.
struct TypedForm {
    TypedForm();

    settings::GenerationSettings s = settings::loadSettings();
    settings::Mode mode = settings::Mode::OnOffCW;
    std::int16_t firLength = settings::kStartupFirLength;
    bool filterOn = true;
    int scaleScroll = 0;
    std::array<std::string, settings::kBoxCount> texts;

    const std::string& text(settings::Box box) const { return texts[static_cast<std::size_t>(box)]; }
};

TypedForm typeIntoForm(const GenOptions& options);

// A run stopped from outside (Ctrl-C) before its file was complete; nothing of
// it is left behind.
class Interrupted : public std::runtime_error {
public:
    Interrupted() : std::runtime_error("interrupted") {}
};

// Asked between pieces of a run (a fraction of a second of work apart); true
// stops the run with Interrupted.
using StopRequested = std::function<bool()>;

// What a file's run is fixed to before any sample: the boxes after the
// Generate command's encoding and repair, the run's pattern and plan, and the
// noise seed.
struct PreparedFile {
    TypedForm form;
    synth::RunSetup setup;
    std::uint64_t seed = 0;
    std::optional<std::string> autoLevelText;  // what --level auto typed
};

// Throws RunError when the settings give nothing to generate or too much;
// writes nothing. With --level auto, the level is chosen from the plan and
// the filter (the expected RMS of tone plus noise after the filter) and then
// typed into the level box exactly as if it had been given: of the texts on
// a 0.1 dB grid near the ideal level, the one whose typed result (the scroll
// bar may round it) lies nearest.
PreparedFile prepareFile(const GenOptions& options);

struct FileResult {
    PreparedFile prepared;
    synth::Report report;
    synth::LevelStats stats;
    synth::SignalMeasure measure;
};

// The samples generateFile would write for these options, made in memory
// (nothing is written; the output name only names the report's file).
struct Clip {
    FileResult result;
    std::vector<std::int16_t> samples;
};
Clip generateClip(const GenOptions& options, const StopRequested& stop = {});

// Writes samples made in memory (a Clip's) as the WAV file generateFile would
// have written for them, to the output as generateFile would: through the
// same writer, into a temporary beside the file that takes its name
// (replacing a file of that name) only when complete, or into a stream. On an
// error nothing is left behind and FileError or save::PublishError is thrown,
// naming `output`.
void writeSamplesFile(const std::string& output, std::int32_t sampleRate, std::span<const std::int16_t> samples,
                      const StopRequested& stop = {});

// Generates the file the window's first Generate would write for these texts,
// to the output name as given (save::resolveOutput): a file appears under its
// name only when complete; a FIFO, a device or a descriptor is written into
// as a stream. On any error or stop nothing is left behind and RunError,
// FileError, save::PublishError or Interrupted is thrown.
FileResult generateFile(const GenOptions& options, const StopRequested& stop = {});

// How a file is written into a held folder.
struct FileWriting {
    std::string temporarySuffix;  // the temporary's name is the file's and this
    save::Replace replace = save::Replace::Refused;
    bool folderMustStay = false;  // refuse to publish in a folder moved away
};

// The same, as `name` in `folder` (a sweep's), the output name standing for
// it in messages.
FileResult generateFileIn(const save::Folder& folder, const std::string& name, const FileWriting& how,
                          const GenOptions& options, const StopRequested& stop = {});

// The --level text (on a 0.1 dB grid, as it reads once typed) that would have
// kept every sample of this file within 16 bits; nothing when no sample
// clipped or the peak has no finite value.
std::optional<std::string> levelAvoidingClipping(const FileResult& result);

// The measured S/N of a file: in the reference bandwidth (one-sided), then in
// 2500 Hz; NaN when there was no tone or no noise to compare.
double measuredSnrDb(const FileResult& result);
double measuredSnrDb2500(const FileResult& result);

// "S/N measured: 17.0 dB in 300 Hz (one-sided), 7.8 dB in 2500 Hz".
std::string measuredSnrLine(const FileResult& result);

// With QRM or QRN on: "QRM measured: -2.8 dB against the wanted signal; QRN
// measured: 6.1 dB against the noise (41 crashes)": the QRM's mean power
// against the wanted signal's key-down power and the QRN's against the
// background noise's, as generated. Nothing when neither is on.
std::optional<std::string> measuredInterferenceLine(const FileResult& result);

}  // namespace vantel::batch
