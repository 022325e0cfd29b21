#pragma once

#include <QString>

// The image page's remembered choices, stored under "software\<app name>" in the registry:
// "Save FolderImage", "RotateImage", "RotateAngle". Window thread.
struct ImageSettings {
    QString saveFolder;      // ends with "/"; empty only when nothing could be stored
    quint32 rotateImage = 0; // 1 = turn every picture
    quint32 rotateAngle = 1; // 1, 2 or 3 quarter turns

    // Clockwise quarter turns a run applies: 0 when rotation is off.
    int RotateSteps() const;

    // Reads the three values in order; a missing key, or any value that cannot be read, makes
    // the defaults be written (the default output folder, created when missing, and the
    // rotation values as read so far). The defaults are used even when they cannot be stored.
    static ImageSettings Load(const QString &appName);
    // Writes the three values; false when the key cannot be written.
    bool Store(const QString &appName) const;

    static QString KeyPath(const QString &appName);
};
