#include "run/list_store.h"

#include "platform/atomic_write.h"
#include "platform/native_name.h"
#include "platform/private_folder.h"
#include "run/state_folder.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <optional>
#include <utility>

namespace {

const QString kFormat = QStringLiteral("framepress-list");
constexpr int kVersion = 1;
// A list far longer than anyone drops is still well below this; a larger file is not ours.
constexpr qint64 kMaxFileBytes = 64 * 1024 * 1024;

// Names rather than numbers, so that a reordered enum never turns one reason into another.
const std::pair<ReasonKind, const char *> kKindNames[] = {
    {ReasonKind::None, "none"},
    {ReasonKind::Engine, "engine"},
    {ReasonKind::Preparation, "preparation"},
    {ReasonKind::Stall, "stall"},
    {ReasonKind::Image, "image"},
    {ReasonKind::EngineMissing, "engine-missing"},
    {ReasonKind::EngineLost, "engine-lost"},
    {ReasonKind::NoOutput, "no-output"},
    {ReasonKind::SourceGone, "source-gone"},
    {ReasonKind::Intake, "intake"},
};

QString KindName(ReasonKind kind)
{
    for (const auto &[k, name] : kKindNames) {
        if (k == kind)
            return QString::fromLatin1(name);
    }
    return QStringLiteral("none");
}

ReasonKind KindFromName(const QString &name)
{
    for (const auto &[k, n] : kKindNames) {
        if (name == QLatin1String(n))
            return k;
    }
    return ReasonKind::None;
}

Reason ReasonFrom(const QJsonObject &o)
{
    return {KindFromName(o.value(QStringLiteral("kind")).toString()), o.value(QStringLiteral("code")).toInt()};
}

// JSON holds text: a name with bytes that are no UTF-8 keeps its shown form under key, for
// readers that know no better, and its bytes in Base64 under key + "Bytes".
void PutName(QJsonObject &o, const QString &key, const QString &name)
{
    o.insert(key, platform::ShownName(name));
    if (platform::HasRawBytes(name))
        o.insert(key + QStringLiteral("Bytes"), QString::fromLatin1(platform::NativeName(name).toBase64()));
}

QString TakeName(const QJsonObject &o, const QString &key)
{
    const QJsonValue bytes = o.value(key + QStringLiteral("Bytes"));
    if (bytes.isString())
        return platform::NameFromNative(QByteArray::fromBase64(bytes.toString().toLatin1()));
    return o.value(key).toString();
}

std::optional<KeptRow> RowFrom(const QJsonValue &value)
{
    const QJsonObject o = value.toObject();
    KeptRow row;
    row.path = TakeName(o, QStringLiteral("path"));
    if (row.path.isEmpty() || !QDir::isAbsolutePath(row.path))
        return std::nullopt;
    row.checked = o.value(QStringLiteral("checked")).toBool(true);
    const int status = o.value(QStringLiteral("status")).toInt(int(RowStatus::Waiting));
    // A file of the first version has a reason only on failed rows, and no converted rows.
    if (status != int(RowStatus::Failed) && o.contains(QStringLiteral("output")))
        row.last = LastRun::Converted(TakeName(o, QStringLiteral("output")));
    else if (status == int(RowStatus::Failed) || o.contains(QStringLiteral("reason")))
        row.last = LastRun::Failed(ReasonFrom(o.value(QStringLiteral("reason")).toObject()));
    switch (status) {
    case int(RowStatus::Failed):
    case int(RowStatus::Complete):
        row.status = RowStatus(status);
        if (status == int(RowStatus::Complete) && row.last.end != LastRun::End::Converted)
            row.last = LastRun::Converted({});
        break;
    case int(RowStatus::Added): row.status = RowStatus::Added; break;
    default: // waiting, converting when the program ended, or a code we do not know
        row.status = RowStatus::Waiting;
        break;
    }
    // A row a later run set waiting shows its own end again, unless it was asked for anew.
    if (!row.checked && (row.status == RowStatus::Waiting || row.status == RowStatus::Added)
        && row.last.end != LastRun::End::None)
        row.status = row.last.end == LastRun::End::Converted ? RowStatus::Complete : RowStatus::Failed;
    // What was converted stays converted; anything else needs its source.
    if (row.status != RowStatus::Complete && !platform::StatName(row.path).isFile) {
        row.status = RowStatus::Failed;
        row.last = LastRun::Failed(Reason::Of(ReasonKind::SourceGone));
        row.checked = false;
    }
    return row;
}

} // namespace

ListStore::ListStore(QString name)
    : m_name(std::move(name))
{
}

QString ListStore::Folder() { return StateFolder(); }

QString ListStore::FilePath() const { return Folder() + QLatin1Char('/') + m_name + QStringLiteral("-list.json"); }

bool ListStore::Save(const QList<KeptRow> &rows) const
{
    QJsonArray array;
    for (const KeptRow &row : rows) {
        QJsonObject o{{QStringLiteral("checked"), row.checked}, {QStringLiteral("status"), int(row.status)}};
        PutName(o, QStringLiteral("path"), row.path);
        if (row.last.end == LastRun::End::Converted)
            PutName(o, QStringLiteral("output"), row.last.output);
        else if (row.last.end == LastRun::End::Failed)
            o.insert(QStringLiteral("reason"), QJsonObject{{QStringLiteral("kind"), KindName(row.last.reason.kind)},
                                                           {QStringLiteral("code"), row.last.reason.code}});
        array.append(o);
    }
    // Still the first version: a reader of that version takes the new fields as unknown and
    // leaves out the converted rows, as it always did.
    const QJsonObject root{
        {QStringLiteral("format"), kFormat}, {QStringLiteral("version"), kVersion}, {QStringLiteral("rows"), array}};
    return platform::MakePrivateFolder(Folder())
           && platform::AtomicWrite(FilePath(), QJsonDocument(root).toJson(QJsonDocument::Compact));
}

std::optional<QList<KeptRow>> ListStore::Load() const
{
    QFile file(FilePath());
    if (!file.exists())
        return QList<KeptRow>{};
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileBytes)
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    QJsonParseError parsed{};
    const QJsonObject root = QJsonDocument::fromJson(bytes, &parsed).object();
    if (file.error() != QFileDevice::NoError || parsed.error != QJsonParseError::NoError
        || root.value(QStringLiteral("format")).toString() != kFormat
        || root.value(QStringLiteral("version")).toInt() != kVersion || !root.value(QStringLiteral("rows")).isArray())
        return std::nullopt;
    QList<KeptRow> rows;
    for (const QJsonValue &value : root.value(QStringLiteral("rows")).toArray()) {
        if (std::optional<KeptRow> row = RowFrom(value))
            rows << *row;
    }
    return rows;
}

QString ListStore::KeepAside() const
{
    const QString base = FilePath() + QStringLiteral(".unreadable");
    for (int n = 0; n < 100; ++n) {
        const QString aside = n == 0 ? base : base + QLatin1Char('.') + QString::number(n);
        if (QFile::rename(FilePath(), aside)) // never over a file that is there already
            return aside;
    }
    return {};
}
