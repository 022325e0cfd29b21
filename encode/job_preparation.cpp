#include "encode/job_preparation.h"

PreparedJob PrepareJob(const EncodeSettings &settings, bool hdMode, const MediaFacts &facts, const QString &inputPath,
                       const QString &outputPath, int processorCount)
{
    PreparedJob prepared;
    prepared.job.Facts = facts;
    prepared.job.SourceExt = SourceExtOf(inputPath);
    ResolveJob(settings, hdMode, prepared.job);
    prepared.options = EncoderArgsBuilder(processorCount).Build(prepared.job);
    prepared.arguments = MakeEngineArguments(prepared.options, inputPath, outputPath);
    return prepared;
}
