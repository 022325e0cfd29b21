#include "app/startup.h"
#include "platform/runtime_dir.h"
#include "probe/mediainfo_library.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Before any other thread exists: wide-character paths handed to C libraries convert
    // through the locale, and a plain C locale cannot carry "é".
    MediaInfoLibrary::PrepareCharacterLocale();
    QApplication::setApplicationName(QStringLiteral("Framepress"));
    // Lets the desktop match the window to framepress.desktop (its name and icon in task bars).
    QGuiApplication::setDesktopFileName(QStringLiteral("framepress"));
    const int status = RunStartup(FilesFromArguments(QCoreApplication::arguments()));
    platform::ReleaseRuntimeDir();
    return status;
}
