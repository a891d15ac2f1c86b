#pragma once

#include <cstdint>
#include <string>

#include "gen_options.h"
#include "settings/generation_settings.h"
#include "synth/level_report.h"

namespace vantel::gen {

// The window's settings and box texts after the options' texts were typed into
// its boxes, in the order the window's layout makes natural (the speed before
// the mode switch, the sample rate before the filter bandwidth), with every
// change handler's effect on the settings.
struct TypedForm {
    settings::GenerationSettings s = settings::loadSettings();
    settings::Mode mode = settings::Mode::OnOffCW;
    std::int16_t firLength = settings::kStartupFirLength;
    bool filterOn = true;
    int scaleScroll = 0;
    std::string messageText = "TESTING";
    std::string wpmText = "20";
    std::string snText = "20";
    std::string scaleText = "0";
};

TypedForm typeIntoForm(const GenOptions& options);

// Generates the file the window's first Generate would write for these texts.
// The file appears under its name only when complete; on any error nothing is
// left behind and RunError or FileError is thrown.
synth::Report generate(const GenOptions& options);

}  // namespace vantel::gen
