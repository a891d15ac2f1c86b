#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "batch/request.h"
#include "settings/generation_settings.h"
#include "synth/run_setup.h"

// A request made ready to run: its texts typed into the window's boxes as a
// user would type them, and the run set up from them, so that every file is
// the window's for the same texts.
namespace vantel::batch {

// The window's settings and box texts after the request's texts were typed
// into its boxes in the order of kTypedOptions, with every change handler's
// effect on the settings.
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

TypedForm typeIntoForm(const FileRequest& request);

// What a file's run is fixed to before any sample: the boxes after the
// Generate command's encoding and repair, the run's pattern and plan, and the
// noise seed.
struct PreparedFile {
    TypedForm form;
    synth::RunSetup setup;
    std::uint64_t seed = 0;
    std::optional<std::string> autoLevelText;  // what an automatic level typed
    std::string textChanges;  // the message's characters changed or dropped, one line; empty: none
    std::string textSource;   // where a practice text came from; empty: the message typed
    std::optional<std::string> sentText;  // a practice text as made, or a message as made sendable
};

// Throws RunError when the settings give nothing to generate or too much;
// writes nothing. With an automatic level, the level is chosen from the plan
// and the filter (the expected RMS of tone plus noise after the filter) and
// then typed into the level box exactly as if it had been given: of the texts
// on a 0.1 dB grid near the ideal level, the one whose typed result (the
// scroll bar may round it) lies nearest.
// The message is first made sendable and, for a practice text, made from the
// request's seed and cut to its duration or word count (batch::messageFor).
PreparedFile prepareFile(const FileRequest& request);

// The characters of the message that a run of the request keeps (all of
// them unless a duration cuts it).
std::size_t charactersKept(const FileRequest& request);

// The level text (on a 0.1 dB grid, as it reads once typed) nearest to
// `wanted` dB and not above it; nothing when there is no finite one.
std::optional<std::string> nearestTypedLevelNotAbove(double wanted);

}  // namespace vantel::batch
