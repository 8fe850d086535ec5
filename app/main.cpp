#include "app/consolemessagebox.h"
#include "app/frmMain.h"
#include "app/station.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrune NMS"));
    // Matches the window to the installed menu entry and its icon.
    QApplication::setDesktopFileName(QStringLiteral("com.talvoren.KestruneNMS"));

    // Scripts and tests that start the program read its boxes on standard output.
    app::ConsoleMessageBox console;
    if (qEnvironmentVariable("KESTRUNE_MESSAGEBOXES") == QLatin1String("console"))
        platform::setMessageBox(&console);

    app::Station station;
    // A fatal failure ends the program at once, wherever it happens.
    QObject::connect(&station, &app::Station::programEnded, [](int code) {
        std::fflush(stdout);
        std::_Exit(code);
    });
    if (!station.start(application.arguments().mid(1)))
        return station.exitCode();
    if (qEnvironmentVariable("KESTRUNE_PRINT_TITLE") == QLatin1String("1")) {
        std::printf("TITLE %s\n", station.window().windowTitle().toLocal8Bit().constData());
        std::fflush(stdout);
        return 0;
    }
    station.window().show();
    return application.exec();
}
