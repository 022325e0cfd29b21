#include "page/list_keeper.h"

#include "page/job_rows.h"
#include "platform/private_folder.h"
#include "shell/lang.h"
#include "skin/message_box.h"

#include <QDir>
#include <QHash>
#include <QLockFile>

#include <utility>

// Two copies that both got past the single-instance guard (runtime folders apart: another
// login without XDG_RUNTIME_DIR, a home shared by two machines) would each write the lists
// over the other's. QLockFile takes over a lock whose holder has gone, and never one a live
// holder keeps locked.
struct ListKeeper::Lock {
    explicit Lock(const QString &folder)
        : file(folder + QStringLiteral("/lists.lock"))
    {
        // Only another copy holding it stops this one: without a folder or room for the lock
        // file the writes fail as well, and are tried again.
        refused = platform::MakePrivateFolder(folder) && !file.tryLock(0) && file.error() == QLockFile::LockFailedError;
    }
    QLockFile file;
    bool refused = false;
    bool told = false;
};

ListKeeper::ListKeeper(JobRows &rows, const QString &name)
    : m_rows(rows)
    , m_store(name)
{
    m_pending.setSingleShot(true);
    m_pending.setInterval(0);
    connect(&m_pending, &QTimer::timeout, this, &ListKeeper::Flush);
    if (name.isEmpty())
        return;
    // By folder, because tests move the state folder between pages.
    static QHash<QString, std::weak_ptr<Lock>> locks;
    const QString folder = ListStore::Folder();
    m_lock = locks.value(folder).lock();
    if (!m_lock) {
        m_lock = std::make_shared<Lock>(folder);
        locks.insert(folder, m_lock);
    }
    m_writes = !m_lock->refused;
    // The model is where every change of the list passes, whoever makes it.
    const JobListModel *model = &m_rows.Model();
    connect(model, &QAbstractItemModel::rowsInserted, this, &ListKeeper::OnChanged);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &ListKeeper::OnChanged);
    connect(model, &QAbstractItemModel::rowsMoved, this, &ListKeeper::OnChanged);
    connect(model, &QAbstractItemModel::dataChanged, this, &ListKeeper::OnChanged);
    connect(model, &QAbstractItemModel::modelReset, this, &ListKeeper::OnChanged);
    connect(model, &QAbstractItemModel::layoutChanged, this, &ListKeeper::OnChanged);
}

ListKeeper::~ListKeeper()
{
    if (m_dirty)
        Flush();
}

int ListKeeper::Restore()
{
    if (m_lock && m_lock->refused && !std::exchange(m_lock->told, true))
        XMessageBoxKey(QStringLiteral("IDS_MESSAGEBOX_LISTS_HELD"), MB_ICONEXCLAMATION);
    if (!m_writes)
        return 0;
    const std::optional<QList<KeptRow>> rows = m_store.Load();
    if (!rows) {
        const QString aside = m_store.KeepAside();
        // What could be neither read nor moved away is not written over either.
        m_writes = !aside.isEmpty();
        XMessageBox(Lang::Get(QStringLiteral("IDS_MESSAGEBOX_LIST_UNREADABLE"))
                        .arg(QDir::toNativeSeparators(m_writes ? aside : FilePath())),
                    Lang::Get(QStringLiteral("IDS_MESSAGEBOX_INFO")), MB_ICONEXCLAMATION);
        return 0;
    }
    return int(m_rows.Model().Append(*rows).size());
}

void ListKeeper::OnChanged()
{
    // The first change of a turn sets the write going; the others of that turn ride along.
    m_dirty = m_writes;
    if (m_dirty && !m_pending.isActive())
        m_pending.start();
}

bool ListKeeper::Flush()
{
    m_pending.stop();
    if (!m_writes)
        return false;
    if (m_dirty && m_store.Save(CurrentRows())) {
        m_dirty = false;
        emit saved();
    }
    return !m_dirty;
}

QList<KeptRow> ListKeeper::CurrentRows() const { return m_rows.Model().KeptRows(); }
