#pragma once

#include "encode/encode_job.h"

#include <QString>
#include <string>
#include <string_view>

// Turns one EncodeJob into the engine's option text: tokens joined by commas, where a "|"
// inside a token stands for a literal comma. Used once per file on the window thread.
class EncoderArgsBuilder {
public:
    // processorCount: logical processors; values below 1 count as 1.
    explicit EncoderArgsBuilder(int processorCount = SystemProcessorCount());

    // Sets the job's UseAVThreads and DecodeThreads, then returns the option text.
    // Never fails: an unknown codec adds no encoder option, a missing fact no switch.
    std::string Build(EncodeJob &job) const;

    static int SystemProcessorCount();

    struct Size {
        int32_t width;
        int32_t height;
        bool operator==(const Size &) const = default;
    };
    // Scale target that fills the output frame: sources wider than 1.33:1 get the output
    // height, others the output width; odd results are lowered to even.
    static Size FittedSize(uint32_t srcWidth, uint32_t srcHeight, int32_t width, int32_t height);

    // A float as a default output stream writes it: "30", "23.976", "29.97".
    static std::string FormatFloat(float value);

private:
    int m_processors;
};

// The engine's command line: Base64 names (UTF-16LE, no terminator) around the options.
// Each name must fit a 1000-byte Base64 buffer (373 UTF-16 units) and the whole text,
// with the pipe switches the engine process appends, 4096 bytes: nothing is ever cut,
// an over-long job fails instead.
enum class EngineArgsError {
    None,
    EmptyPath,
    InputNameTooLong,
    OutputNameTooLong,
    CommandLineTooLong,
};

struct EngineArguments {
    std::string text;
    EngineArgsError error = EngineArgsError::None;
    bool ok() const { return error == EngineArgsError::None; }
};

constexpr size_t kBase64NameCapacity = 1000; // terminator included
constexpr size_t kEngineCommandLineCapacity = 4096;
// " -wchar -pipename=" and the longest int the engine process may append.
constexpr size_t kPipeSwitchesMaxLength = 18 + 11;

EngineArguments MakeEngineArguments(std::string_view options, const QString &inputPath, const QString &outputPath);

// The argument text as a person reads it, for the log: each quoted Base64 name back to its
// path; whatever is not such a name stays as it is.
QString ReadableEngineArguments(std::string_view text);
