#include "app/startup.h"
#include "platform/native_name.h"
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
    // The arguments Qt left, as given: its own list turns bytes that are no UTF-8 into U+FFFD.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << platform::NameFromNative(argv[i]);
    const int status = RunStartup(FilesFromArguments(arguments));
    platform::ReleaseRuntimeDir();
    return status;
}
