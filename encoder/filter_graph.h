#pragma once

// Helpers for setting up libavfilter graphs from stream properties.

#include "encoder/av_util.h"

#include <string>

namespace mencoder {

// Clockwise degrees (0, 90, 180, 270) a stream's display matrix asks for.
int DisplayRotation(const AVStream *stream);

std::string Rational(AVRational q); // "num/den", as filter arguments take it
std::string LayoutName(const AVChannelLayout &layout);

// source -> chain -> sink; throws AvError(FilterFailed) naming the chain when it does not build.
// threads: for filters that split a picture into slices; 0 lets libavfilter choose.
FilterGraph BuildGraph(const char *sourceName, const std::string &sourceArgs, const std::string &chain,
                       const char *sinkName, AVFilterContext *&source, AVFilterContext *&sink, int threads = 0);

} // namespace mencoder
