#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// What a framepress-cli command line asks for. Empty values leave the saved settings.
struct CliArguments {
    bool hd = true;                 // --hd (the default) or --sd; the last one given counts
    QString output;                 // --output as given: a relative folder is taken from the current one
    std::optional<int> rotateSteps; // --rotate in clockwise quarter turns
    bool trashSources = false;
    bool json = false;
    bool help = false;
    QStringList files; // as given, in order
};

struct ParsedArguments {
    std::optional<CliArguments> arguments;
    QString error; // a usage error when there are no arguments: an unknown option, a missing
                   // or bad value, no file
};

// args without the program's name. Options and files may mix; after "--" everything is a file.
// "--output DIR" and "--output=DIR" alike. --help anywhere asks for the usage, whatever else
// the line holds.
ParsedArguments ParseArguments(const QStringList &args);

// The usage, as --help prints it.
QString UsageText();
