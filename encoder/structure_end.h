#pragma once

// Whether a file's own structure ends where the file does. A copy cut off in transfer leaves
// its last chunk, box, element, tag or frame running past the end; a whole file closes each
// of them, whatever lengths its headers declare. Plain file reads, on the caller's thread.

#include <string>

namespace mencoder {

struct StructureEnd {
    enum class Shape { Whole, CutOff, Unknown };
    Shape shape = Shape::Unknown;
    std::string what; // for CutOff: what runs past the end, in the user's words
};

// `format` is the demuxer's name. Formats without a walk of their own here, and files too
// damaged to walk, are Unknown.
StructureEnd ReadStructureEnd(const std::string &path, const std::string &format);

// True when the file is ISO media (MP4, MOV, 3GP) and one of its top-level boxes runs past
// the end of the file: it was cut off, also where the index it would need is missing.
bool IsoMediaCutShort(const std::string &path);

} // namespace mencoder
