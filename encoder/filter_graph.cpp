#include "encoder/filter_graph.h"

extern "C" {
#include <libavutil/display.h>
}

#include <cmath>

namespace mencoder {

using engine::FailureCode;

int DisplayRotation(const AVStream *stream)
{
    const uint8_t *matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
    if (!matrix)
        return 0;
    double theta = -av_display_rotation_get(reinterpret_cast<const int32_t *>(matrix));
    if (std::isnan(theta))
        return 0;
    theta -= 360.0 * std::floor(theta / 360.0 + 0.9 / 360.0);
    for (int r : {90, 180, 270})
        if (std::fabs(theta - r) < 1.0)
            return r;
    return 0;
}

std::string Rational(AVRational q) { return std::to_string(q.num) + "/" + std::to_string(q.den); }

std::string LayoutName(const AVChannelLayout &layout)
{
    char name[128] = {};
    av_channel_layout_describe(&layout, name, sizeof(name));
    return name;
}

FilterGraph BuildGraph(const char *sourceName, const std::string &sourceArgs, const std::string &chain,
                       const char *sinkName, AVFilterContext *&source, AVFilterContext *&sink, int threads)
{
    FilterGraph graph(avfilter_graph_alloc());
    if (!graph)
        throw AvError(FailureCode::Internal, "allocating a filter graph");
    graph->nb_threads = threads;
    Check(avfilter_graph_create_filter(&source, avfilter_get_by_name(sourceName), "in", sourceArgs.c_str(), nullptr,
                                       graph.get()),
          FailureCode::FilterFailed, "creating the filter source");
    Check(avfilter_graph_create_filter(&sink, avfilter_get_by_name(sinkName), "out", nullptr, nullptr, graph.get()),
          FailureCode::FilterFailed, "creating the filter sink");

    AVFilterInOut *outputs = avfilter_inout_alloc();
    AVFilterInOut *inputs = avfilter_inout_alloc();
    if (!outputs || !inputs) {
        avfilter_inout_free(&outputs);
        avfilter_inout_free(&inputs);
        throw AvError(FailureCode::Internal, "allocating filter links");
    }
    outputs->name = av_strdup("in");
    outputs->filter_ctx = source;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = sink;
    const int parsed = avfilter_graph_parse_ptr(graph.get(), chain.c_str(), &inputs, &outputs, nullptr);
    avfilter_inout_free(&outputs);
    avfilter_inout_free(&inputs);
    Check(parsed, FailureCode::FilterFailed, ("setting up the filters \"" + chain + "\"").c_str());
    Check(avfilter_graph_config(graph.get(), nullptr), FailureCode::FilterFailed,
          ("setting up the filters \"" + chain + "\"").c_str());
    return graph;
}

} // namespace mencoder
