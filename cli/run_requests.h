#pragma once

#include "cli/cli_arguments.h"
#include "cli/sorted_files.h"
#include "run/run.h"

// The two runs of a command line: each mode's saved settings (the window's), HD unless --sd,
// with --output and --rotate over them. A mode without files reads nothing.
struct RunRequests {
    RunRequest movies;
    RunRequest pictures;

    static RunRequests Make(const CliArguments &arguments, const SortedFiles &files);
};
