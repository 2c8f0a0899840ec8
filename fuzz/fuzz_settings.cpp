#include "platform/qsettings_store.h"
#include "session/stored_choices.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

// Any per-user settings file, as a user may have edited it: reading it never crashes and
// every restored choice lies within its list.
// fuzz-runs: 100000
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // In memory where the system has it: the file is written anew for every input.
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                 ? QStringLiteral("/dev/shm/tarvo-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/tarvo-fuzz-XXXXXX"));
    static qint64 count = 0;
    const QString path = dir.filePath(QStringLiteral("store.conf"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            return 0;
        }
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
        // The settings cache takes a file of unchanged size and time for the one read before:
        // a new time each round makes it read this one.
        file.setFileTime(QDateTime::fromSecsSinceEpoch(1000000 + ++count),
                         QFileDevice::FileModificationTime);
    }
    const tarvo::QSettingsStore store(path);
    const tarvo::StoredChoices c = tarvo::readStoredChoices(store);
    if (c.interfacePosition < 0 || c.interfacePosition > 32 || c.multiDropPosition < 0 ||
        c.multiDropPosition > 33 || c.addressBitDelay < 0 || c.addressBitDelay > 1000) {
        __builtin_trap();
    }
    return 0;
}
