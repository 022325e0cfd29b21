#pragma once

#include <QString>

// The folder a run writes its outputs to. Made from any path text: the path is cleaned
// ("/a//b/../c" is "/a/c"), and it is shown, stored and joined to a name with exactly one
// trailing "/" ("/media/usb" gives "/media/usb/", "/" stays "/"). Only an absolute text
// makes a folder: a relative one would write wherever the program happened to start, so it
// makes none (IsValid() false, Text() empty) and a run fails its files instead.
class OutputFolder {
public:
    OutputFolder() = default;
    explicit OutputFolder(const QString &pathText);
    // A folder named on a command line: a relative text is taken from the current folder.
    static OutputFolder FromArgument(const QString &pathText);

    bool IsValid() const { return !m_text.isEmpty(); }
    // The folder with its trailing "/", as the settings keep it; empty when not valid.
    const QString &Text() const { return m_text; }
    // Where an output of that name goes: Text() + fileName.
    QString FilePath(const QString &fileName) const { return m_text + fileName; }
    // Creates the folder with its parents when missing (one removed since it was chosen is
    // made again); false when there is still no folder.
    bool Make() const;

    bool operator==(const OutputFolder &) const = default;

private:
    QString m_text;
};
