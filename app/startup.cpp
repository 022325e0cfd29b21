#include "app/startup.h"

#include "app/launcher_window.h"
#include "platform/native_name.h"
#include "platform/single_instance.h"
#include "shell/app_paths.h"
#include "shell/lang.h"

#include <QString>
#include <QTimer>

#include <cstdio>

using platform::SingleInstance;

namespace {

// Hands the files to the running copy; a silent end would lose them, so a copy that did not
// answer is named on standard error.
void AskRunningCopy(const QString &name, const QString &searchedName, const QStringList &files)
{
    if (!SingleInstance::AskRunningInstance(name, searchedName, 10000, files) && !files.isEmpty())
        std::fputs("framepress: the running Framepress did not answer; the files were not added\n", stderr);
}

} // namespace

QString ReadDisplayName()
{
    return ReadProfileString(AppPaths::Current().langFile, QStringLiteral("String"), QStringLiteral("IDS_APP_HAN_NAME"),
                             QStringLiteral("RE Zizoz Iridozu"), 100);
}

QStringList FilesFromArguments(const QStringList &arguments)
{
    QStringList files;
    bool options = true;
    for (const QString &argument : arguments.mid(1)) {
        if (options && argument == QLatin1String("--"))
            options = false;
        else if (!options || !argument.startsWith(QLatin1Char('-')))
            files << platform::AbsoluteName(argument);
    }
    return files;
}

int RunStartup(const QStringList &files)
{
    const QString instanceName = QString::fromLatin1(kInstanceMutexName);
    SingleInstance instanceGuard(instanceName);
    switch (instanceGuard.Acquire()) {
    case SingleInstance::Result::Failed: return 0;
    case SingleInstance::Result::AlreadyRunning:
        AskRunningCopy(instanceName, Lang::Get(QStringLiteral("IDS_APP_NAME")), files);
        return 0;
    case SingleInstance::Result::First: break;
    }

    // A second guard by display name also keeps out another build that shares our name.
    const QString displayName = ReadDisplayName();
    SingleInstance nameGuard(displayName);
    switch (nameGuard.Acquire()) {
    case SingleInstance::Result::Failed: return 0;
    case SingleInstance::Result::AlreadyRunning: AskRunningCopy(displayName, displayName, files); return 0;
    case SingleInstance::Result::First: break;
    }

    Lang::Start(AppPaths::Current().langFile);
    {
        LauncherWindow launcher;
        if (launcher.IsCreated()) {
            // A later start names either our short name or our title; both mean this window. Its
            // files are added after the answer has gone, for adding may ask the user.
            const auto raise = [&launcher](const QString &searched, const QStringList &paths) {
                const bool ours = searched.compare(Lang::Get(QStringLiteral("IDS_APP_NAME")), Qt::CaseInsensitive) == 0
                                  || searched.compare(launcher.windowTitle(), Qt::CaseInsensitive) == 0;
                if (ours) {
                    launcher.Raise();
                    if (!paths.isEmpty())
                        QTimer::singleShot(0, &launcher, [&launcher, paths] { launcher.OpenFiles(paths); });
                }
                return ours;
            };
            if (!files.isEmpty())
                QTimer::singleShot(0, &launcher, [&launcher, files] { launcher.OpenFiles(files); });
            instanceGuard.SetRaiseHandler(raise);
            nameGuard.SetRaiseHandler(raise);
            launcher.DoModal();
            instanceGuard.SetRaiseHandler(nullptr);
            nameGuard.SetRaiseHandler(nullptr);
        }
    }
    Lang::End();
    return 0;
}
