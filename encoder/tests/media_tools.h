#pragma once

// Test helpers: run the engine and the ffmpeg tools, read ffprobe's answers.

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace testing {

struct Outcome {
    int exitCode = -1;
    bool crashed = false;
    QByteArray out, err;
};

inline Outcome Run(const QString &program, const QStringList &args, int timeoutMs = 120000)
{
    QProcess p;
    p.start(program, args);
    Outcome o;
    if (!p.waitForStarted() || !p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        o.err = "did not finish in time";
        return o;
    }
    o.crashed = p.exitStatus() != QProcess::NormalExit;
    o.exitCode = p.exitCode();
    o.out = p.readAllStandardOutput();
    o.err = p.readAllStandardError();
    return o;
}

inline QString Engine() { return QCoreApplication::applicationDirPath() + "/mencoder"; }

// The builder's text for a profile, with the scale it computes for the source.
inline QString Base(bool hd, const QString &scale)
{
    const QString size = hd ? "1280:720" : "720:480";
    return "-mc 0 -ofps 30 -vf scale=" + scale + " -vf-add expand=" + size + " -vf-add harddup -vf-add crop=" + size
           + " -af volume=0:1 -srate 44100";
}

inline const QString kX264 = "-ovc x264 -x264encopts bitrate=5000:global_header:level_idc=30:subq=1:threads=auto";
inline const QString kFaac = "-oac faac -faacopts mpeg=4:object=2:raw:br=128 -of lavf -lavfopts format=mp4";

inline QStringList Words(const QString &text) { return text.split(' ', Qt::SkipEmptyParts); }

// Starts the engine standalone and returns once it reports progress (or has ended); what it
// wrote to standard error so far is kept in `err`.
inline void StartConverting(QProcess &p, const QStringList &args, QByteArray &err)
{
    p.start(Engine(), args);
    if (!p.waitForStarted())
        return;
    while (!err.contains("Pos:") && p.state() == QProcess::Running) {
        p.waitForReadyRead(200);
        err += p.readAllStandardError();
    }
}

// Makes a test file with the ffmpeg command line; false (with the reason on stderr) on failure.
inline bool Ffmpeg(const QStringList &args)
{
    const Outcome o = Run("ffmpeg", QStringList{"-v", "error", "-y", "-nostdin"} + args);
    if (o.exitCode != 0)
        qWarning("ffmpeg %s: %s", qPrintable(args.join(' ')), o.err.constData());
    return o.exitCode == 0;
}

inline QJsonObject Probe(const QString &path)
{
    const Outcome o = Run("ffprobe", {"-v", "error", "-show_streams", "-show_format", "-of", "json", path});
    return QJsonDocument::fromJson(o.out).object();
}

// The first stream of a kind ("video", "audio"), or an empty object.
inline QJsonObject Stream(const QJsonObject &probe, const QString &kind)
{
    for (const QJsonValue &s : probe["streams"].toArray())
        if (s.toObject()["codec_type"].toString() == kind)
            return s.toObject();
    return {};
}

inline int StreamCount(const QJsonObject &probe) { return probe["streams"].toArray().size(); }

inline double Number(const QJsonObject &o, const QString &key) { return o[key].toString().toDouble(); }

// Error lines ffmpeg prints while decoding every frame of the file.
inline QByteArray DecodeErrors(const QString &path)
{
    const Outcome o = Run("ffmpeg", {"-v", "error", "-nostdin", "-i", path, "-f", "null", "-"});
    return o.exitCode == 0 ? o.err : "exit " + QByteArray::number(o.exitCode) + ": " + o.err;
}

// ffmpeg's PSNR of a against b over all planes, in dB; -1 when it could not tell. Pictures are
// paired by their order: MP4 and Matroska round the same times differently. bSteps (filters)
// bring b to a's geometry first.
inline double Psnr(const QString &a, const QString &b, const QString &bSteps = QString())
{
    const QString b2 = bSteps.isEmpty() ? QString() : bSteps + ",";
    const Outcome o =
        Run("ffmpeg", {"-nostdin", "-i", a, "-i", b, "-lavfi",
                       "[0:v]setpts=N/(30*TB)[a];[1:v]" + b2 + "setpts=N/(30*TB)[b];[a][b]psnr", "-f", "null", "-"});
    const QRegularExpressionMatch m = QRegularExpression("average:([0-9.]+|inf)").match(QString::fromUtf8(o.err));
    if (!m.hasMatch())
        return -1;
    return m.captured(1) == "inf" ? 1000.0 : m.captured(1).toDouble();
}

// Files of a folder, hidden ones included: what a run left behind.
inline QStringList Listing(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace testing
