#include "cli/cli_program.h"
#include "probe/mediainfo_library.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // Before any other thread exists: wide-character paths handed to C libraries convert
    // through the locale, and a plain C locale cannot carry "é".
    MediaInfoLibrary::PrepareCharacterLocale();
    QCoreApplication::setApplicationName(QStringLiteral("Framepress"));
    return RunCli(QCoreApplication::arguments());
}
