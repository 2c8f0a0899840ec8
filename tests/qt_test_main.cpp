#include <gtest/gtest.h>
#include <QApplication>
#include <QTemporaryDir>

#include "support/offscreen_environment.h"

int main(int argc, char** argv) {
    QTemporaryDir home;
    tarvo::test::useOffscreenEnvironment(home);
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
