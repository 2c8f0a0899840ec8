#pragma once

#include <QTemporaryDir>
#include <QtGlobal>

namespace tarvo::test {

// Windows drawn offscreen, and the per-user store in a throw-away home that lives as long as
// `home`. Call before the application object is made.
inline void useOffscreenEnvironment(const QTemporaryDir& home) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toLocal8Bit());
}

}  // namespace tarvo::test
