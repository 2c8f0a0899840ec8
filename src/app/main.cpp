#include <QApplication>
#include <cstdio>

#include "app/real_platform.h"
#include "shell/main_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(tarvo::RetreiveAccountingApp::kAppTitle));
    // Ties the window to its desktop entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tarvo.BoardConfig"));
    QString error;
    auto setup = tarvo::makeRealPlatform(QApplication::arguments(), &error);
    if (!setup) {
        std::fprintf(stderr,
                     "tarvo-config: %s\nusage: tarvo-config [--simulate] [--trace FILE] [--port "
                     "Com<n>=PATH]...\n",
                     qPrintable(error));
        return 2;
    }
    auto* window = new tarvo::RetreiveAccountingApp(setup->platform);
    window->show();
    const int status = QApplication::exec();
    delete window;
    // A trace that stopped on a write error said so on standard error; the status shows it.
    return status == 0 && setup->trace && !setup->trace->writeError().isEmpty() ? 1 : status;
}
