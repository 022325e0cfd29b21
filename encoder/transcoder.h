#pragma once

// One conversion: reads the input, decodes, filters and encodes its video and audio, and
// writes the output, which gets its name only when it is complete. Decoding, video filtering
// and encoding run on threads of their own as the options ask, so they overlap. Run belongs
// to one thread (the caller's, which also reads the input); RunControl may pause or stop it
// from any other.

#include "encoder/arguments.h"
#include "encoder/run_control.h"

#include <string>

namespace mencoder {

struct RunResult {
    engine::FailureCode code = engine::FailureCode::None;
    std::string message;
    std::string outputPath; // where a finished output went: the asked name, or the next free one
};

RunResult Convert(const EncodeOptions &options, RunControl &control);

} // namespace mencoder
