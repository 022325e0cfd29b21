#include "cli/cli_program.h"
#include "platform/native_name.h"
#include "platform/runtime_dir.h"
#include "probe/mediainfo_library.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    // A picture's density comes from the screen where there is one: 96 dpi, as on the window's
    // usual display, rather than Qt's 100 dpi without one, so that both write the same bytes.
    QCoreApplication::setAttribute(Qt::AA_Use96Dpi);
    QCoreApplication app(argc, argv);
    // Before any other thread exists: wide-character paths handed to C libraries convert
    // through the locale, and a plain C locale cannot carry "é".
    MediaInfoLibrary::PrepareCharacterLocale();
    QCoreApplication::setApplicationName(QStringLiteral("Framepress"));
    // The arguments as given: Qt's own list turns bytes of a file name that are no UTF-8 into U+FFFD.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << platform::NameFromNative(argv[i]);
    const int status = RunCli(arguments);
    platform::ReleaseRuntimeDir();
    return status;
}
