#pragma once

// The output file, written where nobody can see it until it is complete: an unnamed file in
// the target folder (O_TMPFILE), linked to its name only at Commit, and only if the name is
// still free. A run that fails, is stopped or is killed leaves nothing behind, since the
// kernel drops an unnamed file with its last descriptor. File systems without O_TMPFILE get
// a hidden ".<name>.<pid>.part" instead, removed on failure and, after a kill, by the next run
// for the same name. Owned by the conversion thread.

#include "engine/failure_codes.h"

#include <cstdint>
#include <string>

struct AVIOContext;

namespace mencoder {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile(); // discards an output that was not committed
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    // Refuses a name that exists; creates the hidden file. None on success.
    engine::FailureCode Open(const std::string &path);

    // For the muxer: writes and seeks on the hidden file.
    AVIOContext *Avio() const { return m_avio; }

    // The code for the first write error seen so far (None while all is well).
    engine::FailureCode WriteFailure() const;

    // Flushes, closes and gives the file its name; fails (and discards) when the name was
    // taken meanwhile or the last writes failed.
    engine::FailureCode Commit();

    void Discard();

private:
    static int Write(void *opaque, uint8_t *buf, int size);
    static int64_t Seek(void *opaque, int64_t offset, int whence);

    std::string m_path;
    std::string m_tempPath; // only without O_TMPFILE
    int m_fd = -1;
    int m_writeErrno = 0;
    AVIOContext *m_avio = nullptr;
};

} // namespace mencoder
