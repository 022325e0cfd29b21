#include "app/startup.h"

#include <QApplication>

#include <clocale>
#include <cstring>
#include <langinfo.h>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Wide-character paths handed to C libraries convert through the locale; a plain C locale
    // cannot carry "é".
    if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0)
        std::setlocale(LC_CTYPE, "C.UTF-8");
    QApplication::setApplicationName(QStringLiteral("Framepress"));
    // Lets the desktop match the window to framepress.desktop (its name and icon in task bars).
    QGuiApplication::setDesktopFileName(QStringLiteral("framepress"));
    return RunStartup();
}
