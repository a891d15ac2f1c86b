#include "settings/sn_display.h"

#include <cmath>

#include "text/number_text.h"

namespace vantel::settings {
namespace {

// dB per natural-log unit, with ln 10 taken as 2.3026 as all the level figures
// of this tool have always done.
constexpr double kDecibelsPerNeper = 10 / 2.3026;
constexpr double kWideBandwidth = 2500;

}  // namespace

std::optional<std::string> normalisedSnText(double sn, double referenceBandwidth) {
    if (!(referenceBandwidth > 0) || !std::isfinite(referenceBandwidth)) return std::nullopt;
    const double in2500Hz = sn + kDecibelsPerNeper * std::log(referenceBandwidth / kWideBandwidth);
    const double in1Hz = sn + kDecibelsPerNeper * std::log(referenceBandwidth);
    return "S/N normalised :\r\n2500Hz    " + text::formatPattern(in2500Hz, "#0.0dB") + "\r\n   1Hz    " +
           text::formatPattern(in1Hz, "#0.0dB");
}

}  // namespace vantel::settings
