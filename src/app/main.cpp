#include <QApplication>

#include "shell/main_window.h"
#include "app/real_platform.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(tarvo::RetreiveAccountingApp::kAppTitle));
    auto setup = tarvo::makeRealPlatform(QApplication::arguments());
    if (!setup) {
        return 2;
    }
    tarvo::RetreiveAccountingApp window(setup->platform);
    window.show();
    return QApplication::exec();
}
