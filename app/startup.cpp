#include "app/startup.h"

#include "app/launcher_window.h"
#include "platform/single_instance.h"
#include "shell/app_paths.h"
#include "shell/lang.h"

#include <QString>

using platform::SingleInstance;

QString ReadDisplayName()
{
    return ReadProfileString(AppPaths::Current().langFile, QStringLiteral("String"), QStringLiteral("IDS_APP_HAN_NAME"),
                             QStringLiteral("RE Zizoz Iridozu"), 100);
}

int RunStartup()
{
    const QString instanceName = QString::fromLatin1(kInstanceMutexName);
    SingleInstance instanceGuard(instanceName);
    switch (instanceGuard.Acquire()) {
    case SingleInstance::Result::Failed: return 0;
    case SingleInstance::Result::AlreadyRunning:
        SingleInstance::AskRunningInstance(instanceName, Lang::Get(QStringLiteral("IDS_APP_NAME")));
        return 0;
    case SingleInstance::Result::First: break;
    }

    // A second guard by display name also keeps out another build that shares our name.
    const QString displayName = ReadDisplayName();
    SingleInstance nameGuard(displayName);
    switch (nameGuard.Acquire()) {
    case SingleInstance::Result::Failed: return 0;
    case SingleInstance::Result::AlreadyRunning: SingleInstance::AskRunningInstance(displayName, displayName); return 0;
    case SingleInstance::Result::First: break;
    }

    Lang::Start(AppPaths::Current().langFile);
    {
        LauncherWindow launcher;
        if (launcher.IsCreated()) {
            // A later start names either our short name or our title; both mean this window.
            const auto raise = [&launcher](const QString &searched) {
                const bool ours = searched.compare(Lang::Get(QStringLiteral("IDS_APP_NAME")), Qt::CaseInsensitive) == 0
                                  || searched.compare(launcher.windowTitle(), Qt::CaseInsensitive) == 0;
                if (ours)
                    launcher.Raise();
                return ours;
            };
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
