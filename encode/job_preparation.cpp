#include "encode/job_preparation.h"

#include "probe/media_probe.h"

PreparedJob PrepareJob(const EncodeSettings &settings, bool hdMode, const QString &inputPath, const QString &outputPath,
                       MediaInfoLibrary &library, int processorCount)
{
    PreparedJob prepared;
    prepared.job.Facts = ProbeMediaFacts(inputPath, library);
    prepared.job.SourceExt = SourceExtOf(inputPath);
    ResolveJob(settings, hdMode, prepared.job);
    prepared.options = EncoderArgsBuilder(processorCount).Build(prepared.job);
    prepared.arguments = MakeEngineArguments(prepared.options, inputPath, outputPath);
    return prepared;
}
