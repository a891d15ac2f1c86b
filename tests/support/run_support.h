#pragma once

#include <cstdint>

#include "keying/keying_pattern.h"
#include "settings/generation_settings.h"
#include "synth/generation_run.h"
#include "synth/run_setup.h"

namespace vantel::testing {

// The plan and the filter for a run of an explicit pattern, as the front ends'
// set-up makes them for the pattern they built.
inline synth::RunPlan planAndDesign(synth::SynthesisState& state, const settings::GenerationSettings& s,
                                    settings::Mode mode, const keying::KeyingPattern& pattern,
                                    std::int16_t firLength) {
    const synth::RunPlan plan = synth::planRun(s, mode, pattern);
    synth::designRunFilter(state.FIRCoeffs, s, s.FilterCF, firLength);
    return plan;
}

// The set-up of a run of the window's kind (no band conditions) for an
// explicit pattern and its plan.
inline synth::RunSetup classicSetup(const keying::KeyingPattern& pattern, const synth::RunPlan& plan) {
    synth::RunSetup setup;
    setup.pattern = pattern;
    setup.plan = plan;
    return setup;
}

}  // namespace vantel::testing
