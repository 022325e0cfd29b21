#pragma once

#include <QProcess>
#include <QStringList>

// Runs the ffmpeg command line quietly; true when it wrote its output.
inline bool MakeMedia(const QStringList &arguments)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), QStringList{"-v", "error", "-nostdin", "-y"} + arguments);
    return ffmpeg.waitForFinished(60000) && ffmpeg.exitStatus() == QProcess::NormalExit && ffmpeg.exitCode() == 0;
}

// Half a second of a 160x120 test picture at 10 fps and of a sine tone.
inline QStringList TestVideoInput() { return {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=10:duration=0.5"}; }
inline QStringList TestAudioInput() { return {"-f", "lavfi", "-i", "sine=frequency=440:duration=0.5"}; }
