#pragma once

// Why the engine gave up on a file. The engine sends the code as the 4-byte payload of its
// failure frame (type 16) and, when run standalone, exits with it. The application only marks
// the row failed; the code is for logs and support. Plain C++, shared by both sides.
// Values stay below 256 so that they survive as a process exit status.

#include <cstdint>

namespace engine {

enum class FailureCode : std::uint32_t {
    None = 0,

    // The argument text itself.
    BadArguments = 1,   // malformed: no input, no -o, a missing value, bad Base64 name
    UnknownOption = 2,  // an option the engine does not know
    BadOptionValue = 3, // a known option with a value it cannot use
    EncoderMissing = 4, // the named encoder is not in this build of the libraries
    NoVideoEncoder = 5, // the input has video but no -ovc was given
    NoAudioEncoder = 6, // the input has audio but no -oac was given

    // The input.
    InputMissing = 10,    // no such file
    InputUnreadable = 11, // not media we can open: empty, text, damaged header
    InputNoStreams = 12,  // opens, but holds neither video nor audio
    InputReadError = 13,  // reading failed in the middle (truncated or damaged file)
    DecodeFailed = 14,    // no frame of a stream could be decoded, or most could not
    InputCutShort = 15,   // ends before the length its header declares (a cut-off copy)
    InputNotAFile = 16,   // a folder, pipe, device or socket: nothing we read to an end

    // The output.
    OutputExists = 20,      // the output name is taken; nothing is overwritten
    OutputNotWritable = 21, // the folder is missing or refuses a new file
    DiskFull = 22,          // no space left, or the file-size limit was reached
    OutputWriteError = 23,  // any other write failure

    // The conversion.
    EncoderRefused = 30,   // the encoder would not open with these settings
    ContainerRefused = 31, // the container would not take these streams or codec tags
    FilterFailed = 32,     // the picture or sound filters could not be set up or run
    EncodeFailed = 33,     // the encoder failed mid-file

    Stopped = 40,    // stopped by the application or a signal before the end
    PipeFailed = 50, // the application's sockets could not be reached
    Internal = 60,   // out of memory or an unexpected library error
};

inline const char *FailureText(FailureCode code)
{
    switch (code) {
    case FailureCode::None: return "finished";
    case FailureCode::BadArguments: return "malformed argument text";
    case FailureCode::UnknownOption: return "unknown option";
    case FailureCode::BadOptionValue: return "unusable option value";
    case FailureCode::EncoderMissing: return "encoder not available";
    case FailureCode::NoVideoEncoder: return "input has video but no video encoder was chosen";
    case FailureCode::NoAudioEncoder: return "input has audio but no audio encoder was chosen";
    case FailureCode::InputMissing: return "input file not found";
    case FailureCode::InputUnreadable: return "input is not readable media";
    case FailureCode::InputNoStreams: return "input has neither video nor audio";
    case FailureCode::InputReadError: return "input could not be read to its end";
    case FailureCode::DecodeFailed: return "input could not be decoded";
    case FailureCode::InputCutShort: return "input is cut short";
    case FailureCode::InputNotAFile: return "input is not a regular file";
    case FailureCode::OutputExists: return "output file exists";
    case FailureCode::OutputNotWritable: return "output folder is not writable";
    case FailureCode::DiskFull: return "disk full or file-size limit reached";
    case FailureCode::OutputWriteError: return "output could not be written";
    case FailureCode::EncoderRefused: return "encoder refused the settings";
    case FailureCode::ContainerRefused: return "container refused the streams";
    case FailureCode::FilterFailed: return "filters failed";
    case FailureCode::EncodeFailed: return "encoding failed";
    case FailureCode::Stopped: return "stopped";
    case FailureCode::PipeFailed: return "could not connect to the application";
    case FailureCode::Internal: return "internal error";
    }
    return "unknown failure";
}

} // namespace engine
