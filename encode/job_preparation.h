#pragma once

#include "encode/encode_job.h"
#include "encode/encoder_args_builder.h"
#include "probe/media_facts.h"

#include <QString>
#include <string>

// One file's way from what it was probed to be to the engine's command line: resolve, build,
// compose. A failed preparation means the file must fail with no engine started.
struct PreparedJob {
    EncodeJob job;
    std::string options;       // option text, commas between tokens
    EngineArguments arguments; // what the engine process is started with
    bool ok() const { return arguments.ok(); }
};

PreparedJob PrepareJob(const EncodeSettings &settings, bool hdMode, const MediaFacts &facts, const QString &inputPath,
                       const QString &outputPath, int processorCount = EncoderArgsBuilder::SystemProcessorCount());
