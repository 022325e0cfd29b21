#include "page/list_store.h"

#include "page/state_folder.h"
#include "platform/private_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

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

std::optional<KeptRow> RowFrom(const QJsonValue &value)
{
    const QJsonObject o = value.toObject();
    KeptRow row;
    row.path = o.value(QStringLiteral("path")).toString();
    if (row.path.isEmpty() || !QDir::isAbsolutePath(row.path))
        return std::nullopt;
    row.checked = o.value(QStringLiteral("checked")).toBool(true);
    switch (o.value(QStringLiteral("status")).toInt(int(RowStatus::Waiting))) {
    case int(RowStatus::Complete):
        return std::nullopt;
    case int(RowStatus::Failed): {
        row.status = RowStatus::Failed;
        const QJsonObject reason = o.value(QStringLiteral("reason")).toObject();
        row.reason = {KindFromName(reason.value(QStringLiteral("kind")).toString()),
                      reason.value(QStringLiteral("code")).toInt()};
        break;
    }
    case int(RowStatus::Added):
        row.status = RowStatus::Added;
        break;
    default:   // waiting, converting when the program ended, or a code we do not know
        row.status = RowStatus::Waiting;
        break;
    }
    if (!QFileInfo(row.path).isFile()) {
        row.status = RowStatus::Failed;
        row.reason = Reason::Of(ReasonKind::SourceGone);
        row.checked = false;
    }
    return row;
}

} // namespace

ListStore::ListStore(QString name)
    : m_name(std::move(name))
{
}

QString ListStore::Folder()
{
    return StateFolder();
}

QString ListStore::FilePath() const
{
    return Folder() + QLatin1Char('/') + m_name + QStringLiteral("-list.json");
}

bool ListStore::Save(const QList<KeptRow> &rows) const
{
    QJsonArray array;
    for (const KeptRow &row : rows) {
        if (row.status == RowStatus::Complete)
            continue;
        QJsonObject o{{QStringLiteral("path"), row.path},
                      {QStringLiteral("checked"), row.checked},
                      {QStringLiteral("status"), int(row.status)}};
        if (row.reason.kind != ReasonKind::None)
            o.insert(QStringLiteral("reason"), QJsonObject{{QStringLiteral("kind"), KindName(row.reason.kind)},
                                                          {QStringLiteral("code"), row.reason.code}});
        array.append(o);
    }
    const QJsonObject root{{QStringLiteral("format"), kFormat},
                           {QStringLiteral("version"), kVersion},
                           {QStringLiteral("rows"), array}};
    if (!platform::MakePrivateFolder(Folder()))
        return false;
    QSaveFile file(FilePath());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(root).toJson(QJsonDocument::Compact));
    return file.commit();
}

QList<KeptRow> ListStore::Load() const
{
    QFile file(FilePath());
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileBytes)
        return {};
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    if (root.value(QStringLiteral("format")).toString() != kFormat
        || root.value(QStringLiteral("version")).toInt() != kVersion)
        return {};
    QList<KeptRow> rows;
    for (const QJsonValue &value : root.value(QStringLiteral("rows")).toArray()) {
        if (std::optional<KeptRow> row = RowFrom(value))
            rows << *row;
    }
    return rows;
}
