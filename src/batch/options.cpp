#include "batch/options.h"

namespace vantel::batch {

std::string_view untypedText(const TypedOption& option) {
    return option.id == Typed::ToneLength ? "5" : settings::startupText(option.box);
}

}  // namespace vantel::batch
