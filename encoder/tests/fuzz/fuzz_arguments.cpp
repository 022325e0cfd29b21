// libFuzzer target: the argument text and its Base64 names. Whatever the bytes, parsing ends
// in options or a refusal with a code, never a crash; a decoded name survives a round trip.
// Input: NUL-separated argument words.

#include "encoder/arguments.h"

#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            args.emplace_back();
        else
            args.back() += char(data[i]);
    }
    const auto parsed = mencoder::ParseArguments(args);
    if (parsed.options) {
        if (parsed.options->input.empty() || parsed.options->output.empty())
            std::abort();
    } else if (parsed.code == engine::FailureCode::None) {
        std::abort();
    }
    for (const std::string &word : args) {
        if (const auto name = mencoder::DecodeWideName(word)) {
            if (mencoder::DecodeWideName(mencoder::EncodeWideName(*name)) != name)
                std::abort();
        }
    }
    return 0;
}
