#include "movie_test_support.h"

#include "platform/power_inhibit.h"
#include "widgets/file_list_ctrl.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTest>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

MovieFixture::MovieFixture(int tickMs)
    : m_box(std::make_unique<ScriptedMessageBox>(IDOK))
{
    // Sleep inhibition: a descriptor on /dev/null stands for logind's lock.
    platform::PowerInhibit::SetBackend([](const QString &) -> std::optional<int> {
        return ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    });
    m_saveFolder = m_tmp.path() + "/saved/";
    m_inputFolder = m_tmp.path() + "/in/";
    QDir().mkpath(m_saveFolder);
    QDir().mkpath(m_inputFolder);

    m_window = std::make_unique<MovieWindow>(nullptr, SkinDialog::Kind::Window);
    m_window->SetSaveFolder(m_saveFolder);
    m_window->Engine().SetEnginePath(
        (QCoreApplication::applicationDirPath() + "/fp_script_engine").toStdString());
    engine::EngineTimings engineTimings;
    engineTimings.connectLimit = std::chrono::milliseconds(1500);
    engineTimings.stopGrace = std::chrono::milliseconds(300);
    engineTimings.cleanupWait = std::chrono::milliseconds(300);
    m_window->Engine().SetTimings(engineTimings);
    DriverTimings timings;
    timings.tickMs = tickMs;
    m_window->Driver().SetTimings(timings);
    m_window->show();
}

MovieFixture::~MovieFixture()
{
    m_window.reset();
    platform::PowerInhibit::SetBackend(nullptr);
}

QString MovieFixture::Script(const QString &name, const QString &script, const QString &folder)
{
    const QString path = (folder.isEmpty() ? m_inputFolder : folder) + name;
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(script.toUtf8());
    return path;
}

void MovieFixture::AddScripts(const QStringList &scripts)
{
    for (int i = 0; i < scripts.size(); ++i) {
        const QString path = Script(QStringLiteral("clip%1.mp4").arg(List().RowCount()), scripts[i]);
        m_window->Jobs().AddJobFile(path);
    }
}

QStringList MovieFixture::EngineLog(const QString &input) const
{
    QFile f(input + ".log");
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

bool MovieFixture::WaitUntilSettled(int ms)
{
    // Let queued engine reports arrive first, then wait for a converting file or the end.
    QCoreApplication::processEvents();
    return QTest::qWaitFor([this] {
        ConversionDriver &d = Driver();
        return !d.IsRunStarted() || (d.IsFileActive() && d.CurrentRow() >= 0);
    }, ms);
}

void MovieFixture::Tick(int n)
{
    for (int i = 0; i < n; ++i)
        Driver().OnProgressTimer(ConversionDriver::kProgressTimerId);
}

QList<int> MovieFixture::Statuses()
{
    QList<int> codes;
    for (int row = 0; row < List().RowCount(); ++row)
        codes << List().RowStatusCode(row);
    return codes;
}

QStringList MovieFixture::BoxTexts() const
{
    QStringList texts;
    for (const MessageBoxQuestion &q : m_box->Questions())
        texts << q.text;
    return texts;
}

bool NoChildLeft()
{
    return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}
