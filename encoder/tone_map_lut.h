#pragma once

// The tone mapping of one HDR source's primaries and curve (ToneMapSteps) as a 3D LUT, for
// lut3d to apply to each picture at about half the cost. Made once by running those very
// filters over a grid of RGB values. lut3d reads a LUT only from a file whose name ends in
// .cube (it goes by the name, so a memory file will not do), and only while its graph is set
// up: each graph gets a private file in the temporary folder that lives just as long, and
// files a killed engine left there are removed by the next one.

#include "encoder/av_util.h"
#include "encoder/video_colour.h"

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace mencoder {

// A .cube file for one graph's set-up: "<temp>/mencoder-lut-<pid>-XXXXXX.cube", readable by us
// alone, removed with this object.
class LutFile {
public:
    // Throws AvError when the file cannot be written.
    explicit LutFile(const std::string &cube);
    ~LutFile();
    LutFile(const LutFile &) = delete;
    LutFile &operator=(const LutFile &) = delete;

    const std::string &Path() const { return m_path; }

private:
    std::string m_path;
};

// The tone mapping as a table for our own pass: `size` points per side, nodes red-major
// (r * size * size + g * size + b), each r, g, b and 0, so that a node is one 16-byte load;
// linear light in BT.709 primaries.
struct ToneMapTable {
    int size = 0;
    std::vector<float> nodes;
};

// The LUTs of one stream, one per source primaries and curve, kept for graphs rebuilt
// mid-stream. Used by one thread at a time.
class ToneMapLuts {
public:
    // A file for the graph about to be built; none for a source that needs no tone mapping,
    // or when no LUT could be had (said on standard error: the pictures are then tone-mapped
    // directly, as slow as ever but as right).
    std::unique_ptr<LutFile> FileFor(const VideoColour &source);
    // The same LUT in memory, kept as long as this object; null as for FileFor.
    const ToneMapTable *TableFor(const VideoColour &source);

private:
    // Null once making it failed.
    const Frame *MappedFor(const VideoColour &source);

    std::map<std::pair<int, int>, Frame> m_mapped;
    std::map<std::pair<int, int>, ToneMapTable> m_tables;
};

} // namespace mencoder
