#include "encoder/tone_map_lut.h"

#include "encoder/filter_graph.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/pixdesc.h>
}

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <string_view>
#include <unistd.h>

namespace mencoder {

using engine::FailureCode;

namespace {

// Points per side: 33 keeps the output within 45 dB of tone-mapping each picture directly (HLG
// 54 dB, PQ 47 dB, the harder curve near black); 65 gains 3 to 9 dB for eight times the parsing.
constexpr int kSize = 33;

// The grid as one picture, kSize wide and kSize * kSize high: row b * kSize + g, column r, so
// that its pixels in raster order are the .cube file's lines (red fastest, blue slowest).
Frame Grid()
{
    Frame grid = NewFrame();
    grid->format = AV_PIX_FMT_GBRPF32;
    grid->width = kSize;
    grid->height = kSize * kSize;
    Check(av_frame_get_buffer(grid.get(), 0), FailureCode::Internal, "allocating the LUT grid");
    for (int y = 0; y < grid->height; ++y) {
        auto *g = reinterpret_cast<float *>(grid->data[0] + y * grid->linesize[0]);
        auto *b = reinterpret_cast<float *>(grid->data[1] + y * grid->linesize[1]);
        auto *r = reinterpret_cast<float *>(grid->data[2] + y * grid->linesize[2]);
        for (int x = 0; x < kSize; ++x) {
            r[x] = float(x) / (kSize - 1);
            g[x] = float(y % kSize) / (kSize - 1);
            b[x] = float(y / kSize) / (kSize - 1);
        }
    }
    grid->pts = 0;
    return grid;
}

// The grid through the tone mapping.
Frame Mapped(const VideoColour &source)
{
    AVFilterContext *in = nullptr, *out = nullptr;
    const std::string args = "video_size=" + std::to_string(kSize) + "x" + std::to_string(kSize * kSize)
                             + ":pix_fmt=" + std::to_string(AV_PIX_FMT_GBRPF32) + ":time_base=1/1:pixel_aspect=1/1";
    FilterGraph graph =
        BuildGraph("buffer", args, ToneMapSteps(source) + ",format=gbrpf32le", "buffersink", in, out, 1);
    Frame grid = Grid();
    Check(av_buffersrc_add_frame(in, grid.get()), FailureCode::FilterFailed, "making the tone-mapping LUT");
    Check(av_buffersrc_add_frame(in, nullptr), FailureCode::FilterFailed, "making the tone-mapping LUT");
    Frame mapped = NewFrame();
    Check(av_buffersink_get_frame(out, mapped.get()), FailureCode::FilterFailed, "making the tone-mapping LUT");
    if (mapped->format != AV_PIX_FMT_GBRPF32 || mapped->width != kSize || mapped->height != kSize * kSize)
        throw AvError(FailureCode::Internal, "the tone-mapping LUT came out in another shape");
    return mapped;
}

std::string CubeText(const AVFrame &mapped)
{
    std::string text = "LUT_3D_SIZE " + std::to_string(kSize) + "\n";
    text.reserve(text.size() + std::size_t(kSize) * kSize * kSize * 36);
    char line[64];
    for (int y = 0; y < mapped.height; ++y) {
        const auto *g = reinterpret_cast<const float *>(mapped.data[0] + y * mapped.linesize[0]);
        const auto *b = reinterpret_cast<const float *>(mapped.data[1] + y * mapped.linesize[1]);
        const auto *r = reinterpret_cast<const float *>(mapped.data[2] + y * mapped.linesize[2]);
        for (int x = 0; x < mapped.width; ++x) {
            // The shortest text that reads back as the same float: lut3d gets what was made.
            char *end = line;
            for (const float v : {r[x], g[x], b[x]}) {
                end = std::to_chars(end, line + sizeof(line), v).ptr;
                *end++ = ' ';
            }
            end[-1] = '\n';
            text.append(line, end);
        }
    }
    return text;
}

// Where temporary files go: $TMPDIR, else /tmp. The path goes into the filter text, where
// these characters would need escaping on two levels; a folder named with them is passed over.
std::string TempFolder()
{
    const char *dir = std::getenv("TMPDIR");
    std::string folder = dir && *dir ? dir : "/tmp";
    if (folder.find_first_of(":,;[]'\\ \t\n=") != std::string::npos)
        folder = "/tmp";
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

constexpr std::string_view kPrefix = "mencoder-lut-";
constexpr std::string_view kSuffix = ".cube";

// LUT files whose engine is gone: it was killed while setting up a graph.
void RemoveStaleFiles(const std::string &folder)
{
    DIR *dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.size() <= kPrefix.size() + kSuffix.size() || name.substr(0, kPrefix.size()) != kPrefix
            || name.substr(name.size() - kSuffix.size()) != kSuffix)
            continue;
        const long pid = std::strtol(name.data() + kPrefix.size(), nullptr, 10);
        if (pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

} // namespace

LutFile::LutFile(const std::string &cube)
{
    const std::string folder = TempFolder();
    std::string name =
        folder + "/" + std::string(kPrefix) + std::to_string(::getpid()) + "-XXXXXX" + std::string(kSuffix);
    const int fd = ::mkostemps(name.data(), int(kSuffix.size()), O_CLOEXEC);
    if (fd < 0)
        throw AvError(FailureCode::Internal,
                      "a file for the tone-mapping LUT in " + folder + ": " + std::strerror(errno));
    m_path = name;
    for (std::size_t done = 0; done < cube.size();) {
        const ssize_t w = ::write(fd, cube.data() + done, cube.size() - done);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            const int error = w < 0 ? errno : ENOSPC;
            ::close(fd);
            ::unlink(m_path.c_str());
            throw AvError(FailureCode::Internal, "writing " + m_path + ": " + std::strerror(error));
        }
        done += std::size_t(w);
    }
    ::close(fd);
}

LutFile::~LutFile() { ::unlink(m_path.c_str()); }

const Frame *ToneMapLuts::MappedFor(const VideoColour &source)
{
    if (!NeedsToneMapping(source))
        return nullptr;
    auto [mapped, added] = m_mapped.try_emplace({source.primaries, source.transfer});
    if (added) {
        // A killed engine's files go whichever way this one tone-maps.
        static std::once_flag swept;
        std::call_once(swept, [] { RemoveStaleFiles(TempFolder()); });
        try {
            mapped->second = Mapped(source);
        } catch (const AvError &e) {
            std::fprintf(stderr, "mencoder: tone mapping each picture directly, without a LUT: %s\n", e.what());
        }
    }
    return mapped->second ? &mapped->second : nullptr;
}

std::unique_ptr<LutFile> ToneMapLuts::FileFor(const VideoColour &source)
{
    const Frame *mapped = MappedFor(source);
    if (!mapped)
        return nullptr;
    try {
        return std::make_unique<LutFile>(CubeText(**mapped));
    } catch (const AvError &e) {
        std::fprintf(stderr, "mencoder: tone mapping each picture directly, without a LUT: %s\n", e.what());
        return nullptr;
    }
}

const ToneMapTable *ToneMapLuts::TableFor(const VideoColour &source)
{
    const Frame *mapped = MappedFor(source);
    if (!mapped)
        return nullptr;
    ToneMapTable &table = m_tables[{source.primaries, source.transfer}];
    if (table.size == 0) {
        table.nodes.assign(4 * std::size_t(kSize) * kSize * kSize, 0.0f);
        // The grid's row b * kSize + g, column r, is node (r, g, b).
        const AVFrame &m = **mapped;
        for (int y = 0; y < m.height; ++y) {
            const auto *g = reinterpret_cast<const float *>(m.data[0] + y * m.linesize[0]);
            const auto *b = reinterpret_cast<const float *>(m.data[1] + y * m.linesize[1]);
            const auto *r = reinterpret_cast<const float *>(m.data[2] + y * m.linesize[2]);
            for (int x = 0; x < kSize; ++x) {
                const std::size_t node =
                    (std::size_t(x) * kSize + std::size_t(y % kSize)) * kSize + std::size_t(y / kSize);
                table.nodes[4 * node] = r[x];
                table.nodes[4 * node + 1] = g[x];
                table.nodes[4 * node + 2] = b[x];
            }
        }
        table.size = kSize;
    }
    return &table;
}

} // namespace mencoder
