#pragma once

// The output file, written where nobody can see it until it is complete: an unnamed file in
// the target folder (O_TMPFILE), linked to its name only at Commit, and only if the name is
// still free. A run that fails, is stopped or is killed leaves nothing behind, since the
// kernel drops an unnamed file with its last descriptor. File systems without O_TMPFILE get
// a hidden ".<name>.<pid>.part" instead, removed on failure and, after a kill, by the next run
// for the same name. Owned by the conversion thread.

#include "engine/failure_codes.h"

#include <cstdint>
#include <functional>
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

    // Flushes, closes and gives the file its name; fails (and discards) when the last writes
    // failed. When the name was taken meanwhile, the file takes otherName(1), otherName(2) ...,
    // the first that is free; without otherName, or when none of the first kMaxOtherNames is
    // free, it fails with OutputExists (and discards).
    using OtherName = std::function<std::string(int counter)>;
    static constexpr int kMaxOtherNames = 999;
    engine::FailureCode Commit(const OtherName &otherName = {});

    // The name the file was opened for, or the one it took at Commit.
    const std::string &Path() const { return m_path; }

    void Discard();

private:
    // Gives the file the name path: 0, or the errno why not (EEXIST when it is taken).
    int Link(const std::string &path) const;
    static int Write(void *opaque, uint8_t *buf, int size);
    static int64_t Seek(void *opaque, int64_t offset, int whence);

    std::string m_path;
    std::string m_tempPath; // only without O_TMPFILE
    int m_fd = -1;
    int m_writeErrno = 0;
    AVIOContext *m_avio = nullptr;
};

// The names an output takes when its own was taken meanwhile, as the application names a
// file whose name is taken: "<stem>(N).<ext>" in the output's folder, with the input's stem
// when the output was named after the input (a dot that starts a name is no extension's),
// else the output's own.
OutputFile::OtherName CountedNames(const std::string &input, const std::string &output);

} // namespace mencoder
